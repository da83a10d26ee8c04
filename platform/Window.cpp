#include "platform/Window.h"

#include "platform/DesktopMode.h"
#include "platform/HeldXConnection.h"
#include "platform/Input.h"
#include "platform/Printable.h"
#include "platform/RefusedRequests.h"
#include "platform/StopSignals.h"
#include "platform/StopWatchdog.h"

#include <SDL.h>
#include <dlfcn.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>

namespace plat {

namespace {

std::map<std::uint32_t, Window*>& Windows() {
    static std::map<std::uint32_t, Window*> windows;
    return windows;
}

std::atomic<bool> g_quitPosted{false};
std::atomic<int> g_quitCode{0};
std::atomic<bool> g_stopDelivered{false};  // the caught signal has closed the windows

// Two event types of the program's own: the first wakes a waiting loop for a posted quit, the second
// carries a repaint request. Made once, whichever thread asks first, and with no window needed, so that
// a quit posted before any window exists still wakes the loop.
std::uint32_t OwnEventTypes() {
    static const std::uint32_t base = SDL_RegisterEvents(2);
    return base;
}

bool HaveOwnEvents() { return OwnEventTypes() != static_cast<std::uint32_t>(-1); }
std::uint32_t WakeEventType() { return OwnEventTypes(); }
std::uint32_t RepaintEventType() { return OwnEventTypes() + 1; }

SDL_Cursor* g_arrow = nullptr;

}  // namespace

bool IsOffscreenVideo() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver != nullptr && std::strcmp(driver, "offscreen") == 0;
}

namespace {

bool g_displayMissing = false;
bool g_displayRefused = false;
std::string g_displayMissingReason;

bool Headless(const char* driver) {
    return driver != nullptr && (SDL_strcasecmp(driver, "offscreen") == 0 || SDL_strcasecmp(driver, "dummy") == 0);
}

// Whether the comma-separated driver request names this driver.
bool Requested(const char* request, const char* driver) {
    if (request == nullptr || driver == nullptr) return false;
    const std::string list = std::string(",") + request + ",";
    std::string name = std::string(",") + driver + ",";
    for (std::size_t at = 0; at < list.size(); ++at) {
        if (SDL_strncasecmp(list.c_str() + at, name.c_str(), name.size()) == 0) return true;
    }
    return false;
}

// Why no display could be used, from what SDL was asked and what it was given to work with; SDL's own
// error follows when it gave one (its text names only the drivers it was asked for).
std::string NoDisplayReason(const char* request, const std::string& sdlError) {
    std::string reason;
    if (request != nullptr && *request != '\0') {
        reason = "the video driver \"" + Printable(request) + "\" named by SDL_VIDEODRIVER did not start";
    } else {
        reason = "none of SDL's video drivers (";
        bool first = true;
        for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
            const char* name = SDL_GetVideoDriver(i);
            if (Headless(name) || SDL_strcasecmp(name, "evdev") == 0) continue;
            reason += std::string(first ? "" : ", ") + name;
            first = false;
        }
        reason += ") could start";
    }
    if (!sdlError.empty()) reason += " (SDL: " + Printable(sdlError) + ")";
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((x == nullptr || *x == '\0') && (wayland == nullptr || *wayland == '\0')) {
        reason += "; neither DISPLAY nor WAYLAND_DISPLAY is set";
    } else if (x != nullptr && *x != '\0') {
        reason += "; DISPLAY is \"" + Printable(x) + "\"";
    }
    return reason;
}

// The X server at DISPLAY answered the program's connection with a refusal (most often: it wants a cookie
// of the user's authority file, XAUTHORITY, that the program has not got).
std::string RefusalReason(const std::string& said) {
    const char* x = std::getenv("DISPLAY");
    return "the X server at DISPLAY \"" + Printable(x != nullptr ? x : "") + "\" refused the connection (it said: \"" +
           said + "\")";
}

