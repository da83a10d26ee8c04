#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/Exception.h"
#include "core/MemoryStream.h"
#include "devices/SimpleDIB.h"
#include "tests/core/TestUtil.h"

using trivale::CSimpleDIB;
using trivale::PixelSurface;

namespace {

typedef std::vector<std::uint8_t> Bytes;

void Put(Bytes& b, std::size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) { Put(b, at, v, 4); }

// A bitmap file made in memory: a 40-byte info header (or the 12-byte old one), optional bit-field
// masks and colour table, and rows of the given raw bytes (padded to four bytes here).
struct BmpLayout {
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

Bytes MakeBmp(const BmpLayout& s) {
    const std::size_t headerSize = s.coreHeader ? 12 : 40;
    const std::size_t entry = s.coreHeader ? 3 : 4;
    const std::size_t stride = ((static_cast<std::size_t>(s.width) * s.bitCount + 31) / 32) * 4;
    const std::size_t offBits = 14 + headerSize + 4 * s.masks.size() + entry * s.palette.size();
    const std::size_t rows = static_cast<std::size_t>(s.height < 0 ? -s.height : s.height);
    Bytes b(offBits + stride * rows, 0);
    b[0] = 'B';
    b[1] = 'M';
    const std::uint32_t w = static_cast<std::uint32_t>(s.width), h = static_cast<std::uint32_t>(s.height),
                        bits = static_cast<std::uint32_t>(s.bitCount);
    typedef std::vector<std::array<std::uint32_t, 3>> Fields;  // offset, value, bytes
    const Fields header =
        s.coreHeader
            ? Fields{{18, w, 2}, {20, h, 2}, {22, 1, 2}, {24, bits, 2}}
            : Fields{{18, w, 4}, {22, h, 4}, {26, 1, 2}, {28, bits, 2}, {30, s.compression, 4}, {46, s.colorsUsed, 4}};
    for (const auto& f : header) Put(b, f[0], f[1], static_cast<int>(f[2]));
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    Put32(b, 10, static_cast<std::uint32_t>(offBits));
    Put32(b, 14, static_cast<std::uint32_t>(headerSize));
    std::size_t at = 14 + headerSize;
    for (std::uint32_t m : s.masks) Put32(b, (at += 4) - 4, m);
    for (std::uint32_t c : s.palette) Put(b, (at += entry) - entry, c, 3);
    for (std::size_t r = 0; r < s.rows.size() && r < rows; ++r) {
        for (std::size_t i = 0; i < s.rows[r].size() && i < stride; ++i) b[offBits + r * stride + i] = s.rows[r][i];
    }
    return b;
}

void Fill(trivale::CMemoryStream& stream, const Bytes& bytes) {
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

BmpLayout Layout(int width, int height, int bitCount, std::vector<Bytes> rows) {
    BmpLayout s;
    s.width = width;
    s.height = height;
    s.bitCount = bitCount;
    s.rows = rows;
    return s;
}

// A 2 x 2 24-bit picture stored bottom-up: red, green / blue, white from the top.
BmpLayout TwoByTwo() { return Layout(2, 2, 24, {{0xFF, 0, 0, 0xFF, 0xFF, 0xFF}, {0, 0, 0xFF, 0, 0xFF, 0}}); }

TEST(SimpleDIB, DecodesEveryDepthAndBothRowOrders) {
    struct Case {
        const char* name;
        BmpLayout layout;
        std::vector<std::pair<std::pair<int, int>, std::uint32_t>> pixels;  // (x, y) from the top: colour
    };
    std::vector<Case> cases;
    cases.push_back({"24 bits bottom-up",
                     TwoByTwo(),
                     {{{0, 0}, 0xFF0000}, {{1, 0}, 0x00FF00}, {{0, 1}, 0x0000FF}, {{1, 1}, 0xFFFFFF}}});
    BmpLayout s = Layout(5, -2, 8, {{0, 1, 2, 1, 0}, {2, 2, 200, 0, 1}});  // top-down; 200 lies outside the table
    s.palette = {0x102030, 0x405060, 0x708090};
    s.colorsUsed = 3;
    cases.push_back(
        {"8 bits, short colour table", s, {{{0, 0}, 0x102030}, {{2, 0}, 0x708090}, {{2, 1}, 0}, {{4, 1}, 0x405060}}});
    s = Layout(10, 1, 1, {{0xA0, 0x40}});  // 1010 0000 01..
    s.palette = {0x000000, 0xFFFFFF};
    cases.push_back({"1 bit", s, {{{0, 0}, 0xFFFFFF}, {{1, 0}, 0}, {{2, 0}, 0xFFFFFF}, {{9, 0}, 0xFFFFFF}}});
    s = Layout(3, 1, 4, {{0x3C, 0xC0}});
    s.palette.assign(16, 0);
    s.palette[0xC] = 0xABCDEF;
    s.palette[0x3] = 0x123456;
    cases.push_back({"4 bits", s, {{{0, 0}, 0x123456}, {{1, 0}, 0xABCDEF}, {{2, 0}, 0xABCDEF}}});
    s = Layout(2, 1, 32, {{0x11, 0x22, 0x33, 0x99, 0x44, 0x55, 0x66, 0x00}});
    cases.push_back({"32 bits", s, {{{0, 0}, 0x332211}, {{1, 0}, 0x665544}}});
    s.compression = 3;
    s.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};  // stored R, G, B
    cases.push_back({"32 bits, bit fields", s, {{{0, 0}, 0x112233}}});
    s = Layout(2, 1, 16, {{0x00, 0x7C, 0x1F, 0x00}});  // 0x7C00 red, 0x001F blue
    cases.push_back({"16 bits 555", s, {{{0, 0}, 0xFF0000}, {{1, 0}, 0x0000FF}}});
    s = Layout(2, 1, 16, {{0xE0, 0x07, 0x00, 0xF8}});  // 0x07E0 green, 0xF800 red
    s.compression = 3;
    s.masks = {0xF800, 0x07E0, 0x001F};
    cases.push_back({"16 bits 565", s, {{{0, 0}, 0x00FF00}, {{1, 0}, 0xFF0000}}});
    s = Layout(2, 1, 8, {{7, 0}});
    s.coreHeader = true;
    s.palette.assign(256, 0);
    s.palette[7] = 0x0A0B0C;
    cases.push_back({"old header", s, {{{0, 0}, 0x0A0B0C}}});

    for (const Case& c : cases) {
        CSimpleDIB dib;
        ASSERT_EQ("", LoadBytes(dib, MakeBmp(c.layout))) << c.name;
        ASSERT_NE(nullptr, dib.GetBitmap()) << c.name;
        EXPECT_EQ(c.layout.width, dib.GetWidth()) << c.name;
        EXPECT_EQ(std::abs(c.layout.height), dib.GetHeight()) << c.name;
        for (const auto& p : c.pixels) {
            EXPECT_EQ(p.second, dib.GetBitmap()->At(p.first.first, p.first.second)) << c.name;
        }
    }
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

TEST(SimpleDIB, ASecondLoadOrAFailedOneReleasesTheFirst) {
    CSimpleDIB dib;
    ASSERT_EQ("", LoadBytes(dib, MakeBmp(TwoByTwo())));
    BmpLayout wide = TwoByTwo();
    wide.width = 4;
    ASSERT_EQ("", LoadBytes(dib, MakeBmp(wide)));
    EXPECT_EQ(4, dib.GetWidth());
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ("format: ビットマップファイルフォーマットが不正です.", LoadBytes(dib, png));
    EXPECT_EQ(nullptr, dib.GetBitmap());
    EXPECT_EQ(0, dib.GetWidth());
    EXPECT_EQ("format: ビットマップファイルフォーマットが不正です.", LoadBytes(dib, Bytes()));
    dib.Release();

    // From a path (of this process's own), and from one that is gone.
    const tvtest::TempDir dir;
    const Bytes bmp = MakeBmp(TwoByTwo());
    tvtest::WriteFile(dir / "a.bmp", std::string(bmp.begin(), bmp.end()));
    dib.Load(dir / "a.bmp");
    EXPECT_EQ(0xFF0000u, dib.GetBitmap()->At(0, 0));
    EXPECT_THROW(dib.Load(dir / "gone.bmp"), trivale::EIOError);
    EXPECT_EQ(nullptr, dib.GetBitmap());
}

// ---- drawing ----

TEST(SimpleDIB, DrawCopiesAtAPointAndClipsAgainstBothSides) {
    CSimpleDIB dib;
    PixelSurface target(6, 5, 0);
    dib.Draw(target, 0, 0);  // nothing loaded: nothing drawn
    dib.Draw(target, 0, 0, 4, 4, 0, 0);
    EXPECT_EQ(std::vector<std::uint32_t>(30, 0), target.pixels);
    ASSERT_EQ("", LoadBytes(dib, MakeBmp(Layout(4, 2, 24, std::vector<Bytes>(2, Bytes(12, 0x80))))));
    dib.Draw(target, 1, 2);
    int wrong = 0;
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 6; ++x) wrong += target.At(x, y) != (x >= 1 && x < 5 && y >= 2 && y < 4 ? 0x808080u : 0u);
    }
    EXPECT_EQ(0, wrong);

