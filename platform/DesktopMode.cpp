// The desktop's display mode, kept for every full-screen instance on one display.
//
// A full-screen instance changes the display's mode; an instance started while it runs is told that
// mode as the desktop's, and SDL in each puts back what it was told when it leaves full screen. The
// record in the user's runtime folder holds the desktop's mode and the instances in full screen: the
// last to leave puts the desktop's mode back and removes the record, any other puts the display back
// in the mode of an instance still in it. The display's mode is set through the X resize extension,
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
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <X11/extensions/Xrandr.h>

#include "platform/HeldXConnection.h"
#include "platform/Printable.h"

namespace plat {

namespace {

struct Member {
    InstanceId id;
    DisplayMode mode;  // 0 x 0 until the instance has chosen it
};

struct Record {
    DisplayMode desktop;
    std::vector<Member> members;
};

const std::size_t kMaxMembers = 64;

// "W H RATE" for the desktop, then "PID STARTED W H RATE" per instance. Anything else is no record.
bool Parse(const std::string& text, Record& record) {
    std::istringstream in(text);
    DisplayMode& d = record.desktop;
    if (!(in >> d.width >> d.height >> d.refreshRate) || d.width <= 0 || d.height <= 0) return false;
    Member m;
    while (in >> m.id.pid >> m.id.started >> m.mode.width >> m.mode.height >> m.mode.refreshRate) {
        if (record.members.size() < kMaxMembers) record.members.push_back(m);
    }
    return in.eof();
}

std::string Format(const Record& record) {
    const DisplayMode& d = record.desktop;
    std::string text =
        std::to_string(d.width) + " " + std::to_string(d.height) + " " + std::to_string(d.refreshRate) + "\n";
    for (const Member& m : record.members) {
        text += std::to_string(m.id.pid) + " " + std::to_string(m.id.started) + " " + std::to_string(m.mode.width) +
                " " + std::to_string(m.mode.height) + " " + std::to_string(m.mode.refreshRate) + "\n";
    }
    return text;
}

bool Same(const InstanceId& a, const InstanceId& b) { return a.pid == b.pid && a.started == b.started; }

// The record's file, open and locked until destroyed. It is made new where missing, never through a
// link, and used only when it is a plain file of this user's with no other name (the folder may be
// the shared /tmp). A file removed while this one waited for the lock is opened again. The lock is
// tried until `until` (once at least), so that a process that holds it for good (one stopped inside its
// own step) never holds this one up; not taken by then, the file stays open to be read without it, and
// nothing is written.
class LockedFile {
public:
    using Clock = std::chrono::steady_clock;
    explicit LockedFile(const std::string& path, Clock::time_point until = Clock::now() + kOthersChangeLimit)
        : path_(path) {
        for (int attempt = 0; attempt < 8 && !path.empty(); ++attempt) {
            fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd_ < 0) return;
            const Taken taken = Lock(until);
            struct stat held, named;
            // A second name for the file (a hard link planted at the path) would have another file
            // rewritten through the record.
            if (taken == Taken::Failed || fstat(fd_, &held) != 0 || !S_ISREG(held.st_mode) || held.st_uid != getuid() ||
                held.st_nlink != 1)
                break;
            if (taken == Taken::TooLate) return;  // readable, not locked
            if (stat(path.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino) {
                locked_ = true;
                return;
            }
            close(fd_);
            fd_ = -1;
        }
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    ~LockedFile() {
        if (fd_ >= 0) close(fd_);  // and with it the lock
    }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    bool Usable() const { return locked_; }
    bool Readable() const { return fd_ >= 0; }
    std::string Read() const {
        std::string text;
        char buffer[512];
        for (off_t at = 0; text.size() < 16384;) {
            const ssize_t got = pread(fd_, buffer, sizeof buffer, at);
            if (got <= 0) break;
            text.append(buffer, static_cast<std::size_t>(got));
            at += got;
        }
        return text;
    }
    void Write(const std::string& text) const {
        if (!locked_) return;
        if (ftruncate(fd_, 0) == 0 && pwrite(fd_, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()))
            return;
        unlink(path_.c_str());  // half a record is none
    }
    void Remove() const {
        if (locked_) unlink(path_.c_str());
    }

private:
    enum class Taken { Locked, TooLate, Failed };
    Taken Lock(Clock::time_point until) const {
        for (;;) {
            if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return Taken::Locked;
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) return Taken::Failed;
            if (Clock::now() >= until) return Taken::TooLate;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    std::string path_;
    int fd_ = -1;
    bool locked_ = false;
};

// A process as its stat line shows it: its start time in clock ticks since boot (field 22; 0 when
// unknown), and whether it is ending: killed and freeing its memory (the kernel's exiting flag, 0x4 of
// field 9), or dead and not yet waited for by its parent (state Z or X, field 3).
struct ProcessStat {
    unsigned long long started = 0;
    bool ending = false;
};

ProcessStat ReadStat(long pid) {
    ProcessStat stat;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return stat;
    const std::size_t name = line.rfind(')');  // the command name may hold spaces and brackets
    if (name == std::string::npos) return stat;
    std::istringstream fields(line.substr(name + 1));
    std::string state, field;
    unsigned long flags = 0;
    fields >> state;
    for (int i = 4; i < 9 && fields >> field; ++i) {}
    fields >> flags;
    for (int i = 10; i < 22 && fields >> field; ++i) {}
    if (!(fields >> stat.started)) stat.started = 0;
    stat.ending = state == "Z" || state == "X" || (flags & 0x4) != 0;
    return stat;
}

// The connection a forced end opens of its own (ScreenSizes below), while it is open.
std::atomic<void*> g_sideConnection{nullptr};

// The X resize extension's first interface (as `xrandr -s` uses it), loaded from the library SDL loads.
class ScreenSizes {
public:
    explicit ScreenSizes(SDL_Window* window) {
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
        Open(info.info.x11.display);
    }
    // Over a connection of its own to the named display, for a thread other than SDL's: it shares no
    // state with the one SDL holds, which may be in use, or stuck.
    explicit ScreenSizes(const std::string& displayName) {
        x11_ = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        if (x11_ == nullptr) return;
        const auto open = reinterpret_cast<Display* (*)(const char*)>(dlsym(x11_, "XOpenDisplay"));
        closeDisplay_ = reinterpret_cast<int (*)(Display*)>(dlsym(x11_, "XCloseDisplay"));
        if (open == nullptr || closeDisplay_ == nullptr) return;
        own_ = open(displayName.c_str());
        unreachable_ = own_ == nullptr;
        if (own_ == nullptr) return;
        g_sideConnection.store(own_);
        Open(own_);
    }
    ~ScreenSizes() {
        if (config_ != nullptr) freeInfo_(config_);
        if (library_ != nullptr) dlclose(library_);
        if (own_ != nullptr) {
            closeDisplay_(own_);  // flushes what was asked of the server
            g_sideConnection.store(nullptr);
        }
        if (x11_ != nullptr) dlclose(x11_);
    }
    ScreenSizes(const ScreenSizes&) = delete;
    ScreenSizes& operator=(const ScreenSizes&) = delete;

private:
    void Open(Display* display) {
        library_ = dlopen("libXrandr.so.2", RTLD_NOW | RTLD_LOCAL);
        if (library_ == nullptr) return;
        Find(getInfo_, "XRRGetScreenInfo");
        Find(sizesOf_, "XRRConfigSizes");
        Find(currentOf_, "XRRConfigCurrentConfiguration");
        Find(rateOf_, "XRRConfigCurrentRate");
        Find(setConfig_, "XRRSetScreenConfig");
        Find(freeInfo_, "XRRFreeScreenConfigInfo");
        Find(ratesOf_, "XRRConfigRates");  // optional: without them a size is set at the server's rate
        Find(setConfigAndRate_, "XRRSetScreenConfigAndRate");
        if (getInfo_ == nullptr || sizesOf_ == nullptr || currentOf_ == nullptr || rateOf_ == nullptr ||
            setConfig_ == nullptr || freeInfo_ == nullptr) {
            return;
        }
        display_ = display;
        root_ = DefaultRootWindow(display_);
        config_ = getInfo_(display_, root_);
        // The outputs and their controllers, for a display that has no mode at all (none of the first
        // interface's sizes is current then): optional, as on a server of the first interface only.
        Find(resources_, "XRRGetScreenResourcesCurrent");
        Find(freeResources_, "XRRFreeScreenResources");
        Find(outputInfo_, "XRRGetOutputInfo");
        Find(freeOutputInfo_, "XRRFreeOutputInfo");
        Find(crtcInfo_, "XRRGetCrtcInfo");
        Find(freeCrtcInfo_, "XRRFreeCrtcInfo");
        Find(setCrtc_, "XRRSetCrtcConfig");
        Find(setScreenSize_, "XRRSetScreenSize");
        Find(sizeRange_, "XRRGetScreenSizeRange");
        Find(primary_, "XRRGetOutputPrimary");
    }

    template <typename Function>
    void Find(Function& function, const char* name) const {
        function = reinterpret_cast<Function>(dlsym(library_, name));
    }

    bool HasOutputs() const {
        return resources_ != nullptr && freeResources_ != nullptr && outputInfo_ != nullptr &&
               freeOutputInfo_ != nullptr && crtcInfo_ != nullptr && freeCrtcInfo_ != nullptr && setCrtc_ != nullptr &&
               setScreenSize_ != nullptr && sizeRange_ != nullptr && primary_ != nullptr;
    }

    // The outputs, controllers and modes as the server has them now; freed with this.
    class Outputs {
    public:
        explicit Outputs(const ScreenSizes& screen) : screen_(screen) {
            if (screen_.display_ != nullptr && screen_.HasOutputs())
                resources_ = screen_.resources_(screen_.display_, screen_.root_);
        }
        ~Outputs() {
            if (resources_ != nullptr) screen_.freeResources_(resources_);
        }
        Outputs(const Outputs&) = delete;
        Outputs& operator=(const Outputs&) = delete;
        XRRScreenResources* operator->() const { return resources_; }
        XRRScreenResources* Get() const { return resources_; }
        explicit operator bool() const { return resources_ != nullptr; }

    private:
        const ScreenSizes& screen_;
        XRRScreenResources* resources_ = nullptr;
    };

public:
    // Whether an output is connected and no controller shows anything: a process ended half-way
    // through a mode change (it turns the controller off, sizes the screen, then turns it on in the new
    // mode) leaves the display so, and no window can be shown on it.
    bool Dark(std::string* connectedName = nullptr) const {
        const Outputs outputs(*this);
        if (!outputs) return false;
        for (int i = 0; i < outputs->ncrtc; ++i) {
            XRRCrtcInfo* crtc = crtcInfo_(display_, outputs.Get(), outputs->crtcs[i]);
            const bool lit = crtc != nullptr && crtc->mode != None;
            if (crtc != nullptr) freeCrtcInfo_(crtc);
            if (lit) return false;
        }
        bool connected = false;
        for (int i = 0; i < outputs->noutput && !connected; ++i) {
            XRROutputInfo* output = outputInfo_(display_, outputs.Get(), outputs->outputs[i]);
            connected = output != nullptr && output->connection == RR_Connected;
            if (connected && connectedName != nullptr && output->name != nullptr && output->nameLen > 0)
                *connectedName = std::string(output->name, static_cast<std::size_t>(output->nameLen));
            if (output != nullptr) freeOutputInfo_(output);
        }
        return connected;
    }

private:
    // Shows the mode on the first connected output (the primary one if it is), on its own controller or
    // a free one, after sizing the screen to it: what a dark display needs. False when that could not be
    // done.
    bool Light(int width, int height, int refreshRate) const {
        const Outputs outputs(*this);
        if (!outputs) return false;
        int minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
        if (!sizeRange_(display_, root_, &minWidth, &minHeight, &maxWidth, &maxHeight) || width < minWidth ||
            height < minHeight || width > maxWidth || height > maxHeight) {
            return false;
        }
        const RROutput primary = primary_(display_, root_);
        RROutput chosen = None;
        XRROutputInfo* info = nullptr;
        for (int pass = 0; pass < 2 && info == nullptr; ++pass) {
            for (int i = 0; i < outputs->noutput && info == nullptr; ++i) {
                if (pass == 0 && outputs->outputs[i] != primary) continue;
                XRROutputInfo* output = outputInfo_(display_, outputs.Get(), outputs->outputs[i]);
                if (output != nullptr && output->connection == RR_Connected && output->ncrtc > 0) {
                    info = output;
                    chosen = outputs->outputs[i];
                } else if (output != nullptr) {
                    freeOutputInfo_(output);
                }
            }
        }
        if (info == nullptr) return false;
        // Its mode of the size, at the rate nearest the desktop's.
        RRMode mode = None;
        double off = 0;
        for (int i = 0; i < info->nmode; ++i) {
            for (int m = 0; m < outputs->nmode; ++m) {
                const XRRModeInfo& candidate = outputs->modes[m];
                if (candidate.id != info->modes[i] || static_cast<int>(candidate.width) != width ||
                    static_cast<int>(candidate.height) != height) {
                    continue;
                }
                const double dots = static_cast<double>(candidate.hTotal) * candidate.vTotal;
                const double rate = dots > 0 ? static_cast<double>(candidate.dotClock) / dots : 0;
                const double away = refreshRate > 0 ? std::abs(rate - refreshRate) : 0;
                if (mode == None || away < off) {
                    mode = candidate.id;
                    off = away;
                }
            }
        }
        RRCrtc crtc = info->crtc;
        for (int i = 0; i < info->ncrtc && crtc == None; ++i) {
            XRRCrtcInfo* candidate = crtcInfo_(display_, outputs.Get(), info->crtcs[i]);
            if (candidate != nullptr && candidate->mode == None && candidate->noutput == 0) crtc = info->crtcs[i];
            if (candidate != nullptr) freeCrtcInfo_(candidate);
        }
        freeOutputInfo_(info);
        if (mode == None || crtc == None) return false;
        // No controller shows anything, so the screen may take any size of its range (asked even where
        // the connection's idea of it says it has it: a change on another connection may not have
        // reached this one); its size in millimetres keeps its pixels' size.
        const int screen = DefaultScreen(display_);
        const int knownWidth = std::max(DisplayWidth(display_, screen), 1);
        const int knownHeight = std::max(DisplayHeight(display_, screen), 1);
        setScreenSize_(display_, root_, width, height, DisplayWidthMM(display_, screen) * width / knownWidth,
                       DisplayHeightMM(display_, screen) * height / knownHeight);
        RROutput shown = chosen;
        return setCrtc_(display_, outputs.Get(), crtc, CurrentTime, 0, 0, mode, RR_Rotate_0, &shown, 1) ==
               0;  // RRSetConfigSuccess
    }

public:
    // The size shown, and its rate as the server gives it: the mode's exact rate rounded to the nearest
    // hertz, as SDL rounds the rates of the modes it lists.
    bool Current(DisplayMode& mode) const {
        if (config_ == nullptr) return false;
        int count = 0;
        XRRScreenSize* sizes = sizesOf_(config_, &count);
        Rotation rotation = 0;
        const int current = currentOf_(config_, &rotation);
        if (current < 0 || current >= count) return false;
        mode.width = sizes[current].width;
        mode.height = sizes[current].height;
        mode.refreshRate = rateOf_(config_);
        return mode.width > 0 && mode.height > 0;
    }
    // Sets the screen to a size of its list, at the rate where the size has it, unless it is so. False
    // when the screen could not be set (no server to ask, a change refused): the mode is not back.
    // Where there is no resize extension (another video driver, an X server without it) there is
    // nothing this can do, and nothing a later try could.
    bool Set(int width, int height, int refreshRate = 0) const {
        if (unreachable_) return false;
        if (Dark()) return Light(width, height, refreshRate);
        DisplayMode now;
        if (!Current(now)) return true;
        int count = 0;
        XRRScreenSize* sizes = sizesOf_(config_, &count);
        Rotation rotation = 0;
        currentOf_(config_, &rotation);
        for (int i = 0; i < count; ++i) {
            if (sizes[i].width != width || sizes[i].height != height) continue;
            const bool rated = refreshRate > 0 && setConfigAndRate_ != nullptr && Lists(i, refreshRate);
            if (now.width == width && now.height == height && (!rated || now.refreshRate == refreshRate)) return true;
            const Status set = rated ? setConfigAndRate_(display_, config_, root_, i, rotation,
                                                         static_cast<short>(refreshRate), CurrentTime)
                                     : setConfig_(display_, config_, root_, i, rotation, CurrentTime);
            return set == 0;  // RRSetConfigSuccess
        }
        return true;
    }
    // False where the named display's server could not be reached.
    bool Reachable() const { return !unreachable_; }

private:
    // Whether the size of that index is listed at the rate.
    bool Lists(int size, int refreshRate) const {
        if (ratesOf_ == nullptr) return false;
        int count = 0;
        const short* rates = ratesOf_(config_, size, &count);
        for (int i = 0; rates != nullptr && i < count; ++i) {
            if (rates[i] == refreshRate) return true;
        }
        return false;
    }

    using GetInfo = XRRScreenConfiguration* (*)(Display*, ::Window);
    using Sizes = XRRScreenSize* (*)(XRRScreenConfiguration*, int*);
    using CurrentSize = SizeID (*)(XRRScreenConfiguration*, Rotation*);
    using CurrentRate = short (*)(XRRScreenConfiguration*);
    using SetConfig = Status (*)(Display*, XRRScreenConfiguration*, Drawable, int, Rotation, Time);
    using FreeInfo = void (*)(XRRScreenConfiguration*);
    using Rates = short* (*)(XRRScreenConfiguration*, int, int*);
    using SetConfigAndRate = Status (*)(Display*, XRRScreenConfiguration*, Drawable, int, Rotation, short, Time);
    using Resources = XRRScreenResources* (*)(Display*, ::Window);
    using FreeResources = void (*)(XRRScreenResources*);
    using OutputInfo = XRROutputInfo* (*)(Display*, XRRScreenResources*, RROutput);
    using FreeOutputInfo = void (*)(XRROutputInfo*);
    using CrtcInfo = XRRCrtcInfo* (*)(Display*, XRRScreenResources*, RRCrtc);
    using FreeCrtcInfo = void (*)(XRRCrtcInfo*);
    using SetCrtc = Status (*)(Display*, XRRScreenResources*, RRCrtc, Time, int, int, RRMode, Rotation, RROutput*, int);
    using SetScreenSize = void (*)(Display*, ::Window, int, int, int, int);
    using SizeRange = Status (*)(Display*, ::Window, int*, int*, int*, int*);
    using Primary = RROutput (*)(Display*, ::Window);
    void* library_ = nullptr;
    void* x11_ = nullptr;
    bool unreachable_ = false;  // the named display's server could not be reached
    Display* own_ = nullptr;
    int (*closeDisplay_)(Display*) = nullptr;
    GetInfo getInfo_ = nullptr;
    Sizes sizesOf_ = nullptr;
    CurrentSize currentOf_ = nullptr;
    CurrentRate rateOf_ = nullptr;
    SetConfig setConfig_ = nullptr;
    FreeInfo freeInfo_ = nullptr;
    Rates ratesOf_ = nullptr;
    SetConfigAndRate setConfigAndRate_ = nullptr;
    Resources resources_ = nullptr;
    FreeResources freeResources_ = nullptr;
    OutputInfo outputInfo_ = nullptr;
    FreeOutputInfo freeOutputInfo_ = nullptr;
    CrtcInfo crtcInfo_ = nullptr;
    FreeCrtcInfo freeCrtcInfo_ = nullptr;
    SetCrtc setCrtc_ = nullptr;
    SetScreenSize setScreenSize_ = nullptr;
    SizeRange sizeRange_ = nullptr;
    Primary primary_ = nullptr;
    Display* display_ = nullptr;
    ::Window root_ = 0;
    XRRScreenConfiguration* config_ = nullptr;
};

}  // namespace

InstanceId InstanceOf(long pid) {
    InstanceId instance;
    instance.pid = pid;
    instance.started = ReadStat(pid).started;
    return instance;
}

bool InstanceRuns(const InstanceId& instance) {
    if (instance.pid <= 0) return false;
    // A run that was killed holds the display no longer, though its parent has not waited for it yet.
    const ProcessStat now = ReadStat(instance.pid);
    if (now.started != 0) return now.started == instance.started && !now.ending;
    return instance.started == 0 && (kill(static_cast<pid_t>(instance.pid), 0) == 0 || errno == EPERM);
}

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

// ---- DesktopRecord -------------------------------------------------------------------------------

DesktopRecord::DesktopRecord(std::string path, InstanceId self, Runs runs)
    : path_(std::move(path)), self_(self), runs_(std::move(runs)) {}

DesktopRecord::~DesktopRecord() { Leave(nullptr); }

namespace {

// Drops the record's instances that no longer run; true when one other than `self` is left. `target`
// becomes the mode of the latest one left that holds the display, if any.
bool KeepRunning(Record& record, const InstanceId& self, const DesktopRecord::Runs& runs, DisplayMode& target) {
    std::vector<Member> running;
    bool others = false;
    for (const Member& m : record.members) {
        if (!Same(m.id, self) && !runs(m.id)) continue;
        running.push_back(m);
        if (Same(m.id, self)) continue;
        others = true;
        if (m.mode.width > 0 && m.mode.height > 0) target = m.mode;
    }
    record.members = running;
    return others;
}

// The mode the last of the record's instances put the display in; 0 x 0 where none had chosen one.
DisplayMode LeftMode(const Record& record) {
    DisplayMode left;
    for (const Member& m : record.members) {
        if (m.mode.width > 0 && m.mode.height > 0) left = m.mode;
    }
    return left;
}

bool SameMode(const DisplayMode& a, const DisplayMode& b) {
    return a.width == b.width && a.height == b.height && a.refreshRate == b.refreshRate;
}

// Whether a record none of whose instances runs any more still tells the desktop's mode: the display is
// dark, or in the very mode the last of them left it in (they ended without putting the desktop back).
// Any other mode, the same size at another rate too, was chosen since. The record has the rate SDL gave
// and the display the server's: both round the mode's exact rate to the nearest hertz.
bool LeftAsTheyLeftIt(const DisplayMode& left, const ShownMode& now) {
    return now.dark || (left.width > 0 && left.height > 0 && SameMode(left, now.mode));
}

}  // namespace

DisplayMode DesktopRecord::Join(const std::function<ShownMode()>& displayNow) {
    LockedFile file(path_);
    Record record;
    const bool recorded = file.Usable() && Parse(file.Read(), record);
    const DisplayMode left = LeftMode(record);
    DisplayMode unused;
    if (!recorded || !KeepRunning(record, self_, runs_, unused)) {
        const ShownMode now = displayNow();
        const bool believed = recorded && LeftAsTheyLeftIt(left, now);
        const DisplayMode desktop = record.desktop;
        record = Record();
        record.desktop = believed ? desktop : now.mode;
    }
    desktop_ = record.desktop;
    joined_ = true;
    record.members.erase(std::remove_if(record.members.begin(), record.members.end(),
                                        [&](const Member& m) { return Same(m.id, self_); }),
                         record.members.end());
    record.members.push_back({self_, DisplayMode()});
    if (file.Usable() && desktop_.width > 0 && desktop_.height > 0) file.Write(Format(record));
    return desktop_;
}

void DesktopRecord::Use(const DisplayMode& mode) {
    if (!joined_) return;
    LockedFile file(path_);
    Record record;
    if (!file.Usable() || !Parse(file.Read(), record)) return;
    record.members.erase(std::remove_if(record.members.begin(), record.members.end(),
                                        [&](const Member& m) { return Same(m.id, self_); }),
                         record.members.end());
    record.members.push_back({self_, mode});  // the latest to take the display
    file.Write(Format(record));
}

void DesktopRecord::StepAside(const std::function<void(const DisplayMode&)>& apply) {
    if (!joined_) return;
    LockedFile file(path_);
    Record record;
    DisplayMode target = desktop_;
    if (file.Usable() && Parse(file.Read(), record)) KeepRunning(record, self_, runs_, target);
    if (apply) apply(target);
}

namespace {

// The record changes only once the display is in the mode it is to be in: an end that cannot put it
// back (a server that does not answer, a run ended meanwhile) leaves this instance in the record with
// its mode, and the next run puts the desktop's mode back as after a crash. An end that could not take
// the lock by `until` (another process holds it) still puts the display in the mode the record, read
// without the lock, gives, and leaves the record as it is: the next run finds the display no longer in
// this instance's mode and only removes the record, or, where something changed it back meanwhile,
// puts the desktop back.
void LeaveRecord(const std::string& path, const InstanceId& self, const DisplayMode& desktop,
                 const DesktopRecord::Runs& runs, const DesktopRecord::Apply& apply,
                 LockedFile::Clock::time_point until = LockedFile::Clock::now() + kOthersChangeLimit) {
    LockedFile file(path, until);
    Record record;
    DisplayMode target = desktop;
    const bool others = file.Readable() && Parse(file.Read(), record) && KeepRunning(record, self, runs, target);
    if (apply && !apply(target)) return;
    if (!file.Usable()) return;
    if (others) {
        record.members.erase(std::remove_if(record.members.begin(), record.members.end(),
                                            [&](const Member& m) { return Same(m.id, self); }),
                             record.members.end());
        file.Write(Format(record));
    } else {
        file.Remove();
    }
}

// What a forced end needs to leave the record and put the display back from another thread than the
// window's: set while this process holds the display in a mode of its own.
struct HeldDisplay {
    bool held = false;
    std::string record;
    InstanceId self;
    DisplayMode desktop;
    std::string display;
};
std::mutex g_heldMutex;
HeldDisplay g_held;

void Hold(const HeldDisplay& held) {
    std::lock_guard<std::mutex> lock(g_heldMutex);
    g_held = held;
}

}  // namespace

void DesktopRecord::Leave(const Apply& apply) {
    if (!joined_) return;
    joined_ = false;
    LeaveRecord(path_, self_, desktop_, runs_, apply);
}

bool IsSideConnection(const void* display) { return display != nullptr && display == g_sideConnection.load(); }

// ---- Changes of the display's mode under way ----------------------------------------------------

namespace {

std::mutex g_changesMutex;
std::condition_variable g_changesMoved;
int g_changesUnderWay = 0;
bool g_changesClosed = false;
thread_local int t_changeDepth = 0;  // one inside another counts once

}  // namespace

ModeChange::ModeChange(bool mayChange) : entered_(mayChange) {
    if (!entered_ || t_changeDepth++ > 0) return;
    std::unique_lock<std::mutex> lock(g_changesMutex);
    // A forced end is putting the mode back and ending the process: nothing changes it meanwhile.
    g_changesMoved.wait(lock, [] { return !g_changesClosed; });
    ++g_changesUnderWay;
}

ModeChange::~ModeChange() {
    if (!entered_ || --t_changeDepth > 0) return;
    std::lock_guard<std::mutex> lock(g_changesMutex);
    --g_changesUnderWay;
    g_changesMoved.notify_all();
}

bool CloseModeChanges(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(g_changesMutex);
    g_changesClosed = true;
    return g_changesMoved.wait_for(lock, limit, [] { return g_changesUnderWay == 0; });
}

void OpenModeChanges() {
    std::lock_guard<std::mutex> lock(g_changesMutex);
    g_changesClosed = false;
    g_changesMoved.notify_all();
}

bool DisplayModeHeld() {
    std::lock_guard<std::mutex> lock(g_heldMutex);
    return g_held.held;
}

bool PutBackDesktopModeFromAnyThread() {
    // A change the window's thread has under way is finished first: two clients changing one display at
    // once, or a process ended between the steps of one change, can leave it with no mode at all. A
    // thread stuck elsewhere in its change is not waited for long: what it left is put right below.
    // The note's lock is waited for within the same limit: a change under way that long most often
    // waits for that lock itself, held by another process (one stopped inside its own change).
    const auto until = std::chrono::steady_clock::now() + kOthersChangeLimit;
    CloseModeChanges(kOthersChangeLimit);
    HeldDisplay held;
    {
        std::lock_guard<std::mutex> lock(g_heldMutex);
        if (!g_held.held) return false;
        held = g_held;
        g_held = HeldDisplay();
    }
    LeaveRecord(
        held.record, held.self, held.desktop, &InstanceRuns,
        [&](const DisplayMode& mode) {
            return ScreenSizes(held.display).Set(mode.width, mode.height, mode.refreshRate);
        },
        until);
    return true;
}

namespace {

// Whether the X server DISPLAY names answers a connection of the program's own within `within`.
bool ServerAnswers(std::chrono::milliseconds within, AtAStop atAStop) {
    HeldXConnection look;
    return look.Open(std::chrono::steady_clock::now() + within, nullptr, atAStop) == XServerAnswer::Accepted;
}

}  // namespace

namespace {

std::string Described(const DisplayMode& mode) {
    return std::to_string(mode.width) + "x" + std::to_string(mode.height) +
           (mode.refreshRate > 0 ? " " + std::to_string(mode.refreshRate) + " Hz" : std::string());
}

}  // namespace

StartRepair PutBackModeLeftByEndedRuns() {
    StartRepair repair;
    const std::string path = DesktopRecordPath();
    struct stat note;
    if (path.empty() || lstat(path.c_str(), &note) != 0) return repair;
    // Never wait on a server that does not answer: the start's own wait says what became of it.
    if (!ServerAnswers(std::chrono::seconds(2), AtAStop::GiveUp)) {
        repair.line = "the note of the desktop's mode " + Printable(path) +
                      " is not judged now: the X server did not answer within 2 s";
        return repair;
    }
    LockedFile file(path);
    if (!file.Usable()) {
        if (file.Readable())
            repair.line = "the note of the desktop's mode " + Printable(path) +
                          " is not judged now: another process has held it for 2 s";
        return repair;
    }
    Record record;
    if (!Parse(file.Read(), record)) {
        file.Remove();  // no note (half a one, or one made empty as this one opened it)
        return repair;
    }
    const DisplayMode left = LeftMode(record);
    DisplayMode unused;
    if (KeepRunning(record, InstanceId(), &InstanceRuns, unused)) return repair;  // a run holds the display
    const ScreenSizes screen(std::getenv("DISPLAY"));
    if (!screen.Reachable()) return repair;  // judged when it can be
    ShownMode now(DisplayMode(), screen.Dark());
    if (!now.dark && !screen.Current(now.mode)) now.mode = DisplayMode();  // no resize extension: nothing to do
    const DisplayMode& desktop = record.desktop;
    // Judged once: a note not believed now would be believed at any later start that happens to find
    // the display in that mode again, however much later the user chose it.
    if (!LeftAsTheyLeftIt(left, now) || (!now.dark && SameMode(now.mode, desktop))) {
        file.Remove();
        return repair;
    }
    const std::string why = "a full-screen run that ended without putting it back left the display " +
                            (now.dark ? std::string("dark") : "in " + Described(now.mode));
    if (!screen.Set(desktop.width, desktop.height, desktop.refreshRate)) {
        repair.failed = true;
        repair.line = "the desktop's mode " + Described(desktop) + " could not be put back (" + why + ")";
        return repair;  // the note stays: the display is still as that run left it
    }
    file.Remove();
    repair.line = "the desktop's mode " + Described(desktop) + " was put back: " + why;
    return repair;
}

bool DisplayAnswers() { return ServerAnswers(std::chrono::milliseconds(1500), AtAStop::Wait); }

bool DisplayIsDark(std::string* output) {
    const char* name = std::getenv("DISPLAY");
    return name != nullptr && *name != '\0' && ServerAnswers(std::chrono::seconds(2), AtAStop::GiveUp) &&
           ScreenSizes(name).Dark(output);
}

// ---- DesktopMode ---------------------------------------------------------------------------------

DesktopMode::DesktopMode() : record_(DesktopRecordPath(), InstanceOf(static_cast<long>(getpid())), &InstanceRuns) {}

SDL_DisplayMode DesktopMode::Take(SDL_Window* window, int display) {
    if (known_) return mode_;
    SDL_DisplayMode reported{};
    SDL_GetDesktopDisplayMode(display, &reported);
    // SDL's desktop is what the display was in when SDL started; the display is asked now.
    const DisplayMode desktop = record_.Join([&] {
        const ScreenSizes screen(window);
        ShownMode now(DisplayMode{reported.w, reported.h, reported.refresh_rate}, screen.Dark());
        if (!now.dark) screen.Current(now.mode);
        return now;
    });
    mode_ = reported;
    if (desktop.width != reported.w || desktop.height != reported.h || desktop.refreshRate != reported.refresh_rate) {
        mode_.w = desktop.width;
        mode_.h = desktop.height;
        mode_.refresh_rate = desktop.refreshRate;
        mode_.driverdata = nullptr;  // SDL finds the display's own mode of this size
    }
    known_ = true;
    return mode_;
}

void DesktopMode::Use(const SDL_DisplayMode& mode) {
    used_ = DisplayMode{mode.w, mode.h, mode.refresh_rate};
    record_.Use(used_);
    if (!record_.Joined()) return;
    const char* display = std::getenv("DISPLAY");
    Hold({true, record_.Path(), record_.Self(), DisplayMode{mode_.w, mode_.h, mode_.refresh_rate},
          display != nullptr ? display : ""});
}

void DesktopMode::StepAside(SDL_Window* window) {
    if (!known_) return;
    const ScreenSizes screen(window);
    DisplayMode now;
    if (!screen.Current(now) || (now.width == used_.width && now.height == used_.height)) return;
    record_.StepAside([&](const DisplayMode& mode) { screen.Set(mode.width, mode.height, mode.refreshRate); });
}

void DesktopMode::PutBack(SDL_Window* window) {
    if (!known_) return;
    known_ = false;
    Hold(HeldDisplay());
    record_.Leave(
        [&](const DisplayMode& mode) { return ScreenSizes(window).Set(mode.width, mode.height, mode.refreshRate); });
}

void DesktopMode::Minimised() {
    if (known_) record_.Use(DisplayMode());
}

void DesktopMode::Resume() {
    if (known_) record_.Use(used_);
}

}  // namespace plat
