#include <gtest/gtest.h>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

#include "ArchiveBytes.h"
#include "core/DataLoader.h"
#include "core/Exception.h"
#include "core/MemoryStream.h"

using namespace trivale;
using namespace tvtest;

namespace {

std::string ReadAllOf(std::unique_ptr<IStream> s) {
    std::string out(s->GetSize(), '\0');
    if (!out.empty()) out.resize(s->Read(&out[0], static_cast<std::uint32_t>(out.size())));
    return out;
}

std::vector<std::string> Listed(IDataLoader& loader, const std::string& directory, bool recursive) {
    std::vector<std::string> names;
    loader.Enumerate(directory, recursive, names);
    return names;
}

typedef std::vector<std::string> Names;
typedef TArchiveFileDataLoader<CArchiveFileLoader> ArchiveLoader;

}  // namespace

TEST(FileSystemLoader, RootAndNames) {
    TempDir dir;
    WriteFile(dir / "data/Fonts/font08t2.PNG", "png");
    WriteFile(dir / "datafonts/x.txt", "joined");
    WriteFile(dir / "data/a.txt", "lower");
    WriteFile(dir / "data/A.txt", "upper");
    CFileSystemDataLoader loader(dir.Path() + "\\data\\");
    EXPECT_EQ(loader.GetRootPath(), dir.Path() + "/data/");
    EXPECT_EQ(ReadAllOf(loader.Open("FONTS/Font08T2.png")), "png");  // letter case aside
    EXPECT_EQ(ReadAllOf(loader.Open("a.txt")), "lower");             // the exact spelling first...
    EXPECT_EQ(ReadAllOf(loader.Open("a.TXT")), "upper");             // ...else the first in name order
    CFileSystemDataLoader unjoined(dir / "data");                    // without a separator names join plainly
    EXPECT_EQ(ReadAllOf(unjoined.Open("fonts\\x.txt")), "joined");
    // A file that cannot be opened is named by the path the system was asked for.
    EXPECT_EQ(
        Thrown<EFileOpenError>([&] { loader.Open("scenes\\valley\\pine_001.t3o"); }),
        "ファイルを開けませんでした: \"" + dir.Path() + "/data/scenes/valley/pine_001.t3o\" @trivale::CFileStream");
    EXPECT_THROW(loader.Open("fonts"), EFileOpenError);
}

TEST(FileSystemLoader, NothingOutsideTheDataDirectoryAndNoPipes) {
    TempDir dir;
    WriteFile(dir / "secret.txt", "secret");
    WriteFile(dir / "data/in.txt", "in");
    WriteFile(dir / "outside/o.txt", "o");
    ASSERT_EQ(symlink((dir / "secret.txt").c_str(), (dir / "data/link.txt").c_str()), 0);
    ASSERT_EQ(symlink((dir / "outside").c_str(), (dir / "data/linkdir").c_str()), 0);
    ASSERT_EQ(symlink((dir / "data/in.txt").c_str(), (dir / "data/inner.txt").c_str()), 0);
    ASSERT_EQ(mkfifo((dir / "data/pipe").c_str(), 0600), 0);
    CFileSystemDataLoader loader(dir / "data/");
    for (const char* name : {"link.txt", "linkdir\\o.txt", "..\\secret.txt", "../SECRET.txt", "pipe"})
        EXPECT_THROW(loader.Open(name), EFileOpenError) << name;  // a pipe would block the open
    EXPECT_EQ(Thrown<EFileOpenError>([&] { loader.Open("linkdir\\o.txt"); }),
              "ファイルを開けませんでした: \"" + dir.Path() + "/data/linkdir/o.txt\" @trivale::CFileSystemDataLoader");
    EXPECT_EQ(ReadAllOf(loader.Open("inner.txt")), "in");  // a link that stays inside is fine
    EXPECT_EQ(Listed(loader, "", true), (Names{"in.txt", "inner.txt"}));
    EXPECT_TRUE(Listed(loader, "..", true).empty());
}

