#include <gtest/gtest.h>

#include <memory>

#include "TestUtil.h"
#include "core/Exception.h"
#include "core/FileStream.h"
#include "core/MemoryStream.h"

using namespace trivale;
using tvtest::TempDir;
using tvtest::Thrown;

namespace {

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    return s;
}

void Fill(IStream& s, const std::string& bytes) {
    s.Seek(0);
    ASSERT_EQ(s.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size())), bytes.size());
    s.Seek(0);
}

std::string ReadAll(IStream& s) {
    std::string out;
    char buf[4096];
    while (std::uint32_t got = s.Read(buf, sizeof buf)) out.append(buf, got);
    return out;
}

std::string Contents(CMemoryStream& s) { return std::string(static_cast<const char*>(s.GetBuffer()), s.GetSize()); }

// Records the count of every read and can end the data early.
class CRecordingStream : public CMemoryStream {
public:
    std::vector<std::uint32_t> reads;
    std::uint32_t shortReadAt = 0;
    std::uint32_t Read(void* buffer, std::uint32_t count) override {
        reads.push_back(count);
        if (shortReadAt && Tell() + count > shortReadAt) count = shortReadAt > Tell() ? shortReadAt - Tell() : 0;
        return CMemoryStream::Read(buffer, count);
    }
};

}  // namespace

TEST(MemoryStream, GrowsOnWriteKeepsPositionOnShrinkAndZeroFillsGaps) {
    CMemoryStream s;
    Fill(s, "abcd");
    s.Seek(4);
    EXPECT_EQ(s.Write("0123456789", 10), 10u);
    EXPECT_EQ(s.GetSize(), 14u);
    EXPECT_EQ(s.Tell(), 14u);
    s.SetSize(2);
    EXPECT_EQ(s.Tell(), 14u);
    char c;
    EXPECT_EQ(s.Read(&c, 1), 0u);
    EXPECT_EQ(s.Write("Z", 1), 1u);  // the gap up to the position reads as zeros
    EXPECT_EQ(Contents(s), std::string("ab\0\0\0\0\0\0\0\0\0\0\0\0Z", 15));
    s.Seek(1);
    EXPECT_EQ(s.Write("x", 0xFFFFFFFFu), 0u);  // would pass 4 GiB: refused, the source never touched
}

TEST(Streams, SeekClampsToTheDataAndClonesReadIndependently) {
    TempDir dir;
    tvtest::WriteFile(dir / "f.bin", "0123456789");
    CMemoryStream memory;
    Fill(memory, "0123456789");
    CFileStream file(dir.Path() + "\\f.bin", plat::FileMode::ReadExisting,
                     FileShare::Read);        // a backslash separates as "/" does
    EXPECT_EQ(memory.Seek(-5), 0xFFFFFFFBu);  // a memory stream answers the position asked for
    EXPECT_EQ(memory.Seek(110), 110u);
    EXPECT_EQ(file.Seek(-5), 0u);
    EXPECT_EQ(file.Seek(110), 10u);
    for (IStream* s : {static_cast<IStream*>(&memory), static_cast<IStream*>(&file)}) {
        EXPECT_EQ(s->Tell(), 10u);
        char c;
        EXPECT_EQ(s->Read(&c, 1), 0u);
        s->Seek(6);
        std::unique_ptr<IStream> clone(s->Clone());
        EXPECT_EQ(clone->Tell(), 6u);
        EXPECT_EQ(ReadAll(*clone), "6789");
        EXPECT_EQ(s->Tell(), 6u);
    }
}

TEST(StreamStrings, EmptyEmbeddedNulAndLengthsBeyondTheData) {
    CMemoryStream s;
    EXPECT_EQ(s.WriteString(""), 4u);
    EXPECT_EQ(s.WriteString(std::string("ab\0cd", 5)), 9u);
    EXPECT_EQ(Contents(s).substr(0, 4), std::string(4, '\0'));
    s.Seek(0);
    EXPECT_EQ(s.ReadString(), "");
    EXPECT_EQ(s.ReadString(), "ab");
    EXPECT_EQ(s.Tell(), 13u);  // the whole stored string was consumed
    for (std::uint32_t length : {0xFFFFFFFFu, 0x80000000u, 6u}) {
        CMemoryStream bad;
        Fill(bad, tvtest::LE32(length) + "abcde");
        EXPECT_THROW(bad.ReadString(), EReadError) << length;
    }
}

TEST(StreamCopy, WholeOrClampedCountsInPassesOfEightKilobytes) {
    CRecordingStream src;
    Fill(src, Pattern(20000));
    src.Seek(5);
    CMemoryStream all, rest, cut, none;
    EXPECT_EQ(all.CopyFrom(src, 0), 20000u);  // count 0: the whole source, from its start
    EXPECT_EQ(src.reads, (std::vector<std::uint32_t>{8192, 8192, 3616}));
    EXPECT_EQ(Contents(all), Pattern(20000));
    src.Seek(19997);
    EXPECT_EQ(rest.CopyFrom(src, 100), 3u);
    src.Seek(0);
    src.shortReadAt = 10000;  // only what was read is written
    EXPECT_EQ(cut.CopyFrom(src, 20000), 10000u);
    EXPECT_EQ(Contents(cut), Pattern(10000));
    TempDir dir;
    tvtest::WriteFile(dir / "f.bin", Pattern(100));
    CFilePartitionStream part(10, 20, dir / "f.bin", plat::FileMode::ReadExisting, FileShare::Read);
    part.Seek(50);  // a partition keeps positions past its window: nothing remains there
    EXPECT_EQ(none.CopyFrom(part, 5), 0u);
}

