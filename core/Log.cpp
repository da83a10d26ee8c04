#include "core/Log.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <mutex>
#include <thread>

#include "core/CommandLine.h"
#include "core/Path.h"
#include "core/Text.h"
#include "platform/Printable.h"
#include "platform/System.h"

namespace trivale {

namespace {

std::mutex g_logMutex;
std::FILE* g_logFile = nullptr;
std::atomic<int> g_logDescriptor{-1};  // the open file's, for a writer that cannot wait for the lock
std::string g_writtenPath;             // the open file's name, for the report of a write that failed
bool g_writeFailureTold = false;
bool g_console = false;
bool g_consoleGivenUp = false;  // its reader has gone: opening it again would only fail again
// The last line has been written (a forced end's): whatever the run's threads still log goes nowhere,
// so that the log ends with why the run ended. A log opened again starts afresh.
std::atomic<bool> g_sealed{false};

// A disk that fills up must not take the log away in silence: the first failed write is told on
// stderr with its reason, and the run goes on (a later write may succeed again).
void WriteToFile(const char* prefix, const std::string& text) {
    if (g_sealed.load()) return;
    std::fputs(prefix, g_logFile);
    std::fwrite(text.data(), 1, text.size(), g_logFile);
    std::fputc('\n', g_logFile);
    const bool flushed = std::fflush(g_logFile) == 0;
    const int error = errno;
    if (flushed && !std::ferror(g_logFile)) return;
    std::clearerr(g_logFile);
    if (g_writeFailureTold) return;
    g_writeFailureTold = true;
    std::fprintf(stderr, "%s cannot be written: %s; the run goes on with its log incomplete\n",
                 plat::Printable(g_writtenPath).c_str(), std::strerror(flushed ? EIO : error));
}

// Flushed like the file: a pipe or a file is buffered in blocks, and whoever reads the console (tee,
// a killed run's output) must see each line as it is logged. A console that cannot be written (its
// reader has gone) is given up, and the file says so once.
void WriteToConsole(const char* prefix, const std::string& text) {
    if (g_sealed.load()) return;
    std::fputs(prefix, stdout);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    if (flushed && !std::ferror(stdout)) return;
    g_console = false;
    g_consoleGivenUp = true;
    if (g_logFile)
        WriteToFile("INFO: ", std::string("logger console closed - ") + std::strerror(flushed ? EIO : error));
}

// Lines carry outside text (names of files, what a script prints): a control character or a byte that
// is no UTF-8 in it reaches neither the file (where grep would take it for a binary file) nor the
// console raw. The text's line breaks and tabs are the program's own (values come escaped) and stay.
void WriteLine(const char* prefix, const std::string& text) {
    const std::string printable = plat::Printable(text, plat::LineBreaks::Keep);
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (g_logFile) WriteToFile(prefix, printable);
    if (g_console) WriteToConsole(prefix, printable);
}

// vsnprintf of one conversion in the "C" locale. The one format built at run time: each is cut from a
// literal format, or is one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string FormatOne(const char* directive, ...) {
    va_list args;
    va_start(args, directive);
    std::string text = VFormatAll(directive, args);
    va_end(args);
    return text;
}
#pragma GCC diagnostic pop

// The format is the program's own text and keeps its lines; what fills a %s, %c or %m is taken for a
// value from outside (a path, a name read from a file, what a script prints, a reason that quotes
// either) and escaped whole, so that nothing it holds can start a line of its own. Every log line is
// built here: a call site cannot forget to escape.
std::string FormatWithValuesEscaped(const char* format, va_list args) {
    const int savedErrno = errno;  // for %m
    std::string out;
    for (const char* p = format; *p != '\0';) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        const char* const start = p++;
        if (*p == '%') {
            out += *p++;
            continue;
        }
        std::string flagsAndWidth = "%", precision;
        int precisionValue = -1;
        while (*p != '\0' && std::strchr("-+ #0'", *p) != nullptr) flagsAndWidth += *p++;
        if (*p == '*') {
            ++p;
            flagsAndWidth += std::to_string(va_arg(args, int));  // a negative width is the '-' flag
        } else {
            while (*p >= '0' && *p <= '9') flagsAndWidth += *p++;
        }
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                ++p;
                precisionValue = va_arg(args, int);  // a negative one counts as none
            } else {
                precisionValue = 0;
                while (*p >= '0' && *p <= '9')
                    precisionValue = std::min(precisionValue * 10 + (*p++ - '0'), INT_MAX / 10);
            }
            if (precisionValue >= 0) precision = "." + std::to_string(precisionValue);
        }
        std::string length;
        while (*p != '\0' && std::strchr("hlLqjzt", *p) != nullptr) length += *p++;
        if (*p == '\0') {
            out.append(start, p);
            break;
        }
        const char conversion = *p++;
        const std::string directive = flagsAndWidth + precision + length + conversion;
        const std::string padded = flagsAndWidth + "s";  // for a value once it is escaped
        const bool wide = length == "l";
        switch (conversion) {
        case 'd':
        case 'i':
            if (length == "ll" || length == "q")
                out += FormatOne(directive.c_str(), va_arg(args, long long));
            else if (length == "l")
                out += FormatOne(directive.c_str(), va_arg(args, long));
            else if (length == "j")
                out += FormatOne(directive.c_str(), va_arg(args, std::intmax_t));
            else if (length == "z" || length == "t")
                out += FormatOne(directive.c_str(), va_arg(args, std::ptrdiff_t));
            else
                out += FormatOne(directive.c_str(), va_arg(args, int));
            break;
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            if (length == "ll" || length == "q")
                out += FormatOne(directive.c_str(), va_arg(args, unsigned long long));
            else if (length == "l")
                out += FormatOne(directive.c_str(), va_arg(args, unsigned long));
            else if (length == "j")
                out += FormatOne(directive.c_str(), va_arg(args, std::uintmax_t));
            else if (length == "z" || length == "t")
                out += FormatOne(directive.c_str(), va_arg(args, std::size_t));
            else
                out += FormatOne(directive.c_str(), va_arg(args, unsigned));
            break;
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            if (length == "L")
                out += FormatOne(directive.c_str(), va_arg(args, long double));
            else
                out += FormatOne(directive.c_str(), va_arg(args, double));
            break;
        case 'p':
            out += FormatOne(directive.c_str(), va_arg(args, void*));
            break;
        case 'c': {
            const std::string value = wide ? FormatOne("%lc", va_arg(args, std::wint_t))
                                           : std::string(1, static_cast<char>(va_arg(args, int)));
            out += FormatOne(padded.c_str(), plat::Printable(value).c_str());
            break;
        }
        case 's': {
            std::string value;
            if (wide) {
                const wchar_t* text = va_arg(args, const wchar_t*);
                value = FormatOne(("%" + precision + "ls").c_str(), text ? text : L"(null)");
            } else {
                const char* text = va_arg(args, const char*);
                if (text == nullptr) text = "(null)";
                // With a precision the text need not end within reach.
                value = precisionValue >= 0 ? std::string(text, strnlen(text, static_cast<std::size_t>(precisionValue)))
                                            : std::string(text);
            }
            out += FormatOne(padded.c_str(), plat::Printable(value).c_str());
            break;
        }
        case 'm':
            errno = savedErrno;
            out += FormatOne(padded.c_str(), plat::Printable(FormatOne("%m")).c_str());
            break;
        case 'n':
            (void)va_arg(args, void*);  // writes nothing back
            break;
        default:  // not a conversion: kept as written
            out.append(start, p);
            break;
        }
    }
    return out;
}

}  // namespace

