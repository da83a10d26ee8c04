#include "platform/GraphicsState.h"

#include <algorithm>
#include <cstring>

namespace plat {

// ---- formats and counts ------------------------------------------------------------------------

uint32_t VertexStride(uint32_t fvf) {
    const uint32_t known = kFvfXyz | kFvfXyzRhw | kFvfNormal | kFvfDiffuse | kFvfSpecular | 0xF00 | 0xFFFF0000u;
    if ((fvf & ~known) != 0) return 0;
    const uint32_t position = fvf & (kFvfXyz | kFvfXyzRhw);
    if (position != kFvfXyz && position != kFvfXyzRhw) return 0;
    uint32_t stride = position == kFvfXyz ? 12 : 16;
    if (fvf & kFvfNormal) stride += 12;
    if (fvf & kFvfDiffuse) stride += 4;
    if (fvf & kFvfSpecular) stride += 4;
    const uint32_t sets = (fvf >> 8) & 0xF;
    if (sets > 8) return 0;
    for (uint32_t set = 0; set < sets; ++set) {
        static const uint32_t kFloats[4] = {2, 3, 4, 1};
        stride += 4 * kFloats[(fvf >> (16 + 2 * set)) & 3];
    }
    return stride;
}

uint64_t PrimitiveVertexCount(PrimitiveType type, uint32_t count) {
    const uint64_t n = count;
    switch (type) {
    case PrimitiveType::PointList:
        return n;
    case PrimitiveType::LineList:
        return 2 * n;
    case PrimitiveType::LineStrip:
        return n == 0 ? 0 : n + 1;
    case PrimitiveType::TriangleList:
        return 3 * n;
    case PrimitiveType::TriangleStrip:
    case PrimitiveType::TriangleFan:
        return n == 0 ? 0 : n + 2;
    }
    return 0;
}

namespace {

const uint64_t kMaxTextureBytes = 384ull << 20;  // an 8192 x 8192 32-bit texture with its levels

}  // namespace

// Every texture format the loader writes but packed 24-bit texels, which no driver stores as such.
bool IsTextureFormat(Format format) {
    return IsBlockFormat(format) || (FormatBytesPerTexel(format) != 0 && format != Format::Rgb888);
}

uint32_t TexturePitch(Format format, uint32_t width) {
    if (IsBlockFormat(format)) return ((width + 3) / 4) * (format == Format::Dxt1 ? 8 : 16);
    return width * FormatBytesPerTexel(format);
}

uint32_t TextureRows(Format format, uint32_t height) { return IsBlockFormat(format) ? (height + 3) / 4 : height; }

// ---- resources ---------------------------------------------------------------------------------

ResourceHost::~ResourceHost() { DetachAll(); }

void ResourceHost::Register(DeviceResource* resource) {
    resources_.push_back(resource);
    handles_.insert(resource->Handle());
}

void ResourceHost::Unregister(DeviceResource* resource) {
    resources_.erase(std::remove(resources_.begin(), resources_.end(), resource), resources_.end());
    handles_.erase(resource->Handle());
}

void ResourceHost::DetachAll() {
    for (DeviceResource* resource : resources_) {
        resource->DropDriverCopy();
        resource->host_ = nullptr;
    }
    resources_.clear();
    handles_.clear();
}

DeviceResource::~DeviceResource() {
    if (host_ != nullptr) {
        host_->OnResourceGone(this);
        host_->Unregister(this);
    }
}

GraphicsResult BasicTexture::Check(uint32_t width, uint32_t height, uint32_t levels, Format format, uint32_t maxSize) {
    if (width == 0 || height == 0 || width > maxSize || height > maxSize) return gfx::kInvalidCall;
    if (!IsTextureFormat(format)) return gfx::kInvalidCall;
    uint32_t full = 1;
    for (uint32_t size = std::max(width, height); size > 1; size >>= 1) ++full;
    if (levels > full) return gfx::kInvalidCall;
    // Every level is kept in memory too: a size that would take more than this is refused up front.
    uint64_t bytes = 0;
    for (uint32_t level = 0; level < (levels == 0 ? full : levels); ++level) {
        bytes += static_cast<uint64_t>(TexturePitch(format, std::max(width >> level, 1u))) *
                 TextureRows(format, std::max(height >> level, 1u));
    }
    if (bytes > kMaxTextureBytes) return gfx::kOutOfVideoMemory;
    return gfx::kOk;
}

BasicTexture::BasicTexture(ResourceHost* host, uint32_t width, uint32_t height, uint32_t levels, Format format)
    : DeviceResource(host, static_cast<ITexture*>(this)), format_(format) {
    uint32_t full = 1;
    for (uint32_t size = std::max(width, height); size > 1; size >>= 1) ++full;
    levels_.resize(levels == 0 ? full : levels);
    for (Level& level : levels_) {
        level.width = width;
        level.height = height;
        level.pitch = TexturePitch(format, width);
        level.rows = TextureRows(format, height);
        level.bytes.assign(static_cast<size_t>(level.pitch) * level.rows, 0);
        width = std::max(width / 2, 1u);
        height = std::max(height / 2, 1u);
    }
}

GraphicsResult BasicTexture::GetLevelDesc(uint32_t level, LevelDesc& desc) const {
    if (level >= levels_.size()) return gfx::kInvalidCall;
    desc.format = format_;
    desc.width = levels_[level].width;
    desc.height = levels_[level].height;
    return gfx::kOk;
}

GraphicsResult BasicTexture::LockRect(uint32_t level, LockedRect& locked, const Rect* rect, uint32_t) {
    if (level >= levels_.size() || levels_[level].locked) return gfx::kInvalidCall;
    Level& l = levels_[level];
    size_t offset = 0;
    if (rect != nullptr) {
        if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
            static_cast<uint32_t>(rect->right) > l.width || static_cast<uint32_t>(rect->bottom) > l.height) {
            return gfx::kInvalidCall;
        }
        const uint32_t left = static_cast<uint32_t>(rect->left), top = static_cast<uint32_t>(rect->top);
        if (IsBlockFormat(format_)) {
            if (left % 4 != 0 || top % 4 != 0) return gfx::kInvalidCall;  // whole blocks only
            offset = static_cast<size_t>(top / 4) * l.pitch + TexturePitch(format_, left);
        } else {
            offset = static_cast<size_t>(top) * l.pitch + static_cast<size_t>(left) * FormatBytesPerTexel(format_);
        }
    }
    l.locked = true;
    locked.pitch = l.pitch;
    locked.bits = l.bytes.data() + offset;
    return gfx::kOk;
}