TEST(FileStream, ModesClonesAndSetSize) {
    TempDir dir;
    tvtest::CapturedLog log;
    EXPECT_EQ(
        Thrown<EFileOpenError>([&] { CFileStream(dir / "nope.txt", plat::FileMode::ReadExisting, FileShare::Read); }),
        "ファイルを開けませんでした: \"" + (dir / "nope.txt") + "\" @trivale::CFileStream");
    EXPECT_THROW(CFileStream(dir.Path(), plat::FileMode::ReadExisting, FileShare::Read),
                 EFileOpenError);  // a directory is not a file
    char c;
    EXPECT_THROW(CFileStream(dir / "w.bin", plat::FileMode::CreateWrite, FileShare::None).Read(&c, 1), EReadError);
    const std::string path = dir / "f.bin";
    EXPECT_EQ(CFileStream(path, plat::FileMode::CreateWrite, FileShare::None).Write("hello", 5), 5u);
    {
        CFileStream rw(path, plat::FileMode::ReadWriteAlways, FileShare::ReadWrite);  // opens without truncating
        rw.Seek(5);
        rw.Write("!6789", 5);
        rw.SetSize(20);  // never lengthens
        EXPECT_EQ(rw.GetSize(), 10u);
        rw.SetSize(4);
        EXPECT_EQ(rw.Tell(), 4u);
    }
    EXPECT_EQ(tvtest::ReadFile(path), "hell");
    {
        CFileStream w(path, plat::FileMode::CreateWrite, FileShare::None);
        w.Write("important", 9);
        std::unique_ptr<IStream> clone(w.Clone());  // a clone of a writer does not truncate again
        EXPECT_EQ(clone->Tell(), 9u);
        clone->Write("!", 1);
        EXPECT_EQ(tvtest::ReadFile(path), "important!");
    }
    EXPECT_EQ(CFileStream(path, plat::FileMode::CreateWrite, FileShare::None).GetSize(), 0u);  // truncates
    EXPECT_EQ(CFileStream(dir / "new.bin", plat::FileMode::ReadWriteAlways, FileShare::None).GetSize(), 0u);
    EXPECT_EQ(plat::GetPathKind(dir / "new.bin"), plat::PathKind::File);
}

TEST(FileStream, PositionsNeverPassFourGigabytes) {
    TempDir dir;
    const std::int64_t limit = 0xFFFFFFFFll;
    {
        plat::File f;  // sparse files
        ASSERT_TRUE(f.Open(dir / "edge.bin", plat::FileMode::CreateWrite));
        ASSERT_TRUE(f.Truncate(limit - 2));
        ASSERT_TRUE(f.Open(dir / "big.bin", plat::FileMode::CreateWrite));
        ASSERT_TRUE(f.Truncate(limit + 1));
    }
    tvtest::CapturedLog log;
    EXPECT_THROW(CFileStream(dir / "big.bin", plat::FileMode::ReadExisting, FileShare::Read),
                 EFileOpenError);  // its size would not fit
    CFileStream s(dir / "edge.bin", plat::FileMode::ReadWriteAlways, FileShare::None);
    EXPECT_EQ(s.Seek(limit + 100), 0xFFFFFFFDu);
    EXPECT_EQ(s.Write("0123456789", 10), 2u);  // up to the last 32-bit position, no further
    EXPECT_EQ(s.GetSize(), 0xFFFFFFFFu);
    EXPECT_EQ(s.Write("x", 1), 0u);
}

TEST(PartitionStream, ReadOnlyInsideTheWindowAndClonesKeepTheirOwnPosition) {
    TempDir dir;
    const std::string data = Pattern(300);
    tvtest::WriteFile(dir / "f.bin", data);
    CFilePartitionStream p(100, 120, dir / "f.bin", plat::FileMode::ReadExisting, FileShare::Read);
    EXPECT_EQ(p.GetSize(), 120u);
    p.Seek(90);
    char buf[100];
    EXPECT_EQ(p.Read(buf, 100), 30u);
    EXPECT_EQ(std::string(buf, 30), data.substr(190, 30));
    EXPECT_EQ(p.Seek(-50), 100u);  // never before the window; the answer is the file's position
    ASSERT_EQ(p.Read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), data.substr(100, 4));
    std::unique_ptr<IStream> clone(p.Clone());
    EXPECT_EQ(ReadAll(*clone), data.substr(104, 116));
    EXPECT_EQ(p.Tell(), 4u);
    CFilePartitionStream pastEnd(280, 100, dir / "f.bin", plat::FileMode::ReadExisting, FileShare::Read);
    EXPECT_EQ(ReadAll(pastEnd).size(), 20u);
    EXPECT_EQ(Thrown<EWriteError>([&] { p.Write("x", 1); }),
              "Write(): 書き込みが禁止されています. @trivale::CFilePartitionStream");
    EXPECT_THROW(p.SetSize(1), EWriteError);
    EXPECT_EQ(tvtest::ReadFile(dir / "f.bin"), data);
}
