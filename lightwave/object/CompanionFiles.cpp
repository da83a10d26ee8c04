// The text reading shared by the ".vcl" and ".uv" companion files of an object.
#include "lightwave/object/ObjectInternal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <sstream>
#include <string>

bool LwTextLines::Next() {
    for (;;) {
        size_t n = 0;
        int c;
        while ((c = fgetc(file_)) != EOF && c != '\n' && c != '\r') {
            if (n + 1 < sizeof(line_)) line_[n++] = (char)c;
        }
        line_[n] = '\0';
        endedByFile_ = c == EOF;
        if (c == EOF && n == 0) return false;
        if (n == 0 || line_[0] == '#') continue;
        return true;
    }
}

int LwTextLines::Split(int n, const char* fields[]) {
    memcpy(split_, line_, sizeof(split_));
    char* p = split_;
    int found = 0;
    while (found < n) {
        while (*p == ' ' || *p == '\t') ++p;
        if (!*p) break;
        fields[found++] = p;
        if (found == n) break;  // the last field is the rest of the line
        while (*p && *p != ' ' && *p != '\t') ++p;
        if (*p) *p++ = '\0';
    }
    return found;
}

bool LwParseInt(const char* text, int32_t* out) {
    if (!text) return false;
    char* end = nullptr;
    errno = 0;
    long long v = strtoll(text, &end, 10);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (end == text || !end || *end || errno || v < INT32_MIN || v > INT32_MAX) return false;
    *out = (int32_t)v;
    return true;
}

// Decimal numbers in the "C" form whatever the process locale says.
bool LwParseDouble(const char* text, double* out) {
    if (!text) return false;
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double v;
    in >> v;
    if (in.fail()) return false;
    in >> std::ws;
    if (!in.eof()) return false;
    *out = v;
    return true;
}

void LwCompanionName(const LwObject* object, const char* extension, char out[LW_PATH_SIZE]) {
    out[0] = '\0';
    LwPathArgs args{};
    args.Path = object->FileName;
    args.Output = out;
    args.Extension = const_cast<char*>(extension);
    LwPathOperation(4, &args);
}

FILE* LwOpenCompanion(const char* name) {
    std::string path = name;
    for (char& c : path)
        if (c == '\\') c = '/';
    return fopen(path.c_str(), "rb");
}
