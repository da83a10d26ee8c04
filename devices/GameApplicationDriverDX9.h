// The application driver: the one process-wide object that owns the window, the devices, the frame
// keeper, the scene manager and the data loader. It fixes the start-up order, what each device's
// failure means, the pause behaviour of the window and the shut-down order.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "app_framework/FrameRateKeeper.h"
#include "app_framework/GameApplicationDriver.h"
#include "app_framework/SceneManager.h"
#include "core/DataLoader.h"
#include "core/Exception.h"
#include "devices/DXGraphics.h"
#include "devices/DXInput.h"
#include "devices/DXSound.h"
#include "devices/SimpleDIB.h"

namespace trivale {

// How the driver makes its devices. An empty function stands for the real device; tests hand in
// their own. The graphics maker throws EDirect3DCreateError when there is no graphics system.
struct ApplicationDeviceFactory {
    std::function<std::unique_ptr<CDXGraphics>()> graphics;
    std::function<std::unique_ptr<CDXInput>(plat::Window* window)> input;
    std::function<std::unique_ptr<CDXSound>()> sound;
};

// What the pause screen is drawn with: a surface of the window's client size.
class IPauseScreenPainter : public IInterface {
public:
    virtual void Fill(std::uint32_t colour) = 0;
    virtual void DrawBitmap(const CSimpleDIB& bitmap, int x, int y) = 0;
    virtual int TextWidth(const std::string& text) = 0;
    virtual int TextHeight(const std::string& text) = 0;
    virtual void DrawText(const std::string& text, int x, int y, std::uint32_t colour) = 0;
    // Shows what was drawn.
    virtual void Finish() = 0;
};

class CGameApplicationDriverDX9 : public CGameApplicationDriver,
                                  public IGameWindowListener,
                                  public IDXGraphicsEventListener {
public:
    // EException when the window cannot be made.
    CGameApplicationDriverDX9();
    // Releases, in this order: scene manager (every live scene finalised), frame keeper, input, sound,
    // graphics, data loader, pause-screen bitmap; then the core part. Throws nothing: a failure on
    // the way is reported as fatal and the rest is released all the same.
    ~CGameApplicationDriverDX9() override;

    // Graphics object, configuration dialog, window, input, sound, graphics device, frame keeper and
    // scene manager. False when the dialog was cancelled or a required device failed (the user has
    // been told); a failing sound device only warns, and the program runs without sound.
    bool Initialize() override;
    // The message loop. A failure out of a frame is reported with the window as owner; Run then
    // returns normally and the program shuts down in order.
    void Run() override;

    virtual CDXGraphics* GetGraphics() { return graphics_.get(); }
    // Exists even when the sound device failed; it is then not ready.
    virtual CDXSound* GetSound() { return sound_.get(); }
    virtual CDXInput* GetInput() { return input_.get(); }
    virtual CFrameRateKeeper* GetFrameRateKeeper() { return keeper_.get(); }
    virtual CSceneManager* GetSceneManager() { return sceneManager_.get(); }
    // The new loader is made before the present one goes: a failure keeps the present one.
    virtual void UseFileSystem(const std::string& directory);
    // EFileOpenError or EInvalidFileFormat when the archive is missing or corrupt.
    virtual void UseArchive(const std::string& archivePath);
    virtual IDataLoader* GetDataLoader() { return dataLoader_.get(); }
    virtual void SetDialogBanner(const std::string& fileName) { dialogBanner_ = fileName; }
    virtual void SetPause(bool paused);
    virtual void SetPauseWhenInactive(bool pause) { pauseWhenInactive_ = pause; }
    virtual bool GetPauseWhenInactive() const { return pauseWhenInactive_; }
    virtual void SetShowCursorInFullScreen(bool show) { showCursorInFullScreen_ = show; }
    virtual bool GetShowCursorInFullScreen() const { return showCursorInFullScreen_; }
    virtual void SetUsePreviousConfig(bool use) { usePreviousConfig_ = use; }
    virtual bool GetUsePreviousConfig() const { return usePreviousConfig_; }
    virtual void SetModeSwitchEnabled(bool enabled) { modeSwitchEnabled_ = enabled; }
    virtual bool GetModeSwitchEnabled() const { return modeSwitchEnabled_; }
    virtual void SetForceWindowed(bool force) { forceWindowed_ = force; }
    virtual bool GetForceWindowed() const { return forceWindowed_; }
    virtual void SetPauseScreenBitmap(const std::string& fileName) { pauseScreenBitmapName_ = fileName; }
    virtual void SetPauseScreenText(const std::string& text) { pauseScreenText_ = text; }
    // The display modes the configuration dialog offers lie within these limits.
    virtual void SetMinimumDisplayMode(int width, int height);
    virtual void SetMaximumDisplayMode(int width, int height);
    virtual void SetAllowReferenceAdapter(bool allow) { allowReferenceAdapter_ = allow; }

    // The window's messages: pause on deactivation or minimising, the pause screen, and the switch
    // between full screen and window (F4 or maximising) while mode switching is enabled.
    bool OnMessage(CGameWindow* window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                   std::intptr_t* result) override;

    void OnDeviceLost() override {}
    void OnDeviceReset() override;
    void OnBeforeModeChange(bool fullScreen) override;
    void OnAfterModeChange(bool fullScreen) override;

    // Before Initialize.
    void SetDeviceFactory(const ApplicationDeviceFactory& factory) { factory_ = factory; }
    // Before Initialize: the frame keeper's clock (tests run the show on a clock of their own); an empty
    // clock is the platform's.
    void SetFrameClock(const FrameClock& clock) { frameClock_ = clock; }
    // The pause screen is drawn through the graphics device unless a painter is set (tests).
    void SetPauseScreenPainter(IPauseScreenPainter* painter) { painter_ = painter; }
    const std::shared_ptr<CSimpleDIB>& GetPauseScreenBitmap() const { return pauseScreenBitmap_; }

private:
    bool CreateGraphics();
    bool RunConfigDialog();
    void PaintPauseScreen();
    // The painter set by SetPauseScreenPainter, else one over the graphics device kept in `own`; null
    // without a device.
    IPauseScreenPainter* PauseScreenPainter(bool present, std::unique_ptr<IPauseScreenPainter>& own);

    // Owned devices; released in the destructor in shut-down order, and by unwinding in reverse
    // declaration order when construction fails part-way.
    std::unique_ptr<IDataLoader> dataLoader_;
    std::unique_ptr<CDXGraphics> graphics_;
    std::unique_ptr<CDXSound> sound_;
    std::unique_ptr<CDXInput> input_;
    std::unique_ptr<CFrameRateKeeper> keeper_;
    std::unique_ptr<CSceneManager> sceneManager_;

    std::string dialogBanner_;
    std::string pauseScreenBitmapName_;
    std::string pauseScreenText_;
    bool showCursorInFullScreen_ = true;
    bool usePreviousConfig_ = false;
    bool modeSwitchEnabled_ = true;
    bool pauseWhenInactive_ = true;
    bool forceWindowed_ = false;
    std::shared_ptr<CSimpleDIB> pauseScreenBitmap_;
    int minimumWidth_ = 640;
    int minimumHeight_ = 480;
    int maximumWidth_ = 65535;
    int maximumHeight_ = 65535;
    bool allowReferenceAdapter_ = false;

    ApplicationDeviceFactory factory_;
    FrameClock frameClock_;
    IPauseScreenPainter* painter_ = nullptr;
};

// Makes the process-wide driver once (the log opens, the hidden main window appears), then logs the
// library banner. False when it could not be made: the failure has been reported and the program
// should end with GetApplicationExitCode() (255).
bool CreateApplicationDriver();
// Null before CreateApplicationDriver and after DestroyApplicationDriver.
CGameApplicationDriverDX9* GetApplicationDriver();
// Clears the singleton, then deletes the driver; doing it twice deletes once.
void DestroyApplicationDriver();
// "Exception occurred.", the window hidden and the scene list logged while the driver exists, then
// the report box. The run then counts as failed.
void ReportFatalException(const EException& e);
void ReportFatalException(const std::exception& e);

// The code the program ends with: 0 for a normal end or a cancelled dialog, 255 when the driver could
// not be made, 1 once any other failure was reported (a device that could not be made, a missing or
// corrupt archive, a fatal exception).
int GetApplicationExitCode();
// Records a failure end (code 1) from outside the driver.
void SetApplicationFailed();

}  // namespace trivale
