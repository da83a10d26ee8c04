#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <regex>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "core/DataLoader.h"
#include "core/Text.h"
#include "platform/Printable.h"
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

PackerRun Packer(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = tools::RunPacker(args, out, err);
    return {code, out.str(), err.str()};
}

// Writes an archive of the given names, whatever they are, as a foreign tool might.
void WriteForeignArchive(const std::string& path, const std::vector<std::string>& names, const std::string& source) {
    std::vector<tools::PackItem> items;
    for (const std::string& name : names) items.push_back(tools::PackItem{name, source, ReadFile(source).size()});
    std::string error;
    ASSERT_TRUE(tools::WriteArchive(path, items, error)) << error;
}

}  // namespace

TEST(PackerRoundTrip, PackReadListVerifyExtract) {
    TempDir dir;
    // A tree as a new user might hand it over: nested folders, mixed case, empty and large files.
    const std::map<std::string, std::string> files = {
        {"main.tvs", "; script\r\nmain:\r\n"},
        {"fonts/FONT08T2.png", Pattern(5000, 1)},
        {"Scenes/Winter Forest/objects/Tree_A.t3o", Pattern(65536 + 3, 3)},
        {"Scenes/empty.txt", ""},
        {"music/雪の歌.ogg", Pattern(3 * 1024 * 1024 + 17, 4)},
        {".hiddenfile", "hidden files are data too"},
    };
    for (const auto& f : files) WriteFile(dir / ("data/" + f.first), f.second);
    WriteFile(dir / "data/.git/config", "not packed");
    PackerRun r = Packer({"pack", dir / "data", dir / "data.tva"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("skipping hidden directory"), std::string::npos);

    PackerRun list = Packer({"list", dir / "data.tva"});
    EXPECT_EQ(list.code, 0);
    // size, offset, name; the hidden file of 25 bytes comes first
    EXPECT_NE(list.out.find("     65539         25  Scenes\\Winter Forest\\objects\\Tree_A.t3o\n"), std::string::npos);
    EXPECT_NE(list.out.find("\n6 entries"), std::string::npos) << list.out;
    EXPECT_EQ(Packer({"verify", dir / "data.tva", dir / "data"}).code, 0);
    ASSERT_EQ(Packer({"extract", dir / "data.tva", dir / "out"}).code, 0);  // every file back byte for byte
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
    EXPECT_EQ(Packer({"list", dir / "data/data.tva"}).out, "         1          0  a.txt\n1 entries, 1 bytes\n");
    EXPECT_EQ(plat::GetPathKind(dir / "data/data.tva.part"), plat::PathKind::Missing);
}

TEST(PackerRefuses, TreesItCannotPackAndBadUsage) {
    TempDir dir;
    WriteFile(dir / "slash/a\\b.txt", "x");
    WriteFile(dir / "big/small.txt", "s");
    plat::File big;  // sparse: nothing of it is read, its size alone decides
    ASSERT_TRUE(big.Open(dir / "big/big.bin", plat::FileMode::CreateWrite));
    ASSERT_TRUE(big.Truncate(static_cast<std::int64_t>(tools::kMaxArchiveSize) - 40));
    for (const auto& c :
         {std::make_pair("slash", "backslash"), std::make_pair("big", "32-bit offsets allow at most 2147483647")}) {
        PackerRun r = Packer({"pack", dir / c.first, dir / "data.tva"});
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(c.second), std::string::npos) << r.err;
        EXPECT_EQ(plat::GetPathKind(dir / "data.tva"), plat::PathKind::Missing);
        EXPECT_EQ(plat::GetPathKind(dir / "data.tva.part"), plat::PathKind::Missing);
    }
    for (const auto& usage : {std::vector<std::string>{}, {"frobnicate"}, {"list"}}) EXPECT_EQ(Packer(usage).code, 2);
    EXPECT_EQ(Packer({"--help"}).code, 0);
    EXPECT_EQ(Packer({"pack", "/nonexistent"}).code, 1);
    EXPECT_NE(Packer({"list", "/nonexistent.tva"}).err.find("ファイルを開けませんでした"), std::string::npos);
}

