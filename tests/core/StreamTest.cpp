#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "TestUtil.h"
#include "core/Exception.h"
#include "core/FileStream.h"
#include "core/MemoryStream.h"

using namespace trivale;

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

std::string ReadAll(IStream& s, std::uint32_t max = 1u << 24) {
    std::string out;
    char buf[4096];
    while (out.size() < max) {
        std::uint32_t got = s.Read(buf, sizeof buf);
        if (got == 0) break;
        out.append(buf, got);
    }
    return out;
}

// Counts the passes of a copy and can hand out short reads.
class CRecordingStream : public CMemoryStream {
public:
    std::vector<std::uint32_t> reads;
    std::uint32_t shortReadAt = 0;  // byte count after which reads return less
    std::uint32_t Read(void* buffer, std::uint32_t count) override {
        reads.push_back(count);
        if (shortReadAt && Tell() + count > shortReadAt) count = shortReadAt > Tell() ? shortReadAt - Tell() : 0;
        return CMemoryStream::Read(buffer, count);
    }
};

}  // namespace

// ---- Memory streams ------------------------------------------------------------------------------

TEST(MemoryStream, GrowsOnWriteAndKeepsPositionOnShrink) {
    CMemoryStream s;
    EXPECT_EQ(s.GetBuffer(), nullptr);
    EXPECT_EQ(s.GetSize(), 0u);
    Fill(s, "abcd");
    s.Seek(4);
    EXPECT_EQ(s.Write("0123456789", 10), 10u);
    EXPECT_EQ(s.GetSize(), 14u);
    EXPECT_EQ(s.Tell(), 14u);
    s.SetSize(2);
    EXPECT_EQ(s.Tell(), 14u);
    char c;
    EXPECT_EQ(s.Read(&c, 1), 0u);
    s.Seek(0);
    char two[3] = {};
    EXPECT_EQ(s.Read(two, 3), 2u);
    EXPECT_EQ(std::string(two, 2), "ab");
}

TEST(MemoryStream, WritePastTheEndZeroFillsTheGap) {
    CMemoryStream t;
    Fill(t, "abcdef");
    t.Seek(6);
    t.SetSize(1);
    EXPECT_EQ(t.Write("Z", 1), 1u);
    ASSERT_EQ(t.GetSize(), 7u);
    const char* b = static_cast<const char*>(t.GetBuffer());
    EXPECT_EQ(std::string(b, 7), std::string("a\0\0\0\0\0Z", 7));
}

TEST(MemoryStream, SeekClampsAndReturnsThePosition) {
    CMemoryStream s;
    Fill(s, "0123456789");
    EXPECT_EQ(s.Seek(-5), 0u);
    EXPECT_EQ(s.Tell(), 0u);
    EXPECT_EQ(s.Seek(110), 10u);
    EXPECT_EQ(s.Tell(), 10u);
    EXPECT_EQ(s.Seek(4), 4u);
}

TEST(MemoryStream, CloneCopiesBytesAndPosition) {
    CMemoryStream s;
    Fill(s, "hello world");
    s.Seek(6);
    std::unique_ptr<IStream> c(s.Clone());
    EXPECT_EQ(c->Tell(), 6u);
    EXPECT_EQ(ReadAll(*c), "world");
    EXPECT_EQ(s.Tell(), 6u);
    EXPECT_EQ(c->GetSize(), 11u);
}

TEST(MemoryStream, WriteThatWouldPassFourGigabytesIsRefused) {
    CMemoryStream s;
    Fill(s, "ab");
    s.Seek(1);
    EXPECT_EQ(s.Write("x", 0xFFFFFFFFu), 0u);  // never touches the source bytes
    EXPECT_EQ(s.GetSize(), 2u);
}

// ---- Strings -------------------------------------------------------------------------------------

TEST(StreamStrings, EmptyAndEmbeddedNul) {
    CMemoryStream s;
    EXPECT_EQ(s.WriteString(""), 4u);
    EXPECT_EQ(s.WriteString(std::string("ab\0cd", 5)), 9u);
    ASSERT_EQ(s.GetSize(), 13u);
    EXPECT_EQ(std::string(static_cast<const char*>(s.GetBuffer()), 4), std::string(4, '\0'));
    s.Seek(0);
    EXPECT_EQ(s.ReadString(), "");
    EXPECT_EQ(s.ReadString(), "ab");
    EXPECT_EQ(s.Tell(), 13u);  // the whole stored string was consumed
}

