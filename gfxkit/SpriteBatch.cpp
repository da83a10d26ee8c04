#include "gfxkit/SpriteBatch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>
#include <unordered_map>
#include <utility>

namespace plat {

namespace {

// What Begin may change, saved and restored as one list.
const RenderState kRenderStates[] = {RenderState::AlphaBlendEnable, RenderState::SrcBlend,  RenderState::DestBlend,
                                     RenderState::AlphaTestEnable,  RenderState::AlphaFunc, RenderState::AlphaRef,
                                     RenderState::CullMode,         RenderState::Lighting,  RenderState::FogEnable,
                                     RenderState::SpecularEnable};
const StageState kStage0States[] = {
    StageState::ColourOp,  StageState::ColourArg1, StageState::ColourArg2,    StageState::AlphaOp,
    StageState::AlphaArg1, StageState::AlphaArg2,  StageState::TexCoordIndex, StageState::TextureTransformFlags};
const StageState kStage1States[] = {StageState::ColourOp, StageState::AlphaOp};
const SamplerState kSamplerStates[] = {SamplerState::AddressU, SamplerState::AddressV, SamplerState::MagFilter,
                                       SamplerState::MinFilter, SamplerState::MipFilter};
const size_t kRenderCount = sizeof kRenderStates / sizeof kRenderStates[0];
const size_t kStage0Count = sizeof kStage0States / sizeof kStage0States[0];
const size_t kStage1Count = sizeof kStage1States / sizeof kStage1States[0];
const size_t kSamplerCount = sizeof kSamplerStates / sizeof kSamplerStates[0];

const uint32_t kAllFlags = 0xFF;
const uint32_t kMaxRun = 65536 / 4;  // quads one call draws with 16-bit indices

struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};
struct SpaceVertex {
    float x, y, z;
    uint32_t colour;
    float u, v;
};
template <class Vertex>
constexpr bool kScreenVertex = std::is_same_v<Vertex, ScreenVertex>;
const uint32_t kScreenFvf = kFvfXyzRhw | kFvfDiffuse | kFvfTex1;
const uint32_t kSpaceFvf = kFvfXyz | kFvfDiffuse | kFvfTex1;

// (x, y, z, 1) x m for the affine matrices sprites are placed with.
Vector3 Affine(float x, float y, float z, const Matrix& m) {
    return Vector3{x * m.m[0][0] + y * m.m[1][0] + z * m.m[2][0] + m.m[3][0],
                   x * m.m[0][1] + y * m.m[1][1] + z * m.m[2][1] + m.m[3][1],
                   x * m.m[0][2] + y * m.m[1][2] + z * m.m[2][2] + m.m[3][2]};
}

// Writes a quad's four vertices field by field straight into the buffer (every byte of them: the
// vertex types have no padding).
void PutWord(uint8_t*& out, float value) {
    std::memcpy(out, &value, 4);
    out += 4;
}
void PutWord(uint8_t*& out, uint32_t value) {
    std::memcpy(out, &value, 4);
    out += 4;
}
template <class Vertex>
void PutQuad(uint8_t* out, const Vector3 (&corner)[4], const float (&uv)[4], uint32_t colour) {
    static_assert(sizeof(Vertex) == (kScreenVertex<Vertex> ? 28 : 24), "vertices have no padding");
    for (int k = 0; k < 4; ++k) {
        PutWord(out, corner[k].x);
        PutWord(out, corner[k].y);
        PutWord(out, corner[k].z);
        if (kScreenVertex<Vertex>) PutWord(out, 1.0f);  // rhw
        PutWord(out, colour);
        PutWord(out, uv[(k & 1) ? 2 : 0]);
        PutWord(out, uv[(k & 2) ? 3 : 1]);
    }
}

// The depth's bits made to order as the floats do, -0 the same as +0, for the depth sort.
uint32_t SortKey(float depth, bool backToFront) {
    const float zeroed = depth + 0.0f;
    uint32_t key;
    std::memcpy(&key, &zeroed, sizeof key);
    key = (key & 0x80000000u) ? ~key : key | 0x80000000u;
    return backToFront ? ~key : key;
}

}  // namespace

