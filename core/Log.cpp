#include "core/Log.h"

#include <locale.h>
#include <cerrno>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

#include "core/Exception.h"
#include "platform/System.h"

namespace trivale {

namespace {

std::mutex g_logMutex;
std::FILE* g_logFile = nullptr;
bool g_console = false;

// Formats in the "C" locale whatever the process locale is (a loaded GUI library may change it).
class ScopedCLocale {
public:
    ScopedCLocale() {
        static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
        if (c) previous_ = uselocale(c);
    }
    ~ScopedCLocale() {
        if (previous_) uselocale(previous_);
    }
    ScopedCLocale(const ScopedCLocale&) = delete;
    ScopedCLocale& operator=(const ScopedCLocale&) = delete;

private:
    locale_t previous_ = static_cast<locale_t>(0);
};

std::string VFormat(const char* format, va_list args) {
    ScopedCLocale c;
    char buf[512];
    int n = std::vsnprintf(buf, sizeof buf, format, args);
    if (n < 0) return std::string();
    buf[sizeof buf - 1] = '\0';
    return std::string(buf);
}

// Unbounded, for log lines.
std::string VFormatAll(const char* format, va_list args) {
    ScopedCLocale c;
    va_list copy;
    va_copy(copy, args);
    char small[512];
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return std::string();
    if (static_cast<std::size_t>(n) < sizeof small) return std::string(small, static_cast<std::size_t>(n));
    std::vector<char> big(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(big.data(), big.size(), format, args);
    return std::string(big.data(), static_cast<std::size_t>(n));
}

void WriteLine(const char* prefix, const std::string& text) {
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (!g_logFile) return;
    std::fputs(prefix, g_logFile);
    std::fwrite(text.data(), 1, text.size(), g_logFile);
    std::fputc('\n', g_logFile);
    std::fflush(g_logFile);
    if (g_console) {
        std::fputs(prefix, stdout);
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
    }
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Splits a path into drive, directory (with its last separator), file name and extension.
struct PathParts {
    std::string drive, dir, name, ext;
};

PathParts SplitPath(const std::string& path) {
    PathParts p;
    std::size_t pos = 0;
    if (path.size() >= 2 && path[1] == ':' &&
        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
        p.drive = path.substr(0, 2);
        pos = 2;
    }
    std::size_t lastSep = std::string::npos;
    for (std::size_t i = pos; i < path.size(); ++i)
        if (IsSeparator(path[i])) lastSep = i;
    std::size_t nameStart = pos;
    if (lastSep != std::string::npos) {
        p.dir = path.substr(pos, lastSep + 1 - pos);
        nameStart = lastSep + 1;
    }
    std::string rest = path.substr(nameStart);
    std::size_t dot = rest.rfind('.');
    if (dot == std::string::npos) {
        p.name = rest;
    } else {
        p.name = rest.substr(0, dot);
        p.ext = rest.substr(dot);
    }
    return p;
}

}  // namespace

// ---- Log -----------------------------------------------------------------------------------------

void OpenLogFile() { OpenLogFileAt(ChangeFileExt(GetModuleFilePath(), ".log")); }

void OpenLogFileAt(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (g_logFile) return;
    g_logFile = std::fopen(path.c_str(), "w");
}

void CloseLogFile() {
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (g_logFile) {
        std::fclose(g_logFile);
        g_logFile = nullptr;
    }
}

bool IsLogFileOpen() {
    std::lock_guard<std::mutex> lock(g_logMutex);
    return g_logFile != nullptr;
}

void OpenLoggerConsole() {
    std::lock_guard<std::mutex> lock(g_logMutex);
    g_console = true;
}

#define TV_LOG_WITH_PREFIX(prefix)               \
    va_list args;                                \
    va_start(args, format);                      \
    std::string text = VFormatAll(format, args); \
    va_end(args);                                \
    WriteLine(prefix, text)

void WriteLog(const char* prefix, const char* format, ...) { TV_LOG_WITH_PREFIX(prefix ? prefix : ""); }
void LogError(const char* format, ...) { TV_LOG_WITH_PREFIX("ERROR: "); }
void LogInfo(const char* format, ...) { TV_LOG_WITH_PREFIX("INFO: "); }
void LogPlain(const char* format, ...) { TV_LOG_WITH_PREFIX(""); }

#undef TV_LOG_WITH_PREFIX

void LogInfoString(const std::string& text) { LogInfo("%s", text.c_str()); }

void LogErrorAt(const std::string& message, const char* sourceFile, int line) {
    LogPlain("ERROR: \n\t%s\n\t%s(%d)", message.c_str(), sourceFile ? sourceFile : "", line);
}

void LogWin32Error(int error, const char* sourceFile, int line) {
    std::string text = error != 0 ? plat::ErrorText(error) : std::string();
    if (text.empty()) text = "(no message)";
    LogPlain("ERROR: \n\tWin32Error(0x%x): %s\n\t%s(%d)", static_cast<unsigned>(error), text.c_str(),
             sourceFile ? sourceFile : "", line);
}

void LogWin32Error(const char* sourceFile, int line) { LogWin32Error(errno, sourceFile, line); }

void LogDirectXError(unsigned code, const char* name, const char* description, const char* sourceFile, int line) {
    LogErrorAt(
        FormatString("DirectX Error: %s(0x%x): %s", name ? name : "UNKNOWN", code, description ? description : "n/a"),
        sourceFile, line);
}

// ---- Text ----------------------------------------------------------------------------------------

std::string FormatString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string s = VFormat(format, args);
    va_end(args);
    return s;
}

std::string IntToString(int value) { return std::to_string(value); }

std::string FloatToString(double value) { return FormatString("%f", value); }

std::string ToLowerCase(const std::string& text) {
    std::string s(text.c_str());
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

namespace {

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::string WideToAnsi(const std::wstring& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<std::uint32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            std::uint32_t low = static_cast<std::uint32_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        // Characters without a form become the default character, as a code-page conversion does.
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = '?';
        AppendUtf8(out, c);
    }
    return out;
}

std::string Utf8ToAnsi(const std::string& text) {
    std::string out;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t n = text.size(), i = 0;
    while (i < n) {
        unsigned char c = s[i];
        std::size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        bool ok = len != 0 && i + len <= n;
        std::uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        for (std::size_t k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (ok) {
            static const std::uint32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
            if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) ok = false;
        }
        if (ok) {
            out.append(text, i, len);
            i += len;
        } else {
            out += '?';
            ++i;
        }
    }
    return out;
}

Rect MakeRect(int left, int top, int right, int bottom) {
    Rect r;
    r.left = left;
    r.top = top;
    r.right = right;
    r.bottom = bottom;
    return r;
}

Rect MakeRectFromSize(int x, int y, int width, int height) { return MakeRect(x, y, x + width, y + height); }

// ---- Command line and program path ---------------------------------------------------------------

int ParamCount() { return static_cast<int>(plat::GetCommandLine().size()); }

std::string ParamStr(int index) {
    const std::vector<std::string>& args = plat::GetCommandLine();
    if (index < 0 || index >= static_cast<int>(args.size()))
        throw EInvalidParameter("ParamStr(" + IntToString(index) + "): パラメータの範囲が不正です.");
    return args[static_cast<std::size_t>(index)];
}

std::string GetModuleFilePath() { return plat::GetProgramPath(); }

std::string ExpandFileName(const std::string& path) {
    if (path.empty()) return std::string();
    std::string p = path;
    for (char& c : p)
        if (c == '\\') c = '/';
    if (p[0] != '/') {
        std::string cwd = plat::GetCurrentDirectory();
        if (cwd.empty()) return std::string();
        p = cwd + "/" + p;
    }
    bool trailing = p.back() == '/';
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i < p.size()) {
        std::size_t j = p.find('/', i);
        if (j == std::string::npos) j = p.size();
        std::string part = p.substr(i, j - i);
        if (part.empty() || part == ".") {
        } else if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out;
    for (const std::string& part : parts) out += "/" + part;
    if (out.empty()) return "/";
    if (trailing) out += "/";
    return out;
}

// ---- Paths ---------------------------------------------------------------------------------------

std::string ExtractFileExt(const std::string& path) { return SplitPath(path).ext; }

std::string ExtractFileDir(const std::string& path) {
    PathParts p = SplitPath(path);
    return p.drive + p.dir;
}

std::string ExtractFileName(const std::string& path) {
    PathParts p = SplitPath(path);
    return p.name + p.ext;
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    PathParts p = SplitPath(path);
    return p.drive + p.dir + p.name + ext;
}

std::string ExcludeTrailingBackslash(const std::string& path) {
    if (!path.empty() && IsSeparator(path.back())) return path.substr(0, path.size() - 1);
    return path;
}

std::string IncludeTrailingBackslash(const std::string& path) {
    if (path.empty() || IsSeparator(path.back())) return path;
    return path + "\\";
}

std::string GetCoreVersionText() {
    std::string s = "0.90";
    s += " ";
    s += "Win32 ";
    s += "DBCS ";
    s += "Release ";
    s += FormatString("(build %04d on ", 1131);
    s += "Jan 17 2006 16:35:34) ";
    return s;
}

}  // namespace trivale
