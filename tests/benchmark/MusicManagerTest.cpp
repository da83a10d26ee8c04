// The music manager over a manual sound output: the test renders the mix itself, so what is heard is
// exact. Tracks are shorter than the stream's two-second buffer, so no refill races the rendering.
#include <gtest/gtest.h>

#include <memory>

#include "benchmark/MusicManager.h"
#include "tests/sound/SoundTestUtil.h"

using namespace trivale;
using namespace soundtest;

namespace {

constexpr int16_t kLevel = 16000;

class MusicManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(device.Initialize());
        tvtest::WriteFile(dir / "flat.wav", MakeWave(2, 44100, 16, Samples16(std::vector<int16_t>(132300, kLevel))));
        tvtest::WriteFile(dir / "ramp.wav", RampWave(8820));
    }
    // The loudest sample of the next `frames` frames.
    int Peak(size_t frames = 4410) {
        int peak = 0;
        for (int16_t s : Render(frames)) peak = std::max(peak, std::abs(static_cast<int>(s)));
        return peak;
    }
    std::vector<int16_t> Render(size_t frames) {
        std::vector<int16_t> out(frames * 2);
        device.GetDirectSound()->GetMixer().Render(out.data(), frames);
        return out;
    }
    // Whether the next `frames` frames are the ramp from `start`, round again after its end.
    bool RampFrom(size_t start, size_t frames) {
        const std::vector<int16_t> out = Render(frames);
        for (size_t i = 0; i < frames; ++i) {
            const size_t k = (start + i) % 8820;
            if (out[2 * i] != RampLeft(k) || out[2 * i + 1] != RampRight(k)) return false;
        }
        return true;
    }
    void Play(const std::string& name, bool loop = false) {
        music->Play(name, loop);
        ASSERT_TRUE(WaitFor([&] { return music->IsPlaying(); }));
    }

    ManualOutput manual;
    TempDir dir;
    CDXSound device;
    CFileSystemDataLoader loader{dir.Path() + "/"};
    std::unique_ptr<CMusicManager> music{new CMusicManager({[this] { return &loader; }, [this] { return &device; }})};
};

// Kept as given; heard through the scale's curve and the decibel gain, a value off the scale as its
// nearer end, on the next track and at once on the playing one.
TEST_F(MusicManagerTest, VolumeIsKeptAsGivenAndAppliesToThePlayingAndLaterTracks) {
    music->SetVolume(-2500);
    EXPECT_EQ(-2500, music->GetVolume());
    Play("flat.wav");
    EXPECT_NEAR(7900, Peak(), 2);
    for (auto [set, peak] : {std::pair{-20000, 0}, {500, int{kLevel}}, {-10000, 0}}) {
        music->SetVolume(set);
        EXPECT_EQ(set, music->GetVolume());
        EXPECT_EQ(peak, Peak()) << set;
    }
}

// The fade's steps are the stream's (StreamingTest); here the fade ends silent and stopped, at once
// when it is given no time, and the next track plays at the full volume again.
TEST_F(MusicManagerTest, FadeOutFallsToSilenceStopsAndLeavesTheVolumeForTheNextTrack) {
    for (int ms : {200, 0, -1, -2147483647 - 1}) {
        SCOPED_TRACE(ms);
        Play("flat.wav");
        EXPECT_EQ(kLevel, Peak());
        music->FadeOut(ms);
        // The fade runs on the output's clock; with no time it stops with no output rendered meanwhile.
        EXPECT_TRUE(WaitFor([&] { return (ms <= 0 || Peak(441) >= 0) && !music->IsPlaying(); }));
        EXPECT_EQ(0, Peak());
    }
    Play("flat.wav");
    music->FadeOut(60000);
    music.reset();  // the stream's workers are stopped mid-fade and joined
    EXPECT_EQ(0, Peak());
}

// The loader's failure is the only report: the manager logs nothing of its own, and the track before
// plays on, looped as it was. Without a ready device nothing plays and nothing is thrown.
TEST_F(MusicManagerTest, FailuresAreReportedOnceAndLeaveThePlayingTrack) {
    auto direct = std::make_unique<CapturedLog>();
    EXPECT_THROW(loader.Open("missing.ogg"), EFileOpenError);
    const std::string loaderLog = direct->Text();
    direct.reset();
    Play("ramp.wav", true);
    EXPECT_TRUE(RampFrom(0, 1000));
    {
        CapturedLog log;
        EXPECT_EQ("ファイルを開けませんでした: \"" + dir.Path() + "/missing.ogg\" @trivale::CFileStream",
                  tvtest::Thrown<EFileOpenError>([&] { music->Play("missing.ogg", false); }));
        EXPECT_EQ(loaderLog, log.Text());
    }
    EXPECT_TRUE(RampFrom(1000, 17000)) << "looped round";
    Play("ramp.wav");  // from the beginning again, and not looped
    EXPECT_TRUE(RampFrom(0, 8820));
    Peak();
    EXPECT_TRUE(WaitFor([&] { return !music->IsPlaying(); }));

    CDXSound silent;  // never initialised: not ready
    for (CDXSound* d : {&silent, static_cast<CDXSound*>(nullptr)}) {
        CMusicManager quiet({[this] { return &loader; }, [d] { return d; }});
        EXPECT_NO_THROW(quiet.Play("ramp.wav", true));
        EXPECT_FALSE(quiet.IsPlaying());
        quiet.FadeOut(100);
    }
    EXPECT_THROW(CMusicManager().Play("ramp.wav", false), EInvalidOperation);  // no application driver
}

// A file the readers refuse: the reader's report, naming the file the loader opened (the readers see
// only a stream).
TEST_F(MusicManagerTest, AFileNoReaderTakesIsReportedWithItsName) {
    tvtest::WriteFile(dir / "damaged.ogg", "OggS" + std::string(200, '\x7f'));
    tvtest::WriteFile(dir / "notes.ogg", "no sound in here");
    EXPECT_EQ("OggVorbisファイルのオープンに失敗しました. - ファイル \"" + (dir / "damaged.ogg") +
                  "\" @trivale::COggVorbisReader",
              tvtest::Thrown<EFileOpenError>([&] { music->Play("damaged.ogg", false); }));
    // Music chained from a stereo and a mono link would play the mono one as torn frames; with one serial
    // number for both links, as noise.
    tvtest::WriteFile(dir / "chained.ogg", EncodeOgg(2, 44100, 4000) + WithSerial(EncodeOgg(1, 44100, 4000), 778));
    tvtest::WriteFile(dir / "shared.ogg",
                      WithSerial(EncodeOgg(2, 44100, 4000), 12345) + WithSerial(EncodeOgg(1, 44100, 4000), 12345));
    for (const char* file : {"chained.ogg", "shared.ogg"}) {
        EXPECT_EQ(
            "OggVorbisファイルのオープンに失敗しました. - ファイル \"" + (dir / file) + "\" @trivale::COggVorbisReader",
            tvtest::Thrown<EFileOpenError>([&] { music->Play(file, false); }));
    }
    EXPECT_EQ("CreateSoundReader(): 対応していない音声フォーマットです. - ファイル \"" + (dir / "notes.ogg") + "\" @",
              tvtest::Thrown<EInvalidFileFormat>([&] { music->Play("notes.ogg", false); }));
    Play("ramp.wav");  // and the next track plays
    EXPECT_TRUE(RampFrom(0, 1000));
}

}  // namespace
