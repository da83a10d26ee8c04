// The music manager over a manual sound output: the test renders the mix itself, so what is heard is
// exact. Tracks are shorter than the stream's two-second buffer, so no refill races the rendering.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "benchmark/MusicManager.h"
#include "tests/sound/SoundTestUtil.h"

using namespace trivale;
using namespace soundtest;

namespace {

constexpr int16_t kLevel = 16000;

template <class Pred>
bool WaitFor(Pred pred) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!pred() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return pred();
}

int Peak(const std::vector<int16_t>& v) {
    int peak = 0;
    for (int16_t s : v) peak = std::max(peak, std::abs(static_cast<int>(s)));
    return peak;
}

// Frames [start, start + n) of the ramp, repeating every `period` frames when given.
bool IsRamp(const std::vector<int16_t>& out, size_t start, size_t period = 0) {
    for (size_t i = 0; i < out.size() / 2; ++i) {
        const size_t k = period ? (start + i) % period : start + i;
        if (out[2 * i] != RampLeft(k) || out[2 * i + 1] != RampRight(k)) return false;
    }
    return true;
}

class MusicManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SoundTestOptions o;
        o.manualOutput = true;
        plat::SetSoundTestOptions(o);
        ASSERT_TRUE(device.Initialize());
        tvtest::WriteFile(dir / "flat.wav", MakeWave(2, 44100, 16, Samples16(std::vector<int16_t>(132300, kLevel))));
        tvtest::WriteFile(dir / "ramp.wav", RampWave(44100));
        tvtest::WriteFile(dir / "short.wav", RampWave(8820));
        tvtest::WriteFile(dir / "noise.ogg", std::string(4096, 'x'));
    }
    void TearDown() override {
        music.reset();
        plat::SetSoundTestOptions(plat::SoundTestOptions());
    }
    std::vector<int16_t> Render(size_t frames) {
        std::vector<int16_t> out(frames * 2);
        device.GetDirectSound()->GetMixer().Render(out.data(), frames);
        return out;
    }
    void Play(const std::string& name, bool loop = false) {
        music->Play(name, loop);
        ASSERT_TRUE(WaitFor([&] { return music->IsPlaying(); }));
    }

    TempDir dir;
    CDXSound device;
    CFileSystemDataLoader loader{dir.Path() + "/"};
    std::unique_ptr<CMusicManager> music{new CMusicManager({[this] { return &loader; }, [this] { return &device; }})};
};

TEST_F(MusicManagerTest, VolumeIsKeptOnTheScaleAndAppliesToThePlayingAndLaterTracks) {
    // kept: the volume on the scale; heard: kLevel through the scale's curve and the decibel gain.
    const struct {
        int set, kept, heard;
    } cases[] = {{0, 0, 16000},       {-2500, -2500, 7900}, {-5000, -5000, 3141}, {-9000, -9000, 165},
                 {-10000, -10000, 0}, {-20000, -10000, 0},  {500, 0, 16000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.set);
        music->SetVolume(c.set);
        EXPECT_EQ(c.kept, music->GetVolume());
        Play("flat.wav");
        EXPECT_NEAR(c.heard, Peak(Render(4410)), 2);
        music->SetVolume(0);  // on the playing track at once
        EXPECT_EQ(kLevel, Peak(Render(4410)));
        music->SetVolume(c.set);
    }
}

TEST_F(MusicManagerTest, PlayStartsFromTheBeginningReplacesTheTrackAndEndsUnlessLooped) {
    Play("ramp.wav");
    EXPECT_TRUE(IsRamp(Render(13230), 0));
    Play("ramp.wav");
    EXPECT_TRUE(IsRamp(Render(4410), 0));
    Play("short.wav", true);
    EXPECT_TRUE(IsRamp(Render(22050), 0, 8820));  // two and a half times round
    Play("short.wav", false);
    EXPECT_TRUE(IsRamp(Render(8820), 0));
    Render(22050);
    EXPECT_TRUE(WaitFor([&] { return !music->IsPlaying(); }));
    EXPECT_EQ(0, Peak(Render(4410)));
}

// The fade follows the output's clock, so the levels only fall however late its worker wakes.
TEST_F(MusicManagerTest, FadeOutFallsToSilenceStopsAndLeavesTheVolumeForTheNextTrack) {
    Play("flat.wav");
    music->FadeOut(200);
    int last = kLevel, between = 0;
    for (int block = 0; block < 25; ++block) {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        const int peak = Peak(Render(441));
        EXPECT_LE(peak, last) << block;
        between += peak > 0 && peak < kLevel;
        last = peak;
    }
    EXPECT_GT(between, 0);
    EXPECT_TRUE(WaitFor([&] { return !music->IsPlaying(); }));
    EXPECT_EQ(0, Peak(Render(4410)));
    Play("flat.wav");
    EXPECT_EQ(kLevel, Peak(Render(4410)));
    music->FadeOut(60000);
    music.reset();  // the stream's workers are stopped mid-fade and joined
    EXPECT_EQ(0, Peak(Render(4410)));
}

TEST_F(MusicManagerTest, AFadeOfNoTimeStopsAtOnceAndStoppedMusicIsLeftAlone) {
    for (int ms : {0, -1, -2147483647 - 1}) {
        SCOPED_TRACE(ms);
        Play("flat.wav");
        music->FadeOut(ms);
        EXPECT_TRUE(WaitFor([&] { return !music->IsPlaying(); }));  // with no output rendered meanwhile
        EXPECT_EQ(0, Peak(Render(4410)));
    }
    music->FadeOut(100);
    Play("flat.wav");
    music->Stop();
    EXPECT_FALSE(music->IsPlaying());
    EXPECT_EQ(0, Peak(Render(4410)));
}

// The loader's failure is the only report: the manager logs nothing of its own, and the track before
// plays on. Without a ready device nothing plays and nothing is thrown.
TEST_F(MusicManagerTest, FailuresAreReportedOnceAndLeaveThePlayingTrack) {
    std::string direct;
    {
        CapturedLog log;
        EXPECT_THROW(loader.Open("missing.ogg"), EFileOpenError);
        direct = log.Text();
    }
    Play("ramp.wav");
    EXPECT_TRUE(IsRamp(Render(1000), 0));
    {
        CapturedLog log;
        EXPECT_EQ("ファイルを開けませんでした: \"" + dir.Path() + "/missing.ogg\" @trivale::CFileStream",
                  tvtest::Thrown<EFileOpenError>([&] { music->Play("missing.ogg", false); }));
        EXPECT_EQ(direct, log.Text());
    }
    EXPECT_TRUE(IsRamp(Render(1000), 1000));
    EXPECT_THROW(music->Play("noise.ogg", false), EException);  // neither Ogg Vorbis nor WAVE

    CDXSound silent;  // never initialised: not ready
    for (CDXSound* d : {&silent, static_cast<CDXSound*>(nullptr)}) {
        CMusicManager quiet({[this] { return &loader; }, [d] { return d; }});
        EXPECT_NO_THROW(quiet.Play("ramp.wav", true));
        EXPECT_FALSE(quiet.IsPlaying());
        quiet.FadeOut(100);
    }
    EXPECT_THROW(CMusicManager().Play("ramp.wav", false), EInvalidOperation);  // no application driver
}

}  // namespace
