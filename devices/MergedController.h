// One question over several controllers: a button is held or pushed when the first child that says so
// does. Buttons are defined and assigned on the children, never here.
#pragma once

#include <string>
#include <vector>

#include "core/Object.h"
#include "devices/Controller.h"

namespace trivale {

class CMergedController : public IController, public virtual CNonCopyable {
public:
    CMergedController() {}
    ~CMergedController() override {}

    ControllerType GetType() override { return ControllerType::Merged; }
    void Update() override;
    // The children are asked in order until one answers true; later children keep their push.
    bool IsPressed(const std::string& name) override;
    bool IsPushed(const std::string& name) override;
    void Reset() override;
    // Not supported: each throws EInvalidOperation.
    void DefineButton(const std::string& name, const std::string& label) override;
    std::string GetLabel(const std::string& name) override;
    bool Capture(const std::string& name, unsigned index) override;
    void SetAssignment(const std::string& name, unsigned index, int code) override;
    int GetAssignment(const std::string& name, unsigned index) override;
    std::string GetAssignmentName(const std::string& name, unsigned index) override;

    // Not owned; the same child may be added twice.
    virtual void AddController(IController* controller);

private:
    [[noreturn]] void Unsupported();

    std::vector<IController*> children_;
};

}  // namespace trivale
