#include <gtest/gtest.h>

#include <SDL.h>

#include <memory>
#include <string>

#include "InputTestSupport.h"
#include "app_framework/FrameRateKeeper.h"
#include "app_framework/GameApplication.h"
#include "app_framework/GameWindow.h"
#include "app_framework/SceneManager.h"
#include "app_framework/StandardScene.h"
#include "core/Log.h"
#include "devices/DXInput.h"
#include "devices/MergedController.h"

namespace {

using namespace trivale;

// Polls the input once per pass, as the resident scene of the program does, and ends the run on
// cancel; after a few hundred passes it presses Escape through the event queue itself.
class ShowScene : public CStandardScene {
public:
    ShowScene(CDXInput* input, plat::WindowId window) : CStandardScene(0x8000), window_(window) {
        for (unsigned i = 0; i < input->GetControllerCount(); ++i) merged_.AddController(input->GetController(i));
        input->GetController(0)->SetAssignment("cancel", 0, plat::kKeyEscape);
    }
    void Frame(unsigned frames) override {
        framesSeen += frames;
        merged_.Update();
        if (merged_.IsPushed("cancel") && !cancelled) {
            cancelled = true;
            plat::PostQuit(0);
        }
        if (++ticks == 300) fwtest::PushKey(window_, SDL_SCANCODE_ESCAPE, true);
    }
    void Finalize() override { LogInfo("show scene finalized"); }
    int ticks = 0;
    unsigned framesSeen = 0;
    bool cancelled = false;

private:
    plat::WindowId window_;
    CMergedController merged_;
};

TEST(ShowRun, RunsAScenePacedAtASetRateReadsAKeyAndShutsDownInOrder) {
    intest::CapturedLog log;
    std::unique_ptr<CGameApplication> application(new CGameApplication());
    std::unique_ptr<CGameWindow> window(
        new CGameWindow("TrivaleWnd", "Trivale Application", &trivale::ApplicationIcon(), plat::Cursor::Arrow));
    window->SetClientSize(320, 240);
    window->Show();
    std::unique_ptr<CDXInput> input(new CDXInput(window->GetHandle()));
    ASSERT_TRUE(input->Initialize());
    std::unique_ptr<CFrameRateKeeper> keeper(new CFrameRateKeeper());
    std::unique_ptr<CSceneManager> scenes(new CSceneManager());
    keeper->SetListener(scenes.get());
    application->SetIdleListener(keeper.get());
    keeper->SetFrameRate(5000);
    ShowScene* show = new ShowScene(input.get(), window->GetHandle()->GetId());
    scenes->AddScene(show);

    EXPECT_EQ(0, application->Run());
    EXPECT_TRUE(show->cancelled);
    EXPECT_GE(show->ticks, 301);  // the key is read in the pass after it was pushed
    EXPECT_GE(show->framesSeen, static_cast<unsigned>(show->ticks));
    EXPECT_EQ(keeper->GetTotalFrames(), show->ticks + 1);  // the first pass only lets the scene in

    // Shut down in the program's order: scenes, keeper, input, window, application.
    scenes.reset();
    keeper.reset();
    input.reset();
    window.reset();
    application.reset();
    const std::string text = log.Text();
    EXPECT_LT(text.find("show scene finalized"), text.find("DirectInput finalized.")) << text;
    EXPECT_NE(std::string::npos, text.find("DirectInput finalized.")) << text;
}

}  // namespace
