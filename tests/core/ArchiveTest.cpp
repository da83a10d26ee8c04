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
    std::string out(s->GetSize() + 1, '\0');
    out.resize(s->Read(&out[0], static_cast<std::uint32_t>(out.size())));
    return out;
}

// Opens the bytes as an archive: the message of the format error (its origin into *origin), or "".
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

RecordFields Fields(const std::string& name, std::uint32_t offset, std::uint32_t size) {
    RecordFields r;
    r.name = name;
    r.offset = offset;
    r.size = size;
    return r;
}

}  // namespace

TEST(ArchiveReader, KnownRecordCrc) {
    const std::string record = Record(Fields("a", 0, 1));
    EXPECT_EQ(record.substr(record.size() - 4), "\x9F\x21\x09\xA6");  // 0xA609219F
}

TEST(ArchiveReader, ReadsEntriesByNameInAnyCase) {
    TempDir dir;
    WriteFile(dir / "data.tva", Archive({{"a.txt", "alpha"},
                                         {"Sub\\Deep\\B.txt", "bravo!"},
                                         {"empty", ""},
                                         {"Same.txt", "first"},
                                         {"same.TXT", "second"}}));
    CArchiveFileLoader a;
    a.Open(dir / "data.tva");
    ASSERT_EQ(a.GetEntryCount(), 5);
    EXPECT_EQ(a.GetEntry(1)->name, "Sub\\Deep\\B.txt");
    EXPECT_EQ(a.GetEntry(1)->offset, 5u);
    EXPECT_EQ(ReadEntry(a, "SUB\\deep\\b.TXT"), "bravo!");
    EXPECT_EQ(ReadEntry(a, "empty"), "");
    EXPECT_EQ(ReadEntry(a, "same.txt"), "second");  // of two equal names the later wins
    EXPECT_THROW(a.GetEntry(5), EInvalidParameter);
    EXPECT_EQ(Thrown<EFileOpenError>([&] { a.OpenEntry("Fonts\\None.png"); }),
              "ファイルエントリが見つかりませんでした: \"Fonts\\None.png\" @trivale::CArchiveFileLoader");
}

TEST(ArchiveReader, EntriesAreWindowsThatMayShareAndSkipBytes) {
    TempDir dir;
    WriteFile(dir / "data.tva", ArchiveHead(2) + Record(Fields("x", 2, 3)) + Record(Fields("y", 0, 4)) + "abcdef");
    CArchiveFileLoader a;
    a.Open(dir / "data.tva");
    EXPECT_EQ(ReadEntry(a, "y"), "abcd");
    std::unique_ptr<IStream> x(a.OpenEntry("x"));
    EXPECT_EQ(x->Seek(-3), 0u);
    char buf[8];
    EXPECT_EQ(x->Read(buf, 8), 3u);  // never reaches the bytes after it
    EXPECT_EQ(std::string(buf, 3), "cde");
    EXPECT_THROW(x->Write("x", 1), EWriteError);
}

TEST(ArchiveReader, OpenAgainStartsFromEmptyListsAndAFailedOpenLeavesNoIndex) {
    TempDir dir;
    WriteFile(dir / "one.tva", Archive({{"a", "1"}}));
    WriteFile(dir / "two.tva", Archive({{"b", "22"}}));
    std::string bad = Archive({{"c", "3"}, {"d", "4"}});
    bad[37 + 25 + 4] ^= 1;  // the second record's name
    WriteFile(dir / "bad.tva", bad);
    CArchiveFileLoader a;
    a.Open(dir / "one.tva");
    a.Open(dir / "two.tva");
    EXPECT_EQ(a.GetEntryCount(), 1);
    EXPECT_THROW(a.OpenEntry("a"), EFileOpenError);
    EXPECT_EQ(ReadEntry(a, "b"), "22");
    EXPECT_THROW(a.Open(dir / "bad.tva"), EInvalidFileFormat);
    EXPECT_EQ(a.GetEntryCount(), 1);  // the records read before the failure
    EXPECT_THROW(a.OpenEntry("b"), EFileOpenError);
    EXPECT_THROW(a.OpenEntry("c"), EFileOpenError);
    EXPECT_THROW(a.Open(dir / "none.tva"), EFileOpenError);
    for (std::int32_t count : {0, -1, INT32_MIN}) {  // no entries
        WriteFile(dir / "empty.tva", ArchiveHead(count) + "trailing");
        a.Open(dir / "empty.tva");
        EXPECT_EQ(a.GetEntryCount(), 0);
        EXPECT_THROW(a.OpenEntry("b"), EFileOpenError);
    }
}