TEST(StreamStrings, LengthBeyondTheDataIsAReadError) {
    for (std::uint32_t length : {0xFFFFFFFFu, 0x80000000u, 6u}) {
        CMemoryStream s;
        std::string bytes = tvtest::LE32(length) + "abcde";
        Fill(s, bytes);
        try {
            s.ReadString();
            FAIL() << length;
        } catch (const EReadError& e) {
            EXPECT_NE(e.GetOrigin().find("CMemoryStream"), std::string::npos);
        }
    }
    CMemoryStream exact;
    Fill(exact, tvtest::LE32(5) + "abcde");
    EXPECT_EQ(exact.ReadString(), "abcde");
}

// ---- Copies --------------------------------------------------------------------------------------

TEST(StreamCopy, WholeSourceFromItsStartWhenCountIsZero) {
    CMemoryStream src;
    Fill(src, "0123456789");
    src.Seek(5);
    CMemoryStream dst;
    EXPECT_EQ(dst.CopyFrom(src, 0), 10u);
    EXPECT_EQ(std::string(static_cast<const char*>(dst.GetBuffer()), dst.GetSize()), "0123456789");
}

TEST(StreamCopy, CountClampedToWhatRemains) {
    CMemoryStream src;
    Fill(src, "0123456789");
    src.Seek(7);
    CMemoryStream dst;
    EXPECT_EQ(dst.CopyFrom(src, 100), 3u);
    EXPECT_EQ(dst.GetSize(), 3u);
}

TEST(StreamCopy, PassesOfEightKilobytes) {
    CRecordingStream src;
    std::string data = Pattern(20000);
    Fill(src, data);
    CMemoryStream dst;
    EXPECT_EQ(dst.CopyFrom(src, 20000), 20000u);
    EXPECT_EQ(src.reads, (std::vector<std::uint32_t>{8192, 8192, 3616}));
    EXPECT_EQ(std::string(static_cast<const char*>(dst.GetBuffer()), dst.GetSize()), data);
}

TEST(StreamCopy, ShortReadWritesOnlyWhatWasRead) {
    CRecordingStream src;
    Fill(src, Pattern(20000));
    src.shortReadAt = 10000;
    CMemoryStream dst;
    EXPECT_EQ(dst.CopyFrom(src, 20000), 10000u);
    EXPECT_EQ(dst.GetSize(), 10000u);
    EXPECT_EQ(std::string(static_cast<const char*>(dst.GetBuffer()), dst.GetSize()), Pattern(10000));
}

TEST(StreamCopy, SourcePastItsEndCopiesNothing) {
    tvtest::TempDir dir;
    tvtest::WriteFile(dir / "f.bin", Pattern(100));
    CFilePartitionStream part(10, 20, dir / "f.bin", 1, 1);
    part.Seek(50);  // a partition keeps positions past its window
    CMemoryStream dst;
    EXPECT_EQ(dst.CopyFrom(part, 5), 0u);
    EXPECT_EQ(dst.GetSize(), 0u);
}

// ---- File streams --------------------------------------------------------------------------------

TEST(FileStream, MissingFileIsAnOpenError) {
    tvtest::TempDir dir;
    tvtest::CapturedLog log;
    try {
        CFileStream s(dir / "nope.txt", 1, 1);
        FAIL();
    } catch (const EFileOpenError& e) {
        EXPECT_EQ(e.GetMessage(), "ファイルを開けませんでした: \"" + (dir / "nope.txt") + "\"");
        EXPECT_EQ(e.GetOrigin(), "trivale::CFileStream");
    }
    EXPECT_NE(log.Text().find("Win32Error(0x2)"), std::string::npos);
    EXPECT_THROW(CFileStream(dir / "x", 4, 1), EFileOpenError);
    EXPECT_THROW(CFileStream(dir.Path(), 1, 1), EFileOpenError);  // a directory is not a file
}