// An X server whose outputs are all off (a full-screen run was killed half-way through a mode change,
// and left no note of the desktop's mode to put back), and how to light it by hand.
std::string DarkDisplayReason(const std::string& output) {
    const char* x = std::getenv("DISPLAY");
    return "the display at DISPLAY \"" + Printable(x != nullptr ? x : "") +
           "\" has no mode to show a window in (none of its outputs is on); xrandr --output " + Printable(output) +
           " --auto turns it on";
}

void (*g_displayLost)(const std::string&) = nullptr;

// Xlib's fatal I/O error handler, taken from the library SDL loaded, so that the program links to no
// X library itself. Xlib ends the process once the handler returns; the previous one (SDL's or
// Xlib's own) still runs.
typedef int (*XIOErrorHandler)(void* display);
typedef XIOErrorHandler (*XSetIOErrorHandlerFunc)(XIOErrorHandler);
XIOErrorHandler g_previousIOHandler = nullptr;

int OnDisplayConnectionLost(void* display) {
    // The connection a forced end opened to put the mode back, or any once a forced end is under way:
    // that end, bounded, ends the process with its own code and last line. Xlib would end it with
    // exit(1) when this returns, so this thread waits for it instead.
    if (IsSideConnection(display) || ForcedEndUnderWay()) {
        for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    }
    const int error = errno;
    if (g_displayLost != nullptr) {
        const char* name = std::getenv("DISPLAY");
        g_displayLost("the connection to the X server \"" + Printable(name ? name : "") + "\" was lost (" +
                      std::strerror(error) + ")");
    }
    if (g_previousIOHandler != nullptr) return g_previousIOHandler(display);
    std::exit(1);
}

void WatchDisplayConnection() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || SDL_strcasecmp(driver, "x11") != 0) return;
    void* library = dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD);
    if (library == nullptr) return;
    XSetIOErrorHandlerFunc set = reinterpret_cast<XSetIOErrorHandlerFunc>(dlsym(library, "XSetIOErrorHandler"));
    if (set != nullptr) {
        const XIOErrorHandler previous = set(&OnDisplayConnectionLost);
        if (previous != &OnDisplayConnectionLost) g_previousIOHandler = previous;
    }
    HandleRefusedRequests(library);
    dlclose(library);  // SDL keeps it loaded
}

}  // namespace

void SetDisplayLostHandler(void (*handler)(const std::string& reason)) { g_displayLost = handler; }

void TakeBackDisplayErrors() {
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) WatchDisplayConnection();
}

namespace {

// Where no Wayland compositor can be reached, the Wayland client library would still say so on stderr
// when SDL tries it ("XDG_RUNTIME_DIR is invalid or not set"): SDL is asked for the other drivers.
// Empty when Wayland may be there, or a driver was asked for by name.
std::string DriversWithoutWayland(const char* request) {
    if (request != nullptr && *request != '\0') return "";
    const char* socket = std::getenv("WAYLAND_SOCKET");
    const char* name = std::getenv("WAYLAND_DISPLAY");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if ((socket != nullptr && *socket != '\0') || (name != nullptr && name[0] == '/') ||
        (runtime != nullptr && runtime[0] == '/')) {
        return "";
    }
    std::string drivers;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const char* driver = SDL_GetVideoDriver(i);
        if (driver == nullptr || SDL_strcasecmp(driver, "wayland") == 0 || SDL_strcasecmp(driver, "evdev") == 0 ||
            Headless(driver)) {
            continue;
        }
        drivers += std::string(drivers.empty() ? "" : ",") + driver;
    }
    return drivers;
}

const int kVideoStartAttempts = 3;
// A connection cut at its set-up fails at once; past this, a start is slow for a reason of its own (a
// display over the network that does not answer), and is not tried again without a stop.
const std::chrono::seconds kXRetryWithin(5);

// Whether the driver request lets SDL try X.
bool MayUseX(const char* request) { return request == nullptr || Requested(request, "x11"); }

StartRepair g_startRepair;

}  // namespace

