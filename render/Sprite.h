// One cell of a texture drawn through the sprite batch. The texture is cut into equal cells,
// numbered row by row inside a source rectangle: one sprite serves a font or a sheet of pictures.
#pragma once

#include "core/Object.h"
#include "gfxkit/Math3D.h"
#include "platform/Rect.h"
#include "render/DXSprite.h"
#include "render/Texture.h"

namespace trivale {
namespace type_a {

class CSprite : public virtual CNonCopyable {
public:
    CSprite() {}
    ~CSprite() override {}

    // Neither is owned. The cell and the source rectangle become the whole picture (its file size).
    virtual void SetTexture(CDXSprite* batch, CTexture* texture);
    virtual CDXSprite* GetSpriteBatch();
    virtual void SetSize(int width, int height);
    virtual int GetWidth();
    virtual int GetHeight();
    // The point of the cell put on the drawing position, and about which it is scaled.
    virtual void SetCenter(float x, float y);
    virtual void SetSourceRect(const plat::Rect& rect);
    // Cells past the last row are not refused: they lie below the source rectangle. EInvalidParameter
    // when the source rectangle is narrower than one cell.
    plat::Rect GetCellRect(int index);
    // These add to the batch the caller has begun; without a texture, or for a cell that does not lie
    // wholly inside the texture (a glyph set or picture index beyond the sheet), they draw nothing.
    virtual void Draw(int cell, float x, float y, float z, std::uint32_t colour);
    // Scaled about the centre point, which lands on (x, y, z).
    virtual void DrawScaled(int cell, float x, float y, float z, float scaleX, float scaleY, std::uint32_t colour);
    // The centre point goes to the origin, then the matrix applies (null: identity).
    virtual void DrawTransformed(int cell, const plat::Matrix* matrix, std::uint32_t colour);

    // What the Draw functions queue for `cell`: the batch, the texture and the cell's rectangle; a null
    // batch when they would draw nothing. For callers that queue many cells with transforms of their own.
    plat::SpriteBatch* CellTarget(int cell, plat::ITexture*& texture, plat::Rect& rect);
    const plat::Vector3& GetCenter() const { return centre_; }

private:
    // The batch and texture to draw with, or null when there is nothing to draw.
    plat::SpriteBatch* Target();
    // The cell's rectangle, and whether it lies wholly inside the texture's first level.
    bool CellInside(int cell, plat::Rect& rect);

    CDXSprite* batch_ = nullptr;
    CTexture* texture_ = nullptr;
    int cellWidth_ = 1;
    int cellHeight_ = 1;
    plat::Vector3 centre_;
    plat::Rect sourceRect_;
};

}  // namespace type_a
}  // namespace trivale