TEST(FileStream, ModesCreateTruncateAndKeep) {
    tvtest::TempDir dir;
    std::string path = dir / "f.bin";
    {
        CFileStream w(path, 0, 0);
        EXPECT_EQ(w.Write("hello", 5), 5u);
    }
    EXPECT_EQ(tvtest::ReadFile(path), "hello");
    {
        CFileStream rw(path, 3, 3);  // opens without truncating
        EXPECT_EQ(rw.GetSize(), 5u);
        rw.Seek(5);
        rw.Write("!", 1);
        rw.Seek(0);
        EXPECT_EQ(ReadAll(rw), "hello!");
    }
    {
        CFileStream w(path, 2, 0);  // truncates
        EXPECT_EQ(w.GetSize(), 0u);
    }
    {
        CFileStream created(dir / "new.bin", 3, 0);
        EXPECT_EQ(created.GetSize(), 0u);
    }
    EXPECT_EQ(plat::GetPathKind(dir / "new.bin"), plat::PathKind::File);
}

TEST(FileStream, BackslashesAreSeparators) {
    tvtest::TempDir dir;
    tvtest::WriteFile(dir / "sub/inner.txt", "x");
    CFileStream s(dir.Path() + "\\sub\\inner.txt", 1, 1);
    EXPECT_EQ(s.GetPath(), dir.Path() + "\\sub\\inner.txt");
    EXPECT_EQ(ReadAll(s), "x");
}

TEST(FileStream, ReadAtEndAndSeekClamps) {
    tvtest::TempDir dir;
    tvtest::WriteFile(dir / "f.bin", "0123456789");
    CFileStream s(dir / "f.bin", 1, 1);
    EXPECT_EQ(s.Seek(-5), 0u);
    EXPECT_EQ(s.Seek(110), 10u);
    char c;
    EXPECT_EQ(s.Read(&c, 1), 0u);
    s.Seek(8);
    char buf[10];
    EXPECT_EQ(s.Read(buf, 10), 2u);
    EXPECT_EQ(s.Read(buf, 10), 0u);
}

TEST(FileStream, SetSizeShortensButNeverLengthens) {
    tvtest::TempDir dir;
    std::string path = dir / "f.bin";
    CFileStream s(path, 0, 0);
    s.Write("0123456789", 10);
    s.SetSize(20);
    EXPECT_EQ(s.GetSize(), 10u);
    EXPECT_EQ(s.Tell(), 10u);
    s.SetSize(4);
    EXPECT_EQ(s.GetSize(), 4u);
    EXPECT_EQ(s.Tell(), 4u);
    EXPECT_EQ(tvtest::ReadFile(path), "0123");
}

TEST(FileStream, ReadingAWriteOnlyStreamIsAReadError) {
    tvtest::TempDir dir;
    tvtest::CapturedLog log;
    CFileStream s(dir / "w.bin", 0, 0);
    s.Write("abc", 3);
    s.Seek(0);
    char buf[3];
    EXPECT_THROW(s.Read(buf, 3), EReadError);
}

TEST(FileStream, CloneOfAWritingStreamKeepsTheData) {
    tvtest::TempDir dir;
    std::string path = dir / "w.bin";
    CFileStream s(path, 0, 0);
    s.Write("important", 9);
    std::unique_ptr<IStream> c(s.Clone());
    EXPECT_EQ(tvtest::ReadFile(path), "important");
    EXPECT_EQ(c->Tell(), 9u);
    c->Write("!", 1);
    EXPECT_EQ(tvtest::ReadFile(path), "important!");
}

TEST(FileStream, CloneReadsIndependently) {
    tvtest::TempDir dir;
    tvtest::WriteFile(dir / "f.bin", "abcdef");
    CFileStream s(dir / "f.bin", 1, 1);
    s.Seek(2);
    std::unique_ptr<IStream> c(s.Clone());
    EXPECT_EQ(c->Tell(), 2u);
    EXPECT_EQ(ReadAll(*c), "cdef");
    EXPECT_EQ(s.Tell(), 2u);
}

// ---- Partition streams ---------------------------------------------------------------------------