bool InitVideo(std::string* error) {
    const bool first = SDL_WasInit(SDL_INIT_VIDEO) == 0;
    const char* hint = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    const std::string requested = hint != nullptr ? hint : "";  // kept: the hint changes below
    const char* request = requested.empty() ? nullptr : requested.c_str();
    const std::string drivers = first ? DriversWithoutWayland(request) : std::string();
    const auto retryUntil = std::chrono::steady_clock::now() + kXRetryWithin;
    std::string sdlError, refusal;
    HeldXConnection held;  // closed once SDL's own connection is up, or the start has failed
    // A display left with no mode, or in its mode, by a full-screen run that was killed is put back
    // first: SDL finds no display to open on a dark one, and would take the dead run's mode for the
    // desktop's.
    if (first && MayUseX(request)) g_startRepair = PutBackModeLeftByEndedRuns();
    bool started = false;
    for (int attempt = 0; attempt < kVideoStartAttempts && !started; ++attempt) {
        if (attempt > 0) {
            // A stop signal that comes while SDL starts its video can interrupt a call it does not
            // retry: the start is tried again, so that the stop is honoured where it is looked for, not
            // taken for a missing display. Without a stop, it is tried again where an X server is
            // there, once, over the connection held (a start that fails with it open fails for good).
            // An X server that refuses the program is not asked again: each try would only have its
            // refusal printed once more.
            const bool stopped = StopRequested();
            if (!stopped && (!first || !MayUseX(request) || held.IsOpen())) break;
            if (first && MayUseX(request) && !held.IsOpen()) {
                // A stop ends this wait: a server that does not answer it would not answer SDL either.
                if (held.Open(retryUntil, &refusal) != XServerAnswer::Accepted) break;
            }
        }
        // (over an empty SDL_VIDEODRIVER of the environment, which a plain hint would not override)
        if (!drivers.empty()) SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, drivers.c_str(), SDL_HINT_OVERRIDE);
        const int result = SDL_InitSubSystem(SDL_INIT_VIDEO);
        sdlError = result != 0 ? SDL_GetError() : "";
        if (!drivers.empty()) SDL_ResetHint(SDL_HINT_VIDEODRIVER);
        started = result == 0;
        // Without a display SDL may fall back to a headless driver that was not asked for.
        if (started && first && Headless(SDL_GetCurrentVideoDriver()) &&
            !Requested(request, SDL_GetCurrentVideoDriver())) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            started = false;
        }
    }
    if (started) {
        g_displayMissing = false;
        WatchDisplayConnection();
        return true;
    }
    g_displayMissing = true;
    g_displayRefused = !refusal.empty();
    std::string output;
    g_displayMissingReason =
        "cannot open a display: " + (g_displayRefused                             ? RefusalReason(refusal)
                                     : MayUseX(request) && DisplayIsDark(&output) ? DarkDisplayReason(output)
                                                                                  : NoDisplayReason(request, sdlError));
    if (error) *error = g_displayMissingReason;
    return false;
}

void QuitVideo() {
    const ModeChange change;  // the video's end puts back the modes SDL changed
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool DisplayMissing() { return g_displayMissing; }

bool DisplayRefused() { return g_displayMissing && g_displayRefused; }

std::string DisplayMissingReason() { return g_displayMissing ? g_displayMissingReason : std::string(); }

StartRepair TakeStartRepair() {
    const StartRepair taken = g_startRepair;
    g_startRepair = StartRepair();
    return taken;
}

struct Window::Impl {
    SDL_Window* window = nullptr;
    std::uint32_t id = 0;
    bool shown = false;
    bool focused = false;
    int createdWidth = 0, createdHeight = 0;
    DesktopMode desktop;
};

std::unique_ptr<Window> Window::Create(const std::string& title, int width, int height, std::string* error) {
    // Closing the last window must reach the window's listeners, not end the program behind them.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    if (!InitVideo(error)) return nullptr;
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // The graphics device draws straight into the window when its back buffer can be the window's own,
    // so the window carries the depth buffer most often chosen.
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 0);
    SDL_Window* sdl = SDL_CreateWindow(title.c_str(), 0, 0, width > 0 ? width : 1, height > 0 ? height : 1,
                                       SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS | SDL_WINDOW_OPENGL);
    if (sdl == nullptr) {
        if (error) *error = std::string("window: ") + SDL_GetError();
        QuitVideo();
        return nullptr;
    }
    // No input-method composition: the program reads raw keys only.
    SDL_StopTextInput();
    std::unique_ptr<Window> w(new Window());
    w->impl_.reset(new Impl());
    w->impl_->window = sdl;
    w->impl_->id = SDL_GetWindowID(sdl);
    SDL_GetWindowSize(sdl, &w->impl_->createdWidth, &w->impl_->createdHeight);
    Windows()[w->impl_->id] = w.get();
    WatchWindow(sdl);
    return w;
}

