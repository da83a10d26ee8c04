// The configuration-dialog module: the entry points the program looks up after loading it.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "confdlg/DialogWindow.h"
#include "confdlg/SelectionStore.h"
#include "devices/ConfigDialogRecord.h"
#include "platform/Printable.h"

using trivale::CONFIG_INFO;
using trivale::CONFIG_SELECTION;
namespace confdlg = trivale::confdlg;

namespace {

trivale::ConfigImageLookup g_images = nullptr;
trivale::ConfigDisplayLookup g_displays = nullptr;
trivale::ConfigStopQuery g_stop = nullptr;
std::string g_error;

int Fail(const std::string& message) {
    g_error = message;
    return trivale::kConfigDialogFailed;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int ConfDlgGetVersion(void) { return trivale::kConfigDialogVersion; }

__attribute__((visibility("default"))) void ConfDlgSetImageLookup(trivale::ConfigImageLookup lookup) {
    g_images = lookup;
}

__attribute__((visibility("default"))) void ConfDlgSetDisplayLookup(trivale::ConfigDisplayLookup lookup) {
    g_displays = lookup;
}

__attribute__((visibility("default"))) void ConfDlgSetStopQuery(trivale::ConfigStopQuery query) { g_stop = query; }

__attribute__((visibility("default"))) const char* ConfDlgGetLastError(void) { return g_error.c_str(); }

__attribute__((visibility("default"))) int GetPreviousConfig(const CONFIG_INFO* info, CONFIG_SELECTION* selection) {
    if (info == nullptr || selection == nullptr) return 0;
    confdlg::LoadPrevious(*info, *selection, confdlg::CurrentDesktops(*info, g_displays));
    return 1;
}

__attribute__((visibility("default"))) int ShowConfigDialog(const CONFIG_INFO* info, CONFIG_SELECTION* selection) {
    if (info == nullptr || selection == nullptr) return 0;
    g_error.clear();
    CONFIG_SELECTION chosen;
    confdlg::LoadPrevious(*info, chosen, confdlg::CurrentDesktops(*info, g_displays));

    // A typo in an unattended run must not look like a cancel: it is a failure with its reason. The
    // value is quoted escaped: it goes into the log and onto the terminal.
    const char* unattended = std::getenv(confdlg::kUnattendedVariable);
    const std::string quoted =
        std::string(confdlg::kUnattendedVariable) + "='" + plat::Printable(unattended ? unattended : "") + "'";
    switch (confdlg::ParseUnattended(unattended, chosen)) {
    case confdlg::UnattendedChoice::Accept:
        *selection = chosen;
        return 1;
    case confdlg::UnattendedChoice::Explicit: {
        const std::string problem = confdlg::SelectionProblem(*info, chosen);
        if (!problem.empty()) return Fail(quoted + ": " + problem + ".");
        *selection = chosen;
        return 1;
    }
    case confdlg::UnattendedChoice::Cancel:
        return 0;
    case confdlg::UnattendedChoice::Malformed:
        return Fail(quoted +
                    " is neither \"accept\", \"cancel\" nor seven comma-separated numbers (adapter, mode, "
                    "samples, anisotropy, windowed, depth bits, vsync).");
    case confdlg::UnattendedChoice::None:
        break;
    }

    switch (confdlg::RunDialog(*info, g_images, g_displays, g_stop, chosen)) {
    case confdlg::DialogResult::Accepted:
        if (!confdlg::SavePrevious(*info, chosen)) {
            std::fprintf(stderr, "The display settings could not be remembered in '%s'.\n",
                         plat::Printable(confdlg::SettingsPath()).c_str());
        }
        *selection = chosen;
        return 1;
    case confdlg::DialogResult::NoDisplay:
        return Fail(std::string("The configuration dialog cannot open a display; set ") + confdlg::kUnattendedVariable +
                    "=accept to run with the previous or default settings.");
    case confdlg::DialogResult::Cancelled:
        break;
    }
    return 0;
}

}  // extern "C"
