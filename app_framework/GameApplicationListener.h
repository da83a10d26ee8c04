// The receiver of the message loop's idle moments.
#pragma once

#include "core/Object.h"

namespace trivale {

class IGameApplicationListener : public IInterface {
public:
    // Called once whenever the event queue is empty.
    virtual void OnIdle() = 0;
};

}  // namespace trivale
