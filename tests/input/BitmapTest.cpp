#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/Exception.h"
#include "core/MemoryStream.h"
#include "devices/SimpleDIB.h"

using trivale::CSimpleDIB;
using trivale::PixelSurface;

namespace {

typedef std::vector<std::uint8_t> Bytes;

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}

// A bitmap file made in memory: a 40-byte info header (or the 12-byte old one), optional bit-field
// masks and colour table, and rows of the given raw bytes (padded to four bytes here).
struct BmpSpec {
    int width = 1;
    int height = 1;  // negative: top-down
    int bitCount = 24;
    std::uint32_t compression = 0;
    std::vector<std::uint32_t> masks;    // written after the header
    std::vector<std::uint32_t> palette;  // 0x00RRGGBB
    std::uint32_t colorsUsed = 0;
    bool coreHeader = false;
    std::vector<Bytes> rows;  // as stored: first row is the bottom one unless top-down
};

Bytes MakeBmp(const BmpSpec& s) {
    const std::size_t headerSize = s.coreHeader ? 12 : 40;
    const std::size_t entry = s.coreHeader ? 3 : 4;
    const std::size_t stride = ((static_cast<std::size_t>(s.width) * s.bitCount + 31) / 32) * 4;
    const std::size_t offBits = 14 + headerSize + 4 * s.masks.size() + entry * s.palette.size();
    const std::size_t rows = static_cast<std::size_t>(s.height < 0 ? -s.height : s.height);
    Bytes b(offBits + stride * rows, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    Put32(b, 10, static_cast<std::uint32_t>(offBits));
    Put32(b, 14, static_cast<std::uint32_t>(headerSize));
    if (s.coreHeader) {
        Put16(b, 18, static_cast<std::uint32_t>(s.width));
        Put16(b, 20, static_cast<std::uint32_t>(s.height));
        Put16(b, 22, 1);
        Put16(b, 24, static_cast<std::uint32_t>(s.bitCount));
    } else {
        Put32(b, 18, static_cast<std::uint32_t>(s.width));
        Put32(b, 22, static_cast<std::uint32_t>(s.height));
        Put16(b, 26, 1);
        Put16(b, 28, static_cast<std::uint32_t>(s.bitCount));
        Put32(b, 30, s.compression);
        Put32(b, 46, s.colorsUsed);
    }
    std::size_t at = 14 + headerSize;
    for (std::uint32_t m : s.masks) {
        Put32(b, at, m);
        at += 4;
    }
    for (std::uint32_t c : s.palette) {
        b[at] = c & 0xFF;
        b[at + 1] = (c >> 8) & 0xFF;
        b[at + 2] = (c >> 16) & 0xFF;
        at += entry;
    }
    for (std::size_t r = 0; r < s.rows.size() && r < rows; ++r) {
        for (std::size_t i = 0; i < s.rows[r].size() && i < stride; ++i) b[offBits + r * stride + i] = s.rows[r][i];
    }
    return b;
}

void Fill(trivale::CMemoryStream& stream, const Bytes& bytes) {
    stream.SetSize(0);
    stream.Seek(0);
    if (!bytes.empty()) stream.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    stream.Seek(0);
}

// Loads the bytes; the returned text names the exception, "" when none was thrown.
std::string LoadBytes(CSimpleDIB& dib, const Bytes& bytes) {
    trivale::CMemoryStream stream;
    Fill(stream, bytes);
    try {
        dib.Load(stream);
    } catch (const trivale::EInvalidFileFormat& e) {
        return "format: " + e.GetMessage();
    } catch (const trivale::EReadError& e) {
        return "read: " + e.GetMessage();
    }
    return "";
}

const std::string kCannotLoad = "read: ビットマップをロードできませんでした.";

// A 2 x 2 24-bit picture stored bottom-up: red, green / blue, white from the top.
BmpSpec TwoByTwo() {
    BmpSpec s;
    s.width = 2;
    s.height = 2;
    s.bitCount = 24;
    s.rows = {{0xFF, 0, 0, 0xFF, 0xFF, 0xFF}, {0, 0, 0xFF, 0, 0xFF, 0}};
    return s;
}

TEST(SimpleDIB, Decodes24BitBottomUp) {
    CSimpleDIB dib;
    ASSERT_EQ("", LoadBytes(dib, MakeBmp(TwoByTwo())));
    ASSERT_NE(nullptr, dib.GetBitmap());
    EXPECT_EQ(2, dib.GetWidth());
    EXPECT_EQ(2, dib.GetHeight());
    const PixelSurface& p = *dib.GetBitmap();
    EXPECT_EQ(0xFF0000u, p.At(0, 0));
    EXPECT_EQ(0x00FF00u, p.At(1, 0));
    EXPECT_EQ(0x0000FFu, p.At(0, 1));
    EXPECT_EQ(0xFFFFFFu, p.At(1, 1));
}

TEST(SimpleDIB, Decodes8BitWithAShortColourTable) {
    BmpSpec s;
    s.width = 5;
    s.height = -2;  // top-down
    s.bitCount = 8;
    s.palette = {0x102030, 0x405060, 0x708090};
    s.colorsUsed = 3;
    s.rows = {{0, 1, 2, 1, 0}, {2, 2, 200, 0, 1}};  // 200 lies outside the table
    CSimpleDIB dib;
    ASSERT_EQ("", LoadBytes(dib, MakeBmp(s)));
    const PixelSurface& p = *dib.GetBitmap();
    EXPECT_EQ(2, p.height);
    EXPECT_EQ(0x102030u, p.At(0, 0));
    EXPECT_EQ(0x708090u, p.At(2, 0));
    EXPECT_EQ(0x000000u, p.At(2, 1));
    EXPECT_EQ(0x405060u, p.At(4, 1));
}

TEST(SimpleDIB, Decodes1And4BitPalettes) {
    BmpSpec s;
    s.width = 10;
    s.height = 1;
    s.bitCount = 1;
    s.palette = {0x000000, 0xFFFFFF};
    s.rows = {{0xA0, 0x40}};  // 1010 0000 01..
    CSimpleDIB dib;
    ASSERT_EQ("", LoadBytes(dib, MakeBmp(s)));
    EXPECT_EQ(0xFFFFFFu, dib.GetBitmap()->At(0, 0));
    EXPECT_EQ(0x000000u, dib.GetBitmap()->At(1, 0));
    EXPECT_EQ(0xFFFFFFu, dib.GetBitmap()->At(2, 0));
    EXPECT_EQ(0xFFFFFFu, dib.GetBitmap()->At(9, 0));
    s.bitCount = 4;
    s.width = 3;
    s.palette.assign(16, 0);
    s.palette[0xC] = 0xABCDEF;
    s.palette[0x3] = 0x123456;
    s.rows = {{0x3C, 0xC0}};
    ASSERT_EQ("", LoadBytes(dib, MakeBmp(s)));
    EXPECT_EQ(0x123456u, dib.GetBitmap()->At(0, 0));
    EXPECT_EQ(0xABCDEFu, dib.GetBitmap()->At(1, 0));
    EXPECT_EQ(0xABCDEFu, dib.GetBitmap()->At(2, 0));
}

TEST(SimpleDIB, Decodes32BitPlainAndWithBitFields) {
    BmpSpec s;
    s.width = 2;
    s.height = 1;
    s.bitCount = 32;
    s.rows = {{0x11, 0x22, 0x33, 0x99, 0x44, 0x55, 0x66, 0x00}};
    CSimpleDIB dib;
    ASSERT_EQ("", LoadBytes(dib, MakeBmp(s)));
    EXPECT_EQ(0x332211u, dib.GetBitmap()->At(0, 0));
    EXPECT_EQ(0x665544u, dib.GetBitmap()->At(1, 0));
    s.compression = 3;
    s.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};  // stored R, G, B
    ASSERT_EQ("", LoadBytes(dib, MakeBmp(s)));
    EXPECT_EQ(0x112233u, dib.GetBitmap()->At(0, 0));
}

