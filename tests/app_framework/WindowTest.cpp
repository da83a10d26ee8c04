#include <gtest/gtest.h>

#include <SDL.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "app_framework/GameApplication.h"
#include "app_framework/GameWindow.h"
#include "platform/Input.h"

using namespace trivale;
using fwtest::Pump;
using fwtest::PushWindowEvent;

namespace {

::testing::Environment* const keepVideo = ::testing::AddGlobalTestEnvironment(new fwtest::KeepVideo);

std::string M(unsigned message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0) {
    return std::to_string(message) + ":" + std::to_string(wParam) + ":" + std::to_string(lParam);
}

// Notes what it hears as "message:wParam:lParam" (with its name first when it has one) and answers as
// configured.
class Listener : public IGameWindowListener {
public:
    explicit Listener(std::vector<std::string>* heard, const std::string& name = "") : heard_(heard), name_(name) {}
    bool OnMessage(CGameWindow*, unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                   std::intptr_t* result) override {
        heard_->push_back(name_ + M(message, wParam, lParam));
        if (hook) hook();
        *result = answer;
        return handled;
    }
    bool handled = false;
    std::intptr_t answer = 0;
    std::function<void()> hook;

private:
    std::vector<std::string>* heard_;
    std::string name_;
};

struct CountingIdle : IGameApplicationListener {
    void OnIdle() override {
        if (onIdle) onIdle(++turns);
    }
    int turns = 0;
    std::function<void(int)> onIdle;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.reset(new CGameWindow("TrivaleWnd", "Trivale Application", nullptr, plat::Cursor::Arrow));
        window->AddListener(&listener);
        Pump();
    }
    void TearDown() override {
        window.reset();
        Pump();
    }
    // Shows the window and forgets what the showing itself caused.
    void ShowQuietly() {
        window->Show();
        Pump();
        heard.clear();
    }
    plat::WindowId Id() const { return window->GetHandle()->GetId(); }

    std::unique_ptr<CGameWindow> window;
    std::vector<std::string> heard;
    Listener listener{&heard};
};

TEST_F(WindowTest, ListenersHearInTheOrderAddedOverASnapshotAndOnlyTheLastAnswerDecides) {
    Listener b(&heard, "b "), late(&heard, "late ");
    window->AddListener(&b);
    window->AddListener(&listener);  // a second add changes nothing
    EXPECT_EQ(2u, window->GetListeners().size());
    window->Show();
    Pump();
    listener.hook = [&] {
        window->RemoveListener(&b);  // removed before its turn: still hears this message
        window->AddListener(&late);  // added: hears from the next message on
    };
    heard.clear();
    GameWindowProc(Id(), kMessagePaint, 0, 0);
    listener.hook = nullptr;
    // The first handles, the last does not: the default handling turns the close into a destroy.
    listener.handled = true;
    GameWindowProc(Id(), kMessageClose, 0, 0);
    EXPECT_EQ((std::vector<std::string>{M(kMessagePaint), "b " + M(kMessagePaint), M(kMessageClose),
                                        "late " + M(kMessageClose), M(kMessageDestroy), "late " + M(kMessageDestroy)}),
              heard);
    // The last handles with result 1: that is the answer, and nothing else happens.
    heard.clear();
    late.handled = true;
    late.answer = 1;
    EXPECT_EQ(1, GameWindowProc(Id(), kMessageClose, 0, 0));
    EXPECT_EQ(2u, heard.size());
}

TEST_F(WindowTest, OnlyAShownWindowsListenersHearItsMessages) {
    PushWindowEvent(Id(), SDL_WINDOWEVENT_CLOSE);  // before the first showing
    Pump();
    EXPECT_EQ(0, GameWindowProc(Id(), kMessagePaint, 0, 0));
    window->Show();
    window->Hide();
    Pump();
    PushWindowEvent(Id(), SDL_WINDOWEVENT_CLOSE);
    Pump();
    EXPECT_TRUE(heard.empty());
    window->Show();  // shown again: heard again
    PushWindowEvent(Id(), SDL_WINDOWEVENT_CLOSE);
    Pump();
    EXPECT_FALSE(heard.empty());
}

