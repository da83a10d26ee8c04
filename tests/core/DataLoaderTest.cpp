#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

#include "ArchiveBytes.h"
#include "core/DataLoader.h"
#include "core/Exception.h"

using namespace trivale;
using namespace tvtest;

namespace {

std::string ReadAllOf(IStream* raw) {
    std::unique_ptr<IStream> s(raw);
    std::string out(s->GetSize(), '\0');
    if (!out.empty()) out.resize(s->Read(&out[0], static_cast<std::uint32_t>(out.size())));
    return out;
}

typedef TArchiveFileDataLoader<CArchiveFileLoader> ArchiveLoader;

}  // namespace

// ---- File system ---------------------------------------------------------------------------------

TEST(FileSystemLoader, RootIsAbsoluteAndLogged) {
    TempDir dir;
    WriteFile(dir / "data/fonts/FONT08T2.png", "png");
    CapturedLog log;
    CFileSystemDataLoader loader(dir.Path() + "\\data\\");
    EXPECT_EQ(loader.GetRootPath(), dir.Path() + "/data/");
    EXPECT_EQ(log.Text(), "INFO: FileSystemDataLoader: root path = " + dir.Path() + "/data/\n");
    EXPECT_EQ(ReadAllOf(loader.Open("fonts\\FONT08T2.png")), "png");
}

TEST(FileSystemLoader, RootWithoutSeparatorJoinsPlainly) {
    TempDir dir;
    WriteFile(dir / "datafonts/x.txt", "joined");
    CFileSystemDataLoader loader(dir / "data");
    EXPECT_EQ(ReadAllOf(loader.Open("fonts\\x.txt")), "joined");
}

TEST(FileSystemLoader, LetterCaseFallback) {
    TempDir dir;
    WriteFile(dir / "data/Fonts/font08t2.PNG", "png");
    CFileSystemDataLoader loader(dir / "data/");
    EXPECT_EQ(ReadAllOf(loader.Open("fonts\\FONT08T2.png")), "png");
    EXPECT_EQ(ReadAllOf(loader.Open("FONTS/Font08T2.png")), "png");
}

TEST(FileSystemLoader, ExactSpellingWinsOverOtherCases) {
    TempDir dir;
    WriteFile(dir / "data/a.txt", "lower");
    WriteFile(dir / "data/A.txt", "upper");
    CFileSystemDataLoader loader(dir / "data/");
    EXPECT_EQ(ReadAllOf(loader.Open("a.txt")), "lower");
    EXPECT_EQ(ReadAllOf(loader.Open("A.txt")), "upper");
    EXPECT_EQ(ReadAllOf(loader.Open("a.TXT")), "upper");  // first in name order
}

TEST(FileSystemLoader, MissingNameIsTheFileOpenError) {
    TempDir dir;
    WriteFile(dir / "data/a.txt", "a");
    CFileSystemDataLoader loader(dir / "data/");
    try {
        delete loader.Open("fonts\\none.png");
        FAIL();
    } catch (const EFileOpenError& e) {
        EXPECT_EQ(e.GetMessage(), "ファイルを開けませんでした: \"" + dir.Path() + "/data/fonts\\none.png\"");
    }
    EXPECT_THROW(delete loader.Open("fonts"), EFileOpenError);
}

TEST(FileSystemLoader, NothingOutsideTheDataDirectory) {
    TempDir dir;
    WriteFile(dir / "secret.txt", "secret");
    WriteFile(dir / "data/in.txt", "in");
    WriteFile(dir / "outside/o.txt", "o");
    ASSERT_EQ(symlink((dir / "secret.txt").c_str(), (dir / "data/link.txt").c_str()), 0);
    ASSERT_EQ(symlink((dir / "outside").c_str(), (dir / "data/linkdir").c_str()), 0);
    ASSERT_EQ(symlink((dir / "data/in.txt").c_str(), (dir / "data/inner.txt").c_str()), 0);
    CFileSystemDataLoader loader(dir / "data/");
    EXPECT_THROW(delete loader.Open("link.txt"), EFileOpenError);
    EXPECT_THROW(delete loader.Open("linkdir\\o.txt"), EFileOpenError);
    EXPECT_THROW(delete loader.Open("..\\secret.txt"), EFileOpenError);
    EXPECT_THROW(delete loader.Open("../SECRET.txt"), EFileOpenError);
    EXPECT_EQ(ReadAllOf(loader.Open("inner.txt")), "in");  // a link that stays inside is fine
    std::vector<std::string> names;
    loader.Enumerate("", true, names);
    EXPECT_EQ(names, (std::vector<std::string>{"in.txt", "inner.txt"}));
    names.clear();
    loader.Enumerate("..", true, names);
    EXPECT_TRUE(names.empty());
}

TEST(FileSystemLoader, PipesAreNotOpened) {
    TempDir dir;
    WriteFile(dir / "data/a.txt", "a");
    ASSERT_EQ(mkfifo((dir / "data/pipe").c_str(), 0600), 0);
    CFileSystemDataLoader loader(dir / "data/");
    EXPECT_THROW(delete loader.Open("pipe"), EFileOpenError);  // would block on open
    std::vector<std::string> names;
    loader.Enumerate("", false, names);
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt"}));
}

