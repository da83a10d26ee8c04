#include "app_framework/GameWindow.h"

#include <algorithm>
#include <map>

#include "core/Exception.h"
#include "core/Log.h"

namespace trivale {

namespace {

// The shown windows by id: a window hears its messages exactly while it is in here.
std::map<plat::WindowId, CGameWindow*>& WindowRegistry() {
    static std::map<plat::WindowId, CGameWindow*> registry;
    return registry;
}

std::intptr_t PackSize(int width, int height) {
    return static_cast<std::intptr_t>((static_cast<std::uint32_t>(width) & 0xFFFF) |
                                      ((static_cast<std::uint32_t>(height) & 0xFFFF) << 16));
}

// What the system does with a message nobody handled.
std::intptr_t DefaultWindowProc(plat::WindowId window, unsigned message) {
    if (message == kMessageClose) GameWindowProc(window, kMessageDestroy, 0, 0);
    return 0;
}

}  // namespace

CGameWindow::CGameWindow(const std::string& className, const std::string& title, const plat::IconImage* icon,
                         plat::Cursor cursor)
    : icon_(icon), cursor_(cursor), title_(title), className_(className) {
    std::string error;
    window_ = plat::Window::Create(title, 640, 480, &error);
    // The display's first start may have put back a mode a killed full-screen run left: said once, first.
    const plat::StartRepair repair = plat::TakeStartRepair();
    if (repair.failed) {
        LogError("%s", repair.line.c_str());
    } else if (!repair.line.empty()) {
        LogInfoString(repair.line);
    }
    if (!window_) {
        throw EException(this, "CGameWindow(): ウィンドウを作成できませんでした. (" + error + ")");
    }
    SetClientSize(640, 480);
}

CGameWindow::~CGameWindow() {
    Hide();
    listeners_.clear();
}

void CGameWindow::SetClientSize(int width, int height) {
    clientWidth_ = width;
    clientHeight_ = height;
    window_->SetClientSize(width, height);
}

int CGameWindow::GetClientWidth() {
    window_->GetClientSize(&clientWidth_, &clientHeight_);
    return clientWidth_;
}

int CGameWindow::GetClientHeight() {
    window_->GetClientSize(&clientWidth_, &clientHeight_);
    return clientHeight_;
}

void CGameWindow::SetPosition(int x, int y) { window_->SetPosition(x, y); }

void CGameWindow::SetTitle(const std::string& title) {
    title_ = title;
    window_->SetTitle(title);
}

void CGameWindow::SetIcon(const plat::IconImage* icon) {
    icon_ = icon;
    window_->SetIcon(icon);
}

void CGameWindow::SetCursor(plat::Cursor cursor) {
    cursor_ = cursor;
    plat::SetCursor(cursor);
}

void CGameWindow::AddListener(IGameWindowListener* listener) {
    if (listener == nullptr) return;
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) {
        listeners_.push_back(listener);
    }
}

int CGameWindow::RemoveListener(IGameWindowListener* listener) {
    ListenerList::iterator it = std::find(listeners_.begin(), listeners_.end(), listener);
    if (it == listeners_.end()) return 0;
    listeners_.erase(it);
    return 1;
}

void CGameWindow::SetFullScreen(bool fullScreen) {
    if (fullScreen == fullScreen_) return;
    fullScreen_ = fullScreen;
    ApplyStyle();
}

void CGameWindow::ApplyStyle() {
    if (fullScreen_) {
        window_->SetBordered(false);
        window_->SetResizable(false);
        const plat::Rect display = window_->GetDisplayBounds();
        window_->SetPosition(display.left, display.top);
        window_->SetClientSize(clientWidth_, clientHeight_);
    } else {
        window_->SetBordered(true);
        window_->SetResizable(sizable_);
        Center();
    }
}

void CGameWindow::Center() {
    if (fullScreen_) return;
    const plat::Rect display = window_->GetDisplayBounds();
    window_->SetClientSize(clientWidth_, clientHeight_);
    window_->SetPosition(display.left + display.Width() / 2 - clientWidth_ / 2,
                         display.top + display.Height() / 2 - clientHeight_ / 2);
}

