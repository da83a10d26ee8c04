// Start-up and shut-down with fake devices: the order the log records, and what each failure means for
// the log, the message boxes and the exit code.
#include "core/CommandLine.h"
#include "core/Path.h"
#include "tests/driver/DriverTestSupport.h"

#include "devices/ConfigDialogDX9.h"

namespace drvtest {
namespace {

const char* const kDriverSource = "^\tdevices/GameApplicationDriverDX9\\.cpp\\([0-9]+\\)";
const char* const kFinalized = "INFO: ---- Application finalized ----";

class StartupTest : public DriverTest {
protected:
    int Run(const DeviceScript& script = DeviceScript(), unsigned quitAfter = 3) {
        steps_.configure = [this, script](CGameApplicationDriverDX9& driver) {
            driver.SetDeviceFactory(MakeFactory(script));
            if (configure_) configure_(driver);
        };
        steps_.addScenes = [this, quitAfter](CSceneManager& manager) {
            LoggingScene* play = new LoggingScene(0x8000, "play", quitAfter);
            play->onFrame = playFrame_;
            play->finalizeFailure = playFinalizeFailure_;
            manager.AddScene(new LoggingScene(0xFFFF, "overlay"));
            manager.AddScene(play);
        };
        return RunEntry(steps_);
    }

