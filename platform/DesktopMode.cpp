// The desktop's display mode, kept for every instance on one display.
//
// A full-screen instance changes the display's mode; an instance started while it runs is told that
// mode as the desktop's, and would leave the display in it. The first instance to change a display's
// mode records the desktop's in a file of the user's runtime folder; the others read it, and whoever
// leaves last puts the desktop's mode back. The display's mode is set through the X resize extension,
// loaded at run time as SDL loads it.
#include "platform/DesktopMode.h"

// The X part of the window-system record (the distribution's SDL configuration does not name drivers).
#ifndef SDL_VIDEO_DRIVER_X11
#define SDL_VIDEO_DRIVER_X11 1
#endif
#include <SDL_syswm.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <X11/extensions/Xrandr.h>

namespace plat {

namespace {

struct Record {
    int width = 0, height = 0, refreshRate = 0;
    long pid = 0;
};

bool Alive(long pid) { return pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

bool Read(const std::string& path, Record& record) {
    std::ifstream in(path);
    return static_cast<bool>(in >> record.width >> record.height >> record.refreshRate >> record.pid) &&
           record.width > 0 && record.height > 0;
}

// Written whole under another name and renamed, so that a reader never sees half a record; the
// partial file is made new (never through a link another user left in a shared folder).
void Write(const std::string& path, const Record& record) {
    const std::string partial = path + "." + std::to_string(getpid());
    std::remove(partial.c_str());
    const int fd = open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const std::string text = std::to_string(record.width) + " " + std::to_string(record.height) + " " +
                             std::to_string(record.refreshRate) + " " + std::to_string(record.pid) + "\n";
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    if (!written || std::rename(partial.c_str(), path.c_str()) != 0) std::remove(partial.c_str());
}

// Sets the X screen to a size of its list unless it has it (the extension's first interface, as
// `xrandr -s` does).
bool SetXScreenSize(SDL_Window* window, int width, int height) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
    void* library = dlopen("libXrandr.so.2", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return false;
    using GetInfo = XRRScreenConfiguration* (*)(Display*, ::Window);
    using Sizes = XRRScreenSize* (*)(XRRScreenConfiguration*, int*);
    using CurrentSize = SizeID (*)(XRRScreenConfiguration*, Rotation*);
    using SetConfig = Status (*)(Display*, XRRScreenConfiguration*, Drawable, int, Rotation, Time);
    using FreeInfo = void (*)(XRRScreenConfiguration*);
    auto getInfo = reinterpret_cast<GetInfo>(dlsym(library, "XRRGetScreenInfo"));
    auto sizesOf = reinterpret_cast<Sizes>(dlsym(library, "XRRConfigSizes"));
    auto currentOf = reinterpret_cast<CurrentSize>(dlsym(library, "XRRConfigCurrentConfiguration"));
    auto setConfig = reinterpret_cast<SetConfig>(dlsym(library, "XRRSetScreenConfig"));
    auto freeInfo = reinterpret_cast<FreeInfo>(dlsym(library, "XRRFreeScreenConfigInfo"));
    bool done = false;
    if (getInfo != nullptr && sizesOf != nullptr && currentOf != nullptr && setConfig != nullptr &&
        freeInfo != nullptr) {
        Display* display = info.info.x11.display;
        const ::Window root = DefaultRootWindow(display);
        if (XRRScreenConfiguration* config = getInfo(display, root)) {
            int count = 0;
            XRRScreenSize* sizes = sizesOf(config, &count);
            Rotation rotation = 0;
            const int current = currentOf(config, &rotation);
            done = current >= 0 && current < count && sizes[current].width == width && sizes[current].height == height;
            for (int i = 0; i < count && !done; ++i) {
                if (sizes[i].width == width && sizes[i].height == height) {
                    done = setConfig(display, config, root, i, rotation, CurrentTime) == 0;
                }
            }
            freeInfo(config);
        }
    }
    dlclose(library);
    return done;
}

}  // namespace

std::string DesktopRecordPath() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') return "";  // only X displays are shared this way
    std::string name;
    for (const char* c = display; *c != '\0'; ++c) {
        const bool plain =
            (*c >= '0' && *c <= '9') || (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || *c == '.';
        name += plain ? *c : '_';
    }
    const char* folder = std::getenv("XDG_RUNTIME_DIR");
    const std::string base = folder != nullptr && *folder != '\0' ? folder : "/tmp";
    return base + "/vellacor-desktop-" + std::to_string(getuid()) + "-" + name;
}

DesktopMode::DesktopMode() : path_(DesktopRecordPath()) {}

DesktopMode::~DesktopMode() {
    if (owner_) std::remove(path_.c_str());
}

SDL_DisplayMode DesktopMode::Take(int display) {
    if (known_) return mode_;
    SDL_DisplayMode reported{};
    SDL_GetDesktopDisplayMode(display, &reported);
    mode_ = reported;
    known_ = true;
    if (path_.empty()) return mode_;
    Record record;
    if (Read(path_, record) && record.pid != static_cast<long>(getpid()) && Alive(record.pid)) {
        // Another instance changed the mode first and still runs: its record holds the desktop's.
        // (A record whose writer is gone is not trusted: the desktop may have changed since.)
        mode_.w = record.width;
        mode_.h = record.height;
        mode_.refresh_rate = record.refreshRate;
        mode_.driverdata = nullptr;  // SDL finds the display's own mode of this size
        return mode_;
    }
    record.width = mode_.w;
    record.height = mode_.h;
    record.refreshRate = mode_.refresh_rate;
    record.pid = static_cast<long>(getpid());
    Write(path_, record);
    owner_ = true;
    return mode_;
}

void DesktopMode::PutBack(SDL_Window* window) {
    if (!known_) return;
    known_ = false;
    if (!path_.empty()) {
        Record record;
        const bool recorded = Read(path_, record);
        if (owner_) {
            if (recorded && record.pid == static_cast<long>(getpid())) std::remove(path_.c_str());
            owner_ = false;
        } else if (recorded && Alive(record.pid)) {
            return;  // the instance that changed the mode first is still full screen, and puts it back
        }
    }
    // SDL has put back the mode it took for the desktop's, or none where it believes the display in it
    // (another instance may have changed it since): the display is asked, and given the desktop's.
    SetXScreenSize(window, mode_.w, mode_.h);
}

}  // namespace plat