TEST(PartitionStream, ReadsStayInsideTheWindow) {
    tvtest::TempDir dir;
    std::string data = Pattern(300);
    tvtest::WriteFile(dir / "f.bin", data);
    CFilePartitionStream p(100, 120, dir / "f.bin", 1, 1);
    EXPECT_EQ(p.GetSize(), 120u);
    EXPECT_EQ(p.Tell(), 0u);
    p.Seek(90);
    char buf[100];
    EXPECT_EQ(p.Read(buf, 100), 30u);
    EXPECT_EQ(std::string(buf, 30), data.substr(190, 30));
    EXPECT_EQ(p.Read(buf, 100), 0u);
}

TEST(PartitionStream, NegativeSeekStopsAtTheWindowStart) {
    tvtest::TempDir dir;
    std::string data = Pattern(300);
    tvtest::WriteFile(dir / "f.bin", data);
    CFilePartitionStream p(100, 120, dir / "f.bin", 1, 1);
    EXPECT_EQ(p.Seek(-50), 0u);
    char buf[4];
    ASSERT_EQ(p.Read(buf, 4), 4u);
    EXPECT_EQ(std::string(buf, 4), data.substr(100, 4));
    EXPECT_EQ(p.Seek(500), 500u);  // not clamped...
    EXPECT_EQ(p.Read(buf, 4), 0u);  // ...and nothing to read there
}

TEST(PartitionStream, WritingIsForbidden) {
    tvtest::TempDir dir;
    tvtest::WriteFile(dir / "f.bin", Pattern(10));
    CFilePartitionStream p(0, 10, dir / "f.bin", 1, 1);
    try {
        p.Write("x", 1);
        FAIL();
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.GetMessage(), "Write(): 書き込みが禁止されています.");
        EXPECT_EQ(e.GetOrigin(), "trivale::CFilePartitionStream");
    }
    try {
        p.SetSize(1);
        FAIL();
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.GetMessage(), "SetSize(): 書き込みが禁止されています.");
    }
    EXPECT_EQ(tvtest::ReadFile(dir / "f.bin"), Pattern(10));
}

TEST(PartitionStream, CloneLeavesTheFirstPositionAlone) {
    tvtest::TempDir dir;
    std::string data = Pattern(64);
    tvtest::WriteFile(dir / "f.bin", data);
    CFilePartitionStream p(16, 32, dir / "f.bin", 1, 1);
    p.Seek(8);
    std::unique_ptr<IStream> c(p.Clone());
    EXPECT_EQ(c->Tell(), 8u);
    EXPECT_EQ(ReadAll(*c), data.substr(24, 24));
    EXPECT_EQ(p.Tell(), 8u);
    EXPECT_EQ(ReadAll(p), data.substr(24, 24));
}

TEST(PartitionStream, WindowPastTheEndOfTheFileReadsShort) {
    tvtest::TempDir dir;
    tvtest::WriteFile(dir / "f.bin", Pattern(50));
    CFilePartitionStream p(40, 100, dir / "f.bin", 1, 1);
    EXPECT_EQ(ReadAll(p).size(), 10u);
}

TEST(FileStream, PositionsNeverPassFourGigabytes) {
    tvtest::TempDir dir;
    const std::int64_t limit = 0xFFFFFFFFll;
    {
        plat::File f;
        ASSERT_TRUE(f.Open(dir / "edge.bin", plat::FileMode::CreateWrite));
        ASSERT_TRUE(f.Truncate(limit - 2));  // sparse
        ASSERT_TRUE(f.Open(dir / "big.bin", plat::FileMode::CreateWrite));
        ASSERT_TRUE(f.Truncate(limit + 1));
    }
    tvtest::CapturedLog log;
    EXPECT_THROW(CFileStream(dir / "big.bin", 1, 1), EFileOpenError);  // its size would not fit
    CFileStream s(dir / "edge.bin", 3, 0);
    EXPECT_EQ(s.GetSize(), 0xFFFFFFFDu);
    EXPECT_EQ(s.Seek(limit + 100), 0xFFFFFFFDu);
    EXPECT_EQ(s.Write("0123456789", 10), 2u);  // up to the last 32-bit position, no further
    EXPECT_EQ(s.GetSize(), 0xFFFFFFFFu);
    EXPECT_EQ(s.Write("x", 1), 0u);
}
