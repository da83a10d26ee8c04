#pragma once
// Platform-internal: the OpenGL graphics system and device behind platform/Graphics.h. Engine code
// includes platform/Graphics.h only; the device turns its drawing state into GL through a
// GLStateTranslator (GraphicsDraw.h).

#include <SDL.h>
#define GL_GLEXT_PROTOTYPES 1
#include <SDL_opengl.h>

#include <array>
#include <map>

#include "platform/Graphics.h"
#include "platform/GraphicsDraw.h"
#include "platform/GraphicsState.h"
#include "platform/GraphicsTestHooks.h"
#include "platform/Window.h"

namespace plat {

class GLGraphicsDevice;

// Completes a display's 32-bit mode list with the usual window sizes that fit its desktop and that it
// does not list itself, largest first, after its own (the list is the window sizes on offer too); on a
// desktop smaller than all of them, the smallest. A zero desktop size is taken as unknown: every usual
// size is added.
void AddWindowSizes(std::vector<AdapterMode>& modes32, const AdapterMode& desktop);

class GLGraphicsSystem : public IGraphicsSystem {
public:
    GLGraphicsSystem();
    ~GLGraphicsSystem() override;
    bool Ready() const { return videoReady_ && glReady_; }

    uint32_t GetAdapterCount() override;
    GraphicsResult GetAdapterDescription(uint32_t adapter, std::string& description) override;
    GraphicsResult GetAdapterDisplayMode(uint32_t adapter, AdapterMode& mode) override;
    uint32_t GetAdapterModeCount(uint32_t adapter, Format format) override;
    GraphicsResult EnumAdapterModes(uint32_t adapter, Format format, uint32_t index, AdapterMode& mode) override;
    GraphicsResult GetDeviceCaps(uint32_t adapter, DeviceType type, DeviceCaps& caps) override;
    GraphicsResult CheckDeviceMultiSampleType(uint32_t adapter, DeviceType type, Format format, bool windowed,
                                              uint32_t samples) override;
    GraphicsResult CreateDevice(uint32_t adapter, DeviceType type, Window* focusWindow, uint32_t behaviour,
                                PresentParameters& parameters, std::unique_ptr<IGraphicsDevice>& device) override;

private:
    // What a throw-away context on the adapter's display can do; made once per adapter.
    struct Probe {
        bool ok = false;
        std::string renderer;
        DeviceCaps caps;
        std::array<std::array<bool, 17>, 4> samples{};  // [32/16/15-bit colour, 16-bit depth][count]
    };
    struct Modes {
        std::vector<AdapterMode> byFormat[3];
    };
    const Probe& ProbeAdapter(uint32_t adapter);
    const Modes& ModesOf(uint32_t adapter);

    bool videoReady_ = false;
    bool glReady_ = false;
    std::map<uint32_t, Probe> probes_;
    std::map<uint32_t, Modes> modes_;
};

// The device keeps the caller's drawing state (DrawingState); its translator keeps what GL was last
// told and turns changed state into GL calls at the next draw. GL is never asked for its state while
// drawing.
class GLGraphicsDevice : public IGraphicsDevice, public IGraphicsTestHooks, public ResourceHost {
public:
    GLGraphicsDevice(Window* window, SDL_GLContext context, uint32_t adapter, DeviceType type);
    ~GLGraphicsDevice() override;
    GraphicsResult Apply(PresentParameters& parameters);

    GraphicsResult Present() override;
    GraphicsResult TestCooperativeLevel() override;
    GraphicsResult Reset(PresentParameters& parameters) override;
    GraphicsResult GetDeviceCaps(DeviceCaps& caps) override;
    const PresentParameters& GetParameters() const override { return parameters_; }
    GraphicsResult BeginScene() override;
    GraphicsResult EndScene() override;
    GraphicsResult SetViewport(const Viewport& viewport) override;
    GraphicsResult GetViewport(Viewport& viewport) override;
    GraphicsResult Clear(uint32_t rectCount, const Rect* rects, uint32_t flags, uint32_t colour, float z,
                         uint32_t stencil) override;
    GraphicsResult ReadBackBuffer(std::vector<uint32_t>& pixels, uint32_t& width, uint32_t& height) override;
    std::vector<std::string> TakeFallbackNotes() override;
    uint32_t GetAvailableTextureMem() override;
    void SimulateDeviceLoss(bool resettable) override;
    void ForceOffScreenBackBuffer(bool force) override;
    bool DrawsDirect() const override { return direct_; }