GraphicsResult BasicTexture::UnlockRect(uint32_t level) {
    if (level >= levels_.size() || !levels_[level].locked) return gfx::kInvalidCall;
    levels_[level].locked = false;
    OnLevelChanged(level);
    return gfx::kOk;
}

GraphicsResult BasicTexture::UpdateLevel(uint32_t level, const void* data, uint32_t pitch) {
    if (level >= levels_.size() || levels_[level].locked || data == nullptr) return gfx::kInvalidCall;
    Level& l = levels_[level];
    if (pitch < l.pitch) return gfx::kInvalidCall;
    const uint8_t* from = static_cast<const uint8_t*>(data);
    if (pitch == l.pitch) {
        std::memcpy(l.bytes.data(), from, l.bytes.size());
    } else {
        for (uint32_t row = 0; row < l.rows; ++row) {
            std::memcpy(l.bytes.data() + static_cast<size_t>(row) * l.pitch, from + static_cast<size_t>(row) * pitch,
                        l.pitch);
        }
    }
    OnLevelChanged(level);
    return gfx::kOk;
}

GraphicsResult BasicTexture::UpdateLevel(uint32_t level, std::vector<uint8_t>&& bytes, uint32_t pitch) {
    if (level >= levels_.size() || levels_[level].locked) return gfx::kInvalidCall;
    Level& l = levels_[level];
    if (pitch != l.pitch || bytes.size() != l.bytes.size()) {
        if (bytes.size() < static_cast<size_t>(pitch) * l.rows) return gfx::kInvalidCall;
        return UpdateLevel(level, bytes.data(), pitch);
    }
    l.bytes = std::move(bytes);
    OnLevelChanged(level);
    return gfx::kOk;
}

