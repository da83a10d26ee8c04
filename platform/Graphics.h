#pragma once
// Stands in for the 3D graphics runtime: the graphics system (adapters, display modes, multisample
// checks, device creation) and its one device (present, reset, the lost state, clear, viewport).
// and drawing with the fixed-function pipeline (render, sampler and texture-stage states, transforms,
// lights, materials, fog, buffers, textures, draws). Backed by OpenGL 2.1 (compatibility) over SDL2; a
// recording fake serves tests without GL. No shaders, no stencil, no render targets but the back buffer.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Matrix.h"
#include "platform/Rect.h"

namespace plat {

class Window;

// Result codes keep the runtime's numeric values, which logs and callers compare against.
typedef int32_t GraphicsResult;
namespace gfx {
const GraphicsResult kOk = 0;
const GraphicsResult kFail = static_cast<GraphicsResult>(0x80004005u);
const GraphicsResult kOutOfMemory = static_cast<GraphicsResult>(0x8007000Eu);
const GraphicsResult kInvalidArgument = static_cast<GraphicsResult>(0x80070057u);
const GraphicsResult kOutOfVideoMemory = static_cast<GraphicsResult>(0x8876017Cu);
const GraphicsResult kNotAvailable = static_cast<GraphicsResult>(0x8876086Au);
const GraphicsResult kInvalidCall = static_cast<GraphicsResult>(0x8876086Cu);
const GraphicsResult kDeviceLost = static_cast<GraphicsResult>(0x88760868u);
const GraphicsResult kDeviceNotReset = static_cast<GraphicsResult>(0x88760869u);
const GraphicsResult kInvalidData = static_cast<GraphicsResult>(0x88760B59u);  // from the image loader
}  // namespace gfx

inline bool Succeeded(GraphicsResult result) { return result >= 0; }
inline bool Failed(GraphicsResult result) { return result < 0; }

// Name and one-line description of a result, for the error log line; false for codes not known here.
bool DescribeGraphicsResult(GraphicsResult result, const char** name, const char** description);

// Surface and texture formats, numbered as the runtime numbers them.
enum class Format : uint32_t {
    Unknown = 0,
    Rgb888 = 20,
    Argb8888 = 21,
    Xrgb8888 = 22,
    Rgb565 = 23,
    Xrgb1555 = 24,
    Argb1555 = 25,
    Argb4444 = 26,
    Alpha8 = 28,
    Luminance8 = 50,
    AlphaLuminance88 = 51,
    Dxt1 = 0x31545844,  // block-compressed texture formats carry their four-character codes
    Dxt3 = 0x33545844,
    Dxt5 = 0x35545844,
    Depth32 = 71,
    Depth24X8 = 77,
    Depth16 = 80,
};

// The display formats, in the order adapters list their modes: 32, 16 and 15 bits per pixel.
const int kDisplayFormatCount = 3;
extern const Format kDisplayFormats[kDisplayFormatCount];
// Index of a display format in kDisplayFormats, -1 for others.
int DisplayFormatIndex(Format format);

// Bits per pixel of a display format (32, 16, 15), 0 for others.
uint32_t FormatBitsPerPixel(Format format);
// Bytes per texel of an uncompressed texture format, 0 for others.
uint32_t FormatBytesPerTexel(Format format);
// Whether a texture format is stored in 4x4 compressed blocks.
inline bool IsBlockFormat(Format format) {
    return format == Format::Dxt1 || format == Format::Dxt3 || format == Format::Dxt5;
}
// Depth bits of a depth format (16, 24, 32), 0 for others.
uint32_t FormatDepthBits(Format format);

enum class DeviceType : uint32_t { Hardware = 1, Reference = 2, Software = 3 };

// Behaviour flags at device creation; vertex processing has no meaning over GL and is accepted as given.
const uint32_t kCreateSoftwareVertexProcessing = 0x20;
const uint32_t kCreateHardwareVertexProcessing = 0x40;

enum class SwapEffect : uint32_t { Discard = 1, Flip = 2, Copy = 3 };

const uint32_t kPresentIntervalDefault = 0;
const uint32_t kPresentIntervalOne = 1;
const uint32_t kPresentIntervalImmediate = 0x80000000u;

struct PresentParameters {
    uint32_t backBufferWidth = 0;  // 0 in a window: the window's client size
    uint32_t backBufferHeight = 0;
    Format backBufferFormat = Format::Unknown;  // Unknown in a window: the desktop's
    uint32_t backBufferCount = 0;
    uint32_t multiSampleType = 0;  // samples; 0 for none
    uint32_t multiSampleQuality = 0;
    SwapEffect swapEffect = SwapEffect::Discard;
    Window* deviceWindow = nullptr;
    bool windowed = false;
    bool enableAutoDepthStencil = false;
    Format autoDepthStencilFormat = Format::Unknown;
    uint32_t flags = 0;
    uint32_t fullScreenRefreshRate = 0;
    uint32_t presentationInterval = kPresentIntervalDefault;
};

struct AdapterMode {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t refreshRate = 0;  // Hz, 0 when unknown
    Format format = Format::Unknown;
};

// Texture filter capability bits.
const uint32_t kFilterMinPoint = 0x00000100;
const uint32_t kFilterMinLinear = 0x00000200;
const uint32_t kFilterMinAnisotropic = 0x00000400;
const uint32_t kFilterMipPoint = 0x00010000;
const uint32_t kFilterMipLinear = 0x00020000;
const uint32_t kFilterMagPoint = 0x01000000;
const uint32_t kFilterMagLinear = 0x02000000;
const uint32_t kFilterMagAnisotropic = 0x04000000;

struct DeviceCaps {
    DeviceType deviceType = DeviceType::Hardware;
    uint32_t adapterOrdinal = 0;
    uint32_t textureFilterCaps = 0;
    uint32_t maxTextureWidth = 0;
    uint32_t maxTextureHeight = 0;
    uint32_t maxAnisotropy = 0;
    uint32_t maxSamples = 0;
};

struct Viewport {
    uint32_t x = 0;  // from the top-left corner of the back buffer
    uint32_t y = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    float minZ = 0.0f;
    float maxZ = 1.0f;
};

// What Clear clears.
const uint32_t kClearTarget = 1;
const uint32_t kClearZBuffer = 2;
const uint32_t kClearStencil = 4;

// ---- drawing -----------------------------------------------------------------------------------
// Ids and values keep the runtime's numbers: content files and callers pass them as numbers.

enum class RenderState : uint32_t {
    ZEnable = 7,
    ShadeMode = 9,
    ZWriteEnable = 14,
    AlphaTestEnable = 15,
    SrcBlend = 19,
    DestBlend = 20,
    CullMode = 22,
    ZFunc = 23,
    AlphaRef = 24,
    AlphaFunc = 25,
    DitherEnable = 26,
    AlphaBlendEnable = 27,
    FogEnable = 28,
    SpecularEnable = 29,
    FogColour = 34,
    FogTableMode = 35,
    FogStart = 36,  // float bits, see FloatBits
    FogEnd = 37,
    FogDensity = 38,
    RangeFogEnable = 48,
    TextureFactor = 60,
    Lighting = 137,
    Ambient = 139,
    FogVertexMode = 140,
    ColourVertex = 141,
    LocalViewer = 142,
    NormalizeNormals = 143,
    MultisampleAntialias = 161,
};
const uint32_t kRenderStateLimit = 256;  // ids are below this

enum class ShadeMode : uint32_t { Flat = 1, Gouraud = 2 };
enum class Blend : uint32_t {
    Zero = 1,
    One = 2,
    SrcColour = 3,
    InvSrcColour = 4,
    SrcAlpha = 5,
    InvSrcAlpha = 6,
    DestAlpha = 7,
    InvDestAlpha = 8,
    DestColour = 9,
    InvDestColour = 10,
};
enum class Cull : uint32_t { None = 1, Clockwise = 2, CounterClockwise = 3 };
enum class Compare : uint32_t {
    Never = 1,
    Less = 2,
    Equal = 3,
    LessEqual = 4,
    Greater = 5,
    NotEqual = 6,
    GreaterEqual = 7,
    Always = 8
};
enum class FogMode : uint32_t { None = 0, Exp = 1, Exp2 = 2, Linear = 3 };

inline uint32_t FloatBits(float value) {
    uint32_t bits;
    static_assert(sizeof bits == sizeof value, "float states are 32 bits");
    __builtin_memcpy(&bits, &value, sizeof bits);
    return bits;
}
inline float BitsFloat(uint32_t bits) {
    float value;
    __builtin_memcpy(&value, &bits, sizeof value);
    return value;
}

enum class SamplerState : uint32_t {
    AddressU = 1,
    AddressV = 2,
    AddressW = 3,
    MagFilter = 5,
    MinFilter = 6,
    MipFilter = 7,
    MaxAnisotropy = 10,
};
const uint32_t kSamplerStateLimit = 14;
enum class TextureAddress : uint32_t { Wrap = 1, Mirror = 2, Clamp = 3 };
enum class TextureFilter : uint32_t { None = 0, Point = 1, Linear = 2, Anisotropic = 3 };

enum class StageState : uint32_t {
    ColourOp = 1,
    ColourArg1 = 2,
    ColourArg2 = 3,
    AlphaOp = 4,
    AlphaArg1 = 5,
    AlphaArg2 = 6,
    TexCoordIndex = 11,
    TextureTransformFlags = 24,
    ColourArg0 = 26,
    AlphaArg0 = 27,
};
const uint32_t kStageStateLimit = 33;
enum class TextureOp : uint32_t {
    Disable = 1,
    SelectArg1 = 2,
    SelectArg2 = 3,
    Modulate = 4,
    Modulate2x = 5,
    Add = 7,
    MultiplyAdd = 25,  // arg0 + arg1 x arg2
};
// Texture-stage arguments; the modifiers are or'ed in.
enum class TextureArg : uint32_t { Diffuse = 0, Current = 1, Texture = 2, Factor = 3 };
const uint32_t kTextureArgComplement = 0x10;
const uint32_t kTextureArgAlphaReplicate = 0x20;
// TexCoordIndex: the low bits pick the vertex's coordinate set; this asks for sphere-map coordinates.
const uint32_t kTexCoordSphereMap = 0x40000;
enum class TextureTransform : uint32_t { Disable = 0, Count2 = 2, Count3 = 3, Count4 = 4 };

const uint32_t kMaxStages = 8;
const uint32_t kMaxLights = 8;

enum class TransformKind : uint32_t {
    View = 2,
    Projection = 3,
    Texture0 = 16,  // Texture0 + n for stage n
    World = 256,
};
inline TransformKind TextureTransformOf(uint32_t stage) { return static_cast<TransformKind>(16 + stage); }

struct ColourValue {
    float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
};

struct Material {
    ColourValue diffuse, ambient, specular, emissive;
    float power = 0.0f;
};

enum class LightType : uint32_t { Point = 1, Spot = 2, Directional = 3 };

// Lights are given in world space.
struct Light {
    LightType type = LightType::Directional;
    ColourValue diffuse, specular, ambient;
    Vector3 position, direction;
    float range = 0.0f, falloff = 0.0f;
    float attenuation0 = 0.0f, attenuation1 = 0.0f, attenuation2 = 0.0f;
    float theta = 0.0f, phi = 0.0f;
};

// Flexible vertex format bits, in the order the fields lie in a vertex.
const uint32_t kFvfXyz = 0x002;
const uint32_t kFvfXyzRhw = 0x004;  // already in back-buffer pixels: x, y, depth 0..1, 1/w
const uint32_t kFvfNormal = 0x010;
const uint32_t kFvfDiffuse = 0x040;  // 0xAARRGGBB word
const uint32_t kFvfSpecular = 0x080;
const uint32_t kFvfTex1 = 0x100;  // Tex1 x n: n coordinate sets of two floats
const uint32_t kFvfTex2 = 0x200;
// Vertex size in bytes of a format this device draws; 0 for formats it does not.
uint32_t VertexStride(uint32_t fvf);

enum class PrimitiveType : uint32_t {
    PointList = 1,
    LineList = 2,
    LineStrip = 3,
    TriangleList = 4,
    TriangleStrip = 5,
    TriangleFan = 6
};
// Vertices (or indices) that `count` primitives use; 0 for an unknown type.
uint64_t PrimitiveVertexCount(PrimitiveType type, uint32_t count);

enum class IndexFormat : uint32_t { Index16 = 101, Index32 = 102 };
// Resources keep a copy in memory and outlive a lost device either way; the pool is kept as given.
enum class Pool : uint32_t { Default = 0, Managed = 1, SystemMemory = 2 };
const uint32_t kUsageWriteOnly = 0x8;

// Bytes in one row of a level (a row of 4 x 4 blocks for the compressed formats), 0 for formats that
// cannot be textures; level sizes halve down to 1.
uint32_t TexturePitch(Format format, uint32_t width);
uint32_t TextureRows(Format format, uint32_t height);
bool IsTextureFormat(Format format);

struct LockedRect {
    uint32_t pitch = 0;
    void* bits = nullptr;
};

struct LevelDesc {
    Format format = Format::Unknown;
    uint32_t width = 0;
    uint32_t height = 0;
};

// A texture: a chain of levels, each filled by LockRect/UnlockRect or UpdateLevel. Owned by the caller;
// it may outlive its device (it then draws nothing and its levels stay readable).
class ITexture {
public:
    virtual ~ITexture() {}
    virtual uint32_t GetLevelCount() const = 0;
    virtual GraphicsResult GetLevelDesc(uint32_t level, LevelDesc& desc) const = 0;
    // The whole level (rect null) or a part of it; a compressed level locks whole blocks.
    virtual GraphicsResult LockRect(uint32_t level, LockedRect& locked, const Rect* rect, uint32_t flags) = 0;
    virtual GraphicsResult UnlockRect(uint32_t level) = 0;
    // Replaces a whole level from rows `pitch` bytes apart, top row first.
    virtual GraphicsResult UpdateLevel(uint32_t level, const void* data, uint32_t pitch) = 0;
    // The same, taking over the bytes where they already have the level's layout (no copy).
    virtual GraphicsResult UpdateLevel(uint32_t level, std::vector<uint8_t>&& bytes, uint32_t pitch) = 0;
};

// Vertex and index data; owned by the caller like a texture.
class IVertexBuffer {
public:
    virtual ~IVertexBuffer() {}
    virtual uint32_t GetSize() const = 0;
    // offset and size 0 lock everything.
    virtual GraphicsResult Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) = 0;
    virtual GraphicsResult Unlock() = 0;
};

