// The real output path: SDL's disk audio driver writes what the audio thread mixes, which must be the
// source, sample for sample. The driver is slowed to a pace the worker easily keeps ahead of.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "devices/DXSound.h"
#include "devices/StreamingSound.h"
#include "SoundTestUtil.h"

using namespace trivale;
using namespace soundtest;

TEST(DiskOutputTest, WhatTheDriverWritesIsTheSource)
{
    plat::SetSoundTestOptions(plat::SoundTestOptions());
    TempDir dir;
    const std::string raw = dir / "out.raw";
    ScopedEnv driver("SDL_AUDIODRIVER", "disk");
    ScopedEnv file("SDL_DISKAUDIOFILE", raw);
    // Milliseconds per 1024-frame block: 2.3 times real time, 0.7 s of slack for the worker.
    ScopedEnv delay("SDL_DISKAUDIODELAY", "10");

    const size_t frames = 44100 + 12345;
    std::unique_ptr<IStream> src(NewStream(MakeWave(2, 44100, 16, Samples16(StereoRamp(frames)))));
    {
        CDXSound device;
        if (!device.Initialize())
            GTEST_SKIP() << "this SDL has no disk audio driver";
        CStreamingSound music(plat::kBufferCtrlVolume);
        music.Create(&device, *src);
        music.Play();
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (std::chrono::steady_clock::now() < end && !music.IsPlaying())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        while (std::chrono::steady_clock::now() < end && music.IsPlaying())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_FALSE(music.IsPlaying()) << "the piece ends on its own";
    }

    const std::string bytes = ReadFile(raw);
    const size_t total = bytes.size() / 4;
    std::vector<int16_t> out(total * 2);
    std::memcpy(out.data(), bytes.data(), total * 4);
    // Before the music: silence. The ramp's first frame is (0, -1).
    size_t start = 0;
    while (start < total && out[2 * start] == 0 && out[2 * start + 1] == 0)
        ++start;
    ASSERT_LT(start + frames, total) << "the whole piece was written";
    for (size_t i = 0; i < frames; ++i) {
        ASSERT_EQ(RampLeft(i), out[2 * (start + i)]) << "frame " << i;
        ASSERT_EQ(RampRight(i), out[2 * (start + i) + 1]) << "frame " << i;
    }
    for (size_t i = start + frames; i < total; ++i)
        ASSERT_EQ(0, out[2 * i]) << "silence after the end, frame " << i;
}
