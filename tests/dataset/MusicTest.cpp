// The show's music: every track decodes through the engine's own readers, has the format and length
// the show is timed for, fades in and out cleanly, plays the same again after a rewind, and comes out
// the same on every build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/MemoryStream.h"
#include "devices/Sound.h"
#include "tests/dataset/DataSetTestSupport.h"

namespace {

using trivale::dataset::DataSet;

const DataSet& Music() { return datasettest::Built<trivale::dataset::AddMusic>(); }

struct Track {
    const char* name;
    std::uint32_t rate;
    std::uint16_t channels;
    double seconds;
};

const Track kTracks[] = {
    {"music\\winter.ogg", 44100, 2, 150.0},
    {"music\\lake.ogg", 44100, 2, 70.0},
    {"music\\results.wav", 22050, 1, 12.0},
};

// Largest magnitude over a run of samples, as a fraction of full scale.
double Peak(const std::vector<std::int16_t>& s, std::size_t first, std::size_t last) {
    int top = 0;
    for (std::size_t i = first; i < last; ++i) top = std::max(top, std::abs(static_cast<int>(s[i])));
    return top / 32768.0;
}

TEST(MusicTest, EveryTrackDecodesThroughTheEngineReaders) {
    EXPECT_EQ(std::size(kTracks), Music().Files().size());
    for (const Track& t : kTracks) {
        SCOPED_TRACE(t.name);
        ASSERT_TRUE(Music().Has(t.name));
        const auto& bytes = Music().Get(t.name);
        trivale::CMemoryStream stream;
        stream.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        stream.Seek(0);
        auto reader = trivale::OpenSoundReader(stream);
        ASSERT_NE(nullptr, reader);
        const auto* f = reader->GetFormat();
        ASSERT_NE(nullptr, f);
        EXPECT_TRUE(plat::IsPlayableFormat(*f));
        EXPECT_EQ(t.rate, f->samplesPerSec);
        EXPECT_EQ(t.channels, f->channels);
        EXPECT_EQ(16, f->bitsPerSample);

        std::vector<std::int16_t> pcm(reader->GetDataSize() / 2 + 1);
        std::uint32_t got = 0;
        while (const std::uint32_t n = reader->Read(reinterpret_cast<char*>(pcm.data()) + got,
                                                    static_cast<std::uint32_t>(pcm.size() * 2) - got))
            got += n;
        EXPECT_EQ(reader->GetDataSize(), got);
        pcm.resize(got / 2);
        const double seconds = static_cast<double>(pcm.size()) / t.channels / t.rate;
        EXPECT_NEAR(t.seconds, seconds, 0.05);

        // Music all the way, quiet at both ends, loud nowhere near clipping.
        const std::size_t tenth = static_cast<std::size_t>(0.1 * t.rate) * t.channels;
        EXPECT_LT(Peak(pcm, 0, tenth), 0.02);
        EXPECT_LT(Peak(pcm, pcm.size() - tenth, pcm.size()), 0.02);
        const std::size_t second = static_cast<std::size_t>(t.rate) * t.channels;
        for (std::size_t at = second; at + 2 * second < pcm.size(); at += second)
            ASSERT_GT(Peak(pcm, at, at + second), 0.05) << "silent at " << at / second << " s";
        EXPECT_LT(Peak(pcm, 0, pcm.size()), 0.95);

        // A track that loops plays the same every time round.
        EXPECT_EQ(0, reader->Rewind());
        std::vector<std::int16_t> again(pcm.size() + 1);
        got = 0;
        while (const std::uint32_t n = reader->Read(reinterpret_cast<char*>(again.data()) + got,
                                                    static_cast<std::uint32_t>(again.size() * 2) - got))
            got += n;
        again.resize(got / 2);
        EXPECT_TRUE(again == pcm);
    }
}

}  // namespace
