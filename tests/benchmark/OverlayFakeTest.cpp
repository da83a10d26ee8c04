// The overlay over the recording device: what it loads, the clears that end every pass, the debug
// pages and the script console.
#include "benchmark/ResourceScene.h"
#include "tests/benchmark/OverlayTestSupport.h"

namespace {

using namespace overlaytest;
using Lines = std::vector<std::string>;

// A controller whose "debug" button is pushed as often as the test says.
class PushingController : public trivale::IController {
public:
    int pushes = 0;
    trivale::ControllerType GetType() override { return trivale::ControllerType::Keyboard; }
    void Update() override {}
    bool IsPressed(const std::string&) override { return false; }
    bool IsPushed(const std::string& name) override {
        if (name != "debug" || pushes == 0) return false;
        --pushes;
        return true;
    }
    void Reset() override {}
    void DefineButton(const std::string&, const std::string&) override {}
    std::string GetLabel(const std::string&) override { return ""; }
    bool Capture(const std::string&, unsigned) override { return false; }
    void SetAssignment(const std::string&, unsigned, int) override {}
    int GetAssignment(const std::string&, unsigned) override { return -1; }
    std::string GetAssignmentName(const std::string&, unsigned) override { return ""; }
};

class OverlayFakeTest : public OverlayTest {
protected:
    // After Initialize: the test's controller joins the merged one behind the input devices.
    void Start() {
        overlay_->Initialize();
        dynamic_cast<trivale::CMergedController&>(*overlay_->GetController()).AddController(&keys_);
    }
    void SetUp() override {
        StartFake([](plat::FakeAdapter&) {});
        WriteOverlayFiles();
        overlay_.reset(CResourceScene::Instance());
    }
    void TearDown() override {
        overlay_.reset();
        OverlayTest::TearDown();
    }
    PushingController keys_;
    std::unique_ptr<CResourceScene> overlay_;
};

const Lines kClears = {"Clear(1, 0x0) in 0 0 640 40", "Clear(1, 0x0) in 0 440 640 40",
                       "Clear(3, 0xFF1E1E1E) in 0 40 640 400"};

TEST_F(OverlayFakeTest, InitializeLaysOutClearsPresentsAndLoadsFontsForTheWidth) {
    EXPECT_EQ(CResourceScene::Instance(), overlay_.get()) << "one overlay";
    overlay_->Initialize();
    Lines expected = kClears;
    expected.push_back("Present");
    EXPECT_EQ(Journal({"Clear", "Present"}), expected);
    EXPECT_EQ(overlay_->GetViewport()->GetY(), 40u);
    EXPECT_EQ(overlay_->GetFont(0)->GetCharWidth(), 16) << "640 wide: FONT16T2 large";
    EXPECT_EQ(overlay_->GetFont(1)->GetCharWidth(), 8) << "and FONT08T2 small";
    EXPECT_EQ(overlay_->GetFont(2)->GetCharHeight(), 8);
    EXPECT_EQ(overlay_->GetFont(3), nullptr);
    overlay_.reset();
    EXPECT_NE(CResourceScene::Instance(), nullptr) << "a new one after the old is gone";
    overlay_.reset(CResourceScene::Instance());
}

TEST_F(OverlayFakeTest, EveryPassEndsWithPresentThenClearsInTheClearColour) {
    overlay_->Initialize();
    overlay_->SetClearColor(0xFF405060);
    Journal();
    overlay_->Frame(1);
    const Lines lines = Journal({"Clear", "Present"});
    EXPECT_EQ(lines, (Lines{"Present", "Clear(1, 0x0) in 0 0 640 40", "Clear(1, 0x0) in 0 440 640 40",
                            "Clear(3, 0xFF405060) in 0 40 640 400"}));
    plat::Viewport applied;
    Device()->GetViewport(applied);
    EXPECT_EQ(applied.y, 40u) << "the main viewport stays applied for the next pass";
}

TEST_F(OverlayFakeTest, ScoreGrowsOncePerPassOnlyWhileCounting) {
    overlay_->Initialize();
    overlay_->Frame(1);
    overlay_->SetScoreCounting(true);
    overlay_->SetScoreRatio(2.0f);
    for (int i = 0; i < 3; ++i) overlay_->Frame(5);  // frames a pass stands for do not count
    overlay_->SetScoreCounting(false);
    overlay_->Frame(1);
    EXPECT_EQ(overlay_->GetScore(), 6.0f);
    overlay_->ResetScore();
    EXPECT_EQ(overlay_->GetScore(), 0.0f);
    EXPECT_EQ(overlay_->GetScoreCounter().GetPrevious(), 6.0f);
}

TEST_F(OverlayFakeTest, DebugPagesCycleAndScriptErrorsOpenTheConsole) {
    Start();
    keys_.pushes = 7;
    for (int i = 0; i < 7; ++i) overlay_->Frame(1);
    EXPECT_EQ(overlay_->GetDebugPage(), 1) << "seven pushes from page 0 end on page 1";
    keys_.pushes = 1;
    overlay_->Frame(1);
    ASSERT_EQ(overlay_->GetDebugPage(), 2);
    overlay_->OnPrint("printed");
    EXPECT_EQ(overlay_->GetDebugPage(), 2) << "a print leaves the page";
    overlay_->OnError("script error: x");
    EXPECT_EQ(overlay_->GetDebugPage(), 4);
    EXPECT_EQ(overlay_->GetConsole().back(), "script error: x");
    keys_.pushes = 1;
    overlay_->Frame(1);  // pages 3 and 5 draw too
    overlay_->OnWarning("script warning: y");
    EXPECT_EQ(overlay_->GetDebugPage(), 4);
}

TEST_F(OverlayFakeTest, ConsoleIsBoundedAndTrimmedToThePageWhileShown) {
    overlay_->Initialize();
    for (int i = 0; i < 2000; ++i) overlay_->OnPrint("line " + std::to_string(i));
    ASSERT_EQ(overlay_->GetConsole().size(), CResourceScene::kConsoleLimit) << "bounded on other pages";
    EXPECT_EQ(overlay_->GetConsole().back(), "line 1999");
    overlay_->OnError("opened");
    overlay_->Frame(1);
    // 400 rows at a line height of 12: 33 lines less the 14 of the page's margins.
    EXPECT_EQ(overlay_->GetConsole().size(), 19u);
    EXPECT_EQ(overlay_->GetConsole().back(), "opened");
}

TEST_F(OverlayFakeTest, WideScreenLaysOutAgainAndTheSceneListNamesClasses) {
    Start();
    overlay_->SetWideScreen(true);
    EXPECT_EQ(overlay_->GetViewport()->GetHeight(), 360u);
    EXPECT_EQ(overlay_->GetViewport()->GetY(), 60u);
    keys_.pushes = 3;
    for (int i = 0; i < 4; ++i) overlay_->Frame(1);
    EXPECT_EQ(overlay_->GetDebugPage(), 3);
}

}  // namespace
