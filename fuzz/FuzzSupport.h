// The parts every fuzz target repeats: invariant checks that abort (so the fuzzer keeps the input),
// a scratch directory for parsers that read files, and the input cut into a few parameters and a body.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/Exception.h"
#include "core/MemoryStream.h"

// A broken invariant is a finding like a crash: abort, naming the condition.
#define FUZZ_CHECK(condition)                                                                             \
    do {                                                                                                  \
        if (!(condition)) {                                                                               \
            std::fprintf(stderr, "fuzz: invariant broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                                 \
        }                                                                                                 \
    } while (0)

namespace fuzz {

// Leading bytes as small parameters, the rest as the body the parser reads.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    // The next byte, 0 once the input is used up.
    std::uint8_t Byte() {
        if (size_ == 0) return 0;
        --size_;
        return *data_++;
    }
    std::string Rest() {
        std::string rest(reinterpret_cast<const char*>(data_), size_);
        size_ = 0;
        return rest;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

inline std::unique_ptr<trivale::CMemoryStream> MemoryStream(const std::string& bytes) {
    auto stream = std::make_unique<trivale::CMemoryStream>();
    if (!bytes.empty()) stream->Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    stream->Seek(0);
    return stream;
}

// A directory of this process's own under the temporary directory; it lives as long as the process.
inline const std::string& ScratchDir() {
    static const std::string dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "tvfuzz-XXXXXX").string();
        if (!mkdtemp(&pattern[0])) std::abort();
        return pattern;
    }();
    return dir;
}

inline std::string WriteScratchFile(const std::string& name, const std::string& bytes) {
    const std::string path = ScratchDir() + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    std::fclose(f);
    return path;
}

// Runs the parse; false when it refused the input with the engine's own error. Anything else thrown
// (a bad_alloc from a huge allocation, a length_error) escapes and is a finding.
template <class F>
bool Parses(F parse) {
    try {
        parse();
        return true;
    } catch (const trivale::EException&) {
        return false;
    }
}

}  // namespace fuzz
