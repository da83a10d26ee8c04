// The core of the application driver: the log of the run, the application object with its message
// loop, and the hidden main window, which closing ends the loop. The devices join in the layer above
// (devices/GameApplicationDriverDX9.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app_framework/GameApplication.h"
#include "app_framework/GameWindow.h"
#include "app_framework/GameWindowListener.h"
#include "core/Object.h"
#include "platform/Window.h"

namespace trivale {

class CGameApplicationDriver : public virtual CNonCopyable {
public:
    // Ends the message loop when the main window is destroyed.
    class CMainWindowListener : public IGameWindowListener, public virtual CNonCopyable {
    public:
        bool OnMessage(CGameWindow* window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                       std::intptr_t* result) override;
    };

    // Opens the log and makes the application and the hidden 640 x 480 main window; an EException
    // when the window cannot be made (what was made so far is released again).
    CGameApplicationDriver();
    // Releases the application and the window, then logs the last line and closes the log.
    ~CGameApplicationDriver() override;

    virtual bool Initialize();
    // Shows the window and runs the loop until a quit is posted; every failure out of the loop is
    // reported with the window as owner, and the window is hidden again.
    virtual void Run();
    virtual void SetTitle(const std::string& title);
    virtual void SetIcon(const plat::IconImage* icon);
    virtual void SetCursor(plat::Cursor cursor);
    virtual CGameWindow* GetWindow() { return window_.get(); }
    virtual CGameApplication* GetApplication() { return application_.get(); }

    const std::string& GetTitle() const { return title_; }
    const plat::IconImage* GetIcon() const { return icon_; }
    plat::Cursor GetCursor() const { return cursor_; }

protected:
    // The main window's id for message box owners; none when there is no window.
    plat::WindowId GetWindowId() const;

    bool initialized_ = false;

private:
    // Declared first so that it is the window's first listener and outlives the rest.
    CMainWindowListener closeListener_;
    // The window goes after the application, so it is declared before it (members unwind in reverse).
    std::unique_ptr<CGameWindow> window_;
    std::unique_ptr<CGameApplication> application_;
    const plat::IconImage* icon_ = nullptr;
    plat::Cursor cursor_ = plat::Cursor::Default;
    std::string title_;
};

}  // namespace trivale
