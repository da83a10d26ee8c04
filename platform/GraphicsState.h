#pragma once
// Platform-internal: what both graphics devices (GL and the recording fake) share for drawing: the
// state as the caller set it, with the runtime's defaults and checks, and textures and buffers that
// keep their contents in memory (so they outlive a lost device and a driver that drops its copies).

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "platform/Graphics.h"

namespace plat {

class DeviceResource;

// The device side of its resources: it hears of each one's end, and lets go of them all at its own.
class ResourceHost {
public:
    virtual ~ResourceHost();
    void Register(DeviceResource* resource);
    void Unregister(DeviceResource* resource);
    // Tells every live resource that the device is going; afterwards they draw nothing.
    void DetachAll();
    const std::vector<DeviceResource*>& Resources() const { return resources_; }
    // Whether a live resource of this host is held as `handle` (compared, never followed).
    bool Holds(const void* handle) const { return handles_.count(handle) != 0; }

protected:
    // A resource is being destroyed: forget any binding of it.
    virtual void OnResourceGone(DeviceResource* resource) = 0;

private:
    friend class DeviceResource;
    std::vector<DeviceResource*> resources_;
    std::unordered_set<const void*> handles_;  // the resources' handles, for binding checks at every draw
};

class DeviceResource {
public:
    // `handle` is the resource as callers hold it (its interface), which bindings compare against.
    DeviceResource(ResourceHost* host, const void* handle) : host_(host), handle_(handle) { host_->Register(this); }
    virtual ~DeviceResource();
    DeviceResource(const DeviceResource&) = delete;
    DeviceResource& operator=(const DeviceResource&) = delete;
    // Drops the driver's copy (it is made again from memory when next needed).
    virtual void DropDriverCopy() {}
    ResourceHost* Host() const { return host_; }
    const void* Handle() const { return handle_; }

private:
    friend class ResourceHost;
    ResourceHost* host_;
    const void* handle_;
};

class BasicTexture : public ITexture, public DeviceResource {
public:
    struct Level {
        uint32_t width, height, pitch, rows;
        std::vector<uint8_t> bytes;
        bool locked = false;
    };
    // Checked by Create; throws std::bad_alloc only.
    BasicTexture(ResourceHost* host, uint32_t width, uint32_t height, uint32_t levels, Format format);
    // kOk, or why such a texture cannot be made (sizes above `maxSize`, formats that are not textures).
    static GraphicsResult Check(uint32_t width, uint32_t height, uint32_t levels, Format format, uint32_t maxSize);

    uint32_t GetLevelCount() const override { return static_cast<uint32_t>(levels_.size()); }
    GraphicsResult GetLevelDesc(uint32_t level, LevelDesc& desc) const override;
    GraphicsResult LockRect(uint32_t level, LockedRect& locked, const Rect* rect, uint32_t flags) override;
    GraphicsResult UnlockRect(uint32_t level) override;
    GraphicsResult UpdateLevel(uint32_t level, const void* data, uint32_t pitch) override;
    GraphicsResult UpdateLevel(uint32_t level, std::vector<uint8_t>&& bytes, uint32_t pitch) override;

    Format GetFormat() const { return format_; }
    const Level& GetLevel(uint32_t level) const { return levels_[level]; }

protected:
    // A level's contents changed (after an unlock or an update).
    virtual void OnLevelChanged(uint32_t level) = 0;

private:
    Format format_;
    std::vector<Level> levels_;
};

class BasicVertexBuffer : public IVertexBuffer, public DeviceResource {
public:
    BasicVertexBuffer(ResourceHost* host, uint32_t length)
        : DeviceResource(host, static_cast<IVertexBuffer*>(this)), bytes_(length) {}
    uint32_t GetSize() const override { return static_cast<uint32_t>(bytes_.size()); }
    GraphicsResult Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) override;
    GraphicsResult Unlock() override;
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

protected:
    virtual void OnChanged() = 0;

private:
    std::vector<uint8_t> bytes_;
    bool locked_ = false;
};

class BasicIndexBuffer : public IIndexBuffer, public DeviceResource {
public:
    BasicIndexBuffer(ResourceHost* host, uint32_t length, IndexFormat format)
        : DeviceResource(host, static_cast<IIndexBuffer*>(this)), bytes_(length), format_(format) {}
    uint32_t GetSize() const override { return static_cast<uint32_t>(bytes_.size()); }
    IndexFormat GetFormat() const override { return format_; }
    GraphicsResult Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) override;
    GraphicsResult Unlock() override;
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    uint32_t IndexSize() const { return format_ == IndexFormat::Index16 ? 2 : 4; }
    uint32_t IndexCount() const { return static_cast<uint32_t>(bytes_.size() / IndexSize()); }
    // The largest of `count` indices from `start` (kept for the whole buffer, scanned when a part is asked).
    uint32_t MaxIndex(uint32_t start, uint32_t count) const;

protected:
    virtual void OnChanged() = 0;

private:
    std::vector<uint8_t> bytes_;
    IndexFormat format_;
    bool locked_ = false;
    mutable bool maxKnown_ = false;
    mutable uint32_t max_ = 0;
};

