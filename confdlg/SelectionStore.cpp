#include "confdlg/SelectionStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <tuple>

namespace trivale {
namespace confdlg {

const char* const kUnattendedVariable = "VELLACOR_DIALOG";

namespace {

bool ParseInt(const std::string& text, int32_t& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return false;
    out = static_cast<int32_t>(value);
    return true;
}

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

const CONFIG_FORMAT_INFO* FormatOf(const CONFIG_ADAPTER_INFO& adapter, uint32_t bitsPerPixel) {
    uint32_t count = adapter.formatCount < kConfigFormatSlots ? adapter.formatCount : kConfigFormatSlots;
    for (uint32_t i = 0; i < count; ++i) {
        if (adapter.formats[i].bitsPerPixel == bitsPerPixel) return &adapter.formats[i];
    }
    return nullptr;
}

uint32_t ModeCount(const CONFIG_ADAPTER_INFO& adapter) {
    return adapter.modeCount < kConfigMaxModes ? adapter.modeCount : kConfigMaxModes;
}

uint32_t AdapterCount(const CONFIG_INFO& info) {
    return info.adapterCount < kConfigMaxAdapters ? info.adapterCount : kConfigMaxAdapters;
}

std::pair<uint32_t, uint32_t> DesktopOf(const DesktopSizes& desktops, int32_t adapter) {
    if (adapter < 0 || static_cast<size_t>(adapter) >= desktops.size()) return {0, 0};
    return desktops[adapter];
}

bool KnownDesktop(const std::pair<uint32_t, uint32_t>& desktop) { return desktop.first > 0 && desktop.second > 0; }

bool FitsDesktop(const CONFIG_DISPLAY_MODE& mode, const std::pair<uint32_t, uint32_t>& desktop) {
    return !KnownDesktop(desktop) || (mode.width <= desktop.first && mode.height <= desktop.second);
}

int32_t DefaultMode(const CONFIG_ADAPTER_INFO& adapter, const std::pair<uint32_t, uint32_t>& desktop) {
    // The default is a window: the largest size that fits 1024 x 768 and the desktop, else the
    // smallest size that fits the desktop, else the smallest size listed (never the largest mode,
    // which would cover the screen). Of one size, a 32-bit mode at the highest rate.
    const uint32_t maxWidth = KnownDesktop(desktop) ? std::min(1024u, desktop.first) : 1024u;
    const uint32_t maxHeight = KnownDesktop(desktop) ? std::min(768u, desktop.second) : 768u;
    const auto area = [](const CONFIG_DISPLAY_MODE& m) { return static_cast<uint64_t>(m.width) * m.height; };
    const auto largest = [&](const CONFIG_DISPLAY_MODE& m) {
        return std::make_tuple(area(m), m.bitsPerPixel == 32, m.refreshRate);
    };
    const auto small = [&](const CONFIG_DISPLAY_MODE& m) { return std::make_tuple(area(m), m.bitsPerPixel != 32); };
    int32_t best = -1, smallestFitting = -1, smallest = -1;
    for (uint32_t i = 0; i < ModeCount(adapter); ++i) {
        const CONFIG_DISPLAY_MODE& m = adapter.modes[i];
        if (smallest < 0 || small(m) < small(adapter.modes[smallest])) smallest = static_cast<int32_t>(i);
        if (!FitsDesktop(m, desktop)) continue;
        if (smallestFitting < 0 || small(m) < small(adapter.modes[smallestFitting])) {
            smallestFitting = static_cast<int32_t>(i);
        }
        if (m.width > maxWidth || m.height > maxHeight) continue;
        if (best < 0 || largest(m) > largest(adapter.modes[best])) best = static_cast<int32_t>(i);
    }
    return best >= 0 ? best : smallestFitting >= 0 ? smallestFitting : std::max(smallest, 0);
}

// What this module writes is a few hundred bytes; anything much larger is not its file.
const std::size_t kMaxSettingsBytes = 64 * 1024;

// The settings file's text, when it is a regular file of a sane size. Opened without blocking so that
// a FIFO there cannot hold the start-up, and read within the bound so that a link to an endless
// device cannot fill the memory.
bool ReadSettings(const std::string& path, std::string& text) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat info;
    bool usable =
        fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) <= kMaxSettingsBytes;
    text.clear();
    char buffer[4096];
    while (usable) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            usable = got == 0;
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
        usable = text.size() <= kMaxSettingsBytes;  // it may grow while it is read
    }
    close(fd);
    return usable;
}

