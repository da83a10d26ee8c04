#include <gtest/gtest.h>

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "app_framework/GameApplication.h"
#include "app_framework/GameWindow.h"
#include "core/Exception.h"
#include "platform/Input.h"

using trivale::CGameApplication;
using trivale::CGameWindow;

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

// Records what it hears; answers with the configured result.
class Listener : public trivale::IGameWindowListener {
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

void PushWindowEvent(plat::WindowId id, Uint8 which, int data1 = 0, int data2 = 0) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = id;
    e.window.event = which;
    e.window.data1 = data1;
    e.window.data2 = data2;
    SDL_PushEvent(&e);
}

void PushKey(plat::WindowId id, SDL_Scancode code, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = id;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = code;
    SDL_PushEvent(&e);
}

// Dispatches every waiting event, as the message loop does between idle turns.
void Pump() {
    plat::Event event;
    while (plat::PollEvent(&event)) {
        if (event.type != plat::EventType::Quit) trivale::DispatchWindowEvent(event);
    }
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.reset(new CGameWindow("TrivaleWnd", "Trivale Application", nullptr, plat::Cursor::Arrow));
        Pump();
    }
    void TearDown() override {
        window.reset();
        Pump();
    }
    plat::WindowId Id() const { return window->GetHandle()->GetId(); }
    std::unique_ptr<CGameWindow> window;
};

TEST_F(WindowTest, StartsHiddenAt640By480) {
    EXPECT_FALSE(window->IsShown());
    EXPECT_FALSE(window->GetHandle()->IsShown());
    EXPECT_EQ(640, window->GetClientWidth());
    EXPECT_EQ(480, window->GetClientHeight());
    EXPECT_EQ("Trivale Application", window->GetTitle());
    EXPECT_EQ("TrivaleWnd", window->GetClassName());
    EXPECT_FALSE(window->IsFullScreen());
    EXPECT_TRUE(window->HasMaximizeBox());
    EXPECT_FALSE(window->IsSizable());
    EXPECT_NE(nullptr, window->GetHandle()->NativeHandle());
}

TEST_F(WindowTest, TitleSizeAndClassName) {
    window->SetTitle("VELLACOR 06 (ver.1.0.1)");
    EXPECT_EQ("VELLACOR 06 (ver.1.0.1)", window->GetHandle()->GetTitle());
    window->SetClientSize(800, 600);
    EXPECT_EQ(800, window->GetClientWidth());
    EXPECT_EQ(600, window->GetClientHeight());
    window->SetClassName("Other");
    std::string name;
    window->GetClassName(name);
    EXPECT_EQ("Other", name);
}

TEST_F(WindowTest, ListenersKeepTheirOrderAndAreNotAddedTwice) {
    std::vector<std::string> order;
    Listener b(&order, "b"), a(&order, "a");
    window->AddListener(&b);
    window->AddListener(&a);
    window->AddListener(&b);
    EXPECT_EQ(2u, window->GetListeners().size());
    window->Show();
    trivale::GameWindowProc(Id(), trivale::kMessagePaint, 0, 0);
    EXPECT_EQ((std::vector<std::string>{"b", "a"}), order);
    Listener never;
    EXPECT_EQ(0, window->RemoveListener(&never));
    EXPECT_EQ(1, window->RemoveListener(&b));
    EXPECT_EQ(0, window->RemoveListener(&b));
}

TEST_F(WindowTest, MessagesBeforeTheFirstShowReachNoListener) {
    Listener l;
    window->AddListener(&l);
    PushWindowEvent(Id(), SDL_WINDOWEVENT_CLOSE);
    Pump();
    EXPECT_EQ(0, trivale::GameWindowProc(Id(), trivale::kMessagePaint, 0, 0));
    EXPECT_TRUE(l.heard.empty());
}

