// Logical buttons over the keyboard: codes 0 to 255 are keys, held while their state byte has the
// high bit set.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "devices/StandardController.h"
#include "platform/Input.h"

namespace trivale {

class CMappedKeyboardController : public CStandardController {
public:
    // Opens and configures the keyboard for the window; throws EIOError when the device refuses.
    CMappedKeyboardController(plat::InputSystem& input, plat::Window* window);
    ~CMappedKeyboardController() override;

    ControllerType GetType() override { return ControllerType::Keyboard; }
    void Update() override;
    bool Capture(const std::string& name, unsigned index) override;
    std::string GetAssignmentName(const std::string& name, unsigned index) override;

private:
    std::unique_ptr<plat::KeyboardDevice> device_;
    std::uint8_t keys_[256] = {};
    std::map<int, std::string> keyNames_;
};

}  // namespace trivale
