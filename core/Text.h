// Text functions: formatting that never follows the locale, ASCII lower-casing, UTF-8 clean-up.
#pragma once

#include <cstdarg>
#include <string>

#if !defined(TV_PRINTF_FORMAT)
#if defined(__GNUC__)
#define TV_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TV_PRINTF_FORMAT(fmt, args)
#endif
#endif

namespace trivale {

// printf-style, at most 511 characters (longer results are cut); numbers never follow the locale.
std::string FormatString(const char* format, ...) TV_PRINTF_FORMAT(1, 2);
// The same without the length limit (log lines).
std::string VFormatAll(const char* format, va_list args) TV_PRINTF_FORMAT(1, 0);
std::string IntToString(int value);
std::string FloatToString(double value);
// ASCII lower-casing of the text up to its first NUL: the key of every name lookup.
std::string ToLowerCase(const std::string& text);
// Text is UTF-8 throughout: the wide text in UTF-8.
std::string WideToAnsi(const std::wstring& text);
// Valid UTF-8 comes back unchanged; each invalid byte becomes '?'.
std::string Utf8ToAnsi(const std::string& text);

}  // namespace trivale