struct SpriteBatch::Saved {
    uint32_t render[kRenderCount];
    uint32_t stage0[kStage0Count];
    uint32_t stage1[kStage1Count];
    uint32_t sampler[kSamplerCount];
    ITexture* texture = nullptr;
    uint32_t fvf = 0;
    Matrix world, view;
};

GraphicsResult SpriteBatch::Create(IGraphicsDevice* device, std::unique_ptr<SpriteBatch>& batch) {
    batch.reset();
    if (device == nullptr) return gfx::kInvalidCall;
    try {
        batch.reset(new SpriteBatch(device));
    } catch (const std::bad_alloc&) {
        return gfx::kOutOfMemory;
    }
    return gfx::kOk;
}

SpriteBatch::SpriteBatch(IGraphicsDevice* device)
    : device_(device), transform_(MatrixIdentity()), worldView_(MatrixIdentity()), saved_(new Saved) {
    indices_.resize(kMaxRun * 6);
    for (uint32_t q = 0; q < kMaxRun; ++q) {
        const uint16_t v = static_cast<uint16_t>(q * 4);
        const uint16_t quad[6] = {v,
                                  static_cast<uint16_t>(v + 1),
                                  static_cast<uint16_t>(v + 2),
                                  static_cast<uint16_t>(v + 2),
                                  static_cast<uint16_t>(v + 1),
                                  static_cast<uint16_t>(v + 3)};
        std::copy(quad, quad + 6, &indices_[q * 6]);
    }
}

SpriteBatch::~SpriteBatch() {}

void SpriteBatch::SetWorldViewLH(const Matrix* world, const Matrix* view) {
    worldView_ = MatrixMultiply(world ? *world : MatrixIdentity(), view ? *view : MatrixIdentity());
}

GraphicsResult SpriteBatch::Begin(SpriteFlag flags) {
    if (begun_ || (static_cast<uint32_t>(flags) & ~kAllFlags) != 0) return gfx::kInvalidCall;
    flags_ = flags;
    if (!HasFlag(flags, SpriteFlag::DoNotSaveState)) SaveStates();
    if (!HasFlag(flags, SpriteFlag::DoNotModifyRenderState)) SetSpriteStates();
    ForgetQueue();
    const bool space = HasFlag(flags, SpriteFlag::ObjectSpace) || HasFlag(flags, SpriteFlag::Billboard);
    quadBytes_ = 4 * (space ? sizeof(SpaceVertex) : sizeof(ScreenVertex));
    backToFront_ =
        HasFlag(flags, SpriteFlag::SortDepthBackToFront) && !HasFlag(flags, SpriteFlag::SortDepthFrontToBack);
    begun_ = true;
    return gfx::kOk;
}

void SpriteBatch::SaveStates() {
    Saved& s = *saved_;
    IGraphicsDevice& d = *device_;
    for (size_t i = 0; i < kRenderCount; ++i) d.GetRenderState(kRenderStates[i], s.render[i]);
    for (size_t i = 0; i < kStage0Count; ++i) d.GetTextureStageState(0, kStage0States[i], s.stage0[i]);
    for (size_t i = 0; i < kStage1Count; ++i) d.GetTextureStageState(1, kStage1States[i], s.stage1[i]);
    for (size_t i = 0; i < kSamplerCount; ++i) d.GetSamplerState(0, kSamplerStates[i], s.sampler[i]);
    d.GetTexture(0, s.texture);
    d.GetFVF(s.fvf);
    d.GetTransform(TransformKind::World, s.world);
    d.GetTransform(TransformKind::View, s.view);
}

void SpriteBatch::RestoreStates() {
    const Saved& s = *saved_;
    IGraphicsDevice& d = *device_;
    if (!HasFlag(flags_, SpriteFlag::DoNotModifyRenderState)) {
        for (size_t i = 0; i < kRenderCount; ++i) d.SetRenderState(kRenderStates[i], s.render[i]);
        for (size_t i = 0; i < kStage0Count; ++i) d.SetTextureStageState(0, kStage0States[i], s.stage0[i]);
        for (size_t i = 0; i < kStage1Count; ++i) d.SetTextureStageState(1, kStage1States[i], s.stage1[i]);
        for (size_t i = 0; i < kSamplerCount; ++i) d.SetSamplerState(0, kSamplerStates[i], s.sampler[i]);
    }
    d.SetTexture(0, s.texture);
    if (s.fvf != 0) d.SetFVF(s.fvf);
    if (HasFlag(flags_, SpriteFlag::ObjectSpace) || HasFlag(flags_, SpriteFlag::Billboard)) {
        d.SetTransform(TransformKind::World, s.world);
        d.SetTransform(TransformKind::View, s.view);
    }
}

