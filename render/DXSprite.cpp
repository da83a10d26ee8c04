#include "render/DXSprite.h"

#include "devices/DXGraphics.h"
#include "devices/GameApplicationDriverDX9.h"
#include "render/RenderDevice.h"

namespace trivale {
namespace type_a {

CDXSprite::CDXSprite() {
    const plat::GraphicsResult result = plat::SpriteBatch::Create(&CurrentDevice(), sprite_);
    if (plat::Failed(result) || !sprite_) {
        TV_LOG_GRAPHICS_ERROR(result);
        throw EIOError(this, "D3DXCreateSprite() に失敗しました.");
    }
    CurrentGraphics().AddListener(this);
}

CDXSprite::~CDXSprite() {
    CGameApplicationDriverDX9* driver = GetApplicationDriver();
    if (driver != nullptr && driver->GetGraphics() != nullptr) driver->GetGraphics()->RemoveListener(this);
}

void CDXSprite::OnDeviceLost() { sprite_->OnLostDevice(); }

void CDXSprite::OnDeviceReset() { sprite_->OnResetDevice(); }

plat::SpriteBatch* CDXSprite::GetD3DXSprite() { return sprite_.get(); }

void CDXSprite::Begin(std::uint32_t flags) {
    const plat::GraphicsResult result = sprite_->Begin(static_cast<plat::SpriteFlag>(flags));
    if (plat::Failed(result)) TV_LOG_GRAPHICS_ERROR(result);
}

void CDXSprite::End() {
    const plat::GraphicsResult result = sprite_->End();
    if (plat::Failed(result)) TV_LOG_GRAPHICS_ERROR(result);
}

}  // namespace type_a
}  // namespace trivale
