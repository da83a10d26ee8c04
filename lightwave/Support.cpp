#include "lightwave/LwSupport.h"

#include <locale.h>
#include <unistd.h>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const kErrorTexts[] = {
    "no error",
    "memory error",
    "file open error",
    "disk full",
    "unknown type",
    "file read error",
    "file write error",
    "bad file format",
    "function param error",
    "object database error",
    "tim file open failed",
    "bad polygon data",
    "bad number of point",
    "uv texture not found",
};

// One "C" locale for the process, made on first use.
locale_t CLocale() {
    static locale_t locale = newlocale(LC_ALL_MASK, "C", (locale_t)0);
    return locale;
}

inline int Lower(char c) { return tolower((unsigned char)c); }

// Copies into a LW_PATH_SIZE output, truncating.
void PutPath(char* out, const std::string& text) { LwCopyText(out, text.c_str(), LW_PATH_SIZE); }

std::string::size_type LastBackslash(const std::string& s) { return s.rfind('\\'); }

// The last dot that belongs to the file name (after the last backslash).
std::string::size_type ExtensionDot(const std::string& s) {
    std::string::size_type dot = s.rfind('.');
    std::string::size_type slash = LastBackslash(s);
    if (dot == std::string::npos) return dot;
    if (slash != std::string::npos && dot < slash) return std::string::npos;
    return dot;
}

std::string Join(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    bool dirSlash = dir.back() == '\\';
    bool nameSlash = !name.empty() && name.front() == '\\';
    if (dirSlash && nameSlash) return dir + name.substr(1);
    if (!dirSlash && !nameSlash) return dir + "\\" + name;
    return dir + name;
}

void* TrackerAlloc(MemoryTracker* t, int32_t size) {
    if (!t || size < 1) return nullptr;
    void* block = calloc(1, (size_t)size);
    if (!block) return nullptr;
    if (t->Count < LW_TRACKER_SLOTS - 1) {
        t->Sizes[t->Count] = size;
        t->Addresses[t->Count] = block;
        t->Count++;
    }
    t->TotalSize += size;
    return block;
}

void* TrackerRealloc(MemoryTracker* t, void* block, int32_t size) {
    if (!t || size < 1) return nullptr;
    int found = -1;
    if (block) {
        for (int i = 0; i < t->Count; ++i) {
            if (t->Addresses[i] == block) {
                found = i;
                break;
            }
        }
    }
    void* grown = block ? realloc(block, (size_t)size) : calloc(1, (size_t)size);
    if (!grown) return nullptr;
    if (found >= 0) {
        t->TotalSize += size - t->Sizes[found];
        t->Sizes[found] = size;
        t->Addresses[found] = grown;
    } else {
        if (t->Count < LW_TRACKER_SLOTS - 1) {
            t->Sizes[t->Count] = size;
            t->Addresses[t->Count] = grown;
            t->Count++;
        }
        t->TotalSize += size;
    }
    return grown;
}

void TrackerFree(MemoryTracker* t, void* block) {
    if (!t || !block) return;
    for (int i = 0; i < t->Count; ++i) {
        if (t->Addresses[i] == block) {
            free(block);
            t->TotalSize -= t->Sizes[i];
            t->Addresses[i] = nullptr;
            t->Sizes[i] = 0;
            return;
        }
    }
}

}  // namespace

const char* LwErrorText(int32_t code) {
    if (code < 0 || code > 13) return "unknown error";
    return kErrorTexts[code];
}

const char* LwGetVersionText(const void*) { return "1.0b24"; }

char* LwCopyText(char* dst, const char* src, int size) {
    if (!dst || size <= 0) return dst;
    if (!src) src = "";
    size_t n = strnlen(src, (size_t)size - 1);
    memcpy(dst, src, n);
    dst[n] = '\0';
    return dst;
}

int LwStrCaseCompare(const char* a, const char* b) {
    if (!a || !b) return a == b ? 0 : 1;
    for (;; ++a, ++b) {
        if (Lower(*a) != Lower(*b)) return 1;
        if (!*a) return 0;
    }
}

