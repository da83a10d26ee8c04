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

// Counts its frames; after a few hundred it presses Escape through the event queue.
class PlayScene : public CStandardScene {
public:
    explicit PlayScene(plat::WindowId window) : CStandardScene(0x8000), window_(window) {}
    void Frame(unsigned frames) override {
        framesSeen += frames;
        if (++ticks == 300) fwtest::PushKey(window_, SDL_SCANCODE_ESCAPE, true);
    }
    void Finalize() override { LogInfo("play scene finalized after %d ticks", ticks); }
    int ticks = 0;
    unsigned framesSeen = 0;

private:
    plat::WindowId window_;
};

// Polls the input once per pass, as the resident scene of the program does, and ends the run on cancel.
class OverlayScene : public CStandardScene {
public:
    explicit OverlayScene(CDXInput* input) : CStandardScene(0xFFFF) {
        for (unsigned i = 0; i < input->GetControllerCount(); ++i) merged_.AddController(input->GetController(i));
        input->GetController(0)->DefineButton("cancel", "Cancel");
        input->GetController(0)->SetAssignment("cancel", 0, plat::kKeyEscape);
    }
    void Frame(unsigned) override {
        merged_.Update();
        if (merged_.IsPushed("cancel") && !cancelled) {
            cancelled = true;
            plat::PostQuit(0);
        }
    }
    void Finalize() override { LogInfo("overlay scene finalized"); }
    bool cancelled = false;

private:
    CMergedController merged_;
};

TEST(ShowRun, RunsAScenePacedAtASetRateReadsAKeyAndShutsDownInOrder) {
    intest::CapturedLog log;
    std::unique_ptr<CGameApplication> application(new CGameApplication());
    std::unique_ptr<CGameWindow> window(
        new CGameWindow("TrivaleWnd", "Trivale Application", &trivale::ApplicationIcon(), plat::Cursor::Arrow));
    window->SetTitle("show run");
    window->SetClientSize(320, 240);
    window->Show();

    std::unique_ptr<CDXInput> input(new CDXInput(window->GetHandle()));
    ASSERT_TRUE(input->Initialize());
    std::unique_ptr<CFrameRateKeeper> keeper(new CFrameRateKeeper());
    std::unique_ptr<CSceneManager> scenes(new CSceneManager());
    keeper->SetListener(scenes.get());
    application->SetIdleListener(keeper.get());
    keeper->SetFrameRate(5000);

    PlayScene* play = new PlayScene(window->GetHandle()->GetId());
    OverlayScene* overlay = new OverlayScene(input.get());
    scenes->AddScene(overlay);
    scenes->AddScene(play);

    EXPECT_EQ(0, application->Run());
    window->Hide();
    EXPECT_TRUE(overlay->cancelled);
    EXPECT_GE(play->ticks, 300);
    EXPECT_GE(play->framesSeen, static_cast<unsigned>(play->ticks));
    EXPECT_EQ(keeper->GetTotalFrames(), play->ticks + 1);  // the first pass only lets the scenes in

    // Shut down in the program's order: scenes, keeper, input, window, application.
    scenes.reset();
    keeper.reset();
    input.reset();
    window.reset();
    application.reset();

    const std::string text = log.Text();
    const std::size_t playEnd = text.find("play scene finalized");
    const std::size_t overlayEnd = text.find("overlay scene finalized");
    const std::size_t inputEnd = text.find("DirectInput finalized.");
    EXPECT_TRUE(playEnd < overlayEnd && overlayEnd < inputEnd && inputEnd != std::string::npos) << text;
}

}  // namespace
