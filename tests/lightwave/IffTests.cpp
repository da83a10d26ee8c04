// IFF primitives: byte layouts in memory and in files, the two-pass writer, and reads that meet the
// end of their chunk or stream.
#include "lightwave/object/LwIff.h"
#include "lightwave/object/LwObject.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Runs write over a memory cursor and gives the bytes produced.
template <typename Write>
Bytes Written(Write write, uint32_t room = 64) {
    Bytes buffer(room);
    ChunkBuff cb;
    OpenChunkBuff(&cb, buffer.data(), room);
    write(&cb);
    buffer.resize(cb.Count);
    return buffer;
}

TEST(IffMemory, ElementLayouts) {
    const uint16_t u2[2] = {0x0102, 0xFFFE};
    const float vec[3] = {1.0f, 0.5f, -2.0f};
    const uint8_t order[4] = {1, 2, 3, 4};
    uint32_t word;
    memcpy(&word, order, 4);
    Bytes bytes = Written([&](ChunkBuff* cb) {
        ChunkWriteS0("abc", cb);
        ChunkWriteS0("ab", cb);
        ChunkWriteS0("", cb);
        ChunkWriteVX(0xFEFF, cb);
        ChunkWriteVX(0xFF00, cb);
        ChunkWriteVX(0xFFFFFF, cb);
        EXPECT_EQ(ChunkWriteVX(0x1000000, cb), 0u);  // no encoding: nothing written
        EXPECT_EQ(cb->Flags, (uint32_t)LW_CHUNK_BAD_VALUE);
        ChunkWriteID(LwMakeId('S', 'U', 'R', 'F'), cb);
        ChunkWriteU2(u2, 2, cb);
        ChunkWriteVec12(vec, 1, cb);
        ChunkWriteWords(&word, 1, cb);
    });
    const Bytes expected = {
        'a',  'b',  'c',  0,    'a',  'b',  0,    0,    0,    0,           // S0 "abc", "ab" (padded), ""
        0xFE, 0xFF, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF,        // VX FEFF, FF00, FFFFFF
        'S',  'U',  'R',  'F',  1,    2,    0xFF, 0xFE,                    // ID, U2 x 2
        0x3F, 0x80, 0,    0,    0x3F, 0,    0,    0,    0xC0, 0,    0, 0,  // VEC12 1, 0.5, -2
        1,    2,    3,    4,                                               // a word as it lies
    };
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(
        (std::vector<uint32_t>{LwS0Size("abc"), LwS0Size("ab"), LwS0Size(""), LwVxSize(0xFEFF), LwVxSize(0xFF00)}),
        (std::vector<uint32_t>{4, 4, 2, 2, 4}));
    char text[5];
    EXPECT_STREQ(IdToText(LwMakeId('T', 'X', 'U', 'V'), text), "TXUV");
}

TEST(IffMemory, TextsAreBoundedBothWays) {
    // A text longer than its field is cut, and the cursor still moves past all of it.
    Bytes body = Written(
        [](ChunkBuff* cb) {
            ChunkWriteS0(std::string(300, 'x').c_str(), cb);
            ChunkWriteVX(5, cb);
        },
        400);
    char name[256];
    uint32_t vx = 0;
    ChunkBuff cb;
    OpenChunkBuff(&cb, body.data(), (uint32_t)body.size());
    EXPECT_EQ(ChunkReadS0(name, sizeof(name), &cb), 302u);
    EXPECT_EQ(strlen(name), 255u);
    ChunkReadVX(&vx, &cb);
    EXPECT_EQ(vx, 5u);
    // Without its NUL a text ends with the body.
    const char open[3] = {'a', 'b', 'c'};
    OpenChunkBuff(&cb, open, 3);
    EXPECT_EQ(ChunkReadS0(name, sizeof(name), &cb), 3u);
    EXPECT_STREQ(name, "abc");
    EXPECT_EQ(cb.Flags, (uint32_t)LW_CHUNK_OVERRUN);
    // A write that does not fit writes nothing.
    uint8_t small[3] = {9, 9, 9};
    OpenChunkBuff(&cb, small, 3);
    EXPECT_EQ(ChunkWriteS0("abc", &cb), 0u);
    EXPECT_EQ(ChunkWriteID(1, &cb), 0u);
    EXPECT_EQ(cb.Count, 0u);
    EXPECT_EQ(small[0], 9);
    EXPECT_EQ(ChunkSkip(5, &cb), 3u);
}

// ---- files --------------------------------------------------------------------------------------

struct FileBody {
    int chunks;
};

// A FORM of "TEST" with the given number of "TEXT" chunks holding one S0 and one VX each.
bool EmitForm(IffFile* f, void* context) {
    const FileBody* body = (const FileBody*)context;
    const uint32_t start = f->Count;
    IffWriteID(LwMakeId('F', 'O', 'R', 'M'), f);
    IffWriteID(start - 8, f);
    IffWriteID(LwMakeId('T', 'E', 'S', 'T'), f);
    for (int i = 0; i < body->chunks; ++i) {
        IffWriteID(LwMakeId('T', 'E', 'X', 'T'), f);
        IffWriteID(LwS0Size("ab") + LwVxSize(0xFF00), f);
        IffWriteS0("ab", f);
        IffWriteVX(0xFF00, f);
    }
    return f->Error == 0;
}

