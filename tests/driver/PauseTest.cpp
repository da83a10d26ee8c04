// The window's messages as the driver takes them: pausing, the pause screen, full-screen switching,
// and the close that ends the loop.
#include "tests/driver/DriverTestSupport.h"

#include <filesystem>
#include <fstream>

namespace drvtest {
namespace {

// Records what the pause screen draws.
class RecordingPainter : public IPauseScreenPainter {
public:
    void Fill(std::uint32_t colour) override { calls.push_back("fill " + Hex(colour)); }
    void DrawBitmap(const CSimpleDIB& bitmap, int x, int y) override {
        calls.push_back("bitmap " + std::to_string(bitmap.GetWidth()) + "x" + std::to_string(bitmap.GetHeight()) +
                        " at " + std::to_string(x) + "," + std::to_string(y));
    }
    int TextWidth(const std::string& text) override { return static_cast<int>(text.size()) * 10; }
    int TextHeight(const std::string&) override { return 12; }
    void DrawText(const std::string& text, int x, int y, std::uint32_t colour) override {
        calls.push_back("text '" + text + "' at " + std::to_string(x) + "," + std::to_string(y) + " " + Hex(colour));
    }
    void Finish() override { calls.push_back("finish"); }

    std::vector<std::string> calls;

private:
    static std::string Hex(std::uint32_t value) {
        char text[16];
        std::snprintf(text, sizeof(text), "%06X", value);
        return text;
    }
};

// A 24-bit bitmap file of one colour.
std::string SolidBitmap(int width, int height) {
    const int stride = (width * 3 + 3) & ~3;
    const std::uint32_t size = 54 + static_cast<std::uint32_t>(stride * height);
    std::string bytes(size, '\0');
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    bytes[26] = 1;
    bytes[28] = 24;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t at = 54 + static_cast<std::size_t>(y * stride + x * 3);
            bytes[at] = 0x40;
            bytes[at + 1] = 0x30;
            bytes[at + 2] = 0x20;
        }
    }
    return bytes;
}

class PauseTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        state_ = MakeGraphicsState();
        ASSERT_TRUE(CreateApplicationDriver());
        driver_ = GetApplicationDriver();
        driver_->SetTitle(kTitle);
        driver_->SetDeviceFactory(MakeFactory(DeviceScript(), state_));
        driver_->SetPauseScreenPainter(&painter_);
    }
    void TearDown() override {
        DestroyApplicationDriver();
        if (!dataDir_.empty()) std::filesystem::remove_all(dataDir_);
        DriverTest::TearDown();
    }

    void Start() {
        ASSERT_TRUE(driver_->Initialize());
        scene_ = new LoggingScene(0x8000, "play");
        driver_->GetSceneManager()->AddScene(scene_);
        driver_->GetSceneManager()->OnFrame(1);
    }
    // A message through the window, as the loop dispatches it.
    std::intptr_t Send(unsigned message, std::uintptr_t wParam = 0) {
        return GameWindowProc(driver_->GetWindow()->GetHandle()->GetId(), message, wParam, 0);
    }
    // The driver's own answer.
    bool Handled(unsigned message, std::uintptr_t wParam = 0) {
        std::intptr_t result = 99;
        const bool handled = driver_->OnMessage(driver_->GetWindow(), message, wParam, 0, &result);
        if (handled) {
            EXPECT_EQ(0, result);
        }
        return handled;
    }
    void UseBitmapFolder(int width, int height) {
        dataDir_ = std::filesystem::temp_directory_path() / ("tvdrv-pause-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dataDir_);
        std::ofstream(dataDir_ / "pause.bmp", std::ios::binary) << SolidBitmap(width, height);
        driver_->UseFileSystem(dataDir_.string() + "/");
    }

    std::shared_ptr<plat::FakeGraphicsState> state_;
    CGameApplicationDriverDX9* driver_ = nullptr;
    LoggingScene* scene_ = nullptr;
    RecordingPainter painter_;
    std::filesystem::path dataDir_;
};

// ---- Pausing -----------------------------------------------------------------------------------

