#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "TestUtil.h"
#include "core/Exception.h"
#include "core/MemoryStream.h"
#include "core/RIFFReader.h"

using namespace trivale;
using tvtest::LE32;

namespace {

const std::uint32_t kData = CRIFFReader::MakeFourCC('d', 'a', 't', 'a');
const std::uint32_t kFmt = CRIFFReader::MakeFourCC('f', 'm', 't', ' ');
const std::uint32_t kHead = CRIFFReader::MakeFourCC('h', 'e', 'a', 'd');
const std::uint32_t kBody = CRIFFReader::MakeFourCC('b', 'o', 'd', 'y');

std::string Chunk(const std::string& id, const std::string& data, bool pad = false) {
    std::string c = id + LE32(static_cast<std::uint32_t>(data.size())) + data;
    if (pad && data.size() % 2) c += '\0';
    return c;
}

std::string Riff(const std::string& form, const std::string& body) {
    return "RIFF" + LE32(static_cast<std::uint32_t>(4 + body.size())) + form + body;
}

void Load(CMemoryStream& s, const std::string& bytes) {
    s.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    s.Seek(0);
}

std::string ReadChunk(CRIFFReader& r, std::uint32_t fourcc) {
    r.SelectChunk(fourcc);
    std::string out(static_cast<std::size_t>(r.GetChunkSize()) + 8, '\0');
    std::uint32_t got = r.Read(&out[0], static_cast<std::int32_t>(out.size()));
    out.resize(got);
    return out;
}

}  // namespace

TEST(RIFFReader, FourCCValues) {
    EXPECT_EQ(kData, 0x61746164u);
    EXPECT_EQ(kFmt, 0x20746D66u);
    EXPECT_EQ(CRIFFReader::MakeFourCC('W', 'A', 'V', 'E'), 0x45564157u);
    EXPECT_EQ(CRIFFReader::MakeFourCC('R', 'I', 'F', 'F'), 0x46464952u);
}

TEST(RIFFReader, NotARiffFile) {
    CMemoryStream s;
    Load(s, "RIFX" + LE32(4) + "WAVE");
    CRIFFReader r;
    try {
        r.Open(&s);
        FAIL();
    } catch (const EInvalidFileFormat& e) {
        EXPECT_EQ(e.GetMessage(), "ファイルフォーマットエラー: RIFFファイルではありません.");
        EXPECT_EQ(e.GetOrigin(), "trivale::CRIFFReader");
    }
    CMemoryStream empty;
    EXPECT_THROW(r.Open(&empty), EInvalidFileFormat);
}

TEST(RIFFReader, EmptyFormHasNoChunks) {
    CMemoryStream s;
    Load(s, Riff("WAVE", ""));
    ASSERT_EQ(s.GetSize(), 12u);
    CRIFFReader r;
    r.Open(&s);
    EXPECT_EQ(r.GetFormType(), 0x45564157u);
    try {
        r.SelectChunk(kData);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_EQ(e.GetMessage(), "指定されたRIFFチャンクが見つかりません - \"data\"(0x61746164)");
        EXPECT_EQ(e.GetOrigin(), "trivale::CRIFFReader");
    }
}

TEST(RIFFReader, ChunkOffsetsAndClampedReads) {
    CMemoryStream s;
    Load(s, Riff("TEST", Chunk("fmt ", std::string(40, 'f')) + Chunk("data", "DATA")));
    CRIFFReader r;
    r.Open(&s);
    r.SelectChunk(kFmt);
    EXPECT_EQ(r.GetChunkOffset(), 20u);
    EXPECT_EQ(r.GetChunkSize(), 40);
    char buf[100];
    EXPECT_EQ(r.Read(buf, 100), 40u);
    EXPECT_EQ(r.Read(buf, 100), 0u);
    EXPECT_EQ(r.Read(buf, -1), 0u);
    EXPECT_EQ(ReadChunk(r, kData), "DATA");
}

TEST(RIFFReader, OwnObjectFormIsUnpadded) {
    // A 3-byte chunk followed at once by the next header.
    CMemoryStream s;
    Load(s, Riff("TV3O", Chunk("head", "abc") + Chunk("body", "wxyz")));
    CRIFFReader r;
    r.Open(&s);
    EXPECT_EQ(ReadChunk(r, kHead), "abc");
    r.SelectChunk(kBody);
    EXPECT_EQ(r.GetChunkOffset(), 12u + 8 + 3 + 8);
    EXPECT_EQ(ReadChunk(r, kBody), "wxyz");
}

