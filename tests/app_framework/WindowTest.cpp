#include <gtest/gtest.h>

#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "app_framework/GameApplication.h"
#include "app_framework/GameWindow.h"
#include "core/Exception.h"
#include "platform/Input.h"

using namespace trivale;
using fwtest::Pump;
using fwtest::PushWindowEvent;

namespace {

::testing::Environment* const keepVideo = ::testing::AddGlobalTestEnvironment(new fwtest::KeepVideo);

struct Message {
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    bool operator==(const Message& o) const {
        return message == o.message && wParam == o.wParam && lParam == o.lParam;
    }
};

std::ostream& operator<<(std::ostream& out, const Message& m) {
    return out << "{" << m.message << ", " << m.wParam << ", " << m.lParam << "}";
}

// Records what it hears (and its name into a shared order); answers as configured.
class Listener : public IGameWindowListener {
public:
    explicit Listener(std::vector<std::string>* order = nullptr, const char* name = "") : order_(order), name_(name) {}
    bool OnMessage(CGameWindow*, unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                   std::intptr_t* result) override {
        heard.push_back({message, wParam, lParam});
        if (order_) order_->push_back(name_);
        if (hook) hook(message);
        *result = answer;
        return handled;
    }
    std::vector<unsigned> Messages() const {
        std::vector<unsigned> m;
        for (const Message& h : heard) m.push_back(h.message);
        return m;
    }
    std::vector<Message> heard;
    bool handled = false;
    std::intptr_t answer = 0;
    std::function<void(unsigned)> hook;

private:
    std::vector<std::string>* order_;
    std::string name_;
};

// The program's close listener: a destroyed window ends the loop.
struct CloseListener : IGameWindowListener {
    bool OnMessage(CGameWindow* w, unsigned message, std::uintptr_t, std::intptr_t, std::intptr_t* result) override {
        if (message != kMessageDestroy) return false;
        w->Hide();
        plat::PostQuit(0);
        *result = 0;
        return true;
    }
};

class CountingIdle : public IGameApplicationListener {
public:
    void OnIdle() override {
        ++turns;
        if (onIdle) onIdle(turns);
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
        listener.heard.clear();
    }
    plat::WindowId Id() const { return window->GetHandle()->GetId(); }
    void Position(int* x, int* y) const { window->GetHandle()->GetPosition(x, y); }

