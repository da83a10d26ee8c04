#pragma once
// What the dialog module chooses when nobody is asked: defaults, a remembered selection fitted to the
// adapters and modes of this run, and the unattended choice read from the environment.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "devices/ConfigDialogRecord.h"

namespace trivale {
namespace confdlg {

// Set to "accept" or "cancel" (in any case) or seven comma-separated integers to skip the dialog.
extern const char* const kUnattendedVariable;

enum class UnattendedChoice { None, Accept, Cancel, Explicit, Malformed };

// Reads the variable's value (null when unset); an explicit selection is returned as given, unchecked.
UnattendedChoice ParseUnattended(const char* value, CONFIG_SELECTION& selection);

// What is wrong with a selection for this record, one field at a time in record order: a value the
// dialog would not offer (an adapter or mode past the lists, a sample count or anisotropy the mode or
// adapter lacks, windowed or vsync other than 0 and 1, depth bits other than 16, 24 and 32). Empty
// when every field is usable.
std::string SelectionProblem(const CONFIG_INFO& info, const CONFIG_SELECTION& selection);

// The adapter name as text, never reading past its field.
std::string AdapterName(const CONFIG_ADAPTER_INFO& adapter);

// The desktop's width and height per adapter, in adapter order; 0 x 0, or no entry at all, where the
// desktop is not known.
using DesktopSizes = std::vector<std::pair<uint32_t, uint32_t>>;

// Adapter 0, no multisampling, no anisotropy, a window, 24 depth bits, no vertical sync, and the
// largest size that fits both 1024 x 768 and that adapter's desktop (else the smallest size that fits
// the desktop, else the smallest size listed, as on a desktop below the record's smallest size); of
// one size, a 32-bit mode at the highest rate.
CONFIG_SELECTION DefaultSelection(const CONFIG_INFO& info, const DesktopSizes& desktops);

// Brings every field into what the record offers (an adapter without modes keeps mode 0); a window
// larger than its adapter's desktop, which the dialog would not offer, becomes the default size.
void FitSelection(const CONFIG_INFO& info, CONFIG_SELECTION& selection, const DesktopSizes& desktops);

// Whether a mode of the record may be offered for full screen: the record's list also holds sizes
// only a window can take, so full screen offers a size the display itself has. A display that names
// no sizes at all (no mode list to ask) keeps every mode on offer.
bool OfferedFullScreen(const std::vector<std::pair<uint32_t, uint32_t>>& displaySizes, const CONFIG_DISPLAY_MODE& mode);

// The record's modes that the dialog's mode list shows, as indices in the order shown. Full screen:
// the modes whose size the display has (see OfferedFullScreen), in record order, one per depth and
// refresh rate. A window takes neither from the mode: each size once, largest first, among those that
// fit the desktop (every size while its width or height is 0), by its first 32-bit mode, else its
// first mode of any depth; the smallest size alone on a desktop smaller than all of them.
std::vector<int> OfferedModes(const CONFIG_ADAPTER_INFO& adapter,
                              const std::vector<std::pair<uint32_t, uint32_t>>& displaySizes, bool windowed,
                              uint32_t desktopWidth, uint32_t desktopHeight);

// Sample counts usable with the given mode (never 0 or 1).
bool MultiSampleUsable(const CONFIG_ADAPTER_INFO& adapter, const CONFIG_DISPLAY_MODE& mode, int samples);

// $XDG_CONFIG_HOME/vellacor/dialog.conf, or ~/.config/...; empty when neither is known.
std::string SettingsPath();

// The remembered selection, matched by adapter name and mode values and fitted to this record and
// these desktops; false (and the defaults) when there is none. Only a regular file of at most 64 KiB
// counts: anything else at that path (a FIFO, a device, a huge file) is none, and never waited on.
bool LoadPrevious(const CONFIG_INFO& info, CONFIG_SELECTION& selection, const DesktopSizes& desktops);

// Remembers a selection; false when it cannot be written.
bool SavePrevious(const CONFIG_INFO& info, const CONFIG_SELECTION& selection);

}  // namespace confdlg
}  // namespace trivale
