#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

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

// "message @origin" of the format error that opening the bytes as an archive, then each of its entries,
// gives, or "" (the archive's path reads "data.tva").
std::string OpenError(const std::string& bytes) {
    TempDir dir;
    WriteFile(dir / "data.tva", bytes);
    CArchiveFileLoader a;
    std::string error = Thrown<EInvalidFileFormat>([&] {
        a.Open(dir / "data.tva");
        for (int i = 0; i < a.GetEntryCount(); ++i) a.OpenEntry(a.GetEntry(i)->name);
    });
    const std::string path = dir / "data.tva";
    if (error.find(path) != std::string::npos) error.replace(error.find(path), path.size(), "data.tva");
    return error == "nothing thrown" ? "" : error;
}

// Read system calls this process has made so far (the kernel's count, which no caching hides).
std::uint64_t ReadCalls() {
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "syscr:") return value;
    return 0;
}

}  // namespace

// The header and the index are read in large pieces, as a plain reader reads, not a field at a time;
// what is read is the same: records that cross from one piece into the next, the entries after the
// index, and an index cut inside any piece.
TEST(ArchiveReader, ReadsItsIndexInFewReadsAndTheSameRecords) {
    std::vector<std::pair<std::string, std::string>> files;
    std::size_t table = 37;
    for (int i = 0; table < 3 * CArchiveFileLoader::kTableReadSize + 1000; ++i) {
        files.push_back(
            {"scenes\\part" + std::to_string(i) + std::string(static_cast<std::size_t>(i % 29), 'x') + ".t3o",
             "entry " + std::to_string(i)});
        table += 24 + files.back().first.size();
    }
    const std::string whole = Archive(files);
    TempDir dir;
    WriteFile(dir / "data.tva", whole);
    CArchiveFileLoader a;
    const std::uint64_t own = ReadCalls();
    const std::uint64_t before = ReadCalls();  // the count's own reads of /proc, once
    a.Open(dir / "data.tva");
    const std::uint64_t calls = ReadCalls() - before - (before - own);
    EXPECT_LE(calls, table / CArchiveFileLoader::kTableReadSize + 1) << files.size() << " records";
    ASSERT_EQ(a.GetEntryCount(), static_cast<int>(files.size()));
    EXPECT_EQ(a.GetDataStart(), table);
    for (std::size_t i = 0; i < files.size(); ++i) {
        ASSERT_EQ(a.GetEntry(static_cast<int>(i))->name, files[i].first);
        EXPECT_EQ(ReadEntry(a, files[i].first), files[i].second);
    }
    // Cut at each piece's end and around it: the records before the cut are read, the cut one is
    // damage.
    for (std::size_t piece = 1; piece <= 3; ++piece)
        for (std::size_t cut = piece * CArchiveFileLoader::kTableReadSize - 30;
             cut <= piece * CArchiveFileLoader::kTableReadSize + 30; cut += 6) {
            WriteFile(dir / "data.tva", whole.substr(0, cut));
            EXPECT_THROW(a.Open(dir / "data.tva"), EInvalidFileFormat) << cut;
            std::size_t complete = 0, at = 37;
            while (complete < files.size() && at + 24 + files[complete].first.size() <= cut)
                at += 24 + files[complete++].first.size();
            EXPECT_EQ(a.GetEntryCount(), static_cast<int>(complete)) << cut;
        }
}

TEST(ArchiveReader, ReadsEntriesByNameInAnyCase) {
    const std::string record = Record("a", 0, 1);
    EXPECT_EQ(record.substr(record.size() - 4), "\x9F\x21\x09\xA6");  // the known CRC 0xA609219F
    TempDir dir;
    WriteFile(dir / "data.tva", Archive({{"a.txt", "alpha"},
                                         {"Sub\\Deep\\B.txt", "bravo!"},
                                         {"empty", ""},
                                         {"Same.txt", "first"},
                                         {"same.TXT", "second"}}));
    CArchiveFileLoader a;
    a.Open(dir / "data.tva");
    ASSERT_EQ(a.GetEntryCount(), 5);
    EXPECT_EQ(ReadEntry(a, "SUB\\deep\\b.TXT"), "bravo!");
    EXPECT_EQ(ReadEntry(a, "empty"), "");
    EXPECT_EQ(ReadEntry(a, "same.txt"), "second");  // of two equal names the later wins
    EXPECT_THROW(a.GetEntry(5), EInvalidParameter);
    EXPECT_EQ(Thrown<EFileOpenError>([&] { a.OpenEntry("Fonts\\None.png"); }),
              "ファイルエントリが見つかりませんでした: \"Fonts\\None.png\" @trivale::CArchiveFileLoader");

    // Entries are windows that may share and skip bytes.
    WriteFile(dir / "data.tva", ArchiveHead(2) + Record("x", 2, 3) + Record("y", 0, 4) + "abcdef");
    a.Open(dir / "data.tva");
    EXPECT_EQ(ReadEntry(a, "y"), "abcd");
    std::unique_ptr<IStream> x(a.OpenEntry("x"));
    x->Seek(-3);
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
}