    EntrySteps steps_;
    std::function<void(CGameApplicationDriverDX9&)> configure_;
    std::function<void(unsigned)> playFrame_;
    bool playFinalizeFailure_ = false;
};

TEST_F(StartupTest, WholeRunLogsStartUpAndShutDownInOrder) {
    steps_.beforeRun = [](CGameApplicationDriverDX9& driver) {
        EXPECT_TRUE(driver.GetWindow()->IsShown());
        EXPECT_TRUE(driver.GetSound()->IsReady());
        // Without UseArchive or UseFileSystem the program's own folder serves the data.
        CFileSystemDataLoader* loader = dynamic_cast<CFileSystemDataLoader*>(driver.GetDataLoader());
        ASSERT_NE(nullptr, loader);
        EXPECT_EQ(ExtractFileDir(GetModuleFilePath()), loader->GetRootPath());
    };
    steps_.afterRun = [](CGameApplicationDriverDX9& driver) { EXPECT_FALSE(driver.GetWindow()->IsShown()); };
    EXPECT_EQ(0, Run());
    EXPECT_TRUE(boxes_.empty());
    // The devices in order of need, the frame timer's lines before the loop; shut-down in reverse: scene
    // manager, keeper, input, sound, graphics, data loader, then the core part.
    ExpectLog(Lines(),
              {"INFO: ---- [ driver_tests ] Started ----", "^INFO: FileSystemDataLoader: root path = .*/",
               "INFO: Config dialog DLL load successful.", "INFO: fake input initialize", "INFO: fake sound initialize",
               "INFO: Direct3D device ready.", "^INFO: System running time: .*", "INFO: Application driver running...",
               "INFO: overlay initialize", "INFO: play initialize", "INFO: Application driver running finished.",
               "INFO: play finalize", "INFO: overlay finalize", "INFO: DirectInput finalized.",
               "INFO: DirectSound finalized.", "INFO: Direct3D finalized.", kFinalized});
    EXPECT_EQ(nullptr, GetApplicationDriver());
}

TEST_F(StartupTest, AFullScreenChoiceStartsInFullScreenUnlessWindowedIsForced) {
    ::setenv(kDialogVariable, kFullScreenChoice, 1);
    for (bool force : {false, true}) {
        configure_ = [force](CGameApplicationDriverDX9& driver) { driver.SetForceWindowed(force); };
        steps_.beforeRun = [force](CGameApplicationDriverDX9& driver) {
            EXPECT_EQ(!force, driver.GetGraphics()->IsFullScreen());
            EXPECT_EQ(!force, driver.GetWindow()->IsFullScreen());
            EXPECT_EQ(force, driver.GetGraphics()->GetPresentParameters()->windowed);
            // The parameter block in force names the main window as device window.
            EXPECT_EQ(driver.GetWindow()->GetHandle(), driver.GetGraphics()->GetPresentParameters()->deviceWindow);
        };
        EXPECT_EQ(0, Run());
    }
}

TEST_F(StartupTest, EachRequiredDeviceFailingIsReportedAndEndsTheRunAsAFailure) {
    DeviceScript noGraphics, noInput, noDevice;
    noGraphics.graphicsObject = false;
    noInput.input = false;
    noDevice.deviceFailures = 2;  // hardware and software vertex processing both refused
    const struct {
        DeviceScript script;
        const char* box;
        std::vector<std::string> log;
        const char* absent;  // nothing ran that needed the failed device
    } cases[] = {
        {noGraphics,
         "Direct3D の初期化に失敗しました.\nDirectX 9.0c 以降がインストールされているか確認してください.\n",
         {"^.*Direct3D の初期化に失敗しました\\..*", kFinalized},
         "Config dialog"},
        {noInput,
         "DirectInput の初期化に失敗しました.\n実行を中止します.",
         {"INFO: fake input initialize", "ERROR: ", "\tCDXInput 初期化失敗", kDriverSource, "INFO: fake input deleted",
          "INFO: Direct3D device finalized.", "INFO: Direct3D finalized.", kFinalized},
         "fake sound"},
        // the graphics object goes at once; input and sound with the driver
        {noDevice,
         "Direct3D の初期化に失敗しました.\n実行を中止します.",
         {"INFO: fake sound initialize", "ERROR: ", "\tCDXGraphics 初期化失敗", kDriverSource,
          "INFO: Direct3D finalized.", "INFO: fake input deleted", "INFO: fake sound deleted", kFinalized},
         "device ready"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.box);
        Restart();
        EXPECT_EQ(1, Run(c.script));
        EXPECT_FALSE(steps_.initialized);
        ExpectBox(c.box);
        EXPECT_EQ(kTitle, boxes_[0].caption);
        ExpectLog(Lines(), c.log);
        for (const std::string& line : Lines()) {
            EXPECT_EQ(std::string::npos, line.find(c.absent)) << line;
            EXPECT_EQ(std::string::npos, line.find("running...")) << line;
        }
    }
}

TEST_F(StartupTest, SoundFailureWarnsAndTheProgramRunsWithoutSound) {
    DeviceScript script;
    script.sound = false;
    bool silent = false;
    steps_.beforeRun = [&](CGameApplicationDriverDX9& driver) { silent = !driver.GetSound()->IsReady(); };
    EXPECT_EQ(0, Run(script));
    EXPECT_TRUE(silent);
    ExpectBox("DirectSound の初期化に失敗しました.\nサウンドなしモードで続行します.", plat::MessageBoxKind::Warning);
    EXPECT_EQ(kTitle, boxes_[0].caption);
    ExpectLog(Lines(), {"INFO: fake sound initialize", "ERROR: ", "\tCDXSound 初期化失敗", kDriverSource,
                        "INFO: Direct3D device ready.", "INFO: play posts quit", kFinalized});
}

TEST_F(StartupTest, CancelledDialogEndsQuietlyWithSuccessButNoAdapterIsAFailure) {
    ::setenv(kDialogVariable, "cancel", 1);
    EXPECT_EQ(0, Run());
    EXPECT_FALSE(steps_.initialized);
    EXPECT_TRUE(boxes_.empty());
    ExpectLog(Lines(),
              {"INFO: Config dialog DLL load successful.", "^.*キャンセル.*", "INFO: Direct3D finalized.", kFinalized});
    for (const std::string& line : Lines()) {
        EXPECT_EQ(std::string::npos, line.find("fake")) << line;
        EXPECT_EQ(std::string::npos, line.find("ERROR")) << line;
    }
    configure_ = [](CGameApplicationDriverDX9& driver) {
        driver.SetDeviceFactory(MakeFactory(DeviceScript(), MakeGraphicsState(false)));
    };
    EXPECT_EQ(1, Run());
    EXPECT_EQ(1u, boxes_.size());  // the dialog's own
    // A mistyped unattended selection is no cancel: a failure, with its reason shown and logged.
    Restart();
    configure_ = nullptr;
    ::setenv(kDialogVariable, "0,0,0,0,1,17,0", 1);
    EXPECT_EQ(1, Run());
    ExpectBox("VELLACOR_DIALOG='0,0,0,0,1,17,0': depth bits 17 do not exist (16, 24 or 32).");
    ExpectLog(Lines(), {"^.*depth bits 17 do not exist.*", kFinalized});
}

// ---- Failures at the top -----------------------------------------------------------------------

// A failure in a frame (an engine or a standard exception) is reported with the window as owner, one
// in a scene's Finalize at shut-down without; shut-down runs on in order all the same.
TEST_F(StartupTest, AnExceptionInAFrameOrInAFinalizeIsReportedAndShutDownRunsInOrder) {
    const std::vector<std::string> inFrame = {"INFO: Application driver running...", "^.*frame failure.*",
                                              "INFO: Application driver running finished.", "INFO: play finalize",
                                              "INFO: overlay finalize"};
    const struct {
        std::function<void(unsigned)> frame;
        bool finalizeFails;
        const char* text;
        std::vector<std::string> log;  // before the devices go
    } cases[] = {
        {[](unsigned seen) {
             if (seen >= 2) throw EReadError(nullptr, "frame failure");
         },
         false, "frame failure", inFrame},
        {[](unsigned) { throw std::runtime_error("frame failure"); }, false, "frame failure", inFrame},
        {nullptr,
         true,
         "scene failure",
         {"INFO: play finalize", "INFO: overlay finalize", "ERROR: Exception occurred.", "^.*scene failure.*"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Restart();
        playFrame_ = c.frame;
        playFinalizeFailure_ = c.finalizeFails;
        EXPECT_EQ(1, Run());
        ExpectBox(c.text);
        EXPECT_EQ(c.finalizeFails, boxes_[0].owner == plat::kNoWindow);
        std::vector<std::string> log = c.log;
        log.insert(log.end(),
                   {"INFO: fake input deleted", "INFO: fake sound deleted", "INFO: Direct3D finalized.", kFinalized});
        ExpectLog(Lines(), log);
    }
}

TEST_F(StartupTest, FailuresLeavingInitializeAreFatal) {
    const std::string dialog = CConfigDialogDX9::GetLibraryName();
    const std::pair<std::string, std::function<void(CGameApplicationDriverDX9&)>> cases[] = {
        {"no-such-archive.tva",
         [](CGameApplicationDriverDX9& d) {
             d.UseArchive(ExtractFileDir(GetModuleFilePath()) + "no-such-archive.tva");
         }},
        {"no-such-pause.bmp", [](CGameApplicationDriverDX9& d) { d.SetPauseScreenBitmap("no-such-pause.bmp"); }},
        {"libno-such-dialog.so",
         [](CGameApplicationDriverDX9&) { CConfigDialogDX9::SetLibraryName("libno-such-dialog.so"); }},
    };
    for (const auto& c : cases) {
        Restart();
        configure_ = c.second;
        EXPECT_EQ(1, Run());
        CConfigDialogDX9::SetLibraryName(dialog);
        EXPECT_FALSE(steps_.initialized);
        ExpectBox(c.first);
        EXPECT_EQ(plat::kNoWindow, boxes_[0].owner);
        ExpectLog(Lines(), {"ERROR: Exception occurred.",
                            "^.*" + std::regex_replace(c.first, std::regex("\\."), "\\.") + ".*", kFinalized});
    }
}

TEST_F(StartupTest, AMissingOrCorruptDialogBannerIsLoggedAndTheDialogGoesOn) {
    const tvtest::TempDir dir;
    tvtest::WriteFile(dir / "corrupt.bmp", "XX this is no bitmap");
    for (const std::string banner : {"no-such-banner.bmp", "corrupt.bmp"}) {
        Restart();
        configure_ = [&dir, banner](CGameApplicationDriverDX9& driver) {
            driver.UseFileSystem(dir.Path() + "/");
            driver.SetDialogBanner(banner);
        };
        EXPECT_EQ(0, Run());
        EXPECT_TRUE(boxes_.empty());
        ExpectLog(Lines(),
                  {"ERROR: ", "\tダイアログバナーイメージ \"" + banner + "\" のロードに失敗しました.", kDriverSource,
                   "INFO: Config dialog DLL load successful.", "INFO: Application driver running..."});
    }
}

}  // namespace
}  // namespace drvtest
