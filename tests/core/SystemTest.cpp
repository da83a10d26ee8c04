#include <gtest/gtest.h>

#include <unistd.h>

#include "TestUtil.h"
#include "platform/System.h"

TEST(PlatformFiles, ModesAndSixtyFourBitPositions) {
    tvtest::TempDir dir;
    const std::string path = dir / "f.bin";
    plat::File f;
    EXPECT_FALSE(f.Open(path, plat::FileMode::ReadExisting));
    EXPECT_FALSE(f.Open(path, plat::FileMode::WriteExisting));
    ASSERT_TRUE(f.Open(path, plat::FileMode::CreateWrite));
    EXPECT_EQ(f.Write("abc", 3), 3);
    const std::int64_t far = (std::int64_t(1) << 32) + 5;  // past 4 GiB
    EXPECT_EQ(f.Seek(far, plat::SeekFrom::Begin), far);
    EXPECT_EQ(f.Tell(), far);
    EXPECT_TRUE(f.Truncate(10));
    ASSERT_TRUE(f.Open(path, plat::FileMode::ReadWriteAlways));
    EXPECT_EQ(f.WriteAt(1, "X", 1), 1);
    char buf[16];
    EXPECT_EQ(f.ReadAt(0, buf, 16), 10);
    EXPECT_EQ(std::string(buf, 3), "aXc");
    EXPECT_EQ(f.ReadAt(-1, buf, 1), -1);
}

TEST(PlatformDirectories, SortedWithKinds) {
    tvtest::TempDir dir;
    for (const char* name : {"b.txt", "A.txt", ".hidden", "sub/c.txt"}) tvtest::WriteFile(dir / name, "");
    ASSERT_EQ(symlink((dir / "sub").c_str(), (dir / "link").c_str()), 0);
    std::vector<plat::DirEntry> entries;
    ASSERT_TRUE(plat::ListDirectory(dir.Path(), entries));
    std::string listed;
    for (const auto& e : entries)
        listed += e.name + (e.isHidden ? " h" : "") + (e.isSymlink ? " l" : "") + (e.isDirectory ? " d" : "") +
                  (e.isFile ? " f" : "") + ";";
    EXPECT_EQ(listed, ".hidden h f;A.txt f;b.txt f;link l d;sub d;");
    EXPECT_FALSE(plat::ListDirectory(dir / "missing", entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(plat::RealPath(dir / "link"), plat::RealPath(dir / "sub"));
    EXPECT_EQ(plat::RealPath(dir / "missing"), "");
}
