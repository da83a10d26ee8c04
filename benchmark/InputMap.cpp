#include "benchmark/InputMap.h"

#include "devices/Controller.h"
#include "platform/Input.h"

namespace {

constexpr int kNone = trivale::kInputNone;

}  // namespace

// Escape serves both "cancel" and "pause"; pad buttons 0, 1 and 2 each serve two actions.
const InputAction kInputActions[11] = {
    {"up", "Move Up", {plat::kKeyUp, plat::kKeyNumpad8}, {trivale::kInputAxisYNegative, kNone}},
    {"down", "Move Down", {plat::kKeyDown, plat::kKeyNumpad2}, {trivale::kInputAxisYPositive, kNone}},
    {"left", "Move Left", {plat::kKeyLeft, plat::kKeyNumpad4}, {trivale::kInputAxisXNegative, kNone}},
    {"right", "Move Right", {plat::kKeyRight, plat::kKeyNumpad6}, {trivale::kInputAxisXPositive, kNone}},
    {"decide", "", {plat::kKeyReturn, plat::kKeyNumpadEnter}, {0, 2}},
    {"cancel", "", {plat::kKeyEscape, kNone}, {1, kNone}},
    {"main", "", {plat::kKeyX, kNone}, {2, kNone}},
    {"sub", "", {plat::kKeyZ, kNone}, {1, kNone}},
    {"special", "", {plat::kKeyLeftShift, kNone}, {0, 7}},
    {"pause", "", {plat::kKeyEscape, kNone}, {8, kNone}},
    {"debug", "", {plat::kKeyF11, kNone}, {kNone, kNone}},
};

void SetupInputMap(const trivale::CDXInput& input, trivale::CMergedController& merged) {
    const unsigned count = input.GetControllerCount();
    for (unsigned i = 0; i < count; ++i) {
        trivale::IController* controller = input.GetController(i);
        for (const InputAction& a : kInputActions) controller->DefineButton(a.name, a.label);
        merged.AddController(controller);
    }
    // Defining leaves both slots empty, so only the bound ones need setting.
    auto bind = [](trivale::IController* controller, const char* name, const int(&codes)[2]) {
        for (unsigned slot = 0; slot < 2; ++slot)
            if (codes[slot] != kNone) controller->SetAssignment(name, slot, codes[slot]);
    };
    if (count >= 1)
        for (const InputAction& a : kInputActions) bind(input.GetController(0), a.name, a.key);
    if (count >= 2)
        for (const InputAction& a : kInputActions) bind(input.GetController(1), a.name, a.pad);
}