Bytes Contents(FILE* file) {
    Bytes all;
    rewind(file);
    int c;
    while ((c = fgetc(file)) != EOF) all.push_back((uint8_t)c);
    return all;
}

TEST(IffFile, TwoPassWriterGivesTheFormItsLength) {
    FILE* file = tmpfile();
    ASSERT_NE(file, nullptr);
    FileBody body{2};
    IffFile measure;
    OpenIffFile(&measure, file);
    EmitForm(&measure, &body);
    EXPECT_EQ(measure.Count, 12u + 2 * 16);
    EXPECT_TRUE(Contents(file).empty());  // measuring writes nothing

    ASSERT_TRUE(IffWriteTwoPasses(file, EmitForm, &body));
    Bytes bytes = Contents(file);
    const Bytes chunk = {'T', 'E', 'X', 'T', 0, 0, 0, 8, 'a', 'b', 0, 0, 0xFF, 0, 0xFF, 0};
    Bytes expected = {'F', 'O', 'R', 'M', 0, 0, 0, 36, 'T', 'E', 'S', 'T'};
    expected.insert(expected.end(), chunk.begin(), chunk.end());
    expected.insert(expected.end(), chunk.begin(), chunk.end());
    EXPECT_EQ(bytes, expected);

    fclose(file);
}

// Every read that meets the end of the stream fails at once: nothing loops or runs past its field.
TEST(IffFile, ReadsAtTheEndOfTheStream) {
    FILE* file = tmpfile();
    ASSERT_NE(file, nullptr);
    const uint8_t bytes[] = {0x12, 0x34, 0x56, 'a', 'b', 'c'};
    fwrite(bytes, 1, sizeof(bytes), file);
    IffFile f;
    auto at = [&](long offset) {
        fseek(file, offset, SEEK_SET);
        OpenIffFile(&f, file);
        return &f;
    };
    uint32_t u4[2] = {0xAAAAAAAA, 0xAAAAAAAA}, vx;
    uint16_t u2;
    char id[5], text[2], raw[4];
    EXPECT_EQ(IffReadU4(u4, 2, at(0)), 0u);
    EXPECT_EQ(memcmp(u4, bytes, 4), 0);  // left in file order
    EXPECT_EQ((std::vector<uint32_t>{IffReadU2(&u2, 1, at(5)), IffReadVX(&vx, at(5)), IffReadID4(id, at(3)),
                                     IffReadS0(text, sizeof(text), at(3))}),
              std::vector<uint32_t>(4, 0));
    EXPECT_STREQ(text, "a");
    EXPECT_EQ(f.Error, 1);
    EXPECT_EQ(IffReadBytes(raw, 4, at(4)), 2u);
    EXPECT_EQ(f.Error, 1);
    fclose(file);
}

TEST(IffFile, SkipSeeksForward) {
    FILE* file = tmpfile();
    ASSERT_NE(file, nullptr);
    fwrite("abcdef", 1, 6, file);
    rewind(file);
    IffFile f;
    OpenIffFile(&f, file);
    char two[3] = {};
    EXPECT_EQ(IffSkip(0, &f), 0u);
    EXPECT_EQ(IffSkip(2, &f), 2u);
    EXPECT_EQ(IffReadBytes(two, 2, &f), 2u);
    EXPECT_STREQ(two, "cd");
    EXPECT_EQ(f.Count, 4u);
    EXPECT_EQ(IffSkip(8, &f), 8u);  // past the end: the next read finds it
    EXPECT_EQ(f.Error, 0);
    EXPECT_EQ(IffReadBytes(two, 1, &f), 0u);
    EXPECT_EQ(f.Error, 1);
    fclose(file);
}

TEST(IffFile, AShortWriteStopsTheWriter) {
    FILE* file = fopen("/dev/full", "wb");
    if (!file) GTEST_SKIP() << "no /dev/full";
    setvbuf(file, nullptr, _IONBF, 0);
    IffFile f;
    OpenIffFile(&f, file);
    f.Mode = IFF_WRITE;
    EXPECT_EQ(IffWriteID(1, &f), 0u);
    EXPECT_EQ(f.Error, 1);
    EXPECT_EQ(f.Count, 0u);
    FileBody body{1};
    EXPECT_FALSE(IffWriteTwoPasses(file, EmitForm, &body));
    fclose(file);
    // A value with no VX encoding fails the same way.
    IffFile measure;
    OpenIffFile(&measure, nullptr);
    EXPECT_EQ(IffWriteVX(0x1000000, &measure), 0u);
    EXPECT_EQ(measure.Error, 1);
}

}  // namespace
