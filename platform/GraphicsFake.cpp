#include "platform/GraphicsFake.h"

#include <cstdio>

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

class FakeGraphicsDevice : public IGraphicsDevice {
public:
    FakeGraphicsDevice(std::shared_ptr<FakeGraphicsState> state, const PresentParameters& parameters,
                       const DeviceCaps& caps)
        : state_(state), parameters_(parameters), caps_(caps) {
        ++state_->deviceCount;
        notes_.swap(state_->fallbackNotes);
        viewport_.width = parameters.backBufferWidth;
        viewport_.height = parameters.backBufferHeight;
    }
    ~FakeGraphicsDevice() override {
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
        state_->journal.push_back("Clear");
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
    void SimulateDeviceLoss(bool resettable) override {
        lost_ = true;
        resettable_ = resettable;
    }

private:
    std::shared_ptr<FakeGraphicsState> state_;
    PresentParameters parameters_;
    DeviceCaps caps_;
    Viewport viewport_;
    std::vector<std::string> notes_;
    bool lost_ = false;
    bool resettable_ = false;
    bool inScene_ = false;
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
