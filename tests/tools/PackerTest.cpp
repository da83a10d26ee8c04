#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>

#include <unistd.h>

#include "core/DataLoader.h"
#include "core/Exception.h"
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
    std::uint32_t x = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = static_cast<char>(x);
    }
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
        {"fonts/Font16T2.PNG", Pattern(7001, 2)},
        {"Scenes/Winter Forest/Forest.lws", "LWSC\n3\n"},
        {"Scenes/Winter Forest/objects/Tree_A.t3o", Pattern(65536 + 3, 3)},
        {"Scenes/empty.txt", ""},
        {"music/雪の歌.ogg", Pattern(3 * 1024 * 1024 + 17, 4)},
        {"a/b/c/d/e/deep.bin", Pattern(1, 5)},
        {".hiddenfile", "hidden files are data too"},
    };
    for (const auto& f : files) WriteFile(root + "/" + f.first, f.second);
    return files;
}

std::string ResourceName(const std::string& relative) {
    std::string s = relative;
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

}  // namespace

TEST(PackerRoundTrip, EveryFileReadsBackThroughBothLoaders) {
    TempDir dir;
    const auto files = MakeTree(dir / "data");
    WriteFile(dir / "data/.git/config", "not packed");
    PackerRun r = Packer({"pack", dir / "data", dir / "data.tva"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("skipping hidden directory"), std::string::npos);

    TArchiveFileDataLoader<CArchiveFileLoader> archive(dir / "data.tva");
    CFileSystemDataLoader plain(dir / "data/");
    std::vector<std::string> fromArchive, fromDisk;
    archive.Enumerate("", true, fromArchive);
    plain.Enumerate("", true, fromDisk);
    ASSERT_EQ(fromDisk.size(), files.size());
    std::vector<std::string> lowered;
    for (const std::string& n : fromDisk) lowered.push_back(ToLowerCase(n));
    std::sort(lowered.begin(), lowered.end());
    std::sort(fromArchive.begin(), fromArchive.end());
    EXPECT_EQ(fromArchive, lowered);

    for (const auto& f : files) {
        const std::string name = ResourceName(f.first);
        EXPECT_EQ(ReadStream(archive.Open(name)), f.second) << name;
        EXPECT_EQ(ReadStream(plain.Open(name)), f.second) << name;
        EXPECT_EQ(ReadStream(archive.Open(ToLowerCase(name))), f.second) << name;
    }
}

TEST(PackerRoundTrip, ListVerifyAndExtract) {
    TempDir dir;
    const auto files = MakeTree(dir / "data");
    ASSERT_EQ(Packer({"pack", dir / "data", dir / "data.tva"}).code, 0);

    PackerRun list = Packer({"list", dir / "data.tva"});
    EXPECT_EQ(list.code, 0);
    EXPECT_NE(list.out.find("Scenes\\Winter Forest\\Forest.lws"), std::string::npos);
    EXPECT_NE(list.out.find(std::to_string(files.size()) + " entries"), std::string::npos);

    PackerRun verify = Packer({"verify", dir / "data.tva", dir / "data"});
    EXPECT_EQ(verify.code, 0) << verify.err;

    ASSERT_EQ(Packer({"extract", dir / "data.tva", dir / "out"}).code, 0);
    for (const auto& f : files) EXPECT_EQ(ReadFile(dir / ("out/" + f.first)), f.second) << f.first;

    WriteFile(dir / "data/main.tvs", "changed");
    PackerRun changed = Packer({"verify", dir / "data.tva", dir / "data"});
    EXPECT_EQ(changed.code, 1);
    EXPECT_NE(changed.err.find("differs: main.tvs"), std::string::npos);
    WriteFile(dir / "data/new.txt", "n");
    EXPECT_NE(Packer({"verify", dir / "data.tva", dir / "data"}).err.find("missing from the archive: new.txt"),
              std::string::npos);
}

TEST(PackerRoundTrip, DefaultArchiveNameAndOwnOutputLeftOut) {
    TempDir dir;
    WriteFile(dir / "data/a.txt", "a");
    WriteFile(dir / "data/data.tva", "an older archive");
    std::string cwd = plat::GetCurrentDirectory();
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

TEST(PackerRefuses, NamesEqualAfterLowerCasing) {
    TempDir dir;
    WriteFile(dir / "data/Fonts/a.png", "1");
    WriteFile(dir / "data/fonts/A.png", "2");
    PackerRun r = Packer({"pack", dir / "data", dir / "data.tva"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("differ only in letter case"), std::string::npos) << r.err;
    EXPECT_EQ(plat::GetPathKind(dir / "data.tva"), plat::PathKind::Missing);
}

TEST(PackerRefuses, EmptyAndNulNames) {
    std::string error;
    tools::PackItem item;
    item.path = "somewhere";
    EXPECT_FALSE(tools::CheckItems({item}, error));
    EXPECT_NE(error.find("empty name"), std::string::npos);
    item.name = std::string("a\0b", 3);
    EXPECT_FALSE(tools::CheckItems({item}, error));
    EXPECT_NE(error.find("NUL"), std::string::npos);
    item.name = "ok";
    EXPECT_TRUE(tools::CheckItems({item}, error));
}

TEST(PackerRefuses, NamesTheEngineWouldNotRead) {
    tools::PackItem item;
    item.path = "p";
    std::string error;
    item.name = std::string(1025, 'n');
    EXPECT_FALSE(tools::CheckItems({item}, error));
    EXPECT_NE(error.find("longer than 1024 bytes"), std::string::npos);
    item.name.clear();
    for (int i = 0; i < 33; ++i) item.name += "d\\";
    item.name += "f";
    EXPECT_FALSE(tools::CheckItems({item}, error));
    EXPECT_NE(error.find("more than 32 folders deep"), std::string::npos);
}

TEST(PackerRefuses, ArchiveTooLargeForItsOffsets) {
    TempDir dir;
    WriteFile(dir / "data/small.txt", "s");
    {
        // Sparse: nothing of it is ever read, the sizes alone decide.
        plat::File big;
        ASSERT_TRUE(big.Open(dir / "data/big.bin", plat::FileMode::CreateWrite));
        ASSERT_TRUE(big.Truncate(static_cast<std::int64_t>(tools::kMaxArchiveSize) - 40));
    }
    PackerRun r = Packer({"pack", dir / "data", dir / "data.tva"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("32-bit offsets allow at most 2147483647"), std::string::npos) << r.err;
    EXPECT_EQ(plat::GetPathKind(dir / "data.tva"), plat::PathKind::Missing);
    EXPECT_EQ(plat::GetPathKind(dir / "data.tva.part"), plat::PathKind::Missing);
}

TEST(PackerRefuses, BackslashInAFileName) {
    TempDir dir;
    WriteFile(dir / "data/a\\b.txt", "x");
    PackerRun r = Packer({"pack", dir / "data", dir / "data.tva"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("backslash"), std::string::npos);
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
    EXPECT_FALSE(missing.err.empty());
}

TEST(PackerHostileArchives, VerifyAndListReportDamage) {
    TempDir dir;
    WriteFile(dir / "data/a.txt", Pattern(100, 9));
    ASSERT_EQ(Packer({"pack", dir / "data", dir / "data.tva"}).code, 0);
    std::string bytes = ReadFile(dir / "data.tva");
    WriteFile(dir / "cut.tva", bytes.substr(0, bytes.size() - 1));
    PackerRun cut = Packer({"verify", dir / "cut.tva"});
    EXPECT_EQ(cut.code, 1);
    EXPECT_NE(cut.err.find("entry range"), std::string::npos) << cut.err;
    std::string flipped = bytes;
    flipped[40] ^= 0x20;
    WriteFile(dir / "crc.tva", flipped);
    EXPECT_NE(Packer({"list", dir / "crc.tva"}).err.find("entry CRC"), std::string::npos);
    // Names the engine's loader refuses must not pass as "ok".
    tools::PackItem deep;
    for (int i = 0; i < 33; ++i) deep.name += "d\\";
    deep.name += "f";
    deep.path = dir / "data/a.txt";
    deep.size = 100;
    std::string error;
    ASSERT_TRUE(tools::WriteArchive(dir / "deep.tva", {deep}, error)) << error;
    PackerRun refused = Packer({"verify", dir / "deep.tva"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("entry name"), std::string::npos) << refused.err;
}

TEST(PackerHostileArchives, ExtractStaysInsideItsDirectory) {
    TempDir dir;
    WriteFile(dir / "src.bin", "evil");
    for (const std::string name : {"..\\escape.txt", "\\rooted.txt", "a\\..\\..\\up.txt", "a\\\\b", "dir/../x"}) {
        tools::PackItem item;
        item.name = name;
        item.path = dir / "src.bin";
        item.size = 4;
        std::string error;
        ASSERT_TRUE(tools::WriteArchive(dir / "evil.tva", {item}, error)) << error;
        PackerRun r = Packer({"extract", dir / "evil.tva", dir / "out/inner"});
        EXPECT_EQ(r.code, 1) << name;
        EXPECT_NE(r.err.find("refusing entry name"), std::string::npos);
    }
    EXPECT_EQ(plat::GetPathKind(dir / "out"), plat::PathKind::Missing);
    EXPECT_EQ(plat::GetPathKind(dir / "escape.txt"), plat::PathKind::Missing);
}