int LwStrNCaseCompare(const char* a, const char* b, int n) {
    if (n <= 0) return 0;
    if (!a || !b) return a == b ? 0 : 1;
    for (int i = 0; i < n; ++i) {
        if (Lower(a[i]) != Lower(b[i])) return 1;
        if (!a[i]) return 0;
    }
    return 0;
}

bool LwPathOperation(int op, LwPathArgs* a) {
    if (!a) return false;
    a->Result = 0;
    auto need = [&](bool ok) {
        if (!ok) a->Result = 1;
        return ok;
    };
    switch (op) {
    case 1: {
        if (!need(a->Path && a->Output)) return false;
        std::string p = a->Path, out;
        if (p.find('/') != std::string::npos) {
            for (char c : p) out += c == '/' ? '\\' : c;
        } else if (p.find(':') != std::string::npos && p.find('\\') == std::string::npos) {
            size_t start = p[0] == ':' ? 1 : p.find(':');
            for (size_t i = start; i < p.size(); ++i) out += p[i] == ':' ? '\\' : p[i];
        } else {
            out = p;
        }
        PutPath(a->Output, out);
        break;
    }
    case 2: {
        if (!need(a->Path && a->Directory && a->Name)) return false;
        std::string p = a->Path;
        size_t s = LastBackslash(p);
        PutPath(a->Directory, s == std::string::npos ? "" : p.substr(0, s));
        PutPath(a->Name, s == std::string::npos ? p : p.substr(s + 1));
        break;
    }
    case 3:
        if (!need(a->Output && a->Directory && a->Name)) return false;
        PutPath(a->Output, Join(a->Directory, a->Name));
        break;
    case 4: {
        if (!need(a->Path && a->Output && a->Extension)) return false;
        std::string p = a->Path;
        size_t dot = ExtensionDot(p);
        PutPath(a->Output, (dot == std::string::npos ? p : p.substr(0, dot)) + a->Extension);
        break;
    }
    case 5: {
        if (!need(a->Path && a->Name)) return false;
        std::string p = a->Path;
        size_t s = LastBackslash(p);
        PutPath(a->Name, s == std::string::npos ? p : p.substr(s + 1));
        break;
    }
    case 6: {
        if (!need(a->Path && a->Directory)) return false;
        std::string p = a->Path;
        size_t s = LastBackslash(p);
        PutPath(a->Directory, s == std::string::npos ? "" : p.substr(0, s));
        break;
    }
    case 7: {
        if (!need(a->Path && a->Extension)) return false;
        std::string p = a->Path;
        size_t dot = ExtensionDot(p);
        PutPath(a->Extension, dot == std::string::npos ? "" : p.substr(dot));
        break;
    }
    case 8:
        if (!need(a->Path && a->Directory && a->Output)) return false;
        PutPath(a->Output, Join(a->Directory, a->Path));
        break;
    case 9: {
        if (!need(a->Path && a->Directory && a->Output)) return false;
        std::string p = a->Path, d = a->Directory;
        if (p.size() >= d.size() && LwStrNCaseCompare(p.c_str(), d.c_str(), (int)d.size()) == 0) {
            std::string rest = p.substr(d.size());
            if (!rest.empty() && rest[0] == '\\') rest.erase(0, 1);
            PutPath(a->Output, rest);
        } else {
            PutPath(a->Output, p);
        }
        break;
    }
    case 10: {
        if (!need(a->Path && a->Directory)) return false;
        std::string p = a->Path;
        if (p.find('\\') == std::string::npos) {
            PutPath(a->Directory, p);
            break;
        }
        if (!p.empty() && p.back() == '\\') p.pop_back();
        size_t s = LastBackslash(p);
        PutPath(a->Directory, s == std::string::npos ? p : p.substr(0, s));
        break;
    }
    case 11: {
        if (!need(a->Path && a->Output)) return false;
        std::string p = a->Path, out;
        size_t i = 0;
        if (p.size() >= 2 && isalpha((unsigned char)p[0]) && p[1] == ':') {
            out = p.substr(0, 2);
            i = 2;
            if (i < p.size() && p[i] == '\\') ++i;
        }
        for (; i < p.size(); ++i) out += p[i] == '\\' ? '/' : p[i];
        PutPath(a->Output, out);
        break;
    }
    case 12: {
        if (!need(a->Path && a->Output)) return false;
        std::string out;
        for (const char* c = a->Path; *c; ++c) {
            if (*c == ':')
                out += ":\\";
            else if (*c == '/')
                out += '\\';
            else
                out += *c;
        }
        PutPath(a->Output, out);
        break;
    }
    case 13: {
        if (!need(a->Path != nullptr)) return false;
        std::string p = a->Path;
        for (char& c : p)
            if (c == '\\') c = '/';
        if (access(p.c_str(), F_OK) != 0) a->Result = 2;
        break;
    }
    default:
        return true;
    }
    return a->Result == 0;
}