TEST(SimpleDIB, Decodes16Bit555And565) {
    BmpSpec s;
    s.width = 2;
    s.height = 1;
    s.bitCount = 16;
    s.rows = {{0x00, 0x7C, 0x1F, 0x00}};  // 0x7C00 red, 0x001F blue
    CSimpleDIB dib;
    ASSERT_EQ("", LoadBytes(dib, MakeBmp(s)));
    EXPECT_EQ(0xFF0000u, dib.GetBitmap()->At(0, 0));
    EXPECT_EQ(0x0000FFu, dib.GetBitmap()->At(1, 0));
    s.compression = 3;
    s.masks = {0xF800, 0x07E0, 0x001F};
    s.rows = {{0xE0, 0x07, 0x00, 0xF8}};  // 0x07E0 green, 0xF800 red
    ASSERT_EQ("", LoadBytes(dib, MakeBmp(s)));
    EXPECT_EQ(0x00FF00u, dib.GetBitmap()->At(0, 0));
    EXPECT_EQ(0xFF0000u, dib.GetBitmap()->At(1, 0));
}

TEST(SimpleDIB, DecodesTheOldHeader) {
    BmpSpec s;
    s.coreHeader = true;
    s.width = 2;
    s.height = 1;
    s.bitCount = 8;
    s.palette.assign(256, 0);
    s.palette[7] = 0x0A0B0C;
    s.rows = {{7, 0}};
    CSimpleDIB dib;
    ASSERT_EQ("", LoadBytes(dib, MakeBmp(s)));
    EXPECT_EQ(0x0A0B0Cu, dib.GetBitmap()->At(0, 0));
}