// ---- Damaged and hostile archives: each gives its format error and nothing else -------------------

TEST(ArchiveHostile, BadHeaders) {
    const struct {
        std::string bytes, error, origin;
    } cases[] = {
        {"", kHeaderError, "trivale::CArchiveFileLoader"},
        {"TrivaleArchiv", kHeaderError, "trivale::CArchiveFileLoader"},
        {"trivaleArchiveTrivaleArchiveEntry" + LE32(0), kHeaderError, "trivale::CArchiveFileLoader"},
        {"TrivaleArchive", kTableError, "trivale::CArchiveFileEntries"},
        {"TrivaleArchiveTrivaleArchiveEntrX" + LE32(0), kTableError, "trivale::CArchiveFileEntries"},
    };
    for (const auto& c : cases) {
        std::string origin;
        EXPECT_EQ(OpenError(c.bytes, &origin), c.error) << c.bytes;
        EXPECT_EQ(origin, c.origin) << c.bytes;
    }
}

TEST(ArchiveHostile, EveryChangedTableByteFailsTheCrc) {
    const std::string good = Archive({{"dir\\file.bin", "payload"}});
    for (std::size_t i = 37 + 4; i < 37 + 4 + 12 + 16; ++i) {  // the name and the four covered fields
        std::string bad = good;
        bad[i] = static_cast<char>(bad[i] ^ 0x01);
        std::string origin;
        EXPECT_EQ(OpenError(bad, &origin), kCrcError) << "byte " << i;
        EXPECT_EQ(origin, "trivale::CArchiveFileEntryHeader");
    }
    std::string data = good;
    data[data.size() - 1] = 'X';  // data bytes are not covered
    EXPECT_EQ(OpenError(data), "");
}

TEST(ArchiveHostile, TablesThatDoNotHoldWhatTheySay) {
    const RecordFields one = Fields("a", 0, 1);
    const std::string two = Archive({{"a.txt", "alpha"}, {"b.txt", "bravo"}});
    std::vector<std::string> cases = {
        ArchiveHead(0x7FFFFFFF) + Record(one) + "z",  // count larger than the table
        ArchiveHead(2) + Record(one),
        ArchiveHead(1) + Record(Fields(std::string("a\0b", 3), 0, 1)) + "z",  // a NUL cuts the name
    };
    for (std::uint32_t length : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 1000u})  // names beyond the file
        cases.push_back(ArchiveHead(1) + LE32(length) + "abc");
    for (std::size_t cut = 37; cut < 37 + 29 + 29; cut += 3) cases.push_back(two.substr(0, cut));
    for (const std::string& bytes : cases) EXPECT_EQ(OpenError(bytes), kCrcError) << bytes.size();
}

TEST(ArchiveHostile, EntriesOutsideTheFileAreFormatErrors) {
    const std::string good = Archive({{"a.txt", "alpha"}, {"b.txt", "bravo"}});
    std::string origin;
    EXPECT_EQ(OpenError(good.substr(0, good.size() - 1), &origin), kRangeError);
    EXPECT_EQ(origin, "trivale::CArchiveFileLoader");
    for (std::uint32_t offset : {0xFFFFFFFFu, 0xFFFFFFF0u, 0x80000000u})  // would wrap in 32 bits
        EXPECT_EQ(OpenError(ArchiveHead(1) + Record(Fields("wrap", offset, 0x20)) + std::string(64, 'd')), kRangeError);
    EXPECT_EQ(OpenError(ArchiveHead(1) + Record(Fields("huge", 0, 0xFFFFFFFFu)) + "tiny"), kRangeError);
}

TEST(ArchiveHostile, FileCutAfterOpenGivesAFormatErrorNotShortData) {
    TempDir dir;
    const std::string good = Archive({{"a.txt", "alpha"}, {"b.txt", "bravo"}});
    WriteFile(dir / "data.tva", good);
    CArchiveFileLoader a;
    a.Open(dir / "data.tva");
    WriteFile(dir / "data.tva", good.substr(0, good.size() - 2));
    EXPECT_EQ(ReadEntry(a, "a.txt"), "alpha");
    EXPECT_THROW(a.OpenEntry("b.txt"), EInvalidFileFormat);
}