void SpriteBatch::SetSpriteStates() {
    IGraphicsDevice& d = *device_;
    const bool blend = HasFlag(flags_, SpriteFlag::AlphaBlend);
    d.SetRenderState(RenderState::AlphaBlendEnable, blend);
    d.SetRenderState(RenderState::AlphaTestEnable, blend);
    if (blend) {
        d.SetRenderState(RenderState::SrcBlend, Blend::SrcAlpha);
        d.SetRenderState(RenderState::DestBlend, Blend::InvSrcAlpha);
        d.SetRenderState(RenderState::AlphaFunc, Compare::Greater);
        d.SetRenderState(RenderState::AlphaRef, 0u);
    }
    d.SetRenderState(RenderState::CullMode, Cull::None);
    d.SetRenderState(RenderState::Lighting, false);
    d.SetRenderState(RenderState::FogEnable, false);
    d.SetRenderState(RenderState::SpecularEnable, false);
    d.SetTextureStageState(0, StageState::ColourOp, TextureOp::Modulate);
    d.SetTextureStageState(0, StageState::ColourArg1, TextureArg::Texture);
    d.SetTextureStageState(0, StageState::ColourArg2, TextureArg::Diffuse);
    d.SetTextureStageState(0, StageState::AlphaOp, TextureOp::Modulate);
    d.SetTextureStageState(0, StageState::AlphaArg1, TextureArg::Texture);
    d.SetTextureStageState(0, StageState::AlphaArg2, TextureArg::Diffuse);
    d.SetTextureStageState(0, StageState::TexCoordIndex, 0u);
    d.SetTextureStageState(0, StageState::TextureTransformFlags, TextureTransform::Disable);
    d.SetTextureStageState(1, StageState::ColourOp, TextureOp::Disable);
    d.SetTextureStageState(1, StageState::AlphaOp, TextureOp::Disable);
    d.SetSamplerState(0, SamplerState::AddressU, TextureAddress::Clamp);
    d.SetSamplerState(0, SamplerState::AddressV, TextureAddress::Clamp);
    d.SetSamplerState(0, SamplerState::MagFilter, TextureFilter::Linear);
    d.SetSamplerState(0, SamplerState::MinFilter, TextureFilter::Linear);
    d.SetSamplerState(0, SamplerState::MipFilter, TextureFilter::Linear);
}

GraphicsResult SpriteBatch::PrepareSource(ITexture* texture, const Rect* source, SpriteSource& prepared) {
    if (texture == nullptr) return gfx::kInvalidCall;
    LevelDesc desc;
    if (Failed(texture->GetLevelDesc(0, desc)) || desc.width == 0 || desc.height == 0) return gfx::kInvalidCall;
    const Rect rect =
        source ? *source : MakeRect(0, 0, static_cast<int32_t>(desc.width), static_cast<int32_t>(desc.height));
    prepared.texture = texture;
    const float tw = static_cast<float>(desc.width), th = static_cast<float>(desc.height);
    // Texel coordinates stay far below 2^24, exact in a float.
    prepared.uv[0] = static_cast<float>(rect.left) / tw;
    prepared.uv[1] = static_cast<float>(rect.top) / th;
    prepared.uv[2] = static_cast<float>(rect.right) / tw;
    prepared.uv[3] = static_cast<float>(rect.bottom) / th;
    prepared.width = static_cast<float>(rect.Width());
    prepared.height = static_cast<float>(rect.Height());
    return gfx::kOk;
}

GraphicsResult SpriteBatch::Draw(ITexture* texture, const Rect* source, const Vector3* centre, const Vector3* position,
                                 uint32_t colour) {
    if (!begun_) return gfx::kInvalidCall;
    SpriteSource prepared;
    const GraphicsResult result = PrepareSource(texture, source, prepared);
    if (Failed(result)) return result;
    // Corners in the sprite's own space: the rectangle's size, the centre moved onto the position.
    const Vector3 c = centre ? *centre : Vector3{}, p = position ? *position : Vector3{};
    return Queue(prepared, p.x - c.x, p.y - c.y, p.z - c.z, transform_, colour);
}