bool CGameWindow::IsShown() const { return WindowRegistry().count(window_->GetId()) != 0; }

void CGameWindow::FirstShowing(bool activate) {
    if (IsShown()) return;
    SetIcon(icon_);
    SetCursor(cursor_);
    ApplyStyle();
    window_->Show(activate);
    WindowRegistry()[window_->GetId()] = this;
}

void CGameWindow::Show() {
    FirstShowing(true);
    BringToTop();
}

void CGameWindow::ShowNoActivate() { FirstShowing(false); }

void CGameWindow::BringToTop() { window_->Raise(); }

void CGameWindow::Hide() {
    WindowRegistry().erase(window_->GetId());
    window_->Hide();
}

std::intptr_t GameWindowProc(plat::WindowId id, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    std::map<plat::WindowId, CGameWindow*>::iterator found = WindowRegistry().find(id);
    if (found == WindowRegistry().end()) return DefaultWindowProc(id, message);
    CGameWindow* window = found->second;

    // The calls run over a copy: a listener added or removed during them takes effect from the next
    // message on.
    const CGameWindow::ListenerList listeners = window->listeners_;
    bool lastHandled = false;
    std::intptr_t handledResult = 0;
    for (IGameWindowListener* listener : listeners) {
        std::intptr_t result = 0;
        lastHandled = listener->OnMessage(window, message, wParam, lParam, &result);
        if (lastHandled) handledResult = result;
    }
    // Only the last listener's answer decides whether the default handling runs.
    if (lastHandled) return handledResult;
    return DefaultWindowProc(id, message);
}

void DispatchWindowEvent(const plat::Event& event) {
    std::map<plat::WindowId, CGameWindow*>& registry = WindowRegistry();
    switch (event.type) {
    case plat::EventType::Close:
        if (event.windowId == 0) {
            // The system asks the program to end: every shown window hears a close, and with none
            // shown the loop ends at once.
            std::vector<plat::WindowId> ids;
            for (const auto& entry : registry) ids.push_back(entry.first);
            if (ids.empty()) plat::PostQuit(0);
            for (plat::WindowId id : ids) GameWindowProc(id, kMessageClose, 0, 0);
        } else {
            GameWindowProc(event.windowId, kMessageClose, 0, 0);
        }
        break;
    case plat::EventType::FocusGained:
        GameWindowProc(event.windowId, kMessageActivate, kWindowActive, 0);
        break;
    case plat::EventType::FocusLost:
        GameWindowProc(event.windowId, kMessageActivate, kWindowInactive, 0);
        break;
    case plat::EventType::Minimized:
    case plat::EventType::Maximized:
    case plat::EventType::Restored:
    case plat::EventType::Resized: {
        std::map<plat::WindowId, CGameWindow*>::iterator found = registry.find(event.windowId);
        if (found == registry.end()) break;
        CGameWindow* window = found->second;
        unsigned kind = kSizeRestored;
        if (event.type == plat::EventType::Minimized) kind = kSizeMinimized;
        // Window managers maximise on their own; without a maximize box that is no request for
        // full screen, only a new size.
        if (event.type == plat::EventType::Maximized && window->HasMaximizeBox()) kind = kSizeMaximized;
        int width = event.width, height = event.height;
        if (event.type != plat::EventType::Resized) window->GetHandle()->GetClientSize(&width, &height);
        GameWindowProc(event.windowId, kMessageSize, kind, PackSize(width, height));
        break;
    }
    case plat::EventType::Expose:
        GameWindowProc(event.windowId, kMessageEraseBackground, 0, 0);
        GameWindowProc(event.windowId, kMessagePaint, 0, 0);
        break;
    case plat::EventType::KeyDown:
        GameWindowProc(event.windowId, kMessageKeyDown, static_cast<std::uintptr_t>(event.key), 0);
        break;
    case plat::EventType::KeyUp:
    case plat::EventType::Quit:
        break;
    }
}

}  // namespace trivale
