// Logical buttons over one game controller: buttons 0 to 31, and the X and Y axes on the range -100 to
// 100, held beyond -30 or 30 (codes 4097 to 4100).
#pragma once

#include <memory>
#include <string>

#include "devices/StandardController.h"
#include "platform/Input.h"

namespace trivale {

class CMappedJoystickController : public CStandardController {
public:
    // Opens the controller of that id for the window and sets its axes; throws EIOError when the
    // device refuses a step.
    CMappedJoystickController(plat::InputSystem& input, int id, plat::Window* window);
    ~CMappedJoystickController() override;

    ControllerType GetType() override { return ControllerType::Joystick; }
    void Update() override;
    bool Capture(const std::string& name, unsigned index) override;
    std::string GetAssignmentName(const std::string& name, unsigned index) override;

private:
    bool IsHeld(int code) const;

    std::unique_ptr<plat::JoystickDevice> device_;
    plat::JoystickState state_;
};

}  // namespace trivale
