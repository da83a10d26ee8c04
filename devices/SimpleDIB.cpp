#include "devices/SimpleDIB.h"

#include <algorithm>

#include "core/Exception.h"
#include "core/FileStream.h"
#include "core/Stream.h"

namespace trivale {

namespace {

const std::uint32_t kFileHeaderSize = 14;
// Limits far above any picture the program shows, so that a hostile file cannot ask for a huge buffer.
const std::uint32_t kMaxFileSize = 128u * 1024 * 1024;
const std::int64_t kMaxSide = 16384;
const std::int64_t kMaxPixels = 16 * 1024 * 1024;

enum : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// One channel of a bit-field pixel, scaled to 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t m) : mask(m) {
        if (mask == 0) return;
        while (((mask >> shift) & 1u) == 0) ++shift;
        while (shift + bits < 32 && ((mask >> (shift + bits)) & 1u) != 0) ++bits;
    }
    std::uint32_t Get(std::uint32_t pixel) const {
        if (bits == 0) return 0;
        const std::uint32_t v = (pixel & mask) >> shift;
        const std::uint32_t max = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
        return static_cast<std::uint32_t>((static_cast<std::uint64_t>(v) * 255 + max / 2) / max);
    }
};

}  // namespace

CSimpleDIB::~CSimpleDIB() { Release(); }

void CSimpleDIB::Release() {
    bitmap_ = PixelSurface();
    loaded_ = false;
}

void CSimpleDIB::Load(const std::string& path) {
    Release();  // a file that cannot be opened is a failed load too
    CFileStream stream(path, plat::FileMode::ReadExisting, FileShare::Read);
    Load(stream);
}

