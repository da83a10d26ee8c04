// The run's log and the report lines that go into it.
#pragma once

#include <cstddef>
#include <string>

#if !defined(TV_PRINTF_FORMAT)
#if defined(__GNUC__)
#define TV_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TV_PRINTF_FORMAT(fmt, args)
#endif
#endif

// Located lines name the source file relative to the repository (the build maps the prefix away).
#define TV_LOG_ERROR_AT(message) ::trivale::LogErrorAt((message), __FILE__, __LINE__)
#define TV_LOG_SYSTEM_ERROR(error) ::trivale::LogWin32Error((error), __FILE__, __LINE__)

namespace trivale {

// Opens the program's path with ".log" (truncated) and holds it locked until it is closed. Does nothing
// when already open. When another run holds that log, it is left whole and this one stays closed
// (GetLogFileState says InUse). Where the program's folder takes no file, the log goes to
// GetFallbackLogDirectory() instead; stderr says where, or that there is no log at all, once per run.
void OpenLogFile();
// OpenLogFile for the program at the given path (the running program's, or a test's).
void OpenLogFileFor(const std::string& programPath);
enum class LogFileState { Closed, Open, InUse, Unavailable };
// Unavailable: neither folder took the file. InUse: another run of the program holds it.
LogFileState GetLogFileState();
// The file that OpenLogFileFor took, or found held by another run; "" otherwise.
std::string GetLogFilePath();
// $XDG_STATE_HOME/vellacor/, or ~/.local/state/vellacor/ without it; "" when neither is known.
std::string GetFallbackLogDirectory();
// Opens the given file instead (tests, tools). Does nothing when a log is already open.
void OpenLogFileAt(const std::string& path);
// Closes the file and ends the console mirror.
void CloseLogFile();
bool IsLogFileOpen();
// From now on every line written to the log is mirrored to standard output, flushed line by line,
// whether or not a file is open. SIGPIPE is ignored from then on: a console that can no longer be
// written (its reader has gone) is given up for the rest of the run, and the file says so once.
void OpenLoggerConsole();

// A text of the program's own that spans lines on purpose. Only a literal (a char array) makes one, so
// no value from outside can pass for it.
class OwnLines {
public:
    template <std::size_t N>
    explicit OwnLines(const char (&text)[N]) : text_(text) {}
    const char* c_str() const { return text_; }

private:
    const char* text_;
};

// prefix + formatted text + "\n", flushed, to the file and the console where they are open. The first
// write to the file that fails is told on stderr (the file's name and why), once per file. The format
// is the program's own and keeps its line breaks; every %s, %c and %m is a value and is written
// escaped (plat::Printable), so that nothing from outside (a path, a name, what a script prints) can
// start a line of its own. A format is always a literal.
void WriteLog(const char* prefix, const char* format, ...) TV_PRINTF_FORMAT(2, 3);
void LogError(const char* format, ...) TV_PRINTF_FORMAT(1, 2);
void LogInfo(const char* format, ...) TV_PRINTF_FORMAT(1, 2);
void LogPlain(const char* format, ...) TV_PRINTF_FORMAT(1, 2);
void LogInfoString(const std::string& text);
// prefix + text + "\n" from a thread other than the one that may be stuck while it writes the log (the
// watch over a stop that is not honoured): through the usual writing when the log is free within half a
// second, else straight to the file, past its stream and its lock (the console is not written then).
void WriteLogFromAnyThread(const char* prefix, const std::string& text);
// The same for the log's last line (why the run is ended by force): nothing is written to the log, file
// or console, after it.
void WriteLastLogLineFromAnyThread(const char* prefix, const std::string& text);
// "ERROR: \n\t<message>\n\t<source>(<line>)"; the message is escaped as a value is.
void LogErrorAt(const std::string& message, const char* sourceFile, int line);
// The same for a message of the program's own that keeps its lines.
void LogErrorAt(OwnLines message, const char* sourceFile, int line);
// "ERROR: \n\tWin32Error(0x<code>): <system text>\n\t<source>(<line>)" for an errno value; the name of
// the line is kept so the log reads the same on every platform.
void LogWin32Error(int error, const char* sourceFile, int line);
// The same for the current errno.
void LogWin32Error(const char* sourceFile, int line);
// A located error "DirectX Error: <name>(0x<code>): <description>" for a result code of a graphics,
// sound or input layer, named by that layer.
void LogDirectXError(unsigned code, const char* name, const char* description, const char* sourceFile, int line);

// "0.90 Win32 DBCS Release (build 1131 on ...) ", the version named in the log's first lines.
std::string GetCoreVersionText();

}  // namespace trivale
