#include "devices/DXInput.h"

#include <stdexcept>

#include "core/Log.h"
#include "core/Text.h"
#include "devices/MappedJoystickController.h"
#include "devices/MappedKeyboardController.h"
#include "devices/StandardController.h"

namespace trivale {

CDXInput::CDXInput(plat::Window* window) : CDXInput(window, &plat::InputSystem::Create) {}

CDXInput::CDXInput(plat::Window* window, SystemFactory factory) : window_(window), factory_(factory) {}

CDXInput::~CDXInput() {
    Finalize();
    controllers_.clear();
}

bool CDXInput::Initialize() {
    std::string error;
    system_ = factory_ ? factory_(&error) : nullptr;
    if (!system_) {
        // The system's own reason, when it gave one, stands in the place of the result's description.
        const plat::InputResult failed = plat::InputResult::Failed;
        LogDirectXError(static_cast<unsigned>(failed), plat::InputResultName(failed),
                        error.empty() ? plat::InputResultDescription(failed) : error.c_str(), __FILE__, __LINE__);
        Finalize();
        LogError("CDXInput: DirectInput8Create() 失敗\n");
        return false;
    }
    controllers_.push_back(std::shared_ptr<IController>(new CMappedKeyboardController(*system_, window_)));

    std::vector<plat::GameControllerInfo> found;
    plat::InputResult r = system_->EnumGameControllers(&found);
    if (plat::Failed(r)) {
        Finalize();
        LogInputError(r, __FILE__, __LINE__);
        LogError("CDXInput: ゲームコントローラの列挙に失敗しました.\n");
        return false;
    }
    for (const plat::GameControllerInfo& info : found) {
        LogInfoString("Detected game controller #" + IntToString(static_cast<int>(controllers_.size())) + ": " +
                      info.name);
        controllers_.push_back(std::shared_ptr<IController>(new CMappedJoystickController(*system_, info.id, window_)));
    }
    LogInfoString("DirectInput ready.");
    return true;
}

void CDXInput::Finalize() {
    controllers_.clear();
    system_.reset();
    LogInfoString("DirectInput finalized.");
}

IController* CDXInput::GetController(unsigned index) const {
    if (index >= controllers_.size()) throw std::out_of_range("invalid vector<T> subscript");
    return controllers_[index].get();
}

}  // namespace trivale
