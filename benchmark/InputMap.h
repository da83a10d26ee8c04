// The show's input as eleven named actions ("up", "decide", "cancel", "debug", ...) on every controller
// of the input device, with default bindings on the keyboard and the first game controller, all merged
// into one controller so that an action counts when any device's binding does.
#pragma once

#include <string>

#include "devices/DXInput.h"
#include "devices/MergedController.h"

// One action: its name, its label, and two binding slots on the keyboard and on the first game
// controller (trivale::kInputNone for an empty slot).
struct InputAction {
    const char* name;
    const char* label;
    int key[2];
    int pad[2];
};

// The eleven actions in the order they are defined.
extern const InputAction kInputActions[11];

// Defines the actions on every controller of `input`, the keyboard first, and adds each to `merged`;
// binds the keyboard's keys and, when there is one, the first game controller's buttons and axes.
// Further game controllers keep their actions unbound. Run it once, on an empty merged controller.
void SetupInputMap(const trivale::CDXInput& input, trivale::CMergedController& merged);
