// Helpers of the object-file tests: whole files built from chunks, scratch files, and objects
// compared field by field.
#pragma once

#include "tests/lightwave/ChunkTestUtil.h"

#include <unistd.h>

namespace lwfile {

using namespace lwchunk;

// A chunk with a U4 length, as object files hold them (no pad byte after an odd body).
inline Body Chunk(const char* id, const Body& body) { return Body().Id(id).U4(body.Size()).Append(body); }
inline Body Form(const char* type, const Body& chunks) {
    return Body().Id("FORM").U4(4 + chunks.Size()).Id(type).Append(chunks);
}

// A scratch file name, removed again with whatever was written to it.
struct TempPath {
    std::string path;
    TempPath() {
        char name[] = "/tmp/lwfileXXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        path = name;
    }
    explicit TempPath(const Bytes& bytes) : TempPath() { Write(bytes); }
    ~TempPath() { unlink(path.c_str()); }
    void Write(const Bytes& bytes) const {
        FILE* f = fopen(path.c_str(), "wb");
        if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    Bytes Read() const {
        Bytes out;
        FILE* f = fopen(path.c_str(), "rb");
        if (!f) return out;
        int c;
        while ((c = fgetc(f)) != EOF) out.push_back((uint8_t)c);
        fclose(f);
        return out;
    }
    const char* c_str() const { return path.c_str(); }
};

inline ObjectPtr ReadObject(const Bytes& file, int32_t type, int32_t* rc, std::string* log = nullptr) {
    TempPath temp(file);
    ObjectPtr o = NewObject();
    TextCapture capture;
    o->TraceFile = capture.File();
    *rc = type == LW_FILE_LWOB ? ReadLwobFile(o.get(), temp.c_str(), 0) : ReadLwo2File(o.get(), temp.c_str(), 0);
    if (log) *log = capture.Text();
    o->TraceFile = nullptr;
    return o;
}

inline ObjectPtr ReadObject(const Body& file, int32_t type, int32_t* rc, std::string* log = nullptr) {
    return ReadObject(file.Written(), type, rc, log);
}

}  // namespace lwfile