// ---- Log -----------------------------------------------------------------------------------------

void OpenLogFile() { OpenLogFileFor(GetModuleFilePath()); }

namespace {

LogFileState g_logState = LogFileState::Closed;
std::string g_logPath;

}  // namespace

void OpenLogFileFor(const std::string& programPath) {
    const std::string path = ChangeFileExt(programPath, ".log");
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (g_logFile) return;
    static bool told = false;
    g_logPath.clear();
    plat::ExclusiveOpen claim = plat::OpenExclusiveForWriting(path, g_logFile);
    if (claim != plat::ExclusiveOpen::Failed) g_logPath = path;
    std::string fallback;
    if (claim == plat::ExclusiveOpen::Failed) {
        // An installed program's folder is often read-only: the log must not be lost with it.
        const std::string directory = GetFallbackLogDirectory();
        if (!directory.empty()) {
            std::error_code ignored;
            std::filesystem::create_directories(directory, ignored);
            fallback = directory + ExtractFileName(path);
            claim = plat::OpenExclusiveForWriting(fallback, g_logFile);
            if (claim != plat::ExclusiveOpen::Failed) g_logPath = fallback;
        }
        if (!told && claim == plat::ExclusiveOpen::Taken) {
            told = true;
            std::fprintf(stderr, "%s cannot be written; the log is in %s\n", plat::Printable(path).c_str(),
                         plat::Printable(fallback).c_str());
        } else if (!told && claim == plat::ExclusiveOpen::Failed) {
            told = true;
            std::fprintf(stderr, "%s cannot be written%s%s: this run keeps no log\n", plat::Printable(path).c_str(),
                         fallback.empty() ? "" : ", nor ", plat::Printable(fallback).c_str());
        }
    }
    if (g_logFile) {
        g_sealed.store(false);
        g_writtenPath = g_logPath;
        g_writeFailureTold = false;
        g_logDescriptor.store(fileno(g_logFile));
    }
    g_logState = claim == plat::ExclusiveOpen::Taken   ? LogFileState::Open
                 : claim == plat::ExclusiveOpen::InUse ? LogFileState::InUse
                                                       : LogFileState::Unavailable;
}

