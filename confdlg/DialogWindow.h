#pragma once
// The modal GTK 3 dialog of the module: banner, adapter, display mode, multisampling, anisotropy,
// window or full screen, depth bits and vertical sync, with OK and Cancel.

#include "confdlg/SelectionStore.h"
#include "devices/ConfigDialogRecord.h"

namespace trivale {
namespace confdlg {

enum class DialogResult { Accepted, Cancelled, NoDisplay };

// The desktop of each adapter of the record as the program's graphics layer sees it (0 x 0 where it
// is not known, as before the program has its video subsystem running), on the display that
// `displays` names for it (the record's index where the program gave no lookup).
DesktopSizes CurrentDesktops(const CONFIG_INFO& info, ConfigDisplayLookup displays);

// Shows the dialog starting from `selection`; on Accepted the selection holds the user's choice. A
// stop that `stop` (may be null) reports, before or while the dialog shows, cancels it.
DialogResult RunDialog(const CONFIG_INFO& info, ConfigImageLookup images, ConfigDisplayLookup displays,
                       ConfigStopQuery stop, CONFIG_SELECTION& selection);

}  // namespace confdlg
}  // namespace trivale
