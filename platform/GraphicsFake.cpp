#include "platform/GraphicsFake.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/GraphicsState.h"
#include "platform/GraphicsTestHooks.h"

namespace plat {

namespace {

// 0 to 2 for the display formats, 3 for any depth format.
int FormatKind(Format format) {
    if (FormatDepthBits(format) != 0) return 3;
    return DisplayFormatIndex(format);
}

std::string Describe(const PresentParameters& p) {
    return std::to_string(p.backBufferWidth) + "x" + std::to_string(p.backBufferHeight) +
           ",windowed=" + (p.windowed ? "1" : "0") + ",samples=" + std::to_string(p.multiSampleType);
}

std::string Number(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), value >= 0x10000 ? "0x%X" : "%u", value);
    return text;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%X", value);
    return text;
}

std::string Float(float value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%g", value);
    return text;
}

std::string Colour(const ColourValue& c) { return Float(c.r) + " " + Float(c.g) + " " + Float(c.b) + " " + Float(c.a); }

std::string Vec(const Vector3& v) { return Float(v.x) + " " + Float(v.y) + " " + Float(v.z); }

// Names of the ids the journal spells out; others appear as numbers.
template <class Id>
struct IdName {
    Id id;
    const char* name;
};

template <class Id, size_t N>
const char* Lookup(const IdName<Id> (&names)[N], Id id) {
    for (const IdName<Id>& entry : names) {
        if (entry.id == id) return entry.name;
    }
    return nullptr;
}

