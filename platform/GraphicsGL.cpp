#include "platform/GraphicsGL.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#ifndef GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT
#define GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT 0x84FF
#endif
#ifndef GL_RGB565
#define GL_RGB565 0x8D62
#endif

namespace plat {

namespace {

// Which display format class an SDL pixel format belongs to, by its layout (SDL's own bit count
// says 24 for 32-bit pixels under X11); -1 for formats the dialog does not offer.
int FormatClassOf(Uint32 format) {
    switch (format) {
    case SDL_PIXELFORMAT_RGB888:
    case SDL_PIXELFORMAT_BGR888:
    case SDL_PIXELFORMAT_RGBX8888:
    case SDL_PIXELFORMAT_BGRX8888:
    case SDL_PIXELFORMAT_ARGB8888:
    case SDL_PIXELFORMAT_RGBA8888:
    case SDL_PIXELFORMAT_ABGR8888:
    case SDL_PIXELFORMAT_BGRA8888:
        return 0;
    case SDL_PIXELFORMAT_RGB565:
    case SDL_PIXELFORMAT_BGR565:
        return 1;
    case SDL_PIXELFORMAT_RGB555:
    case SDL_PIXELFORMAT_BGR555:
    case SDL_PIXELFORMAT_ARGB1555:
    case SDL_PIXELFORMAT_ABGR1555:
        return 2;
    default:
        return -1;
    }
}

GLenum ColourStorage(Format format) {
    switch (format) {
    case Format::Rgb565:
        return GL_RGB565;
    case Format::Xrgb1555:
        return GL_RGB5;
    default:
        return GL_RGB8;
    }
}

GLenum DepthStorage(uint32_t bits) {
    switch (bits) {
    case 16:
        return GL_DEPTH_COMPONENT16;
    case 32:
        return GL_DEPTH_COMPONENT32;
    default:
        return GL_DEPTH_COMPONENT24;
    }
}

Format DepthFormat(uint32_t bits) {
    switch (bits) {
    case 16:
        return Format::Depth16;
    case 32:
        return Format::Depth32;
    default:
        return Format::Depth24X8;
    }
}

void DrainErrors() {
    for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {}
}

// Multisampled storage of exactly `samples` samples, or false.
bool StorageWithSamples(GLenum internal, GLsizei samples, GLsizei width, GLsizei height, GLint* granted) {
    DrainErrors();
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, internal, width, height);
    *granted = -1;
    if (glGetError() != GL_NO_ERROR) return false;
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_SAMPLES, granted);
    return glGetError() == GL_NO_ERROR;
}

bool HasExtension(const char* name) {
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    if (glGetError() == GL_NO_ERROR && count > 0) {
        for (GLint i = 0; i < count; ++i) {
            const char* ext = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
            if (ext != nullptr && std::strcmp(ext, name) == 0) return true;
        }
        return false;
    }
    DrainErrors();
    const char* all = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (all == nullptr) return false;
    size_t length = std::strlen(name);
    for (const char* at = std::strstr(all, name); at != nullptr; at = std::strstr(at + 1, name)) {
        if ((at == all || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0')) return true;
    }
    return false;
}

}  // namespace

namespace {

int DisplayOf(SDL_Window* window) {
    const int display = SDL_GetWindowDisplayIndex(window);
    return display >= 0 ? display : 0;
}

// Whether the window's display has a mode of exactly this size, at any refresh rate and depth.
bool DisplayHasMode(SDL_Window* window, int width, int height) {
    const int display = DisplayOf(window);
    const int count = SDL_GetNumDisplayModes(display);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(display, i, &m) == 0 && m.w == width && m.h == height) return true;
    }
    return false;
}

bool DesktopMode(SDL_Window* window, DisplayMode& mode) {
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(DisplayOf(window), &desktop) != 0) return false;
    mode.width = desktop.w;
    mode.height = desktop.h;
    mode.refreshRate = desktop.refresh_rate;
    return true;
}

}  // namespace

namespace {

bool FrameBuffersAvailable() {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    return (version != nullptr && version[0] >= '3' && version[0] <= '9') || HasExtension("GL_ARB_framebuffer_object");
}

DeviceCaps QueryCaps(uint32_t adapter, DeviceType type) {
    DeviceCaps caps;
    caps.deviceType = type;
    caps.adapterOrdinal = adapter;
    GLint size = 0, samples = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    glGetIntegerv(GL_MAX_SAMPLES, &samples);
    DrainErrors();
    caps.maxTextureWidth = caps.maxTextureHeight = static_cast<uint32_t>(std::max(size, 0));
    caps.maxSamples = static_cast<uint32_t>(std::max(samples, 0));
    caps.textureFilterCaps =
        kFilterMinPoint | kFilterMinLinear | kFilterMipPoint | kFilterMipLinear | kFilterMagPoint | kFilterMagLinear;
    caps.maxAnisotropy = 1;
    if (HasExtension("GL_EXT_texture_filter_anisotropic") || HasExtension("GL_ARB_texture_filter_anisotropic")) {
        GLfloat anisotropy = 1.0f;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy);
        DrainErrors();
        caps.maxAnisotropy = static_cast<uint32_t>(std::max(anisotropy, 1.0f));
        caps.textureFilterCaps |= kFilterMinAnisotropic | kFilterMagAnisotropic;
    }
    return caps;
}

// A 2.1 compatibility context: the renderer draws with the fixed-function pipeline.
SDL_GLContext CreateContext(SDL_Window* window) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
    return SDL_GL_CreateContext(window);
}

// Keeps whatever context was current before a throw-away one is made, and brings it back.
class CurrentContextGuard {
public:
    CurrentContextGuard() : window_(SDL_GL_GetCurrentWindow()), context_(SDL_GL_GetCurrentContext()) {}
    ~CurrentContextGuard() {
        if (context_ != nullptr) SDL_GL_MakeCurrent(window_, context_);
    }

private:
    SDL_Window* window_;
    SDL_GLContext context_;
};

}  // namespace

std::unique_ptr<IGraphicsSystem> CreateGraphicsSystem() {
    GLGraphicsSystem* system = new GLGraphicsSystem();
    std::unique_ptr<IGraphicsSystem> owned(system);
    if (!system->Ready()) owned.reset();
    return owned;
}

// ---- system ----------------------------------------------------------------------------------

GLGraphicsSystem::GLGraphicsSystem() {
    videoReady_ = InitVideo(nullptr);
    if (videoReady_) glReady_ = SDL_GL_LoadLibrary(nullptr) == 0;
}