// Each damaged or hostile archive gives its format error and nothing else.
TEST(ArchiveHostile, DamagedArchivesAreFormatErrors) {
    const std::string header = "ファイルヘッダエラー \"data.tva\" @trivale::CArchiveFileLoader";
    const std::string table = "フォーマットヘッダエラー \"data.tva\" @trivale::CArchiveFileEntries";
    const std::string count =
        "データエラー(entry count). データが壊れています. \"data.tva\" @trivale::CArchiveFileEntries";
    const std::string crc =
        "データエラー(entry CRC). データが壊れています. \"data.tva\" @trivale::CArchiveFileEntryHeader";
    // An entry past the end of the file is refused when it is opened, naming the file and the entry.
    const auto range = [](const char* name) {
        return "データエラー(entry range). データが壊れています. \"data.tva\": \"" + std::string(name) +
               "\" @trivale::CArchiveFileLoader";
    };
    const std::string magics = "TrivaleArchiveTrivaleArchiveEntry";
    const std::string two = Archive({{"a.txt", "alpha"}, {"b.txt", "bravo"}});
    std::vector<std::pair<std::string, std::string>> cases = {
        {"", header},
        {"trivaleArchiveTrivaleArchiveEntry" + LE32(0), header},
        {"TrivaleArchive", table},
        {"TrivaleArchiveTrivaleArchiveEntrX" + LE32(0), table},
        {magics, count},                        // regression: once read as an empty archive
        {ArchiveHead(-1) + "trailing", count},  // regression: once read as an empty archive
        {ArchiveHead(INT32_MIN), count},
        {ArchiveHead(0x7FFFFFFF) + Record("a", 0, 1) + "z", crc},  // count larger than the table
        {ArchiveHead(2) + Record("a", 0, 1), crc},
        {ArchiveHead(1) + Record(std::string("a\0b", 3), 0, 1) + "z", crc},  // a NUL cuts the name
        {two.substr(0, two.size() - 1), range("b.txt")},
        {ArchiveHead(1) + Record("huge", 0, 0xFFFFFFFFu) + "tiny", range("huge")},
        {two.substr(0, two.size() - 1) + "X", ""},  // data bytes are not covered
        {ArchiveHead(0) + "trailing", ""},
    };
    for (std::uint32_t length : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 1000u})  // names beyond the file
        cases.push_back({ArchiveHead(1) + LE32(length) + "abc", crc});
    for (std::size_t cut = 37; cut < 37 + 29 + 29; cut += 3) cases.push_back({two.substr(0, cut), crc});
    for (std::size_t i = 37 + 4; i < 37 + 4 + 5 + 16; ++i) {  // every byte of the name and covered fields
        std::string bad = two;
        bad[i] = static_cast<char>(bad[i] ^ 0x01);
        cases.push_back({bad, crc});
    }
    for (std::uint32_t offset : {0xFFFFFFFFu, 0xFFFFFFF0u, 0x80000000u})  // would wrap in 32 bits
        cases.push_back({ArchiveHead(1) + Record("wrap", offset, 0x20) + std::string(64, 'd'), range("wrap")});
    for (const auto& c : cases) EXPECT_EQ(OpenError(c.first), c.second) << c.first.size() << " bytes";
}

// Only the entries that lie past the end are refused, also when the file is cut after it was opened.
TEST(ArchiveHostile, ACutFileRefusesOnlyTheEntriesItLost) {
    TempDir dir;
    const std::string good = Archive({{"a.txt", "alpha"}, {"b.txt", "bravo"}});
    for (bool cutFirst : {true, false}) {
        WriteFile(dir / "data.tva", cutFirst ? good.substr(0, good.size() - 2) : good);
        CArchiveFileLoader a;
        a.Open(dir / "data.tva");
        WriteFile(dir / "data.tva", good.substr(0, good.size() - 2));
        EXPECT_EQ(ReadEntry(a, "a.txt"), "alpha");
        EXPECT_THROW(a.OpenEntry("b.txt"), EInvalidFileFormat);
    }
}

// However it was cut, in its header, its entry table or its data, the report names the archive.
TEST(ArchiveHostile, EveryReportOfACutArchiveNamesIt) {
    std::vector<std::pair<std::string, std::string>> items;
    for (int i = 0; i < 40; ++i) items.push_back({"scenes\\entry" + std::to_string(i) + ".dds", std::string(64, 'x')});
    const std::string whole = Archive(items);
    ASSERT_GT(whole.size(), 2000u);
    TempDir dir;
    for (std::size_t cut : {std::size_t{0}, std::size_t{10}, std::size_t{20}, std::size_t{36}, std::size_t{100},
                            std::size_t{1000}, whole.size() - 100}) {
        WriteFile(dir / "data.tva", whole.substr(0, cut));
        CArchiveFileLoader a;
        std::string error;
        try {
            a.Open(dir / "data.tva");
            for (int i = 0; i < a.GetEntryCount(); ++i) a.OpenEntry(a.GetEntry(i)->name);
        } catch (const EException& e) {
            error = e.GetMessage();
        }
        EXPECT_NE(error.find("\"" + (dir / "data.tva") + "\""), std::string::npos) << cut << ": " << error;
    }
}
