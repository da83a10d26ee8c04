#include "platform/MessageBox.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <vector>

#include "platform/Printable.h"
#include "platform/StopSignals.h"

extern char** environ;

namespace plat {

const char* const kMessagesVariable = "VELLACOR_MESSAGES";

// From platform/Window.h, whose names Xlib's macros would clash with here.
bool DisplayRefused();

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

// Whether the environment asks for boxes on stderr. A value that is neither "log" nor "box" is told
// once and taken as "log": a typo must not leave an unattended run waiting at a box.
bool MessagesPrinted() {
    const char* value = std::getenv(kMessagesVariable);
    if (value == nullptr || *value == '\0' || SDL_strcasecmp(value, "box") == 0) return false;
    if (SDL_strcasecmp(value, "log") != 0) {
        static std::once_flag told;
        std::call_once(told, [&] {
            std::fprintf(stderr, "%s='%s' is neither \"log\" nor \"box\": message boxes are printed.\n",
                         kMessagesVariable, Printable(value).c_str());
        });
    }
    return true;
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

// The caption and the text may carry outside values (file names, environment values): the terminal
// gets them escaped, the text's own lines kept.
void PrintBox(const MessageBoxRequest& box) {
    std::fprintf(stderr, "[%s] %s\n%s\n", KindWord(box.kind), Printable(box.caption).c_str(),
                 Printable(box.text, LineBreaks::Keep).c_str());
    std::fflush(stderr);
}

// ---- wrapping ----

// The character at `at` and the position after it; a byte that starts no well-formed UTF-8 sequence is
// a character of its own.
std::size_t NextChar(const std::string& s, std::size_t at, std::uint32_t& cp) {
    const unsigned char lead = static_cast<unsigned char>(s[at]);
    std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 1;
    if (at + length > s.size()) length = 1;
    cp = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[at + i]);
        if ((c & 0xC0) != 0x80) {
            cp = lead;
            return at + 1;
        }
        cp = (cp << 6) | (c & 0x3Fu);
    }
    return at + length;
}

// East Asian wide characters, between which a line may break.
bool Wide(std::uint32_t cp) {
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) || (cp >= 0xAC00 && cp <= 0xD7A3) ||
           (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6) || cp >= 0x20000;
}

// Closing punctuation, the prolonged sound mark and small kana never start a line; opening brackets
// never end one.
bool NoBreakBefore(std::uint32_t cp) {
    static const std::uint32_t kClosing[] = {
        '.',    ',',    ';',    ':',    '!',    '?',    ')',    ']',    '}',    0x3001, 0x3002, 0xFF0C, 0xFF0E,
        0xFF09, 0x300D, 0x300F, 0x3011, 0xFF01, 0xFF1F, 0x30FC, 0x3041, 0x3043, 0x3045, 0x3047, 0x3049, 0x3063,
        0x3083, 0x3085, 0x3087, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30C3, 0x30E3, 0x30E5, 0x30E7};
    for (std::uint32_t c : kClosing) {
        if (c == cp) return true;
    }
    return false;
}

bool NoBreakAfter(std::uint32_t cp) {
    return cp == '(' || cp == '[' || cp == '{' || cp == 0xFF08 || cp == 0x300C || cp == 0x300E || cp == 0x3010;
}

// The pieces of a line between the places where it may break; a piece keeps the spaces after it.
std::vector<std::string> Pieces(const std::string& line) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    std::uint32_t previous = 0;
    for (std::size_t at = 0; at < line.size();) {
        std::uint32_t cp = 0;
        const std::size_t next = NextChar(line, at, cp);
        if (at > 0) {
            const bool afterSpace = previous == ' ' && cp != ' ';
            const bool betweenWide = previous != ' ' && cp != ' ' && (Wide(previous) || Wide(cp)) &&
                                     !NoBreakBefore(cp) && !NoBreakAfter(previous);
            if (afterSpace || betweenWide) {
                pieces.push_back(line.substr(start, at - start));
                start = at;
            }
        }
        previous = cp;
        at = next;
    }
    pieces.push_back(line.substr(start));
    return pieces;
}

