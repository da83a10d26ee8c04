// The message loop: every waiting event is dispatched, and each empty moment goes to one idle listener.
#pragma once

#include "app_framework/GameApplicationListener.h"
#include "core/Object.h"

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

}  // namespace trivale