TEST_F(WindowTest, OnlyTheLastListenersAnswerDecides) {
    Listener first, second;
    window->AddListener(&first);
    window->AddListener(&second);
    window->Show();
    // The first handles, the second does not: the default handling turns the close into a destroy.
    first.handled = true;
    trivale::GameWindowProc(Id(), trivale::kMessageClose, 0, 0);
    EXPECT_EQ((std::vector<unsigned>{trivale::kMessageClose, trivale::kMessageDestroy}), second.Messages());
    // The second handles with result 1: that is the answer, and nothing else happens.
    second.heard.clear();
    second.handled = true;
    second.answer = 1;
    EXPECT_EQ(1, trivale::GameWindowProc(Id(), trivale::kMessageClose, 0, 0));
    EXPECT_EQ((std::vector<unsigned>{trivale::kMessageClose}), second.Messages());
}

TEST_F(WindowTest, ListenersAddedOrRemovedDuringAMessage) {
    Listener a, b, late;
    window->AddListener(&a);
    window->AddListener(&b);
    window->Show();
    a.hook = [&](unsigned) {
        window->RemoveListener(&b);
        window->AddListener(&late);
    };
    trivale::GameWindowProc(Id(), trivale::kMessagePaint, 0, 0);
    EXPECT_TRUE(b.heard.empty());     // removed before its turn
    EXPECT_TRUE(late.heard.empty());  // added: hears from the next message on
    a.hook = nullptr;
    trivale::GameWindowProc(Id(), trivale::kMessagePaint, 0, 0);
    EXPECT_EQ(1u, late.heard.size());
}

TEST_F(WindowTest, InjectedEventsReachTheListenersAsMessages) {
    Listener l;
    window->AddListener(&l);
    window->Show();
    Pump();
    l.heard.clear();

    PushWindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_LOST);
    PushWindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_GAINED);
    PushKey(Id(), SDL_SCANCODE_F4, true);
    PushKey(Id(), SDL_SCANCODE_F4, false);
    PushWindowEvent(Id(), SDL_WINDOWEVENT_MINIMIZED);
    PushWindowEvent(Id(), SDL_WINDOWEVENT_CLOSE);
    Pump();
    const std::intptr_t size = 640 | (480 << 16);
    EXPECT_EQ((std::vector<Message>{{trivale::kMessageActivate, trivale::kWindowInactive, 0},
                                    {trivale::kMessageActivate, trivale::kWindowActive, 0},
                                    {trivale::kMessageKeyDown, plat::kKeyF4, 0},
                                    {trivale::kMessageSize, trivale::kSizeMinimized, size},
                                    {trivale::kMessageClose, 0, 0},
                                    {trivale::kMessageDestroy, 0, 0}}),
              l.heard);
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

TEST_F(WindowTest, ARepaintRequestErasesThenPaints) {
    Listener l;
    window->AddListener(&l);
    window->Show();
    Pump();
    l.heard.clear();
    window->GetHandle()->Invalidate();
    Pump();
    EXPECT_EQ((std::vector<unsigned>{trivale::kMessageEraseBackground, trivale::kMessagePaint}), l.Messages());
}

TEST_F(WindowTest, AMaximisedWindowWithoutMaximizeBoxIsOnlyResized) {
    Listener l;
    window->AddListener(&l);
    window->Show();
    Pump();
    l.heard.clear();
    PushWindowEvent(Id(), SDL_WINDOWEVENT_MAXIMIZED);
    Pump();
    window->SetMaximizeBox(false);
    PushWindowEvent(Id(), SDL_WINDOWEVENT_MAXIMIZED);
    Pump();
    ASSERT_EQ(2u, l.heard.size());
    EXPECT_EQ(trivale::kSizeMaximized, l.heard[0].wParam);
    EXPECT_EQ(trivale::kSizeRestored, l.heard[1].wParam);
}