// The largest index among `count` 16- or 32-bit indices.
uint32_t LargestIndex(const void* indices, IndexFormat format, uint32_t count);

// Drawing state as the caller set it. Every setter checks its arguments as the runtime does, stores,
// and says whether anything changed, so that devices do no work for a repeated setting.
class DrawingState {
public:
    // The runtime's defaults; the depth test is on when the device has a depth buffer. Only resources
    // of `host` can be bound.
    DrawingState(const ResourceHost* host, bool depthBuffer);

    GraphicsResult SetRender(RenderState state, uint32_t value, bool* changed);
    GraphicsResult GetRender(RenderState state, uint32_t& value) const;
    uint32_t Render(RenderState state) const { return render_[static_cast<uint32_t>(state)]; }
    GraphicsResult SetSampler(uint32_t sampler, SamplerState state, uint32_t value, bool* changed);
    GraphicsResult GetSampler(uint32_t sampler, SamplerState state, uint32_t& value) const;
    uint32_t Sampler(uint32_t sampler, SamplerState state) const {
        return sampler_[sampler][static_cast<uint32_t>(state)];
    }
    GraphicsResult SetStage(uint32_t stage, StageState state, uint32_t value, bool* changed);
    GraphicsResult GetStage(uint32_t stage, StageState state, uint32_t& value) const;
    uint32_t Stage(uint32_t stage, StageState state) const { return stage_[stage][static_cast<uint32_t>(state)]; }
    GraphicsResult SetTransform(TransformKind kind, const Matrix& matrix, bool* changed);
    GraphicsResult GetTransform(TransformKind kind, Matrix& matrix) const;
    const Matrix& World() const { return world_; }
    const Matrix& View() const { return view_; }
    const Matrix& Projection() const { return projection_; }
    const Matrix& TextureMatrix(uint32_t stage) const { return texture_[stage]; }
    GraphicsResult SetLight(uint32_t index, const Light& light, bool* changed);
    GraphicsResult GetLight(uint32_t index, Light& light) const;
    GraphicsResult EnableLight(uint32_t index, bool enable, bool* changed);
    GraphicsResult GetLightEnable(uint32_t index, bool& enable) const;
    const Light& LightAt(uint32_t index) const { return lights_[index]; }
    bool LightOn(uint32_t index) const { return lightOn_[index]; }
    GraphicsResult SetMaterial(const Material& material, bool* changed);
    const Material& GetMaterial() const { return material_; }
    GraphicsResult SetTexture(uint32_t stage, ITexture* texture, bool* changed);
    GraphicsResult GetTexture(uint32_t stage, ITexture*& texture) const;
    ITexture* TextureAt(uint32_t stage) const { return textures_[stage]; }
    GraphicsResult SetFvf(uint32_t fvf, bool* changed);
    uint32_t Fvf() const { return fvf_; }
    GraphicsResult SetStream(uint32_t stream, IVertexBuffer* buffer, uint32_t offset, uint32_t stride, bool* changed);
    IVertexBuffer* StreamBuffer() const { return stream_; }
    uint32_t StreamOffset() const { return streamOffset_; }
    uint32_t StreamStride() const { return streamStride_; }
    GraphicsResult SetIndices(IIndexBuffer* buffer, bool* changed);
    IIndexBuffer* Indices() const { return indices_; }
    // Clears every binding of a resource that is going away.
    void Forget(const void* resource);

    // Checks of a draw against the bound buffers and the vertex format; each gives the number of
    // vertices (or indices) to draw, and refuses what would read outside a buffer.
    GraphicsResult CheckDraw(PrimitiveType type, uint32_t startVertex, uint32_t primitives, uint32_t* count) const;
    GraphicsResult CheckIndexedDraw(PrimitiveType type, int32_t baseVertex, uint32_t startIndex, uint32_t primitives,
                                    uint32_t* count) const;
    GraphicsResult CheckUserDraw(PrimitiveType type, uint32_t primitives, const void* vertices, uint32_t stride,
                                 uint32_t* count) const;
    GraphicsResult CheckUserIndexedDraw(PrimitiveType type, uint32_t minIndex, uint32_t vertexCount,
                                        uint32_t primitives, const void* indices, IndexFormat format,
                                        const void* vertices, uint32_t stride, uint32_t* count) const;

private:
    bool Mine(const void* resource) const;

    const ResourceHost* host_;
    uint32_t render_[kRenderStateLimit];
    uint32_t sampler_[kMaxStages][kSamplerStateLimit];
    uint32_t stage_[kMaxStages][kStageStateLimit];
    Matrix world_, view_, projection_, texture_[kMaxStages];
    Light lights_[kMaxLights];
    bool lightOn_[kMaxLights] = {};
    Material material_;
    ITexture* textures_[kMaxStages] = {};
    uint32_t fvf_ = 0;
    IVertexBuffer* stream_ = nullptr;
    uint32_t streamOffset_ = 0, streamStride_ = 0;
    IIndexBuffer* indices_ = nullptr;
};

}  // namespace plat
