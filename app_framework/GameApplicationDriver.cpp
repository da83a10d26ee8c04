#include "app_framework/GameApplicationDriver.h"

#include <exception>

#include "core/CommandLine.h"
#include "core/Exception.h"
#include "core/Log.h"
#include "core/Path.h"
#include "platform/StopWatchdog.h"

namespace trivale {

bool CGameApplicationDriver::CMainWindowListener::OnMessage(CGameWindow* window, unsigned message, std::uintptr_t,
                                                            std::intptr_t, std::intptr_t* result) {
    if (message != kMessageDestroy) return false;
    if (window != nullptr) window->Hide();
    plat::PostQuit(0);
    *result = 0;
    return true;
}

namespace {

void LogDisplayLost(const std::string& reason) { LogError("%s: the program ends.", reason.c_str()); }

// Called inside the display library, on whatever thread made the request: bounded, and no X call.
void LogRefusedRequest(const std::string& line) { WriteLogFromAnyThread("WARNING: ", line); }

}  // namespace

CGameApplicationDriver::CGameApplicationDriver() {
    OpenLogFile();
    plat::SetDisplayLostHandler(&LogDisplayLost);
    plat::SetRefusedRequestHandler(&LogRefusedRequest);
    LogInfo("---- [ %s ] Started ----", ExtractFileName(GetModuleFilePath()).c_str());
    LogInfo("Trivale Core library ver.%s", GetCoreVersionText().c_str());
    // A failure below leaves the log open: whoever catches it still reports into it.
    application_.reset(new CGameApplication());
    window_.reset(new CGameWindow("TrivaleWnd", "Trivale Application", nullptr, plat::Cursor::Default));
    window_->AddListener(&closeListener_);
}

CGameApplicationDriver::~CGameApplicationDriver() {
    plat::NoteStopProgress();
    application_.reset();
    plat::NoteStopProgress();
    window_.reset();
    plat::NoteStopProgress();
    LogInfo("---- Application finalized ----");  // may wait on a console nobody reads: a stuck step
    plat::NoteStopProgress();
    CloseLogFile();
    // The teardown is done and the log whole: the run ends as it is, however a stop comes now.
    plat::NoteRunEnding();
}

bool CGameApplicationDriver::Initialize() {
    initialized_ = true;
    return true;
}

void CGameApplicationDriver::Run() {
    LogInfo("Application driver running...");
    try {
        window_->Show();
        application_->Run();
    } catch (...) {
        ReportCurrentException(ReportMode::LogAndBox, GetWindowId());
    }
    window_->Hide();
    LogInfo("Application driver running finished.");
}

void CGameApplicationDriver::SetTitle(const std::string& title) {
    title_ = title;
    window_->SetTitle(title);
}

void CGameApplicationDriver::SetIcon(const plat::IconImage* icon) {
    icon_ = icon;
    window_->SetIcon(icon);
}

void CGameApplicationDriver::SetCursor(plat::Cursor cursor) {
    cursor_ = cursor;
    window_->SetCursor(cursor);
}

plat::WindowId CGameApplicationDriver::GetWindowId() const {
    return window_ && window_->GetHandle() != nullptr ? window_->GetHandle()->GetId() : plat::kNoWindow;
}

}  // namespace trivale