TEST(SimpleDIB, ABitmapInsideALargerStreamIsReadToItsOwnEnd) {
    Bytes bmp = MakeBmp(TwoByTwo());
    Bytes all(100 + bmp.size() + 50, 0xDD);
    std::fill(all.begin(), all.begin() + 100, 0xEE);
    std::copy(bmp.begin(), bmp.end(), all.begin() + 100);
    trivale::CMemoryStream stream;
    Fill(stream, all);
    stream.Seek(100);
    CSimpleDIB dib;
    dib.Load(stream);
    EXPECT_EQ(2, dib.GetWidth());
    EXPECT_EQ(100u + bmp.size(), stream.Tell());
}

TEST(SimpleDIB, NotABitmapIsAFormatErrorAndLeavesItEmpty) {
    CSimpleDIB dib;
    ASSERT_EQ("", LoadBytes(dib, MakeBmp(TwoByTwo())));
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ("format: ビットマップファイルフォーマットが不正です.", LoadBytes(dib, png));
    EXPECT_EQ(nullptr, dib.GetBitmap());
    EXPECT_EQ(0, dib.GetWidth());
    EXPECT_EQ("format: ビットマップファイルフォーマットが不正です.", LoadBytes(dib, Bytes()));
}

TEST(SimpleDIB, ReleaseAndASecondLoad) {
    CSimpleDIB dib;
    ASSERT_EQ("", LoadBytes(dib, MakeBmp(TwoByTwo())));
    BmpSpec wide = TwoByTwo();
    wide.width = 4;
    wide.rows.clear();
    ASSERT_EQ("", LoadBytes(dib, MakeBmp(wide)));
    EXPECT_EQ(4, dib.GetWidth());
    dib.Release();
    dib.Release();
    EXPECT_EQ(nullptr, dib.GetBitmap());
}

TEST(SimpleDIB, LoadsFromAPath) {
    const std::string path = (std::filesystem::temp_directory_path() / "tvdib-test.bmp").string();
    const Bytes bmp = MakeBmp(TwoByTwo());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bmp.data()), bmp.size());
    CSimpleDIB dib;
    dib.Load(path);
    EXPECT_EQ(0xFF0000u, dib.GetBitmap()->At(0, 0));
    std::remove(path.c_str());
    EXPECT_THROW(dib.Load(path), trivale::EIOError);
    EXPECT_EQ(nullptr, dib.GetBitmap());
}

// ---- drawing ----

TEST(SimpleDIB, DrawingWithoutABitmapDoesNothing) {
    CSimpleDIB dib;
    PixelSurface target(4, 4, 7);
    dib.Draw(target, 0, 0);
    dib.Draw(target, 0, 0, 4, 4, 0, 0);
    EXPECT_EQ(std::vector<std::uint32_t>(16, 7), target.pixels);
}

TEST(SimpleDIB, DrawCopiesTheWholeBitmapAtAPoint) {
    BmpSpec s;
    s.width = 100;
    s.height = 50;
    s.bitCount = 24;
    Bytes row(300, 0x80);
    s.rows.assign(50, row);
    CSimpleDIB dib;
    ASSERT_EQ("", LoadBytes(dib, MakeBmp(s)));
    PixelSurface target(200, 100, 0);
    dib.Draw(target, 10, 20);
    int covered = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 200; ++x) {
            const bool inside = x >= 10 && x < 110 && y >= 20 && y < 70;
            if (target.At(x, y) != 0) ++covered;
            EXPECT_EQ(inside ? 0x808080u : 0u, target.At(x, y)) << x << "," << y;
            if (HasFailure()) return;
        }
    }
    EXPECT_EQ(5000, covered);
}