#define TV_N(Kind, n) \
    { Kind::n, #n }
const IdName<RenderState> kRenderStateNames[] = {
    TV_N(RenderState, ZEnable),          TV_N(RenderState, ShadeMode),
    TV_N(RenderState, ZWriteEnable),     TV_N(RenderState, AlphaTestEnable),
    TV_N(RenderState, SrcBlend),         TV_N(RenderState, DestBlend),
    TV_N(RenderState, CullMode),         TV_N(RenderState, ZFunc),
    TV_N(RenderState, AlphaRef),         TV_N(RenderState, AlphaFunc),
    TV_N(RenderState, DitherEnable),     TV_N(RenderState, AlphaBlendEnable),
    TV_N(RenderState, FogEnable),        TV_N(RenderState, SpecularEnable),
    TV_N(RenderState, FogColour),        TV_N(RenderState, FogTableMode),
    TV_N(RenderState, FogStart),         TV_N(RenderState, FogEnd),
    TV_N(RenderState, FogDensity),       TV_N(RenderState, RangeFogEnable),
    TV_N(RenderState, TextureFactor),    TV_N(RenderState, Lighting),
    TV_N(RenderState, Ambient),          TV_N(RenderState, FogVertexMode),
    TV_N(RenderState, ColourVertex),     TV_N(RenderState, LocalViewer),
    TV_N(RenderState, NormalizeNormals), TV_N(RenderState, MultisampleAntialias),
};
const IdName<SamplerState> kSamplerStateNames[] = {
    TV_N(SamplerState, AddressU),      TV_N(SamplerState, AddressV),  TV_N(SamplerState, AddressW),
    TV_N(SamplerState, MagFilter),     TV_N(SamplerState, MinFilter), TV_N(SamplerState, MipFilter),
    TV_N(SamplerState, MaxAnisotropy),
};
const IdName<StageState> kStageStateNames[] = {
    TV_N(StageState, ColourOp),      TV_N(StageState, ColourArg1),
    TV_N(StageState, ColourArg2),    TV_N(StageState, AlphaOp),
    TV_N(StageState, AlphaArg1),     TV_N(StageState, AlphaArg2),
    TV_N(StageState, TexCoordIndex), TV_N(StageState, TextureTransformFlags),
    TV_N(StageState, ColourArg0),    TV_N(StageState, AlphaArg0),
};
const IdName<Format> kFormatNames[] = {
    TV_N(Format, Argb8888),         TV_N(Format, Xrgb8888), TV_N(Format, Rgb565), TV_N(Format, Argb1555),
    TV_N(Format, Xrgb1555),         TV_N(Format, Argb4444), TV_N(Format, Alpha8), TV_N(Format, Luminance8),
    TV_N(Format, AlphaLuminance88), TV_N(Format, Dxt1),     TV_N(Format, Dxt3),   TV_N(Format, Dxt5),
};
#undef TV_N

template <class Id>
std::string Name(const char* name, Id id) {
    return name != nullptr ? name : std::to_string(static_cast<uint32_t>(id));
}

std::string TransformName(TransformKind kind) {
    const uint32_t id = static_cast<uint32_t>(kind);
    if (kind == TransformKind::World) return "World";
    if (kind == TransformKind::View) return "View";
    if (kind == TransformKind::Projection) return "Projection";
    if (id >= 16 && id < 16 + kMaxStages) return "Texture" + std::to_string(id - 16);
    return std::to_string(id);
}

const char* PrimitiveName(PrimitiveType type) {
    static const char* const kNames[] = {
        "?", "PointList", "LineList", "LineStrip", "TriangleList", "TriangleStrip", "TriangleFan"};
    const uint32_t id = static_cast<uint32_t>(type);
    return id <= 6 ? kNames[id] : "?";
}

const char* FormatName(Format format) {
    const char* name = Lookup(kFormatNames, format);
    return name != nullptr ? name : "?";
}

// Resources of the fake are named in the journal by kind and number: T1, VB1, IB1.
class Named {
public:
    virtual ~Named() {}
    std::string name_;
};

std::string NameOf(const void* resource, const ResourceHost& host) {
    if (resource == nullptr) return "null";
    for (const DeviceResource* r : host.Resources()) {
        if (r->Handle() == resource) return dynamic_cast<const Named*>(r)->name_;
    }
    return "?";
}

class FakeTexture : public BasicTexture, public Named {
public:
    FakeTexture(ResourceHost* host, std::vector<std::string>* journal, uint32_t w, uint32_t h, uint32_t levels,
                Format format)
        : BasicTexture(host, w, h, levels, format), journal_(journal) {}
    ~FakeTexture() override { journal_->push_back("Destroy(" + name_ + ")"); }

protected:
    void OnLevelChanged(uint32_t level) override {
        journal_->push_back("Fill(" + name_ + ", " + std::to_string(level) + ")");
    }

private:
    std::vector<std::string>* journal_;
};

class FakeVertexBuffer : public BasicVertexBuffer, public Named {
public:
    FakeVertexBuffer(ResourceHost* host, std::vector<std::string>* journal, uint32_t length)
        : BasicVertexBuffer(host, length), journal_(journal) {}
    ~FakeVertexBuffer() override { journal_->push_back("Destroy(" + name_ + ")"); }

protected:
    void OnChanged() override { journal_->push_back("Fill(" + name_ + ")"); }

private:
    std::vector<std::string>* journal_;
};

class FakeIndexBuffer : public BasicIndexBuffer, public Named {
public:
    FakeIndexBuffer(ResourceHost* host, std::vector<std::string>* journal, uint32_t length, IndexFormat format)
        : BasicIndexBuffer(host, length, format), journal_(journal) {}
    ~FakeIndexBuffer() override { journal_->push_back("Destroy(" + name_ + ")"); }

protected:
    void OnChanged() override { journal_->push_back("Fill(" + name_ + ")"); }

private:
    std::vector<std::string>* journal_;
};

class FakeGraphicsDevice : public IGraphicsDevice, public IGraphicsTestHooks, public ResourceHost {
public:
    FakeGraphicsDevice(std::shared_ptr<FakeGraphicsState> state, const PresentParameters& parameters,
                       const DeviceCaps& caps)
        : state_(state), parameters_(parameters), caps_(caps), drawing_(this, parameters.enableAutoDepthStencil) {
        ++state_->deviceCount;
        notes_.swap(state_->fallbackNotes);
        viewport_.width = parameters.backBufferWidth;
        viewport_.height = parameters.backBufferHeight;
    }
    ~FakeGraphicsDevice() override {
        DetachAll();
        --state_->deviceCount;
        state_->journal.push_back("Release");
    }

    GraphicsResult Present() override {
        state_->journal.push_back("Present");
        return lost_ ? gfx::kDeviceLost : gfx::kOk;
    }
    GraphicsResult TestCooperativeLevel() override {
        state_->journal.push_back("TestCooperativeLevel");
        if (!lost_) return gfx::kOk;
        return resettable_ ? gfx::kDeviceNotReset : gfx::kDeviceLost;
    }
    GraphicsResult Reset(PresentParameters& parameters) override {
        state_->journal.push_back("Reset(" + Describe(parameters) + ")");
        if (lost_ && !resettable_) return gfx::kDeviceLost;
        if (state_->resetFailures > 0) {
            --state_->resetFailures;
            lost_ = resettable_ = true;
            return gfx::kNotAvailable;
        }
        lost_ = resettable_ = false;
        parameters_ = parameters;
        drawing_ = DrawingState(this, parameters.enableAutoDepthStencil);  // a reset brings the defaults back
        state_->lastParameters = parameters;
        notes_.swap(state_->fallbackNotes);
        return gfx::kOk;
    }
    GraphicsResult GetDeviceCaps(DeviceCaps& caps) override {
        state_->journal.push_back("GetDeviceCaps");
        caps = caps_;
        return gfx::kOk;
    }
    const PresentParameters& GetParameters() const override { return parameters_; }
    GraphicsResult BeginScene() override {
        if (inScene_) return gfx::kInvalidCall;
        inScene_ = true;
        return gfx::kOk;
    }
    GraphicsResult EndScene() override {
        if (!inScene_) return gfx::kInvalidCall;
        inScene_ = false;
        return gfx::kOk;
    }
    GraphicsResult SetViewport(const Viewport& viewport) override {
        if (static_cast<uint64_t>(viewport.x) + viewport.width > parameters_.backBufferWidth ||
            static_cast<uint64_t>(viewport.y) + viewport.height > parameters_.backBufferHeight) {
            return gfx::kInvalidCall;
        }
        viewport_ = viewport;
        return gfx::kOk;
    }
    GraphicsResult GetViewport(Viewport& viewport) override {
        viewport = viewport_;
        return gfx::kOk;
    }
    GraphicsResult Clear(uint32_t, const Rect*, uint32_t flags, uint32_t colour, float, uint32_t) override {
        // With what and where: a clear covers the viewport, as on the real device.
        state_->journal.push_back("Clear(" + std::to_string(flags) + ", " + Hex(colour) + ") in " +
                                  std::to_string(viewport_.x) + " " + std::to_string(viewport_.y) + " " +
                                  std::to_string(viewport_.width) + " " + std::to_string(viewport_.height));
        if (!lost_ && (flags & kClearTarget) != 0) state_->clearColour = colour | 0xFF000000u;
        return gfx::kOk;
    }
    GraphicsResult ReadBackBuffer(std::vector<uint32_t>& pixels, uint32_t& width, uint32_t& height) override {
        if (lost_) return gfx::kDeviceLost;
        width = parameters_.backBufferWidth;
        height = parameters_.backBufferHeight;
        pixels.assign(static_cast<size_t>(width) * height, state_->clearColour);
        return gfx::kOk;
    }
    std::vector<std::string> TakeFallbackNotes() override {
        std::vector<std::string> notes;
        notes.swap(notes_);
        return notes;
    }
    uint32_t GetAvailableTextureMem() override {
        state_->journal.push_back("GetAvailableTextureMem");
        return state_->freeVideoMemory;
    }
    void SimulateDeviceLoss(bool resettable) override {
        lost_ = true;
        resettable_ = resettable;
    }
    void ForceOffScreenBackBuffer(bool) override {}
    bool DrawsDirect() const override { return false; }

    GraphicsResult SetRenderState(RenderState state, uint32_t value) override {
        const bool floating =
            state == RenderState::FogStart || state == RenderState::FogEnd || state == RenderState::FogDensity;
        Log("SetRenderState(" + Name(Lookup(kRenderStateNames, state), state) + ", " +
            (floating ? Float(BitsFloat(value)) : Number(value)) + ")");
        bool changed;
        return drawing_.SetRender(state, value, &changed);
    }
    GraphicsResult GetRenderState(RenderState state, uint32_t& value) override {
        return drawing_.GetRender(state, value);
    }
    GraphicsResult SetSamplerState(uint32_t sampler, SamplerState state, uint32_t value) override {
        Log("SetSamplerState(" + std::to_string(sampler) + ", " + Name(Lookup(kSamplerStateNames, state), state) +
            ", " + Number(value) + ")");
        bool changed;
        return drawing_.SetSampler(sampler, state, value, &changed);
    }
    GraphicsResult GetSamplerState(uint32_t sampler, SamplerState state, uint32_t& value) override {
        return drawing_.GetSampler(sampler, state, value);
    }
    GraphicsResult SetTextureStageState(uint32_t stage, StageState state, uint32_t value) override {
        Log("SetTextureStageState(" + std::to_string(stage) + ", " + Name(Lookup(kStageStateNames, state), state) +
            ", " + Number(value) + ")");
        bool changed;
        return drawing_.SetStage(stage, state, value, &changed);
    }
    GraphicsResult GetTextureStageState(uint32_t stage, StageState state, uint32_t& value) override {
        return drawing_.GetStage(stage, state, value);
    }
    GraphicsResult SetTransform(TransformKind kind, const Matrix& matrix) override {
        std::string line = "SetTransform(" + TransformName(kind) + ",";
        for (int row = 0; row < 4; ++row) {
            line += row == 0 ? " " : " / ";
            for (int column = 0; column < 4; ++column) line += (column ? " " : "") + Float(matrix.m[row][column]);
        }
        Log(line + ")");
        bool changed;
        return drawing_.SetTransform(kind, matrix, &changed);
    }
    GraphicsResult GetTransform(TransformKind kind, Matrix& matrix) override {
        return drawing_.GetTransform(kind, matrix);
    }
    GraphicsResult SetLight(uint32_t index, const Light& light) override {
        Log("SetLight(" + std::to_string(index) + ", type " + std::to_string(static_cast<uint32_t>(light.type)) +
            ", diffuse " + Colour(light.diffuse) + ", specular " + Colour(light.specular) + ", ambient " +
            Colour(light.ambient) + ", position " + Vec(light.position) + ", direction " + Vec(light.direction) + ")");
        bool changed;
        return drawing_.SetLight(index, light, &changed);
    }
    GraphicsResult GetLight(uint32_t index, Light& light) override { return drawing_.GetLight(index, light); }
    GraphicsResult LightEnable(uint32_t index, bool enable) override {
        Log("LightEnable(" + std::to_string(index) + ", " + (enable ? "1" : "0") + ")");
        bool changed;
        return drawing_.EnableLight(index, enable, &changed);
    }
    GraphicsResult GetLightEnable(uint32_t index, bool& enable) override {
        return drawing_.GetLightEnable(index, enable);
    }
    GraphicsResult SetMaterial(const Material& m) override {
        Log("SetMaterial(diffuse " + Colour(m.diffuse) + ", ambient " + Colour(m.ambient) + ", specular " +
            Colour(m.specular) + ", emissive " + Colour(m.emissive) + ", power " + Float(m.power) + ")");
        bool changed;
        return drawing_.SetMaterial(m, &changed);
    }
    GraphicsResult GetMaterial(Material& material) override {
        material = drawing_.GetMaterial();
        return gfx::kOk;
    }
    GraphicsResult CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t, Format format, Pool,
                                 std::unique_ptr<ITexture>& texture) override {
        texture.reset();
        std::string line = "CreateTexture(" + std::to_string(width) + ", " + std::to_string(height) + ", " +
                           std::to_string(levels) + ", " + FormatName(format) + ")";
        GraphicsResult result = BasicTexture::Check(width, height, levels, format, caps_.maxTextureWidth);
        if (Succeeded(result)) {
            FakeTexture* made = new FakeTexture(this, &state_->journal, width, height, levels, format);
            made->name_ = "T" + std::to_string(++textures_);
            texture.reset(made);
            line += " = " + made->name_;
        }
        Log(line);
        return result;
    }
    GraphicsResult CreateVertexBuffer(uint32_t length, uint32_t, uint32_t fvf, Pool,
                                      std::unique_ptr<IVertexBuffer>& buffer) override {
        buffer.reset();
        std::string line = "CreateVertexBuffer(" + std::to_string(length) + ", " + Hex(fvf) + ")";
        if (length == 0 || length > kMaxBufferBytes) {
            Log(line);
            return gfx::kInvalidCall;
        }
        FakeVertexBuffer* made = new FakeVertexBuffer(this, &state_->journal, length);
        made->name_ = "VB" + std::to_string(++vertexBuffers_);
        buffer.reset(made);
        Log(line + " = " + made->name_);
        return gfx::kOk;
    }
    GraphicsResult CreateIndexBuffer(uint32_t length, uint32_t, IndexFormat format, Pool,
                                     std::unique_ptr<IIndexBuffer>& buffer) override {
        buffer.reset();
        const bool sixteen = format == IndexFormat::Index16;
        std::string line = "CreateIndexBuffer(" + std::to_string(length) + ", " + (sixteen ? "16" : "32") + ")";
        if (length == 0 || length > kMaxBufferBytes || (!sixteen && format != IndexFormat::Index32)) {
            Log(line);
            return gfx::kInvalidCall;
        }
        FakeIndexBuffer* made = new FakeIndexBuffer(this, &state_->journal, length, format);
        made->name_ = "IB" + std::to_string(++indexBuffers_);
        buffer.reset(made);
        Log(line + " = " + made->name_);
        return gfx::kOk;
    }
    GraphicsResult SetTexture(uint32_t stage, ITexture* texture) override {
        Log("SetTexture(" + std::to_string(stage) + ", " + NameOf(texture, *this) + ")");
        bool changed;
        return drawing_.SetTexture(stage, texture, &changed);
    }
    GraphicsResult GetTexture(uint32_t stage, ITexture*& texture) override {
        return drawing_.GetTexture(stage, texture);
    }
    GraphicsResult SetFVF(uint32_t fvf) override {
        Log("SetFVF(" + Hex(fvf) + ")");
        bool changed;
        return drawing_.SetFvf(fvf, &changed);
    }
    GraphicsResult GetFVF(uint32_t& fvf) override {
        fvf = drawing_.Fvf();
        return gfx::kOk;
    }
    GraphicsResult SetStreamSource(uint32_t stream, IVertexBuffer* buffer, uint32_t offset, uint32_t stride) override {
        Log("SetStreamSource(" + std::to_string(stream) + ", " + NameOf(buffer, *this) + ", " + std::to_string(offset) +
            ", " + std::to_string(stride) + ")");
        bool changed;
        return drawing_.SetStream(stream, buffer, offset, stride, &changed);
    }
    GraphicsResult SetIndices(IIndexBuffer* buffer) override {
        Log("SetIndices(" + NameOf(buffer, *this) + ")");
        bool changed;
        return drawing_.SetIndices(buffer, &changed);
    }
    GraphicsResult DrawPrimitive(PrimitiveType type, uint32_t start, uint32_t primitives) override {
        Log(std::string("DrawPrimitive(") + PrimitiveName(type) + ", " + std::to_string(start) + ", " +
            std::to_string(primitives) + ")");
        uint32_t count;
        return drawing_.CheckDraw(type, start, primitives, &count);
    }
    GraphicsResult DrawIndexedPrimitive(PrimitiveType type, int32_t base, uint32_t minIndex, uint32_t vertexCount,
                                        uint32_t startIndex, uint32_t primitives) override {
        Log(std::string("DrawIndexedPrimitive(") + PrimitiveName(type) + ", " + std::to_string(base) + ", " +
            std::to_string(minIndex) + ", " + std::to_string(vertexCount) + ", " + std::to_string(startIndex) + ", " +
            std::to_string(primitives) + ")");
        uint32_t count;
        return drawing_.CheckIndexedDraw(type, base, startIndex, primitives, &count);
    }
    GraphicsResult DrawPrimitiveUP(PrimitiveType type, uint32_t primitives, const void* vertices,
                                   uint32_t stride) override {
        std::string line = std::string("DrawPrimitiveUP(") + PrimitiveName(type) + ", " + std::to_string(primitives) +
                           ", " + std::to_string(stride) + ")";
        uint32_t count = 0;
        const GraphicsResult result = drawing_.CheckUserDraw(type, primitives, vertices, stride, &count);
        uint32_t fvf = 0;
        GetFVF(fvf);
        // Screen-space vertices with a colour: the box they span and the first one's colour, so that
        // tests see where a plain quad lands and in what colour.
        if (Succeeded(result) && count > 0 && (fvf & kFvfXyzRhw) != 0 && (fvf & kFvfDiffuse) != 0 && stride >= 20) {
            float lo[2] = {0, 0}, hi[2] = {0, 0};
            for (uint32_t i = 0; i < count; ++i) {
                float xy[2];
                std::memcpy(xy, static_cast<const uint8_t*>(vertices) + static_cast<size_t>(i) * stride, sizeof xy);
                for (int k = 0; k < 2; ++k) {
                    lo[k] = i == 0 ? xy[k] : std::min(lo[k], xy[k]);
                    hi[k] = i == 0 ? xy[k] : std::max(hi[k], xy[k]);
                }
            }
            uint32_t diffuse;
            std::memcpy(&diffuse, static_cast<const uint8_t*>(vertices) + 16, sizeof diffuse);
            line += " (" + Float(lo[0]) + " " + Float(lo[1]) + ")-(" + Float(hi[0]) + " " + Float(hi[1]) + ") " +
                    Hex(diffuse);
        }
        Log(line);
        return result;
    }
    GraphicsResult DrawIndexedPrimitiveUP(PrimitiveType type, uint32_t minIndex, uint32_t vertexCount,
                                          uint32_t primitives, const void* indices, IndexFormat format,
                                          const void* vertices, uint32_t stride) override {
        Log(std::string("DrawIndexedPrimitiveUP(") + PrimitiveName(type) + ", " + std::to_string(minIndex) + ", " +
            std::to_string(vertexCount) + ", " + std::to_string(primitives) + ", " + std::to_string(stride) + ")");
        uint32_t count;
        return drawing_.CheckUserIndexedDraw(type, minIndex, vertexCount, primitives, indices, format, vertices, stride,
                                             &count);
    }

private:
    static const uint32_t kMaxBufferBytes = 256u << 20;
    void Log(std::string line) { state_->journal.push_back(std::move(line)); }
    void OnResourceGone(DeviceResource* resource) override { drawing_.Forget(resource->Handle()); }
    std::shared_ptr<FakeGraphicsState> state_;
    PresentParameters parameters_;
    DeviceCaps caps_;
    Viewport viewport_;
    std::vector<std::string> notes_;
    bool lost_ = false;
    bool resettable_ = false;
    bool inScene_ = false;
    DrawingState drawing_;
    uint32_t textures_ = 0, vertexBuffers_ = 0, indexBuffers_ = 0;
};

