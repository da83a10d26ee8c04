// The program's one graphics device: its settings for full screen and for a window, creation,
// presenting with recovery from a lost device, the switch between full screen and window, and the
// listeners told about loss, reset and mode changes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Object.h"
#include "platform/Graphics.h"

namespace trivale {

// Receiver of the graphics device's events.
class IDXGraphicsEventListener : public IInterface {
public:
    // The device is about to be reset: release what does not survive a reset. May come twice without
    // a reset in between (a failed mode switch, then a lost device), so it must be safe to repeat.
    virtual void OnDeviceLost() = 0;
    // The device has been reset: make those resources again.
    virtual void OnDeviceReset() = 0;
    // A switch to the given mode is about to happen (before OnDeviceLost).
    virtual void OnBeforeModeChange(bool fullScreen) = 0;
    // The switch to the given mode is complete (after OnDeviceReset).
    virtual void OnAfterModeChange(bool fullScreen) = 0;
};

class CStandardDXGraphicsEventListener : public IDXGraphicsEventListener {
public:
    void OnDeviceLost() override {}
    void OnDeviceReset() override {}
    void OnBeforeModeChange(bool) override {}
    void OnAfterModeChange(bool) override {}
};

// "DirectX Error: <name>(0x<code>): <description>" at the given place, for a graphics result.
void LogGraphicsError(plat::GraphicsResult result, const char* sourceFile, int line);
#define TV_LOG_GRAPHICS_ERROR(result) ::trivale::LogGraphicsError((result), __FILE__, __LINE__)
// The same line with the failing call's own reason after the description, when it gave one.
void LogGraphicsError(plat::GraphicsResult result, const std::string& reason, const char* sourceFile, int line);

class CDXGraphics : public virtual CNonCopyable {
public:
    // Brings up the graphics system; EDirect3DCreateError when it cannot.
    CDXGraphics();
    // The same over a given system (tests hand in a fake); null is a failure as above.
    explicit CDXGraphics(std::unique_ptr<plat::IGraphicsSystem> system);
    ~CDXGraphics() override;

    // Creates the device from the active parameters; false (after a logged error) when it cannot.
    virtual bool Initialize();
    virtual void Finalize();
    virtual plat::IGraphicsSystem* GetDirect3D();
    // Null before Initialize succeeded and after Finalize.
    virtual plat::IGraphicsDevice* GetDevice();
    virtual void SetFullScreenParameters(const plat::PresentParameters& parameters);
    virtual void SetWindowedParameters(const plat::PresentParameters& parameters);
    virtual void SetAdapter(uint32_t adapter);
    virtual void SetMaxAnisotropy(uint32_t anisotropy);
    virtual uint32_t GetMaxAnisotropy();
    virtual void SetDeviceType(plat::DeviceType type);
    virtual plat::DeviceType GetDeviceType();
    // The active block: full screen while the full-screen flag is set, else the window's.
    virtual plat::PresentParameters* GetPresentParameters();
    virtual const plat::DeviceCaps* GetDeviceCaps();
    // A listener added twice is kept once; listeners are told in the order they were added.
    virtual void AddListener(IDXGraphicsEventListener* listener);
    virtual int RemoveListener(IDXGraphicsEventListener* listener);
    // Without a device only the flag changes; with one, the device is reset into the new mode.
    virtual void SetFullScreen(bool fullScreen);
    virtual bool IsFullScreen();
    // Shows the frame; a lost device is reset here once it may be (EIOError when that fails).
    virtual void Present();

private:
    template <class Call>
    void Notify(Call call);
    void LogFallbacks();

    std::unique_ptr<plat::IGraphicsSystem> system_;
    std::unique_ptr<plat::IGraphicsDevice> device_;
    plat::DeviceCaps caps_;
    uint32_t adapter_ = 0;
    bool fullScreen_ = false;
    plat::PresentParameters fullScreenParameters_;
    plat::PresentParameters windowedParameters_;
    uint32_t maxAnisotropy_ = 0;
    plat::DeviceType deviceType_ = plat::DeviceType::Hardware;
    std::vector<IDXGraphicsEventListener*> listeners_;
};

}  // namespace trivale