class IIndexBuffer {
public:
    virtual ~IIndexBuffer() {}
    virtual uint32_t GetSize() const = 0;
    virtual IndexFormat GetFormat() const = 0;
    virtual GraphicsResult Lock(uint32_t offset, uint32_t size, void** data, uint32_t flags) = 0;
    virtual GraphicsResult Unlock() = 0;
};

// The one rendering device. While lost every call but TestCooperativeLevel, Reset and the
// read-only ones does nothing; Present answers kDeviceLost.
class IGraphicsDevice {
public:
    virtual ~IGraphicsDevice() {}

    // Shows the back buffer in the device window, scaled to the window's drawable size.
    virtual GraphicsResult Present() = 0;
    // kOk, kDeviceLost (still lost) or kDeviceNotReset (lost, may be reset now).
    virtual GraphicsResult TestCooperativeLevel() = 0;
    // Rebuilds the back buffer, window mode and swap interval; on failure the device is lost.
    virtual GraphicsResult Reset(PresentParameters& parameters) = 0;
    virtual GraphicsResult GetDeviceCaps(DeviceCaps& caps) = 0;
    // The parameters in force, with the sizes and formats actually used.
    virtual const PresentParameters& GetParameters() const = 0;

    virtual GraphicsResult BeginScene() = 0;
    virtual GraphicsResult EndScene() = 0;
    virtual GraphicsResult SetViewport(const Viewport& viewport) = 0;
    virtual GraphicsResult GetViewport(Viewport& viewport) = 0;
    // Clears the viewport (or the given rectangles within it); colour is 0xAARRGGBB.
    virtual GraphicsResult Clear(uint32_t rectCount, const Rect* rects, uint32_t flags, uint32_t colour, float z,
                                 uint32_t stencil) = 0;

