// A scene of the scene manager: everything the program shows or updates per frame.
#pragma once

#include <cstdint>

#include "core/Object.h"

namespace trivale {

class IScene : public IInterface {
public:
    // Lower priorities run first.
    virtual std::uint16_t GetPriority() const = 0;
    // False: the scene wants to be removed at the end of the pass.
    virtual bool IsAlive() const = 0;
    // Once, when the scene enters the live set.
    virtual void Initialize() = 0;
    // Right after Initialize and after every reset of the graphics device.
    virtual void OnDeviceReset() = 0;
    // The per-tick work; frames >= 1.
    virtual void Frame(unsigned frames) = 0;
    // Once, when the manager drops the scene.
    virtual void Finalize() = 0;
    virtual void SetAlive(bool alive) = 0;
    virtual void Kill() = 0;
};

}  // namespace trivale