GLGraphicsSystem::~GLGraphicsSystem() {
    if (glReady_) SDL_GL_UnloadLibrary();
    if (videoReady_) QuitVideo();
}

uint32_t GLGraphicsSystem::GetAdapterCount() {
    int count = SDL_GetNumVideoDisplays();
    return count > 0 ? static_cast<uint32_t>(count) : 0;
}

GraphicsResult GLGraphicsSystem::GetAdapterDescription(uint32_t adapter, std::string& description) {
    if (adapter >= GetAdapterCount()) return gfx::kInvalidCall;
    const char* display = SDL_GetDisplayName(static_cast<int>(adapter));
    std::string name = display != nullptr ? display : std::to_string(adapter);
    const Probe& probe = ProbeAdapter(adapter);
    description = probe.renderer.empty() ? "Display " + name : probe.renderer + " on display " + name;
    return gfx::kOk;
}

GraphicsResult GLGraphicsSystem::GetAdapterDisplayMode(uint32_t adapter, AdapterMode& mode) {
    if (adapter >= GetAdapterCount()) return gfx::kInvalidCall;
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(static_cast<int>(adapter), &desktop) != 0) return gfx::kNotAvailable;
    mode.width = static_cast<uint32_t>(std::max(desktop.w, 0));
    mode.height = static_cast<uint32_t>(std::max(desktop.h, 0));
    mode.refreshRate = static_cast<uint32_t>(std::max(desktop.refresh_rate, 0));
    int formatClass = FormatClassOf(desktop.format);
    mode.format = formatClass >= 0 ? kDisplayFormats[formatClass] : Format::Xrgb8888;
    return gfx::kOk;
}

void AddWindowSizes(std::vector<AdapterMode>& modes32, const AdapterMode& desktop) {
    static const uint32_t kSizes[][2] = {{1920, 1080}, {1600, 900}, {1280, 1024}, {1280, 720},
                                         {1024, 768},  {800, 600},  {640, 480}};
    const bool knownDesktop = desktop.width > 0 && desktop.height > 0;
    const auto fits = [&](const uint32_t* size) {
        return !knownDesktop || (size[0] <= desktop.width && size[1] <= desktop.height);
    };
    // A desktop smaller than every usual size still gets the smallest (the list runs largest first): a
    // window somewhat larger than the screen beats a list with nothing to choose.
    const uint32_t* smallest = kSizes[std::size(kSizes) - 1];
    const bool noneFits = std::none_of(std::begin(kSizes), std::end(kSizes), fits);
    const std::size_t listed = modes32.size();
    for (const auto& size : kSizes) {
        if (!fits(size) && !(noneFits && size == smallest)) continue;
        const auto end = modes32.begin() + static_cast<std::ptrdiff_t>(listed);
        if (std::any_of(modes32.begin(), end,
                        [&](const AdapterMode& m) { return m.width == size[0] && m.height == size[1]; })) {
            continue;
        }
        AdapterMode mode;
        mode.width = size[0];
        mode.height = size[1];
        mode.refreshRate = knownDesktop ? desktop.refreshRate : 0;
        mode.format = Format::Xrgb8888;
        modes32.push_back(mode);
    }
}

const GLGraphicsSystem::Modes& GLGraphicsSystem::ModesOf(uint32_t adapter) {
    auto found = modes_.find(adapter);
    if (found != modes_.end()) return found->second;
    Modes& modes = modes_[adapter];
    int count = SDL_GetNumDisplayModes(static_cast<int>(adapter));
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(static_cast<int>(adapter), i, &m) != 0 || m.w <= 0 || m.h <= 0) continue;
        int formatClass = FormatClassOf(m.format);
        if (formatClass < 0) continue;
        AdapterMode mode;
        mode.width = static_cast<uint32_t>(m.w);
        mode.height = static_cast<uint32_t>(m.h);
        mode.refreshRate = static_cast<uint32_t>(std::max(m.refresh_rate, 0));
        mode.format = kDisplayFormats[formatClass];
        modes.byFormat[formatClass].push_back(mode);
    }
    AdapterMode desktop;
    if (GetAdapterDisplayMode(adapter, desktop) != gfx::kOk) desktop = AdapterMode();
    AddWindowSizes(modes.byFormat[0], desktop);
    return modes;
}

uint32_t GLGraphicsSystem::GetAdapterModeCount(uint32_t adapter, Format format) {
    int index = DisplayFormatIndex(format);
    if (adapter >= GetAdapterCount() || index < 0) return 0;
    return static_cast<uint32_t>(ModesOf(adapter).byFormat[index].size());
}

GraphicsResult GLGraphicsSystem::EnumAdapterModes(uint32_t adapter, Format format, uint32_t index, AdapterMode& mode) {
    int formatIndex = DisplayFormatIndex(format);
    if (adapter >= GetAdapterCount() || formatIndex < 0) return gfx::kInvalidCall;
    const std::vector<AdapterMode>& list = ModesOf(adapter).byFormat[formatIndex];
    if (index >= list.size()) return gfx::kInvalidCall;
    mode = list[index];
    return gfx::kOk;
}

