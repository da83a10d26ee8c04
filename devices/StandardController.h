// The button table shared by the device controllers: any name asked about becomes a button.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "core/Object.h"
#include "devices/Controller.h"
#include "platform/Input.h"

namespace trivale {

// "DirectX Error: <name>(0x<code>): <description>" at the given place, for an input device result.
void LogInputError(plat::InputResult result, const char* sourceFile, int line);

class CStandardController : public IController, public virtual CNonCopyable {
public:
    bool IsPressed(const std::string& name) override;
    bool IsPushed(const std::string& name) override;
    void Reset() override;
    void DefineButton(const std::string& name, const std::string& label) override;
    std::string GetLabel(const std::string& name) override;
    void SetAssignment(const std::string& name, unsigned index, int code) override;
    int GetAssignment(const std::string& name, unsigned index) override;

protected:
    struct Button {
        std::string label;
        int assignment[2] = {kInputNone, kInputNone};
        bool pressed = false;
        bool pushed = false;
    };

    Button& Lookup(const std::string& name);
    // Refuses an assignment index outside the two slots.
    void CheckIndex(const char* operation, unsigned index) const;
    // Recomputes every button in name order: held when either assignment is held; a change of the
    // held state sets the push flag to the new state.
    void Recompute(const std::function<bool(int code)>& held);

    // A device read that keeps failing is logged once when it starts failing (or fails differently)
    // and once when it works again, not at every frame.
    void NoteReadFailure(plat::InputResult result, const char* sourceFile, int line);
    void NoteReadSuccess();

private:
    plat::InputResult lastFailure_ = plat::InputResult::Ok;
    std::map<std::string, Button> buttons_;
};

}  // namespace trivale