    // The back buffer as 0xAARRGGBB words, rows top first (what the next Present shows).
    virtual GraphicsResult ReadBackBuffer(std::vector<uint32_t>& pixels, uint32_t& width, uint32_t& height) = 0;

    // Notes on requests that could not be had and what was used instead (sample count, swap
    // interval, depth bits), gathered since the last call; the owner logs them.
    virtual std::vector<std::string> TakeFallbackNotes() = 0;

    // Free video memory in bytes as the driver tells it (at most 0xFFFFFFFF), 0 when it cannot tell.
    // A question to the driver, not a drawing state: for a status display, asked now and then.
    virtual uint32_t GetAvailableTextureMem() = 0;

    // ---- drawing: states are kept as set and read back from that copy, never from the driver.
    virtual GraphicsResult SetRenderState(RenderState state, uint32_t value) = 0;
    virtual GraphicsResult GetRenderState(RenderState state, uint32_t& value) = 0;
    virtual GraphicsResult SetSamplerState(uint32_t sampler, SamplerState state, uint32_t value) = 0;
    virtual GraphicsResult GetSamplerState(uint32_t sampler, SamplerState state, uint32_t& value) = 0;
    // A stage without a texture whose operation reads the texture passes the previous colour on.
    virtual GraphicsResult SetTextureStageState(uint32_t stage, StageState state, uint32_t value) = 0;
    virtual GraphicsResult GetTextureStageState(uint32_t stage, StageState state, uint32_t& value) = 0;
    // Named values for the states above.
    template <class Value>
    GraphicsResult SetRenderState(RenderState state, Value value) {
        return SetRenderState(state, static_cast<uint32_t>(value));
    }
    template <class Value>
    GraphicsResult SetSamplerState(uint32_t sampler, SamplerState state, Value value) {
        return SetSamplerState(sampler, state, static_cast<uint32_t>(value));
    }
    template <class Value>
    GraphicsResult SetTextureStageState(uint32_t stage, StageState state, Value value) {
        return SetTextureStageState(stage, state, static_cast<uint32_t>(value));
    }