const GLGraphicsSystem::Probe& GLGraphicsSystem::ProbeAdapter(uint32_t adapter) {
    auto found = probes_.find(adapter);
    if (found != probes_.end()) return found->second;
    Probe& probe = probes_[adapter];

    CurrentContextGuard keep;
    int position = static_cast<int>(SDL_WINDOWPOS_UNDEFINED_DISPLAY(adapter));
    SDL_Window* window = SDL_CreateWindow("", position, position, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (window == nullptr) return probe;
    SDL_GLContext context = CreateContext(window);
    if (context != nullptr && SDL_GL_MakeCurrent(window, context) == 0 && FrameBuffersAvailable()) {
        probe.ok = true;
        const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        probe.renderer = renderer != nullptr ? renderer : "";
        probe.caps = QueryCaps(adapter, DeviceType::Hardware);
        const GLenum storages[4] = {GL_RGB8, GL_RGB565, GL_RGB5, GL_DEPTH_COMPONENT16};
        GLuint buffer = 0;
        glGenRenderbuffers(1, &buffer);
        glBindRenderbuffer(GL_RENDERBUFFER, buffer);
        for (int kind = 0; kind < 4; ++kind) {
            for (GLint samples = 2; samples <= 16; ++samples) {
                GLint granted = 0;
                // Exact counts only: the dialog should offer what the device will really make.
                probe.samples[kind][samples] =
                    StorageWithSamples(storages[kind], samples, 64, 64, &granted) && granted == samples;
            }
        }
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        glDeleteRenderbuffers(1, &buffer);
        DrainErrors();
    }
    if (context != nullptr) {
        SDL_GL_MakeCurrent(window, nullptr);
        SDL_GL_DeleteContext(context);
    }
    SDL_DestroyWindow(window);
    return probe;
}

GraphicsResult GLGraphicsSystem::GetDeviceCaps(uint32_t adapter, DeviceType type, DeviceCaps& caps) {
    if (adapter >= GetAdapterCount()) return gfx::kInvalidCall;
    const Probe& probe = ProbeAdapter(adapter);
    if (!probe.ok) return gfx::kNotAvailable;
    caps = probe.caps;
    caps.deviceType = type;
    return gfx::kOk;
}

GraphicsResult GLGraphicsSystem::CheckDeviceMultiSampleType(uint32_t adapter, DeviceType, Format format, bool,
                                                            uint32_t samples) {
    if (adapter >= GetAdapterCount()) return gfx::kInvalidCall;
    int kind = FormatDepthBits(format) != 0 ? 3 : DisplayFormatIndex(format);
    if (kind < 0 || samples > 16) return gfx::kInvalidCall;
    if (samples == 0) return gfx::kOk;
    const Probe& probe = ProbeAdapter(adapter);
    return probe.ok && samples >= 2 && probe.samples[kind][samples] ? gfx::kOk : gfx::kNotAvailable;
}

GraphicsResult GLGraphicsSystem::CreateDevice(uint32_t adapter, DeviceType type, Window* focusWindow, uint32_t,
                                              PresentParameters& parameters, std::unique_ptr<IGraphicsDevice>& device) {
    device.reset();
    if (adapter >= GetAdapterCount()) return gfx::kInvalidCall;
    Window* target = parameters.deviceWindow != nullptr ? parameters.deviceWindow : focusWindow;
    SDL_Window* window = target != nullptr ? static_cast<SDL_Window*>(target->NativeHandle()) : nullptr;
    if (window == nullptr) return gfx::kInvalidCall;
    if ((SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL) == 0) return gfx::kNotAvailable;

    SDL_GLContext context = CreateContext(window);
    if (context == nullptr) return gfx::kNotAvailable;
    if (SDL_GL_MakeCurrent(window, context) != 0 || !FrameBuffersAvailable()) {
        SDL_GL_DeleteContext(context);
        return gfx::kNotAvailable;
    }
    std::unique_ptr<GLGraphicsDevice> created(new GLGraphicsDevice(target, context, adapter, type));
    GraphicsResult result = created->Apply(parameters);
    if (Failed(result)) return result;
    device = std::move(created);
    return gfx::kOk;
}

// ---- device ----------------------------------------------------------------------------------

GLGraphicsDevice::GLGraphicsDevice(Window* window, SDL_GLContext context, uint32_t adapter, DeviceType type)
    : window_(window),
      native_(static_cast<SDL_Window*>(window->NativeHandle())),
      context_(context),
      drawing_(this, false),
      gl_(drawing_, native_, context_, &notes_) {
    caps_ = QueryCaps(adapter, type);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glGetIntegerv(GL_DEPTH_BITS, &windowDepthBits_);
    DrainErrors();
    GLFeatures features;
    features.s3tc = HasExtension("GL_EXT_texture_compression_s3tc");
    features.bgraArrays = HasExtension("GL_ARB_vertex_array_bgra") || HasExtension("GL_EXT_vertex_array_bgra");
    features.multiplyAdd = HasExtension("GL_ATI_texture_env_combine3");
    memoryInfo_ = HasExtension("GL_NVX_gpu_memory_info") ? MemoryInfo::Nvx
                  : HasExtension("GL_ATI_meminfo")       ? MemoryInfo::Ati
                                                         : MemoryInfo::None;
    features.maxAnisotropy = caps_.maxAnisotropy;
    gl_.Init(features);
    drawing_ = DrawingState(this, parameters_.enableAutoDepthStencil);
    InvalidateShadow();
}

GLGraphicsDevice::~GLGraphicsDevice() {
    MakeCurrent();
    DetachAll();  // textures and buffers still held by callers give their GL objects up now
    gl_.Release();
    ReleaseBackBuffer();
    if (fullScreen_) window_->LeaveFullScreen();
    SDL_GL_MakeCurrent(native_, nullptr);
    SDL_GL_DeleteContext(context_);
}

void GLGraphicsDevice::MakeCurrent() { gl_.MakeCurrent(); }

void GLGraphicsDevice::InvalidateShadow() {
    gl_.Invalidate();
    clearKnown_ = false;
}

void GLGraphicsDevice::OnResourceGone(DeviceResource* resource) { drawing_.Forget(resource->Handle()); }

bool GLGraphicsDevice::Prepare() {
    if (Lost()) return false;
    MakeCurrent();
    gl_.Prepare((drawing_.Fvf() & kFvfXyzRhw) != 0, viewport_, samples_ != 0);
    return true;
}

void GLGraphicsDevice::BindBackBuffer() { glBindFramebuffer(GL_FRAMEBUFFER, frameBuffer_); }

void GLGraphicsDevice::ReleaseBackBuffer() {
    direct_ = false;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (frameBuffer_ != 0) glDeleteFramebuffers(1, &frameBuffer_);
    if (resolveFrameBuffer_ != 0) glDeleteFramebuffers(1, &resolveFrameBuffer_);
    if (colourBuffer_ != 0) glDeleteRenderbuffers(1, &colourBuffer_);
    if (depthBuffer_ != 0) glDeleteRenderbuffers(1, &depthBuffer_);
    if (resolveColourBuffer_ != 0) glDeleteRenderbuffers(1, &resolveColourBuffer_);
    frameBuffer_ = colourBuffer_ = depthBuffer_ = resolveFrameBuffer_ = resolveColourBuffer_ = 0;
    samples_ = 0;
}

GraphicsResult GLGraphicsDevice::ApplyWindowMode(const PresentParameters& parameters) {
    if (parameters.windowed) {
        if (fullScreen_) window_->LeaveFullScreen();
        fullScreen_ = false;
        return gfx::kOk;
    }
    DisplayMode mode;
    mode.width = static_cast<int>(parameters.backBufferWidth);
    mode.height = static_cast<int>(parameters.backBufferHeight);
    mode.refreshRate = static_cast<int>(parameters.fullScreenRefreshRate);
    // Only a mode the display has is switched to. Any other size (a window size on offer, or a mode
    // list that changed) keeps the desktop's mode, and Present scales the back buffer over the screen.
    if (!DisplayHasMode(native_, mode.width, mode.height)) {
        DisplayMode desktop;
        if (DesktopMode(native_, desktop)) {
            Note("Full screen " + std::to_string(mode.width) + " x " + std::to_string(mode.height) +
                 " is not a mode of the display; the picture is scaled to the desktop's " +
                 std::to_string(desktop.width) + " x " + std::to_string(desktop.height) + ".");
        }
        mode = DisplayMode();
    }
    std::string error;
    if (!window_->EnterFullScreen(mode, &error)) {
        Note("Full screen " + std::to_string(mode.width) + " x " + std::to_string(mode.height) + " refused: " + error);
        return gfx::kNotAvailable;
    }
    fullScreen_ = true;
    return gfx::kOk;
}

void GLGraphicsDevice::ApplySwapInterval(uint32_t interval) {
    int wanted = 1;  // "default" waits for the display, as "one" does
    if (interval == kPresentIntervalImmediate) {
        wanted = 0;
    } else if (interval == 2 || interval == 4 || interval == 8) {
        wanted = interval == 2 ? 2 : interval == 4 ? 3 : 4;  // two, three, four
    }
    if (SDL_GL_SetSwapInterval(wanted) == 0) return;
    const std::string reason = SDL_GetError();
    const int now = SDL_GL_GetSwapInterval();
    // A refusal to set what is already in force changes nothing; a real fallback is told once, not at
    // every reset.
    if (now == wanted) return;
    const bool told = refusedSwapInterval_ == wanted;
    refusedSwapInterval_ = wanted;
    if (wanted > 1 && SDL_GL_SetSwapInterval(1) == 0) {
        if (!told) {
            Note("Swap interval " + std::to_string(wanted) + " is not available (" + reason +
                 "); presenting at every vertical blank instead.");
        }
        return;
    }
    if (told) return;
    Note(std::string("Vertical sync cannot be switched ") + (wanted == 0 ? "off" : "on") + " (" + reason +
         "); the display's setting stays in force (swap interval " + std::to_string(now) + ").");
}

GraphicsResult GLGraphicsDevice::BuildBackBuffer(PresentParameters& parameters) {
    ReleaseBackBuffer();
    const GLsizei width = static_cast<GLsizei>(parameters.backBufferWidth);
    const GLsizei height = static_cast<GLsizei>(parameters.backBufferHeight);
    const GLenum colourStorage = ColourStorage(parameters.backBufferFormat);
    DrainErrors();

    glGenFramebuffers(1, &frameBuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, frameBuffer_);
    glGenRenderbuffers(1, &colourBuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, colourBuffer_);

    uint32_t wanted = parameters.multiSampleType >= 2 ? parameters.multiSampleType : 0;
    if (parameters.multiSampleType == 1) Note("Multisample type 1 has no sample count; drawing without multisampling.");
    if (wanted != 0) {
        GLint granted = 0;
        if (StorageWithSamples(colourStorage, static_cast<GLsizei>(wanted), width, height, &granted) && granted > 1) {
            samples_ = static_cast<uint32_t>(granted);
            if (samples_ != wanted) {
                Note("Multisampling with " + std::to_string(wanted) + " samples is not available; using " +
                     std::to_string(samples_) + ".");
            }
        } else {
            Note("Multisampling with " + std::to_string(wanted) +
                 " samples is not available; drawing without multisampling.");
        }
    }
    DrainErrors();
    if (samples_ == 0) glRenderbufferStorage(GL_RENDERBUFFER, colourStorage, width, height);
    if (glGetError() != GL_NO_ERROR) return gfx::kOutOfVideoMemory;
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourBuffer_);

    if (parameters.enableAutoDepthStencil) {
        uint32_t bits = FormatDepthBits(parameters.autoDepthStencilFormat);
        if (bits == 0) return gfx::kInvalidCall;
        glGenRenderbuffers(1, &depthBuffer_);
        glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer_);
        const uint32_t tries[] = {bits, 24, 16};
        uint32_t used = 0;
        for (uint32_t candidate : tries) {
            DrainErrors();
            glRenderbufferStorageMultisample(GL_RENDERBUFFER, static_cast<GLsizei>(samples_), DepthStorage(candidate),
                                             width, height);
            if (glGetError() == GL_NO_ERROR) {
                used = candidate;
                break;
            }
        }
        if (used == 0) return gfx::kOutOfVideoMemory;
        if (used != bits) {
            Note("A " + std::to_string(bits) + "-bit depth buffer is not available; using " + std::to_string(used) +
                 " bits.");
            parameters.autoDepthStencilFormat = DepthFormat(used);
        }
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer_);
    }
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return gfx::kNotAvailable;

    if (samples_ != 0) {
        glGenFramebuffers(1, &resolveFrameBuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, resolveFrameBuffer_);
        glGenRenderbuffers(1, &resolveColourBuffer_);
        glBindRenderbuffer(GL_RENDERBUFFER, resolveColourBuffer_);
        glRenderbufferStorage(GL_RENDERBUFFER, colourStorage, width, height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, resolveColourBuffer_);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return gfx::kNotAvailable;
    }
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    BindBackBuffer();
    if (samples_ != 0) glEnable(GL_MULTISAMPLE);
    return glGetError() == GL_NO_ERROR ? gfx::kOk : gfx::kNotAvailable;
}

