// The music manager over a manual sound output: the test renders the mix itself, so what is heard is
// exact. Tracks are shorter than the stream's two-second buffer unless a test waits for the worker.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "benchmark/MusicManager.h"
#include "core/DataLoader.h"
#include "core/Exception.h"
#include "tests/sound/SoundTestUtil.h"

using namespace trivale;
using namespace soundtest;
using tvtest::WriteFile;

namespace {

constexpr int16_t kLevel = 16000;

template <class Pred>
bool WaitFor(Pred pred) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Stereo, both channels at one level.
std::string FlatWave(size_t frames) {
    return MakeWave(2, 44100, 16, Samples16(std::vector<int16_t>(frames * 2, kLevel)));
}

int Peak(const std::vector<int16_t>& v) {
    int peak = 0;
    for (int16_t s : v) peak = std::max(peak, std::abs(static_cast<int>(s)));
    return peak;
}

// What the mixer makes of kLevel at a linear volume: the scale's curve to hundredths of a decibel,
// then the decibels to a gain.
int Expected(int linear) {
    if (linear <= -10000) return 0;
    const double v = std::min(linear, 0);
    const double db = std::trunc(-10000.0 * (1.0 - std::pow(1.0 + v / 10000.0, 0.22)));
    return static_cast<int>(kLevel * std::pow(10.0, db / 2000.0));
}

class MusicManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SoundTestOptions o;
        o.manualOutput = true;
        plat::SetSoundTestOptions(o);
        ASSERT_TRUE(device.Initialize());
        WriteFile(dir / "flat.wav", FlatWave(66150));  // 1.5 s
        WriteFile(dir / "ramp.wav", RampWave(44100));  // 1 s
        WriteFile(dir / "short.wav", RampWave(8820));  // 0.2 s
        WriteFile(dir / "noise.ogg", std::string(4096, 'x'));
        loader.reset(new CFileSystemDataLoader(dir.Path() + "/"));
        music.reset(new CMusicManager({[this] { return loader.get(); }, [this] { return &device; }}));
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
    std::unique_ptr<CFileSystemDataLoader> loader;
    std::unique_ptr<CMusicManager> music;
};

long FirstRampMismatch(const std::vector<int16_t>& out, size_t start, size_t period = 0) {
    for (size_t i = 0; i < out.size() / 2; ++i) {
        const size_t k = period ? (start + i) % period : start + i;
        if (out[2 * i] != RampLeft(k) || out[2 * i + 1] != RampRight(k)) return static_cast<long>(i);
    }
    return -1;
}

TEST_F(MusicManagerTest, VolumeIsKeptOnTheScaleAndAppliesToThePlayingAndLaterTracks) {
    const struct {
        int set, kept;
    } cases[] = {{0, 0}, {-2500, -2500}, {-5000, -5000}, {-9000, -9000}, {-10000, -10000}, {-20000, -10000}, {500, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.set);
        music->SetVolume(c.set);
        EXPECT_EQ(c.kept, music->GetVolume());
        Play("flat.wav");
        EXPECT_NEAR(Expected(c.kept), Peak(Render(4410)), 1);
        music->SetVolume(0);  // on the playing track at once
        EXPECT_EQ(kLevel, Peak(Render(4410)));
        music->SetVolume(c.set);
        EXPECT_NEAR(Expected(c.kept), Peak(Render(4410)), 1);
    }
}

TEST_F(MusicManagerTest, PlayStartsFromTheBeginningAndReplacesTheTrackBefore) {
    Play("ramp.wav");
    EXPECT_EQ(-1, FirstRampMismatch(Render(13230), 0));
    Play("ramp.wav");  // the same name again restarts it
    EXPECT_EQ(-1, FirstRampMismatch(Render(4410), 0));
    Play("flat.wav");
    EXPECT_EQ(kLevel, Peak(Render(4410)));
    EXPECT_EQ(kLevel, Render(1)[0]);
}

TEST_F(MusicManagerTest, ATrackEndsAtItsEndUnlessLooped) {
    Play("short.wav", true);
    EXPECT_EQ(-1, FirstRampMismatch(Render(22050), 0, 8820));  // two and a half times round
    EXPECT_TRUE(music->IsPlaying());
    Play("short.wav", false);
    EXPECT_EQ(-1, FirstRampMismatch(Render(8820), 0));
    Render(22050);
    EXPECT_TRUE(WaitFor([&] { return !music->IsPlaying(); }));
    EXPECT_EQ(0, Peak(Render(4410)));
}

