// Helpers of the chunk-body tests: bodies written through the two-pass IFF writer into a file and
// read back, and the object's log caught as text.
#pragma once

#include "lightwave/LwChunks.h"
#include "tests/lightwave/ObjectTestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace lwchunk {

using namespace lwtest;

using Bytes = std::vector<uint8_t>;

// A body as a list of writes; Sub nests a sub-chunk whose length is measured from its payload.
class Body {
public:
    Body& U1(uint8_t v) {
        return Add([v](IffFile* f) { IffWriteBytes(&v, 1, f); });
    }
    Body& U2(uint16_t v) {
        return Add([v](IffFile* f) { IffWriteU2(&v, 1, f); });
    }
    Body& U4(uint32_t v) {
        return Add([v](IffFile* f) { IffWriteU4(&v, 1, f); });
    }
    Body& Id(const char* id) { return U4(LwMakeId(id[0], id[1], id[2], id[3])); }
    Body& F4(float v) {
        return Add([v](IffFile* f) { IffWriteF4(&v, 1, f); });
    }
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
        uint16_t n = (uint16_t)(length < 0 ? payload.Size() : (uint32_t)length);
        return Id(id).U2(n).Append(payload);
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
        auto emit = [](IffFile* f, void* self) {
            for (const auto& w : static_cast<const Body*>(self)->writes_) w(f);
            return true;
        };
        IffWriteTwoPasses(file, emit, (void*)this);
        Bytes out(Size());
        rewind(file);
        size_t got = fread(out.data(), 1, out.size(), file);
        fclose(file);
        out.resize(got);
        return out;
    }

private:
    Body& Add(std::function<void(IffFile*)> w) {
        writes_.push_back(std::move(w));
        return *this;
    }
    std::vector<std::function<void(IffFile*)>> writes_;
};

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

}  // namespace lwchunk
