#include <gtest/gtest.h>

#include <memory>

#include "ArchiveBytes.h"
#include "core/ArchiveFileLoader.h"
#include "core/Exception.h"

using namespace trivale;
using namespace tvtest;

namespace {

std::string ReadEntry(CArchiveFileLoader& a, const std::string& name) {
    std::unique_ptr<IStream> s(a.OpenEntry(name));
    std::string out(s->GetSize(), '\0');
    std::uint32_t got = out.empty() ? 0 : s->Read(&out[0], static_cast<std::uint32_t>(out.size()));
    out.resize(got);
    char extra;
    EXPECT_EQ(s->Read(&extra, 1), 0u);
    return out;
}

// Opens the bytes as an archive and returns the message of the format error, or "" when it opens.
std::string OpenError(const std::string& bytes, std::string* origin = nullptr) {
    TempDir dir;
    WriteFile(dir / "data.tva", bytes);
    CArchiveFileLoader a;
    try {
        a.Open(dir / "data.tva");
    } catch (const EInvalidFileFormat& e) {
        if (origin) *origin = e.GetOrigin();
        return e.GetMessage();
    }
    return std::string();
}

const char* const kHeaderError = "ファイルヘッダエラー";
const char* const kTableError = "フォーマットヘッダエラー";
const char* const kCrcError = "データエラー(entry CRC). データが壊れています.";
const char* const kRangeError = "データエラー(entry range). データが壊れています.";

}  // namespace

TEST(ArchiveFormat, KnownRecordCrc) {
    RecordFields r;
    r.name = "a";
    r.size = 1;
    EXPECT_EQ(RecordCrc(r), 0xA609219Fu);
    EXPECT_EQ(Record(r).substr(Record(r).size() - 4), Bytes({0x9F, 0x21, 0x09, 0xA6}));
}

TEST(ArchiveReader, ReadsEntriesByNameInAnyCase) {
    TempDir dir;
    WriteFile(dir / "data.tva", Archive({{"a.txt", "alpha"}, {"Sub\\Deep\\B.txt", "bravo!"}, {"empty", ""}}));
    CArchiveFileLoader a;
    a.Open(dir / "data.tva");
    ASSERT_EQ(a.GetEntryCount(), 3);
    EXPECT_EQ(a.GetEntry(1)->name, "Sub\\Deep\\B.txt");
    EXPECT_EQ(a.GetEntry(1)->offset, 5u);
    EXPECT_EQ(a.GetDataStart(), 37u + (24 + 5) + (24 + 14) + (24 + 5));
    EXPECT_EQ(ReadEntry(a, "a.txt"), "alpha");
    EXPECT_EQ(ReadEntry(a, "SUB\\deep\\b.TXT"), "bravo!");
    EXPECT_EQ(ReadEntry(a, "empty"), "");
    EXPECT_THROW(a.GetEntry(3), EInvalidParameter);
    EXPECT_THROW(a.GetEntry(-1), EInvalidParameter);
}

TEST(ArchiveReader, MissingEntryNamesItAsAsked) {
    TempDir dir;
    WriteFile(dir / "data.tva", Archive({{"a.txt", "alpha"}}));
    CArchiveFileLoader a;
    a.Open(dir / "data.tva");
    try {
        a.OpenEntry("Fonts\\None.png");
        FAIL();
    } catch (const EFileOpenError& e) {
        EXPECT_EQ(e.GetMessage(), "ファイルエントリが見つかりませんでした: \"Fonts\\None.png\"");
        EXPECT_EQ(e.GetOrigin(), "trivale::CArchiveFileLoader");
    }
}

TEST(ArchiveReader, LaterOfTwoEqualNamesWins) {
    TempDir dir;
    WriteFile(dir / "data.tva", Archive({{"Same.txt", "first"}, {"same.TXT", "second"}}));
    CArchiveFileLoader a;
    a.Open(dir / "data.tva");
    EXPECT_EQ(ReadEntry(a, "same.txt"), "second");
}

