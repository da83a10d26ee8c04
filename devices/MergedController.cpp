#include "devices/MergedController.h"

#include "core/Exception.h"

namespace trivale {

void CMergedController::Update() {
    for (IController* child : children_) child->Update();
}

bool CMergedController::IsPressed(const std::string& name) {
    for (IController* child : children_) {
        if (child->IsPressed(name)) return true;
    }
    return false;
}

bool CMergedController::IsPushed(const std::string& name) {
    for (IController* child : children_) {
        if (child->IsPushed(name)) return true;
    }
    return false;
}

void CMergedController::Reset() {
    for (IController* child : children_) child->Reset();
}

void CMergedController::Unsupported() { throw EInvalidOperation(this, "サポートされていないメソッド呼び出しです."); }

void CMergedController::DefineButton(const std::string&, const std::string&) { Unsupported(); }
std::string CMergedController::GetLabel(const std::string&) { Unsupported(); }
bool CMergedController::Capture(const std::string&, unsigned) { Unsupported(); }
void CMergedController::SetAssignment(const std::string&, unsigned, int) { Unsupported(); }
int CMergedController::GetAssignment(const std::string&, unsigned) { Unsupported(); }
std::string CMergedController::GetAssignmentName(const std::string&, unsigned) { Unsupported(); }

void CMergedController::AddController(IController* controller) {
    if (controller != nullptr) children_.push_back(controller);
}

}  // namespace trivale