namespace {

GraphicsResult LockBytes(std::vector<uint8_t>& bytes, bool& locked, uint32_t offset, uint32_t size, void** data) {
    if (data == nullptr || locked || offset > bytes.size()) return gfx::kInvalidCall;
    if (size != 0 && static_cast<uint64_t>(offset) + size > bytes.size()) return gfx::kInvalidCall;
    locked = true;
    *data = bytes.data() + offset;
    return gfx::kOk;
}

}  // namespace

GraphicsResult BasicVertexBuffer::Lock(uint32_t offset, uint32_t size, void** data, uint32_t) {
    return LockBytes(bytes_, locked_, offset, size, data);
}

GraphicsResult BasicVertexBuffer::Unlock() {
    if (!locked_) return gfx::kInvalidCall;
    locked_ = false;
    OnChanged();
    return gfx::kOk;
}

GraphicsResult BasicIndexBuffer::Lock(uint32_t offset, uint32_t size, void** data, uint32_t) {
    return LockBytes(bytes_, locked_, offset, size, data);
}

GraphicsResult BasicIndexBuffer::Unlock() {
    if (!locked_) return gfx::kInvalidCall;
    locked_ = false;
    maxKnown_ = false;
    OnChanged();
    return gfx::kOk;
}

uint32_t LargestIndex(const void* indices, IndexFormat format, uint32_t count) {
    uint32_t largest = 0;
    if (format == IndexFormat::Index16) {
        const uint16_t* p = static_cast<const uint16_t*>(indices);
        for (uint32_t i = 0; i < count; ++i) largest = std::max<uint32_t>(largest, p[i]);
    } else {
        const uint32_t* p = static_cast<const uint32_t*>(indices);
        for (uint32_t i = 0; i < count; ++i) largest = std::max(largest, p[i]);
    }
    return largest;
}

uint32_t BasicIndexBuffer::MaxIndex(uint32_t start, uint32_t count) const {
    if (!maxKnown_) {
        max_ = LargestIndex(bytes_.data(), format_, IndexCount());
        maxKnown_ = true;
    }
    if (start == 0 && count == IndexCount()) return max_;
    return LargestIndex(bytes_.data() + static_cast<size_t>(start) * IndexSize(), format_, count);
}

// ---- state -------------------------------------------------------------------------------------

DrawingState::DrawingState(const ResourceHost* host, bool depthBuffer) : host_(host) {
    std::fill(std::begin(render_), std::end(render_), 0u);
    auto set = [this](RenderState state, uint32_t value) { render_[static_cast<uint32_t>(state)] = value; };
    set(RenderState::ZEnable, depthBuffer ? 1 : 0);
    set(RenderState::ShadeMode, static_cast<uint32_t>(ShadeMode::Gouraud));
    set(RenderState::ZWriteEnable, 1);
    set(RenderState::SrcBlend, static_cast<uint32_t>(Blend::One));
    set(RenderState::DestBlend, static_cast<uint32_t>(Blend::Zero));
    set(RenderState::CullMode, static_cast<uint32_t>(Cull::CounterClockwise));
    set(RenderState::ZFunc, static_cast<uint32_t>(Compare::LessEqual));
    set(RenderState::AlphaFunc, static_cast<uint32_t>(Compare::Always));
    set(RenderState::FogEnd, FloatBits(1.0f));
    set(RenderState::FogDensity, FloatBits(1.0f));
    set(RenderState::TextureFactor, 0xFFFFFFFFu);
    set(RenderState::Lighting, 1);
    set(RenderState::ColourVertex, 1);
    set(RenderState::LocalViewer, 1);
    set(RenderState::MultisampleAntialias, 1);
    for (uint32_t s = 0; s < kMaxStages; ++s) {
        std::fill(std::begin(sampler_[s]), std::end(sampler_[s]), 0u);
        sampler_[s][static_cast<uint32_t>(SamplerState::AddressU)] = static_cast<uint32_t>(TextureAddress::Wrap);
        sampler_[s][static_cast<uint32_t>(SamplerState::AddressV)] = static_cast<uint32_t>(TextureAddress::Wrap);
        sampler_[s][static_cast<uint32_t>(SamplerState::AddressW)] = static_cast<uint32_t>(TextureAddress::Wrap);
        sampler_[s][static_cast<uint32_t>(SamplerState::MagFilter)] = static_cast<uint32_t>(TextureFilter::Point);
        sampler_[s][static_cast<uint32_t>(SamplerState::MinFilter)] = static_cast<uint32_t>(TextureFilter::Point);
        sampler_[s][static_cast<uint32_t>(SamplerState::MaxAnisotropy)] = 1;
        std::fill(std::begin(stage_[s]), std::end(stage_[s]), 0u);
        auto stage = [this, s](StageState state, uint32_t value) { stage_[s][static_cast<uint32_t>(state)] = value; };
        const uint32_t texture = static_cast<uint32_t>(TextureArg::Texture);
        const uint32_t current = static_cast<uint32_t>(TextureArg::Current);
        stage(StageState::ColourOp, static_cast<uint32_t>(s == 0 ? TextureOp::Modulate : TextureOp::Disable));
        stage(StageState::AlphaOp, static_cast<uint32_t>(s == 0 ? TextureOp::SelectArg1 : TextureOp::Disable));
        stage(StageState::ColourArg1, texture);
        stage(StageState::ColourArg2, current);
        stage(StageState::AlphaArg1, texture);
        stage(StageState::AlphaArg2, current);
        stage(StageState::ColourArg0, current);
        stage(StageState::AlphaArg0, current);
        stage(StageState::TexCoordIndex, s);
        texture_[s] = MatrixIdentity();
    }
    world_ = view_ = projection_ = MatrixIdentity();
    for (Light& light : lights_) {
        light.diffuse = ColourValue{1, 1, 1, 0};
        light.direction = Vector3{0, 0, 1};
    }
}