TEST_F(PauseTest, DeactivationPausesAndActivationResumes) {
    Start();
    Send(kMessageActivate, kWindowInactive);
    EXPECT_TRUE(driver_->GetFrameRateKeeper()->IsPaused());
    EXPECT_EQ(std::string(kTitle) + " [PAUSE]", driver_->GetWindow()->GetTitle());
    EXPECT_EQ(kTitle, driver_->GetTitle());
    // The resume does not depend on the option: switched off meanwhile, activation still resumes.
    driver_->SetPauseWhenInactive(false);
    Send(kMessageActivate, kWindowActive);
    EXPECT_FALSE(driver_->GetFrameRateKeeper()->IsPaused());
    EXPECT_EQ(kTitle, driver_->GetWindow()->GetTitle());
}

TEST_F(PauseTest, MinimisingPausesOnlyWithTheOption) {
    Start();
    Send(kMessageSize, kSizeMinimized);
    EXPECT_TRUE(driver_->GetFrameRateKeeper()->IsPaused());
    Send(kMessageActivate, kWindowActive);
    driver_->SetPauseWhenInactive(false);
    Send(kMessageSize, kSizeMinimized);
    Send(kMessageActivate, kWindowInactive);
    EXPECT_FALSE(driver_->GetFrameRateKeeper()->IsPaused());
    EXPECT_EQ(kTitle, driver_->GetWindow()->GetTitle());
}

TEST_F(PauseTest, SetPauseBeforeInitializeOnlyChangesTheTitle) {
    driver_->SetPause(true);
    EXPECT_EQ(std::string(kTitle) + " [PAUSE]", driver_->GetWindow()->GetTitle());
    driver_->SetPause(false);
    EXPECT_EQ(kTitle, driver_->GetWindow()->GetTitle());
}

TEST_F(PauseTest, HandledMessagesAnswerZeroWhetherOrNotTheyActed) {
    Start();
    driver_->SetPauseWhenInactive(false);
    driver_->SetModeSwitchEnabled(false);
    EXPECT_TRUE(Handled(kMessageSize, kSizeRestored));
    EXPECT_TRUE(Handled(kMessageActivate, kWindowInactive));
    EXPECT_TRUE(Handled(kMessageEraseBackground));
    EXPECT_TRUE(Handled(kMessageKeyDown, plat::kKeyF4));
    EXPECT_TRUE(Handled(kMessageKeyDown, plat::kKeyEscape));
    // The scenes draw the window themselves while there is graphics and no pausing.
    EXPECT_FALSE(Handled(kMessagePaint));
    EXPECT_FALSE(Handled(kMessageClose));
    EXPECT_FALSE(Handled(kMessageDestroy));
    EXPECT_TRUE(painter_.calls.empty());
}

// ---- The pause screen --------------------------------------------------------------------------

TEST_F(PauseTest, PauseScreenShowsTheTitleAndThePauseMark) {
    Start();
    Send(kMessageActivate, kWindowInactive);
    painter_.calls.clear();
    Send(kMessageEraseBackground);
    EXPECT_TRUE(Handled(kMessagePaint));
    const std::string title = kTitle;
    const int tw = static_cast<int>(title.size()) * 10;
    const std::string mark = "< <  P A U S E  > >";
    const int mw = static_cast<int>(mark.size()) * 10;
    EXPECT_EQ((std::vector<std::string>{
                  "fill 202020",
                  "text '" + title + "' at " + std::to_string(640 - tw - 8) + "," + std::to_string(480 - 12 - 8) +
                      " DCDCDC",
                  "text '" + mark + "' at " + std::to_string(320 - mw / 2) + "," + std::to_string(240 - 6) +
                      " DCDCDC",
                  "finish",
              }),
              painter_.calls);
}

TEST_F(PauseTest, PauseScreenWhileRunningShowsThePauseText) {
    driver_->SetPauseScreenText("abc");
    Start();
    EXPECT_TRUE(Handled(kMessagePaint));
    ASSERT_EQ(3u, painter_.calls.size());
    EXPECT_EQ("text 'abc' at 305,234 DCDCDC", painter_.calls[1]);
}

TEST_F(PauseTest, PauseScreenBitmapSitsInTheBottomRightCorner) {
    UseBitmapFolder(30, 20);
    driver_->SetPauseScreenBitmap("pause.bmp");
    Start();
    ASSERT_TRUE(driver_->GetPauseScreenBitmap());
    EXPECT_TRUE(Handled(kMessagePaint));
    ASSERT_EQ(3u, painter_.calls.size());
    EXPECT_EQ("bitmap 30x20 at 610,460", painter_.calls[0]);
}