TEST(SimpleDIB, DrawClipsAgainstBothSides) {
    CSimpleDIB dib;
    ASSERT_EQ("", LoadBytes(dib, MakeBmp(TwoByTwo())));
    PixelSurface target(3, 3, 0);
    dib.Draw(target, -1, -1);  // only the bottom-right pixel lands, at (0, 0)
    EXPECT_EQ(0xFFFFFFu, target.At(0, 0));
    EXPECT_EQ(0u, target.At(1, 0));
    PixelSurface small(3, 3, 0);
    dib.Draw(small, 2, 2, 5, 5, 0, 0);
    EXPECT_EQ(0xFF0000u, small.At(2, 2));
    dib.Draw(small, 0, 0, 1, 1, 1, 1);
    EXPECT_EQ(0xFFFFFFu, small.At(0, 0));
    PixelSurface untouched(3, 3, 0);
    dib.Draw(untouched, 0, 0, 2, 2, -5, -5);  // the rectangle misses the bitmap
    dib.Draw(untouched, 5, 5);
    dib.Draw(untouched, 0, 0, -3, 2, 0, 0);
    EXPECT_EQ(std::vector<std::uint32_t>(9, 0), untouched.pixels);
}

// ---- hostile files: each is refused before a pixel is read ----

struct Hostile {
    const char* name;
    std::function<void(Bytes&)> spoil;
};

TEST(SimpleDIB, HostileFilesAreRefused) {
    const Hostile cases[] = {
        {"file size beyond the stream", [](Bytes& b) { Put32(b, 2, static_cast<std::uint32_t>(b.size() + 1)); }},
        {"file size of 4 GiB", [](Bytes& b) { Put32(b, 2, 0xFFFFFFFF); }},
        {"file size below the headers", [](Bytes& b) { Put32(b, 2, 20); }},
        {"pixel offset beyond the file", [](Bytes& b) { Put32(b, 10, static_cast<std::uint32_t>(b.size())); }},
        {"pixel offset of 0", [](Bytes& b) { Put32(b, 10, 0); }},
        {"pixel offset wrapping", [](Bytes& b) { Put32(b, 10, 0xFFFFFFF0); }},
        {"header size huge", [](Bytes& b) { Put32(b, 14, 0xFFFFFFF0); }},
        {"header size unknown", [](Bytes& b) { Put32(b, 14, 41); }},
        {"width 0", [](Bytes& b) { Put32(b, 18, 0); }},
        {"width negative", [](Bytes& b) { Put32(b, 18, 0xFFFFFFFE); }},
        {"height 0", [](Bytes& b) { Put32(b, 22, 0); }},
        {"height most negative", [](Bytes& b) { Put32(b, 22, 0x80000000); }},
        {"rows beyond the file", [](Bytes& b) { Put32(b, 22, 3); }},
        {"huge picture", [](Bytes& b) { Put32(b, 18, 0x7FFFFFFF); Put32(b, 22, 0x7FFFFFFF); }},
        {"side too long", [](Bytes& b) { Put32(b, 18, 100000); Put32(b, 22, 1); }},
        {"bit count 7", [](Bytes& b) { Put16(b, 28, 7); }},
        {"bit count 0", [](Bytes& b) { Put16(b, 28, 0); }},
        {"run-length compression", [](Bytes& b) { Put16(b, 28, 8); Put32(b, 30, 1); }},
        {"embedded JPEG", [](Bytes& b) { Put32(b, 30, 4); }},
        {"bit fields on 24 bits", [](Bytes& b) { Put32(b, 30, 3); }},
        {"palette larger than the depth", [](Bytes& b) { Put16(b, 28, 1); Put32(b, 46, 3); }},
        {"palette beyond the file", [](Bytes& b) { Put16(b, 28, 8); Put32(b, 46, 256); }},
        {"cut inside the header", [](Bytes& b) { b.resize(30); Put32(b, 2, 30); }},
        {"cut inside the file header", [](Bytes& b) { b.resize(13); }},
    };
    for (const Hostile& h : cases) {
        Bytes bytes = MakeBmp(TwoByTwo());
        h.spoil(bytes);
        CSimpleDIB dib;
        EXPECT_EQ(kCannotLoad, LoadBytes(dib, bytes)) << h.name;
        EXPECT_EQ(nullptr, dib.GetBitmap()) << h.name;
    }
}

TEST(SimpleDIB, BitFieldMasksBeyondTheFileAreRefused) {
    BmpSpec s;
    s.width = 1;
    s.height = 1;
    s.bitCount = 32;
    s.compression = 3;
    Bytes b = MakeBmp(s);  // no masks written: the pixel sits where they should be
    b.resize(14 + 40 + 4);
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    CSimpleDIB dib;
    EXPECT_EQ(kCannotLoad, LoadBytes(dib, b));
}

}  // namespace