GraphicsResult SpriteBatch::DrawSource(const SpriteSource& source, const Matrix& transform, uint32_t colour) {
    if (!begun_ || source.texture == nullptr) return gfx::kInvalidCall;
    return Queue(source, 0.0f - 0.0f, 0.0f - 0.0f, 0.0f - 0.0f, transform, colour);
}

GraphicsResult SpriteBatch::Queue(const SpriteSource& source, float x0, float y0, float z, const Matrix& m,
                                  uint32_t colour) {
    if (!Reserve(1)) return gfx::kOutOfMemory;
    const float w = source.width, h = source.height;
    const float xs[4] = {x0, x0 + w, x0, x0 + w}, ys[4] = {y0, y0, y0 + h, y0 + h};
    Vector3 corner[4];
    float depth;
    if (HasFlag(flags_, SpriteFlag::Billboard)) {
        // The middle goes where the transforms put it; the corners keep their offsets from it, as
        // the sprite transform scales and turns them, laid along the view's x and y.
        const Vector3 middle = Affine(x0 + w / 2, y0 + h / 2, z, m);
        const Vector3 anchor = Affine(middle.x, middle.y, middle.z, worldView_);
        for (int k = 0; k < 4; ++k) {
            const float dx = xs[k] - (x0 + w / 2), dy = ys[k] - (y0 + h / 2);
            corner[k] = Vector3{anchor.x + dx * m.m[0][0] + dy * m.m[1][0], anchor.y + dx * m.m[0][1] + dy * m.m[1][1],
                                anchor.z};
        }
        depth = anchor.z;
    } else if (HasFlag(flags_, SpriteFlag::ObjectSpace)) {
        const Matrix all = MatrixMultiply(m, worldView_);
        for (int k = 0; k < 4; ++k) corner[k] = Affine(xs[k], ys[k], z, all);
        depth = Affine(x0 + w / 2, y0 + h / 2, z, all).z;
    } else {
        for (int k = 0; k < 4; ++k) corner[k] = Affine(xs[k], ys[k], z, m);
        depth = Affine(x0 + w / 2, y0 + h / 2, z, m).z;
    }
    Quad& q = quads_[queued_];
    q.texture = source.texture;
    q.key = SortKey(depth, backToFront_);
    q.kind = 0;
    uint8_t* out = &staged_[queued_ * quadBytes_];
    if (quadBytes_ == 4 * sizeof(SpaceVertex)) {
        PutQuad<SpaceVertex>(out, corner, source.uv, colour);
    } else {
        PutQuad<ScreenVertex>(out, corner, source.uv, colour);
    }
    ++queued_;
    return gfx::kOk;
}

