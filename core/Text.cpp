#include "core/Text.h"

#include <locale.h>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace trivale {

namespace {

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

std::string VFormat(const char* format, va_list args) TV_PRINTF_FORMAT(1, 0);
std::string VFormat(const char* format, va_list args) {
    ScopedCLocale c;
    char buf[512];
    int n = std::vsnprintf(buf, sizeof buf, format, args);
    if (n < 0) return std::string();
    buf[sizeof buf - 1] = '\0';
    return std::string(buf);
}

}  // namespace

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

}  // namespace trivale
