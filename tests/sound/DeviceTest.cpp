// The sound device's start-up and failure paths, and the volume scale shared by every sound.
#include <gtest/gtest.h>

#include <climits>

#include "SoundTestUtil.h"
#include "devices/DXSound.h"
#include "devices/Sound.h"
#include "devices/StreamingSound.h"

using namespace trivale;
using namespace soundtest;

// Regression rows last: below the floor the curve's base turned negative and the result NaN.
TEST(VolumeScaleTest, MatchesTheTableInBothDirectionsAndClampsOffTheScale) {
    const int table[][3] = {{0, 0, 0},
                            {-1000, -229, -3805},
                            {-5000, -1414, -9571},
                            {-10000, -9786, -10000},
                            {INT32_MIN, -9786, -10000},
                            {500, 0, 0},
                            {-30000, -9786, -10000},
                            {INT32_MAX, 0, 0}};
    for (const auto& row : table) {
        EXPECT_EQ(row[1], LinearVolumeToDecibels(row[0])) << row[0];
        EXPECT_EQ(row[2], DecibelsToLinearVolume(row[0])) << row[0];
    }
}

TEST(DXSoundTest, PrimaryFormatFollowsTheSetters) {
    ManualOutput manual;
    {
        CDXSound dev;
        ASSERT_TRUE(dev.Initialize());
        EXPECT_TRUE(dev.IsReady());
        EXPECT_EQ("1 2 44100 16 4 176400 0", Describe(&dev.GetPrimaryFormat()));
        uint32_t status = 0;
        dev.GetPrimaryBuffer()->GetStatus(&status);
        EXPECT_NE(0u, status & plat::kStatusPlaying);
        plat::SoundDevice* first = dev.GetDirectSound();
        EXPECT_TRUE(dev.Initialize()) << "a second start keeps the running output";
        EXPECT_EQ(first, dev.GetDirectSound());
    }

    CDXSound mono;
    mono.SetChannels(1);
    mono.SetBitsPerSample(8);
    ASSERT_TRUE(mono.Initialize());
    EXPECT_EQ("1 1 44100 8 1 44100 0", Describe(&mono.GetPrimaryFormat()));
    EXPECT_EQ(1u, mono.GetDirectSound()->GetMixer().GetOutputChannels());
}

TEST(DXSoundTest, FailedStepsFinalizeFirstAndMayBeRetried) {
    struct Case {
        plat::SoundResult plat::SoundTestOptions::*fail;
        uint16_t bits;
        const char* line;
    };
    const Case cases[] = {
        {&plat::SoundTestOptions::failCooperativeLevel, 16, "CDXSound: SetCooperativeLevel() 失敗"},
        {&plat::SoundTestOptions::failCreatePrimary, 16, "CDXSound: プライマリバッファの作成に失敗"},
        {nullptr, 24, "CDXSound: プライマリバッファのフォーマット設定に失敗"},
    };
    for (const Case& c : cases) {
        plat::SoundTestOptions o;
        if (c.fail) o.*c.fail = plat::kSoundGeneric;
        ManualOutput manual(o);
        CapturedLog log;
        CDXSound dev;
        dev.SetBitsPerSample(c.bits);
        EXPECT_FALSE(dev.Initialize());
        EXPECT_FALSE(dev.IsReady());
        EXPECT_EQ(nullptr, dev.GetDirectSound());
        EXPECT_EQ(std::string("INFO: DirectSound finalized.\nERROR: ") + c.line + "\n\n", log.Text());
        ManualOutput healthy;
        dev.SetBitsPerSample(16);
        EXPECT_TRUE(dev.Initialize()) << c.line;
    }
}

TEST(DXSoundTest, NoAudioDeviceMeansRunningWithoutSound) {
    plat::SetSoundTestOptions(plat::SoundTestOptions());
    ScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
    CapturedLog log;
    CDXSound dev;
    EXPECT_FALSE(dev.Initialize());
    const std::string text = log.Text();
    EXPECT_NE(std::string::npos, text.find("DirectX Error: SOUND_NO_DRIVER(0x88780078)")) << text;
    EXPECT_NE(std::string::npos, text.find("ERROR: CDXSound: DirectSoundCreate() 失敗\n\n")) << text;

    // Sounds made on it have no buffer: every call is quiet and does nothing.
    CStreamingSound music(plat::kBufferCtrlVolume);
    auto s = NewStream(MakeWave(2, 44100, 16, std::string(4000, '\1')));
    music.Create(&dev, OpenSoundReader(*s));
    music.SetVolume(-100);
    music.Play();
    music.FadeOut(100);
    EXPECT_FALSE(music.IsPlaying());
    EXPECT_EQ(0, music.GetVolume());
    EXPECT_EQ(nullptr, music.GetFormat());
    dev.Finalize();  // with nothing to undo, it only logs
    EXPECT_EQ("INFO: DirectSound finalized.\n", log.Text().substr(text.size()));
}
