#include "platform/SpriteBatch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
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
const uint32_t kScreenFvf = kFvfXyzRhw | kFvfDiffuse | kFvfTex1;
const uint32_t kSpaceFvf = kFvfXyz | kFvfDiffuse | kFvfTex1;

// (x, y, z, 1) x m for the affine matrices sprites are placed with.
Vector3 Affine(float x, float y, float z, const Matrix& m) {
    return Vector3{x * m.m[0][0] + y * m.m[1][0] + z * m.m[2][0] + m.m[3][0],
                   x * m.m[0][1] + y * m.m[1][1] + z * m.m[2][1] + m.m[3][1],
                   x * m.m[0][2] + y * m.m[1][2] + z * m.m[2][2] + m.m[3][2]};
}

template <class Vertex>
void WriteQuad(Vertex* out, const Vector3 (&corner)[4], const float (&uv)[4], uint32_t colour) {
    for (int k = 0; k < 4; ++k) {
        Vertex& v = out[k];
        v = Vertex{};
        v.x = corner[k].x;
        v.y = corner[k].y;
        v.z = corner[k].z;
        v.colour = colour;
        v.u = uv[(k & 1) ? 2 : 0];
        v.v = uv[(k & 2) ? 3 : 1];
    }
}
void SetRhw(ScreenVertex* v) {
    for (int k = 0; k < 4; ++k) v[k].rhw = 1.0f;
}
void SetRhw(SpaceVertex*) {}

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
    queue_.clear();
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

GraphicsResult SpriteBatch::Draw(ITexture* texture, const Rect* source, const Vector3* centre, const Vector3* position,
                                 uint32_t colour) {
    if (!begun_ || texture == nullptr) return gfx::kInvalidCall;
    LevelDesc desc;
    if (Failed(texture->GetLevelDesc(0, desc)) || desc.width == 0 || desc.height == 0) return gfx::kInvalidCall;
    const Rect rect =
        source ? *source : MakeRect(0, 0, static_cast<int32_t>(desc.width), static_cast<int32_t>(desc.height));
    Sprite s;
    s.texture = texture;
    s.colour = colour;
    const float tw = static_cast<float>(desc.width), th = static_cast<float>(desc.height);
    s.uv[0] = rect.left / tw;
    s.uv[1] = rect.top / th;
    s.uv[2] = rect.right / tw;
    s.uv[3] = rect.bottom / th;
    // Corners in the sprite's own space: the rectangle's size, the centre moved onto the position.
    const float w = static_cast<float>(rect.Width()), h = static_cast<float>(rect.Height());
    const Vector3 c = centre ? *centre : Vector3{}, p = position ? *position : Vector3{};
    const float x0 = p.x - c.x, y0 = p.y - c.y, z = p.z - c.z;
    const float xs[4] = {x0, x0 + w, x0, x0 + w}, ys[4] = {y0, y0, y0 + h, y0 + h};
    const Matrix& m = transform_;
    if (HasFlag(flags_, SpriteFlag::Billboard)) {
        // The middle goes where the transforms put it; the corners keep their offsets from it, as
        // the sprite transform scales and turns them, laid along the view's x and y.
        const Vector3 middle = Affine(x0 + w / 2, y0 + h / 2, z, m);
        const Vector3 anchor = Affine(middle.x, middle.y, middle.z, worldView_);
        for (int k = 0; k < 4; ++k) {
            const float dx = xs[k] - (x0 + w / 2), dy = ys[k] - (y0 + h / 2);
            s.corner[k] = Vector3{anchor.x + dx * m.m[0][0] + dy * m.m[1][0],
                                  anchor.y + dx * m.m[0][1] + dy * m.m[1][1], anchor.z};
        }
        s.depth = anchor.z;
    } else if (HasFlag(flags_, SpriteFlag::ObjectSpace)) {
        const Matrix all = MatrixMultiply(m, worldView_);
        for (int k = 0; k < 4; ++k) s.corner[k] = Affine(xs[k], ys[k], z, all);
        s.depth = Affine(x0 + w / 2, y0 + h / 2, z, all).z;
    } else {
        for (int k = 0; k < 4; ++k) s.corner[k] = Affine(xs[k], ys[k], z, m);
        s.depth = Affine(x0 + w / 2, y0 + h / 2, z, m).z;
    }
    try {
        queue_.push_back(s);
    } catch (const std::bad_alloc&) {
        return gfx::kOutOfMemory;
    }
    return gfx::kOk;
}