TEST(FileSystemLoader, EnumerationSortedDepthFirstKeepingCase) {
    TempDir dir;
    for (const char* name :
         {"b.txt", "A.txt", ".hiddenfile", ".hiddendir/x.txt", "Sub/Deep/c.txt", "Sub/a.txt", "z.txt"})
        WriteFile(dir / (std::string("data/") + name), "");
    CFileSystemDataLoader loader(dir / "data/");
    EXPECT_EQ(Listed(loader, "", false), (Names{".hiddenfile", "A.txt", "b.txt", "z.txt"}));
    EXPECT_EQ(Listed(loader, "", true),
              (Names{".hiddenfile", "A.txt", "Sub\\Deep\\c.txt", "Sub\\a.txt", "b.txt", "z.txt"}));
    EXPECT_EQ(Listed(loader, "sub", false), (Names{"sub\\a.txt"}));  // letter case aside, names as asked
    EXPECT_TRUE(Listed(loader, "missing", true).empty());
}

// Regression: a link back up the tree once made the walk endless.
TEST(FileSystemLoader, LinkedDirectoryLoopEnds) {
    TempDir dir;
    WriteFile(dir / "data/a/f.txt", "f");
    ASSERT_EQ(symlink((dir / "data").c_str(), (dir / "data/a/loop").c_str()), 0);
    CFileSystemDataLoader loader(dir / "data/");
    EXPECT_EQ(Listed(loader, "", true), (Names{"a\\f.txt"}));
}

// Regression: the operating system reads a name up to its NUL byte, so a recursive walk of "\0" listed
// the root again at every level, one part longer each time: about 2^128 calls with two subfolders.
TEST(FileSystemLoader, NulNameNamesNothing) {
    TempDir dir;
    WriteFile(dir / "data/a/f.txt", "f");
    WriteFile(dir / "data/b/g.txt", "g");
    CFileSystemDataLoader loader(dir / "data/");
    const std::string nul(1, '\0');
    EXPECT_TRUE(Listed(loader, nul, true).empty());
    EXPECT_TRUE(Listed(loader, "a" + nul + "b", false).empty());
    EXPECT_THROW(loader.Open("a\\f.txt" + nul + "x"), EFileOpenError);  // never a\f.txt
    EXPECT_THROW(loader.Open(nul), EFileOpenError);
}

TEST(ArchiveLoader, DirectoryIndexAndEnumeration) {
    TempDir dir;
    WriteFile(dir / "data.tva", Archive({{"a.txt", "A"}, {"Sub\\Deep\\b.txt", "B"}}));
    ArchiveLoader loader(dir / "data.tva");
    EXPECT_EQ(Listed(loader, "", false), (Names{"a.txt"}));
    EXPECT_EQ(Listed(loader, "", true), (Names{"a.txt", "sub\\deep\\b.txt"}));
    EXPECT_TRUE(Listed(loader, "SUB", false).empty());
    Names names = Listed(loader, "SUB\\", true);
    loader.Enumerate("sub", true, names);  // appends
    EXPECT_EQ(names, (Names{"sub\\deep\\b.txt", "sub\\deep\\b.txt"}));
    EXPECT_EQ(ReadAllOf(loader.Open("sub\\deep\\B.TXT")), "B");
    EXPECT_EQ(loader.OpenShared("a.txt")->GetSize(), 1u);
}

TEST(ArchiveLoader, OddNamesDoNotLoopTheIndex) {
    TempDir dir;
    WriteFile(dir / "data.tva", Archive({{"a\\\\b", "1"}, {"\\lead", "2"}, {"trail\\", "3"}, {"x\\.\\..\\y", "4"}}));
    ArchiveLoader loader(dir / "data.tva");
    EXPECT_FALSE(Listed(loader, "", true).empty());
    EXPECT_EQ(ReadAllOf(loader.Open("a\\\\b")), "1");
}