    ASSERT_EQ("", LoadBytes(dib, MakeBmp(TwoByTwo())));
    target = PixelSurface(3, 3, 0);
    dib.Draw(target, -1, -1);  // only the bottom-right pixel lands, at (0, 0)
    EXPECT_EQ(0xFFFFFFu, target.At(0, 0));
    EXPECT_EQ(0u, target.At(1, 0));
    dib.Draw(target, 2, 2, 5, 5, 0, 0);
    EXPECT_EQ(0xFF0000u, target.At(2, 2));
    PixelSurface untouched(3, 3, 0);
    dib.Draw(untouched, 0, 0, 2, 2, -5, -5);  // the rectangle misses the bitmap
    dib.Draw(untouched, 5, 5);
    dib.Draw(untouched, 0, 0, -3, 2, 0, 0);
    EXPECT_EQ(std::vector<std::uint32_t>(9, 0), untouched.pixels);
}

// ---- hostile files: each is refused before a pixel is read ----

TEST(SimpleDIB, HostileFilesAreRefused) {
    const std::uint32_t size = static_cast<std::uint32_t>(MakeBmp(TwoByTwo()).size());
    const struct {
        const char* name;
        std::vector<std::pair<std::size_t, std::uint32_t>> pokes;  // offset: value (16 bits at 28, else 32)
        std::size_t cut;  // the file's length when not 0; from 14 bytes on its header says so too
    } cases[] = {
        {"file size beyond the stream", {{2, size + 1}}, 0},
        {"file size of 4 GiB", {{2, 0xFFFFFFFF}}, 0},
        {"pixel offset beyond the file", {{10, size}}, 0},
        {"pixel offset wrapping", {{10, 0xFFFFFFF0}}, 0},
        {"header size huge", {{14, 0xFFFFFFF0}}, 0},
        {"width negative", {{18, 0xFFFFFFFE}}, 0},
        {"height most negative", {{22, 0x80000000}}, 0},
        {"rows beyond the file", {{22, 3}}, 0},
        {"huge picture", {{18, 0x7FFFFFFF}, {22, 0x7FFFFFFF}}, 0},
        {"side too long", {{18, 100000}, {22, 1}}, 0},
        {"bit count 7", {{28, 7}}, 0},
        {"run-length compression", {{28, 8}, {30, 1}}, 0},
        {"bit fields on 24 bits", {{30, 3}}, 0},
        {"palette larger than the depth", {{28, 1}, {46, 3}}, 0},
        {"palette beyond the file", {{28, 8}, {46, 256}}, 0},
        {"cut inside the header", {}, 30},
        // the one pixel sits where they should be
        {"bit-field masks beyond the file", {{18, 1}, {22, 1}, {28, 32}, {30, 3}}, 14 + 40 + 4},
    };
    for (const auto& c : cases) {
        Bytes bytes = MakeBmp(TwoByTwo());
        for (const auto& poke : c.pokes) Put(bytes, poke.first, poke.second, poke.first == 28 ? 2 : 4);
        if (c.cut != 0) bytes.resize(c.cut);
        if (c.cut >= 14) Put32(bytes, 2, static_cast<std::uint32_t>(c.cut));
        CSimpleDIB dib;
        EXPECT_EQ(kCannotLoad, LoadBytes(dib, bytes)) << c.name;
        EXPECT_EQ(nullptr, dib.GetBitmap()) << c.name;
    }
}

}  // namespace
