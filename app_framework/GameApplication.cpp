#include "app_framework/GameApplication.h"

#include "app_framework/GameWindow.h"
#include "platform/Window.h"

namespace trivale {

int CGameApplication::Run() {
    for (;;) {
        plat::Event event;
        while (plat::PollEvent(&event)) {
            if (event.type == plat::EventType::Quit) return 0;
            DispatchWindowEvent(event);
        }
        if (idleListener_ != nullptr) {
            idleListener_->OnIdle();
        } else {
            plat::WaitEvent();
        }
    }
}

void CGameApplication::ShowCursor(bool show) { plat::ShowCursor(show); }

}  // namespace trivale