void CSimpleDIB::Load(IStream& stream) {
    Release();
    const std::uint32_t start = stream.Tell();
    std::vector<std::uint8_t> data(kFileHeaderSize);
    const std::uint32_t got = stream.Read(data.data(), kFileHeaderSize);
    if (got < 2 || data[0] != 'B' || data[1] != 'M') {
        throw EInvalidFileFormat(this, "ビットマップファイルフォーマットが不正です.");
    }
    const char* const kCannotLoad = "ビットマップをロードできませんでした.";
    if (got < kFileHeaderSize) throw EReadError(this, kCannotLoad);

    // The whole file, as long as the header says, and no longer than what the stream holds.
    const std::uint32_t fileSize = U32(data, 2);
    const std::uint32_t offBits = U32(data, 10);
    const std::uint32_t available = stream.GetSize() > start ? stream.GetSize() - start : 0;
    if (fileSize < kFileHeaderSize + 12 || fileSize > available || fileSize > kMaxFileSize) {
        throw EReadError(this, kCannotLoad);
    }
    stream.Seek(start);
    data.assign(fileSize, 0);
    if (stream.Read(data.data(), fileSize) != fileSize) throw EReadError(this, kCannotLoad);

    // The info header: the old 12-byte form or one of the 40-byte family.
    const std::uint32_t headerSize = U32(data, kFileHeaderSize);
    if (headerSize > fileSize - kFileHeaderSize) throw EReadError(this, kCannotLoad);
    std::int64_t width, height;
    unsigned bitCount;
    std::uint32_t compression = kRgb, colorsUsed = 0;
    std::size_t paletteEntrySize = 4;
    std::size_t paletteAt = kFileHeaderSize + headerSize;
    std::uint32_t masks[3] = {0x00FF0000, 0x0000FF00, 0x000000FF};
    if (headerSize == 12) {
        width = U16(data, 18);
        height = U16(data, 20);
        bitCount = U16(data, 24);
        paletteEntrySize = 3;
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 || headerSize == 124) {
        width = static_cast<std::int32_t>(U32(data, 18));
        height = static_cast<std::int32_t>(U32(data, 22));
        bitCount = U16(data, 28);
        compression = U32(data, 30);
        colorsUsed = U32(data, 46);
        if (compression == kBitFields || compression == kAlphaBitFields) {
            // The masks follow a 40-byte header, and are part of the longer ones.
            const std::size_t masksAt = kFileHeaderSize + 40;
            if (headerSize == 40) paletteAt += compression == kBitFields ? 12 : 16;
            if (masksAt + 12 > fileSize) throw EReadError(this, kCannotLoad);
            for (int i = 0; i < 3; ++i) masks[i] = U32(data, masksAt + 4 * i);
        }
    } else {
        throw EReadError(this, kCannotLoad);
    }

    const bool topDown = height < 0;
    if (topDown) height = -height;
    const bool bitFields = compression == kBitFields || compression == kAlphaBitFields;
    const bool knownDepth =
        bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 || bitCount == 32;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || width * height > kMaxPixels ||
        !knownDepth || !(compression == kRgb || (bitFields && (bitCount == 16 || bitCount == 32)))) {
        throw EReadError(this, kCannotLoad);
    }
    if (bitCount == 16 && compression == kRgb) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    }

    // The colour table of the palette depths.
    std::vector<std::uint32_t> palette;
    if (bitCount <= 8) {
        const std::uint32_t maxColors = 1u << bitCount;
        const std::uint32_t colors = colorsUsed == 0 ? maxColors : colorsUsed;
        if (colors > maxColors || paletteAt + static_cast<std::size_t>(colors) * paletteEntrySize > fileSize) {
            throw EReadError(this, kCannotLoad);
        }
        for (std::uint32_t i = 0; i < colors; ++i) {
            const std::size_t at = paletteAt + i * paletteEntrySize;
            palette.push_back((static_cast<std::uint32_t>(data[at + 2]) << 16) |
                              (static_cast<std::uint32_t>(data[at + 1]) << 8) | data[at]);
        }
    }

    // The rows, each padded to four bytes, must lie inside the file after the headers.
    const std::int64_t stride = ((width * bitCount + 31) / 32) * 4;
    if (offBits < kFileHeaderSize + headerSize ||
        static_cast<std::int64_t>(offBits) + stride * height > static_cast<std::int64_t>(fileSize)) {
        throw EReadError(this, kCannotLoad);
    }

    PixelSurface out(static_cast<int>(width), static_cast<int>(height));
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
    for (std::int64_t row = 0; row < height; ++row) {
        const std::size_t rowAt = offBits + static_cast<std::size_t>(row * stride);
        const std::int64_t y = topDown ? row : height - 1 - row;
        std::uint32_t* dest = &out.pixels[static_cast<std::size_t>(y * width)];
        for (std::int64_t x = 0; x < width; ++x) {
            std::uint32_t color = 0;
            switch (bitCount) {
            case 1:
            case 4:
            case 8: {
                const std::int64_t bit = x * bitCount;
                const std::uint8_t byte = data[rowAt + static_cast<std::size_t>(bit / 8)];
                const unsigned index = (byte >> (8 - bitCount - bit % 8)) & ((1u << bitCount) - 1);
                color = index < palette.size() ? palette[index] : 0;  // outside the table: black
                break;
            }
            case 16:
            case 32: {
                const std::size_t at = rowAt + static_cast<std::size_t>(x * (bitCount / 8));
                const std::uint32_t pixel = bitCount == 16 ? U16(data, at) : U32(data, at);
                color = (red.Get(pixel) << 16) | (green.Get(pixel) << 8) | blue.Get(pixel);
                break;
            }
            case 24: {
                const std::size_t at = rowAt + static_cast<std::size_t>(x * 3);
                color = (static_cast<std::uint32_t>(data[at + 2]) << 16) |
                        (static_cast<std::uint32_t>(data[at + 1]) << 8) | data[at];
                break;
            }
            }
            dest[x] = color;
        }
    }
    bitmap_ = out;
    loaded_ = true;
}

void CSimpleDIB::Draw(PixelSurface& target, int x, int y, int width, int height, int sourceX, int sourceY) const {
    if (!loaded_) return;
    // Clip against the bitmap and the target, moving both corners together.
    std::int64_t dx = x, dy = y, sx = sourceX, sy = sourceY, w = width, h = height;
    if (sx < 0) {
        dx -= sx;
        w += sx;
        sx = 0;
    }
    if (sy < 0) {
        dy -= sy;
        h += sy;
        sy = 0;
    }
    if (dx < 0) {
        sx -= dx;
        w += dx;
        dx = 0;
    }
    if (dy < 0) {
        sy -= dy;
        h += dy;
        dy = 0;
    }
    w = std::min<std::int64_t>({w, bitmap_.width - sx, target.width - dx});
    h = std::min<std::int64_t>({h, bitmap_.height - sy, target.height - dy});
    if (w <= 0 || h <= 0) return;
    for (std::int64_t row = 0; row < h; ++row) {
        const std::uint32_t* from = &bitmap_.pixels[static_cast<std::size_t>((sy + row) * bitmap_.width + sx)];
        std::uint32_t* to = &target.pixels[static_cast<std::size_t>((dy + row) * target.width + dx)];
        std::copy(from, from + w, to);
    }
}

void CSimpleDIB::Draw(PixelSurface& target, int x, int y) const {
    Draw(target, x, y, bitmap_.width, bitmap_.height, 0, 0);
}

}  // namespace trivale
