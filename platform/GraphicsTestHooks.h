#pragma once
// Test-only controls of a graphics device, kept off the production interface. Both the GL device and
// the recording fake offer them; tests reach them through TestHooksOf.

#include "platform/Graphics.h"

namespace plat {

class IGraphicsTestHooks {
public:
    virtual ~IGraphicsTestHooks() {}
    // Behave as if the device had been lost; `resettable` says whether a Reset may succeed at once
    // (kDeviceNotReset) or only after a later call with true (kDeviceLost). Like a real loss, the
    // driver's copies of textures and buffers are dropped; they come back from the device's own copies.
    virtual void SimulateDeviceLoss(bool resettable) = 0;
    // Keeps the back buffer off screen even where the window's framebuffer would do (from the next
    // reset on); DrawsDirect tells which one drawing goes to.
    virtual void ForceOffScreenBackBuffer(bool force) = 0;
    virtual bool DrawsDirect() const = 0;
};

// The hooks of a device made by this layer; null for anything else.
inline IGraphicsTestHooks* TestHooksOf(IGraphicsDevice* device) { return dynamic_cast<IGraphicsTestHooks*>(device); }

}  // namespace plat