bool GLGraphicsDevice::DirectPossible(const PresentParameters& parameters) const {
    if (forceOffScreen_ || parameters.multiSampleType != 0 || parameters.swapEffect != SwapEffect::Discard ||
        parameters.backBufferFormat != Format::Xrgb8888) {
        return false;
    }
    // The window's depth buffer serves a choice of 24 or 32 bits when it has at least as many (GLX
    // visuals often have 32 for 24); 16 bits, chosen for speed or memory, are kept as chosen.
    if (parameters.enableAutoDepthStencil) {
        const int bits = static_cast<int>(FormatDepthBits(parameters.autoDepthStencilFormat));
        if (bits < 24 || windowDepthBits_ < bits) return false;
    }
    int width = 0, height = 0;
    window_->GetSurfaceSize(&width, &height);
    return width > 0 && height > 0 && static_cast<uint32_t>(width) == parameters.backBufferWidth &&
           static_cast<uint32_t>(height) == parameters.backBufferHeight;
}

GraphicsResult GLGraphicsDevice::BuildTarget(PresentParameters& parameters) {
    if (!DirectPossible(parameters)) return BuildBackBuffer(parameters);
    // No copy at Present: drawing goes to the window's own back buffer.
    ReleaseBackBuffer();
    direct_ = true;
    BindBackBuffer();
    return gfx::kOk;
}