std::string TrimRight(const std::string& s) {
    const std::size_t end = s.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

// The length in bytes of the head of a text wider than a line that goes on the line: the longest that
// fits (one character at least), cut after its last '/' or '\\' where it has one.
std::size_t Cut(const std::string& s, int maxWidth, const std::function<int(const std::string&)>& widthOf) {
    std::size_t fit = 0, separator = 0;
    for (std::size_t at = 0; at < s.size();) {
        std::uint32_t cp = 0;
        const std::size_t next = NextChar(s, at, cp);
        if (fit > 0 && widthOf(s.substr(0, next)) > maxWidth) break;
        fit = next;
        if (cp == '/' || cp == '\\') separator = next;
        at = next;
    }
    return separator > 0 ? separator : fit;
}

std::string WrapLine(const std::string& line, int maxWidth, const std::function<int(const std::string&)>& widthOf) {
    if (widthOf(line) <= maxWidth) return line;
    std::string out, current;
    const auto emit = [&](const std::string& text) {
        if (!out.empty()) out += '\n';
        out += text;
    };
    for (const std::string& piece : Pieces(line)) {
        if (current.empty() || widthOf(TrimRight(current + piece)) <= maxWidth) {
            current += piece;
        } else {
            emit(TrimRight(current));
            current = piece;
        }
        while (widthOf(TrimRight(current)) > maxWidth) {
            const std::size_t cut = Cut(TrimRight(current), maxWidth, widthOf);
            emit(current.substr(0, cut));
            current.erase(0, cut);
        }
    }
    if (!TrimRight(current).empty()) emit(TrimRight(current));
    return out;
}

// The font of SDL's X message box, from the X library SDL uses, in the user's locale as SDL takes it
// (for as long as this object lives), and the width of the screen. Not ready where there is no X
// display or no such font; SDL cannot show its box there either.
class BoxFont {
public:
    BoxFont() {
        library_ = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        if (library_ == nullptr) return;
        const auto open = reinterpret_cast<Display* (*)(const char*)>(dlsym(library_, "XOpenDisplay"));
        const auto create = reinterpret_cast<XFontSet (*)(Display*, const char*, char***, int*, char**)>(
            dlsym(library_, "XCreateFontSet"));
        const auto freeList = reinterpret_cast<void (*)(char**)>(dlsym(library_, "XFreeStringList"));
        const auto screen = reinterpret_cast<int (*)(Display*)>(dlsym(library_, "XDefaultScreen"));
        const auto width = reinterpret_cast<int (*)(Display*, int)>(dlsym(library_, "XDisplayWidth"));
        close_ = reinterpret_cast<int (*)(Display*)>(dlsym(library_, "XCloseDisplay"));
        freeSet_ = reinterpret_cast<void (*)(Display*, XFontSet)>(dlsym(library_, "XFreeFontSet"));
        extents_ = reinterpret_cast<int (*)(XFontSet, const char*, int, XRectangle*, XRectangle*)>(
            dlsym(library_, "Xutf8TextExtents"));
        if (open == nullptr || create == nullptr || freeList == nullptr || screen == nullptr || width == nullptr ||
            close_ == nullptr || freeSet_ == nullptr || extents_ == nullptr) {
            return;
        }
        display_ = open(nullptr);
        if (display_ == nullptr) return;
        screenWidth_ = width(display_, screen(display_));
        const char* locale = std::setlocale(LC_ALL, nullptr);
        locale_ = locale != nullptr ? locale : "C";
        std::setlocale(LC_ALL, "");
        char** missing = nullptr;
        int missingCount = 0;
        fontSet_ = create(display_, "-*-*-medium-r-normal--*-120-*-*-*-*-*-*", &missing, &missingCount, nullptr);
        if (missing != nullptr) freeList(missing);
    }
    ~BoxFont() {
        if (fontSet_ != nullptr) freeSet_(display_, fontSet_);
        if (!locale_.empty()) std::setlocale(LC_ALL, locale_.c_str());
        if (display_ != nullptr) close_(display_);
        if (library_ != nullptr) dlclose(library_);
    }
    BoxFont(const BoxFont&) = delete;
    BoxFont& operator=(const BoxFont&) = delete;

    bool Ready() const { return fontSet_ != nullptr; }
    int ScreenWidth() const { return screenWidth_; }
    int Width(const std::string& text) const {
        XRectangle ink{}, logical{};
        extents_(fontSet_, text.data(), static_cast<int>(text.size()), &ink, &logical);
        return logical.width;
    }

private:
    void* library_ = nullptr;
    Display* display_ = nullptr;
    XFontSet fontSet_ = nullptr;
    int screenWidth_ = 0;
    std::string locale_;
    int (*close_)(Display*) = nullptr;
    void (*freeSet_)(Display*, XFontSet) = nullptr;
    int (*extents_)(XFontSet, const char*, int, XRectangle*, XRectangle*) = nullptr;
};

// SDL's box is 30 pixels wider than its text; it keeps 40 pixels from either edge of the screen.
const int kBoxRoom = 30 + 2 * 40;

// The text with its lines wrapped to the screen the box appears on: the owner's, else the first.
std::string FitToScreen(SDL_Window* parent, const std::string& text) {
    const BoxFont font;
    if (!font.Ready()) return text;
    int width = font.ScreenWidth();
    SDL_Rect bounds{};
    const int display = parent != nullptr ? SDL_GetWindowDisplayIndex(parent) : 0;
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0 && display >= 0 && SDL_GetDisplayBounds(display, &bounds) == 0) {
        width = bounds.w;
    }
    if (width <= 0) return text;
    return WrapMessageText(text, std::max(width - kBoxRoom, 100), [&](const std::string& s) { return font.Width(s); });
}

