#pragma once
// Inside the image loader: the decoders of each file kind and what they hand to the level builder.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "gfxkit/ImageLoader.h"

namespace plat {
namespace image {

// Thrown inside the loader only; the public functions turn it into a result code and a reason.
class Failure : public std::runtime_error {
public:
    Failure(GraphicsResult code, const std::string& what) : std::runtime_error(what), code_(code) {}
    GraphicsResult code() const { return code_; }

private:
    GraphicsResult code_;
};

[[noreturn]] inline void Fail(const std::string& what) { throw Failure(gfx::kInvalidData, what); }

struct Decoded {
    ImageInfo info;
    std::vector<Pixels> levels;      // the file's levels decoded (level 0 first), unless block-compressed
    std::vector<ImageLevel> blocks;  // a DDS's block-compressed levels as stored
};

// Refuses a zero side, a side above kMaxImageDimension or more than kMaxImageTexels texels.
void CheckImageSize(const char* kind, uint64_t width, uint64_t height);

// Each reader fills `out.info`; unless headerOnly it also decodes. Bad data throws Failure.
void ReadPng(const uint8_t* data, size_t size, bool headerOnly, Decoded& out);
void ReadJpeg(const uint8_t* data, size_t size, bool headerOnly, Decoded& out);
void ReadBmp(const uint8_t* data, size_t size, bool headerOnly, Decoded& out);
void ReadTga(const uint8_t* data, size_t size, bool headerOnly, Decoded& out);
void ReadDds(const uint8_t* data, size_t size, bool headerOnly, Decoded& out);
// Whether the bytes look like a TGA header (TGA files carry no signature).
bool LooksLikeTga(const uint8_t* data, size_t size);

}  // namespace image
}  // namespace plat