std::string AsciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool MakeDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

}  // namespace

UnattendedChoice ParseUnattended(const char* value, CONFIG_SELECTION& selection) {
    if (value == nullptr || *value == '\0') return UnattendedChoice::None;
    std::string text = Trim(value);
    // Like the program's switches, the words are taken in any case.
    const std::string word = AsciiLower(text);
    if (word == "accept") return UnattendedChoice::Accept;
    if (word == "cancel") return UnattendedChoice::Cancel;
    // Exactly seven numbers: an empty field anywhere, a trailing comma included, is malformed.
    int32_t fields[7];
    int count = 0;
    for (size_t begin = 0;;) {
        size_t comma = text.find(',', begin);
        if (count == 7 || !ParseInt(Trim(text.substr(begin, comma - begin)), fields[count++])) {
            return UnattendedChoice::Malformed;
        }
        if (comma == std::string::npos) break;
        begin = comma + 1;
    }
    if (count != 7) return UnattendedChoice::Malformed;
    selection.adapter = fields[0];
    selection.mode = fields[1];
    selection.multiSample = fields[2];
    selection.anisotropy = fields[3];
    selection.windowed = fields[4];
    selection.depthBits = fields[5];
    selection.vsync = fields[6];
    return UnattendedChoice::Explicit;
}

std::string SelectionProblem(const CONFIG_INFO& info, const CONFIG_SELECTION& selection) {
    const auto range = [](const char* what, int32_t value, uint32_t count) {
        return std::string(what) + " " + std::to_string(value) + " does not exist" +
               (count == 0 ? std::string(" (none listed)") : " (0 to " + std::to_string(count - 1) + ")");
    };
    if (selection.adapter < 0 || static_cast<uint32_t>(selection.adapter) >= AdapterCount(info)) {
        return range("adapter", selection.adapter, AdapterCount(info));
    }
    const CONFIG_ADAPTER_INFO& adapter = info.adapters[selection.adapter];
    if (selection.mode < 0 || static_cast<uint32_t>(selection.mode) >= ModeCount(adapter)) {
        return range("mode", selection.mode, ModeCount(adapter));
    }
    const CONFIG_DISPLAY_MODE& mode = adapter.modes[selection.mode];
    if (selection.multiSample != 0 && !MultiSampleUsable(adapter, mode, selection.multiSample)) {
        std::string offered = "0";
        for (int samples = 2; samples < kConfigMultiSampleSlots; ++samples) {
            if (MultiSampleUsable(adapter, mode, samples)) offered += ", " + std::to_string(samples);
        }
        return "sample count " + std::to_string(selection.multiSample) + " is not offered with mode " +
               std::to_string(selection.mode) + " (" + offered + ")";
    }
    // As the dialog offers it: off, or a power of two up to the adapter's maximum.
    const int32_t anisotropy = selection.anisotropy;
    if (anisotropy != 0 && (anisotropy < 2 || static_cast<uint32_t>(anisotropy) > adapter.maxAnisotropy ||
                            (anisotropy & (anisotropy - 1)) != 0)) {
        return "anisotropy " + std::to_string(anisotropy) + " is not offered (0 or a power of two from 2 to " +
               std::to_string(adapter.maxAnisotropy) + ")";
    }
    if (selection.windowed != 0 && selection.windowed != 1) {
        return "windowed " + std::to_string(selection.windowed) + " is neither 0 nor 1";
    }
    if (selection.depthBits != 16 && selection.depthBits != 24 && selection.depthBits != 32) {
        return "depth bits " + std::to_string(selection.depthBits) + " do not exist (16, 24 or 32)";
    }
    if (selection.vsync != 0 && selection.vsync != 1) {
        return "vsync " + std::to_string(selection.vsync) + " is neither 0 nor 1";
    }
    return std::string();
}

std::string AdapterName(const CONFIG_ADAPTER_INFO& adapter) {
    return std::string(adapter.name, strnlen(adapter.name, sizeof(adapter.name)));
}

bool OfferedFullScreen(const std::vector<std::pair<uint32_t, uint32_t>>& displaySizes,
                       const CONFIG_DISPLAY_MODE& mode) {
    if (displaySizes.empty()) return true;
    for (const auto& size : displaySizes) {
        if (size.first == mode.width && size.second == mode.height) return true;
    }
    return false;
}

