// The sprite batch every picture, text and billboard is drawn through. It listens to the graphics
// device for its whole life so that a device loss never leaves a batch open across the reset.
#pragma once

#include <cstdint>
#include <memory>

#include "core/Object.h"
#include "devices/DXGraphics.h"
#include "gfxkit/SpriteBatch.h"

namespace trivale {
namespace type_a {

class CDXSprite : public virtual CNonCopyable, public CStandardDXGraphicsEventListener {
public:
    // On the driver's device; EIOError when the batch cannot be made (nothing is registered then).
    CDXSprite();
    ~CDXSprite() override;

    void OnDeviceLost() override;
    void OnDeviceReset() override;

    virtual plat::SpriteBatch* GetD3DXSprite();
    // Flags as the batch takes them: 0x10 blends screen pictures and text, 0x5c draws world-space
    // billboards sorted front to back.
    virtual void Begin(std::uint32_t flags);
    virtual void End();

private:
    std::unique_ptr<plat::SpriteBatch> sprite_;
};

}  // namespace type_a
}  // namespace trivale
