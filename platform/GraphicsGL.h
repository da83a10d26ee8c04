#pragma once
// Platform-internal: the OpenGL graphics system and device behind platform/Graphics.h. Engine code
// includes platform/Graphics.h only; drawing facilities extend GLGraphicsDevice in further files.

#include <SDL.h>
#define GL_GLEXT_PROTOTYPES 1
#include <SDL_opengl.h>

#include <array>
#include <map>

#include "platform/Graphics.h"
#include "platform/Window.h"

namespace plat {

class GLGraphicsDevice;

// Completes a display's 32-bit mode list so that a window of a sensible size can always be chosen
// (the list is the window sizes on offer too). A display without any usable mode (an off-screen one)
// gets the usual window sizes that fit its desktop, largest first as real displays list them; one with
// no 32-bit mode up to 1024 x 768 gets the largest usual size up to that which fits its desktop, last.
// A zero desktop size is taken as unknown.
void AddWindowSizes(std::vector<AdapterMode>& modes32, bool anyOtherMode, const AdapterMode& desktop);

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

class GLGraphicsDevice : public IGraphicsDevice {
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
    void SimulateDeviceLoss(bool resettable) override;

protected:
    enum class Loss { None, Held, HeldWhileMinimised, Resettable };
    bool Lost() const { return loss_ != Loss::None; }
    void MakeCurrent();
    // Leaves the back buffer bound for drawing.
    void BindBackBuffer();
    // Copies a multisampled back buffer into the single-sample one that Present and read-back use
    // (callers switch the scissor test off); leaves the framebuffer bindings to the caller.
    GLuint Resolve();
    void ReleaseBackBuffer();
    GraphicsResult BuildBackBuffer(PresentParameters& parameters);
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
    GLuint frameBuffer_ = 0;
    GLuint colourBuffer_ = 0;
    GLuint depthBuffer_ = 0;
    GLuint resolveFrameBuffer_ = 0;
    GLuint resolveColourBuffer_ = 0;
    std::vector<std::string> notes_;
    int refusedSwapInterval_ = -1;  // the last swap interval the driver refused, told in a note
};

}  // namespace plat