    GraphicsResult SetRenderState(RenderState state, uint32_t value) override;
    GraphicsResult GetRenderState(RenderState state, uint32_t& value) override;
    GraphicsResult SetSamplerState(uint32_t sampler, SamplerState state, uint32_t value) override;
    GraphicsResult GetSamplerState(uint32_t sampler, SamplerState state, uint32_t& value) override;
    GraphicsResult SetTextureStageState(uint32_t stage, StageState state, uint32_t value) override;
    GraphicsResult GetTextureStageState(uint32_t stage, StageState state, uint32_t& value) override;
    GraphicsResult SetTransform(TransformKind kind, const Matrix& matrix) override;
    GraphicsResult GetTransform(TransformKind kind, Matrix& matrix) override;
    GraphicsResult SetLight(uint32_t index, const Light& light) override;
    GraphicsResult GetLight(uint32_t index, Light& light) override;
    GraphicsResult LightEnable(uint32_t index, bool enable) override;
    GraphicsResult GetLightEnable(uint32_t index, bool& enable) override;
    GraphicsResult SetMaterial(const Material& material) override;
    GraphicsResult GetMaterial(Material& material) override;
    GraphicsResult CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, Format format,
                                 Pool pool, std::unique_ptr<ITexture>& texture) override;
    GraphicsResult CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, Pool pool,
                                      std::unique_ptr<IVertexBuffer>& buffer) override;
    GraphicsResult CreateIndexBuffer(uint32_t length, uint32_t usage, IndexFormat format, Pool pool,
                                     std::unique_ptr<IIndexBuffer>& buffer) override;
    GraphicsResult SetTexture(uint32_t stage, ITexture* texture) override;
    GraphicsResult GetTexture(uint32_t stage, ITexture*& texture) override;
    GraphicsResult SetFVF(uint32_t fvf) override;
    GraphicsResult GetFVF(uint32_t& fvf) override;
    GraphicsResult SetStreamSource(uint32_t stream, IVertexBuffer* buffer, uint32_t offset, uint32_t stride) override;
    GraphicsResult SetIndices(IIndexBuffer* buffer) override;
    GraphicsResult DrawPrimitive(PrimitiveType type, uint32_t startVertex, uint32_t primitiveCount) override;
    GraphicsResult DrawIndexedPrimitive(PrimitiveType type, int32_t baseVertex, uint32_t minIndex, uint32_t vertexCount,
                                        uint32_t startIndex, uint32_t primitiveCount) override;
    GraphicsResult DrawPrimitiveUP(PrimitiveType type, uint32_t primitiveCount, const void* vertices,
                                   uint32_t stride) override;
    GraphicsResult DrawIndexedPrimitiveUP(PrimitiveType type, uint32_t minIndex, uint32_t vertexCount,
                                          uint32_t primitiveCount, const void* indices, IndexFormat format,
                                          const void* vertices, uint32_t stride) override;

protected:
    enum class Loss { None, Held, HeldWhileMinimised, Resettable };
    // The driver's extension that tells free video memory, if any.
    enum class MemoryInfo { None, Nvx, Ati };
    void MakeCurrent();
    bool Lost() const { return loss_ != Loss::None; }
    // Leaves the back buffer bound for drawing.
    void BindBackBuffer();
    // Copies a multisampled back buffer into the single-sample one that Present and read-back use
    // (callers switch the scissor test off); leaves the framebuffer bindings to the caller.
    GLuint Resolve();
    void ReleaseBackBuffer();
    GraphicsResult BuildBackBuffer(PresentParameters& parameters);
    // Whether the back buffer can be the window's own: same size, no multisampling, 32-bit colour, a
    // depth buffer the window's can stand for, and contents that need not outlive Present.
    bool DirectPossible(const PresentParameters& parameters) const;
    // Builds the back buffer off screen, or takes the window's framebuffer when it can.
    GraphicsResult BuildTarget(PresentParameters& parameters);
    GraphicsResult ApplyWindowMode(const PresentParameters& parameters);
    void ApplySwapInterval(uint32_t interval);
    void Note(const std::string& text) { notes_.push_back(text); }

    Window* window_;
    SDL_Window* native_;
    SDL_GLContext context_;
    DeviceCaps caps_;
    PresentParameters parameters_;
    Viewport viewport_;
    Loss loss_ = Loss::None;
    bool inScene_ = false;
    bool fullScreen_ = false;
    uint32_t samples_ = 0;
    bool direct_ = false;          // drawing straight into the window's framebuffer
    bool forceOffScreen_ = false;  // a test hook: always the off-screen target
    int windowDepthBits_ = 0;      // of the window's own framebuffer
    MemoryInfo memoryInfo_ = MemoryInfo::None;
    GLuint frameBuffer_ = 0;
    GLuint colourBuffer_ = 0;
    GLuint depthBuffer_ = 0;
    GLuint resolveFrameBuffer_ = 0;
    GLuint resolveColourBuffer_ = 0;
    std::vector<std::string> notes_;
    int refusedSwapInterval_ = -1;  // the last swap interval the driver refused, told in a note

private:
    void OnResourceGone(DeviceResource* resource) override;
    // Forgets what GL was last told (after a reset, or when GL objects were dropped).
    void InvalidateShadow();
    // Brings GL up to the drawing state before a draw; false while the device is lost.
    bool Prepare();
    void Mark(uint32_t groups) { gl_.Mark(groups); }

    DrawingState drawing_;
    GLStateTranslator gl_;
    uint32_t clearColour_ = 0;
    float clearDepth_ = -1.0f;
    bool clearKnown_ = false;
};

}  // namespace plat
