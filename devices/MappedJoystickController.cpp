#include "devices/MappedJoystickController.h"

#include <vector>

#include "core/Exception.h"
#include "core/Text.h"

namespace trivale {

namespace {

const int kDeadZone = 30;

}  // namespace

CMappedJoystickController::CMappedJoystickController(plat::InputSystem& input, int id, plat::Window* window) {
    plat::InputResult r = plat::InputResult::Ok;
    device_ = input.CreateJoystick(id, &r);
    if (!device_) {
        LogInputError(r, __FILE__, __LINE__);
        throw EIOError(this, "DirectInputデバイスの作成に失敗しました.");
    }
    r = device_->SetCooperativeLevel(window, plat::kInputExclusive | plat::kInputForeground);
    if (plat::Failed(r)) {
        LogInputError(r, __FILE__, __LINE__);
        throw EIOError(this, "DirectInputデバイスの協調レベルの設定に失敗しました.");
    }
    r = device_->SetDataFormat();
    if (plat::Failed(r)) {
        LogInputError(r, __FILE__, __LINE__);
        throw EIOError(this, "DirectInputデバイスのデータフォーマットの設定に失敗しました.");
    }
    r = device_->SetAxisModeAbsolute();
    if (plat::Failed(r)) {
        LogInputError(r, __FILE__, __LINE__);
        throw EIOError(this, "DirectInputデバイスの軸モードの設定に失敗しました.");
    }
    std::vector<int> axes;
    r = device_->EnumAxes(&axes);
    if (plat::Failed(r)) {
        LogInputError(r, __FILE__, __LINE__);
        throw EIOError(this, "DirectInputデバイスの軸列挙に失敗しました.");
    }
    for (int axis : axes) {
        r = device_->SetAxisRange(axis, -100, 100);
        if (plat::Failed(r)) {
            LogInputError(r, __FILE__, __LINE__);
            throw EIOError(this, "DirectInputデバイスの軸範囲の設定に失敗しました.");
        }
    }
    device_->Acquire();  // may fail without the focus; Update acquires again
}

CMappedJoystickController::~CMappedJoystickController() {}

void CMappedJoystickController::Update() {
    plat::InputResult r = device_->Poll();
    if (plat::Failed(r)) {
        r = device_->Acquire();
        if (r == plat::InputResult::Ok) {
            r = device_->Poll();
        } else if (r == plat::InputResult::AccessDenied) {
            return;  // another window has the focus: the buttons keep their state
        } else {
            NoteReadFailure(r, __FILE__, __LINE__);
        }
    }
    if (r == plat::InputResult::Ok) NoteReadSuccess();
    device_->GetDeviceState(&state_);  // a failed read keeps the previous state
    Recompute([this](int code) { return IsHeld(code); });
}

bool CMappedJoystickController::IsHeld(int code) const {
    if (code >= 0 && code < 32) return (state_.buttons[code] & 0x80) != 0;
    switch (code) {
    case kInputAxisXNegative:
        return state_.x < -kDeadZone;
    case kInputAxisXPositive:
        return state_.x > kDeadZone;
    case kInputAxisYNegative:
        return state_.y < -kDeadZone;
    case kInputAxisYPositive:
        return state_.y > kDeadZone;
    default:
        return false;
    }
}

bool CMappedJoystickController::Capture(const std::string& name, unsigned index) {
    CheckIndex("Capture", index);
    for (int code = 0; code < 32; ++code) {
        if (IsHeld(code)) {
            SetAssignment(name, index, code);
            return true;
        }
    }
    for (int code : {kInputAxisXNegative, kInputAxisXPositive, kInputAxisYNegative, kInputAxisYPositive}) {
        if (IsHeld(code)) {
            SetAssignment(name, index, code);
            return true;
        }
    }
    return false;
}

std::string CMappedJoystickController::GetAssignmentName(const std::string& name, unsigned index) {
    CheckIndex("GetAssignmentName", index);
    const int code = GetAssignment(name, index);
    if (code >= 0 && code <= 255) return FormatString("BUTTON:%d", code + 1);
    switch (code) {
    case kInputAxisXNegative:
        return "X AXIS -";
    case kInputAxisXPositive:
        return "X AXIS +";
    case kInputAxisYNegative:
        return "Y AXIS -";
    case kInputAxisYPositive:
        return "Y AXIS +";
    default:
        return "NONE";
    }
}

}  // namespace trivale
