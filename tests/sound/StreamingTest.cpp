// The streamed sound on a manual clock: the test renders the output block by block and lets the
// worker catch up after each block, so every run hears exactly the same samples.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>

#include "SoundTestUtil.h"
#include "devices/DXSound.h"
#include "devices/OggVorbisReader.h"
#include "devices/StreamingSound.h"
#include "devices/WaveSoundReader.h"

using namespace trivale;
using namespace soundtest;

namespace {

constexpr auto kPatience = std::chrono::seconds(60);

class CTestStreamingSound : public CStreamingSound {
public:
    using CStreamingSound::CStreamingSound;
    // True once the worker has taken every notification (or has ended).
    bool WaitIdle() { return !events_ || events_->WaitIdle(kPatience); }
    bool IsFading() const { return fading_; }
    uint32_t BufferBytes() const { return desc_.bytes; }
    uint32_t SegmentBytes() const { return segmentSize_; }
};

class StreamingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(device.Initialize()); }

    plat::Mixer& Mixer() { return device.GetDirectSound()->GetMixer(); }

    // Renders `frames` output frames in blocks, waiting for the worker after each block.
    std::vector<int16_t> Pump(CTestStreamingSound& s, size_t frames, size_t block = 1024) {
        std::vector<int16_t> out(frames * 2);
        for (size_t done = 0; done < frames;) {
            const size_t n = std::min(block, frames - done);
            Mixer().Render(out.data() + done * 2, n);
            EXPECT_TRUE(s.WaitIdle());
            done += n;
        }
        return out;
    }

    void Start(CTestStreamingSound& s) {
        s.Play();
        ASSERT_TRUE(s.WaitIdle());
        ASSERT_TRUE(s.IsPlaying());
    }

    ManualOutput manual;
    CDXSound device;
};

// Index of the first mismatch between `out` and the ramp (repeating every `period` frames), or -1.
long FirstRampMismatch(const std::vector<int16_t>& out, size_t frames, size_t period = 0) {
    for (size_t i = 0; i < frames; ++i) {
        const size_t k = period ? i % period : i;
        if (out[2 * i] != RampLeft(k) || out[2 * i + 1] != RampRight(k)) return static_cast<long>(i);
    }
    return -1;
}

// A WAVE reader whose first read waits until the test lets it go: the worker is then held inside
// its first fill, before it starts the buffer.
class CGatedReader : public CWaveSoundReader {
public:
    explicit CGatedReader(const std::string& file) : stream_(NewStream(file)) { Open(stream_.get()); }
    uint32_t Read(void* buffer, uint32_t bytes) override {
        if (first_.exchange(false)) {
            entered.set_value();
            open.get_future().wait();
        }
        return CWaveSoundReader::Read(buffer, bytes);
    }
    std::promise<void> entered, open;

private:
    std::unique_ptr<IStream> stream_;
    std::atomic<bool> first_{true};
};

}  // namespace

TEST_F(StreamingTest, BufferIsTwoSecondsInSixteenSegmentsOfAFormatTheOutputPlays) {
    // 24 bits the mixer cannot play; under sixteen blocks a second the buffer would come out empty.
    const struct {
        uint16_t channels;
        uint32_t rate;
        uint16_t bits;
        uint32_t buffer, segment;  // 0: refused
    } cases[] = {{2, 44100, 16, 352768, 22048}, {1, 22050, 16, 88192, 5512}, {2, 44100, 24, 0, 0}, {1, 500, 8, 0, 0}};
    for (const auto& c : cases) {
        CTestStreamingSound s;
        auto src = NewStream(MakeWave(c.channels, c.rate, c.bits, std::string(600, '\0')));
        const std::string thrown = tvtest::Thrown<EReadError>([&] { s.Create(&device, *src); });
        if (c.buffer == 0) {
            EXPECT_EQ(0u, thrown.find("サウンドバッファの作成に失敗しました. @")) << thrown;
            EXPECT_NE(std::string::npos, thrown.find("CTestStreamingSound")) << thrown;
            EXPECT_EQ(nullptr, s.GetFormat());
            s.Play();
            EXPECT_FALSE(s.IsPlaying());
            continue;
        }
        EXPECT_EQ("nothing thrown", thrown);
        EXPECT_EQ(c.buffer, s.BufferBytes());
        EXPECT_EQ(c.segment, s.SegmentBytes());
        EXPECT_EQ(c.rate, s.GetFormat()->samplesPerSec);
        EXPECT_FALSE(s.IsPlaying());
    }
}