// Store compares whole objects bytewise: the records it keeps must hold no padding.
static_assert(sizeof(Light) == sizeof(LightType) + 3 * sizeof(ColourValue) + 2 * sizeof(Vector3) + 7 * sizeof(float),
              "Light has padding");
static_assert(sizeof(Material) == 4 * sizeof(ColourValue) + sizeof(float), "Material has padding");
static_assert(sizeof(Matrix) == 16 * sizeof(float), "Matrix has padding");

template <class T>
static bool Store(T& slot, const T& value) {
    if (std::memcmp(&slot, &value, sizeof(T)) == 0) return false;
    slot = value;
    return true;
}

GraphicsResult DrawingState::SetRender(RenderState state, uint32_t value, bool* changed) {
    const uint32_t id = static_cast<uint32_t>(state);
    if (id >= kRenderStateLimit) return gfx::kInvalidCall;
    *changed = Store(render_[id], value);
    return gfx::kOk;
}

GraphicsResult DrawingState::GetRender(RenderState state, uint32_t& value) const {
    const uint32_t id = static_cast<uint32_t>(state);
    if (id >= kRenderStateLimit) return gfx::kInvalidCall;
    value = render_[id];
    return gfx::kOk;
}

GraphicsResult DrawingState::SetSampler(uint32_t sampler, SamplerState state, uint32_t value, bool* changed) {
    const uint32_t id = static_cast<uint32_t>(state);
    if (sampler >= kMaxStages || id >= kSamplerStateLimit) return gfx::kInvalidCall;
    *changed = Store(sampler_[sampler][id], value);
    return gfx::kOk;
}

GraphicsResult DrawingState::GetSampler(uint32_t sampler, SamplerState state, uint32_t& value) const {
    const uint32_t id = static_cast<uint32_t>(state);
    if (sampler >= kMaxStages || id >= kSamplerStateLimit) return gfx::kInvalidCall;
    value = sampler_[sampler][id];
    return gfx::kOk;
}

GraphicsResult DrawingState::SetStage(uint32_t stage, StageState state, uint32_t value, bool* changed) {
    const uint32_t id = static_cast<uint32_t>(state);
    if (stage >= kMaxStages || id >= kStageStateLimit) return gfx::kInvalidCall;
    *changed = Store(stage_[stage][id], value);
    return gfx::kOk;
}

GraphicsResult DrawingState::GetStage(uint32_t stage, StageState state, uint32_t& value) const {
    const uint32_t id = static_cast<uint32_t>(state);
    if (stage >= kMaxStages || id >= kStageStateLimit) return gfx::kInvalidCall;
    value = stage_[stage][id];
    return gfx::kOk;
}

