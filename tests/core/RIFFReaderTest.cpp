#include <gtest/gtest.h>

#include <memory>

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

std::string Chunk(const std::string& id, const std::string& data, bool pad = false) {
    const std::string padding(pad && data.size() % 2 ? 1 : 0, '\0');
    return id + LE32(static_cast<std::uint32_t>(data.size())) + data + padding;
}

std::string Riff(const std::string& form, const std::string& body) {
    return "RIFF" + LE32(static_cast<std::uint32_t>(4 + body.size())) + form + body;
}

// A reader over its own memory stream.
struct Reader {
    explicit Reader(const std::string& bytes) {
        stream.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        reader.Open(&stream);
    }
    std::string ReadChunk(std::uint32_t fourcc) {
        reader.SelectChunk(fourcc);
        std::string out(static_cast<std::size_t>(reader.GetChunkSize()) + 8, '\0');
        out.resize(reader.Read(&out[0], static_cast<std::int32_t>(out.size())));
        return out;
    }
    CMemoryStream stream;
    CRIFFReader reader;
};

}  // namespace

TEST(RIFFReader, FormsChunksClampedReadsAndDuplicates) {
    for (const std::string& bytes : {"RIFX" + LE32(4) + "WAVE", std::string()})
        EXPECT_EQ(tvtest::Thrown<EInvalidFileFormat>([&] { Reader r(bytes); }),
                  "ファイルフォーマットエラー: RIFFファイルではありません. @trivale::CRIFFReader");
    Reader empty(Riff("WAVE", ""));
    EXPECT_EQ(empty.reader.GetFormType(), 0x45564157u);
    EXPECT_EQ(tvtest::Thrown<EReadError>([&] { empty.reader.SelectChunk(kData); }),
              "指定されたRIFFチャンクが見つかりません - \"data\"(0x61746164) @trivale::CRIFFReader");
    Reader r(Riff("TEST", Chunk("fmt ", std::string(40, 'f')) + Chunk("data", "one") + Chunk("data", "DATA")));
    r.reader.SelectChunk(kFmt);
    EXPECT_EQ(r.reader.GetChunkOffset(), 20u);
    char buf[100];
    EXPECT_EQ((std::vector<uint32_t>{r.reader.Read(buf, 100), r.reader.Read(buf, 100), r.reader.Read(buf, -1)}),
              (std::vector<uint32_t>{40, 0, 0}));
    EXPECT_EQ(r.ReadChunk(kData), "DATA");  // the later of two equal chunks
}

// Sound files pad odd chunks to a word; the engine's own object form is written without.
TEST(RIFFReader, PaddingOnlyInTheWaveForm) {
    Reader object(Riff("TV3O", Chunk("head", "abc") + Chunk("data", "wxyz")));
    EXPECT_EQ(object.ReadChunk(kHead), "abc");
    EXPECT_EQ(object.ReadChunk(kData), "wxyz");
    EXPECT_EQ(object.reader.GetChunkOffset(), 12u + 8 + 3 + 8);
    Reader wave(Riff("WAVE", Chunk("LIST", "odd", true) + Chunk("fmt ", std::string(16, 'f')) + Chunk("data", "pcm!")));
    wave.reader.SelectChunk(kFmt);
    EXPECT_EQ(wave.reader.GetChunkOffset(), 12u + 8 + 4 + 8);
    EXPECT_EQ(wave.ReadChunk(kData), "pcm!");
    EXPECT_EQ(Reader(Riff("WAVE", Chunk("data", "abc"))).ReadChunk(kData), "abc");  // the pad missing at the end
}

TEST(RIFFReader, OpenSharedKeepsTheStreamAliveAndReopenRebuildsTheTable) {
    std::shared_ptr<CMemoryStream> s = std::make_shared<CMemoryStream>();
    const std::string bytes = Riff("TEST", Chunk("data", "kept"));
    s->Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    Reader r(Riff("TEST", Chunk("head", "1")));
    EXPECT_EQ(r.ReadChunk(kHead), "1");
    r.reader.OpenShared(s);
    s.reset();
    EXPECT_THROW(r.reader.SelectChunk(kHead), EReadError);
    EXPECT_EQ(r.ReadChunk(kData), "kept");
}

// Hostile sizes: each of these once could loop for ever, wrap or read past the data.
TEST(RIFFReaderHostile, SizesThatRunPastTheData) {
    Reader wrap("RIFF" + LE32(100) + "TEST" + "data" + LE32(0xFFFFFFF8u) + std::string(80, 'z'));
    EXPECT_EQ(wrap.ReadChunk(kData), std::string(80, 'z'));  // what the data really holds
    Reader riffSize("RIFF" + LE32(0xFFFFFFFFu) + "TEST" + Chunk("data", "abc"));
    EXPECT_EQ(riffSize.ReadChunk(kData), "abc");
    for (std::uint32_t size : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        Reader r("RIFF" + LE32(0xFFFFFFFFu) + "TEST" + "data" + LE32(size) + "abcdef");
        EXPECT_EQ(r.ReadChunk(kData), "abcdef") << size;
        EXPECT_EQ(r.reader.GetChunkSize(), 6);
    }
    Reader cutHeader(Riff("TEST", Chunk("data", "ab") + "fm"));
    EXPECT_EQ(cutHeader.ReadChunk(kData), "ab");
    EXPECT_THROW(cutHeader.reader.SelectChunk(kFmt), EReadError);
}