TEST_F(StreamingTest, RampPlaysOutInOrderAcrossManyWrapsThenStops) {
    const size_t longRamp = 44100 * 9 + 777;  // four and a half buffers, ending inside a segment
    const struct {
        const char* name;
        std::string file;
        size_t frames, block;
    } cases[] = {
        // Blocks longer than a segment leave two flags pending at once, at the wrap too (15 and 0).
        {"blocks of 1024", RampWave(longRamp), longRamp, 1024},
        {"blocks of 7000", RampWave(longRamp), longRamp, 7000},
        {"regression: oversized data chunk still ends",
         Riff("WAVE",
              Chunk("fmt ", FmtBody(1, 2, 44100, 16)) + "data" + LE32(0xFFFFFFFFu) + Samples16(StereoRamp(30000))),
         30000, 1024},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CTestStreamingSound s;
        s.Create(&device, *NewStream(c.file));
        Start(s);
        auto out = Pump(s, c.frames + 44100 / 2, c.block);
        EXPECT_EQ(-1, FirstRampMismatch(out, c.frames));
        for (size_t i = c.frames; i < c.frames + 11025; ++i)
            ASSERT_EQ(0, out[2 * i]) << "silence after the end, frame " << i;
        EXPECT_FALSE(s.IsPlaying()) << "stops within a segment or two of the end";
    }
}

TEST_F(StreamingTest, ShortPieceIsPaddedWithCentredSilenceAndEndsItsWorker) {
    // 500 frames of 8-bit mono, far less than one segment; 8-bit silence is 0x80.
    CTestStreamingSound s;
    s.Create(&device, *NewStream(MakeWave(1, 44100, 8, std::string(500, '\xC0'))));
    Start(s);
    auto out = Pump(s, 44100);
    for (size_t i = 0; i < 44100; ++i) ASSERT_EQ(i < 500 ? 0x40 * 256 : 0, out[2 * i]) << i;
    EXPECT_FALSE(s.IsPlaying());
    EXPECT_EQ(0u, s.GetPlayPosition());
}

TEST_F(StreamingTest, LoopingPieceContinuesFromTheStartInTheSameSegment) {
    const size_t period = 30011;  // not a multiple of a segment
    CTestStreamingSound s;
    s.SetLoop(true);
    s.Create(&device, *NewStream(RampWave(period)));
    Start(s);
    const size_t frames = 44100 * 5;
    auto out = Pump(s, frames);
    EXPECT_EQ(-1, FirstRampMismatch(out, frames, period));
    EXPECT_TRUE(s.IsPlaying());
    EXPECT_EQ(frames * 4, s.GetPlayPosition());
    EXPECT_NEAR(5.0, s.GetPlayTime(), 1e-9);
    s.Stop();
    EXPECT_FALSE(s.IsPlaying());
}

TEST_F(StreamingTest, RewindStartsOverPlayingStoppedOrStarting) {
    CTestStreamingSound s;
    s.Create(&device, *NewStream(RampWave(44100 * 6)));
    s.Play();
    s.Play();  // still starting: no second worker
    for (size_t seconds : {3, 2}) {
        s.Rewind();  // waits for a starting worker
        ASSERT_TRUE(s.WaitIdle());
        EXPECT_TRUE(s.IsPlaying());
        EXPECT_EQ(-1, FirstRampMismatch(Pump(s, 44100 * seconds), 44100 * seconds));
    }
    s.Stop();
    ASSERT_TRUE(s.WaitIdle());
    s.Rewind();
    EXPECT_FALSE(s.IsPlaying());
    Start(s);
    EXPECT_EQ(-1, FirstRampMismatch(Pump(s, 44100), 44100));
}

TEST_F(StreamingTest, RegressionStopWhileTheWorkerFillsIsNotLost) {
    auto reader = std::make_shared<CGatedReader>(RampWave(44100 * 3));
    CTestStreamingSound s;
    s.Create(&device, reader);
    s.Play();
    ASSERT_EQ(std::future_status::ready, reader->entered.get_future().wait_for(kPatience));
    s.Stop();  // nothing plays yet: the worker must not start the buffer afterwards
    reader->open.set_value();
    ASSERT_TRUE(s.WaitIdle());
    EXPECT_FALSE(s.IsPlaying());
    s.Play();  // and a later Play starts it as usual
    ASSERT_TRUE(s.WaitIdle());
    EXPECT_TRUE(s.IsPlaying());
}

