// The receiver of a game window's messages.
#pragma once

#include <cstdint>

#include "core/Object.h"

namespace trivale {

class CGameWindow;

class IGameWindowListener : public IInterface {
public:
    // True when the listener handled the message; it then also stores the message's result.
    virtual bool OnMessage(CGameWindow* window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                           std::intptr_t* result) = 0;
};

}  // namespace trivale
