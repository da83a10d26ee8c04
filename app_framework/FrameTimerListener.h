// The receiver of the frame keeper's ticks.
#pragma once

#include "core/Object.h"

namespace trivale {

class IFrameTimerListener : public IInterface {
public:
    // frames: the number of frames due at this tick, 1 or more.
    virtual void OnFrame(unsigned frames) = 0;
};

}  // namespace trivale
