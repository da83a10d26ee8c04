#pragma once
// Stands in for the 3D graphics runtime: the graphics system (adapters, display modes, multisample
// checks, device creation) and its one device (present, reset, the lost state, clear, viewport).
// Backed by OpenGL 2.1 (compatibility) over SDL2; a scripted fake serves tests without GL.
// Drawing (states, transforms, lights, buffers, textures, draws) is not here yet; it joins the device.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

    // Test hook: behave as if the device had been lost; `resettable` says whether a Reset may
    // succeed at once (kDeviceNotReset) or only after a later call with true (kDeviceLost).
    virtual void SimulateDeviceLoss(bool resettable) = 0;
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