TEST(ArchiveReader, EntriesMayShareAndSkipBytes) {
    RecordFields x, y;
    x.name = "x";
    x.offset = 2;
    x.size = 3;
    y.name = "y";
    y.offset = 0;
    y.size = 4;
    TempDir dir;
    WriteFile(dir / "data.tva", ArchiveHead(2) + Record(x) + Record(y) + "abcdef");
    CArchiveFileLoader a;
    a.Open(dir / "data.tva");
    EXPECT_EQ(ReadEntry(a, "x"), "cde");
    EXPECT_EQ(ReadEntry(a, "y"), "abcd");
}

TEST(ArchiveReader, ZeroOrNegativeCountMeansNoEntries) {
    for (std::int32_t count : {0, -1, INT32_MIN}) {
        TempDir dir;
        WriteFile(dir / "data.tva", ArchiveHead(count) + "trailing");
        CArchiveFileLoader a;
        a.Open(dir / "data.tva");
        EXPECT_EQ(a.GetEntryCount(), 0);
        EXPECT_THROW(a.OpenEntry("x"), EFileOpenError);
    }
}

TEST(ArchiveReader, OpenAgainStartsFromEmptyLists) {
    TempDir dir;
    WriteFile(dir / "one.tva", Archive({{"a", "1"}}));
    WriteFile(dir / "two.tva", Archive({{"b", "22"}}));
    CArchiveFileLoader a;
    a.Open(dir / "one.tva");
    a.Open(dir / "two.tva");
    EXPECT_EQ(a.GetEntryCount(), 1);
    EXPECT_THROW(a.OpenEntry("a"), EFileOpenError);
    EXPECT_EQ(ReadEntry(a, "b"), "22");
}

TEST(ArchiveReader, EntryStreamsAreWindows) {
    TempDir dir;
    WriteFile(dir / "data.tva", Archive({{"a", "0123456789"}, {"b", "XYZ"}}));
    CArchiveFileLoader a;
    a.Open(dir / "data.tva");
    std::unique_ptr<IStream> s(a.OpenEntry("a"));
    EXPECT_EQ(s->Seek(-3), 0u);
    s->Seek(8);
    char buf[8];
    EXPECT_EQ(s->Read(buf, 8), 2u);  // never reaches entry b's bytes
    EXPECT_EQ(std::string(buf, 2), "89");
    EXPECT_THROW(s->Write("x", 1), EWriteError);
}

// ---- Damaged and hostile archives: each gives its format error and nothing else -------------------

TEST(ArchiveHostile, MissingFileIsAnOpenError) {
    TempDir dir;
    CArchiveFileLoader a;
    EXPECT_THROW(a.Open(dir / "none.tva"), EFileOpenError);
}

TEST(ArchiveHostile, BadOrShortHeader) {
    std::string origin;
    EXPECT_EQ(OpenError("", &origin), kHeaderError);
    EXPECT_EQ(origin, "trivale::CArchiveFileLoader");
    EXPECT_EQ(OpenError("TrivaleArchiv"), kHeaderError);
    EXPECT_EQ(OpenError("trivaleArchiveTrivaleArchiveEntry" + LE32(0)), kHeaderError);
}

TEST(ArchiveHostile, MissingTableMagic) {
    std::string origin;
    EXPECT_EQ(OpenError("TrivaleArchive", &origin), kTableError);
    EXPECT_EQ(origin, "trivale::CArchiveFileEntries");
    EXPECT_EQ(OpenError("TrivaleArchiveTrivaleArchiveEntrX" + LE32(0)), kTableError);
}

TEST(ArchiveHostile, EveryChangedTableByteFailsTheCrc) {
    const std::string good = Archive({{"dir\\file.bin", "payload"}});
    const std::size_t recordStart = 37, nameStart = recordStart + 4;
    const std::size_t fieldsEnd = nameStart + 12 + 16;  // name and the four covered fields
    for (std::size_t i = nameStart; i < fieldsEnd; ++i) {
        std::string bad = good;
        bad[i] = static_cast<char>(bad[i] ^ 0x01);
        std::string origin;
        std::string err = OpenError(bad, &origin);
        EXPECT_EQ(err, kCrcError) << "byte " << i;
        EXPECT_EQ(origin, "trivale::CArchiveFileEntryHeader");
    }
    // A changed data byte is not covered.
    std::string data = good;
    data[data.size() - 1] = 'X';
    EXPECT_EQ(OpenError(data), "");
}