    // Left-handed matrices as the math functions build them.
    virtual GraphicsResult SetTransform(TransformKind kind, const Matrix& matrix) = 0;
    virtual GraphicsResult GetTransform(TransformKind kind, Matrix& matrix) = 0;
    // Light indices below kMaxLights; a directional light needs a direction.
    virtual GraphicsResult SetLight(uint32_t index, const Light& light) = 0;
    virtual GraphicsResult GetLight(uint32_t index, Light& light) = 0;
    virtual GraphicsResult LightEnable(uint32_t index, bool enable) = 0;
    virtual GraphicsResult GetLightEnable(uint32_t index, bool& enable) = 0;
    virtual GraphicsResult SetMaterial(const Material& material) = 0;
    virtual GraphicsResult GetMaterial(Material& material) = 0;

    // levels 0: the whole chain down to 1 x 1.
    virtual GraphicsResult CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                                         Format format, Pool pool, std::unique_ptr<ITexture>& texture) = 0;
    virtual GraphicsResult CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, Pool pool,
                                              std::unique_ptr<IVertexBuffer>& buffer) = 0;
    virtual GraphicsResult CreateIndexBuffer(uint32_t length, uint32_t usage, IndexFormat format, Pool pool,
                                             std::unique_ptr<IIndexBuffer>& buffer) = 0;
    // Null clears the stage. The device does not own what is set; unset it before destroying it.
    virtual GraphicsResult SetTexture(uint32_t stage, ITexture* texture) = 0;
    virtual GraphicsResult GetTexture(uint32_t stage, ITexture*& texture) = 0;
    virtual GraphicsResult SetFVF(uint32_t fvf) = 0;
    virtual GraphicsResult GetFVF(uint32_t& fvf) = 0;
    virtual GraphicsResult SetStreamSource(uint32_t stream, IVertexBuffer* buffer, uint32_t offset,
                                           uint32_t stride) = 0;
    virtual GraphicsResult SetIndices(IIndexBuffer* buffer) = 0;

    // Draws refuse ranges outside their buffers (kInvalidCall) rather than read past them.
    virtual GraphicsResult DrawPrimitive(PrimitiveType type, uint32_t startVertex, uint32_t primitiveCount) = 0;
    virtual GraphicsResult DrawIndexedPrimitive(PrimitiveType type, int32_t baseVertex, uint32_t minIndex,
                                                uint32_t vertexCount, uint32_t startIndex, uint32_t primitiveCount) = 0;
    // From memory: `vertices` in the current vertex format, `stride` bytes apart.
    virtual GraphicsResult DrawPrimitiveUP(PrimitiveType type, uint32_t primitiveCount, const void* vertices,
                                           uint32_t stride) = 0;
    virtual GraphicsResult DrawIndexedPrimitiveUP(PrimitiveType type, uint32_t minIndex, uint32_t vertexCount,
                                                  uint32_t primitiveCount, const void* indices, IndexFormat format,
                                                  const void* vertices, uint32_t stride) = 0;
};

