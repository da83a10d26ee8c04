#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>

#include <unistd.h>

#include "core/DataLoader.h"
#include "platform/System.h"
#include "tests/core/TestUtil.h"
#include "tools/ArchivePacker.h"

using namespace trivale;
using tvtest::ReadFile;
using tvtest::TempDir;
using tvtest::WriteFile;

namespace {

std::string Pattern(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 2654435761u + seed) >> 13);
    return s;
}

struct PackerRun {
    int code;
    std::string out, err;
};

PackerRun Packer(std::vector<std::string> args) {
    std::ostringstream out, err;
    int code = tools::RunPacker(args, out, err);
    return PackerRun{code, out.str(), err.str()};
}

std::string ReadStream(IStream* raw) {
    std::unique_ptr<IStream> s(raw);
    std::string out(s->GetSize(), '\0');
    if (!out.empty()) out.resize(s->Read(&out[0], static_cast<std::uint32_t>(out.size())));
    return out;
}

// A tree as a new user might hand it over: nested folders, mixed case, empty and large files.
std::map<std::string, std::string> MakeTree(const std::string& root) {
    std::map<std::string, std::string> files = {
        {"main.tvs", "; script\r\nmain:\r\n"},
        {"fonts/FONT08T2.png", Pattern(5000, 1)},
        {"Scenes/Winter Forest/objects/Tree_A.t3o", Pattern(65536 + 3, 3)},
        {"Scenes/empty.txt", ""},
        {"music/雪の歌.ogg", Pattern(3 * 1024 * 1024 + 17, 4)},
        {"a/b/c/d/e/deep.bin", Pattern(1, 5)},
        {".hiddenfile", "hidden files are data too"},
    };
    for (const auto& f : files) WriteFile(root + "/" + f.first, f.second);
    return files;
}

// Writes an archive of one entry whatever its name, as a foreign tool might.
void WriteForeignArchive(const std::string& path, const std::string& name, const std::string& source) {
    tools::PackItem item;
    item.name = name;
    item.path = source;
    item.size = ReadFile(source).size();
    std::string error;
    ASSERT_TRUE(tools::WriteArchive(path, {item}, error)) << error;
}

}  // namespace

TEST(PackerRoundTrip, PackReadListVerifyExtract) {
    TempDir dir;
    const auto files = MakeTree(dir / "data");
    WriteFile(dir / "data/.git/config", "not packed");
    PackerRun r = Packer({"pack", dir / "data", dir / "data.tva"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("skipping hidden directory"), std::string::npos);

    // Every file reads back byte for byte through both loaders, which list the same names.
    TArchiveFileDataLoader<CArchiveFileLoader> archive(dir / "data.tva");
    CFileSystemDataLoader plain(dir / "data/");
    std::vector<std::string> fromArchive, fromDisk;
    archive.Enumerate("", true, fromArchive);
    plain.Enumerate("", true, fromDisk);
    for (std::string& n : fromDisk) n = ToLowerCase(n);
    std::sort(fromArchive.begin(), fromArchive.end());
    std::sort(fromDisk.begin(), fromDisk.end());
    EXPECT_EQ(fromDisk.size(), files.size());
    EXPECT_EQ(fromArchive, fromDisk);
    for (const auto& f : files) {
        std::string name = f.first;
        std::replace(name.begin(), name.end(), '/', '\\');
        EXPECT_EQ(ReadStream(archive.Open(name)), f.second) << name;
        EXPECT_EQ(ReadStream(plain.Open(name)), f.second) << name;
    }

    PackerRun list = Packer({"list", dir / "data.tva"});
    EXPECT_EQ(list.code, 0);
    // size, offset, name; the hidden file of 25 bytes comes first
    EXPECT_NE(list.out.find("     65539         25  Scenes\\Winter Forest\\objects\\Tree_A.t3o\n"), std::string::npos)
        << list.out;
    EXPECT_NE(list.out.find(std::to_string(files.size()) + " entries"), std::string::npos);
    EXPECT_EQ(Packer({"verify", dir / "data.tva", dir / "data"}).code, 0);
    ASSERT_EQ(Packer({"extract", dir / "data.tva", dir / "out"}).code, 0);
    for (const auto& f : files) EXPECT_EQ(ReadFile(dir / ("out/" + f.first)), f.second) << f.first;

    WriteFile(dir / "data/main.tvs", "changed");
    WriteFile(dir / "data/new.txt", "n");
    PackerRun changed = Packer({"verify", dir / "data.tva", dir / "data"});
    EXPECT_EQ(changed.code, 1);
    EXPECT_NE(changed.err.find("differs: main.tvs"), std::string::npos);
    EXPECT_NE(changed.err.find("missing from the archive: new.txt"), std::string::npos);
}

// Regression: packing into the tree once packed the previous archive into the new one.
TEST(PackerRoundTrip, DefaultArchiveNameAndOwnOutputLeftOut) {
    TempDir dir;
    WriteFile(dir / "data/a.txt", "a");
    WriteFile(dir / "data/data.tva", "an older archive");
    const std::string cwd = plat::GetCurrentDirectory();
    ASSERT_EQ(chdir((dir / "data").c_str()), 0);
    PackerRun r = Packer({"pack", "."});
    ASSERT_EQ(chdir(cwd.c_str()), 0);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("it is the archive being written"), std::string::npos);
    CArchiveFileLoader a;
    a.Open(dir / "data/data.tva");
    ASSERT_EQ(a.GetEntryCount(), 1);
    EXPECT_EQ(a.GetEntry(0)->name, "a.txt");
    EXPECT_EQ(plat::GetPathKind(dir / "data/data.tva.part"), plat::PathKind::Missing);
}