class FakeGraphicsSystem : public IGraphicsSystem {
public:
    explicit FakeGraphicsSystem(std::shared_ptr<FakeGraphicsState> state) : state_(state) {}

    uint32_t GetAdapterCount() override { return static_cast<uint32_t>(state_->adapters.size()); }
    GraphicsResult GetAdapterDescription(uint32_t adapter, std::string& description) override {
        if (adapter >= GetAdapterCount()) return gfx::kInvalidCall;
        description = state_->adapters[adapter].description;
        return gfx::kOk;
    }
    GraphicsResult GetAdapterDisplayMode(uint32_t adapter, AdapterMode& mode) override {
        if (adapter >= GetAdapterCount()) return gfx::kInvalidCall;
        mode.width = 1024;
        mode.height = 768;
        mode.refreshRate = 60;
        mode.format = Format::Xrgb8888;
        return gfx::kOk;
    }
    uint32_t GetAdapterModeCount(uint32_t adapter, Format format) override {
        int kind = FormatKind(format);
        if (adapter >= GetAdapterCount() || kind < 0 || kind > 2) return 0;
        return static_cast<uint32_t>(state_->adapters[adapter].modes[kind].size());
    }
    GraphicsResult EnumAdapterModes(uint32_t adapter, Format format, uint32_t index, AdapterMode& mode) override {
        if (index >= GetAdapterModeCount(adapter, format)) return gfx::kInvalidCall;
        mode = state_->adapters[adapter].modes[FormatKind(format)][index];
        return gfx::kOk;
    }
    GraphicsResult GetDeviceCaps(uint32_t adapter, DeviceType type, DeviceCaps& caps) override {
        if (adapter >= GetAdapterCount()) return gfx::kInvalidCall;
        if (state_->adapters[adapter].capsFail) return gfx::kNotAvailable;
        caps = state_->adapters[adapter].caps;
        caps.deviceType = type;
        caps.adapterOrdinal = adapter;
        return gfx::kOk;
    }
    GraphicsResult CheckDeviceMultiSampleType(uint32_t adapter, DeviceType, Format format, bool windowed,
                                              uint32_t samples) override {
        int kind = FormatKind(format);
        if (adapter >= GetAdapterCount() || kind < 0 || samples > 16) return gfx::kInvalidCall;
        if (samples == 0) return gfx::kOk;
        const FakeAdapter& a = state_->adapters[adapter];
        bool usable =
            windowed && a.separateWindowedSamples ? a.samplesWindowed[kind][samples] : a.samples[kind][samples];
        return usable ? gfx::kOk : gfx::kNotAvailable;
    }
    GraphicsResult CreateDevice(uint32_t adapter, DeviceType type, Window*, uint32_t behaviour,
                                PresentParameters& parameters, std::unique_ptr<IGraphicsDevice>& device) override {
        char flags[16];
        std::snprintf(flags, sizeof(flags), "0x%x", behaviour);
        state_->journal.push_back("CreateDevice(adapter=" + std::to_string(adapter) +
                                  ",type=" + std::to_string(static_cast<uint32_t>(type)) + ",behaviour=" + flags + "," +
                                  Describe(parameters) + ")");
        device.reset();
        if (adapter >= GetAdapterCount()) return gfx::kInvalidCall;
        if (state_->createFailures > 0) {
            --state_->createFailures;
            return gfx::kNotAvailable;
        }
        DeviceCaps caps;
        GetDeviceCaps(adapter, type, caps);
        state_->lastParameters = parameters;
        device.reset(new FakeGraphicsDevice(state_, parameters, caps));
        return gfx::kOk;
    }

private:
    std::shared_ptr<FakeGraphicsState> state_;
};

}  // namespace

std::unique_ptr<IGraphicsSystem> CreateFakeGraphicsSystem(std::shared_ptr<FakeGraphicsState> state) {
    return std::unique_ptr<IGraphicsSystem>(new FakeGraphicsSystem(state));
}

FakeAdapter MakeFakeAdapter(const std::string& description) {
    FakeAdapter adapter;
    adapter.description = description;
    adapter.caps.maxAnisotropy = 16;
    adapter.caps.maxSamples = 4;
    adapter.caps.maxTextureWidth = adapter.caps.maxTextureHeight = 4096;
    adapter.caps.textureFilterCaps =
        kFilterMinLinear | kFilterMagLinear | kFilterMinAnisotropic | kFilterMagAnisotropic;
    for (int kind = 0; kind < 3; ++kind) {
        AdapterMode mode;
        mode.width = 640;
        mode.height = 480;
        mode.refreshRate = 60;
        mode.format = kDisplayFormats[kind];
        adapter.modes[kind].push_back(mode);
    }
    for (int kind = 0; kind < 4; ++kind) adapter.samples[kind][4] = true;
    return adapter;
}

}  // namespace plat