    std::unique_ptr<CGameWindow> window;
    Listener listener;
};

TEST_F(WindowTest, StartsHiddenAt640By480AndKeepsItsSettings) {
    EXPECT_FALSE(window->IsShown());
    EXPECT_FALSE(window->GetHandle()->IsShown());
    EXPECT_EQ(640, window->GetClientWidth());
    EXPECT_EQ(480, window->GetClientHeight());
    EXPECT_EQ("Trivale Application", window->GetTitle());
    EXPECT_FALSE(window->IsFullScreen());
    EXPECT_TRUE(window->HasMaximizeBox());
    EXPECT_FALSE(window->IsSizable());
    window->SetTitle("VELLACOR 06 (ver.1.0.1)");
    EXPECT_EQ("VELLACOR 06 (ver.1.0.1)", window->GetHandle()->GetTitle());
    window->SetClientSize(800, 600);
    EXPECT_EQ(800, window->GetClientWidth());
    EXPECT_EQ(600, window->GetClientHeight());
    EXPECT_EQ("TrivaleWnd", window->GetClassName());
    window->SetClassName("Other");
    std::string name;
    window->GetClassName(name);
    EXPECT_EQ("Other", name);
}

TEST_F(WindowTest, ListenersHearInTheOrderAddedOverASnapshot) {
    std::vector<std::string> order;
    Listener b(&order, "b"), a(&order, "a"), late(&order, "late");
    window->RemoveListener(&listener);
    window->AddListener(&b);
    window->AddListener(&a);
    window->AddListener(&b);
    EXPECT_EQ(2u, window->GetListeners().size());
    window->Show();
    b.hook = [&](unsigned) {
        window->RemoveListener(&a);  // removed before its turn: not called
        window->AddListener(&late);  // added: hears from the next message on
    };
    GameWindowProc(Id(), kMessagePaint, 0, 0);
    b.hook = nullptr;
    GameWindowProc(Id(), kMessagePaint, 0, 0);
    EXPECT_EQ((std::vector<std::string>{"b", "b", "late"}), order);
    Listener never;
    EXPECT_EQ(0, window->RemoveListener(&never));
    EXPECT_EQ(1, window->RemoveListener(&b));
    EXPECT_EQ(0, window->RemoveListener(&b));
}

TEST_F(WindowTest, OnlyAShownWindowsListenersHearItsMessages) {
    PushWindowEvent(Id(), SDL_WINDOWEVENT_CLOSE);  // before the first showing
    Pump();
    EXPECT_EQ(0, GameWindowProc(Id(), kMessagePaint, 0, 0));
    EXPECT_TRUE(listener.heard.empty());
    window->Show();
    window->Hide();
    Pump();
    PushWindowEvent(Id(), SDL_WINDOWEVENT_CLOSE);
    Pump();
    EXPECT_TRUE(listener.heard.empty());
    window->Show();  // shown again: heard again
    PushWindowEvent(Id(), SDL_WINDOWEVENT_CLOSE);
    Pump();
    EXPECT_FALSE(listener.heard.empty());
}

TEST_F(WindowTest, OnlyTheLastListenersAnswerDecides) {
    Listener second;
    window->AddListener(&second);
    window->Show();
    // The first handles, the second does not: the default handling turns the close into a destroy.
    listener.handled = true;
    GameWindowProc(Id(), kMessageClose, 0, 0);
    EXPECT_EQ((std::vector<unsigned>{kMessageClose, kMessageDestroy}), second.Messages());
    // The second handles with result 1: that is the answer, and nothing else happens.
    second.heard.clear();
    second.handled = true;
    second.answer = 1;
    EXPECT_EQ(1, GameWindowProc(Id(), kMessageClose, 0, 0));
    EXPECT_EQ((std::vector<unsigned>{kMessageClose}), second.Messages());
}

TEST_F(WindowTest, InjectedEventsReachTheListenersAsMessages) {
    ShowQuietly();
    PushWindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_LOST);
    PushWindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_GAINED);
    fwtest::PushKey(Id(), SDL_SCANCODE_F4, true);
    fwtest::PushKey(Id(), SDL_SCANCODE_F4, false);
    PushWindowEvent(Id(), SDL_WINDOWEVENT_MINIMIZED);
    PushWindowEvent(Id(), SDL_WINDOWEVENT_MAXIMIZED);
    Pump();
    window->SetMaximizeBox(false);  // then a maximised window is only resized
    PushWindowEvent(Id(), SDL_WINDOWEVENT_MAXIMIZED);
    window->GetHandle()->Invalidate();
    PushWindowEvent(Id(), SDL_WINDOWEVENT_CLOSE);
    Pump();
    const std::intptr_t size = 640 | (480 << 16);
    EXPECT_EQ((std::vector<Message>{{kMessageActivate, kWindowInactive, 0},
                                    {kMessageActivate, kWindowActive, 0},
                                    {kMessageKeyDown, plat::kKeyF4, 0},
                                    {kMessageSize, kSizeMinimized, size},
                                    {kMessageSize, kSizeMaximized, size},
                                    {kMessageSize, kSizeRestored, size},
                                    {kMessageEraseBackground, 0, 0},
                                    {kMessagePaint, 0, 0},
                                    {kMessageClose, 0, 0},
                                    {kMessageDestroy, 0, 0}}),
              listener.heard);
    // The system's request to end closes every shown window.
    listener.heard.clear();
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    Pump();
    EXPECT_EQ((std::vector<unsigned>{kMessageClose, kMessageDestroy}), listener.Messages());
}

TEST_F(WindowTest, FocusFollowsTheEventsAndAShownWindowCountsAsFocused) {
    ASSERT_TRUE(plat::IsOffscreenVideo());
    EXPECT_FALSE(window->GetHandle()->HasFocus());
    window->Show();
    EXPECT_TRUE(window->GetHandle()->HasFocus());
    PushWindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_LOST);
    Pump();
    EXPECT_FALSE(window->GetHandle()->HasFocus());
    PushWindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_GAINED);
    Pump();
    EXPECT_TRUE(window->GetHandle()->HasFocus());
    window->Hide();
    EXPECT_FALSE(window->GetHandle()->HasFocus());
}

