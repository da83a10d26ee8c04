#include "devices/GameApplicationDriverDX9.h"

#include <vector>

#include "core/ArchiveFileLoader.h"
#include "core/CommandLine.h"
#include "core/Log.h"
#include "core/Path.h"
#include "devices/ConfigDialogDX9.h"
#include "devices/DevicePauseScreenPainter.h"
#include "platform/Input.h"
#include "platform/MessageBox.h"
#include "platform/StopSignals.h"
#include "platform/StopWatchdog.h"
#include "platform/Window.h"

namespace trivale {

namespace {

// Owned from CreateApplicationDriver to DestroyApplicationDriver, and on purpose not by an object of
// static duration: when a library ends the process itself (Xlib calls exit() when the display goes
// away), the engine must not be torn down in the middle of that library's call, after the statics it
// uses are gone.
CGameApplicationDriverDX9* g_driver = nullptr;
int g_exitCode = 0;

const int kExitFailure = 1;
const int kExitNoDriver = 255;

void PrepareFatalReport() {
    LogError("Exception occurred.");
    if (g_driver != nullptr) {
        if (g_driver->GetWindow() != nullptr) g_driver->GetWindow()->Hide();
        if (g_driver->GetSceneManager() != nullptr) g_driver->GetSceneManager()->DumpSceneList();
    }
    SetApplicationFailed();
}

void ReportFatalCurrentException() {
    PrepareFatalReport();
    ReportCurrentException(ReportMode::LogAndBox);
}

const std::uint32_t kPauseTextColour = 0xDCDCDC;
const std::uint32_t kPauseBackground = 0x202020;

// A bitmap as the straight RGBA image the dialog takes.
struct BannerImage {
    std::vector<std::uint8_t> rgba;
    plat::IconImage image;