std::string GetLogFilePath() {
    std::lock_guard<std::mutex> lock(g_logMutex);
    return g_logPath;
}

LogFileState GetLogFileState() {
    std::lock_guard<std::mutex> lock(g_logMutex);
    return g_logFile ? LogFileState::Open : g_logState;
}

std::string GetFallbackLogDirectory() {
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string base;
    if (state && state[0] == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') return std::string();
        base = std::string(home) + "/.local/state";
    }
    if (base.back() != '/') base += '/';
    return base + "vellacor/";
}

void OpenLogFileAt(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (g_logFile) return;
    g_logFile = std::fopen(path.c_str(), "w");
    g_sealed.store(false);
    g_writtenPath = path;
    g_writeFailureTold = false;
    if (g_logFile) g_logDescriptor.store(fileno(g_logFile));
}

void CloseLogFile() {
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (g_logFile) {
        g_logDescriptor.store(-1);
        std::fclose(g_logFile);
        g_logFile = nullptr;
    }
    g_console = false;
    g_consoleGivenUp = false;
    g_logState = LogFileState::Closed;
}

bool IsLogFileOpen() {
    std::lock_guard<std::mutex> lock(g_logMutex);
    return g_logFile != nullptr;
}

void OpenLoggerConsole() {
    std::lock_guard<std::mutex> lock(g_logMutex);
    // A reader that goes away (`| head`) must not end the run: the failed write says so instead.
    std::signal(SIGPIPE, SIG_IGN);
    g_console = !g_consoleGivenUp;
}

#define TV_LOG_WITH_PREFIX(prefix)                            \
    va_list args;                                             \
    va_start(args, format);                                   \
    std::string text = FormatWithValuesEscaped(format, args); \
    va_end(args);                                             \
    WriteLine(prefix, text)

void WriteLog(const char* prefix, const char* format, ...) { TV_LOG_WITH_PREFIX(prefix ? prefix : ""); }
void LogError(const char* format, ...) { TV_LOG_WITH_PREFIX("ERROR: "); }
void LogInfo(const char* format, ...) { TV_LOG_WITH_PREFIX("INFO: "); }
void LogPlain(const char* format, ...) { TV_LOG_WITH_PREFIX(""); }

#undef TV_LOG_WITH_PREFIX

void LogInfoString(const std::string& text) { LogInfo("%s", text.c_str()); }

namespace {

enum class LineIs { NotLast, Last };

void WriteFromAnyThread(const char* prefix, const std::string& text, LineIs is) {
    const std::string printable = plat::Printable(text, plat::LineBreaks::Keep);
    const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    for (;;) {
        if (g_logMutex.try_lock()) {
            std::lock_guard<std::mutex> lock(g_logMutex, std::adopt_lock);
            if (g_logFile) WriteToFile(prefix, printable);
            if (g_console) WriteToConsole(prefix, printable);
            if (is == LineIs::Last) g_sealed.store(true);
            return;
        }
        if (std::chrono::steady_clock::now() >= due) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (g_sealed.load()) return;
    // Whoever holds the lock is stuck in it (a console nobody reads, a full disk that blocks): the line
    // goes to the file past its stream, whole in one write.
    if (is == LineIs::Last) g_sealed.store(true);
    const int descriptor = g_logDescriptor.load();
    if (descriptor < 0) return;
    const std::string line = std::string(prefix) + printable + "\n";
    for (std::size_t written = 0; written < line.size();) {
        const ssize_t put = write(descriptor, line.data() + written, line.size() - written);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;
        written += static_cast<std::size_t>(put);
    }
}

}  // namespace

void WriteLogFromAnyThread(const char* prefix, const std::string& text) {
    WriteFromAnyThread(prefix, text, LineIs::NotLast);
}

void WriteLastLogLineFromAnyThread(const char* prefix, const std::string& text) {
    WriteFromAnyThread(prefix, text, LineIs::Last);
}

void LogErrorAt(const std::string& message, const char* sourceFile, int line) {
    LogPlain("ERROR: \n\t%s\n\t%s(%d)", message.c_str(), sourceFile ? sourceFile : "", line);
}

void LogErrorAt(OwnLines message, const char* sourceFile, int line) {
    WriteLine("", std::string("ERROR: \n\t") + message.c_str() + "\n\t" +
                      plat::Printable(sourceFile ? sourceFile : "") + "(" + std::to_string(line) + ")");
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

std::string GetCoreVersionText() {
    std::string s = "0.90";
    s += " ";
    s += "Win32 ";
    s += "DBCS ";
    s += "Release ";
    s += "(build 1131 on ";
    s += "Jan 17 2006 16:35:34) ";
    return s;
}

}  // namespace trivale
