// The window's messages as the driver takes them: pausing, the pause screen, full-screen switching,
// and the close that ends the loop.
#include "core/Text.h"
#include "tests/driver/DriverTestSupport.h"

namespace drvtest {
namespace {

// Records what the pause screen draws; text is 10 pixels a character and 12 high.
class RecordingPainter : public IPauseScreenPainter {
public:
    void Fill(std::uint32_t colour) override { calls.push_back(FormatString("fill %06X", colour)); }
    void DrawBitmap(const CSimpleDIB& b, int x, int y) override {
        calls.push_back(FormatString("bitmap %dx%d at %d,%d", b.GetWidth(), b.GetHeight(), x, y));
    }
    int TextWidth(const std::string& text) override { return static_cast<int>(text.size()) * 10; }
    int TextHeight(const std::string&) override { return 12; }
    void DrawText(const std::string& text, int x, int y, std::uint32_t colour) override {
        calls.push_back(FormatString("text '%s' at %d,%d %06X", text.c_str(), x, y, colour));
    }
    void Finish() override { calls.push_back("finish"); }
    std::vector<std::string> calls;
};

// A black 24-bit bitmap file.
std::string BlackBitmap(std::uint32_t width, std::uint32_t height) {
    const std::uint32_t size = 54 + ((width * 3 + 3) & ~3u) * height;
    std::string bytes(size, '\0');
    const std::uint32_t fields[][2] = {{2, size}, {10, 54}, {14, 40}, {18, width}, {22, height}, {26, 1}, {28, 24}};
    for (const auto& f : fields) {
        for (int i = 0; i < 4; ++i) bytes[f[0] + i] = static_cast<char>((f[1] >> (8 * i)) & 0xFF);
    }
    return bytes.replace(0, 2, "BM");
}

class PauseTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        ASSERT_TRUE(CreateApplicationDriver());
        driver_ = GetApplicationDriver();
        driver_->SetTitle(kTitle);
        driver_->SetDeviceFactory(MakeFactory(DeviceScript(), state_));
        driver_->SetPauseScreenPainter(&painter_);
    }

    // Initialised, with one live scene.
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
    // The driver's own answer: whether it handled the message (its result is then 0).
    bool Handled(unsigned message, std::uintptr_t wParam = 0) {
        std::intptr_t result = 0;
        return driver_->OnMessage(driver_->GetWindow(), message, wParam, 0, &result) && result == 0;
    }
    std::shared_ptr<plat::FakeGraphicsState> state_ = MakeGraphicsState();
    CGameApplicationDriverDX9* driver_ = nullptr;
    LoggingScene* scene_ = nullptr;
    RecordingPainter painter_;
};

// ---- Pausing -----------------------------------------------------------------------------------

TEST_F(PauseTest, DeactivationOrMinimisingPausesWithTheOptionAndActivationAlwaysResumes) {
    driver_->SetPause(true);  // before Initialize: the title only
    EXPECT_EQ(std::string(kTitle) + " [PAUSE]", driver_->GetWindow()->GetTitle());
    driver_->SetPause(false);
    Start();
    for (unsigned message : {kMessageActivate, kMessageSize}) {
        const std::uintptr_t away = message == kMessageActivate ? unsigned(kWindowInactive) : unsigned(kSizeMinimized);
        Send(message, away);
        EXPECT_TRUE(driver_->GetFrameRateKeeper()->IsPaused());
        EXPECT_EQ(std::string(kTitle) + " [PAUSE]", driver_->GetWindow()->GetTitle());
        EXPECT_EQ(kTitle, driver_->GetTitle());
        driver_->SetPauseWhenInactive(false);  // switched off meanwhile: activation still resumes
        Send(kMessageActivate, kWindowActive);
        EXPECT_FALSE(driver_->GetFrameRateKeeper()->IsPaused());
        EXPECT_EQ(kTitle, driver_->GetWindow()->GetTitle());
        Send(message, away);  // without the option
        EXPECT_FALSE(driver_->GetFrameRateKeeper()->IsPaused());
        driver_->SetPauseWhenInactive(true);
    }
}

