// The message loop: every waiting event is dispatched, and each empty moment goes to one idle listener.
#pragma once

#include "app_framework/GameApplicationListener.h"
#include "core/Object.h"
#include "platform/Window.h"

namespace trivale {

class CGameApplication : public virtual CNonCopyable {
public:
    CGameApplication() {}
    ~CGameApplication() override {}

    // Runs until a quit is posted (plat::PostQuit); returns 0. The quit ends the loop after the frame in
    // progress and after the events queued before it.
    virtual int Run();
    virtual void SetIdleListener(IGameApplicationListener* listener) { idleListener_ = listener; }
    // Settles the cursor's visibility whatever was asked before.
    virtual void ShowCursor(bool show);

private:
    IGameApplicationListener* idleListener_ = nullptr;
};

// The program's own icon, a small snowflake drawn by the program itself; the entry hands it to the
// driver's SetIcon.
const plat::IconImage& ApplicationIcon();

}  // namespace trivale