GraphicsResult GLGraphicsDevice::Apply(PresentParameters& parameters) {
    MakeCurrent();
    if (parameters.backBufferCount > 3 || parameters.swapEffect < SwapEffect::Discard ||
        parameters.swapEffect > SwapEffect::Copy) {
        return gfx::kInvalidCall;
    }
    if (parameters.windowed) {
        if (parameters.backBufferWidth == 0 || parameters.backBufferHeight == 0) {
            int w = 0, h = 0;
            window_->GetClientSize(&w, &h);
            if (parameters.backBufferWidth == 0) parameters.backBufferWidth = static_cast<uint32_t>(std::max(w, 1));
            if (parameters.backBufferHeight == 0) parameters.backBufferHeight = static_cast<uint32_t>(std::max(h, 1));
        }
        if (parameters.backBufferFormat == Format::Unknown) parameters.backBufferFormat = Format::Xrgb8888;
    }
    if (parameters.backBufferWidth == 0 || parameters.backBufferHeight == 0 || parameters.backBufferWidth > 16384 ||
        parameters.backBufferHeight > 16384) {
        return gfx::kInvalidCall;
    }
    if (FormatBitsPerPixel(parameters.backBufferFormat) == 0) return gfx::kNotAvailable;
    if (parameters.backBufferCount == 0) parameters.backBufferCount = 1;

    GraphicsResult result = ApplyWindowMode(parameters);
    if (Failed(result)) return result;
    result = BuildTarget(parameters);
    if (Failed(result) && samples_ != 0) {
        // Some drivers grant the samples for colour but not for the depth buffer beside it.
        Note("A back buffer with " + std::to_string(samples_) +
             " samples cannot be completed; drawing without multisampling.");
        parameters.multiSampleType = 0;
        result = BuildBackBuffer(parameters);
    }
    if (Failed(result)) {
        ReleaseBackBuffer();
        return result;
    }
    ApplySwapInterval(parameters.presentationInterval);

    parameters_ = parameters;
    parameters_.multiSampleType = samples_;
    Viewport whole;
    whole.width = parameters.backBufferWidth;
    whole.height = parameters.backBufferHeight;
    viewport_ = whole;
    glViewport(0, 0, static_cast<GLsizei>(whole.width), static_cast<GLsizei>(whole.height));
    glDepthRange(0.0, 1.0);
    inScene_ = false;
    // As with the runtime, a reset brings every drawing state back to its default.
    drawing_ = DrawingState(this, parameters_.enableAutoDepthStencil);
    InvalidateShadow();
    return gfx::kOk;
}

GraphicsResult GLGraphicsDevice::Present() {
    if (Lost()) return gfx::kDeviceLost;
    if (fullScreen_ && window_->IsMinimized()) {
        loss_ = Loss::HeldWhileMinimised;  // a full-screen device cannot show while its window is away
        return gfx::kDeviceLost;
    }
    MakeCurrent();
    if (direct_) {
        SDL_GL_SwapWindow(native_);
        return gfx::kOk;
    }
    GLuint source = Resolve();  // the scissor test is only ever on inside Clear
    int drawableWidth = 0, drawableHeight = 0;
    window_->GetDrawableSize(&drawableWidth, &drawableHeight);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    const GLint width = static_cast<GLint>(parameters_.backBufferWidth);
    const GLint height = static_cast<GLint>(parameters_.backBufferHeight);
    bool scaled = width != drawableWidth || height != drawableHeight;
    glBlitFramebuffer(0, 0, width, height, 0, 0, drawableWidth, drawableHeight, GL_COLOR_BUFFER_BIT,
                      scaled ? GL_LINEAR : GL_NEAREST);
    SDL_GL_SwapWindow(native_);
    BindBackBuffer();
    return gfx::kOk;
}

GLuint GLGraphicsDevice::Resolve() {
    if (samples_ == 0) return frameBuffer_;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, frameBuffer_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolveFrameBuffer_);
    const GLint width = static_cast<GLint>(parameters_.backBufferWidth);
    const GLint height = static_cast<GLint>(parameters_.backBufferHeight);
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    return resolveFrameBuffer_;
}

GraphicsResult GLGraphicsDevice::TestCooperativeLevel() {
    switch (loss_) {
    case Loss::None:
        return gfx::kOk;
    case Loss::Held:
        return gfx::kDeviceLost;
    case Loss::HeldWhileMinimised:
        if (window_->IsMinimized()) return gfx::kDeviceLost;
        loss_ = Loss::Resettable;
        return gfx::kDeviceNotReset;
    case Loss::Resettable:
        return gfx::kDeviceNotReset;
    }
    return gfx::kFail;
}

GraphicsResult GLGraphicsDevice::Reset(PresentParameters& parameters) {
    if (TestCooperativeLevel() == gfx::kDeviceLost) return gfx::kDeviceLost;
    GraphicsResult result = Apply(parameters);
    loss_ = Succeeded(result) ? Loss::None : Loss::Resettable;
    return result;
}

GraphicsResult GLGraphicsDevice::GetDeviceCaps(DeviceCaps& caps) {
    caps = caps_;
    return gfx::kOk;
}

GraphicsResult GLGraphicsDevice::BeginScene() {
    if (inScene_) return gfx::kInvalidCall;
    inScene_ = true;
    // The window was resized or its mode changed under the device: the back buffer moves between the
    // window and the off-screen target (which Present scales to the window), keeping its size.
    if (!Lost() && DirectPossible(parameters_) != direct_) {
        MakeCurrent();
        PresentParameters parameters = parameters_;
        if (Failed(BuildTarget(parameters))) loss_ = Loss::Resettable;
        InvalidateShadow();
    }
    return gfx::kOk;
}

GraphicsResult GLGraphicsDevice::EndScene() {
    if (!inScene_) return gfx::kInvalidCall;
    inScene_ = false;
    if (!Lost()) glFlush();
    return gfx::kOk;
}

