#include "platform/MessageBox.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace plat {

namespace {

std::mutex g_hookMutex;
MessageBoxHook g_hook;

bool EnvSet(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

bool HeadlessDriver(const char* driver) {
    return driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
}

const char* KindWord(MessageBoxKind kind) {
    switch (kind) {
    case MessageBoxKind::Error:
        return "error";
    case MessageBoxKind::Warning:
        return "warning";
    case MessageBoxKind::Information:
        return "information";
    }
    return "message";
}

void PrintBox(const MessageBoxRequest& box) {
    std::fprintf(stderr, "[%s] %s\n%s\n", KindWord(box.kind), box.caption.c_str(), box.text.c_str());
    std::fflush(stderr);
}

}  // namespace

bool CanShowMessageBox() {
    if (EnvSet("TV_NO_MESSAGE_BOX")) return false;
    if (HeadlessDriver(std::getenv("SDL_VIDEODRIVER"))) return false;
    if (SDL_WasInit(SDL_INIT_VIDEO) && HeadlessDriver(SDL_GetCurrentVideoDriver())) return false;
    return EnvSet("DISPLAY") || EnvSet("WAYLAND_DISPLAY");
}

void SetMessageBoxHook(MessageBoxHook hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_hook = std::move(hook);
}

void ShowMessageBox(WindowId owner, const std::string& text, const std::string& caption, MessageBoxKind kind) {
    MessageBoxRequest box;
    box.owner = owner;
    box.text = text;
    box.caption = caption;
    box.kind = kind;
    MessageBoxHook hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_hook;
    }
    if (hook) {
        hook(box);
        return;
    }
    if (!CanShowMessageBox()) {
        PrintBox(box);
        return;
    }
    Uint32 flags = kind == MessageBoxKind::Error     ? SDL_MESSAGEBOX_ERROR
                   : kind == MessageBoxKind::Warning ? SDL_MESSAGEBOX_WARNING
                                                     : SDL_MESSAGEBOX_INFORMATION;
    SDL_Window* parent = owner != kNoWindow ? SDL_GetWindowFromID(owner) : nullptr;
    if (SDL_ShowSimpleMessageBox(flags, caption.c_str(), text.c_str(), parent) != 0) PrintBox(box);
}

}  // namespace plat
