#include "benchmark/Application.h"

#include "app_framework/GameApplication.h"
#include "benchmark/ResourceScene.h"
#include "core/CommandLine.h"
#include "core/Log.h"
#include "core/Path.h"
#include "core/Text.h"
#include "devices/GameApplicationDriverDX9.h"
#include "platform/MessageBox.h"
#include "platform/Printable.h"

#include <cstdio>

using namespace trivale;

namespace {

const char* const kTitle = "VELLACOR 06 (ver.1.0.1)";
const int kFrameRateLimit = 500;

// Told on the terminal after the switches that were not understood.
const char* const kSwitchList = "switches (any case): /oneshot, /loop, /filesystem, /console";

}  // namespace

StartupSettings ReadSwitches(const std::vector<std::string>& args) {
    StartupSettings settings;
    bool unknown = false;
    for (const std::string& arg : args) {
        const std::string key = ToLowerCase(arg);
        if (key == "/filesystem") {
            settings.source = StartupSettings::DataSource::Directory;
            LogInfoString("filesystem mode");
        } else if (key == "/console") {
            OpenLoggerConsole();
            LogInfoString("open logger console");
        } else if (key == "/loop") {
            settings.oneShot = false;
            LogInfoString("loop mode");
        } else if (key == "/oneshot") {
            settings.oneShot = true;
            LogInfoString("oneshot mode");
        } else {
            // As it was typed, so that the user finds it; escaped, as the user's text may hold anything.
            const std::string typed = plat::Printable(arg);
            LogError("unknown switch - '%s'", typed.c_str());
            std::fprintf(stderr, "unknown switch - '%s'\n", typed.c_str());
            unknown = true;
        }
    }
    if (unknown) std::fprintf(stderr, "%s\n", kSwitchList);
    return settings;
}

void RunApplication() {
    std::vector<std::string> args;
    for (int i = 1; i < ParamCount(); ++i) args.push_back(ParamStr(i));
    const StartupSettings settings = ReadSwitches(args);

    CGameApplicationDriverDX9* driver = GetApplicationDriver();
    const std::string directory = ExtractFileDir(GetModuleFilePath());
    if (settings.source == StartupSettings::DataSource::Directory)
        driver->UseFileSystem(directory + "data/");
    else
        driver->UseArchive(directory + "data.tva");

    driver->SetTitle(kTitle);
    driver->SetIcon(&ApplicationIcon());
    driver->SetCursor(plat::Cursor::Arrow);
    driver->SetShowCursorInFullScreen(false);
    driver->SetDialogBanner("DialogBanner1.bmp");
    driver->SetPauseWhenInactive(false);
    driver->SetModeSwitchEnabled(false);
    if (!driver->Initialize()) return;

    // The overlay goes first: it is initialised before the play scene makes it the script's listener.
    driver->GetSceneManager()->AddScene(CResourceScene::Instance());
    driver->GetSceneManager()->AddScene(NewPlayScene());
    driver->GetFrameRateKeeper()->SetFrameRate(kFrameRateLimit);
    CResourceScene::Instance()->SetOneShot(settings.oneShot);
    driver->Run();
}

int RunProgram() {
    // The console shows the log from its first line: it is opened before the log is, ahead of the
    // switches that are read (and logged) later.
    for (int i = 1; i < ParamCount(); ++i) {
        if (ToLowerCase(ParamStr(i)) == "/console") OpenLoggerConsole();
    }
    // Two runs at once would share one log (and the machine they measure): the second leaves the
    // first one's log whole and ends.
    OpenLogFile();
    if (GetLogFileState() == LogFileState::InUse) {
        plat::ShowMessageBox(plat::kNoWindow,
                             "The program " + plat::Printable(ExtractFileName(GetModuleFilePath())) +
                                 " is already running; its log " + plat::Printable(GetLogFilePath()) +
                                 " is kept. This run ends.",
                             kTitle, plat::MessageBoxKind::Error);
        return 1;
    }
    if (!CreateApplicationDriver()) return GetApplicationExitCode();
    try {
        RunApplication();
    } catch (const std::exception& e) {
        ReportFatalException(e);
    }
    DestroyApplicationDriver();
    return GetApplicationExitCode();
}
