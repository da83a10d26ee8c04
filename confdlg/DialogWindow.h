#pragma once
// The modal GTK 3 dialog of the module: banner, adapter, display mode, multisampling, anisotropy,
// window or full screen, depth bits and vertical sync, with OK and Cancel.

#include "devices/ConfigDialogRecord.h"

namespace trivale {
namespace confdlg {

enum class DialogResult { Accepted, Cancelled, NoDisplay };

// Shows the dialog starting from `selection`; on Accepted the selection holds the user's choice.
DialogResult RunDialog(const CONFIG_INFO& info, ConfigImageLookup images, CONFIG_SELECTION& selection);

}  // namespace confdlg
}  // namespace trivale