GraphicsResult DrawingState::SetTransform(TransformKind kind, const Matrix& matrix, bool* changed) {
    const uint32_t id = static_cast<uint32_t>(kind);
    Matrix* slot = kind == TransformKind::World        ? &world_
                   : kind == TransformKind::View       ? &view_
                   : kind == TransformKind::Projection ? &projection_
                   : id >= 16 && id < 16 + kMaxStages  ? &texture_[id - 16]
                                                       : nullptr;
    if (slot == nullptr) return gfx::kInvalidCall;
    *changed = Store(*slot, matrix);
    return gfx::kOk;
}

GraphicsResult DrawingState::GetTransform(TransformKind kind, Matrix& matrix) const {
    const uint32_t id = static_cast<uint32_t>(kind);
    const Matrix* slot = kind == TransformKind::World        ? &world_
                         : kind == TransformKind::View       ? &view_
                         : kind == TransformKind::Projection ? &projection_
                         : id >= 16 && id < 16 + kMaxStages  ? &texture_[id - 16]
                                                             : nullptr;
    if (slot == nullptr) return gfx::kInvalidCall;
    matrix = *slot;
    return gfx::kOk;
}

GraphicsResult DrawingState::SetLight(uint32_t index, const Light& light, bool* changed) {
    if (index >= kMaxLights) return gfx::kInvalidCall;
    if (light.type != LightType::Point && light.type != LightType::Spot && light.type != LightType::Directional) {
        return gfx::kInvalidCall;
    }
    // A directional or spot light without a direction has no meaning; the light keeps what it had.
    if (light.type != LightType::Point && Vec3Length(light.direction) == 0.0f) return gfx::kInvalidCall;
    *changed = Store(lights_[index], light);
    return gfx::kOk;
}

GraphicsResult DrawingState::GetLight(uint32_t index, Light& light) const {
    if (index >= kMaxLights) return gfx::kInvalidCall;
    light = lights_[index];
    return gfx::kOk;
}

GraphicsResult DrawingState::EnableLight(uint32_t index, bool enable, bool* changed) {
    if (index >= kMaxLights) return gfx::kInvalidCall;
    *changed = Store(lightOn_[index], enable);
    return gfx::kOk;
}

GraphicsResult DrawingState::GetLightEnable(uint32_t index, bool& enable) const {
    if (index >= kMaxLights) return gfx::kInvalidCall;
    enable = lightOn_[index];
    return gfx::kOk;
}

GraphicsResult DrawingState::SetMaterial(const Material& material, bool* changed) {
    *changed = Store(material_, material);
    return gfx::kOk;
}

bool DrawingState::Mine(const void* resource) const { return resource == nullptr || host_->Holds(resource); }

GraphicsResult DrawingState::SetTexture(uint32_t stage, ITexture* texture, bool* changed) {
    if (stage >= kMaxStages) return gfx::kInvalidCall;
    // What is bound is known to be ours (a resource going away is unbound): only a new one is looked up.
    if (texture == textures_[stage]) {
        *changed = false;
        return gfx::kOk;
    }
    if (!Mine(texture)) return gfx::kInvalidCall;
    *changed = Store(textures_[stage], texture);
    return gfx::kOk;
}

GraphicsResult DrawingState::GetTexture(uint32_t stage, ITexture*& texture) const {
    if (stage >= kMaxStages) return gfx::kInvalidCall;
    texture = textures_[stage];
    return gfx::kOk;
}

GraphicsResult DrawingState::SetFvf(uint32_t fvf, bool* changed) {
    if (VertexStride(fvf) == 0) return gfx::kInvalidCall;
    *changed = Store(fvf_, fvf);
    return gfx::kOk;
}

GraphicsResult DrawingState::SetStream(uint32_t stream, IVertexBuffer* buffer, uint32_t offset, uint32_t stride,
                                       bool* changed) {
    if (stream != 0) return gfx::kInvalidCall;  // one stream is all the pipeline here reads
    if (buffer != stream_ && !Mine(buffer)) return gfx::kInvalidCall;
    bool a = Store(stream_, buffer), b = Store(streamOffset_, offset), c = Store(streamStride_, stride);
    *changed = a || b || c;
    return gfx::kOk;
}