Window::~Window() {
    const ModeChange change;
    LeaveFullScreen();
    Windows().erase(impl_->id);
    LetGoOfWindow(impl_->window);
    SDL_DestroyWindow(impl_->window);
    if (Windows().empty() && g_arrow != nullptr) {
        SDL_FreeCursor(g_arrow);
        g_arrow = nullptr;
    }
    QuitVideo();
}

WindowId Window::GetId() const { return impl_->id; }

void* Window::NativeHandle() const { return impl_->window; }

void Window::SetClientSize(int width, int height) {
    const ModeChange change(IsFullScreen());
    SDL_SetWindowSize(impl_->window, width > 0 ? width : 1, height > 0 ? height : 1);
}

void Window::GetClientSize(int* width, int* height) const {
    int w = 0, h = 0;
    SDL_GetWindowSize(impl_->window, &w, &h);
    if (width) *width = w;
    if (height) *height = h;
}

void Window::GetDrawableSize(int* width, int* height) const {
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(impl_->window, &w, &h);
    if (width) *width = w;
    if (height) *height = h;
}

void Window::GetSurfaceSize(int* width, int* height) const {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver != nullptr && std::strcmp(driver, "offscreen") == 0) {
        if (width) *width = impl_->createdWidth;
        if (height) *height = impl_->createdHeight;
        return;
    }
    GetDrawableSize(width, height);
}

void Window::SetPosition(int x, int y) { SDL_SetWindowPosition(impl_->window, x, y); }

void Window::GetPosition(int* x, int* y) const {
    int px = 0, py = 0;
    SDL_GetWindowPosition(impl_->window, &px, &py);
    if (x) *x = px;
    if (y) *y = py;
}

void Window::SetTitle(const std::string& title) { SDL_SetWindowTitle(impl_->window, title.c_str()); }

std::string Window::GetTitle() const { return SDL_GetWindowTitle(impl_->window); }

void Window::SetIcon(const IconImage* icon) {
    if (icon == nullptr || icon->rgba == nullptr || icon->width <= 0 || icon->height <= 0) return;
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<std::uint8_t*>(icon->rgba), icon->width, icon->height, 32, icon->width * 4,
        SDL_PIXELFORMAT_ABGR8888);  // bytes R, G, B, A in memory on a little-endian machine
    if (surface == nullptr) return;
    SDL_SetWindowIcon(impl_->window, surface);
    SDL_FreeSurface(surface);
}

void Window::SetBordered(bool bordered) { SDL_SetWindowBordered(impl_->window, bordered ? SDL_TRUE : SDL_FALSE); }

void Window::SetResizable(bool resizable) { SDL_SetWindowResizable(impl_->window, resizable ? SDL_TRUE : SDL_FALSE); }

void Window::Show(bool activate) {
    const ModeChange change(IsFullScreen());
    if (!activate) SDL_SetHint(SDL_HINT_WINDOW_NO_ACTIVATION_WHEN_SHOWN, "1");
    SDL_ShowWindow(impl_->window);
    if (!activate)
        SDL_SetHint(SDL_HINT_WINDOW_NO_ACTIVATION_WHEN_SHOWN, "0");
    else
        SDL_RaiseWindow(impl_->window);
    impl_->shown = true;
    if (IsOffscreenVideo())
        impl_->focused = true;
    else if (SDL_GetWindowFlags(impl_->window) & SDL_WINDOW_INPUT_FOCUS)
        impl_->focused = true;
}

void Window::Hide() {
    const ModeChange change(IsFullScreen());
    SDL_HideWindow(impl_->window);
    impl_->shown = false;
    impl_->focused = false;
}