// ---- the box's own process ----
//
// SDL shows its X box from a child it forks and waits for without end: that wait hears no signal, and
// the child outlives a program that is killed, holding what it inherited (the log among it). The box
// is shown instead from a process of the program's own: a fresh image of the program, started with
// nothing open but the standard streams and its request, that dies with the thread that waits for it
// and takes SDL's child with it. The waiting thread looks for a caught signal as it waits.

const char* const kRequestVariable = "VELLACOR_MESSAGE_BOX_REQUEST";
const char kRequestMagic[] = "vellacor message box 1\n";
const int kRequestDescriptor = 3;
// No box says more than this; the reader reads no further, so a stray descriptor 3 costs no memory.
const std::size_t kRequestLimit = 1 << 20;

// The request: the magic line, then "<flags> <owner's X window> <waiting process> <caption bytes>\n",
// the caption and the text.
std::string EncodeRequest(Uint32 flags, unsigned long ownerWindow, const std::string& caption,
                          const std::string& text) {
    char head[96];
    std::snprintf(head, sizeof(head), "%u %lu %ld %zu\n", static_cast<unsigned>(flags), ownerWindow,
                  static_cast<long>(getpid()), caption.size());
    std::string request = std::string(kRequestMagic) + head + caption + text;
    if (request.size() > kRequestLimit) request.resize(kRequestLimit);
    return request;
}

struct DecodedRequest {
    Uint32 flags = 0;
    unsigned long ownerWindow = 0;
    long waiter = 0;
    std::string caption, text;
};

bool DecodeRequest(const std::string& bytes, DecodedRequest& request) {
    const std::size_t magic = sizeof(kRequestMagic) - 1;
    if (bytes.compare(0, magic, kRequestMagic) != 0) return false;
    const std::size_t end = bytes.find('\n', magic);
    if (end == std::string::npos) return false;
    unsigned flags = 0;
    std::size_t captionSize = 0;
    if (std::sscanf(bytes.c_str() + magic, "%u %lu %ld %zu", &flags, &request.ownerWindow, &request.waiter,
                    &captionSize) != 4 ||
        captionSize > bytes.size() - end - 1) {
        return false;
    }
    request.flags = flags;
    request.caption = bytes.substr(end + 1, captionSize);
    request.text = bytes.substr(end + 1 + captionSize);
    return true;
}

pid_t g_boxProcess = 0;

// In SDL's child of the box's process: it goes when that process goes.
void DieWithTheBoxProcess() {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != g_boxProcess) _exit(1);
}

// The box's process: the program's image started with the request at descriptor 3. It shows the box
// and ends, before the program's own start-up: 0 when the box was closed, 1 when it could not show.
__attribute__((constructor)) void ShowRequestedBox() {
    const char* marker = std::getenv(kRequestVariable);
    if (marker == nullptr || std::strcmp(marker, "3") != 0) return;
    unsetenv(kRequestVariable);
    std::string bytes;
    char buffer[4096];
    if (lseek(kRequestDescriptor, 0, SEEK_SET) != 0) return;
    while (bytes.size() <= kRequestLimit) {
        const ssize_t got = read(kRequestDescriptor, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    const std::size_t magic = sizeof(kRequestMagic) - 1;
    if (bytes.compare(0, magic, kRequestMagic) != 0) return;  // not a request of ours: the program starts
    // Ours but not whole: this process must never go on to run the show.
    DecodedRequest request;
    if (bytes.size() > kRequestLimit || !DecodeRequest(bytes, request)) _exit(1);
    close(kRequestDescriptor);
    if (getppid() != request.waiter) _exit(1);  // the program went before this could start
    // The program's own handlers (installed before this ran) only take note: here a signal ends the box.
    // One that the program's starter ignores stays ignored.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction was = {};
        if (sigaction(signal, nullptr, &was) != 0 || was.sa_handler == SIG_IGN) continue;
        struct sigaction plain = {};
        plain.sa_handler = SIG_DFL;
        sigemptyset(&plain.sa_mask);
        sigaction(signal, &plain, nullptr);
    }
    g_boxProcess = getpid();
    pthread_atfork(nullptr, nullptr, &DieWithTheBoxProcess);
    SDL_Window* owner = nullptr;
    // SDL's video start-up would take the signals left at their default: a TERM to this process must
    // still end the box.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (request.ownerWindow != 0 && SDL_Init(SDL_INIT_VIDEO) == 0) {
        owner = SDL_CreateWindowFrom(reinterpret_cast<void*>(static_cast<std::uintptr_t>(request.ownerWindow)));
    }
    const int shown = SDL_ShowSimpleMessageBox(request.flags, request.caption.c_str(), request.text.c_str(), owner);
    _exit(shown == 0 ? 0 : 1);
}

