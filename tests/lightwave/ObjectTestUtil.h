// Helpers of the object tests: owned objects with layers built in one call, chunk bodies and whole
// files written through the two-pass IFF writer, scratch files, and logs caught as text.
#pragma once

#include "lightwave/object/LwIff.h"
#include "lightwave/object/LwObject.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lwobj {

using Bytes = std::vector<uint8_t>;

struct ObjectDeleter {
    void operator()(LwObject* o) const { DestroyLwObject(&o); }
};
using ObjectPtr = std::unique_ptr<LwObject, ObjectDeleter>;

inline ObjectPtr NewObject() { return ObjectPtr(CreateLwObject(0)); }

// A layer holding the given points, current, with FACE selected.
inline LwLayer* AddLayerWithPoints(LwObject* o, const std::vector<std::vector<double>>& points,
                                   const char* name = nullptr) {
    LwLayer* layer = o->Op.AddLayer(o, name);
    for (const std::vector<double>& p : points) o->Op.AddPoint(o, p.data());
    o->Op.SetPolygonType(o, LW_ID_FACE);
    return layer;
}

inline int32_t AddPolygon(LwObject* o, std::vector<int32_t> points, const char* surface = nullptr) {
    return o->Op.AddPolygon(o, (int32_t)points.size(), points.data(), surface);
}

// A body as a list of writes; Sub nests a sub-chunk whose length is measured from its payload.
class Body {
public:
    Body& U1(uint8_t v) { return Put(v, IffWriteBytes); }
    Body& U2(uint16_t v) { return Put(v, IffWriteU2); }
    Body& U4(uint32_t v) { return Put(v, IffWriteU4); }
    Body& Id(const char* id) { return U4(LwMakeId(id[0], id[1], id[2], id[3])); }
    Body& F4(float v) { return Put(v, IffWriteF4); }
    Body& Vec(float x, float y, float z) { return F4(x).F4(y).F4(z); }
    Body& VX(uint32_t v) {
        return Add([v](IffFile* f) { IffWriteVX(v, f); });
    }
    Body& S0(const std::string& s) {
        return Add([s](IffFile* f) { IffWriteS0(s.c_str(), f); });
    }
    Body& Raw(const Bytes& b) {
        return Add([b](IffFile* f) { IffWriteBytes(b.data(), (uint32_t)b.size(), f); });
    }
    // A sub-chunk; length < 0 states the measured payload length.
    Body& Sub(const char* id, const Body& payload, int length = -1) {
        return Id(id).U2((uint16_t)(length < 0 ? payload.Size() : (uint32_t)length)).Append(payload);
    }
    Body& Append(const Body& other) {
        writes_.insert(writes_.end(), other.writes_.begin(), other.writes_.end());
        return *this;
    }
    uint32_t Size() const {
        IffFile f;
        OpenIffFile(&f, nullptr);
        for (const auto& w : writes_) w(&f);
        return f.Count;
    }
    // The bytes as the two-pass writer puts them into a file.
    Bytes Written() const {
        FILE* file = tmpfile();
        IffWriteTwoPasses(
            file,
            [](IffFile* f, void* self) {
                for (const auto& w : static_cast<const Body*>(self)->writes_) w(f);
                return true;
            },
            (void*)this);
        Bytes out(Size());
        rewind(file);
        out.resize(fread(out.data(), 1, out.size(), file));
        fclose(file);
        return out;
    }

private:
    // One value through a writer of element arrays.
    template <typename T, typename Write>
    Body& Put(T v, Write write) {
        return Add([v, write](IffFile* f) { write(&v, 1, f); });
    }
    Body& Add(std::function<void(IffFile*)> w) {
        writes_.push_back(std::move(w));
        return *this;
    }
    std::vector<std::function<void(IffFile*)>> writes_;
};

// A chunk with a U4 length, as object files hold them (no pad byte after an odd body).
inline Body Chunk(const char* id, const Body& body) { return Body().Id(id).U4(body.Size()).Append(body); }
inline Body Form(const char* type, const Body& chunks) {
    return Body().Id("FORM").U4(4 + chunks.Size()).Id(type).Append(chunks);
}

inline void SetSurface(LwObject* o, const char* name, const Body& body) {
    o->Op.AddSurface(o, name);
    const Bytes bytes = body.Written();
    o->Op.SetSurfaceData(o, name, (int32_t)bytes.size(), bytes.data());
}

// Text written to a stream in memory.
class TextCapture {
public:
    ~TextCapture() {
        fclose(file_);
        free(buffer_);
    }
    FILE* File() { return file_; }
    std::string Text() { return fflush(file_), std::string(buffer_, size_); }

private:
    char* buffer_ = nullptr;
    size_t size_ = 0;
    FILE* file_ = open_memstream(&buffer_, &size_);
};

// An object whose log is caught.
struct LoggedObject {
    ObjectPtr object = NewObject();
    TextCapture log;
    LoggedObject() { object->TraceFile = log.File(); }
    LwObject* get() { return object.get(); }
};

template <typename Record, typename Pack, typename Size>
Bytes Packed(LwObject* o, Record* r, Size size, Pack pack) {
    Bytes out(size(o, r));
    EXPECT_EQ(pack(o, out.data(), r), out.size());
    return out;
}

inline std::string Dumped(const std::function<void(FILE*)>& dump) {
    TextCapture c;
    dump(c.File());
    return c.Text();
}

// A scratch file name, removed again with whatever was written to it.
struct TempPath {
    std::string path;
    TempPath() {
        std::string name = (std::filesystem::temp_directory_path() / "lwtestXXXXXX").string();
        int fd = mkstemp(&name[0]);
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
        if (FILE* f = fopen(path.c_str(), "rb")) {
            for (int c; (c = fgetc(f)) != EOF;) out.push_back((uint8_t)c);
            fclose(f);
        }
        return out;
    }
    const char* c_str() const { return path.c_str(); }
};

inline ObjectPtr ReadObject(const Bytes& file, int32_t type, int32_t* rc, std::string* log = nullptr) {
    TempPath temp(file);
    LoggedObject o;
    *rc = type == LW_FILE_LWOB ? ReadLwobFile(o.get(), temp.c_str(), 0) : ReadLwo2File(o.get(), temp.c_str(), 0);
    if (log) *log = o.log.Text();
    o.object->TraceFile = nullptr;
    return std::move(o.object);
}

inline ObjectPtr ReadObject(const Body& file, int32_t type, int32_t* rc, std::string* log = nullptr) {
    return ReadObject(file.Written(), type, rc, log);
}

// The dump of an object without its file name and type, for comparing objects.
inline std::string DumpedContents(LwObject* o) {
    const std::string text = Dumped([o](FILE* f) { DumpLwObject(o, f); });
    return text.substr(text.find("NLAYR"));
}

}  // namespace lwobj