void LwVPrintf(FILE* stream, const char* format, va_list args) {
    if (!stream || !format) return;
    locale_t c = CLocale();
    locale_t old = c ? uselocale(c) : (locale_t)0;
    vfprintf(stream, format, args);
    if (c) uselocale(old);
}

void DumpPrintf(FILE* stream, int indent, const char* format, ...) {
    if (!stream) return;
    for (int i = 0; i < indent; ++i) fputc('\t', stream);
    va_list args;
    va_start(args, format);
    LwVPrintf(stream, format, args);
    va_end(args);
    fflush(stream);
}

MemoryTracker* CreateMemoryTracker() {
    MemoryTracker* t = (MemoryTracker*)calloc(1, sizeof(MemoryTracker));
    if (!t) return nullptr;
    t->Alloc = TrackerAlloc;
    t->Realloc = TrackerRealloc;
    t->Free = TrackerFree;
    return t;
}

void DestroyMemoryTracker(MemoryTracker** tracker) {
    if (!tracker || !*tracker) return;
    MemoryTracker* t = *tracker;
    FILE* log = t->LogFlag ? fopen("MEMCON.LOG", "wt") : nullptr;
    if (log) fprintf(log, "MEMCON: ALLOC COUNT = %d, TOTAL SIZE = %d\n", t->Count, t->TotalSize);
    for (int i = 0; i < t->Count; ++i) {
        if (!t->Addresses[i]) continue;
        if (log) fprintf(log, "MEMCON: FREE MEM(%d) SIZE = %d ADDR = <%p>\n", i, t->Sizes[i], t->Addresses[i]);
        free(t->Addresses[i]);
    }
    free(t);
    if (log) fclose(log);
    *tracker = nullptr;
}

// ---- numbers ------------------------------------------------------------------------------------

int32_t LwParseInt(const char* text) {
    if (!text) return 0;
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int64_t value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value <= (int64_t)INT32_MAX + 1) value = value * 10 + (*p - '0');
        ++p;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return (int32_t)value;
}

double LwParseReal(const char* text) {
    if (!text) return 0.0;
    char* end = nullptr;
    locale_t c = CLocale();
    double value = c ? strtod_l(text, &end, c) : strtod(text, &end);
    if (end == text) return 0.0;
    return value;
}

int32_t LwParseHex(const char* text) {
    if (!text) return 0;
    const char* p = text;
    while (*p == ' ' || *p == '\t') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && isxdigit((unsigned char)p[2])) p += 2;
    uint64_t value = 0;
    while (isxdigit((unsigned char)*p)) {
        int digit = isdigit((unsigned char)*p) ? *p - '0' : Lower(*p) - 'a' + 10;
        if (value <= 0xFFFFFFFFull) value = value * 16 + (uint64_t)digit;
        ++p;
    }
    uint32_t bits = value > 0xFFFFFFFFull ? 0xFFFFFFFFu : (uint32_t)value;
    if (negative) bits = 0u - bits;
    return (int32_t)bits;
}
