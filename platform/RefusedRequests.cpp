#include "platform/RefusedRequests.h"

#include "platform/StopWatchdog.h"
#include "platform/Window.h"  // before the X headers, whose macros clash with its names

// The X part of the window-system record (the distribution's SDL configuration does not name drivers).
#ifndef SDL_VIDEO_DRIVER_X11
#define SDL_VIDEO_DRIVER_X11 1
#endif
#include <SDL_syswm.h>
#include <dlfcn.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>

namespace plat {

namespace {

void (*g_report)(const std::string&) = nullptr;

using GetErrorText = int (*)(Display*, int, char*, int);
GetErrorText g_errorText = nullptr;
using QueryExtension = int (*)(Display*, const char*, int*, int*, int*);
QueryExtension g_queryExtension = nullptr;

// The window watched, and the connection its requests go over.
std::atomic<Display*> g_display{nullptr};
std::atomic<unsigned long> g_window{0};
std::atomic<int> g_glxErrors{-1};  // the first error code of the GL extension on that connection; -1: none

// The kinds logged so far (error, major and minor code); past the last slot no new kind is logged.
constexpr std::size_t kKinds = 64;
std::mutex g_kindsMutex;
std::array<std::uint32_t, kKinds> g_kinds{};
std::size_t g_kindCount = 0;

enum class Seen { First, Last, Before };

Seen Note(std::uint32_t kind) {
    std::lock_guard<std::mutex> lock(g_kindsMutex);
    for (std::size_t i = 0; i < g_kindCount; ++i) {
        if (g_kinds[i] == kind) return Seen::Before;
    }
    if (g_kindCount == kKinds) return Seen::Before;
    g_kinds[g_kindCount++] = kind;
    return g_kindCount == kKinds ? Seen::Last : Seen::First;
}

// Whether the error says that a window or drawable does not exist: the core's, or the GL extension's
// (its errors 2, GLXBadDrawable, and 12, GLXBadWindow). Under Mesa's software renderer, windowed or full
// screen, the core's come (from the image put into the window, the look at its size, the window's
// attributes); the extension's may come where the server draws.
bool SaysGone(const XErrorEvent& error) {
    if (error.error_code == BadWindow || error.error_code == BadDrawable) return true;
    const int glx = g_glxErrors.load();
    return glx >= 0 && (error.error_code == glx + 2 || error.error_code == glx + 12);
}

// Xlib's handler of a refused request, in place of SDL's: that one puts SDL's idea of the desktop's mode
// back and hands the error on to Xlib's, which ends the process. Inside it no request may be made on the
// connection that called it, and nothing may wait on SDL: the line is written, bounded, by the handler
// installed from above, and the window's loss is handed to the stop watch's thread.
int OnRequestRefused(Display* display, XErrorEvent* error) {
    if (error == nullptr) return 0;
    const unsigned long window = g_window.load();
    const bool windowLost =
        window != 0 && display == g_display.load() && error->resourceid == window && SaysGone(*error);
    const Seen seen =
        Note(std::uint32_t{error->error_code} << 16 | std::uint32_t{error->request_code} << 8 | error->minor_code);
    if (seen != Seen::Before && g_report != nullptr) {
        char name[160] = "";
        if (g_errorText != nullptr) g_errorText(display, error->error_code, name, sizeof name);
        char line[400];
        std::snprintf(
            line, sizeof line, "the X server refused request %u.%u about resource 0x%lx: %s (error %u); %s",
            error->request_code, error->minor_code, error->resourceid, name, error->error_code,
            seen == Seen::Last ? "no further refusals are logged" : "further refusals of this kind are not logged");
        g_report(line);
    }
    if (windowLost) RequestEndNow(WindowLostLine(window), 1);
    return 0;
}

}  // namespace

void SetRefusedRequestHandler(void (*handler)(const std::string& line)) { g_report = handler; }

std::string WindowLostLine(unsigned long window) {
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", window);
    return std::string("the program's window (X window ") + id +
           ") was destroyed by another program: the run is ended (exit code 1)";
}

void HandleRefusedRequests(void* x11) {
    g_errorText = reinterpret_cast<GetErrorText>(dlsym(x11, "XGetErrorText"));
    g_queryExtension = reinterpret_cast<QueryExtension>(dlsym(x11, "XQueryExtension"));
    using Handler = int (*)(Display*, XErrorEvent*);
    const auto setHandler = reinterpret_cast<Handler (*)(Handler)>(dlsym(x11, "XSetErrorHandler"));
    if (setHandler != nullptr) setHandler(&OnRequestRefused);
}

void WatchWindow(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    // Asked here, outside the handler, which may make no request.
    int opcode = 0, firstEvent = 0, firstError = -1;
    if (g_queryExtension == nullptr ||
        !g_queryExtension(info.info.x11.display, "GLX", &opcode, &firstEvent, &firstError))
        firstError = -1;
    g_glxErrors.store(firstError);
    g_display.store(info.info.x11.display);
    g_window.store(info.info.x11.window);
}

void LetGoOfWindow(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    unsigned long watched = info.info.x11.window;
    g_window.compare_exchange_strong(watched, 0);
}

}  // namespace plat
