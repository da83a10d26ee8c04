#pragma once
// Stands in for the graphics helper library's sprite batch: textured quads queued between Begin and
// End and drawn at End, one draw call per run of one texture. Works only through IGraphicsDevice, so
// it draws over GL and over the recording fake alike. Begin saves every device state the batch
// changes (read from the device's own copy, never from the driver) and End puts it back.
//
// Screen space (the default): quads in back-buffer pixels, y down, the sprite's z as depth 0..1.
// Object space: quads in the space of the world matrix given by SetWorldViewLH, seen through its view
// matrix and the device's projection. Billboards turn each quad about its middle to face the viewer.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Graphics.h"

namespace plat {

// Begin flags, valued as the runtime values them.
enum class SpriteFlag : uint32_t {
    None = 0,
    DoNotSaveState = 0x01,          // states are set but not saved, and not restored at End
    DoNotModifyRenderState = 0x02,  // render, stage and sampler states are left as they are
    ObjectSpace = 0x04,
    Billboard = 0x08,
    AlphaBlend = 0x10,   // blend by the texel alpha, skip texels of alpha 0
    SortTexture = 0x20,  // group sprites by texture (fewest draw calls)
    SortDepthFrontToBack = 0x40,
    SortDepthBackToFront = 0x80,
};
constexpr SpriteFlag operator|(SpriteFlag a, SpriteFlag b) {
    return static_cast<SpriteFlag>(static_cast<uint32_t>(a) | static_cast<uint32_t>(b));
}
constexpr bool HasFlag(SpriteFlag flags, SpriteFlag flag) {
    return (static_cast<uint32_t>(flags) & static_cast<uint32_t>(flag)) != 0;
}

// A picture's texture and source rectangle, with the texture coordinates worked out once for many
// draws. Made by SpriteBatch::PrepareSource.
struct SpriteSource {
    ITexture* texture = nullptr;
    float width = 0, height = 0;  // of the rectangle, in texels
    float uv[4] = {};             // left, top, right, bottom
};

// One sprite of SpriteBatch::DrawSources: which of the sources it shows and the last row of its
// transform.
struct PlacedSprite {
    uint32_t source;
    Vector3 translation;
};

class SpriteBatch {
public:
    // kInvalidCall for a null device. The device must outlive the batch.
    static GraphicsResult Create(IGraphicsDevice* device, std::unique_ptr<SpriteBatch>& batch);
    ~SpriteBatch();
    SpriteBatch(const SpriteBatch&) = delete;
    SpriteBatch& operator=(const SpriteBatch&) = delete;

    // kInvalidCall when already begun or when the flags are not the runtime's.
    GraphicsResult Begin(SpriteFlag flags);
    // Queues one quad: the source rectangle (null: the whole texture) in texels, its `centre` point
    // (null: its top-left corner) put on `position` (null: the origin), then the sprite transform.
    // The colour (0xAARRGGBB) modulates the texels. kInvalidCall outside Begin/End or without texture.
    GraphicsResult Draw(ITexture* texture, const Rect* source, const Vector3* centre, const Vector3* position,
                        uint32_t colour);
    // What Draw works out of the texture and the source rectangle (null: the whole texture) once,
    // for DrawSource. kInvalidCall without texture or for one without size.
    static GraphicsResult PrepareSource(ITexture* texture, const Rect* source, SpriteSource& prepared);
    // As Draw without centre or position, the source prepared and `transform` the sprite transform
    // (the one SetTransform sets is left as it is).
    GraphicsResult DrawSource(const SpriteSource& source, const Matrix& transform, uint32_t colour);
    // DrawSource for each sprite, with `upper` as its transform but for the last row, which is the
    // sprite's translation; for many sprites that differ only in place and picture. kInvalidCall for
    // a sprite of no source (the others are queued).
    GraphicsResult DrawSources(const SpriteSource* sources, size_t sourceCount, const Matrix& upper,
                               const PlacedSprite* sprites, size_t count, uint32_t colour);
    // Draws what is queued and restores the saved states.
    GraphicsResult End();

    // Applies to the sprites queued after it.
    void SetTransform(const Matrix& transform) { transform_ = transform; }
    const Matrix& GetTransform() const { return transform_; }
    // For object space; null stands for identity. Applies to the sprites queued after it.
    void SetWorldViewLH(const Matrix* world, const Matrix* view);