// Handled messages answer 0 whether or not they acted; the scenes draw the window themselves while
// there is graphics and no pausing, and closing is left to the default handling.
TEST_F(PauseTest, HandledMessagesAnswerZeroWhetherOrNotTheyActed) {
    driver_->SetPauseWhenInactive(false);
    driver_->SetModeSwitchEnabled(false);
    EXPECT_TRUE(Handled(kMessagePaint));  // without graphics the paint is taken
    painter_.calls.clear();
    Start();
    for (unsigned message : {kMessageSize, kMessageActivate, kMessageEraseBackground, kMessageKeyDown}) {
        EXPECT_TRUE(Handled(message, kWindowInactive)) << message;
    }
    for (unsigned message : {kMessagePaint, kMessageClose, kMessageDestroy}) EXPECT_FALSE(Handled(message)) << message;
    EXPECT_TRUE(painter_.calls.empty());
}

// ---- The pause screen --------------------------------------------------------------------------

// The bitmap stands in the bottom-right corner in place of the title (the title's place and the
// pause mark are drawn on the real device in RunTest).
TEST_F(PauseTest, PauseScreenShowsTheBitmapAndThePauseMarkOrThePauseText) {
    const tvtest::TempDir data;
    tvtest::WriteFile(data / "pause.bmp", BlackBitmap(30, 20));
    driver_->UseFileSystem(data.Path() + "/");
    driver_->SetPauseScreenBitmap("pause.bmp");
    driver_->SetPauseScreenText("abc");
    Start();
    ASSERT_TRUE(driver_->GetPauseScreenBitmap());
    EXPECT_TRUE(Handled(kMessagePaint));  // running: the pause text in the centre
    EXPECT_EQ((std::vector<std::string>{"bitmap 30x20 at 610,460", "text 'abc' at 305,234 DCDCDC", "finish"}),
              painter_.calls);
    Send(kMessageActivate, kWindowInactive);
    painter_.calls.clear();
    Send(kMessageEraseBackground);
    Send(kMessagePaint);
    EXPECT_EQ((std::vector<std::string>{"fill 202020", "bitmap 30x20 at 610,460",
                                        "text '< <  P A U S E  > >' at 225,234 DCDCDC", "finish"}),
              painter_.calls);
}

// ---- Full screen and window --------------------------------------------------------------------

TEST_F(PauseTest, F4AndMaximisingSwitchToFullScreenOnlyWithModeSwitching) {
    driver_->SetModeSwitchEnabled(false);
    Start();
    Send(kMessageKeyDown, plat::kKeyF4);
    // Window managers maximise on their own: that is no request for full screen here.
    EXPECT_TRUE(Handled(kMessageSize, kSizeMaximized));
    EXPECT_FALSE(driver_->GetGraphics()->IsFullScreen());

    driver_->SetModeSwitchEnabled(true);
    const std::size_t before = Lines().size();
    Send(kMessageKeyDown, plat::kKeyF4);
    EXPECT_TRUE(driver_->GetGraphics()->IsFullScreen());
    EXPECT_TRUE(driver_->GetWindow()->IsFullScreen());
    // The device was reset once, and the scenes heard it.
    int resets = 0;
    for (const std::string& entry : state_->journal) resets += entry.rfind("Reset(", 0) == 0;
    EXPECT_EQ(1, resets);
    const std::vector<std::string> lines = Lines();
    EXPECT_EQ(std::vector<std::string>{"INFO: play device reset"},
              std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()));
    Send(kMessageKeyDown, plat::kKeyF4);
    EXPECT_FALSE(driver_->GetGraphics()->IsFullScreen());
    EXPECT_FALSE(driver_->GetWindow()->IsFullScreen());
    EXPECT_TRUE(Handled(kMessageSize, kSizeMaximized));
    EXPECT_TRUE(driver_->GetGraphics()->IsFullScreen());
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
    ExpectLog(Lines(), {"INFO: Application driver running...", "INFO: Application driver running finished."});
}

}  // namespace
}  // namespace drvtest
