// Start-up and shut-down with fake devices: the order the log records, and what each device's failure
// means for the log, the message boxes and the exit code.
#include "tests/driver/DriverTestSupport.h"

#include <filesystem>
#include <fstream>

#include "devices/ConfigDialogDX9.h"

namespace drvtest {
namespace {

const char* const kStarted = "INFO: ---- \\[ driver_tests \\] Started ----";
const char* const kCoreBanner = "INFO: Trivale Core library ver\\..*";
const char* const kDx9Banner = "INFO: Trivale DX9 library ver.0.80(338) (Jan 17 2006 16:38:20) ReleaseMode";
const char* const kTypeABanner = "INFO: Trivale Type-A library ver.0.50(1046) (Jan 17 2006 16:39:15) ReleaseMode";
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
            overlay_ = new LoggingScene(0xFFFF, "overlay");
            play_ = new LoggingScene(0x8000, "play", quitAfter);
            if (playFrame_) play_->onFrame = playFrame_;
            play_->finalizeFailure = playFinalizeFailure_;
            manager.AddScene(overlay_);
            manager.AddScene(play_);
        };
        return RunEntry(steps_);
    }

    // The first lines of every run, up to the library banners.
    static std::vector<std::string> Opening() {
        return {kStarted, kCoreBanner, Literal(kDx9Banner), Literal(kTypeABanner)};
    }
    static void Append(std::vector<std::string>& to, const std::vector<std::string>& more) {
        to.insert(to.end(), more.begin(), more.end());
    }

    std::shared_ptr<plat::FakeGraphicsState> state_;
    EntrySteps steps_;
    std::function<void(CGameApplicationDriverDX9&)> configure_;
    std::function<void(unsigned)> playFrame_;
    bool playFinalizeFailure_ = false;
    LoggingScene* overlay_ = nullptr;
    LoggingScene* play_ = nullptr;
};

// ---- The whole run -----------------------------------------------------------------------------