// A fade follows the output's clock; after it the track is silent and stopped, and the next track plays
// at the kept volume again.
TEST_F(MusicManagerTest, FadeOutFallsToSilenceAndStops) {
    Play("flat.wav");
    music->FadeOut(200);
    int last = kLevel;
    bool between = false;
    for (int block = 0; block < 25; ++block) {  // 250 ms of output, 10 ms a block
        // Time for the fade's worker to see each block; the levels asserted hold however it is late.
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        const int peak = Peak(Render(441));
        EXPECT_LE(peak, last) << block;
        between = between || (peak > 0 && peak < kLevel);
        last = peak;
    }
    EXPECT_TRUE(between);
    EXPECT_TRUE(WaitFor([&] { return !music->IsPlaying(); }));
    EXPECT_EQ(0, Peak(Render(4410)));
    EXPECT_EQ(0, music->GetVolume());
    Play("flat.wav");
    EXPECT_EQ(kLevel, Peak(Render(4410)));
}

TEST_F(MusicManagerTest, AFadeOfNoTimeStopsAtOnceAndNothingPlayingIsLeftAlone) {
    for (int ms : {0, -1, -2147483647 - 1}) {
        SCOPED_TRACE(ms);
        Play("flat.wav");
        music->FadeOut(ms);
        EXPECT_TRUE(WaitFor([&] { return !music->IsPlaying(); }));  // no output rendered meanwhile
        EXPECT_EQ(0, Peak(Render(4410)));
    }
    music->FadeOut(100);  // stopped: nothing to fade
    music->Stop();
    EXPECT_FALSE(music->IsPlaying());
    Play("flat.wav");
    EXPECT_EQ(kLevel, Peak(Render(4410)));
    music->Stop();
    EXPECT_FALSE(music->IsPlaying());
    EXPECT_EQ(0, Peak(Render(4410)));
}

// The loader's failure is the only report: the manager adds no line of its own, and the track before
// plays on.
TEST_F(MusicManagerTest, AFileThatCannotBePlayedIsReportedOnceByItsOwnError) {
    std::string direct;
    {
        CapturedLog log;
        EXPECT_THROW(loader->Open("missing.ogg"), EFileOpenError);
        direct = log.Text();
    }
    Play("ramp.wav");
    EXPECT_EQ(-1, FirstRampMismatch(Render(1000), 0));
    {
        CapturedLog log;
        int thrown = 0;
        try {
            music->Play("missing.ogg", false);
        } catch (const EFileOpenError& e) {
            ++thrown;
            EXPECT_NE(std::string::npos, std::string(e.what()).find("missing.ogg"));
        }
        EXPECT_EQ(1, thrown);
        EXPECT_EQ(direct, log.Text());
    }
    EXPECT_TRUE(music->IsPlaying());
    EXPECT_EQ(-1, FirstRampMismatch(Render(1000), 1000));
    // Neither Ogg Vorbis nor WAVE: the reader's error.
    EXPECT_THROW(music->Play("noise.ogg", false), EException);
}

TEST_F(MusicManagerTest, WithoutASoundDeviceNothingPlaysAndNothingIsThrown) {
    CDXSound silent;  // never initialised: not ready
    CMusicManager quiet({[this] { return loader.get(); }, [&] { return &silent; }});
    quiet.SetVolume(-3000);
    EXPECT_NO_THROW(quiet.Play("ramp.wav", true));
    EXPECT_FALSE(quiet.IsPlaying());
    EXPECT_EQ(-3000, quiet.GetVolume());
    quiet.FadeOut(100);
    quiet.Stop();
    CMusicManager none({[this] { return loader.get(); }, [] { return static_cast<CDXSound*>(nullptr); }});
    EXPECT_NO_THROW(none.Play("ramp.wav", false));
    EXPECT_THROW(none.Play("missing.ogg", false), EFileOpenError);
    // Without an application driver there is no loader to open with: a clear error.
    CMusicManager driverless;
    EXPECT_THROW(driverless.Play("ramp.wav", false), EInvalidOperation);
}

// Destroying the manager stops the stream's workers, mid-track and mid-fade, and joins them.
TEST_F(MusicManagerTest, DestroyingTheManagerEndsTheTrackAndItsWorkers) {
    Play("flat.wav");
    Render(4410);
    music->FadeOut(60000);
    music.reset();
    EXPECT_EQ(0, Peak(Render(4410)));
}

}  // namespace