GraphicsResult DrawingState::SetIndices(IIndexBuffer* buffer, bool* changed) {
    if (buffer != indices_ && !Mine(buffer)) return gfx::kInvalidCall;
    *changed = Store(indices_, buffer);
    return gfx::kOk;
}

GraphicsResult DrawingState::CheckDraw(PrimitiveType type, uint32_t startVertex, uint32_t primitives,
                                       uint32_t* count) const {
    const uint64_t n = PrimitiveVertexCount(type, primitives);
    const uint32_t size = VertexStride(fvf_);
    if (n == 0 || stream_ == nullptr || size == 0 || streamStride_ < size) return gfx::kInvalidCall;
    const uint64_t end = streamOffset_ + (startVertex + n - 1) * streamStride_ + size;
    if (end > stream_->GetSize()) return gfx::kInvalidCall;
    *count = static_cast<uint32_t>(n);
    return gfx::kOk;
}

GraphicsResult DrawingState::CheckIndexedDraw(PrimitiveType type, int32_t baseVertex, uint32_t startIndex,
                                              uint32_t primitives, uint32_t* count) const {
    const uint64_t n = PrimitiveVertexCount(type, primitives);
    const uint32_t size = VertexStride(fvf_);
    // A negative base vertex would need every index scanned; nothing here draws with one.
    if (n == 0 || stream_ == nullptr || indices_ == nullptr || size == 0 || streamStride_ < size || baseVertex < 0) {
        return gfx::kInvalidCall;
    }
    // Only the host's own buffers are bound, and every index buffer of a host is a BasicIndexBuffer.
    const BasicIndexBuffer* indices = static_cast<const BasicIndexBuffer*>(indices_);
    if (startIndex + n > indices->IndexCount()) return gfx::kInvalidCall;
    const uint64_t last = static_cast<uint64_t>(baseVertex) + indices->MaxIndex(startIndex, static_cast<uint32_t>(n));
    if (streamOffset_ + last * streamStride_ + size > stream_->GetSize()) return gfx::kInvalidCall;
    *count = static_cast<uint32_t>(n);
    return gfx::kOk;
}

GraphicsResult DrawingState::CheckUserDraw(PrimitiveType type, uint32_t primitives, const void* vertices,
                                           uint32_t stride, uint32_t* count) const {
    const uint64_t n = PrimitiveVertexCount(type, primitives);
    const uint32_t size = VertexStride(fvf_);
    if (n == 0 || n > 0xFFFFFFu || vertices == nullptr || size == 0 || stride < size) return gfx::kInvalidCall;
    *count = static_cast<uint32_t>(n);
    return gfx::kOk;
}

GraphicsResult DrawingState::CheckUserIndexedDraw(PrimitiveType type, uint32_t minIndex, uint32_t vertexCount,
                                                  uint32_t primitives, const void* indices, IndexFormat format,
                                                  const void* vertices, uint32_t stride, uint32_t* count) const {
    const uint64_t n = PrimitiveVertexCount(type, primitives);
    const uint32_t size = VertexStride(fvf_);
    if (n == 0 || n > 0xFFFFFFu || indices == nullptr || vertices == nullptr || size == 0 || stride < size ||
        (format != IndexFormat::Index16 && format != IndexFormat::Index32)) {
        return gfx::kInvalidCall;
    }
    // The caller promises the vertices minIndex .. minIndex + vertexCount - 1; nothing past them is read.
    if (static_cast<uint64_t>(LargestIndex(indices, format, static_cast<uint32_t>(n))) >=
        static_cast<uint64_t>(minIndex) + vertexCount) {
        return gfx::kInvalidCall;
    }
    *count = static_cast<uint32_t>(n);
    return gfx::kOk;
}

void DrawingState::Forget(const void* resource) {
    for (ITexture*& texture : textures_) {
        if (static_cast<const void*>(texture) == resource) texture = nullptr;
    }
    if (static_cast<const void*>(stream_) == resource) stream_ = nullptr;
    if (static_cast<const void*>(indices_) == resource) indices_ = nullptr;
}

}  // namespace plat
