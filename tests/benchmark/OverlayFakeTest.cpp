// The overlay over the recording device: what it loads, the clears that end every pass, the score, the
// debug pages and the script console.
#include "benchmark/ResourceScene.h"
#include "tests/benchmark/OverlayTestSupport.h"

namespace {

using namespace overlaytest;

// A controller whose "debug" button is pushed as often as the test says.
class PushingController : public trivale::CMergedController {
public:
    int pushes = 0;
    bool IsPushed(const std::string& name) override { return name == "debug" && pushes > 0 && pushes-- > 0; }
};

class OverlayFakeTest : public OverlayTest {
protected:
    void SetUp() override {
        StartFake();
        overlay_.reset(CResourceScene::Instance());
        overlay_->Initialize();
        // The test's controller joins the merged one behind the input devices.
        dynamic_cast<trivale::CMergedController&>(*overlay_->GetController()).AddController(&keys_);
    }
    void TearDown() override {
        overlay_.reset();
        OverlayTest::TearDown();
    }
    PushingController keys_;
    std::unique_ptr<CResourceScene> overlay_;
};

// The overlay's own operations follow the scene's nine in their order, one accessor per font.
TEST(OverlaySlots, OwnOperationsFollowTheSceneOnesInOrder) {
    using S = CResourceScene;
    EXPECT_TRUE(InSlotOrder(&trivale::IScene::Kill, &S::GetSprite, &S::GetFont0, &S::GetFont1, &S::GetFont2,
                            &S::GetViewport, &S::GetController, &S::GetMusicManager, &S::SetUserValue1,
                            &S::GetUserValue1, &S::SetWideScreen, &S::IsWideScreen, &S::SetUserValue2,
                            &S::GetUserValue2, &S::SetClearColor, &S::GetDebugPage, &S::SetScoreCounting,
                            &S::SetScoreRatio, &S::GetScore, &S::ResetScore, &S::SetOneShot, &S::IsOneShot));
}

// The bars and the clear colour are read back in OverlayGLTest; here the clear that follows Present.
TEST_F(OverlayFakeTest, EveryPassEndsWithPresentThenClearsInTheClearColour) {
    EXPECT_EQ(CResourceScene::Instance(), overlay_.get()) << "one overlay";
    overlay_->SetClearColor(0xFF405060);
    overlay_->SetScoreCounting(true);
    overlay_->SetScoreRatio(2.0f);
    for (int i = 0; i < 3; ++i) overlay_->Frame(5);  // frames a pass stands for do not count
    EXPECT_EQ(overlay_->GetScore(), 6.0f);
    Journal();
    overlay_->Frame(1);
    EXPECT_EQ(Journal({"Clear", "Present"}).front(), "Present");
    plat::Viewport applied;
    Device()->GetViewport(applied);
    EXPECT_EQ(applied.y, 40u) << "the main viewport stays applied for the next pass";
    overlay_.reset();
    overlay_.reset(CResourceScene::Instance());  // a new one: the old one let go of the instance
}

TEST_F(OverlayFakeTest, DebugPagesCycleAndScriptErrorsOpenTheConsole) {
    keys_.pushes = 8;
    for (int i = 0; i < 8; ++i) overlay_->Frame(1);  // pages 3 (the scene list) and 5 draw too
    ASSERT_EQ(overlay_->GetDebugPage(), 2) << "eight pushes from page 0 end on page 2";
    overlay_->OnPrint("printed");
    EXPECT_EQ(overlay_->GetDebugPage(), 2) << "a print leaves the page";
    overlay_->OnWarning("script warning: x");
    EXPECT_EQ(overlay_->GetDebugPage(), 4);
    EXPECT_EQ(overlay_->GetConsole().back(), "script warning: x");
}

// The driver is asked only while the debug line shows, and at most once a second.
TEST_F(OverlayFakeTest, DebugLineShowsTheDriversFreeVideoMemory) {
    fake_->freeVideoMemory = 300u << 20;
    trivale::CFrameRateKeeper& keeper = *trivale::GetApplicationDriver()->GetFrameRateKeeper();
    for (int i = 0; i < 5; ++i) overlay_->Frame(1);
    EXPECT_TRUE(Journal("GetAvailableTextureMem").empty()) << "page 0";
    keys_.pushes = 2;
    overlay_->Frame(1);
    overlay_->Frame(1);
    const double start = keeper.GetElapsedMilliseconds();
    for (int i = 0; i < 20; ++i) overlay_->Frame(1);
    const double seconds = (keeper.GetElapsedMilliseconds() - start) / 1000.0;
    const std::size_t asked = Journal("GetAvailableTextureMem").size();
    EXPECT_GE(asked, 1u);
    EXPECT_LE(static_cast<double>(asked), seconds + 1.0);
    EXPECT_EQ(overlay_->GetFreeVideoMemoryMiB(), 300);
}

TEST_F(OverlayFakeTest, ConsoleIsBoundedAndTrimmedToThePageWhileShown) {
    for (int i = 0; i < 2000; ++i) overlay_->OnPrint("line " + std::to_string(i));
    ASSERT_EQ(overlay_->GetConsole().size(), CResourceScene::kConsoleLimit) << "bounded on other pages";
    EXPECT_EQ(overlay_->GetConsole().back(), "line 1999");
    overlay_->OnError("opened");
    overlay_->Frame(1);
    // 400 rows at a line height of 12: 33 lines less the 14 of the page's margins.
    EXPECT_EQ(overlay_->GetConsole().size(), 19u);
    EXPECT_EQ(overlay_->GetConsole().back(), "opened");
}

}  // namespace