TEST(RIFFReader, WaveFormHonoursWordPadding) {
    CMemoryStream s;
    Load(s, Riff("WAVE", Chunk("LIST", "odd", true) + Chunk("fmt ", std::string(16, 'f')) + Chunk("data", "pcm!")));
    CRIFFReader r;
    r.Open(&s);
    r.SelectChunk(kFmt);
    EXPECT_EQ(r.GetChunkOffset(), 12u + 8 + 4 + 8);
    EXPECT_EQ(ReadChunk(r, kData), "pcm!");
}

TEST(RIFFReader, LaterDuplicateWins) {
    CMemoryStream s;
    Load(s, Riff("TEST", Chunk("data", "one") + Chunk("data", "two!")));
    CRIFFReader r;
    r.Open(&s);
    EXPECT_EQ(ReadChunk(r, kData), "two!");
}

TEST(RIFFReader, OpenSharedKeepsTheStreamAlive) {
    boost::shared_ptr<CMemoryStream> s = boost::make_shared<CMemoryStream>();
    Load(*s, Riff("TEST", Chunk("data", "kept")));
    CRIFFReader r;
    r.OpenShared(s);
    s.reset();
    EXPECT_EQ(ReadChunk(r, kData), "kept");
}

// Hostile sizes: each of these once could loop for ever, wrap or read past the data.
TEST(RIFFReaderHostile, HugeChunkSizeThatWrapsBackToItsOwnHeader) {
    CMemoryStream s;
    Load(s, "RIFF" + LE32(100) + "TEST" + "loop" + LE32(0xFFFFFFF8u) + std::string(80, 'z'));
    CRIFFReader r;
    r.Open(&s);  // ends
    r.SelectChunk(CRIFFReader::MakeFourCC('l', 'o', 'o', 'p'));
    EXPECT_EQ(r.GetChunkSize(), 80);  // what the data really holds
    char buf[200];
    EXPECT_EQ(r.Read(buf, 200), 80u);
}

TEST(RIFFReaderHostile, RiffSizeBeyondTheStream) {
    CMemoryStream s;
    Load(s, "RIFF" + LE32(0xFFFFFFFFu) + "TEST" + Chunk("data", "abc"));
    CRIFFReader r;
    r.Open(&s);
    EXPECT_EQ(ReadChunk(r, kData), "abc");
}

TEST(RIFFReaderHostile, ChunkSizesAtTheSignedLimits) {
    for (std::uint32_t size : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        CMemoryStream s;
        Load(s, "RIFF" + LE32(0xFFFFFFFFu) + "TEST" + "data" + LE32(size) + "abcdef");
        CRIFFReader r;
        r.Open(&s);
        r.SelectChunk(kData);
        EXPECT_EQ(r.GetChunkSize(), 6) << size;
        EXPECT_EQ(ReadChunk(r, kData), "abcdef");
    }
}

TEST(RIFFReaderHostile, TruncatedChunkHeaderIsIgnored) {
    CMemoryStream s;
    Load(s, Riff("TEST", Chunk("data", "ab") + "fm"));
    CRIFFReader r;
    r.Open(&s);
    EXPECT_EQ(ReadChunk(r, kData), "ab");
    EXPECT_THROW(r.SelectChunk(kFmt), EReadError);
}

TEST(RIFFReaderHostile, PaddingAtTheVeryEnd) {
    CMemoryStream s;
    Load(s, Riff("WAVE", Chunk("data", "abc")));  // odd chunk, pad byte missing
    CRIFFReader r;
    r.Open(&s);
    EXPECT_EQ(ReadChunk(r, kData), "abc");
}

TEST(RIFFReader, ReopenRebuildsTheTable) {
    CMemoryStream a, b;
    Load(a, Riff("TEST", Chunk("head", "1")));
    Load(b, Riff("TEST", Chunk("body", "2")));
    CRIFFReader r;
    r.Open(&a);
    EXPECT_EQ(ReadChunk(r, kHead), "1");
    r.Open(&b);
    EXPECT_THROW(r.SelectChunk(kHead), EReadError);
    EXPECT_EQ(ReadChunk(r, kBody), "2");
}