TEST(ArchiveLoader, NulNameNamesNothing) {
    TempDir dir;
    const std::string nul(1, '\0');
    WriteFile(dir / "data.tva", Archive({{"a\\f.txt", "f"}, {"b\\g.txt", "g"}}));
    ArchiveLoader loader(dir / "data.tva");
    EXPECT_TRUE(Listed(loader, nul, true).empty());
    EXPECT_TRUE(Listed(loader, "a" + nul, true).empty());
    EXPECT_THROW(loader.Open("a\\f.txt" + nul), EFileOpenError);
    WriteFile(dir / "nul.tva", Archive({{"a" + nul + "b", "1"}}));  // the packer never writes one
    EXPECT_THROW(ArchiveLoader(dir / "nul.tva"), EInvalidFileFormat);
}

// Regression: a name of many thousand levels once cost the directory index a copy of the name per
// level (quadratic time and memory) and a recursion per level when listed.
TEST(ArchiveLoader, OverlongOrOverdeepNamesAreCorrupt) {
    TempDir dir;
    std::string deep, limit;
    for (int i = 0; i < 200000; ++i) deep += "a\\";
    for (int i = 0; i < CArchiveFileLoader::kMaxNameDepth; ++i) limit += "d\\";
    WriteFile(dir / "limit.tva", Archive({{limit + "f", "3"}, {std::string(1024, 'n'), "4"}}));
    EXPECT_EQ(Listed(*std::make_unique<ArchiveLoader>(dir / "limit.tva"), "", true).size(), 2u);
    for (const std::string& name : {deep + "f", std::string(1025, 'n'), limit + "x/f"}) {
        WriteFile(dir / "bad.tva", Archive({{"ok.txt", "1"}, {name, "2"}}));
        EXPECT_EQ(Thrown<EInvalidFileFormat>([&] { ArchiveLoader loader(dir / "bad.tva"); }),
                  "データエラー(entry name). データが壊れています. "
                  "@trivale::TArchiveFileDataLoader<trivale::CArchiveFileLoader>");
    }
}

// A report about a file's bytes names the file as the user would look for it: from the folder the path on
// disk that was opened (in the disk's letter case), from the archive the entry's name as the archive
// spells it, whatever case it was asked for in; a clone keeps the name, bytes in memory have none.
TEST(DataLoaders, StreamsNameTheirFileForReports) {
    TempDir dir;
    WriteFile(dir / "data/Scenes/Valley/Bark.JPG", "jpeg");
    CFileSystemDataLoader folder(dir.Path() + "/data/");
    std::unique_ptr<IStream> onDisk = folder.Open("scenes\\valley\\bark.jpg");
    EXPECT_EQ(onDisk->GetFileName(), dir.Path() + "/data/Scenes/Valley/Bark.JPG");
    EXPECT_EQ(onDisk->Clone()->GetFileName(), onDisk->GetFileName());

    WriteFile(dir / "data.tva", Archive({{"Scenes\\Valley\\Bark.JPG", "jpeg"}}));
    ArchiveLoader archive(dir / "data.tva");
    std::unique_ptr<IStream> entry = archive.Open("scenes\\valley\\bark.jpg");
    EXPECT_EQ(entry->GetFileName(), "Scenes\\Valley\\Bark.JPG");
    EXPECT_EQ(entry->Clone()->GetFileName(), "Scenes\\Valley\\Bark.JPG");

    EInvalidFileFormat e(nullptr, "JPEG: the data ends early");
    NameFileInReport(e, *entry);
    EXPECT_EQ(e.GetMessage(), "JPEG: the data ends early - ファイル \"Scenes\\Valley\\Bark.JPG\"");
    CMemoryStream memory;
    EXPECT_EQ(FileNameNote(memory), "");
    EXPECT_EQ(FileNameNote(memory, "main.tvs"), " - ファイル \"main.tvs\"");
}