GraphicsResult GLGraphicsDevice::SetViewport(const Viewport& viewport) {
    const uint64_t right = static_cast<uint64_t>(viewport.x) + viewport.width;
    const uint64_t bottom = static_cast<uint64_t>(viewport.y) + viewport.height;
    if (viewport.width == 0 || viewport.height == 0 || right > parameters_.backBufferWidth ||
        bottom > parameters_.backBufferHeight) {
        return gfx::kInvalidCall;
    }
    const bool same = std::memcmp(&viewport_, &viewport, sizeof viewport) == 0;
    viewport_ = viewport;
    if (same || Lost()) return gfx::kOk;
    Mark(GLStateTranslator::kDirtyProjection);  // vertices in pixels are placed in the viewport
    MakeCurrent();
    // The back buffer's rows run bottom-up in GL; viewports are given from the top.
    glViewport(static_cast<GLint>(viewport.x), static_cast<GLint>(parameters_.backBufferHeight - bottom),
               static_cast<GLsizei>(viewport.width), static_cast<GLsizei>(viewport.height));
    glDepthRange(viewport.minZ, viewport.maxZ);
    return gfx::kOk;
}

GraphicsResult GLGraphicsDevice::GetViewport(Viewport& viewport) {
    viewport = viewport_;
    return gfx::kOk;
}

GraphicsResult GLGraphicsDevice::Clear(uint32_t rectCount, const Rect* rects, uint32_t flags, uint32_t colour, float z,
                                       uint32_t stencil) {
    if ((flags & ~(kClearTarget | kClearZBuffer | kClearStencil)) != 0 || flags == 0) return gfx::kInvalidCall;
    if (rectCount != 0 && rects == nullptr) return gfx::kInvalidCall;
    // While lost the buffers may be gone (a failed reset releases them): nothing to check against.
    if (Lost()) return gfx::kOk;
    if ((flags & kClearZBuffer) != 0 && !parameters_.enableAutoDepthStencil) return gfx::kInvalidCall;
    if ((flags & kClearStencil) != 0) return gfx::kInvalidCall;  // no stencil formats are offered
    MakeCurrent();

    GLbitfield mask = 0;
    if (flags & kClearTarget) {
        mask |= GL_COLOR_BUFFER_BIT;
        if (!clearKnown_ || colour != clearColour_) {
            float rgba[4];
            for (int i = 0; i < 4; ++i)
                rgba[i] = static_cast<float>((colour >> (i == 3 ? 24 : 16 - 8 * i)) & 0xFF) / 255.0f;
            glClearColor(rgba[0], rgba[1], rgba[2], rgba[3]);
        }
        clearColour_ = colour;
        clearKnown_ = true;
    }
    if (flags & kClearZBuffer) {
        mask |= GL_DEPTH_BUFFER_BIT;
        const float depth = std::min(std::max(z, 0.0f), 1.0f);
        if (depth != clearDepth_) glClearDepth(depth);
        clearDepth_ = depth;
    }
    (void)stencil;

    // Clears honour the viewport and the rectangles, never the depth write mask that drawing left
    // (colour write masks are never changed). What GL holds is known here, not asked.
    const bool maskOff = (flags & kClearZBuffer) != 0 && gl_.DepthMask() != 1;
    if (maskOff) glDepthMask(GL_TRUE);
    glEnable(GL_SCISSOR_TEST);

    const int32_t height = static_cast<int32_t>(parameters_.backBufferHeight);
    auto clearArea = [&](int32_t left, int32_t top, int32_t right, int32_t bottom) {
        left = std::max(left, static_cast<int32_t>(viewport_.x));
        top = std::max(top, static_cast<int32_t>(viewport_.y));
        right = std::min(right, static_cast<int32_t>(viewport_.x + viewport_.width));
        bottom = std::min(bottom, static_cast<int32_t>(viewport_.y + viewport_.height));
        if (left >= right || top >= bottom) return;
        glScissor(left, height - bottom, right - left, bottom - top);
        glClear(mask);
    };
    if (rectCount == 0) {
        clearArea(0, 0, INT32_MAX, INT32_MAX);
    } else {
        for (uint32_t i = 0; i < rectCount; ++i)
            clearArea(rects[i].left, rects[i].top, rects[i].right, rects[i].bottom);
    }

    glDisable(GL_SCISSOR_TEST);
    if (maskOff) {
        if (gl_.DepthMask() == 0) {
            glDepthMask(GL_FALSE);
        } else {
            gl_.DepthMaskSet(true);  // was unknown: now it is on
        }
    }
    return gfx::kOk;
}

GraphicsResult GLGraphicsDevice::ReadBackBuffer(std::vector<uint32_t>& pixels, uint32_t& width, uint32_t& height) {
    if (Lost()) return gfx::kDeviceLost;
    MakeCurrent();
    width = parameters_.backBufferWidth;
    height = parameters_.backBufferHeight;
    pixels.assign(static_cast<size_t>(width) * height, 0);
    DrainErrors();  // only errors of the read-back itself count
    glBindFramebuffer(GL_READ_FRAMEBUFFER, Resolve());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    std::vector<uint32_t> rows(pixels.size());
    glReadPixels(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height), GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                 rows.data());
    BindBackBuffer();
    if (glGetError() != GL_NO_ERROR) return gfx::kFail;
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t* from = &rows[static_cast<size_t>(height - 1 - y) * width];
        uint32_t* to = &pixels[static_cast<size_t>(y) * width];
        for (uint32_t x = 0; x < width; ++x) to[x] = from[x] | 0xFF000000u;  // no alpha in the back buffer
    }
    return gfx::kOk;
}

uint32_t GLGraphicsDevice::GetAvailableTextureMem() {
    // Both extensions answer in KiB; the memory-info one gives the free video memory first of four.
    const GLenum kNvxAvailableVideoMemory = 0x9049, kAtiFreeTextureMemory = 0x87FC;
    if (memoryInfo_ == MemoryInfo::None) return 0;
    MakeCurrent();
    DrainErrors();
    GLint kib[4] = {0, 0, 0, 0};
    glGetIntegerv(memoryInfo_ == MemoryInfo::Nvx ? kNvxAvailableVideoMemory : kAtiFreeTextureMemory, kib);
    if (glGetError() != GL_NO_ERROR || kib[0] <= 0) return 0;
    return static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(kib[0]) * 1024u, 0xFFFFFFFFu));
}

std::vector<std::string> GLGraphicsDevice::TakeFallbackNotes() {
    std::vector<std::string> notes;
    notes.swap(notes_);
    return notes;
}

void GLGraphicsDevice::ForceOffScreenBackBuffer(bool force) { forceOffScreen_ = force; }

void GLGraphicsDevice::SimulateDeviceLoss(bool resettable) {
    loss_ = resettable ? Loss::Resettable : Loss::Held;
    // What a lost device loses: the driver's copies of textures and buffers.
    MakeCurrent();
    for (DeviceResource* resource : Resources()) resource->DropDriverCopy();
    InvalidateShadow();
}

