#include "devices/StandardController.h"

#include "core/Exception.h"
#include "core/Log.h"
#include "core/Text.h"

namespace trivale {

CStandardController::Button& CStandardController::Lookup(const std::string& name) { return buttons_[name]; }

void CStandardController::CheckIndex(const char* operation, unsigned index) const {
    if (index > 1) {
        throw EInvalidParameter(this, FormatString("%s(%u): パラメータの範囲が不正です.", operation, index));
    }
}

bool CStandardController::IsPressed(const std::string& name) { return Lookup(name).pressed; }

bool CStandardController::IsPushed(const std::string& name) {
    Button& button = Lookup(name);
    const bool pushed = button.pushed;
    button.pushed = false;
    return pushed;
}

void CStandardController::Reset() {
    for (auto& entry : buttons_) {
        entry.second.pressed = true;
        entry.second.pushed = false;
    }
}

void CStandardController::DefineButton(const std::string& name, const std::string& label) {
    Button button;
    button.label = label;
    buttons_[name] = button;
}

std::string CStandardController::GetLabel(const std::string& name) { return Lookup(name).label; }

void CStandardController::SetAssignment(const std::string& name, unsigned index, int code) {
    CheckIndex("SetAssignment", index);
    Lookup(name).assignment[index] = code;
}

int CStandardController::GetAssignment(const std::string& name, unsigned index) {
    CheckIndex("GetAssignment", index);
    return Lookup(name).assignment[index];
}

void CStandardController::Recompute(const std::function<bool(int code)>& held) {
    for (auto& entry : buttons_) {
        Button& button = entry.second;
        const bool old = button.pressed;
        button.pressed = false;
        for (int code : button.assignment) {
            if (held(code)) button.pressed = true;
        }
        if (button.pressed != old) button.pushed = button.pressed;
    }
}

void LogInputError(plat::InputResult result, const char* sourceFile, int line) {
    LogDirectXError(static_cast<unsigned>(result), plat::InputResultName(result), plat::InputResultDescription(result),
                    sourceFile, line);
}

void CStandardController::NoteReadFailure(plat::InputResult result, const char* sourceFile, int line) {
    if (result == lastFailure_) return;
    lastFailure_ = result;
    LogInputError(result, sourceFile, line);
}

void CStandardController::NoteReadSuccess() {
    if (lastFailure_ == plat::InputResult::Ok) return;
    lastFailure_ = plat::InputResult::Ok;
    LogInfoString(GetClassName(*this) + ": input device readable again.");
}

}  // namespace trivale
