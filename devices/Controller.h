// Input as named logical buttons ("up", "decide", ...) over an input device: each button has a label
// and up to two assigned input codes, and reports whether it is held and whether it was just pressed.
#pragma once

#include <string>

#include "core/Object.h"

namespace trivale {

// Input codes: -1 none; 0 to 255 keys in the 256-key numbering (keyboard) or buttons 0 to 31
// (joystick); the joystick's axes on the range -100 to 100, beyond -30 or 30 as four codes.
enum : int {
    kInputNone = -1,
    kInputAxisXNegative = 4097,
    kInputAxisXPositive = 4098,
    kInputAxisYNegative = 4099,
    kInputAxisYPositive = 4100
};

// The device behind a controller; the values are the ones the controller type always had.
enum class ControllerType { Keyboard = 0, Joystick = 1, Merged = 2 };

class IController : public IInterface {
public:
    virtual ControllerType GetType() = 0;
    // Reads the device and recomputes every button.
    virtual void Update() = 0;
    // Held as of the last Update.
    virtual bool IsPressed(const std::string& name) = 0;
    // Pressed since the last question; asking clears it.
    virtual bool IsPushed(const std::string& name) = 0;
    // Every button counts as held, without a push, until it is released.
    virtual void Reset() = 0;
    // (Re)defines the button: this label, no assignments, not held.
    virtual void DefineButton(const std::string& name, const std::string& label) = 0;
    virtual std::string GetLabel(const std::string& name) = 0;
    // Assigns the first input active in the last read state; false when none is. index is 0 or 1, as
    // for the assignment operations below (others throw EInvalidParameter).
    virtual bool Capture(const std::string& name, unsigned index) = 0;
    virtual void SetAssignment(const std::string& name, unsigned index, int code) = 0;
    virtual int GetAssignment(const std::string& name, unsigned index) = 0;
    // The display name of an assignment.
    virtual std::string GetAssignmentName(const std::string& name, unsigned index) = 0;
};

}  // namespace trivale