TEST_F(StreamingTest, SharedReaderStaysWithTheCaller) {
    auto reader = std::make_shared<CWaveSoundReader>();
    reader->OpenShared(NewStream(RampWave(5000)));
    {
        CTestStreamingSound s;
        s.Create(&device, reader);
        Start(s);
        EXPECT_EQ(-1, FirstRampMismatch(Pump(s, 5000), 5000));
    }
    EXPECT_EQ(1, reader.use_count());
    EXPECT_EQ(5000u * 4, reader->GetPosition());
}

TEST_F(StreamingTest, FadeInRisesToTheEarlierVolume) {
    CTestStreamingSound s(plat::kBufferCtrlVolume);
    s.Create(&device, *NewStream(RampWave(44100 * 4)));
    s.SetVolume(-500);
    s.FadeIn(1000);
    EXPECT_EQ(-10000, s.GetVolume());
    ASSERT_TRUE(s.WaitIdle());
    EXPECT_TRUE(s.IsPlaying());
    Pump(s, 44100 + 100);
    EXPECT_TRUE(WaitFor([&] { return !s.IsFading(); }));
    EXPECT_EQ(-500, s.GetVolume());
    EXPECT_TRUE(s.IsPlaying());
}

TEST_F(StreamingTest, RegressionFadeOutVolumesStayOnTheScale) {
    // Every step of a fade-out lies between its ends (unsigned arithmetic once made them positive);
    // a second fade while fading does nothing; the fade ends silent and stopped.
    CTestStreamingSound s(plat::kBufferCtrlVolume);
    s.Create(&device, *NewStream(RampWave(44100 * 6)));
    s.SetVolume(-300);
    Start(s);
    s.FadeOut(1000);
    EXPECT_TRUE(s.IsFading());
    s.FadeOut(100);
    const int64_t a = DecibelsToLinearVolume(-300);
    for (int64_t ms = 100; ms < 1000; ms += 100) {
        Pump(s, 4410);
        const int32_t want = LinearVolumeToDecibels(static_cast<int32_t>(a + ms * (-10000 - a) / 1000));
        EXPECT_TRUE(WaitFor([&] { return s.GetVolume() == want; })) << ms << " ms: " << s.GetVolume();
    }
    EXPECT_TRUE(s.IsPlaying());
    Pump(s, 4410 * 2);
    EXPECT_TRUE(WaitFor([&] { return !s.IsFading(); }));
    EXPECT_EQ(-10000, s.GetVolume());
    EXPECT_FALSE(s.IsPlaying());
}

TEST_F(StreamingTest, FadeOutRightAfterPlayStillStops) {
    CTestStreamingSound s(plat::kBufferCtrlVolume);
    s.Create(&device, *NewStream(RampWave(44100 * 3)));
    s.Play();
    s.FadeOut(0);
    EXPECT_TRUE(WaitFor([&] { return !s.IsFading(); }));
    ASSERT_TRUE(s.WaitIdle());
    EXPECT_FALSE(s.IsPlaying());
    EXPECT_EQ(-10000, s.GetVolume());
}

TEST_F(StreamingTest, ReleaseDuringAFadeOrAfterTheDeviceJoinsBothWorkers) {
    auto src = NewStream(RampWave(44100 * 3));
    auto fading = std::make_unique<CTestStreamingSound>(plat::kBufferCtrlVolume);
    auto playing = std::make_unique<CTestStreamingSound>();
    fading->Create(&device, *src);
    playing->Create(&device, *src);
    Start(*fading);
    Start(*playing);
    fading->FadeOut(5000);
    Pump(*fading, 2048);
    fading.reset();     // must not hang or leave a thread behind
    device.Finalize();  // shut-down deletes the device before the music
    playing.reset();
}

TEST_F(StreamingTest, RegressionReadFailureInTheWorkerStopsTheSound) {
    CFailingStream src(RampWave(44100 * 6), 44100 * 4 * 3);  // fails three seconds in
    CTestStreamingSound s;
    s.Create(&device, src);
    CapturedLog log;
    Start(s);
    auto out = Pump(s, 44100 * 4);
    // Whole segments up to the failing read still play, then silence, then the sound stops.
    const size_t heard = 24 * 22048 / 4;
    EXPECT_EQ(-1, FirstRampMismatch(out, heard));
    for (size_t i = heard; i < heard + 5000; ++i) ASSERT_EQ(0, out[2 * i]) << i;
    EXPECT_FALSE(s.IsPlaying());
    const std::string text = log.Text();
    EXPECT_NE(std::string::npos, text.find("ファイルストリームの読み込みに失敗しました.")) << text;
    EXPECT_NE(std::string::npos, text.find("devices/StreamingSound.cpp(")) << text;
}
