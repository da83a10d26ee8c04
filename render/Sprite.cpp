#include "render/Sprite.h"

#include <cstdint>

#include "core/Exception.h"
#include "core/Text.h"

namespace trivale {
namespace type_a {

void CSprite::SetTexture(CDXSprite* batch, CTexture* texture) {
    batch_ = batch;
    texture_ = texture;
    if (texture != nullptr) {
        cellWidth_ = texture->GetWidth();
        cellHeight_ = texture->GetHeight();
        sourceRect_ = plat::MakeRect(0, 0, cellWidth_, cellHeight_);
    }
}

CDXSprite* CSprite::GetSpriteBatch() { return batch_; }

void CSprite::SetSize(int width, int height) {
    cellWidth_ = width;
    cellHeight_ = height;
}

int CSprite::GetWidth() { return cellWidth_; }

int CSprite::GetHeight() { return cellHeight_; }

void CSprite::SetCenter(float x, float y) { centre_ = plat::MakeVector3(x, y, 0.0f); }

void CSprite::SetSourceRect(const plat::Rect& rect) { sourceRect_ = rect; }

plat::Rect CSprite::GetCellRect(int index) {
    const std::int64_t width = static_cast<std::int64_t>(sourceRect_.right) - sourceRect_.left;
    const std::int64_t columns = cellWidth_ > 0 ? width / cellWidth_ : 0;
    if (columns <= 0) {
        throw EInvalidParameter(this, FormatString("GetCellRect(): 転送元の幅 %lld がセルの幅 %d より狭いです.",
                                                   static_cast<long long>(width), cellWidth_));
    }
    // 64-bit so that a far cell index cannot overflow; edges beyond 32 bits are cut to them.
    const std::int64_t left = (index % columns) * cellWidth_ + sourceRect_.left;
    const std::int64_t top = (index / columns) * cellHeight_ + sourceRect_.top;
    return plat::MakeRect(static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
                          static_cast<std::int32_t>(left + cellWidth_), static_cast<std::int32_t>(top + cellHeight_));
}

plat::SpriteBatch* CSprite::Target() {
    if (batch_ == nullptr || texture_ == nullptr || texture_->GetTexture() == nullptr) return nullptr;
    return batch_->GetD3DXSprite();
}

bool CSprite::CellInside(int cell, plat::Rect& rect) {
    rect = GetCellRect(cell);
    plat::LevelDesc desc;
    if (plat::Failed(texture_->GetTexture()->GetLevelDesc(0, desc))) return false;
    return rect.left >= 0 && rect.top >= 0 && rect.left < rect.right && rect.top < rect.bottom &&
           static_cast<std::int64_t>(rect.right) <= desc.width && static_cast<std::int64_t>(rect.bottom) <= desc.height;
}

plat::SpriteBatch* CSprite::CellTarget(int cell, plat::ITexture*& texture, plat::Rect& rect) {
    plat::SpriteBatch* batch = Target();
    if (batch == nullptr || !CellInside(cell, rect)) return nullptr;
    texture = texture_->GetTexture();
    return batch;
}

void CSprite::Draw(int cell, float x, float y, float z, std::uint32_t colour) {
    plat::SpriteBatch* batch = Target();
    plat::Rect rect;
    if (batch == nullptr || !CellInside(cell, rect)) return;
    const plat::Vector3 position = plat::MakeVector3(x, y, z);
    batch->SetTransform(plat::MatrixIdentity());
    batch->Draw(texture_->GetTexture(), &rect, &centre_, &position, colour);
}

void CSprite::DrawScaled(int cell, float x, float y, float z, float scaleX, float scaleY, std::uint32_t colour) {
    plat::SpriteBatch* batch = Target();
    plat::Rect rect;
    if (batch == nullptr || !CellInside(cell, rect)) return;
    const plat::Matrix m =
        plat::MatrixMultiply(plat::MatrixMultiply(plat::MatrixTranslation(-centre_.x, -centre_.y, -centre_.z),
                                                  plat::MatrixScaling(scaleX, scaleY, 1.0f)),
                             plat::MatrixTranslation(x, y, z));
    batch->SetTransform(m);
    batch->Draw(texture_->GetTexture(), &rect, nullptr, nullptr, colour);
}

void CSprite::DrawTransformed(int cell, const plat::Matrix* matrix, std::uint32_t colour) {
    plat::SpriteBatch* batch = Target();
    plat::Rect rect;
    if (batch == nullptr || !CellInside(cell, rect)) return;
    const plat::Matrix m = plat::MatrixMultiply(plat::MatrixTranslation(-centre_.x, -centre_.y, -centre_.z),
                                                matrix != nullptr ? *matrix : plat::MatrixIdentity());
    batch->SetTransform(m);
    batch->Draw(texture_->GetTexture(), &rect, nullptr, nullptr, colour);
}

}  // namespace type_a
}  // namespace trivale