TEST_F(WindowTest, ASecondShowOnlyRaisesAndStylingFollowsTheMode) {
    window->Show();
    window->SetPosition(5, 7);
    window->Show();
    window->SetFullScreen(false);  // unchanged: nothing happens
    int x = 0, y = 0;
    Position(&x, &y);
    EXPECT_EQ(5, x);
    EXPECT_EQ(7, y);

    window->SetFullScreen(true);
    EXPECT_TRUE(window->IsFullScreen());
    const plat::Rect display = window->GetHandle()->GetDisplayBounds();
    window->Center();  // nothing in full screen
    Position(&x, &y);
    EXPECT_EQ(display.x, x);
    EXPECT_EQ(display.y, y);
    window->SetFullScreen(false);  // re-styled and centred
    Position(&x, &y);
    EXPECT_EQ(display.x + display.width / 2 - 320, x);
    EXPECT_EQ(display.y + display.height / 2 - 240, y);
}

TEST_F(WindowTest, TheCursorIsShownOrHiddenWhateverWasAskedBefore) {
    CGameApplication app;
    for (int i = 0; i < 3; ++i) SDL_ShowCursor(SDL_ENABLE);
    app.ShowCursor(false);
    EXPECT_EQ(SDL_DISABLE, SDL_ShowCursor(SDL_QUERY));
    app.ShowCursor(true);
    EXPECT_EQ(SDL_ENABLE, SDL_ShowCursor(SDL_QUERY));
}

TEST(ApplicationIcon, IsASnowflakeOnTransparency) {
    const plat::IconImage& icon = plat::ApplicationIcon();
    ASSERT_EQ(32, icon.width);
    ASSERT_EQ(32, icon.height);
    auto alpha = [&](int x, int y) { return icon.rgba[(y * icon.width + x) * 4 + 3]; };
    EXPECT_EQ(0, alpha(0, 0));
    EXPECT_GT(alpha(15, 15), 200);  // the centre of the flake
    EXPECT_GT(alpha(29, 15), 100);  // the tip of the right arm
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
    EXPECT_EQ((std::vector<unsigned>{kMessageActivate, kMessageActivate}), listener.Messages());
}

TEST_F(WindowTest, ADestroyedWindowEndsTheLoopThroughItsCloseListener) {
    CloseListener closer;
    window->AddListener(&closer);
    window->Show();
    CGameApplication app;
    CountingIdle idle;
    app.SetIdleListener(&idle);
    idle.onIdle = [&](int turn) {
        if (turn == 2) PushWindowEvent(Id(), SDL_WINDOWEVENT_CLOSE);
        if (turn > 10) plat::PostQuit(1);  // never reached when the close works
    };
    app.Run();
    EXPECT_EQ(2, idle.turns);
    EXPECT_FALSE(window->IsShown());
}

TEST_F(WindowTest, WithoutAnIdleListenerTheLoopWaitsForEvents) {
    window->Show();
    CGameApplication app;
    std::thread poster([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        plat::PostQuit(0);
    });
    EXPECT_EQ(0, app.Run());
    poster.join();
}

// Regression: before any window existed, a quit posted from another thread could not wake the loop.
TEST(MessageLoop, AQuitPostedBeforeAnyWindowExistsWakesTheLoop) {
    ASSERT_NE(0u, SDL_WasInit(SDL_INIT_EVENTS));
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    std::thread([] { plat::PostQuit(0); }).join();
    EXPECT_EQ(SDL_TRUE, SDL_HasEvents(SDL_USEREVENT, SDL_LASTEVENT));
    CGameApplication app;
    EXPECT_EQ(0, app.Run());
}

// A window that cannot be made is an exception, not a window without a handle. The video system
// is brought down in a child process and brought up again with a driver that has no GL.
TEST(WindowCreation, FailureIsAnEngineException) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SDL_Quit();
            setenv("SDL_VIDEODRIVER", "dummy", 1);
            int code = 3;
            try {
                CGameWindow w("TrivaleWnd", "t", nullptr, plat::Cursor::Default);
                code = 1;
            } catch (const EException& e) {
                code = e.GetOrigin().find("CGameWindow") != std::string::npos &&
                               e.GetMessage().find("CGameWindow()") == 0
                           ? 0
                           : 2;
            }
            std::_Exit(code);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