// The X window of the owner, for the box to stand over; 0 for none.
unsigned long OwnerXWindow(SDL_Window* owner) {
    if (owner == nullptr) return 0;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(owner, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
    return static_cast<unsigned long>(info.info.x11.window);
}

enum class BoxEnd { Closed, Stopped, Failed };

// Closes every descriptor from `first` on; only calls that are safe between fork and exec.
void CloseFrom(int first, int limit) {
    if (syscall(SYS_close_range, static_cast<unsigned>(first), ~0u, 0) == 0) return;
    for (int fd = first; fd < limit; ++fd) close(fd);
}

BoxEnd ShowInOwnProcess(Uint32 flags, unsigned long ownerWindow, const std::string& caption, const std::string& text) {
    const int request = memfd_create("vellacor-message-box", MFD_CLOEXEC);
    if (request < 0) return BoxEnd::Failed;
    const std::string bytes = EncodeRequest(flags, ownerWindow, caption, text);
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t put = write(request, bytes.data() + written, bytes.size() - written);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        written += static_cast<std::size_t>(put);
    }
    const int nothing = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (written != bytes.size() || nothing < 0) {
        close(request);
        if (nothing >= 0) close(nothing);
        return BoxEnd::Failed;
    }
    // Everything the child needs is made before the fork: after it, only calls safe in a child of a
    // process with threads.
    std::vector<std::string> entries;
    for (char** e = environ; *e != nullptr; ++e) entries.emplace_back(*e);
    entries.push_back(std::string(kRequestVariable) + "=" + std::to_string(kRequestDescriptor));
    std::vector<char*> envp;
    for (std::string& e : entries) envp.push_back(&e[0]);
    envp.push_back(nullptr);
    char name[] = "vellacor06";
    char* argv[] = {name, nullptr};
    const long openMax = sysconf(_SC_OPEN_MAX);
    const int limit = openMax > 0 && openMax < 65536 ? static_cast<int>(openMax) : 65536;
    const pid_t waiter = getpid();

    const pid_t child = fork();
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != waiter) _exit(1);
        dup2(nothing, 0);
        dup2(nothing, 1);
        if (request == kRequestDescriptor)
            fcntl(request, F_SETFD, 0);
        else
            dup2(request, kRequestDescriptor);
        CloseFrom(kRequestDescriptor + 1, limit);
        struct sigaction plain = {};
        plain.sa_handler = SIG_DFL;
        sigemptyset(&plain.sa_mask);
        sigaction(SIGPIPE, &plain, nullptr);
        sigset_t none;
        sigemptyset(&none);
        pthread_sigmask(SIG_SETMASK, &none, nullptr);
        execve("/proc/self/exe", argv, envp.data());
        _exit(127);
    }
    close(request);
    close(nothing);
    if (child < 0) return BoxEnd::Failed;

    int status = 0;
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) break;
        if (done < 0 && errno != EINTR) return BoxEnd::Failed;
        if (StopRequested()) {
            kill(child, SIGKILL);
            while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
            return BoxEnd::Stopped;
        }
        poll(nullptr, 0, 20);
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status) == 0 ? BoxEnd::Closed : BoxEnd::Failed;
    // Ended from outside (Ctrl+C reaches the whole terminal's group, or the box's process alone was
    // ended): as OK, with the text printed, as for a signal to the program.
    return BoxEnd::Stopped;
}

}  // namespace

std::string WrapMessageText(const std::string& text, int maxWidth,
                            const std::function<int(const std::string&)>& widthOf) {
    std::string out;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find('\n', start);
        out +=
            WrapLine(text.substr(start, end == std::string::npos ? std::string::npos : end - start), maxWidth, widthOf);
        if (end == std::string::npos) return out;
        out += '\n';
        start = end + 1;
    }
}

bool CanShowMessageBox() {
    if (MessagesPrinted()) return false;
    if (HeadlessDriver(std::getenv("SDL_VIDEODRIVER"))) return false;
    if (SDL_WasInit(SDL_INIT_VIDEO) && HeadlessDriver(SDL_GetCurrentVideoDriver())) return false;
    if (DisplayRefused()) return false;
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
    // A box that a signal closes, or that nobody saw because one came before it, ends as its OK does;
    // its text goes to the terminal so that the reason is not lost.
    if (StopRequested()) {
        PrintBox(box);
        return;
    }
    SDL_Window* parent = owner != kNoWindow ? SDL_GetWindowFromID(owner) : nullptr;
    const BoxEnd end = ShowInOwnProcess(flags, OwnerXWindow(parent), caption, FitToScreen(parent, text));
    if (end != BoxEnd::Closed) PrintBox(box);
}

}  // namespace plat