    explicit BannerImage(const PixelSurface& surface) : rgba(surface.pixels.size() * 4) {
        for (std::size_t i = 0; i < surface.pixels.size(); ++i) {
            const std::uint32_t p = surface.pixels[i];
            rgba[i * 4 + 0] = static_cast<std::uint8_t>(p >> 16);
            rgba[i * 4 + 1] = static_cast<std::uint8_t>(p >> 8);
            rgba[i * 4 + 2] = static_cast<std::uint8_t>(p);
            rgba[i * 4 + 3] = 0xFF;
        }
        image.width = surface.width;
        image.height = surface.height;
        image.rgba = rgba.data();
    }
};

}  // namespace

CGameApplicationDriverDX9::CGameApplicationDriverDX9() {
    LogInfo("Trivale DX9 library ver.%s(%d) (%s %s) %s", "0.80", 338, "Jan 17 2006", "16:38:20", "ReleaseMode");
    // After the close listener: the driver's answer decides whether the default handling runs.
    GetWindow()->AddListener(this);
}

CGameApplicationDriverDX9::~CGameApplicationDriverDX9() {
    GetWindow()->RemoveListener(this);
    if (sceneManager_) {
        // Scenes are finalised here, where a failure can still be reported; the rest goes on regardless.
        try {
            sceneManager_->RemoveAll();
        } catch (...) {
            ReportFatalCurrentException();
        }
    }
    // Each step of the shut-down is progress: one that is slow on a loaded machine is not stuck.
    plat::NoteStopProgress();
    sceneManager_.reset();
    if (GetApplication() != nullptr) GetApplication()->SetIdleListener(nullptr);
    keeper_.reset();
    input_.reset();
    plat::NoteStopProgress();
    sound_.reset();
    plat::NoteStopProgress();
    graphics_.reset();
    plat::NoteStopProgress();
    dataLoader_.reset();
    pauseScreenBitmap_.reset();
}

void CGameApplicationDriverDX9::UseFileSystem(const std::string& directory) {
    std::unique_ptr<IDataLoader> loader(new CFileSystemDataLoader(directory));
    dataLoader_ = std::move(loader);
}

void CGameApplicationDriverDX9::UseArchive(const std::string& archivePath) {
    std::unique_ptr<IDataLoader> loader(new TArchiveFileDataLoader<CArchiveFileLoader>(archivePath));
    dataLoader_ = std::move(loader);
}

void CGameApplicationDriverDX9::SetMinimumDisplayMode(int width, int height) {
    minimumWidth_ = width;
    minimumHeight_ = height;
}

void CGameApplicationDriverDX9::SetMaximumDisplayMode(int width, int height) {
    maximumWidth_ = width;
    maximumHeight_ = height;
}

bool CGameApplicationDriverDX9::CreateGraphics() {
    try {
        graphics_ = factory_.graphics ? factory_.graphics() : std::make_unique<CDXGraphics>();
    } catch (const EDirect3DCreateError& e) {
        if (plat::StopRequested()) return false;  // cut short by the stop, which ends the run anyway
        LogEngineException(e);
        plat::ShowMessageBox(GetWindowId(),
                             "Direct3D の初期化に失敗しました.\nDirectX 9.0c "
                             "以降がインストールされているか確認してください.\n",
                             GetTitle(), plat::MessageBoxKind::Error);
        SetApplicationFailed();
        return false;
    }
    graphics_->AddListener(this);
    return true;
}

bool CGameApplicationDriverDX9::RunConfigDialog() {
    CConfigDialogDX9 dialog;
    dialog.direct3D = graphics_->GetDirect3D();
    dialog.title = GetTitle();
    dialog.icon = GetIcon();
    dialog.minWidth = minimumWidth_;
    dialog.minHeight = minimumHeight_;
    dialog.maxWidth = maximumWidth_;
    dialog.maxHeight = maximumHeight_;
    dialog.allowReferenceDevice = allowReferenceAdapter_;

    std::unique_ptr<BannerImage> banner;
    if (!dialogBanner_.empty()) {
        try {
            CSimpleDIB bitmap;
            std::shared_ptr<IStream> stream = dataLoader_->OpenShared(dialogBanner_);
            bitmap.Load(*stream);
            if (bitmap.GetBitmap() != nullptr) banner.reset(new BannerImage(*bitmap.GetBitmap()));
        } catch (const EIOError&) {
            TV_LOG_ERROR_AT("ダイアログバナーイメージ \"" + dialogBanner_ + "\" のロードに失敗しました.");
        }
    }
    dialog.banner = banner ? &banner->image : nullptr;

    if (!dialog.Execute(usePreviousConfig_)) return false;

    plat::Window* window = GetWindow()->GetHandle();
    graphics_->SetAdapter(static_cast<std::uint32_t>(dialog.adapter));
    plat::PresentParameters fullScreen = dialog.fullScreenParameters;
    fullScreen.deviceWindow = window;
    graphics_->SetFullScreenParameters(fullScreen);
    plat::PresentParameters windowed = dialog.windowedParameters;
    windowed.deviceWindow = window;
    graphics_->SetWindowedParameters(windowed);
    graphics_->SetMaxAnisotropy(dialog.anisotropy);
    graphics_->SetDeviceType(dialog.deviceType);
    graphics_->SetFullScreen(dialog.fullScreen && !forceWindowed_);
    return true;
}

bool CGameApplicationDriverDX9::Initialize() {
    if (!dataLoader_) UseFileSystem(ExtractFileDir(GetModuleFilePath()));

    if (!pauseScreenBitmapName_.empty()) {
        std::shared_ptr<CSimpleDIB> bitmap(new CSimpleDIB());
        std::shared_ptr<IStream> stream = dataLoader_->OpenShared(pauseScreenBitmapName_);
        bitmap->Load(*stream);
        pauseScreenBitmap_ = bitmap;
    }

    if (!CreateGraphics()) return false;

    if (!RunConfigDialog()) {
        // Cancelled: the user asked for it, so no message. Without any adapter there was nothing to
        // choose from (the dialog has said so): that end is a failure.
        if (graphics_->GetDirect3D() == nullptr || graphics_->GetDirect3D()->GetAdapterCount() == 0) {
            SetApplicationFailed();
        }
        graphics_.reset();
        return false;
    }

    CGameWindow* window = GetWindow();
    window->SetMaximizeBox(modeSwitchEnabled_);
    const plat::PresentParameters* parameters = graphics_->GetPresentParameters();
    window->SetClientSize(static_cast<int>(parameters->backBufferWidth),
                          static_cast<int>(parameters->backBufferHeight));
    window->SetFullScreen(graphics_->IsFullScreen());
    window->Show();
    if (graphics_->IsFullScreen()) GetApplication()->ShowCursor(showCursorInFullScreen_);

    input_ = factory_.input ? factory_.input(window->GetHandle()) : std::make_unique<CDXInput>(window->GetHandle());
    if (!input_->Initialize()) {
        if (plat::StopRequested()) return false;
        TV_LOG_ERROR_AT("CDXInput 初期化失敗");
        plat::ShowMessageBox(GetWindowId(), "DirectInput の初期化に失敗しました.\n実行を中止します.", GetTitle(),
                             plat::MessageBoxKind::Error);
        SetApplicationFailed();
        return false;
    }

    sound_ = factory_.sound ? factory_.sound() : std::make_unique<CDXSound>();
    sound_->SetWindow(window->GetHandle());
    if (!sound_->Initialize()) {
        TV_LOG_ERROR_AT("CDXSound 初期化失敗");
        plat::ShowMessageBox(GetWindowId(), "DirectSound の初期化に失敗しました.\nサウンドなしモードで続行します.",
                             GetTitle(), plat::MessageBoxKind::Warning);
    }

    if (!graphics_->Initialize()) {
        if (plat::StopRequested()) {
            graphics_.reset();
            return false;
        }
        TV_LOG_ERROR_AT("CDXGraphics 初期化失敗");
        plat::ShowMessageBox(GetWindowId(), "Direct3D の初期化に失敗しました.\n実行を中止します.", GetTitle(),
                             plat::MessageBoxKind::Error);
        graphics_.reset();
        SetApplicationFailed();
        return false;
    }

    keeper_.reset(frameClock_.read ? new CFrameRateKeeper(frameClock_) : new CFrameRateKeeper());
    sceneManager_.reset(new CSceneManager());
    keeper_->SetListener(sceneManager_.get());
    GetApplication()->SetIdleListener(keeper_.get());
    initialized_ = true;
    return true;
}

void CGameApplicationDriverDX9::Run() {
    LogInfo("Application driver running...");
    try {
        GetApplication()->Run();
        GetWindow()->Hide();
    } catch (const std::exception&) {
        GetWindow()->Hide();
        ReportCurrentException(ReportMode::LogAndBox, GetWindowId());
        SetApplicationFailed();
    }
    LogInfo("Application driver running finished.");
}

void CGameApplicationDriverDX9::SetPause(bool paused) {
    if (keeper_) keeper_->SetPaused(paused);
    GetWindow()->SetTitle(paused ? GetTitle() + " [PAUSE]" : GetTitle());
}

bool CGameApplicationDriverDX9::OnMessage(CGameWindow* window, unsigned message, std::uintptr_t wParam, std::intptr_t,
                                          std::intptr_t* result) {
    switch (message) {
    case kMessageSize:
        if (wParam == kSizeMinimized && pauseWhenInactive_) SetPause(true);
        // Window managers maximise windows on their own: only a program that switches modes takes it
        // as a request for full screen.
        if (wParam == kSizeMaximized && modeSwitchEnabled_ && graphics_) graphics_->SetFullScreen(true);
        break;
    case kMessageActivate:
        if (wParam == kWindowInactive && pauseWhenInactive_) {
            if (window != nullptr && window->GetHandle() != nullptr) window->GetHandle()->Invalidate();
            SetPause(true);
        } else if (wParam == kWindowActive) {
            SetPause(false);
        }
        break;
    case kMessagePaint:
        if (!pauseWhenInactive_ && graphics_) return false;
        PaintPauseScreen();
        break;
    case kMessageEraseBackground:
        if (pauseWhenInactive_) {
            std::unique_ptr<IPauseScreenPainter> own;
            if (IPauseScreenPainter* painter = PauseScreenPainter(false, own)) painter->Fill(kPauseBackground);
        }
        break;
    case kMessageKeyDown:
        if (modeSwitchEnabled_ && wParam == static_cast<std::uintptr_t>(plat::kKeyF4) && graphics_) {
            graphics_->SetFullScreen(!graphics_->IsFullScreen());
        }
        break;
    default:
        return false;
    }
    *result = 0;
    return true;
}

IPauseScreenPainter* CGameApplicationDriverDX9::PauseScreenPainter(bool present,
                                                                   std::unique_ptr<IPauseScreenPainter>& own) {
    if (painter_ != nullptr) return painter_;
    // Without a device there is nothing to draw with.
    if (!graphics_ || graphics_->GetDevice() == nullptr) return nullptr;
    own.reset(new CDevicePauseScreenPainter(graphics_->GetDevice(), present));
    return own.get();
}

void CGameApplicationDriverDX9::PaintPauseScreen() {
    std::unique_ptr<IPauseScreenPainter> own;
    IPauseScreenPainter* painter = PauseScreenPainter(true, own);
    if (painter == nullptr) return;
    CGameWindow* window = GetWindow();
    const int w = window->GetClientWidth();
    const int h = window->GetClientHeight();
    if (pauseScreenBitmap_ && pauseScreenBitmap_->GetBitmap() != nullptr) {
        painter->DrawBitmap(*pauseScreenBitmap_, w - pauseScreenBitmap_->GetWidth(),
                            h - pauseScreenBitmap_->GetHeight());
    } else {
        const std::string& title = GetTitle();
        painter->DrawText(title, w - painter->TextWidth(title) - 8, h - painter->TextHeight(title) - 8,
                          kPauseTextColour);
    }
    const std::string centre = keeper_ && keeper_->IsPaused() ? "< <  P A U S E  > >" : pauseScreenText_;
    painter->DrawText(centre, w / 2 - painter->TextWidth(centre) / 2, h / 2 - painter->TextHeight(centre) / 2,
                      kPauseTextColour);
    painter->Finish();
}

void CGameApplicationDriverDX9::OnDeviceReset() {
    if (sceneManager_) sceneManager_->ResetAll();
}

void CGameApplicationDriverDX9::OnBeforeModeChange(bool fullScreen) {
    CGameWindow* window = GetWindow();
    window->SetFullScreen(fullScreen);
    window->BringToTop();
    GetApplication()->ShowCursor(!fullScreen || showCursorInFullScreen_);
}

void CGameApplicationDriverDX9::OnAfterModeChange(bool) { GetWindow()->Center(); }

// ---- The singleton ---------------------------------------------------------------------------------

bool CreateApplicationDriver() {
    bool failed = false;
    std::string reason;
    if (g_driver == nullptr) {
        g_exitCode = 0;
        try {
            g_driver = new CGameApplicationDriverDX9();
        } catch (const std::exception& e) {
            const EException* engine = dynamic_cast<const EException*>(&e);
            reason = engine != nullptr ? engine->GetMessage() : std::string(e.what());
            if (!plat::StopRequested()) ReportCurrentException(ReportMode::LogAndBox);
            failed = true;
        }
    }
    LogInfo("Trivale Type-A library ver.%s(%d) (%s %s) %s", "0.50", 1046, "Jan 17 2006", "16:39:15", "ReleaseMode");
    if (failed && plat::StopRequested()) {
        // A step that failed once a stop was asked for (a library's call cut short by the signal): the
        // run ends as the stop ends it at the dialog, with no failure that was not one.
        LogInfoString(CConfigDialogDX9::kCancelledLine);
        LogInfo("---- Application finalized ----");
        CloseLogFile();
    } else if (failed) {
        // The log ends with why the run ended, not with the banner.
        if (plat::DisplayMissing()) reason = plat::DisplayMissingReason();
        LogError("%s: the program ends.", reason.c_str());
        // Without a display the run failed for want of one, not because the program is broken.
        g_exitCode = plat::DisplayMissing() ? kExitFailure : kExitNoDriver;
        // The half-made driver has let go of everything but the log, which holds its report.
        CloseLogFile();
    }
    return g_driver != nullptr;
}

CGameApplicationDriverDX9* GetApplicationDriver() { return g_driver; }

void DestroyApplicationDriver() {
    // Cleared first: whatever is reported during the deletion no longer reaches a half-deleted driver.
    std::unique_ptr<CGameApplicationDriverDX9> driver(g_driver);
    g_driver = nullptr;
    driver.reset();
}

void ReportFatalException(const EException& e) { ReportFatalException(static_cast<const std::exception&>(e)); }

void ReportFatalException(const std::exception& e) {
    PrepareFatalReport();
    ReportException(e, ReportMode::LogAndBox);
}

int GetApplicationExitCode() { return g_exitCode; }

void SetApplicationFailed() {
    if (g_exitCode == 0) g_exitCode = kExitFailure;
}

}  // namespace trivale