TEST(PackerRefuses, TreesItCannotPack) {
    const struct {
        std::vector<std::string> files;
        std::string error;
    } cases[] = {
        {{"Fonts/a.png", "fonts/A.png"}, "differ only in letter case"},
        {{"a\\b.txt"}, "backslash"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        for (const std::string& f : c.files) WriteFile(dir / ("data/" + f), "x");
        PackerRun r = Packer({"pack", dir / "data", dir / "data.tva"});
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
        EXPECT_EQ(plat::GetPathKind(dir / "data.tva"), plat::PathKind::Missing);
    }
    TempDir dir;
    WriteFile(dir / "data/small.txt", "s");
    plat::File big;  // sparse: nothing of it is read, its size alone decides
    ASSERT_TRUE(big.Open(dir / "data/big.bin", plat::FileMode::CreateWrite));
    ASSERT_TRUE(big.Truncate(static_cast<std::int64_t>(tools::kMaxArchiveSize) - 40));
    PackerRun r = Packer({"pack", dir / "data", dir / "data.tva"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("32-bit offsets allow at most 2147483647"), std::string::npos) << r.err;
    EXPECT_EQ(plat::GetPathKind(dir / "data.tva"), plat::PathKind::Missing);
    EXPECT_EQ(plat::GetPathKind(dir / "data.tva.part"), plat::PathKind::Missing);
}

TEST(PackerRefuses, NamesTheEngineWouldNotRead) {
    std::string deep;
    for (int i = 0; i < 33; ++i) deep += "d\\";
    const struct {
        std::string name, error;
    } cases[] = {
        {"", "empty name"},
        {std::string("a\0b", 3), "NUL"},
        {std::string(1025, 'n'), "longer than 1024 bytes"},
        {deep + "f", "more than 32 folders deep"},
    };
    tools::PackItem item;
    item.path = "p";
    std::string error;
    for (const auto& c : cases) {
        item.name = c.name;
        EXPECT_FALSE(tools::CheckItems({item}, error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
    item.name = "ok";
    EXPECT_TRUE(tools::CheckItems({item}, error));
}

TEST(PackerRefuses, BadUsageAndMissingInput) {
    EXPECT_EQ(Packer({}).code, 2);
    EXPECT_EQ(Packer({"frobnicate"}).code, 2);
    EXPECT_EQ(Packer({"list"}).code, 2);
    EXPECT_EQ(Packer({"--help"}).code, 0);
    TempDir dir;
    EXPECT_EQ(Packer({"pack", dir / "none"}).code, 1);
    PackerRun missing = Packer({"list", dir / "none.tva"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("ファイルを開けませんでした"), std::string::npos);
}

TEST(PackerHostileArchives, VerifyAndListReportDamage) {
    TempDir dir;
    WriteFile(dir / "data/a.txt", Pattern(100, 9));
    ASSERT_EQ(Packer({"pack", dir / "data", dir / "data.tva"}).code, 0);
    const std::string bytes = ReadFile(dir / "data.tva");
    WriteFile(dir / "cut.tva", bytes.substr(0, bytes.size() - 1));
    PackerRun cut = Packer({"verify", dir / "cut.tva"});
    EXPECT_EQ(cut.code, 1);
    EXPECT_NE(cut.err.find("entry range"), std::string::npos) << cut.err;
    std::string flipped = bytes;
    flipped[40] ^= 0x20;
    WriteFile(dir / "crc.tva", flipped);
    EXPECT_NE(Packer({"list", dir / "crc.tva"}).err.find("entry CRC"), std::string::npos);
    // A name the engine's loader refuses does not pass as "ok".
    std::string deep;
    for (int i = 0; i < 33; ++i) deep += "d\\";
    WriteForeignArchive(dir / "deep.tva", deep + "f", dir / "data/a.txt");
    PackerRun refused = Packer({"verify", dir / "deep.tva"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("entry name"), std::string::npos) << refused.err;
}

TEST(PackerHostileArchives, ExtractStaysInsideItsDirectory) {
    TempDir dir;
    WriteFile(dir / "src.bin", "evil");
    for (const std::string name : {"..\\escape.txt", "\\rooted.txt", "a\\..\\..\\up.txt", "a\\\\b", "dir/../x"}) {
        WriteForeignArchive(dir / "evil.tva", name, dir / "src.bin");
        PackerRun r = Packer({"extract", dir / "evil.tva", dir / "out/inner"});
        EXPECT_EQ(r.code, 1) << name;
        EXPECT_NE(r.err.find("refusing entry name"), std::string::npos);
    }
    EXPECT_EQ(plat::GetPathKind(dir / "out"), plat::PathKind::Missing);
    EXPECT_EQ(plat::GetPathKind(dir / "escape.txt"), plat::PathKind::Missing);
}
