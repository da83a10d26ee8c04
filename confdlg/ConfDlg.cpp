// The configuration-dialog module: the entry points the program looks up after loading it.

#include <cstdio>
#include <cstdlib>

#include "confdlg/DialogWindow.h"
#include "confdlg/SelectionStore.h"
#include "devices/ConfigDialogRecord.h"

using trivale::CONFIG_INFO;
using trivale::CONFIG_SELECTION;
namespace confdlg = trivale::confdlg;

namespace {

trivale::ConfigImageLookup g_images = nullptr;

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int ConfDlgGetVersion(void) { return trivale::kConfigDialogVersion; }

__attribute__((visibility("default"))) void ConfDlgSetImageLookup(trivale::ConfigImageLookup lookup) {
    g_images = lookup;
}

__attribute__((visibility("default"))) int GetPreviousConfig(const CONFIG_INFO* info, CONFIG_SELECTION* selection) {
    if (info == nullptr || selection == nullptr) return 0;
    confdlg::LoadPrevious(*info, *selection);
    return 1;
}

__attribute__((visibility("default"))) int ShowConfigDialog(const CONFIG_INFO* info, CONFIG_SELECTION* selection) {
    if (info == nullptr || selection == nullptr) return 0;
    CONFIG_SELECTION chosen;
    confdlg::LoadPrevious(*info, chosen);

    const char* unattended = std::getenv(confdlg::kUnattendedVariable);
    switch (confdlg::ParseUnattended(unattended, chosen)) {
    case confdlg::UnattendedChoice::Accept:
    case confdlg::UnattendedChoice::Explicit:
        *selection = chosen;  // an explicit selection goes back as given: the program checks it
        return 1;
    case confdlg::UnattendedChoice::Cancel:
        return 0;
    case confdlg::UnattendedChoice::Malformed:
        std::fprintf(stderr,
                     "%s='%s' is neither \"accept\", \"cancel\" nor seven comma-separated numbers; "
                     "taken as cancel.\n",
                     confdlg::kUnattendedVariable, unattended);
        return 0;
    case confdlg::UnattendedChoice::None:
        break;
    }

    switch (confdlg::RunDialog(*info, g_images, chosen)) {
    case confdlg::DialogResult::Accepted:
        if (!confdlg::SavePrevious(*info, chosen)) {
            std::fprintf(stderr, "The display settings could not be remembered in '%s'.\n",
                         confdlg::SettingsPath().c_str());
        }
        *selection = chosen;
        return 1;
    case confdlg::DialogResult::NoDisplay:
        std::fprintf(stderr,
                     "The configuration dialog cannot open a display; set %s=accept to run with the "
                     "previous or default settings.\n",
                     confdlg::kUnattendedVariable);
        return 0;
    case confdlg::DialogResult::Cancelled:
        break;
    }
    return 0;
}

}  // extern "C"