TEST_F(StartupTest, WholeRunLogsStartUpAndShutDownInOrder) {
    EXPECT_EQ(0, Run(DeviceScript()));
    EXPECT_TRUE(steps_.initialized);
    EXPECT_TRUE(boxes_.empty());
    std::vector<std::string> expected = Opening();
    Append(expected, {
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
    ExpectLinesMatch(Lines(), expected);
    EXPECT_EQ(nullptr, GetApplicationDriver());
}

TEST_F(StartupTest, InitializeLeavesTheDevicesReadyAndTheWindowShown) {
    configure_ = [](CGameApplicationDriverDX9& driver) { driver.SetModeSwitchEnabled(false); };
    steps_.beforeRun = [](CGameApplicationDriverDX9& driver) {
        ASSERT_NE(nullptr, driver.GetGraphics());
        EXPECT_NE(nullptr, driver.GetGraphics()->GetDevice());
        EXPECT_FALSE(driver.GetGraphics()->IsFullScreen());
        ASSERT_NE(nullptr, driver.GetSound());
        EXPECT_TRUE(driver.GetSound()->IsReady());
        EXPECT_NE(nullptr, driver.GetInput());
        EXPECT_NE(nullptr, driver.GetSceneManager());
        EXPECT_NE(nullptr, driver.GetFrameRateKeeper());
        EXPECT_TRUE(driver.IsInitialized());
        EXPECT_TRUE(driver.GetWindow()->IsShown());
        EXPECT_FALSE(driver.GetWindow()->HasMaximizeBox());
        EXPECT_EQ(640, driver.GetWindow()->GetClientWidth());
        EXPECT_EQ(480, driver.GetWindow()->GetClientHeight());
        // Both parameter blocks name the main window as device window.
        EXPECT_EQ(driver.GetWindow()->GetHandle(), driver.GetGraphics()->GetPresentParameters()->deviceWindow);
    };
    steps_.afterRun = [](CGameApplicationDriverDX9& driver) { EXPECT_FALSE(driver.GetWindow()->IsShown()); };
    EXPECT_EQ(0, Run(DeviceScript()));
    EXPECT_TRUE(steps_.initialized);
}

TEST_F(StartupTest, WithoutALoaderTheProgramFolderServesTheData) {
    steps_.beforeRun = [](CGameApplicationDriverDX9& driver) {
        CFileSystemDataLoader* loader = dynamic_cast<CFileSystemDataLoader*>(driver.GetDataLoader());
        ASSERT_NE(nullptr, loader);
        EXPECT_EQ(ExtractFileDir(GetModuleFilePath()), loader->GetRootPath());
    };
    EXPECT_EQ(0, Run(DeviceScript()));
}

TEST_F(StartupTest, ForceWindowedBeatsAFullScreenChoice) {
    ::setenv(kDialogVariable, kFullScreenChoice, 1);
    configure_ = [](CGameApplicationDriverDX9& driver) { driver.SetForceWindowed(true); };
    steps_.beforeRun = [](CGameApplicationDriverDX9& driver) {
        EXPECT_FALSE(driver.GetGraphics()->IsFullScreen());
        EXPECT_FALSE(driver.GetWindow()->IsFullScreen());
        EXPECT_TRUE(driver.GetGraphics()->GetPresentParameters()->windowed);
    };
    EXPECT_EQ(0, Run(DeviceScript()));
}

TEST_F(StartupTest, AFullScreenChoiceStartsInFullScreen) {
    ::setenv(kDialogVariable, kFullScreenChoice, 1);
    steps_.beforeRun = [](CGameApplicationDriverDX9& driver) {
        EXPECT_TRUE(driver.GetGraphics()->IsFullScreen());
        EXPECT_TRUE(driver.GetWindow()->IsFullScreen());
        EXPECT_FALSE(driver.GetGraphics()->GetPresentParameters()->windowed);
        EXPECT_EQ(driver.GetWindow()->GetHandle(), driver.GetGraphics()->GetPresentParameters()->deviceWindow);
    };
    EXPECT_EQ(0, Run(DeviceScript()));
}

// ---- Each device failing in turn ---------------------------------------------------------------

TEST_F(StartupTest, NoGraphicsSystemIsReportedAndEndsTheRunAsAFailure) {
    DeviceScript script;
    script.graphicsObject = false;
    EXPECT_EQ(1, Run(script));
    EXPECT_FALSE(steps_.initialized);
    ASSERT_EQ(1u, boxes_.size());
    EXPECT_EQ("Direct3D の初期化に失敗しました.\nDirectX 9.0c 以降がインストールされているか確認してください.\n",
              boxes_[0].text);
    EXPECT_EQ(kTitle, boxes_[0].caption);
    EXPECT_EQ(plat::MessageBoxKind::Error, boxes_[0].kind);
    std::vector<std::string> lines = LinesFrom("INFO: FileSystemDataLoader: root path = " +
                                               ExtractFileDir(GetModuleFilePath()));
    ASSERT_FALSE(lines.empty());
    // The report lines of the exception, then at once the shut-down: no dialog, no devices, no scenes.
    std::vector<std::string> tail(lines.begin() + 1, lines.end());
    ExpectSubsequence(tail, {".*Direct3D の初期化に失敗しました\\..*"});
    for (const std::string& line : tail) {
        EXPECT_EQ(std::string::npos, line.find("Config dialog")) << line;
        EXPECT_EQ(std::string::npos, line.find("fake")) << line;
        EXPECT_EQ(std::string::npos, line.find("running")) << line;
    }
    EXPECT_EQ("INFO: ---- Application finalized ----", lines.back());
}

TEST_F(StartupTest, CancelledDialogEndsQuietlyWithSuccess) {
    ::setenv(kDialogVariable, "cancel", 1);
    EXPECT_EQ(0, Run(DeviceScript()));
    EXPECT_FALSE(steps_.initialized);
    EXPECT_TRUE(boxes_.empty());
    std::vector<std::string> lines = Lines();
    ExpectSubsequence(lines, {
        "INFO: Display adapter #0: .*",
        Literal("INFO: Config dialog DLL load successful."),
        ".*キャンセル.*",
        // the graphics object goes at once
        Literal("INFO: Direct3D device finalized."),
        Literal("INFO: Direct3D finalized."),
        Literal("INFO: ---- Application finalized ----"),
    });
    for (const std::string& line : lines) {
        EXPECT_EQ(std::string::npos, line.find("fake")) << line;
        EXPECT_EQ(std::string::npos, line.find("ERROR")) << line;
    }
}

TEST_F(StartupTest, NoAdapterToChooseFromEndsTheRunAsAFailure) {
    steps_.configure = [](CGameApplicationDriverDX9& driver) {
        ApplicationDeviceFactory factory = MakeFactory(DeviceScript(), MakeGraphicsState());
        std::shared_ptr<plat::FakeGraphicsState> empty = std::make_shared<plat::FakeGraphicsState>();
        factory.graphics = [empty]() { return new CDXGraphics(plat::CreateFakeGraphicsSystem(empty)); };
        driver.SetDeviceFactory(factory);
    };
    EXPECT_EQ(1, RunEntry(steps_));
    EXPECT_FALSE(steps_.initialized);
    ASSERT_EQ(1u, boxes_.size());  // the dialog's own
    EXPECT_EQ(plat::MessageBoxKind::Error, boxes_[0].kind);
}

TEST_F(StartupTest, MissingDialogModuleIsAFatalFailure) {
    const std::string name = CConfigDialogDX9::GetLibraryName();
    CConfigDialogDX9::SetLibraryName("libno-such-dialog.so");
    const int code = Run(DeviceScript());
    CConfigDialogDX9::SetLibraryName(name);
    EXPECT_EQ(1, code);
    EXPECT_FALSE(steps_.initialized);
    ASSERT_EQ(1u, boxes_.size());
    EXPECT_NE(std::string::npos, boxes_[0].text.find("libno-such-dialog.so"));
    ExpectSubsequence(Lines(), {
        Literal("ERROR: Exception occurred."),
        ".*libno-such-dialog\\.so.*",
        Literal("INFO: Direct3D finalized."),
        Literal("INFO: ---- Application finalized ----"),
    });
}

TEST_F(StartupTest, InputFailureIsReportedAndEndsTheRunAsAFailure) {
    DeviceScript script;
    script.input = false;
    EXPECT_EQ(1, Run(script));
    EXPECT_FALSE(steps_.initialized);
    ASSERT_EQ(1u, boxes_.size());
    EXPECT_EQ("DirectInput の初期化に失敗しました.\n実行を中止します.", boxes_[0].text);
    EXPECT_EQ(kTitle, boxes_[0].caption);
    EXPECT_EQ(plat::MessageBoxKind::Error, boxes_[0].kind);
    ExpectSubsequence(Lines(), {
        Literal("INFO: fake input initialize"),
        "ERROR: ",
        "\tCDXInput 初期化失敗",
        kDriverSource,
        // no sound, no device; the input made so far goes with the driver
        Literal("INFO: fake input deleted"),
        Literal("INFO: DirectInput finalized."),
        Literal("INFO: Direct3D device finalized."),
        Literal("INFO: Direct3D finalized."),
        Literal("INFO: ---- Application finalized ----"),
    });
    for (const std::string& line : Lines()) {
        EXPECT_EQ(std::string::npos, line.find("sound")) << line;
        EXPECT_EQ(std::string::npos, line.find("device ready")) << line;
    }
}

TEST_F(StartupTest, SoundFailureWarnsAndTheProgramRunsWithoutSound) {
    DeviceScript script;
    script.sound = false;
    bool soundPresentButSilent = false;
    steps_.beforeRun = [&](CGameApplicationDriverDX9& driver) {
        soundPresentButSilent = driver.GetSound() != nullptr && !driver.GetSound()->IsReady();
    };
    EXPECT_EQ(0, Run(script, 5));
    EXPECT_TRUE(steps_.initialized);
    EXPECT_TRUE(soundPresentButSilent);
    ASSERT_EQ(1u, boxes_.size());
    EXPECT_EQ("DirectSound の初期化に失敗しました.\nサウンドなしモードで続行します.", boxes_[0].text);
    EXPECT_EQ(kTitle, boxes_[0].caption);
    EXPECT_EQ(plat::MessageBoxKind::Warning, boxes_[0].kind);
    ExpectSubsequence(Lines(), {
        Literal("INFO: fake sound initialize"),
        "ERROR: ",
        "\tCDXSound 初期化失敗",
        kDriverSource,
        Literal("INFO: Direct3D device ready."),
        Literal("INFO: Application driver running..."),
        Literal("INFO: play posts quit"),
        Literal("INFO: Application driver running finished."),
        Literal("INFO: ---- Application finalized ----"),
    });
}

TEST_F(StartupTest, DeviceCreationFailureIsReportedAndEndsTheRunAsAFailure) {
    DeviceScript script;
    script.deviceFailures = 2;  // hardware and software vertex processing both refused
    EXPECT_EQ(1, Run(script));
    EXPECT_FALSE(steps_.initialized);
    ASSERT_EQ(1u, boxes_.size());
    EXPECT_EQ("Direct3D の初期化に失敗しました.\n実行を中止します.", boxes_[0].text);
    EXPECT_EQ(kTitle, boxes_[0].caption);
    EXPECT_EQ(plat::MessageBoxKind::Error, boxes_[0].kind);
    ExpectSubsequence(Lines(), {
        Literal("INFO: fake input initialize"),
        Literal("INFO: fake sound initialize"),
        "ERROR: ",
        "\tCDXGraphics 初期化失敗",
        kDriverSource,
        // graphics goes at once; input and sound with the driver
        Literal("INFO: Direct3D finalized."),
        Literal("INFO: fake input deleted"),
        Literal("INFO: fake sound deleted"),
        Literal("INFO: ---- Application finalized ----"),
    });
    EXPECT_EQ(0, state_->deviceCount);
}

TEST_F(StartupTest, GraphicsIsDeletedAtOnceWhenTheDeviceCannotBeMade) {
    DeviceScript script;
    script.deviceFailures = 2;
    ASSERT_TRUE(CreateApplicationDriver());
    CGameApplicationDriverDX9* driver = GetApplicationDriver();
    std::shared_ptr<plat::FakeGraphicsState> state = MakeGraphicsState();
    driver->SetDeviceFactory(MakeFactory(script, state));
    EXPECT_FALSE(driver->Initialize());
    EXPECT_EQ(nullptr, driver->GetGraphics());
    EXPECT_NE(nullptr, driver->GetInput());
    EXPECT_NE(nullptr, driver->GetSound());
    EXPECT_EQ(nullptr, driver->GetSceneManager());
    EXPECT_FALSE(driver->IsInitialized());
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

TEST_F(StartupTest, EngineExceptionInAFrameIsReportedAndShutDownRunsInOrder) {
    playFrame_ = [](unsigned seen) {
        if (seen >= 2) throw EReadError(nullptr, "frame failure");
    };
    EXPECT_EQ(1, Run(DeviceScript(), 0));
    ASSERT_EQ(1u, boxes_.size());
    EXPECT_NE(std::string::npos, boxes_[0].text.find("frame failure"));
    // Reported with the main window as owner.
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

TEST_F(StartupTest, StandardExceptionInAFrameIsReportedAndShutDownRunsInOrder) {
    playFrame_ = [](unsigned) { throw std::runtime_error("out of everything"); };
    EXPECT_EQ(1, Run(DeviceScript(), 0));
    ASSERT_EQ(1u, boxes_.size());
    EXPECT_NE(std::string::npos, boxes_[0].text.find("out of everything"));
    EXPECT_NE(plat::kNoWindow, boxes_[0].owner);
    ExpectSubsequence(Lines(), {
        ".*out of everything.*",
        Literal("INFO: Application driver running finished."),
        Literal("INFO: play finalize"),
        Literal("INFO: ---- Application finalized ----"),
    });
}

TEST_F(StartupTest, MissingArchiveIsAFatalFailure) {
    configure_ = [](CGameApplicationDriverDX9& driver) {
        driver.UseArchive(ExtractFileDir(GetModuleFilePath()) + "no-such-archive.tva");
    };
    EXPECT_EQ(1, Run(DeviceScript()));
    EXPECT_FALSE(steps_.initialized);
    ASSERT_EQ(1u, boxes_.size());
    EXPECT_EQ(plat::kNoWindow, boxes_[0].owner);
    EXPECT_NE(std::string::npos, boxes_[0].text.find("no-such-archive.tva"));
    ExpectSubsequence(Lines(), {
        Literal("ERROR: Exception occurred."),
        ".*no-such-archive\\.tva.*",
        Literal("INFO: ---- Application finalized ----"),
    });
}

TEST_F(StartupTest, UnreadablePauseScreenBitmapLeavesInitializeAsAFatalFailure) {
    configure_ = [](CGameApplicationDriverDX9& driver) { driver.SetPauseScreenBitmap("no-such-pause.bmp"); };
    EXPECT_EQ(1, Run(DeviceScript()));
    ASSERT_EQ(1u, boxes_.size());
    ExpectSubsequence(Lines(), {
        Literal("ERROR: Exception occurred."),
        ".*no-such-pause\\.bmp.*",
        Literal("INFO: ---- Application finalized ----"),
    });
}

TEST_F(StartupTest, SceneFailingAtShutDownIsReportedAndTheRestStillGoes) {
    playFinalizeFailure_ = true;
    EXPECT_EQ(1, Run(DeviceScript()));
    ASSERT_EQ(1u, boxes_.size());
    EXPECT_NE(std::string::npos, boxes_[0].text.find("scene failure"));
    ExpectSubsequence(Lines(), {
        Literal("INFO: Application driver running finished."),
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

TEST_F(StartupTest, UnreadableDialogBannerIsLoggedAndTheDialogGoesOn) {
    configure_ = [](CGameApplicationDriverDX9& driver) { driver.SetDialogBanner("no-such-banner.bmp"); };
    EXPECT_EQ(0, Run(DeviceScript()));
    EXPECT_TRUE(steps_.initialized);
    EXPECT_TRUE(boxes_.empty());
    ExpectSubsequence(Lines(), {
        "ERROR: ",
        Literal("\tダイアログバナーイメージ \"no-such-banner.bmp\" のロードに失敗しました."),
        kDriverSource,
        Literal("INFO: Config dialog DLL load successful."),
        Literal("INFO: Application driver running..."),
    });
}

TEST_F(StartupTest, CorruptDialogBannerIsLoggedAndTheDialogGoesOn) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tvdrv-banner";
    std::filesystem::create_directories(dir);
    {
        std::ofstream out(dir / "banner.bmp", std::ios::binary);
        out << "XX this is no bitmap";
    }
    configure_ = [dir](CGameApplicationDriverDX9& driver) {
        driver.UseFileSystem(dir.string() + "/");
        driver.SetDialogBanner("banner.bmp");
    };
    EXPECT_EQ(0, Run(DeviceScript()));
    std::filesystem::remove_all(dir);
    ExpectSubsequence(Lines(), {
        Literal("\tダイアログバナーイメージ \"banner.bmp\" のロードに失敗しました."),
        Literal("INFO: Application driver running..."),
    });
}

}  // namespace
}  // namespace drvtest