TEST_F(WindowTest, AHiddenWindowHearsNothing) {
    Listener l;
    window->AddListener(&l);
    window->Show();
    window->Hide();
    Pump();
    l.heard.clear();
    PushWindowEvent(Id(), SDL_WINDOWEVENT_CLOSE);
    Pump();
    EXPECT_TRUE(l.heard.empty());
    window->Show();  // shown again: heard again
    PushWindowEvent(Id(), SDL_WINDOWEVENT_CLOSE);
    Pump();
    EXPECT_FALSE(l.heard.empty());
}

TEST_F(WindowTest, TheSystemsRequestToEndClosesEveryShownWindow) {
    Listener l;
    window->AddListener(&l);
    window->Show();
    Pump();
    l.heard.clear();
    SDL_Event e{};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
    Pump();
    EXPECT_EQ((std::vector<unsigned>{trivale::kMessageClose, trivale::kMessageDestroy}), l.Messages());
}

TEST_F(WindowTest, ASecondShowOnlyRaises) {
    window->Show();
    window->SetPosition(5, 7);
    window->Show();
    int x = 0, y = 0;
    window->GetHandle()->GetPosition(&x, &y);
    EXPECT_EQ(5, x);
    EXPECT_EQ(7, y);
}

TEST_F(WindowTest, FullScreenAndWindowedStyling) {
    window->Show();
    window->SetPosition(5, 7);
    window->SetFullScreen(false);  // unchanged: nothing happens
    int x = 0, y = 0;
    window->GetHandle()->GetPosition(&x, &y);
    EXPECT_EQ(5, x);

    window->SetFullScreen(true);
    EXPECT_TRUE(window->IsFullScreen());
    const plat::Rect display = window->GetHandle()->GetDisplayBounds();
    window->GetHandle()->GetPosition(&x, &y);
    EXPECT_EQ(display.x, x);
    EXPECT_EQ(display.y, y);
    window->Center();  // nothing in full screen
    window->GetHandle()->GetPosition(&x, &y);
    EXPECT_EQ(display.x, x);

    window->SetFullScreen(false);  // re-styled and centred
    window->GetHandle()->GetPosition(&x, &y);
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
    EXPECT_EQ(0, alpha(31, 31));
    EXPECT_GT(alpha(15, 15), 200);  // the centre of the flake
    EXPECT_GT(alpha(29, 15), 100);  // the tip of the right arm
}

// ---- the message loop ----

class CountingIdle : public trivale::IGameApplicationListener {
public:
    void OnIdle() override {
        ++turns;
        if (onIdle) onIdle(turns);
    }
    int turns = 0;
    std::function<void(int)> onIdle;
};

TEST_F(WindowTest, AQuitEndsTheLoopAfterTheFrameInProgress) {
    Listener l;
    window->AddListener(&l);
    window->Show();
    CGameApplication app;
    CountingIdle idle;
    app.SetIdleListener(&idle);
    idle.onIdle = [&](int turn) {
        if (turn == 3) {
            PushWindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_LOST);
            plat::PostQuit(0);
            PushWindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_GAINED);
        }
    };
    EXPECT_EQ(0, app.Run());
    EXPECT_EQ(3, idle.turns);
    // Both events queued around the quit are handled before the loop ends.
    std::vector<unsigned> m = l.Messages();
    ASSERT_GE(m.size(), 2u);
    EXPECT_EQ(trivale::kMessageActivate, m[m.size() - 2]);
    EXPECT_EQ(trivale::kMessageActivate, m.back());
}

TEST_F(WindowTest, ADestroyedWindowEndsTheLoopThroughItsCloseListener) {
    // The program's close listener: hide and quit when the window is destroyed.
    struct CloseListener : trivale::IGameWindowListener {
        bool OnMessage(CGameWindow* w, unsigned message, std::uintptr_t, std::intptr_t, std::intptr_t* result) override {
            if (message != trivale::kMessageDestroy) return false;
            w->Hide();
            plat::PostQuit(0);
            *result = 0;
            return true;
        }
    } closer;
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
            } catch (const trivale::EException& e) {
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