// The packer writes none of these names; list, verify and extract refuse an archive holding one, or
// a damaged one, and extract writes nothing.
TEST(PackerHostileArchives, EveryCommandRefusesWhatThePackerNeverWrites) {
    std::string deep;
    for (int i = 0; i < 40; ++i) deep += "d\\";
    const struct {
        std::vector<std::string> names;
        std::string error;
        std::function<void(std::string&)> damage = {};  // to the archive of those names
        std::string engineError = "";                   // when the engine's reader finds it first
    } cases[] = {
        {{""}, "empty name"},
        {{"..\\escape.txt"}, "\"..\" part"},
        {{"x\\.\\y"}, "\".\" part"},
        {{"\\rooted.txt"}, "absolute path"},
        {{"a\\\\b"}, "empty part"},
        {{"trail\\"}, "empty part"},
        {{"dir/../x"}, "'/'"},
        {{"Fonts\\a.png", "fonts\\A.png"}, "differ only in letter case"},
        {{"a", "A\\b"}, "both an entry and the folder"},
        {{std::string(1025, 'n')}, "longer than 1024 bytes", {}, "entry name"},
        {{deep + "f"}, "more than 32 folders deep", {}, "entry name"},  // regression: extract wrote it
        {{std::string("a\0b", 3)}, "NUL", {}, "entry CRC"},
        {{"ok"}, "entry range", [](std::string& b) { b.pop_back(); }},
        {{"ok"}, "entry CRC", [](std::string& b) { b[40] ^= 0x20; }},
        {{"ok"}, "entry count", [](std::string& b) { b[36] = '\x80'; }},
    };
    TempDir dir;
    WriteFile(dir / "src.bin", Pattern(100, 9));
    for (const auto& c : cases) {
        WriteForeignArchive(dir / "bad.tva", c.names, dir / "src.bin");
        if (c.damage) {
            std::string bytes = ReadFile(dir / "bad.tva");
            c.damage(bytes);
            WriteFile(dir / "bad.tva", bytes);
        } else {
            std::vector<tools::PackItem> items;
            for (const std::string& name : c.names) items.push_back(tools::PackItem{name, "p", 1});
            std::string error;
            EXPECT_FALSE(tools::CheckItems(items, error));
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        }
        for (const auto& args :
             {std::vector<std::string>{"list", dir / "bad.tva"}, std::vector<std::string>{"verify", dir / "bad.tva"},
              std::vector<std::string>{"extract", dir / "bad.tva", dir / "out/inner"}}) {
            PackerRun r = Packer(args);
            EXPECT_EQ(r.code, 1) << args[0] << " " << c.error;
            EXPECT_NE(r.err.find(c.engineError.empty() ? c.error : c.engineError), std::string::npos) << r.err;
        }
        EXPECT_EQ(plat::GetPathKind(dir / "out"), plat::PathKind::Missing) << c.error;
    }

    // A link already in the output folder is not written through, wherever on the path it stands.
    WriteForeignArchive(dir / "link.tva", {"link\\x.txt"}, dir / "src.bin");
    ASSERT_EQ(mkdir((dir / "outside").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dir / "out").c_str(), 0700), 0);
    ASSERT_EQ(symlink((dir / "outside").c_str(), (dir / "out/link").c_str()), 0);
    PackerRun r = Packer({"extract", dir / "link.tva", dir / "out"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("refusing to write through the link"), std::string::npos) << r.err;
    EXPECT_EQ(plat::GetPathKind(dir / "outside/x.txt"), plat::PathKind::Missing);
}

// Names of files and entries, folders and the reasons that quote them may hold line breaks and escape
// sequences: every command shows them escaped, each line starting with the packer's own words.
TEST(PackerOutput, NoNameStartsALineOrReachesTheTerminalRaw) {
    TempDir dir;
    const std::string forged = "\nINFO: forged\x1b]0;title\x07\r\xff";
    const std::string tree = dir / ("data" + forged);
    WriteFile(tree + "/a" + forged + ".png", "a");
    WriteFile(tree + "/sub" + forged + "/b.txt", "b");
    WriteFile(tree + "/.hidden" + forged + "/c.txt", "c");
    ASSERT_EQ(symlink("/etc/hostname", (tree + "/out" + forged).c_str()), 0);
    const std::string archive = dir / ("p" + forged + ".tva");
    std::vector<PackerRun> runs = {Packer({"pack", tree, archive}), Packer({"list", archive}),
                                   Packer({"extract", archive, dir / ("x" + forged)})};
    EXPECT_EQ(runs[0].code, 0) << runs[0].err;
    EXPECT_NE(runs[1].out.find("  a\\nINFO: forged\\x1b]0;title\\x07\\r\\xff.png\n"), std::string::npos) << runs[1].out;
    WriteFile(tree + "/a" + forged + ".png", "changed");
    WriteFile(tree + "/new" + forged, "n");
    std::remove((tree + "/sub" + forged + "/b.txt").c_str());
    runs.push_back(Packer({"verify", archive, tree}));
    EXPECT_EQ(runs.back().code, 1);
    for (const std::string& name : {std::string("..\\") + forged, "A" + forged, "a" + forged + "\\b"}) {
        WriteForeignArchive(dir / "bad.tva", {name, "a" + forged}, dir / "x" + forged + "/a" + forged + ".png");
        runs.push_back(Packer({"list", dir / "bad.tva"}));
        EXPECT_EQ(runs.back().code, 1);
    }
    runs.push_back(Packer({"pack", dir / ("missing" + forged)}));
    runs.push_back(Packer({"list", dir / ("missing" + forged)}));
    runs.push_back(Packer({"frob" + forged}));
    const std::regex own(
        "(tvpack: |packed |ok: |extracted |[ 0-9]{10} [ 0-9]{10}  |[0-9]+ entries, |usage: |       ).*");
    int lines = 0;
    for (const PackerRun& run : runs) {
        for (const std::string& text : {run.out, run.err}) {
            EXPECT_TRUE(text.empty() || text.back() == '\n') << text;
            std::istringstream in(text);
            for (std::string line; std::getline(in, line); ++lines) {
                EXPECT_TRUE(std::regex_match(line, own)) << line;
                EXPECT_EQ(plat::Printable(line), line);
            }
        }
    }
    EXPECT_GT(lines, 20);
}
