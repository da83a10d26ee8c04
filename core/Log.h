// The run's log, the report lines that go into it, and the small text, path and command-line
// functions that the whole program calls.
#pragma once

#include <cstdint>
#include <string>

#if defined(__GNUC__)
#define TV_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TV_PRINTF_FORMAT(fmt, args)
#endif

// Located lines name the source file relative to the repository (the build maps the prefix away).
#define TV_LOG_ERROR_AT(message) ::trivale::LogErrorAt((message), __FILE__, __LINE__)
#define TV_LOG_SYSTEM_ERROR(error) ::trivale::LogWin32Error((error), __FILE__, __LINE__)

namespace trivale {

// ---- Log -----------------------------------------------------------------------------------------

// Opens the program's path with ".log" (truncated). Does nothing when already open; a failure leaves
// the log closed and silent.
void OpenLogFile();
// Opens the given file instead (tests, tools). Does nothing when a log is already open.
void OpenLogFileAt(const std::string& path);
void CloseLogFile();
bool IsLogFileOpen();
// From now on every line written to the log is mirrored to standard output.
void OpenLoggerConsole();

// prefix + formatted text + "\n", flushed. Nothing is written anywhere while the log is closed.
void WriteLog(const char* prefix, const char* format, ...) TV_PRINTF_FORMAT(2, 3);
void LogError(const char* format, ...) TV_PRINTF_FORMAT(1, 2);
void LogInfo(const char* format, ...) TV_PRINTF_FORMAT(1, 2);
void LogPlain(const char* format, ...) TV_PRINTF_FORMAT(1, 2);
void LogInfoString(const std::string& text);
// "ERROR: \n\t<message>\n\t<source>(<line>)"
void LogErrorAt(const std::string& message, const char* sourceFile, int line);
// "ERROR: \n\tWin32Error(0x<code>): <system text>\n\t<source>(<line>)" for an errno value; the name of
// the line is kept so the log reads the same on every platform.
void LogWin32Error(int error, const char* sourceFile, int line);
// The same for the current errno.
void LogWin32Error(const char* sourceFile, int line);
// A located error "DirectX Error: <name>(0x<code>): <description>" for a result code of a graphics,
// sound or input layer, named by that layer.
void LogDirectXError(unsigned code, const char* name, const char* description, const char* sourceFile, int line);

// ---- Text ----------------------------------------------------------------------------------------

// printf-style, at most 511 characters (longer results are cut); numbers never follow the locale.
std::string FormatString(const char* format, ...) TV_PRINTF_FORMAT(1, 2);
std::string IntToString(int value);
std::string FloatToString(double value);
// ASCII lower-casing of the text up to its first NUL: the key of every name lookup.
std::string ToLowerCase(const std::string& text);
// Text is UTF-8 throughout: the wide text in UTF-8.
std::string WideToAnsi(const std::wstring& text);
// Valid UTF-8 comes back unchanged; each invalid byte becomes '?'.
std::string Utf8ToAnsi(const std::string& text);

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};
Rect MakeRect(int left, int top, int right, int bottom);
Rect MakeRectFromSize(int x, int y, int width, int height);

// ---- Command line and program path ---------------------------------------------------------------

int ParamCount();
// Argument i (0 is the program as the command line named it); EInvalidParameter when out of range.
std::string ParamStr(int index);
std::string GetModuleFilePath();
// Absolute, normalised ("." and ".." folded, "\\" as "/"), trailing separator kept; the file need not
// exist. "" when the current directory is unknown.
std::string ExpandFileName(const std::string& path);

// ---- Paths: "\\" and "/" both separate; a leading letter and colon is a drive ---------------------

std::string ExtractFileExt(const std::string& path);
std::string ExtractFileDir(const std::string& path);
std::string ExtractFileName(const std::string& path);
std::string ChangeFileExt(const std::string& path, const std::string& ext);
std::string ExcludeTrailingBackslash(const std::string& path);
std::string IncludeTrailingBackslash(const std::string& path);

std::string GetCoreVersionText();

}  // namespace trivale
