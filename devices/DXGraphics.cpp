#include "devices/DXGraphics.h"

#include <algorithm>

#include "core/Exception.h"
#include "core/Log.h"
#include "platform/StopWatchdog.h"

namespace trivale {

void LogGraphicsError(plat::GraphicsResult result, const char* sourceFile, int line) {
    LogGraphicsError(result, std::string(), sourceFile, line);
}

void LogGraphicsError(plat::GraphicsResult result, const std::string& reason, const char* sourceFile, int line) {
    const char* name = nullptr;
    const char* description = nullptr;
    plat::DescribeGraphicsResult(result, &name, &description);
    std::string text = description ? description : "n/a";
    if (!reason.empty()) text += " (" + reason + ")";
    LogDirectXError(static_cast<unsigned>(result), name, text.c_str(), sourceFile, line);
}

namespace {

plat::PresentParameters ZeroParameters() {
    plat::PresentParameters parameters;
    parameters.swapEffect = static_cast<plat::SwapEffect>(0);
    return parameters;
}

}  // namespace

CDXGraphics::CDXGraphics() : CDXGraphics(plat::CreateGraphicsSystem()) {}

CDXGraphics::CDXGraphics(std::unique_ptr<plat::IGraphicsSystem> system)
    : system_(std::move(system)), fullScreenParameters_(ZeroParameters()), windowedParameters_(ZeroParameters()) {
    if (!system_) throw EDirect3DCreateError(this, "Direct3D の初期化に失敗しました.");
}

CDXGraphics::~CDXGraphics() {
    Finalize();
    plat::NoteStopProgress();
    system_.reset();
    plat::NoteStopProgress();
    LogInfoString("Direct3D finalized.");
    listeners_.clear();
}

bool CDXGraphics::Initialize() {
    if (device_) throw EIOError(this, "Direct3D device already initialized.");
    plat::PresentParameters* parameters = GetPresentParameters();
    plat::GraphicsResult result = system_->CreateDevice(adapter_, deviceType_, parameters->deviceWindow,
                                                        plat::kCreateHardwareVertexProcessing, *parameters, device_);
    if (plat::Failed(result)) {
        LogInfoString("ハードウェアT&L が利用できません. ソフトウェアT&L に切り替えます.");
        result = system_->CreateDevice(adapter_, deviceType_, parameters->deviceWindow,
                                       plat::kCreateSoftwareVertexProcessing, *parameters, device_);
        if (plat::Failed(result)) {
            device_.reset();
            TV_LOG_GRAPHICS_ERROR(result);
            return false;
        }
    }
    device_->GetDeviceCaps(caps_);
    LogFallbacks();
    LogInfoString("Direct3D device ready.");
    return true;
}

void CDXGraphics::Finalize() {
    device_.reset();
    LogInfoString("Direct3D device finalized.");
}

plat::IGraphicsSystem* CDXGraphics::GetDirect3D() { return system_.get(); }

plat::IGraphicsDevice* CDXGraphics::GetDevice() { return device_.get(); }

void CDXGraphics::SetFullScreenParameters(const plat::PresentParameters& parameters) {
    fullScreenParameters_ = parameters;
}

void CDXGraphics::SetWindowedParameters(const plat::PresentParameters& parameters) { windowedParameters_ = parameters; }

void CDXGraphics::SetAdapter(uint32_t adapter) { adapter_ = adapter; }

void CDXGraphics::SetMaxAnisotropy(uint32_t anisotropy) { maxAnisotropy_ = anisotropy; }

uint32_t CDXGraphics::GetMaxAnisotropy() { return maxAnisotropy_; }

void CDXGraphics::SetDeviceType(plat::DeviceType type) { deviceType_ = type; }

plat::DeviceType CDXGraphics::GetDeviceType() { return deviceType_; }

plat::PresentParameters* CDXGraphics::GetPresentParameters() {
    return fullScreen_ ? &fullScreenParameters_ : &windowedParameters_;
}

const plat::DeviceCaps* CDXGraphics::GetDeviceCaps() { return &caps_; }

void CDXGraphics::AddListener(IDXGraphicsEventListener* listener) {
    if (listener != nullptr && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) {
        listeners_.push_back(listener);
    }
}

int CDXGraphics::RemoveListener(IDXGraphicsEventListener* listener) {
    auto found = std::find(listeners_.begin(), listeners_.end(), listener);
    if (found == listeners_.end()) return 0;
    listeners_.erase(found);
    return 1;
}

// Each notification reaches every listener before the next starts. It walks a snapshot, so that a
// listener may add or remove listeners; one removed meanwhile is not called any more.
template <class Call>
void CDXGraphics::Notify(Call call) {
    const std::vector<IDXGraphicsEventListener*> snapshot = listeners_;
    for (IDXGraphicsEventListener* listener : snapshot) {
        if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end()) call(listener);
    }
}

void CDXGraphics::SetFullScreen(bool fullScreen) {
    fullScreen_ = fullScreen;
    if (!device_) return;
    Notify([fullScreen](IDXGraphicsEventListener* l) { l->OnBeforeModeChange(fullScreen); });
    Notify([](IDXGraphicsEventListener* l) { l->OnDeviceLost(); });
    if (plat::Failed(device_->Reset(*GetPresentParameters()))) {
        TV_LOG_ERROR_AT(GetClassName(*this) + ": デバイスのリセットに失敗");
        return;
    }
    device_->GetDeviceCaps(caps_);
    LogFallbacks();
    Notify([](IDXGraphicsEventListener* l) { l->OnDeviceReset(); });
    Notify([fullScreen](IDXGraphicsEventListener* l) { l->OnAfterModeChange(fullScreen); });
}

bool CDXGraphics::IsFullScreen() { return fullScreen_; }

void CDXGraphics::Present() {
    if (!device_) return;
    if (device_->Present() != plat::gfx::kDeviceLost) return;                   // other failures are not ours to mend
    if (device_->TestCooperativeLevel() != plat::gfx::kDeviceNotReset) return;  // still lost: next frame
    Notify([](IDXGraphicsEventListener* l) { l->OnDeviceLost(); });
    if (plat::Failed(device_->Reset(*GetPresentParameters()))) {
        throw EIOError(this, "Direct3Dデバイスのリセットに失敗");
    }
    LogFallbacks();
    Notify([](IDXGraphicsEventListener* l) { l->OnDeviceReset(); });
}

// Requests the device could not honour (sample count, swap interval, depth bits) and what it used.
void CDXGraphics::LogFallbacks() {
    for (const std::string& note : device_->TakeFallbackNotes()) LogInfoString(note);
}

}  // namespace trivale