TEST(ArchiveHostile, NameLengthsBeyondTheFile) {
    for (std::uint32_t length : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 1000u}) {
        std::string bytes = ArchiveHead(1) + LE32(length) + "abc";
        EXPECT_EQ(OpenError(bytes), kCrcError) << length;
    }
}

TEST(ArchiveHostile, CountLargerThanTheTable) {
    // One good record, then the table ends: the next record reads as zeros and fails its CRC.
    RecordFields r;
    r.name = "a";
    r.size = 1;
    EXPECT_EQ(OpenError(ArchiveHead(0x7FFFFFFF) + Record(r) + "z"), kCrcError);
    EXPECT_EQ(OpenError(ArchiveHead(2) + Record(r)), kCrcError);
}

TEST(ArchiveHostile, TruncatedTable) {
    const std::string good = Archive({{"a.txt", "alpha"}, {"b.txt", "bravo"}});
    for (std::size_t cut = 37; cut < 37 + 29 + 29; cut += 3)
        EXPECT_EQ(OpenError(good.substr(0, cut)), kCrcError) << cut;
}

TEST(ArchiveHostile, TruncatedDataAreaIsAFormatError) {
    const std::string good = Archive({{"a.txt", "alpha"}, {"b.txt", "bravo"}});
    std::string origin;
    EXPECT_EQ(OpenError(good.substr(0, good.size() - 1), &origin), kRangeError);
    EXPECT_EQ(origin, "trivale::CArchiveFileLoader");
    EXPECT_EQ(OpenError(good), "");
}

TEST(ArchiveHostile, OffsetsThatWouldWrapInThirtyTwoBits) {
    for (std::uint32_t offset : {0xFFFFFFFFu, 0xFFFFFFF0u, 0x80000000u}) {
        RecordFields r;
        r.name = "wrap";
        r.offset = offset;
        r.size = 0x20;
        EXPECT_EQ(OpenError(ArchiveHead(1) + Record(r) + std::string(64, 'd')), kRangeError) << offset;
    }
    RecordFields big;
    big.name = "huge";
    big.size = 0xFFFFFFFFu;
    EXPECT_EQ(OpenError(ArchiveHead(1) + Record(big) + "tiny"), kRangeError);
}

TEST(ArchiveHostile, FileCutAfterOpenGivesAFormatErrorNotShortData) {
    TempDir dir;
    const std::string good = Archive({{"a.txt", "alpha"}, {"b.txt", "bravo"}});
    WriteFile(dir / "data.tva", good);
    CArchiveFileLoader a;
    a.Open(dir / "data.tva");
    WriteFile(dir / "data.tva", good.substr(0, good.size() - 2));
    EXPECT_EQ(ReadEntry(a, "a.txt"), "alpha");
    try {
        a.OpenEntry("b.txt");
        FAIL();
    } catch (const EInvalidFileFormat& e) {
        EXPECT_EQ(e.GetMessage(), kRangeError);
    }
}

TEST(ArchiveHostile, FailedOpenLeavesNoIndex) {
    TempDir dir;
    WriteFile(dir / "good.tva", Archive({{"a", "1"}}));
    const std::string good2 = Archive({{"b", "2"}, {"c", "3"}});
    std::string bad = good2;
    bad[37 + 4 + 24 + 4] ^= 1;  // second record's name
    WriteFile(dir / "bad.tva", bad);
    CArchiveFileLoader a;
    a.Open(dir / "good.tva");
    EXPECT_THROW(a.Open(dir / "bad.tva"), EInvalidFileFormat);
    EXPECT_EQ(a.GetEntryCount(), 1);  // the records read before the failure
    EXPECT_THROW(a.OpenEntry("b"), EFileOpenError);
    EXPECT_THROW(a.OpenEntry("a"), EFileOpenError);
}

TEST(ArchiveHostile, NameWithNulFailsTheCrc) {
    RecordFields r;
    r.name = std::string("a\0b", 3);
    r.size = 1;
    EXPECT_EQ(OpenError(ArchiveHead(1) + Record(r) + "z"), kCrcError);
}