TEST(FileSystemLoader, EnumerationSortedDepthFirstKeepingCase) {
    TempDir dir;
    WriteFile(dir / "data/b.txt", "");
    WriteFile(dir / "data/A.txt", "");
    WriteFile(dir / "data/.hiddenfile", "");
    WriteFile(dir / "data/.hiddendir/x.txt", "");
    WriteFile(dir / "data/Sub/Deep/c.txt", "");
    WriteFile(dir / "data/Sub/a.txt", "");
    WriteFile(dir / "data/z.txt", "");
    CFileSystemDataLoader loader(dir / "data/");
    std::vector<std::string> names;
    loader.Enumerate("", false, names);
    EXPECT_EQ(names, (std::vector<std::string>{".hiddenfile", "A.txt", "b.txt", "z.txt"}));
    names.clear();
    loader.Enumerate("", true, names);
    EXPECT_EQ(names, (std::vector<std::string>{".hiddenfile", "A.txt", "Sub\\Deep\\c.txt", "Sub\\a.txt", "b.txt",
                                               "z.txt"}));
    names.clear();
    loader.Enumerate("sub", false, names);  // letter case aside, names as asked
    EXPECT_EQ(names, (std::vector<std::string>{"sub\\a.txt"}));
    EXPECT_EQ(ReadAllOf(loader.Open(names[0])), "");
    loader.Enumerate("sub", false, names);
    EXPECT_EQ(names.size(), 2u);  // appends
    names.clear();
    loader.Enumerate("missing", true, names);
    EXPECT_TRUE(names.empty());
}

TEST(FileSystemLoader, LinkedDirectoryLoopEnds) {
    TempDir dir;
    WriteFile(dir / "data/a/f.txt", "f");
    ASSERT_EQ(symlink((dir / "data").c_str(), (dir / "data/a/loop").c_str()), 0);
    CFileSystemDataLoader loader(dir / "data/");
    std::vector<std::string> names;
    loader.Enumerate("", true, names);
    EXPECT_EQ(names, (std::vector<std::string>{"a\\f.txt"}));
}

// ---- Archive -------------------------------------------------------------------------------------

TEST(ArchiveLoader, DirectoryIndexAndEnumeration) {
    TempDir dir;
    WriteFile(dir / "data.tva", Archive({{"a.txt", "A"}, {"Sub\\Deep\\b.txt", "B"}}));
    ArchiveLoader loader(dir / "data.tva");
    std::vector<std::string> names;
    loader.Enumerate("", false, names);
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt"}));
    names.clear();
    loader.Enumerate("", true, names);
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "sub\\deep\\b.txt"}));
    names.clear();
    loader.Enumerate("SUB", false, names);
    EXPECT_TRUE(names.empty());
    loader.Enumerate("SUB\\", true, names);
    loader.Enumerate("sub", true, names);
    EXPECT_EQ(names, (std::vector<std::string>{"sub\\deep\\b.txt", "sub\\deep\\b.txt"}));
    names.clear();
    loader.Enumerate("none", true, names);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(ReadAllOf(loader.Open("sub\\deep\\B.TXT")), "B");
    boost::shared_ptr<IStream> shared = loader.OpenShared("a.txt");
    EXPECT_EQ(shared->GetSize(), 1u);
}

TEST(ArchiveLoader, ReaderFailuresPassOut) {
    TempDir dir;
    EXPECT_THROW(ArchiveLoader(dir / "none.tva"), EFileOpenError);
    WriteFile(dir / "bad.tva", "TrivaleArchive");
    EXPECT_THROW(ArchiveLoader(dir / "bad.tva"), EInvalidFileFormat);
}

TEST(ArchiveLoader, OddNamesDoNotLoopTheIndex) {
    TempDir dir;
    WriteFile(dir / "data.tva", Archive({{"a\\\\b", "1"}, {"\\lead", "2"}, {"trail\\", "3"}, {"x\\.\\..\\y", "4"}}));
    ArchiveLoader loader(dir / "data.tva");
    std::vector<std::string> names;
    loader.Enumerate("", true, names);
    EXPECT_FALSE(names.empty());
    EXPECT_EQ(ReadAllOf(loader.Open("a\\\\b")), "1");
}

// Regression: a name of many thousand levels once cost the directory index a copy of the name per
// level (quadratic time and memory) and a recursion per level when listed.
TEST(ArchiveLoader, OverlongOrOverdeepNamesAreCorrupt) {
    TempDir dir;
    std::string deep;
    for (int i = 0; i < 200000; ++i) deep += "a\\";
    deep += "f";
    WriteFile(dir / "deep.tva", Archive({{"ok.txt", "1"}, {deep, "2"}}));
    try {
        ArchiveLoader loader(dir / "deep.tva");
        FAIL();
    } catch (const EInvalidFileFormat& e) {
        EXPECT_EQ(e.GetMessage(), "データエラー(entry name). データが壊れています.");
    }
    std::string limit;
    for (int i = 0; i < CArchiveFileLoader::kMaxNameDepth; ++i) limit += "d\\";
    WriteFile(dir / "limit.tva", Archive({{limit + "f", "3"}, {std::string(1024, 'n'), "4"}}));
    ArchiveLoader loader(dir / "limit.tva");
    std::vector<std::string> names;
    loader.Enumerate("", true, names);
    EXPECT_EQ(names.size(), 2u);
    WriteFile(dir / "long.tva", Archive({{std::string(1025, 'n'), "5"}}));
    EXPECT_THROW(ArchiveLoader(dir / "long.tva"), EInvalidFileFormat);
    WriteFile(dir / "slash.tva", Archive({{limit + "x/f", "6"}}));
    EXPECT_THROW(ArchiveLoader(dir / "slash.tva"), EInvalidFileFormat);
}