void Window::Raise() { SDL_RaiseWindow(impl_->window); }

bool Window::IsShown() const { return impl_->shown; }

bool Window::IsMinimized() const { return (SDL_GetWindowFlags(impl_->window) & SDL_WINDOW_MINIMIZED) != 0; }

bool Window::HasFocus() const { return impl_->shown && impl_->focused; }

bool Window::EnterFullScreen(const DisplayMode& mode, std::string* error) {
    const ModeChange change;
    int display = SDL_GetWindowDisplayIndex(impl_->window);
    if (display < 0) display = 0;
    SDL_DisplayMode want{};
    if (SDL_GetDesktopDisplayMode(display, &want) != 0) {
        if (error) *error = SDL_GetError();
        return false;
    }
    want = impl_->desktop.Take(impl_->window, display);
    if (mode.width > 0 && mode.height > 0) {
        want.w = mode.width;
        want.h = mode.height;
        want.refresh_rate = mode.refreshRate;
        SDL_DisplayMode closest{};
        if (SDL_GetClosestDisplayMode(display, &want, &closest) != nullptr) want = closest;
    }
    impl_->desktop.Use(want);
    // Without a window manager nothing moves or sizes a full-screen window: it is placed over the
    // display first, so that it covers the screen in the new mode whoever handles the request.
    SDL_Rect bounds{};
    if (SDL_GetDisplayBounds(display, &bounds) == 0) {
        SDL_SetWindowPosition(impl_->window, bounds.x, bounds.y);
        SDL_SetWindowSize(impl_->window, want.w, want.h);
    }
    if (SDL_SetWindowDisplayMode(impl_->window, &want) != 0 ||
        SDL_SetWindowFullscreen(impl_->window, SDL_WINDOW_FULLSCREEN) != 0) {
        if (error) *error = SDL_GetError();
        if (!IsFullScreen()) impl_->desktop.PutBack(impl_->window);
        return false;
    }
    return true;
}

// Also where SDL has left full screen on its own (a full-screen window that loses the focus is
// minimised): the display is put back in the mode it is to be in now.
void Window::LeaveFullScreen() {
    const ModeChange change;
    if (IsFullScreen()) SDL_SetWindowFullscreen(impl_->window, 0);
    impl_->desktop.PutBack(impl_->window);
}

bool Window::IsFullScreen() const { return (SDL_GetWindowFlags(impl_->window) & SDL_WINDOW_FULLSCREEN) != 0; }

void Window::Invalidate() {
    if (!HaveOwnEvents()) return;
    SDL_Event e{};
    e.type = RepaintEventType();
    e.user.windowID = impl_->id;
    SDL_PushEvent(&e);
}

Rect Window::GetDisplayBounds() const {
    int display = SDL_GetWindowDisplayIndex(impl_->window);
    SDL_Rect r{0, 0, 0, 0};
    if (SDL_GetDisplayBounds(display < 0 ? 0 : display, &r) != 0) {
        r = {0, 0, 0, 0};
    }
    return MakeRectFromSize(r.x, r.y, r.w, r.h);
}

Window* FindWindow(WindowId id) {
    auto it = Windows().find(id);
    return it == Windows().end() ? nullptr : it->second;
}

