// The display-configuration step of start-up: lists what every adapter can do into the dialog
// module's record, runs the module (a shared library beside the program) and turns its selection into
// the graphics device's settings for full screen and for a window.
#pragma once

#include <cstdint>
#include <string>

#include "core/Object.h"
#include "devices/ConfigDialogRecord.h"
#include "platform/Graphics.h"
#include "platform/Module.h"
#include "platform/Window.h"

namespace trivale {

class CConfigDialogDX9 : public virtual CNonCopyable {
public:
    // The log's line for a cancelled dialog, and for a stop before it.
    static constexpr const char* kCancelledLine = "コンフィグダイアログをキャンセルしました.";

    CConfigDialogDX9();
    ~CConfigDialogDX9() override;

    // The module's file name, set once at program start; a name without '/' is looked up beside the
    // program. The default is "libconfdlg.so".
    static void SetLibraryName(const std::string& name);
    static const std::string& GetLibraryName();

    // Loads the module and checks its version and exports; throws EIOError on every failure.
    bool LoadDll();
    // Lists the adapters into the record; false (after a logged error and a message box) when none.
    bool EnumerateAdapters(plat::IGraphicsSystem* system, CONFIG_INFO& info);
    // The whole run; false when cancelled or without any adapter. A module that ends without a selection
    // for another reason, or returns one past the record, throws EInvalidParameter with its reason.
    bool Execute(bool usePrevious);
    void FreeDll();

    // Inputs, set by the driver before Execute.
    plat::IGraphicsSystem* direct3D = nullptr;
    const plat::IconImage* icon = nullptr;    // the application's icon, or none
    const plat::IconImage* banner = nullptr;  // the dialog banner image, or none when it could not be loaded
    std::string title;
    int32_t minWidth = 640;
    int32_t minHeight = 480;
    int32_t maxWidth = 65535;
    int32_t maxHeight = 65535;
    bool allowReferenceDevice = false;

    // Results, read by the driver after Execute.
    int32_t adapter = -1;  // the graphics system's adapter ordinal
    bool fullScreen = false;
    plat::DeviceType deviceType = plat::DeviceType::Hardware;
    plat::PresentParameters fullScreenParameters;
    plat::PresentParameters windowedParameters;
    uint32_t anisotropy = 0;

private:
    bool SelectionValid(const CONFIG_INFO& info, const CONFIG_SELECTION& selection) const;

    plat::Module module_;
    ConfDlgGetVersionFunc getVersion_ = nullptr;
    ShowConfigDialogFunc showDialog_ = nullptr;
    GetPreviousConfigFunc getPrevious_ = nullptr;
    ConfDlgGetLastErrorFunc lastError_ = nullptr;
    // Per listed adapter: its ordinal and description. A skipped adapter must not shift the
    // selection onto its neighbour.
    uint32_t ordinals_[kConfigMaxAdapters] = {};
    std::string descriptions_[kConfigMaxAdapters];
};

}  // namespace trivale