std::vector<int> OfferedModes(const CONFIG_ADAPTER_INFO& adapter,
                              const std::vector<std::pair<uint32_t, uint32_t>>& displaySizes, bool windowed,
                              uint32_t desktopWidth, uint32_t desktopHeight) {
    std::vector<int> rows;
    const uint32_t count = ModeCount(adapter);
    if (!windowed) {
        for (uint32_t i = 0; i < count; ++i) {
            if (OfferedFullScreen(displaySizes, adapter.modes[i])) rows.push_back(static_cast<int>(i));
        }
        return rows;
    }
    const bool knownDesktop = desktopWidth > 0 && desktopHeight > 0;
    for (uint32_t i = 0; i < count; ++i) {
        const CONFIG_DISPLAY_MODE& m = adapter.modes[i];
        if (knownDesktop && (m.width > desktopWidth || m.height > desktopHeight)) continue;
        auto same = std::find_if(rows.begin(), rows.end(), [&](int row) {
            return adapter.modes[row].width == m.width && adapter.modes[row].height == m.height;
        });
        if (same == rows.end()) {
            rows.push_back(static_cast<int>(i));
        } else if (adapter.modes[*same].bitsPerPixel != 32 && m.bitsPerPixel == 32) {
            *same = static_cast<int>(i);
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
        const CONFIG_DISPLAY_MODE &ma = adapter.modes[a], &mb = adapter.modes[b];
        return ma.width != mb.width ? ma.width > mb.width : ma.height > mb.height;
    });
    // On a desktop smaller than every size, the smallest, as the default takes it: never an empty list.
    if (rows.empty() && count > 0) rows.push_back(DefaultMode(adapter, {desktopWidth, desktopHeight}));
    return rows;
}

bool MultiSampleUsable(const CONFIG_ADAPTER_INFO& adapter, const CONFIG_DISPLAY_MODE& mode, int samples) {
    if (samples < 2 || samples >= kConfigMultiSampleSlots) return false;
    const CONFIG_FORMAT_INFO* format = FormatOf(adapter, mode.bitsPerPixel);
    return format != nullptr && format->multiSample[samples] != 0;
}

CONFIG_SELECTION DefaultSelection(const CONFIG_INFO& info, const DesktopSizes& desktops) {
    CONFIG_SELECTION selection = {0, 0, 0, 0, 1, 24, 0};
    if (AdapterCount(info) > 0) selection.mode = DefaultMode(info.adapters[0], DesktopOf(desktops, 0));
    return selection;
}

void FitSelection(const CONFIG_INFO& info, CONFIG_SELECTION& selection, const DesktopSizes& desktops) {
    if (AdapterCount(info) == 0) {
        selection = DefaultSelection(info, desktops);
        return;
    }
    if (selection.adapter < 0 || static_cast<uint32_t>(selection.adapter) >= AdapterCount(info)) {
        selection.adapter = 0;
        selection.mode = -1;
    }
    const CONFIG_ADAPTER_INFO& adapter = info.adapters[selection.adapter];
    const auto desktop = DesktopOf(desktops, selection.adapter);
    if (selection.mode < 0 || static_cast<uint32_t>(selection.mode) >= ModeCount(adapter) ||
        (selection.windowed != 0 && !FitsDesktop(adapter.modes[selection.mode], desktop))) {
        selection.mode = DefaultMode(adapter, desktop);
    }
    if (selection.multiSample != 0 &&
        (ModeCount(adapter) == 0 ||
         !MultiSampleUsable(adapter, adapter.modes[selection.mode], selection.multiSample))) {
        selection.multiSample = 0;
    }
    if (selection.anisotropy < 0) selection.anisotropy = 0;
    if (static_cast<uint32_t>(selection.anisotropy) > adapter.maxAnisotropy) {
        selection.anisotropy = static_cast<int32_t>(adapter.maxAnisotropy);
    }
    selection.windowed = selection.windowed != 0 ? 1 : 0;
    if (selection.depthBits != 16 && selection.depthBits != 24 && selection.depthBits != 32) selection.depthBits = 24;
    selection.vsync = selection.vsync != 0 ? 1 : 0;
}

std::string SettingsPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config != nullptr && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') return std::string();
        base = std::string(home) + "/.config";
    }
    return base + "/vellacor/dialog.conf";
}

