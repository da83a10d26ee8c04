// The program's one top-level window: a borderless full-screen or a captioned windowed styling, the
// client area kept at the rendering size, and every message passed to its listeners while it is shown.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app_framework/GameWindowListener.h"
#include "core/Object.h"
#include "platform/Window.h"

namespace trivale {

// Messages of a game window.
enum : unsigned {
    kMessageClose = 1,        // the user or the system asks to close; unhandled, the window is destroyed
    kMessageDestroy,          // the window is destroyed for the program (default handling of a close)
    kMessageActivate,         // wParam: kWindowInactive or kWindowActive
    kMessageSize,             // wParam: kSizeRestored, kSizeMinimized or kSizeMaximized;
                              // lParam: client width | client height << 16
    kMessageEraseBackground,  // before kMessagePaint
    kMessagePaint,
    kMessageKeyDown  // wParam: key code in the 256-key numbering of platform/Input.h
};

enum : unsigned { kWindowInactive = 0, kWindowActive = 1 };
enum : unsigned { kSizeRestored = 0, kSizeMinimized = 1, kSizeMaximized = 2 };

class CGameWindow : public virtual CNonCopyable {
public:
    typedef std::vector<IGameWindowListener*> ListenerList;

    // Creates the window hidden, at 640 x 480; throws EException when it cannot be created. The icon
    // (may be null) and the cursor apply when the window is shown.
    CGameWindow(const std::string& className, const std::string& title, const plat::IconImage* icon,
                plat::Cursor cursor);
    ~CGameWindow() override;

    virtual void SetClientSize(int width, int height);
    // Read the real client size (and store it).
    virtual int GetClientWidth();
    virtual int GetClientHeight();
    virtual void SetPosition(int x, int y);
    virtual void SetTitle(const std::string& title);
    virtual std::string GetTitle() const { return title_; }
    virtual void SetClassName(const std::string& name) { className_ = name; }
    virtual std::string GetClassName() const { return className_; }
    virtual void GetClassName(std::string& name) const { name = className_; }
    // The platform window, for the graphics and input devices.
    virtual plat::Window* GetHandle() const { return window_.get(); }
    virtual void SetIcon(const plat::IconImage* icon);
    virtual const plat::IconImage* GetIcon() const { return icon_; }
    virtual void SetCursor(plat::Cursor cursor);
    virtual plat::Cursor GetCursor() const { return cursor_; }
    // Both take effect at the next windowed styling. Without a maximize box a maximised window is
    // reported as merely resized.
    virtual void SetMaximizeBox(bool maximizeBox) { maximizeBox_ = maximizeBox; }
    virtual bool HasMaximizeBox() const { return maximizeBox_; }
    virtual void SetSizable(bool sizable) { sizable_ = sizable; }
    virtual bool IsSizable() const { return sizable_; }

    // Listeners hear the messages in the order they were added; adding one twice changes nothing.
    virtual void AddListener(IGameWindowListener* listener);
    virtual const ListenerList& GetListeners() const { return listeners_; }
    // The number removed, 0 or 1.
    virtual int RemoveListener(IGameWindowListener* listener);

    // The styling only; the display mode itself is the graphics device's affair.
    virtual void SetFullScreen(bool fullScreen);
    virtual bool IsFullScreen() const { return fullScreen_; }
    // Centres the windowed window on its display; nothing in full screen.
    virtual void Center();
    // The first showing styles the window and lets its listeners hear it; later calls only raise it.
    virtual void Show();
    virtual void ShowNoActivate();
    virtual void BringToTop();
    // The listeners hear nothing more until the next Show.
    virtual void Hide();
    bool IsShown() const;

private:
    void FirstShowing(bool activate);
    void ApplyStyle();

    std::unique_ptr<plat::Window> window_;
    const plat::IconImage* icon_;
    plat::Cursor cursor_;
    std::string title_;
    std::string className_;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    bool fullScreen_ = false;
    bool maximizeBox_ = true;
    bool sizable_ = false;
    ListenerList listeners_;

    friend std::intptr_t GameWindowProc(plat::WindowId, unsigned, std::uintptr_t, std::intptr_t);
};

// The window procedure: the shown window of the id passes the message to its listeners; the last
// listener's answer decides whether the default handling runs.
std::intptr_t GameWindowProc(plat::WindowId window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

// Turns one event of the platform's queue into the messages of the shown window(s) it concerns.
void DispatchWindowEvent(const plat::Event& event);

}  // namespace trivale