namespace {

// Translates one SDL event; false for events the engine does not react to.
bool Translate(const SDL_Event& e, Event* out) {
    *out = Event();
    switch (e.type) {
    case SDL_QUIT:  // a signal or the session asks the program to end
        out->type = EventType::Close;
        out->windowId = 0;
        return true;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        int key = KeyCodeFromScancode(e.key.keysym.scancode);
        TrackKey(key, e.type == SDL_KEYDOWN);
        if (key == 0) return false;
        out->type = e.type == SDL_KEYDOWN ? EventType::KeyDown : EventType::KeyUp;
        out->windowId = e.key.windowID;
        out->key = key;
        return true;
    }
    case SDL_WINDOWEVENT:
        out->windowId = e.window.windowID;
        switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            out->type = EventType::Close;
            return true;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            out->type = EventType::FocusGained;
            return true;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            out->type = EventType::FocusLost;
            return true;
        case SDL_WINDOWEVENT_MINIMIZED:
            out->type = EventType::Minimized;
            return true;
        case SDL_WINDOWEVENT_MAXIMIZED:
            out->type = EventType::Maximized;
            return true;
        case SDL_WINDOWEVENT_RESTORED:
            out->type = EventType::Restored;
            return true;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            out->type = EventType::Resized;
            out->width = e.window.data1;
            out->height = e.window.data2;
            return true;
        case SDL_WINDOWEVENT_EXPOSED:
            out->type = EventType::Expose;
            return true;
        default:
            return false;
        }
    default:
        if (HaveOwnEvents() && e.type == RepaintEventType()) {
            out->type = EventType::Expose;
            out->windowId = e.user.windowID;
            return true;
        }
        return false;  // wake-ups and everything else
    }
}

}  // namespace

bool PollEvent(Event* event) {
    // SDL minimises a full-screen window that loses the focus, and puts the desktop's mode back then.
    const ModeChange change(DisplayModeHeld());
    if (SDL_WasInit(SDL_INIT_EVENTS) != 0) {
        SDL_Event e;
        while (SDL_PollEvent(&e) != 0) {
            if (!Translate(e, event)) continue;
            if (event->type == EventType::FocusGained || event->type == EventType::FocusLost) {
                bool gained = event->type == EventType::FocusGained;
                // Keys held while the focus goes elsewhere would otherwise stay down for ever.
                if (!gained) ClearKeyState();
                if (Window* w = FindWindow(event->windowId)) {
                    w->impl_->focused = gained;
                    // SDL minimises a full-screen window that loses the focus and puts back the mode it
                    // took for the desktop's, which may be another instance's old one.
                    if (w->IsFullScreen() && gained) w->impl_->desktop.Resume();
                    if (w->IsFullScreen() && !gained) w->impl_->desktop.StepAside(w->impl_->window);
                }
            } else if (event->type == EventType::Minimized || event->type == EventType::Restored) {
                Window* w = FindWindow(event->windowId);
                if (w != nullptr && w->IsFullScreen()) {
                    if (event->type == EventType::Minimized)
                        w->impl_->desktop.Minimised();
                    else
                        w->impl_->desktop.Resume();
                }
            }
            return true;
        }
    }
    // A stop signal the program caught (its handler, not SDL's, holds SIGINT and SIGTERM) closes the windows
    // once, as SDL's own quit would.
    if (StopRequested() && !g_stopDelivered.exchange(true)) {
        *event = Event();
        event->type = EventType::Close;
        event->windowId = 0;
        return true;
    }
    if (g_quitPosted.exchange(false)) {
        *event = Event();
        event->type = EventType::Quit;
        event->code = g_quitCode.load();
        return true;
    }
    return false;
}

void WaitEvent() {
    if (g_quitPosted.load() || (StopRequested() && !g_stopDelivered.load())) return;
    if (SDL_WasInit(SDL_INIT_EVENTS) == 0 || !HaveOwnEvents()) {
        // No queue to wait on: only a posted quit can come, so look again a little later.
        SDL_Delay(10);
        return;
    }
    // A caught signal puts nothing in SDL's queue: the wait ends now and then to look for one.
    const ModeChange change(DisplayModeHeld());
    SDL_WaitEventTimeout(nullptr, 100);
}

void PostQuit(int code) {
    g_quitCode.store(code);
    g_quitPosted.store(true);
    if (SDL_WasInit(SDL_INIT_EVENTS) != 0 && HaveOwnEvents()) {
        SDL_Event e{};
        e.type = WakeEventType();
        SDL_PushEvent(&e);
    }
}

void SetCursor(Cursor cursor) {
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return;
    switch (cursor) {
    case Cursor::Default:
        break;
    case Cursor::Arrow:
        if (g_arrow == nullptr) g_arrow = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
        if (g_arrow != nullptr) SDL_SetCursor(g_arrow);
        break;
    }
}

void ShowCursor(bool show) {
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return;
    SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

}  // namespace plat
