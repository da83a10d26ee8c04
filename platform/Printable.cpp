#include "platform/Printable.h"

#include <cstdint>
#include <cstdio>

namespace plat {

namespace {

// The length of the well-formed UTF-8 sequence of two to four bytes at `at`, and its code point; 0 when
// the byte there starts none (a stray continuation byte, an overlong form, a surrogate, a sequence cut
// short or beyond U+10FFFF).
std::size_t SequenceAt(const std::string& s, std::size_t at, std::uint32_t& cp) {
    const unsigned char lead = static_cast<unsigned char>(s[at]);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > s.size()) return 0;
    cp = lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[at + i]);
        if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xBF)) return 0;
        cp = (cp << 6) | (c & 0x3Fu);
    }
    return length;
}

void AppendByte(std::string& out, unsigned char c) {
    char code[5];
    std::snprintf(code, sizeof(code), "\\x%02x", c);
    out += code;
}

}  // namespace

std::string Printable(const std::string& text, LineBreaks breaks) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c >= 0x80) {
            std::uint32_t cp = 0;
            const std::size_t length = SequenceAt(text, at, cp);
            if (length == 0) {
                AppendByte(out, c);
                ++at;
            } else if (cp <= 0x9F) {  // a C1 control: some terminals act on it as on ESC [
                for (std::size_t i = 0; i < length; ++i) AppendByte(out, static_cast<unsigned char>(text[at + i]));
                at += length;
            } else {
                out.append(text, at, length);
                at += length;
            }
            continue;
        }
        ++at;
        if ((c == '\n' || c == '\t') && breaks == LineBreaks::Keep) {
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            AppendByte(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace plat