// The graphics system: what the adapters can do, and device creation.
class IGraphicsSystem {
public:
    virtual ~IGraphicsSystem() {}

    virtual uint32_t GetAdapterCount() = 0;
    virtual GraphicsResult GetAdapterDescription(uint32_t adapter, std::string& description) = 0;
    virtual GraphicsResult GetAdapterDisplayMode(uint32_t adapter, AdapterMode& mode) = 0;
    // Modes of one display format (Xrgb8888, Rgb565 or Xrgb1555).
    virtual uint32_t GetAdapterModeCount(uint32_t adapter, Format format) = 0;
    virtual GraphicsResult EnumAdapterModes(uint32_t adapter, Format format, uint32_t index, AdapterMode& mode) = 0;
    virtual GraphicsResult GetDeviceCaps(uint32_t adapter, DeviceType type, DeviceCaps& caps) = 0;
    // kOk when a back buffer (or depth buffer) of that format can have exactly that many samples.
    virtual GraphicsResult CheckDeviceMultiSampleType(uint32_t adapter, DeviceType type, Format format, bool windowed,
                                                      uint32_t samples) = 0;
    // Zero or missing sizes and formats in `parameters` are filled in with what was used.
    virtual GraphicsResult CreateDevice(uint32_t adapter, DeviceType type, Window* focusWindow, uint32_t behaviour,
                                        PresentParameters& parameters, std::unique_ptr<IGraphicsDevice>& device) = 0;
};

// The OpenGL system; null when video or GL cannot be brought up.
std::unique_ptr<IGraphicsSystem> CreateGraphicsSystem();

}  // namespace plat
