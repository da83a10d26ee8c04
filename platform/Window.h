// In place of the desktop window and its message queue: the program's top-level window over SDL2
// (created hidden and GL-capable; show/hide/size/title/icon/cursor; full screen with a display mode) and
// a queue that yields only the events the engine reacts to. No window classes, menus, child windows or mouse.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Rect.h"

namespace plat {

// SDL's window id; 0 is no window (the same alias as in platform/MessageBox.h).
using WindowId = std::uint32_t;

// A straight RGBA image (bytes R, G, B, A per pixel, rows top-down).
struct IconImage {
    int width = 0;
    int height = 0;
    const std::uint8_t* rgba = nullptr;
};

// Default leaves the cursor the system shows.
enum class Cursor { Default, Arrow };

struct DisplayMode {
    int width = 0;
    int height = 0;
    int refreshRate = 0;  // Hz; 0 = any
};

struct Event;

class Window {
public:
    // Creates a hidden, borderless window with an OpenGL-capable visual (plain RGB, double-buffered,
    // 24-bit depth, no multisampling: other choices draw to an off-screen framebuffer). Returns null and a reason
    // when the video system or the window cannot be created.
    static std::unique_ptr<Window> Create(const std::string& title, int width, int height, std::string* error);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Identifies the window in events.
    WindowId GetId() const;
    // The SDL_Window*, for the platform's own graphics code only; engine code never looks inside.
    void* NativeHandle() const;

    // Sizes are client sizes in window coordinates; the drawable size is in pixels.
    void SetClientSize(int width, int height);
    void GetClientSize(int* width, int* height) const;
    void GetDrawableSize(int* width, int* height) const;
    // The size of the window's own GL framebuffer: the drawable's, except under the offscreen driver,
    // whose surface keeps the size the window was made with.
    void GetSurfaceSize(int* width, int* height) const;
    void SetPosition(int x, int y);
    void GetPosition(int* x, int* y) const;

    void SetTitle(const std::string& title);  // UTF-8
    std::string GetTitle() const;
    void SetIcon(const IconImage* icon);  // null leaves the system's default
    void SetBordered(bool bordered);
    void SetResizable(bool resizable);

    // Shows the window, taking the input focus when activate is true.
    void Show(bool activate);
    void Hide();
    void Raise();
    bool IsShown() const;
    bool IsMinimized() const;

    // Input focus as of the events taken from the queue so far. Under the offscreen video driver no
    // window ever gets focus from the system, so a shown window counts as focused there.
    bool HasFocus() const;

    // Full screen with the given display mode (the mode of the desktop when width or height is 0);
    // false and a reason when the system refuses. LeaveFullScreen returns to the windowed state.
    bool EnterFullScreen(const DisplayMode& mode, std::string* error);
    void LeaveFullScreen();
    bool IsFullScreen() const;

    // Queues an Expose event for the window, so that it repaints at the next turn of the loop.
    void Invalidate();

    // The bounds of the display the window is on.
    Rect GetDisplayBounds() const;

private:
    friend bool PollEvent(Event* event);
    Window() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The window of an id, while it exists (null otherwise).
Window* FindWindow(WindowId id);

enum class EventType {
    Close,  // the user or the system asks the window (windowId 0: every window) to close
    FocusGained,
    FocusLost,
    Minimized,
    Maximized,
    Restored,
    Resized,  // width and height: the new client size
    Expose,   // the window must be repainted
    KeyDown,  // key: key code in the 256-key numbering of platform/Input.h
    KeyUp,
    Quit  // PostQuit was called; code: its exit code
};

struct Event {
    EventType type = EventType::Quit;
    WindowId windowId = 0;
    int key = 0;
    int width = 0;
    int height = 0;
    int code = 0;
};

// Takes the next event from the queue without waiting; false when none waits. Events of no interest to
// the engine are dropped. Key and focus events update the keyboard state of platform/Input.h and the
// window's focus before they are returned. A posted quit comes out only once no other event waits.
bool PollEvent(Event* event);
// Waits until an event (or a posted quit) waits in the queue, without taking it.
void WaitEvent();
// Asks the loop to end; safe from any thread. The quit is taken by PollEvent after the events queued
// before it.
void PostQuit(int code);

// Cursor over the program's windows.
void SetCursor(Cursor cursor);
// Shows or hides the cursor whatever was asked before (not counted).
void ShowCursor(bool show);

// True under SDL's offscreen video driver (tests and unattended runs).
bool IsOffscreenVideo();

// Starts SDL's video system, counted like SDL_InitSubSystem; QuitVideo undoes one start. Without a
// display SDL would quietly fall back to its offscreen driver and draw to nowhere: that driver (and
// "dummy") is taken only when SDL_VIDEODRIVER names it. On failure the error reads "cannot open a
// display: " and why, and DisplayMissing() is true until a start succeeds; DisplayMissingReason() is
// that error.
bool InitVideo(std::string* error);
void QuitVideo();
bool DisplayMissing();
std::string DisplayMissingReason();
// What the video's first start did about a display left dark or in its own mode by a full-screen run
// that ended without putting the desktop's mode back: the mode put back and why, or why it could not
// be (`failed`). Given once, for the log; empty when there was nothing to do.
struct StartRepair {
    std::string line;
    bool failed = false;
};
StartRepair TakeStartRepair();
// The display is missing because its X server refused the program: no message box can show there
// either, and trying would only have the refusal printed again.
bool DisplayRefused();
// Called with the reason when the connection to the display is lost, just before the display library
// ends the process (it gives no way to go on); the handler should only record the reason.
void SetDisplayLostHandler(void (*handler)(const std::string& reason));
// Called with a line for the log for the first request of each kind (its error, its request's major
// and minor code) that the X server refuses: such a refusal ends nothing by itself (SDL's call reports
// its failure), save one that says the program's own window is gone, which ends the run (exit code 1).
// Called from inside the display library, on the thread that made the request: the handler only
// writes the line, bounded, and makes no X request.
void SetRefusedRequestHandler(void (*handler)(const std::string& line));
// A toolkit that opens the display once the video has started (the configuration dialog's) puts its own
// handlers of the display's errors in, for the whole process: its handler of refused requests drops
// those of connections not its own, and a lost connection ends the process without the program's
// line. Puts the program's back; nothing where the video has not started on X.
void TakeBackDisplayErrors();

// For a forced end while the window's thread may be stuck (platform/StopWatchdog.h): where a full-screen
// window of the program holds the display in a mode of its own, the display goes back to the mode it is
// to be in (the desktop's, or that of another full-screen run still going), over an X connection of its
// own and with no SDL call. False when the program held no mode. Safe from any thread; done once.
bool PutBackDesktopModeFromAnyThread();
// Whether the X server DISPLAY names answers a new connection within a second and a half, whatever
// stop has come: while it does, the mode's return is waited for. Safe from any thread.
bool DisplayAnswers();

}  // namespace plat
