// Start-up and shut-down with fake devices: the order the log records, and what each failure means for
// the log, the message boxes and the exit code.
#include "tests/driver/DriverTestSupport.h"

#include <filesystem>
#include <fstream>

#include "devices/ConfigDialogDX9.h"

namespace drvtest {
namespace {

const char* const kDriverSource = "\tdevices/GameApplicationDriverDX9\\.cpp\\([0-9]+\\)";

class StartupTest : public DriverTest {
protected:
    int Run(const DeviceScript& script, unsigned quitAfter = 3) {
        state_ = MakeGraphicsState();
        steps_.configure = [this, script](CGameApplicationDriverDX9& driver) {
            driver.SetDeviceFactory(MakeFactory(script, state_));
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
    // The one box of the run.
    void ExpectBox(const std::string& text, plat::MessageBoxKind kind = plat::MessageBoxKind::Error) {
        ASSERT_EQ(1u, boxes_.size());
        EXPECT_NE(std::string::npos, boxes_[0].text.find(text)) << boxes_[0].text;
        EXPECT_EQ(kind, boxes_[0].kind);
    }

    std::shared_ptr<plat::FakeGraphicsState> state_;
    EntrySteps steps_;
    std::function<void(CGameApplicationDriverDX9&)> configure_;
    std::function<void(unsigned)> playFrame_;
    bool playFinalizeFailure_ = false;
};

TEST_F(StartupTest, WholeRunLogsStartUpAndShutDownInOrder) {
    steps_.beforeRun = [](CGameApplicationDriverDX9& driver) {
        EXPECT_TRUE(driver.IsInitialized());
        EXPECT_TRUE(driver.GetWindow()->IsShown());
        EXPECT_TRUE(driver.GetWindow()->HasMaximizeBox());
        EXPECT_EQ(640, driver.GetWindow()->GetClientWidth());
        EXPECT_EQ(480, driver.GetWindow()->GetClientHeight());
        EXPECT_TRUE(driver.GetSound()->IsReady());
        EXPECT_EQ(driver.GetWindow()->GetHandle(), driver.GetGraphics()->GetPresentParameters()->deviceWindow);
        // Without UseArchive or UseFileSystem the program's own folder serves the data.
        CFileSystemDataLoader* loader = dynamic_cast<CFileSystemDataLoader*>(driver.GetDataLoader());
        ASSERT_NE(nullptr, loader);
        EXPECT_EQ(ExtractFileDir(GetModuleFilePath()), loader->GetRootPath());
    };
    steps_.afterRun = [](CGameApplicationDriverDX9& driver) { EXPECT_FALSE(driver.GetWindow()->IsShown()); };
    EXPECT_EQ(0, Run(DeviceScript()));
    EXPECT_TRUE(steps_.initialized);
    EXPECT_TRUE(boxes_.empty());
    ExpectLinesMatch(Lines(), {
        "INFO: ---- \\[ driver_tests \\] Started ----",
        "INFO: Trivale Core library ver\\..*",
        Literal("INFO: Trivale DX9 library ver.0.80(338) (Jan 17 2006 16:38:20) ReleaseMode"),
        Literal("INFO: Trivale Type-A library ver.0.50(1046) (Jan 17 2006 16:39:15) ReleaseMode"),
        "INFO: FileSystemDataLoader: root path = .*/",
        "INFO: Display adapter #0: Fake adapter \\(1\\) .*",
        Literal("INFO: Config dialog DLL load successful."),
        "INFO: Selected display mode: Adapter = #0, Mode = 0, .*Windowed = 1.*",
        "INFO: Selected display mode description: 640 x 480, .*",
        Literal("INFO: fake input initialize"),
        Literal("INFO: fake sound initialize"),
        Literal("INFO: Direct3D device ready."),
        "INFO: Performance counter enabled: .*",
        "INFO: System running time: .*",
        Literal("INFO: Application driver running..."),
        Literal("INFO: overlay initialize"),
        Literal("INFO: overlay device reset"),
        Literal("INFO: play initialize"),
        Literal("INFO: play device reset"),
        Literal("INFO: play posts quit"),
        Literal("INFO: Application driver running finished."),
        // scene manager, keeper, input, sound, graphics, data loader, then the core part
        Literal("INFO: play finalize"),
        Literal("INFO: overlay finalize"),
        Literal("INFO: fake input deleted"),
        Literal("INFO: DirectInput finalized."),
        Literal("INFO: fake sound deleted"),
        Literal("INFO: DirectSound finalized."),
        Literal("INFO: Direct3D device finalized."),
        Literal("INFO: Direct3D finalized."),
        Literal("INFO: ---- Application finalized ----"),
    });
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
            EXPECT_EQ(driver.GetWindow()->GetHandle(), driver.GetGraphics()->GetPresentParameters()->deviceWindow);
        };
        EXPECT_EQ(0, Run(DeviceScript()));
    }
}

// ---- Each device failing in turn ---------------------------------------------------------------

TEST_F(StartupTest, EachRequiredDeviceFailingIsReportedAndEndsTheRunAsAFailure) {
    struct Case {
        const char* name;
        DeviceScript script;
        const char* box;
        std::vector<std::string> log;
    };
    DeviceScript noGraphics, noInput, noDevice;
    noGraphics.graphicsObject = false;
    noInput.input = false;
    noDevice.deviceFailures = 2;  // hardware and software vertex processing both refused
    const Case cases[] = {
        {"graphics object", noGraphics,
         "Direct3D の初期化に失敗しました.\nDirectX 9.0c 以降がインストールされているか確認してください.\n",
         {".*Direct3D の初期化に失敗しました\\..*", Literal("INFO: ---- Application finalized ----")}},
        {"input", noInput, "DirectInput の初期化に失敗しました.\n実行を中止します.",
         {Literal("INFO: fake input initialize"), "ERROR: ", "\tCDXInput 初期化失敗", kDriverSource,
          // the input made so far goes with the driver
          Literal("INFO: fake input deleted"), Literal("INFO: Direct3D device finalized."),
          Literal("INFO: Direct3D finalized."), Literal("INFO: ---- Application finalized ----")}},
        {"device", noDevice, "Direct3D の初期化に失敗しました.\n実行を中止します.",
         {Literal("INFO: fake input initialize"), Literal("INFO: fake sound initialize"), "ERROR: ",
          "\tCDXGraphics 初期化失敗", kDriverSource,
          // graphics goes at once; input and sound with the driver
          Literal("INFO: Direct3D finalized."), Literal("INFO: fake input deleted"),
          Literal("INFO: fake sound deleted"), Literal("INFO: ---- Application finalized ----")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        EXPECT_EQ(1, Run(c.script));
        EXPECT_FALSE(steps_.initialized);
        ExpectBox(c.box);
        EXPECT_EQ(kTitle, boxes_[0].caption);
        ExpectSubsequence(Lines(), c.log);
        for (const std::string& line : Lines()) {  // nothing ran that needs the failed device
            EXPECT_EQ(std::string::npos, line.find("running")) << line;
            EXPECT_EQ(std::string::npos, line.find("device ready")) << line;
            if (!c.script.graphicsObject) {
                EXPECT_EQ(std::string::npos, line.find("fake")) << line;
                EXPECT_EQ(std::string::npos, line.find("Config dialog")) << line;
            }
            if (!c.script.input) {
                EXPECT_EQ(std::string::npos, line.find("sound")) << line;
            }
        }
    }
    EXPECT_EQ(0, state_->deviceCount);
}

TEST_F(StartupTest, GraphicsIsDeletedAtOnceWhenTheDeviceCannotBeMade) {
    DeviceScript script;
    script.deviceFailures = 2;
    ASSERT_TRUE(CreateApplicationDriver());
    CGameApplicationDriverDX9* driver = GetApplicationDriver();
    driver->SetDeviceFactory(MakeFactory(script, MakeGraphicsState()));
    EXPECT_FALSE(driver->Initialize());
    EXPECT_EQ(nullptr, driver->GetGraphics());
    EXPECT_NE(nullptr, driver->GetInput());
    EXPECT_NE(nullptr, driver->GetSound());
    EXPECT_EQ(nullptr, driver->GetSceneManager());
    EXPECT_FALSE(driver->IsInitialized());
}

TEST_F(StartupTest, SoundFailureWarnsAndTheProgramRunsWithoutSound) {
    DeviceScript script;
    script.sound = false;
    bool silent = false;
    steps_.beforeRun = [&](CGameApplicationDriverDX9& driver) { silent = !driver.GetSound()->IsReady(); };
    EXPECT_EQ(0, Run(script, 5));
    EXPECT_TRUE(steps_.initialized);
    EXPECT_TRUE(silent);
    ExpectBox("DirectSound の初期化に失敗しました.\nサウンドなしモードで続行します.", plat::MessageBoxKind::Warning);
    EXPECT_EQ(kTitle, boxes_[0].caption);
    ExpectSubsequence(Lines(), {Literal("INFO: fake sound initialize"), "ERROR: ", "\tCDXSound 初期化失敗",
                                kDriverSource, Literal("INFO: Direct3D device ready."),
                                Literal("INFO: play posts quit"), Literal("INFO: ---- Application finalized ----")});
}

TEST_F(StartupTest, CancelledDialogEndsQuietlyWithSuccessButNoAdapterIsAFailure) {
    ::setenv(kDialogVariable, "cancel", 1);
    EXPECT_EQ(0, Run(DeviceScript()));
    EXPECT_FALSE(steps_.initialized);
    EXPECT_TRUE(boxes_.empty());
    ExpectSubsequence(Lines(), {Literal("INFO: Config dialog DLL load successful."), ".*キャンセル.*",
                                Literal("INFO: Direct3D finalized."), Literal("INFO: ---- Application finalized ----")});
    for (const std::string& line : Lines()) {
        EXPECT_EQ(std::string::npos, line.find("fake")) << line;
        EXPECT_EQ(std::string::npos, line.find("ERROR")) << line;
    }

    steps_.configure = [](CGameApplicationDriverDX9& driver) {
        ApplicationDeviceFactory factory = MakeFactory(DeviceScript(), MakeGraphicsState());
        std::shared_ptr<plat::FakeGraphicsState> empty = std::make_shared<plat::FakeGraphicsState>();
        factory.graphics = [empty]() { return new CDXGraphics(plat::CreateFakeGraphicsSystem(empty)); };
        driver.SetDeviceFactory(factory);
    };
    EXPECT_EQ(1, RunEntry(steps_));
    EXPECT_EQ(1u, boxes_.size());  // the dialog's own
}

TEST_F(StartupTest, MessageBoxesNeverWaitInAnUnattendedRun) {
    // No capture: the boxes go where an unattended run sends them, and the run ends on its own.
    plat::SetMessageBoxHook(plat::MessageBoxHook());
    EXPECT_FALSE(plat::CanShowMessageBox());
    DeviceScript script;
    script.input = false;
    EXPECT_EQ(1, Run(script));
    ExpectSubsequence(Lines(), {"\tCDXInput 初期化失敗", Literal("INFO: ---- Application finalized ----")});
}

// ---- Failures at the top -----------------------------------------------------------------------

TEST_F(StartupTest, AnExceptionInAFrameIsReportedWithTheWindowAndShutDownRunsInOrder) {
    const std::function<void(unsigned)> failures[] = {
        [](unsigned seen) {
            if (seen >= 2) throw EReadError(nullptr, "frame failure");
        },
        [](unsigned) { throw std::runtime_error("frame failure"); },  // a standard exception too
    };
    for (const auto& failure : failures) {
        Restart();
        playFrame_ = failure;
        EXPECT_EQ(1, Run(DeviceScript(), 0));
        ExpectBox("frame failure");
        EXPECT_NE(plat::kNoWindow, boxes_[0].owner);
        ExpectSubsequence(Lines(), {
            Literal("INFO: Application driver running..."),
            ".*frame failure.*",
            Literal("INFO: Application driver running finished."),
            Literal("INFO: play finalize"),
            Literal("INFO: overlay finalize"),
            Literal("INFO: fake input deleted"),
            Literal("INFO: fake sound deleted"),
            Literal("INFO: Direct3D finalized."),
            Literal("INFO: ---- Application finalized ----"),
        });
    }
}

TEST_F(StartupTest, FailuresLeavingInitializeAreFatal) {
    const std::string name = CConfigDialogDX9::GetLibraryName();
    const std::pair<std::string, std::function<void(CGameApplicationDriverDX9&)>> cases[] = {
        {"no-such-archive.tva",
         [](CGameApplicationDriverDX9& d) { d.UseArchive(ExtractFileDir(GetModuleFilePath()) + "no-such-archive.tva"); }},
        {"no-such-pause.bmp", [](CGameApplicationDriverDX9& d) { d.SetPauseScreenBitmap("no-such-pause.bmp"); }},
        {"libno-such-dialog.so", [](CGameApplicationDriverDX9&) { CConfigDialogDX9::SetLibraryName("libno-such-dialog.so"); }},
    };
    for (const auto& c : cases) {
        Restart();
        configure_ = c.second;
        EXPECT_EQ(1, Run(DeviceScript()));
        CConfigDialogDX9::SetLibraryName(name);
        EXPECT_FALSE(steps_.initialized);
        ExpectBox(c.first);
        EXPECT_EQ(plat::kNoWindow, boxes_[0].owner);
        ExpectSubsequence(Lines(), {Literal("ERROR: Exception occurred."), ".*" + Literal(c.first) + ".*",
                                    Literal("INFO: ---- Application finalized ----")});
    }
}

TEST_F(StartupTest, SceneFailingAtShutDownIsReportedAndTheRestStillGoes) {
    playFinalizeFailure_ = true;
    EXPECT_EQ(1, Run(DeviceScript()));
    ExpectBox("scene failure");
    ExpectSubsequence(Lines(), {
        Literal("INFO: play finalize"),
        Literal("INFO: overlay finalize"),
        Literal("ERROR: Exception occurred."),
        ".*scene failure.*",
        Literal("INFO: fake input deleted"),
        Literal("INFO: fake sound deleted"),
        Literal("INFO: Direct3D finalized."),
        Literal("INFO: ---- Application finalized ----"),
    });
    EXPECT_EQ(nullptr, GetApplicationDriver());
}

TEST_F(StartupTest, AMissingOrCorruptDialogBannerIsLoggedAndTheDialogGoesOn) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tvdrv-banner-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "corrupt.bmp", std::ios::binary) << "XX this is no bitmap";
    for (const char* banner : {"no-such-banner.bmp", "corrupt.bmp"}) {
        Restart();
        configure_ = [dir, banner](CGameApplicationDriverDX9& driver) {
            driver.UseFileSystem(dir.string() + "/");
            driver.SetDialogBanner(banner);
        };
        EXPECT_EQ(0, Run(DeviceScript()));
        EXPECT_TRUE(steps_.initialized);
        EXPECT_TRUE(boxes_.empty());
        ExpectSubsequence(Lines(), {
            "ERROR: ",
            Literal("\tダイアログバナーイメージ \"" + std::string(banner) + "\" のロードに失敗しました."),
            kDriverSource,
            Literal("INFO: Config dialog DLL load successful."),
            Literal("INFO: Application driver running..."),
        });
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace drvtest
