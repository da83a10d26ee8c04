// Shared pieces of the input tests: a scripted input system (plus the framework tests' helpers).
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/Input.h"
#include "tests/app_framework/TestSupport.h"

namespace intest {

using fwtest::CapturedLog;
using plat::InputResult;

// What the scripted devices report; the test changes it between updates.
struct FakeWorld {
    std::uint8_t keys[256] = {};
    plat::JoystickState joystick;
    InputResult keyboardRead = InputResult::Ok, keyboardAcquire = InputResult::Ok;
    InputResult joystickPoll = InputResult::Ok, joystickAcquire = InputResult::Ok;
    InputResult enumerate = InputResult::Ok;
    std::vector<plat::GameControllerInfo> controllers;
    std::string failStep;  // "create", "level", "format", "axismode", "axes", "range"

    InputResult Step(const char* step) const {
        return failStep == step ? InputResult::InvalidParameter : InputResult::Ok;
    }
};

class FakeKeyboard : public plat::KeyboardDevice {
public:
    explicit FakeKeyboard(FakeWorld* w) : w_(w) {}
    InputResult SetCooperativeLevel(plat::Window*, unsigned) override { return w_->Step("level"); }
    InputResult SetDataFormat() override { return w_->Step("format"); }
    InputResult Acquire() override { return w_->keyboardAcquire; }
    InputResult GetDeviceState(std::uint8_t (&keys)[256]) override {
        if (w_->keyboardRead == InputResult::Ok) std::memcpy(keys, w_->keys, 256);
        return w_->keyboardRead;
    }

private:
    FakeWorld* w_;
};

class FakeJoystick : public plat::JoystickDevice {
public:
    explicit FakeJoystick(FakeWorld* w) : w_(w) {}
    InputResult SetCooperativeLevel(plat::Window*, unsigned) override { return w_->Step("level"); }
    InputResult SetDataFormat() override { return w_->Step("format"); }
    InputResult SetAxisModeAbsolute() override { return w_->Step("axismode"); }
    InputResult EnumAxes(std::vector<int>* axes) override {
        *axes = {0, 1, 2};
        return w_->Step("axes");
    }
    InputResult SetAxisRange(int, int, int) override { return w_->Step("range"); }
    InputResult Acquire() override { return w_->joystickAcquire; }
    InputResult Poll() override { return w_->joystickPoll; }
    InputResult GetDeviceState(plat::JoystickState* state) override {
        if (w_->joystickPoll != InputResult::Ok) return InputResult::NotAcquired;
        *state = w_->joystick;
        return InputResult::Ok;
    }

private:
    FakeWorld* w_;
};

class FakeSystem : public plat::InputSystem {
public:
    explicit FakeSystem(FakeWorld* w) : w_(w) {}
    InputResult EnumGameControllers(std::vector<plat::GameControllerInfo>* controllers) override {
        *controllers = w_->controllers;
        return w_->enumerate;
    }
    std::unique_ptr<plat::KeyboardDevice> CreateKeyboard(InputResult* result) override {
        return Make<plat::KeyboardDevice, FakeKeyboard>(result);
    }
    std::unique_ptr<plat::JoystickDevice> CreateJoystick(int, InputResult* result) override {
        return Make<plat::JoystickDevice, FakeJoystick>(result);
    }

private:
    template <class Device, class Fake>
    std::unique_ptr<Device> Make(InputResult* result) {
        *result = w_->Step("create");
        return std::unique_ptr<Device>(*result == InputResult::Ok ? new Fake(w_) : nullptr);
    }
    FakeWorld* w_;
};

}  // namespace intest
