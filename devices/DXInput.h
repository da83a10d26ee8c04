// The input device: opens the input system and lists the program's controllers, the keyboard first,
// then one for every game controller attached at start-up.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Object.h"
#include "devices/Controller.h"
#include "platform/Input.h"

namespace trivale {

class CDXInput : public virtual CNonCopyable {
public:
    typedef std::function<std::unique_ptr<plat::InputSystem>(std::string* error)> SystemFactory;

    // Every controller is bound to the window (its focus decides whether they read).
    explicit CDXInput(plat::Window* window);
    // With an input system of the caller's making (tests).
    CDXInput(plat::Window* window, SystemFactory factory);
    ~CDXInput() override;

    // False (logged) when the input system cannot start or list its controllers; a controller that
    // cannot be set up throws.
    virtual bool Initialize();
    // Drops the controllers and the input system; may be called more than once.
    virtual void Finalize();
    virtual plat::InputSystem* GetDirectInput() const { return system_.get(); }
    virtual unsigned GetControllerCount() const { return static_cast<unsigned>(controllers_.size()); }
    // Still owned by the list; std::out_of_range at or beyond the count.
    virtual IController* GetController(unsigned index) const;

private:
    plat::Window* window_;
    SystemFactory factory_;
    std::unique_ptr<plat::InputSystem> system_;
    std::vector<std::shared_ptr<IController>> controllers_;
};

}  // namespace trivale