TEST_F(PauseTest, WithoutThePauseOptionTheBackgroundIsLeftAlone) {
    driver_->SetPauseWhenInactive(false);
    Start();
    Send(kMessageEraseBackground);
    Send(kMessagePaint);
    EXPECT_TRUE(painter_.calls.empty());
}

TEST_F(PauseTest, WithoutGraphicsThePaintIsStillTaken) {
    driver_->SetPauseWhenInactive(false);
    EXPECT_TRUE(Handled(kMessagePaint));
}

// ---- Full screen and window --------------------------------------------------------------------

TEST_F(PauseTest, F4TogglesFullScreenOnlyWithModeSwitching) {
    driver_->SetModeSwitchEnabled(false);
    Start();
    Send(kMessageKeyDown, plat::kKeyF4);
    EXPECT_FALSE(driver_->GetGraphics()->IsFullScreen());

    driver_->SetModeSwitchEnabled(true);
    Send(kMessageKeyDown, plat::kKeyF4);
    EXPECT_TRUE(driver_->GetGraphics()->IsFullScreen());
    EXPECT_TRUE(driver_->GetWindow()->IsFullScreen());
    Send(kMessageKeyDown, plat::kKeyF4);
    EXPECT_FALSE(driver_->GetGraphics()->IsFullScreen());
    EXPECT_FALSE(driver_->GetWindow()->IsFullScreen());
    // Back in a window, centred on the display.
    plat::Window* window = driver_->GetWindow()->GetHandle();
    const plat::Rect display = window->GetDisplayBounds();
    int x = 0, y = 0;
    window->GetPosition(&x, &y);
    EXPECT_EQ(display.x + display.width / 2 - 320, x);
    EXPECT_EQ(display.y + display.height / 2 - 240, y);
}

TEST_F(PauseTest, ModeSwitchResetsTheDeviceAndTheScenesHearIt) {
    Start();
    const std::size_t before = Lines().size();
    Send(kMessageKeyDown, plat::kKeyF4);
    std::vector<std::string> lines = Lines();
    lines.erase(lines.begin(), lines.begin() + static_cast<long>(before));
    int resets = 0;
    for (const std::string& entry : state_->journal) resets += entry.rfind("Reset(", 0) == 0;
    EXPECT_EQ(1, resets);
    EXPECT_EQ(std::vector<std::string>{"INFO: play device reset"}, lines);
}

TEST_F(PauseTest, MaximisingGoesFullScreenOnlyWithModeSwitching) {
    driver_->SetModeSwitchEnabled(false);
    Start();
    // Window managers maximise on their own: that is no request for full screen here.
    EXPECT_TRUE(Handled(kMessageSize, kSizeMaximized));
    EXPECT_FALSE(driver_->GetGraphics()->IsFullScreen());
    driver_->SetModeSwitchEnabled(true);
    EXPECT_TRUE(Handled(kMessageSize, kSizeMaximized));
    EXPECT_TRUE(driver_->GetGraphics()->IsFullScreen());
}

TEST_F(PauseTest, ModeChangeRestylesTheWindow) {
    driver_->SetShowCursorInFullScreen(false);
    Start();
    driver_->OnBeforeModeChange(true);
    EXPECT_TRUE(driver_->GetWindow()->IsFullScreen());
    driver_->OnBeforeModeChange(false);
    EXPECT_FALSE(driver_->GetWindow()->IsFullScreen());
}

// ---- Closing -----------------------------------------------------------------------------------

TEST_F(PauseTest, ClosingTheWindowEndsTheLoop) {
    Start();
    scene_->onFrame = [this](unsigned seen) {
        if (seen == 3) Send(kMessageClose);
    };
    driver_->GetFrameRateKeeper()->SetFrameRate(0);
    driver_->Run();
    EXPECT_FALSE(driver_->GetWindow()->IsShown());
    EXPECT_EQ(0, GetApplicationExitCode());
    ExpectSubsequence(Lines(), {
        Literal("INFO: Application driver running..."),
        Literal("INFO: Application driver running finished."),
    });
}

}  // namespace
}  // namespace drvtest