// ---- drawing state: stored, and marked for the translator ----------------------------------------

GraphicsResult GLGraphicsDevice::SetRenderState(RenderState state, uint32_t value) {
    bool changed = false;
    GraphicsResult result = drawing_.SetRender(state, value, &changed);
    if (!changed) return result;
    switch (state) {
    case RenderState::ZEnable:
    case RenderState::ZWriteEnable:
    case RenderState::ZFunc:
        Mark(GLStateTranslator::kDirtyDepth);
        break;
    case RenderState::AlphaBlendEnable:
    case RenderState::SrcBlend:
    case RenderState::DestBlend:
    case RenderState::AlphaTestEnable:
    case RenderState::AlphaRef:
    case RenderState::AlphaFunc:
        Mark(GLStateTranslator::kDirtyBlend);
        break;
    case RenderState::CullMode:
    case RenderState::ShadeMode:
    case RenderState::DitherEnable:
    case RenderState::MultisampleAntialias:
        Mark(GLStateTranslator::kDirtyRaster);
        break;
    case RenderState::FogEnable:
    case RenderState::FogColour:
    case RenderState::FogTableMode:
    case RenderState::FogVertexMode:
    case RenderState::FogStart:
    case RenderState::FogEnd:
    case RenderState::FogDensity:
        Mark(GLStateTranslator::kDirtyFog);
        break;
    case RenderState::SpecularEnable:
        Mark(GLStateTranslator::kDirtyLighting | GLStateTranslator::kDirtyMaterial);
        break;
    case RenderState::Lighting:
    case RenderState::Ambient:
    case RenderState::ColourVertex:
    case RenderState::LocalViewer:
    case RenderState::NormalizeNormals:
        Mark(GLStateTranslator::kDirtyLighting);
        break;
    case RenderState::TextureFactor:
        Mark(GLStateTranslator::kDirtyStages);
        break;
    default:
        break;
    }
    return result;
}

GraphicsResult GLGraphicsDevice::GetRenderState(RenderState state, uint32_t& value) {
    return drawing_.GetRender(state, value);
}

GraphicsResult GLGraphicsDevice::SetSamplerState(uint32_t sampler, SamplerState state, uint32_t value) {
    bool changed = false;
    GraphicsResult result = drawing_.SetSampler(sampler, state, value, &changed);
    if (changed) Mark(GLStateTranslator::kDirtyStages);
    return result;
}

GraphicsResult GLGraphicsDevice::GetSamplerState(uint32_t sampler, SamplerState state, uint32_t& value) {
    return drawing_.GetSampler(sampler, state, value);
}

GraphicsResult GLGraphicsDevice::SetTextureStageState(uint32_t stage, StageState state, uint32_t value) {
    bool changed = false;
    GraphicsResult result = drawing_.SetStage(stage, state, value, &changed);
    if (changed) Mark(GLStateTranslator::kDirtyStages);
    return result;
}

GraphicsResult GLGraphicsDevice::GetTextureStageState(uint32_t stage, StageState state, uint32_t& value) {
    return drawing_.GetStage(stage, state, value);
}

GraphicsResult GLGraphicsDevice::SetTransform(TransformKind kind, const Matrix& matrix) {
    bool changed = false;
    GraphicsResult result = drawing_.SetTransform(kind, matrix, &changed);
    if (!changed) return result;
    if (kind == TransformKind::View) Mark(GLStateTranslator::kDirtyLights);  // lights are placed through the view
    Mark(static_cast<uint32_t>(kind) >= 16 && static_cast<uint32_t>(kind) < 16 + kMaxStages
             ? GLStateTranslator::kDirtyStages
         : kind == TransformKind::Projection ? GLStateTranslator::kDirtyProjection
                                             : GLStateTranslator::kDirtyModelView);
    return result;
}

GraphicsResult GLGraphicsDevice::GetTransform(TransformKind kind, Matrix& matrix) {
    return drawing_.GetTransform(kind, matrix);
}

GraphicsResult GLGraphicsDevice::SetLight(uint32_t index, const Light& light) {
    bool changed = false;
    GraphicsResult result = drawing_.SetLight(index, light, &changed);
    if (changed) Mark(GLStateTranslator::kDirtyLights);
    return result;
}

GraphicsResult GLGraphicsDevice::GetLight(uint32_t index, Light& light) { return drawing_.GetLight(index, light); }

GraphicsResult GLGraphicsDevice::LightEnable(uint32_t index, bool enable) {
    bool changed = false;
    GraphicsResult result = drawing_.EnableLight(index, enable, &changed);
    if (changed) Mark(GLStateTranslator::kDirtyLights);
    return result;
}

GraphicsResult GLGraphicsDevice::GetLightEnable(uint32_t index, bool& enable) {
    return drawing_.GetLightEnable(index, enable);
}

GraphicsResult GLGraphicsDevice::SetMaterial(const Material& material) {
    bool changed = false;
    GraphicsResult result = drawing_.SetMaterial(material, &changed);
    if (changed) Mark(GLStateTranslator::kDirtyMaterial);
    return result;
}

GraphicsResult GLGraphicsDevice::GetMaterial(Material& material) {
    material = drawing_.GetMaterial();
    return gfx::kOk;
}

GraphicsResult GLGraphicsDevice::CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t,
                                               Format format, Pool, std::unique_ptr<ITexture>& texture) {
    texture.reset();
    GraphicsResult result = BasicTexture::Check(width, height, levels, format, caps_.maxTextureWidth);
    if (Failed(result)) return result;
    try {
        texture = CreateGLTexture(this, &gl_, width, height, levels, format);
    } catch (const std::bad_alloc&) {
        return gfx::kOutOfMemory;
    }
    return gfx::kOk;
}

namespace {
const uint32_t kMaxBufferBytes = 256u << 20;
}

GraphicsResult GLGraphicsDevice::CreateVertexBuffer(uint32_t length, uint32_t, uint32_t, Pool,
                                                    std::unique_ptr<IVertexBuffer>& buffer) {
    buffer.reset();
    if (length == 0 || length > kMaxBufferBytes) return gfx::kInvalidCall;
    try {
        buffer.reset(new GLVertexBuffer(this, &gl_, length));
    } catch (const std::bad_alloc&) {
        return gfx::kOutOfMemory;
    }
    return gfx::kOk;
}