// The focus follows the events, and a shown window counts as focused.
TEST_F(WindowTest, InjectedEventsReachTheListenersAsMessagesAndMoveTheFocus) {
    ASSERT_TRUE(plat::IsOffscreenVideo());
    EXPECT_FALSE(window->GetHandle()->HasFocus());
    ShowQuietly();
    EXPECT_TRUE(window->GetHandle()->HasFocus());
    PushWindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_LOST);
    Pump();
    EXPECT_FALSE(window->GetHandle()->HasFocus());
    PushWindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_GAINED);
    fwtest::PushKey(Id(), SDL_SCANCODE_F4, true);
    fwtest::PushKey(Id(), SDL_SCANCODE_F4, false);
    PushWindowEvent(Id(), SDL_WINDOWEVENT_MINIMIZED);
    PushWindowEvent(Id(), SDL_WINDOWEVENT_MAXIMIZED);
    Pump();
    EXPECT_TRUE(window->GetHandle()->HasFocus());
    window->SetMaximizeBox(false);  // then a maximised window is only resized
    PushWindowEvent(Id(), SDL_WINDOWEVENT_MAXIMIZED);
    window->GetHandle()->Invalidate();
    PushWindowEvent(Id(), SDL_WINDOWEVENT_CLOSE);
    Pump();
    const std::intptr_t size = 640 | (480 << 16);
    EXPECT_EQ(
        (std::vector<std::string>{M(kMessageActivate, kWindowInactive), M(kMessageActivate, kWindowActive),
                                  M(kMessageKeyDown, plat::kKeyF4), M(kMessageSize, kSizeMinimized, size),
                                  M(kMessageSize, kSizeMaximized, size), M(kMessageSize, kSizeRestored, size),
                                  M(kMessageEraseBackground), M(kMessagePaint), M(kMessageClose), M(kMessageDestroy)}),
        heard);
    // The system's request to end closes every shown window.
    heard.clear();
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    Pump();
    EXPECT_EQ((std::vector<std::string>{M(kMessageClose), M(kMessageDestroy)}), heard);
    window->Show();
    EXPECT_TRUE(window->GetHandle()->HasFocus());
    window->Hide();
    EXPECT_FALSE(window->GetHandle()->HasFocus());
}

TEST_F(WindowTest, ASecondShowOnlyRaisesAndStylingFollowsTheMode) {
    auto at = [this](int x, int y) {
        int px = 0, py = 0;
        window->GetHandle()->GetPosition(&px, &py);
        return px == x && py == y;
    };
    EXPECT_FALSE(window->IsShown() || window->GetHandle()->IsShown() || window->IsFullScreen());
    window->Show();
    window->SetPosition(5, 7);
    window->Show();
    window->SetFullScreen(false);  // unchanged: nothing happens
    EXPECT_TRUE(at(5, 7));
    window->SetFullScreen(true);
    EXPECT_TRUE(window->IsFullScreen());
    const plat::Rect display = window->GetHandle()->GetDisplayBounds();
    window->Center();  // nothing in full screen
    EXPECT_TRUE(at(display.left, display.top));
    window->SetFullScreen(false);  // re-styled and centred
    EXPECT_TRUE(at(display.left + display.Width() / 2 - 320, display.top + display.Height() / 2 - 240));
    // The cursor is shown or hidden whatever was asked before.
    CGameApplication app;
    for (int i = 0; i < 3; ++i) SDL_ShowCursor(SDL_ENABLE);
    app.ShowCursor(false);
    EXPECT_EQ(SDL_DISABLE, SDL_ShowCursor(SDL_QUERY));
    app.ShowCursor(true);
    EXPECT_EQ(SDL_ENABLE, SDL_ShowCursor(SDL_QUERY));
}

// ---- the message loop ----

TEST_F(WindowTest, AQuitEndsTheLoopAfterTheFrameInProgressAndTheEventsQueuedWithIt) {
    ShowQuietly();
    CGameApplication app;
    CountingIdle idle;
    app.SetIdleListener(&idle);
    idle.onIdle = [&](int turn) {
        if (turn != 3) return;
        PushWindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_LOST);
        plat::PostQuit(0);
        PushWindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_GAINED);
    };
    EXPECT_EQ(0, app.Run());
    EXPECT_EQ(3, idle.turns);
    EXPECT_EQ(2u, heard.size());
}

// Regression: before any window existed, a quit posted from another thread could not wake the loop.
TEST(MessageLoop, AQuitPostedFromAnotherThreadWakesTheLoopEvenBeforeAnyWindowExists) {
    ASSERT_NE(0u, SDL_WasInit(SDL_INIT_EVENTS));
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    std::thread([] { plat::PostQuit(0); }).join();
    EXPECT_EQ(SDL_TRUE, SDL_HasEvents(SDL_USEREVENT, SDL_LASTEVENT));
    CGameApplication app;  // without an idle listener the loop waits for events
    EXPECT_EQ(0, app.Run());
    std::thread poster([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        plat::PostQuit(0);
    });
    EXPECT_EQ(0, app.Run());
    poster.join();
}

}  // namespace
