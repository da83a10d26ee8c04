// The base of every scene: alive from the start, a fixed priority, and nothing to do.
#pragma once

#include <cstdint>

#include "app_framework/Scene.h"

namespace trivale {

class CStandardScene : public IScene, public virtual CNonCopyable {
public:
    explicit CStandardScene(std::uint16_t priority) : priority_(priority) {}
    ~CStandardScene() override {}

    std::uint16_t GetPriority() const override { return priority_; }
    bool IsAlive() const override { return alive_; }
    void Initialize() override {}
    void OnDeviceReset() override {}
    void Frame(unsigned) override {}
    void Finalize() override {}
    void SetAlive(bool alive) override { alive_ = alive; }
    void Kill() override { SetAlive(false); }

private:
    bool alive_ = true;
    const std::uint16_t priority_;
};

}  // namespace trivale