GraphicsResult GLGraphicsDevice::CreateIndexBuffer(uint32_t length, uint32_t, IndexFormat format, Pool,
                                                   std::unique_ptr<IIndexBuffer>& buffer) {
    buffer.reset();
    if (length == 0 || length > kMaxBufferBytes) return gfx::kInvalidCall;
    if (format != IndexFormat::Index16 && format != IndexFormat::Index32) return gfx::kInvalidCall;
    try {
        buffer.reset(new GLIndexBuffer(this, &gl_, length, format));
    } catch (const std::bad_alloc&) {
        return gfx::kOutOfMemory;
    }
    return gfx::kOk;
}

GraphicsResult GLGraphicsDevice::SetTexture(uint32_t stage, ITexture* texture) {
    bool changed = false;
    GraphicsResult result = drawing_.SetTexture(stage, texture, &changed);
    if (changed) Mark(GLStateTranslator::kDirtyStages);
    return result;
}

GraphicsResult GLGraphicsDevice::GetTexture(uint32_t stage, ITexture*& texture) {
    return drawing_.GetTexture(stage, texture);
}

GraphicsResult GLGraphicsDevice::SetFVF(uint32_t fvf) {
    bool changed = false;
    GraphicsResult result = drawing_.SetFvf(fvf, &changed);
    if (changed) Mark(GLStateTranslator::kDirtyLighting);  // vertex colours may stand in for the material
    return result;
}

GraphicsResult GLGraphicsDevice::GetFVF(uint32_t& fvf) {
    fvf = drawing_.Fvf();
    return gfx::kOk;
}

GraphicsResult GLGraphicsDevice::SetStreamSource(uint32_t stream, IVertexBuffer* buffer, uint32_t offset,
                                                 uint32_t stride) {
    bool changed = false;
    return drawing_.SetStream(stream, buffer, offset, stride, &changed);
}

GraphicsResult GLGraphicsDevice::SetIndices(IIndexBuffer* buffer) {
    bool changed = false;
    return drawing_.SetIndices(buffer, &changed);
}

// ---- draws --------------------------------------------------------------------------------------

namespace {

GLenum Mode(PrimitiveType type) {
    switch (type) {
    case PrimitiveType::PointList:
        return GL_POINTS;
    case PrimitiveType::LineList:
        return GL_LINES;
    case PrimitiveType::LineStrip:
        return GL_LINE_STRIP;
    case PrimitiveType::TriangleList:
        return GL_TRIANGLES;
    case PrimitiveType::TriangleStrip:
        return GL_TRIANGLE_STRIP;
    case PrimitiveType::TriangleFan:
        return GL_TRIANGLE_FAN;
    }
    return GL_POINTS;
}

}  // namespace

GraphicsResult GLGraphicsDevice::DrawPrimitive(PrimitiveType type, uint32_t startVertex, uint32_t primitiveCount) {
    uint32_t count = 0;
    GraphicsResult result = drawing_.CheckDraw(type, startVertex, primitiveCount, &count);
    if (Failed(result) || !Prepare()) return result;
    GLVertexBuffer* vb = static_cast<GLVertexBuffer*>(drawing_.StreamBuffer());
    const GLuint name = vb->Bind();
    const size_t offset = drawing_.StreamOffset() + static_cast<size_t>(startVertex) * drawing_.StreamStride();
    gl_.PointArrays(name, reinterpret_cast<const uint8_t*>(offset), vb->Bytes().data() + offset,
                    drawing_.StreamStride(), count);
    glDrawArrays(Mode(type), 0, static_cast<GLsizei>(count));
    return gfx::kOk;
}

GraphicsResult GLGraphicsDevice::DrawIndexedPrimitive(PrimitiveType type, int32_t baseVertex, uint32_t minIndex,
                                                      uint32_t vertexCount, uint32_t startIndex,
                                                      uint32_t primitiveCount) {
    uint32_t count = 0;
    GraphicsResult result = drawing_.CheckIndexedDraw(type, baseVertex, startIndex, primitiveCount, &count);
    if (Failed(result) || !Prepare()) return result;
    GLVertexBuffer* vb = static_cast<GLVertexBuffer*>(drawing_.StreamBuffer());
    GLIndexBuffer* ib = static_cast<GLIndexBuffer*>(drawing_.Indices());
    const GLuint name = vb->Bind();
    // GL 2.1 has no base vertex: the arrays start at it instead.
    const size_t offset = drawing_.StreamOffset() + static_cast<size_t>(baseVertex) * drawing_.StreamStride();
    const uint32_t largest = ib->MaxIndex(startIndex, count);
    gl_.PointArrays(name, reinterpret_cast<const uint8_t*>(offset), vb->Bytes().data() + offset,
                    drawing_.StreamStride(), largest + 1);
    ib->Bind();
    // The range given by the caller is a hint that may be wrong; the one measured is not.
    (void)minIndex, (void)vertexCount;
    glDrawRangeElements(Mode(type), 0, largest, static_cast<GLsizei>(count),
                        ib->GetFormat() == IndexFormat::Index16 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT,
                        reinterpret_cast<const void*>(static_cast<size_t>(startIndex) * ib->IndexSize()));
    return gfx::kOk;
}

GraphicsResult GLGraphicsDevice::DrawPrimitiveUP(PrimitiveType type, uint32_t primitiveCount, const void* vertices,
                                                 uint32_t stride) {
    uint32_t count = 0;
    GraphicsResult result = drawing_.CheckUserDraw(type, primitiveCount, vertices, stride, &count);
    if (Failed(result) || !Prepare()) return result;
    const uint8_t* data = static_cast<const uint8_t*>(vertices);
    gl_.PointArrays(0, data, data, stride, count);
    glDrawArrays(Mode(type), 0, static_cast<GLsizei>(count));
    return gfx::kOk;
}

GraphicsResult GLGraphicsDevice::DrawIndexedPrimitiveUP(PrimitiveType type, uint32_t minIndex, uint32_t vertexCount,
                                                        uint32_t primitiveCount, const void* indices,
                                                        IndexFormat format, const void* vertices, uint32_t stride) {
    uint32_t count = 0;
    GraphicsResult result = drawing_.CheckUserIndexedDraw(type, minIndex, vertexCount, primitiveCount, indices, format,
                                                          vertices, stride, &count);
    if (Failed(result) || !Prepare()) return result;
    const uint8_t* data = static_cast<const uint8_t*>(vertices);
    gl_.PointArrays(0, data, data, stride, minIndex + vertexCount);
    gl_.BindElementBuffer(0);
    glDrawRangeElements(Mode(type), minIndex, minIndex + vertexCount - 1, static_cast<GLsizei>(count),
                        format == IndexFormat::Index16 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT, indices);
    return gfx::kOk;
}

}  // namespace plat