bool SpriteBatch::Reserve(size_t more) {
    if (queued_ + more <= quads_.size()) return true;
    try {
        quads_.resize(std::max<size_t>({64, 2 * quads_.size(), queued_ + more}));
        staged_.resize(quads_.size() * 4 * sizeof(ScreenVertex));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

GraphicsResult SpriteBatch::DrawSources(const SpriteSource* sources, size_t sourceCount, const Matrix& upper,
                                        const PlacedSprite* sprites, size_t count, uint32_t colour) {
    if (!begun_) return gfx::kInvalidCall;
    if (!HasFlag(flags_, SpriteFlag::Billboard)) {
        GraphicsResult result = gfx::kOk;
        Matrix m = upper;
        for (size_t i = 0; i < count; ++i) {
            const PlacedSprite& s = sprites[i];
            m.m[3][0] = s.translation.x, m.m[3][1] = s.translation.y, m.m[3][2] = s.translation.z;
            const GraphicsResult queued =
                s.source < sourceCount ? DrawSource(sources[s.source], m, colour) : gfx::kInvalidCall;
            if (Failed(queued) && Succeeded(result)) result = queued;
        }
        return result;
    }
    // Queue's billboard sums with the terms that are the same for every sprite of a source worked out
    // once: the middle's place before the translation, and the corners' offsets from the middle. The
    // vertices are written at End, straight in the order they are drawn.
    const size_t firstKind = kinds_.size();
    try {
        if (!Reserve(count)) return gfx::kOutOfMemory;
        kinds_.resize(firstKind + sourceCount);
    } catch (const std::bad_alloc&) {
        return gfx::kOutOfMemory;
    }
    const Matrix& m = upper;
    for (size_t k = 0; k < sourceCount; ++k) {
        Kind& kind = kinds_[firstKind + k];
        const float x0 = 0.0f - 0.0f, y0 = 0.0f - 0.0f, z = 0.0f - 0.0f;  // as DrawSource has them
        const float w = sources[k].width, h = sources[k].height;
        const float xs[4] = {x0, x0 + w, x0, x0 + w}, ys[4] = {y0, y0, y0 + h, y0 + h};
        const float mx = x0 + w / 2, my = y0 + h / 2;
        kind.middle = {mx * m.m[0][0] + my * m.m[1][0] + z * m.m[2][0], mx * m.m[0][1] + my * m.m[1][1] + z * m.m[2][1],
                       mx * m.m[0][2] + my * m.m[1][2] + z * m.m[2][2]};
        for (int c = 0; c < 4; ++c) {
            const float dx = xs[c] - (x0 + w / 2), dy = ys[c] - (y0 + h / 2);
            float* o = kind.offset[c];
            o[0] = dx * m.m[0][0], o[1] = dy * m.m[1][0], o[2] = dx * m.m[0][1], o[3] = dy * m.m[1][1];
        }
        std::copy(sources[k].uv, sources[k].uv + 4, kind.uv);
    }
    GraphicsResult result = gfx::kOk;
    const Matrix& v = worldView_;
    billboards_ = true;
    for (size_t i = 0; i < count; ++i) {
        const PlacedSprite& s = sprites[i];
        if (s.source >= sourceCount || sources[s.source].texture == nullptr) {
            result = gfx::kInvalidCall;
            continue;
        }
        const Vector3& middle = kinds_[firstKind + s.source].middle;
        const Vector3 anchor =
            Affine(middle.x + s.translation.x, middle.y + s.translation.y, middle.z + s.translation.z, v);
        // Field by field: a whole record built aside first costs a stalled copy here.
        Quad& q = quads_[queued_++];
        q.texture = sources[s.source].texture;
        q.key = SortKey(anchor.z, backToFront_);
        q.kind = static_cast<uint32_t>(firstKind + s.source + 1);
        q.anchor.x = anchor.x, q.anchor.y = anchor.y, q.anchor.z = anchor.z;
        q.colour = colour;
    }
    return result;
}

void SpriteBatch::SortByDepth(size_t n) {
    // A radix sort of (key, queue index) pairs on the keys alone: stable, so sprites of one depth keep
    // their queue order, and it allocates nothing once the buffers have grown. Three digits of 11, 11
    // and 10 bits, counted in one pass.
    keys_.resize(n);
    scratch_.resize(n);
    uint32_t counts[3][2048] = {};
    for (size_t i = 0; i < n; ++i) {
        const uint32_t bits = quads_[i].key;
        keys_[i] = (uint64_t{bits} << 32) | i;
        ++counts[0][bits & 0x7FF], ++counts[1][(bits >> 11) & 0x7FF], ++counts[2][bits >> 22];
    }
    uint64_t* from = keys_.data();
    uint64_t* to = scratch_.data();
    for (int digit = 0; digit < 3; ++digit) {
        const int shift = 32 + 11 * digit;
        uint32_t* start = counts[digit];
        if (start[(from[0] >> shift) & 0x7FF] == n) continue;  // one value for all: nothing moves
        uint32_t sum = 0;
        for (int b = 0; b < 2048; ++b) sum += std::exchange(start[b], sum);
        for (size_t i = 0; i < n; ++i) to[start[(from[i] >> shift) & 0x7FF]++] = from[i];
        std::swap(from, to);
    }
    for (size_t i = 0; i < n; ++i) order_[i] = static_cast<uint32_t>(from[i]);
}

template <size_t kQuadBytes>
void SpriteBatch::WriteQuads(size_t n, bool sorted) {
    uint8_t* out = vertices_.data();
    for (size_t i = 0; i < n; ++i, out += kQuadBytes) {
        // The quads are read out of order: ask for those a few steps on early.
        if (sorted && i + 8 < n) __builtin_prefetch(&quads_[order_[i + 8]]);
        const size_t index = sorted ? order_[i] : i;
        const Quad& q = quads_[index];
        if (q.kind == 0) {
            std::memcpy(out, &staged_[index * kQuadBytes], kQuadBytes);
            continue;
        }
        const Kind& kind = kinds_[q.kind - 1];
        Vector3 corner[4];
        for (int c = 0; c < 4; ++c) {
            const float* o = kind.offset[c];
            corner[c] = Vector3{q.anchor.x + o[0] + o[1], q.anchor.y + o[2] + o[3], q.anchor.z};
        }
        PutQuad<SpaceVertex>(out, corner, kind.uv, q.colour);
    }
}

GraphicsResult SpriteBatch::DrawQueue() {
    drawnBytes_ = 0;
    const size_t n = queued_;
    if (n == 0) return gfx::kOk;
    const bool byDepth =
        HasFlag(flags_, SpriteFlag::SortDepthFrontToBack) || HasFlag(flags_, SpriteFlag::SortDepthBackToFront);
    const bool sorted = byDepth || HasFlag(flags_, SpriteFlag::SortTexture);
    const uint8_t* vertices = staged_.data();
    try {
        if (sorted) {
            order_.resize(n);
            for (uint32_t i = 0; i < n; ++i) order_[i] = i;
            if (byDepth) SortByDepth(n);
            if (HasFlag(flags_, SpriteFlag::SortTexture)) {
                // Textures in the order they were first used, so the draws come out the same every run.
                const std::vector<Quad>& q = quads_;
                std::unordered_map<const ITexture*, uint32_t> rank;
                for (uint32_t index : order_) rank.emplace(q[index].texture, static_cast<uint32_t>(rank.size()));
                std::stable_sort(order_.begin(), order_.end(), [&q, &rank](uint32_t a, uint32_t b) {
                    return rank[q[a].texture] < rank[q[b].texture];
                });
            }
        }
        if (sorted || billboards_) {
            if (vertices_.size() < n * quadBytes_) vertices_.resize(n * quadBytes_);
            if (quadBytes_ == 4 * sizeof(SpaceVertex)) {
                WriteQuads<4 * sizeof(SpaceVertex)>(n, sorted);
            } else {
                WriteQuads<4 * sizeof(ScreenVertex)>(n, sorted);
            }
            vertices = vertices_.data();
        }
    } catch (const std::bad_alloc&) {
        ForgetQueue();
        return gfx::kOutOfMemory;
    }
    ForgetQueue();
    drawn_ = vertices;
    drawnBytes_ = n * quadBytes_;
    IGraphicsDevice& d = *device_;
    const uint32_t stride = static_cast<uint32_t>(quadBytes_ / 4);  // one vertex
    if (stride == sizeof(SpaceVertex)) {
        // The corners are already in view space.
        d.SetTransform(TransformKind::World, MatrixIdentity());
        d.SetTransform(TransformKind::View, MatrixIdentity());
        d.SetFVF(kSpaceFvf);
    } else {
        d.SetFVF(kScreenFvf);
    }
    auto textureAt = [this, sorted](size_t i) { return quads_[sorted ? order_[i] : i].texture; };
    GraphicsResult result = gfx::kOk;
    for (size_t first = 0; first < n;) {
        ITexture* texture = textureAt(first);
        size_t count = 1;
        while (first + count < n && count < kMaxRun && textureAt(first + count) == texture) ++count;
        d.SetTexture(0, texture);
        const uint32_t quads = static_cast<uint32_t>(count);
        const GraphicsResult drawn =
            d.DrawIndexedPrimitiveUP(PrimitiveType::TriangleList, 0, quads * 4, quads * 2, indices_.data(),
                                     IndexFormat::Index16, vertices + first * quadBytes_, stride);
        if (Failed(drawn) && Succeeded(result)) result = drawn;
        first += count;
    }
    return result;
}

GraphicsResult SpriteBatch::End() {
    if (!begun_) return gfx::kInvalidCall;
    const GraphicsResult result = DrawQueue();
    if (!HasFlag(flags_, SpriteFlag::DoNotSaveState)) RestoreStates();
    begun_ = false;
    return result;
}

void SpriteBatch::ForgetQueue() {
    queued_ = 0;
    billboards_ = false;
    kinds_.clear();
}

void SpriteBatch::OnLostDevice() {
    ForgetQueue();
    begun_ = false;
}

// ---- sphere mesh ---------------------------------------------------------------------------------

GraphicsResult SphereMesh::Create(IGraphicsDevice* device, float radius, uint32_t slices, uint32_t stacks,
                                  std::unique_ptr<SphereMesh>& mesh) {
    mesh.reset();
    if (device == nullptr || !(radius >= 0.0f) || slices < 2 || stacks < 2 || slices > 65535 || stacks > 65535) {
        return gfx::kInvalidCall;
    }
    // Two poles and stacks - 1 rings of `slices` vertices; a fan at each pole, quads between rings.
    const uint64_t vertexCount = static_cast<uint64_t>(slices) * (stacks - 1) + 2;
    if (vertexCount > 65536) return gfx::kInvalidCall;
    const uint32_t nv = static_cast<uint32_t>(vertexCount);
    const uint32_t faces = 2 * slices * (stacks - 1);
    std::unique_ptr<SphereMesh> made(new (std::nothrow) SphereMesh);
    if (!made) return gfx::kOutOfMemory;
    made->device_ = device;
    made->vertexCount_ = nv;
    made->faceCount_ = faces;
    GraphicsResult result = device->CreateVertexBuffer(nv * 24, kUsageWriteOnly, kFvf, Pool::Managed, made->vertices_);
    if (Failed(result)) return result;
    result =
        device->CreateIndexBuffer(faces * 3 * 2, kUsageWriteOnly, IndexFormat::Index16, Pool::Managed, made->indices_);
    if (Failed(result)) return result;

    void* data = nullptr;
    result = made->vertices_->Lock(0, 0, &data, 0);
    if (Failed(result)) return result;
    float* v = static_cast<float*>(data);
    auto put = [&v, radius](float nx, float ny, float nz) {
        const float out[6] = {nx * radius, ny * radius, nz * radius, nx, ny, nz};
        std::memcpy(v, out, sizeof out);
        v += 6;
    };
    const float pi = 3.14159265358979f;
    put(0, 1, 0);
    for (uint32_t stack = 1; stack < stacks; ++stack) {
        const float theta = pi * static_cast<float>(stack) / static_cast<float>(stacks);  // from the top pole
        for (uint32_t slice = 0; slice < slices; ++slice) {
            const float phi = 2 * pi * static_cast<float>(slice) / static_cast<float>(slices);
            put(std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi));
        }
    }
    put(0, -1, 0);
    made->vertices_->Unlock();

    result = made->indices_->Lock(0, 0, &data, 0);
    if (Failed(result)) return result;
    uint16_t* i = static_cast<uint16_t*>(data);
    auto tri = [&i](uint32_t a, uint32_t b, uint32_t c) {
        *i++ = static_cast<uint16_t>(a), *i++ = static_cast<uint16_t>(b), *i++ = static_cast<uint16_t>(c);
    };
    // Seen from outside, slices run counter-clockwise about +y looking down, so clockwise faces
    // list the next slice before this one when going downwards.
    const uint32_t bottom = nv - 1;
    for (uint32_t s = 0; s < slices; ++s) tri(0, 1 + (s + 1) % slices, 1 + s);
    for (uint32_t stack = 0; stack + 2 < stacks; ++stack) {
        const uint32_t upper = 1 + stack * slices, lower = upper + slices;
        for (uint32_t s = 0; s < slices; ++s) {
            const uint32_t next = (s + 1) % slices;
            tri(upper + s, upper + next, lower + s);
            tri(lower + s, upper + next, lower + next);
        }
    }
    const uint32_t last = 1 + (stacks - 2) * slices;
    for (uint32_t s = 0; s < slices; ++s) tri(bottom, last + s, last + (s + 1) % slices);
    made->indices_->Unlock();
    mesh = std::move(made);
    return gfx::kOk;
}

GraphicsResult SphereMesh::DrawSubset(uint32_t subset) {
    if (subset != 0) return gfx::kOk;
    device_->SetFVF(kFvf);
    device_->SetStreamSource(0, vertices_.get(), 0, 24);
    device_->SetIndices(indices_.get());
    return device_->DrawIndexedPrimitive(PrimitiveType::TriangleList, 0, 0, vertexCount_, 0, faceCount_);
}

}  // namespace plat