void SpriteBatch::SortByDepth(bool backToFront) {
    // A radix sort of (depth bits, queue index) pairs on the depth bits alone: stable, so sprites of
    // one depth keep their queue order, and it allocates nothing once the buffers have grown. The
    // bits are made to order as the floats do, -0 the same as +0.
    const size_t n = queue_.size();
    keys_.resize(n);
    scratch_.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const float depth = queue_[i].depth + 0.0f;  // -0 becomes +0
        uint32_t bits;
        std::memcpy(&bits, &depth, sizeof bits);
        bits = (bits & 0x80000000u) ? ~bits : bits | 0x80000000u;
        if (backToFront) bits = ~bits;
        keys_[i] = (uint64_t{bits} << 32) | i;
    }
    uint64_t* from = keys_.data();
    uint64_t* to = scratch_.data();
    for (int shift = 32; shift < 64; shift += 8) {
        size_t start[256] = {};
        for (size_t i = 0; i < n; ++i) ++start[(from[i] >> shift) & 0xFF];
        if (start[(from[0] >> shift) & 0xFF] == n) continue;  // one digit for all: nothing moves
        size_t sum = 0;
        for (size_t& s : start) sum += std::exchange(s, sum);
        for (size_t i = 0; i < n; ++i) to[start[(from[i] >> shift) & 0xFF]++] = from[i];
        std::swap(from, to);
    }
    for (size_t i = 0; i < n; ++i) order_[i] = static_cast<uint32_t>(from[i]);
}

template <class Vertex>
void SpriteBatch::WriteQuads() {
    const size_t bytes = order_.size() * 4 * sizeof(Vertex);
    if (vertices_.size() < bytes) vertices_.resize(bytes);
    drawnBytes_ = bytes;
    Vertex* out = reinterpret_cast<Vertex*>(vertices_.data());
    for (uint32_t index : order_) {
        const Sprite& s = queue_[index];
        WriteQuad(out, s.corner, s.uv, s.colour);
        SetRhw(out);
        out += 4;
    }
}

GraphicsResult SpriteBatch::DrawQueue() {
    drawnBytes_ = 0;
    if (queue_.empty()) return gfx::kOk;
    const std::vector<Sprite>& q = queue_;
    try {
        order_.resize(queue_.size());
        for (uint32_t i = 0; i < order_.size(); ++i) order_[i] = i;
        if (HasFlag(flags_, SpriteFlag::SortDepthFrontToBack)) {
            SortByDepth(false);
        } else if (HasFlag(flags_, SpriteFlag::SortDepthBackToFront)) {
            SortByDepth(true);
        }
        if (HasFlag(flags_, SpriteFlag::SortTexture)) {
            // Textures in the order they were first used, so the draws come out the same every run.
            std::unordered_map<const ITexture*, uint32_t> rank;
            for (uint32_t index : order_) rank.emplace(q[index].texture, static_cast<uint32_t>(rank.size()));
            std::stable_sort(order_.begin(), order_.end(),
                             [&q, &rank](uint32_t a, uint32_t b) { return rank[q[a].texture] < rank[q[b].texture]; });
        }
    } catch (const std::bad_alloc&) {
        queue_.clear();
        return gfx::kOutOfMemory;
    }
    IGraphicsDevice& d = *device_;
    const bool space = HasFlag(flags_, SpriteFlag::ObjectSpace) || HasFlag(flags_, SpriteFlag::Billboard);
    uint32_t stride;
    try {
        if (space) {
            WriteQuads<SpaceVertex>();
        } else {
            WriteQuads<ScreenVertex>();
        }
    } catch (const std::bad_alloc&) {
        queue_.clear();
        return gfx::kOutOfMemory;
    }
    if (space) {
        // The corners are already in view space.
        d.SetTransform(TransformKind::World, MatrixIdentity());
        d.SetTransform(TransformKind::View, MatrixIdentity());
        d.SetFVF(kSpaceFvf);
        stride = sizeof(SpaceVertex);
    } else {
        d.SetFVF(kScreenFvf);
        stride = sizeof(ScreenVertex);
    }
    GraphicsResult result = gfx::kOk;
    for (size_t first = 0; first < order_.size();) {
        ITexture* texture = q[order_[first]].texture;
        size_t count = 1;
        while (first + count < order_.size() && count < kMaxRun && q[order_[first + count]].texture == texture) ++count;
        d.SetTexture(0, texture);
        const uint32_t n = static_cast<uint32_t>(count);
        const GraphicsResult drawn =
            d.DrawIndexedPrimitiveUP(PrimitiveType::TriangleList, 0, n * 4, n * 2, indices_.data(),
                                     IndexFormat::Index16, &vertices_[first * 4 * stride], stride);
        if (Failed(drawn) && Succeeded(result)) result = drawn;
        first += count;
    }
    queue_.clear();
    return result;
}

GraphicsResult SpriteBatch::End() {
    if (!begun_) return gfx::kInvalidCall;
    const GraphicsResult result = DrawQueue();
    if (!HasFlag(flags_, SpriteFlag::DoNotSaveState)) RestoreStates();
    begun_ = false;
    return result;
}

void SpriteBatch::OnLostDevice() {
    queue_.clear();
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
        const float theta = pi * stack / stacks;  // from the top pole
        for (uint32_t slice = 0; slice < slices; ++slice) {
            const float phi = 2 * pi * slice / slices;
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