    // The device is being lost: queued sprites are dropped and an open batch is closed without
    // touching the device. The batch holds no driver resources, so a reset needs nothing more.
    void OnLostDevice();
    void OnResetDevice() {}

    IGraphicsDevice* GetDevice() const { return device_; }
    // The vertices the last End handed the device, every quad in drawing order; `bytes` their size.
    const uint8_t* GetDrawnVertices(size_t& bytes) const {
        bytes = drawnBytes_;
        return drawn_;
    }

private:
    explicit SpriteBatch(IGraphicsDevice* device);
    // What DrawSources works out once for each source: the middle's place before the translation,
    // a corner's x and y offsets from the anchor (as the two terms added to it), the texture
    // coordinates.
    struct Kind {
        Vector3 middle;
        float offset[4][4];
        float uv[4];
    };
    // A queued quad's texture and the key it is sorted by: the depth of its middle (view-space z, or z
    // on the screen) as bits that order as the batch's depth sort does. Its vertices are staged as
    // they will be drawn, or, for a billboard of DrawSources, written at End from its kind, its
    // middle in view space and its colour.
    struct Quad {
        ITexture* texture;
        uint32_t key;
        uint32_t kind;  // 0, or 1 + the billboard's kind
        Vector3 anchor;
        uint32_t colour;
    };
    void SaveStates();
    void RestoreStates();
    void SetSpriteStates();
    GraphicsResult Queue(const SpriteSource& source, float x0, float y0, float z, const Matrix& transform,
                         uint32_t colour);
    bool Reserve(size_t more);  // room for that many more quads; false when out of memory
    GraphicsResult DrawQueue();
    void SortByDepth(size_t n);  // the first n quads, into order_
    // The first n quads, in order_ when sorted, to vertices_: staged ones copied, billboards written.
    template <size_t kQuadBytes>
    void WriteQuads(size_t n, bool sorted);
    void ForgetQueue();

    IGraphicsDevice* device_;
    bool begun_ = false;
    SpriteFlag flags_ = SpriteFlag::None;
    Matrix transform_, worldView_;
    // The queue: quads_[0, queued_) and their vertices, quadBytes_ a quad, in staged_; both only grow,
    // so no frame pays for allocating and clearing them again.
    std::vector<Quad> quads_;
    std::vector<uint8_t> staged_;
    size_t queued_ = 0, quadBytes_ = 0;
    bool backToFront_ = false;
    std::vector<uint32_t> order_;           // of drawing, when sorted
    std::vector<uint64_t> keys_, scratch_;  // for the depth sort
    std::vector<Kind> kinds_;
    bool billboards_ = false;        // queued by DrawSources
    std::vector<uint8_t> vertices_;  // the vertices drawn when sorted or with billboards
    const uint8_t* drawn_ = nullptr;
    size_t drawnBytes_ = 0;
    std::vector<uint16_t> indices_;  // six a quad, for the largest run one call draws
    struct Saved;
    std::unique_ptr<Saved> saved_;
};

// Stands in for the helper library's sphere mesh: a UV sphere about the origin, `slices` around the
// vertical axis and `stacks` from pole to pole, with positions and outward normals, drawn as one
// indexed triangle list (front faces clockwise, as the device culls by default).
class SphereMesh {
public:
    // kInvalidCall for a null device, a negative radius, fewer than 2 slices or stacks, or more
    // vertices than 16-bit indices reach; otherwise what buffer creation answers.
    static GraphicsResult Create(IGraphicsDevice* device, float radius, uint32_t slices, uint32_t stacks,
                                 std::unique_ptr<SphereMesh>& mesh);
    // Subset 0 is the whole sphere; others draw nothing. Sets the vertex format, stream and indices.
    GraphicsResult DrawSubset(uint32_t subset);
    uint32_t GetVertexCount() const { return vertexCount_; }
    uint32_t GetFaceCount() const { return faceCount_; }
    IVertexBuffer* GetVertexBuffer() const { return vertices_.get(); }
    IIndexBuffer* GetIndexBuffer() const { return indices_.get(); }
    static const uint32_t kFvf = kFvfXyz | kFvfNormal;

private:
    SphereMesh() {}
    IGraphicsDevice* device_ = nullptr;
    uint32_t vertexCount_ = 0, faceCount_ = 0;
    std::unique_ptr<IVertexBuffer> vertices_;
    std::unique_ptr<IIndexBuffer> indices_;
};

}  // namespace plat