bool LoadPrevious(const CONFIG_INFO& info, CONFIG_SELECTION& selection, const DesktopSizes& desktops) {
    selection = DefaultSelection(info, desktops);
    std::string path = SettingsPath();
    if (path.empty()) return false;
    std::string text;
    if (!ReadSettings(path, text)) return false;
    std::istringstream file(text);

    std::string adapterName;
    CONFIG_DISPLAY_MODE mode = {0, 0, 0, 0};
    bool haveAdapter = false, haveMode = false;
    CONFIG_SELECTION saved = selection;
    std::string line;
    while (std::getline(file, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        std::string key = Trim(line.substr(0, equals));
        std::string value = Trim(line.substr(equals + 1));
        int32_t number = 0;
        if (key == "adapter") {
            adapterName = value;
            haveAdapter = true;
        } else if (key == "mode") {
            unsigned w = 0, h = 0, bpp = 0, hz = 0;
            if (std::sscanf(value.c_str(), "%ux%ux%u@%u", &w, &h, &bpp, &hz) == 4) {
                mode = {w, h, bpp, hz};
                haveMode = true;
            }
        } else if (!ParseInt(value, number)) {
            continue;
        } else if (key == "multisample") {
            saved.multiSample = number;
        } else if (key == "anisotropy") {
            saved.anisotropy = number;
        } else if (key == "windowed") {
            saved.windowed = number;
        } else if (key == "depthbits") {
            saved.depthBits = number;
        } else if (key == "vsync") {
            saved.vsync = number;
        }
    }
    if (!haveAdapter || !haveMode) return false;

    // Hardware may have changed since: match by name and mode values, never by stale indices.
    saved.adapter = 0;
    for (uint32_t i = 0; i < AdapterCount(info); ++i) {
        if (AdapterName(info.adapters[i]) == adapterName) {
            saved.adapter = static_cast<int32_t>(i);
            break;
        }
    }
    saved.mode = -1;
    if (AdapterCount(info) > 0) {
        const CONFIG_ADAPTER_INFO& adapter = info.adapters[saved.adapter];
        for (uint32_t i = 0; i < ModeCount(adapter); ++i) {
            const CONFIG_DISPLAY_MODE& m = adapter.modes[i];
            if (m.width == mode.width && m.height == mode.height && m.bitsPerPixel == mode.bitsPerPixel &&
                m.refreshRate == mode.refreshRate) {
                saved.mode = static_cast<int32_t>(i);
                break;
            }
        }
    }
    FitSelection(info, saved, desktops);
    selection = saved;
    return true;
}

bool SavePrevious(const CONFIG_INFO& info, const CONFIG_SELECTION& selection) {
    if (selection.adapter < 0 || static_cast<uint32_t>(selection.adapter) >= AdapterCount(info)) return false;
    const CONFIG_ADAPTER_INFO& adapter = info.adapters[selection.adapter];
    if (selection.mode < 0 || static_cast<uint32_t>(selection.mode) >= ModeCount(adapter)) return false;
    std::string path = SettingsPath();
    if (path.empty() || !MakeDirectories(path.substr(0, path.rfind('/')))) return false;

    const CONFIG_DISPLAY_MODE& m = adapter.modes[selection.mode];
    std::ostringstream text;
    text << "# Display settings last chosen in the configuration dialog\n"
         << "adapter=" << AdapterName(adapter) << "\n"
         << "mode=" << m.width << "x" << m.height << "x" << m.bitsPerPixel << "@" << m.refreshRate << "\n"
         << "multisample=" << selection.multiSample << "\n"
         << "anisotropy=" << selection.anisotropy << "\n"
         << "windowed=" << (selection.windowed != 0 ? 1 : 0) << "\n"
         << "depthbits=" << selection.depthBits << "\n"
         << "vsync=" << (selection.vsync != 0 ? 1 : 0) << "\n";
    // A new file of our own: whatever stands at the temporary name (a FIFO would hold the dialog's OK, a
    // link would be written through) is removed first, and one made there meanwhile fails the save.
    std::string temporary = path + ".new";
    std::remove(temporary.c_str());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return false;
    const std::string bytes = text.str();
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t put = write(fd, bytes.data() + written, bytes.size() - written);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        written += static_cast<std::size_t>(put);
    }
    if (close(fd) != 0 || written != bytes.size()) {
        std::remove(temporary.c_str());
        return false;
    }
    // Replace in one step so that a crash never leaves half a file.
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace confdlg
}  // namespace trivale
