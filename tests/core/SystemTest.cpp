#include <gtest/gtest.h>

#include <unistd.h>

#include "TestUtil.h"
#include "platform/System.h"

TEST(PlatformFiles, ModesAndSixtyFourBitSeek) {
    tvtest::TempDir dir;
    std::string path = dir / "f.bin";
    plat::File f;
    EXPECT_FALSE(f.Open(path, plat::FileMode::ReadExisting));
    EXPECT_NE(f.Error(), 0);
    EXPECT_FALSE(f.Open(path, plat::FileMode::WriteExisting));
    ASSERT_TRUE(f.Open(path, plat::FileMode::CreateWrite));
    EXPECT_EQ(f.Write("abc", 3), 3);
    // Past 4 GiB on a sparse file: positions are 64-bit.
    const std::int64_t far = (std::int64_t(1) << 32) + 5;
    EXPECT_EQ(f.Seek(far, plat::SeekFrom::Begin), far);
    EXPECT_EQ(f.Tell(), far);
    EXPECT_TRUE(f.Truncate(10));
    EXPECT_EQ(f.Size(), 10);
    f.Close();
    ASSERT_TRUE(f.Open(path, plat::FileMode::ReadWriteAlways));
    char buf[16];
    EXPECT_EQ(f.ReadAt(0, buf, 16), 10);
    EXPECT_EQ(std::string(buf, 3), "abc");
    EXPECT_EQ(f.WriteAt(1, "X", 1), 1);
    EXPECT_EQ(f.ReadAt(0, buf, 3), 3);
    EXPECT_EQ(std::string(buf, 3), "aXc");
    EXPECT_EQ(f.ReadAt(-1, buf, 1), -1);
    plat::File moved(std::move(f));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_TRUE(moved.IsOpen());
    EXPECT_EQ(plat::GetPathKind(path), plat::PathKind::File);
    EXPECT_EQ(plat::GetPathKind(dir.Path()), plat::PathKind::Directory);
    EXPECT_EQ(plat::GetPathKind(dir / "none"), plat::PathKind::Missing);
}

TEST(PlatformDirectories, SortedWithKinds) {
    tvtest::TempDir dir;
    tvtest::WriteFile(dir / "b.txt", "b");
    tvtest::WriteFile(dir / "A.txt", "a");
    tvtest::WriteFile(dir / ".hidden", "h");
    tvtest::WriteFile(dir / "sub/c.txt", "c");
    ASSERT_EQ(symlink((dir / "sub").c_str(), (dir / "link").c_str()), 0);
    std::vector<plat::DirEntry> entries;
    ASSERT_TRUE(plat::ListDirectory(dir.Path(), entries));
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{".hidden", "A.txt", "b.txt", "link", "sub"}));
    EXPECT_TRUE(entries[0].isHidden);
    EXPECT_TRUE(entries[3].isSymlink);
    EXPECT_TRUE(entries[3].isDirectory);
    EXPECT_FALSE(entries[4].isSymlink);
    EXPECT_TRUE(entries[4].isDirectory);
    EXPECT_FALSE(entries[1].isDirectory);
    EXPECT_FALSE(plat::ListDirectory(dir / "missing", entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(plat::RealPath(dir / "link"), plat::RealPath(dir / "sub"));
    EXPECT_EQ(plat::RealPath(dir / "missing"), "");
}

TEST(PlatformClock, MonotonicAndSleep) {
    EXPECT_EQ(plat::MonotonicFrequency(), 1000000000);
    std::int64_t a = plat::MonotonicTicks();
    plat::SleepMilliseconds(2);
    std::int64_t b = plat::MonotonicTicks();
    EXPECT_GE(b - a, 2000000);  // a sleep lasts at least its time
    plat::SleepMilliseconds(0);
    EXPECT_GE(plat::UptimeSeconds(), 0);
    EXPECT_GE(plat::MonotonicMilliseconds(), 0);
}

TEST(PlatformProcess, CommandLineStore) {
    const char* argv[] = {"prog", "a"};
    plat::SetCommandLine(2, argv);
    EXPECT_EQ(plat::GetCommandLine(), (std::vector<std::string>{"prog", "a"}));
    EXPECT_FALSE(plat::ErrorText(2).empty());
    EXPECT_FALSE(plat::GetCurrentDirectory().empty());
}
