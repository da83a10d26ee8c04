// The real output path: SDL's disk audio driver writes what the audio thread mixes, which must be the
// source, sample for sample. The piece fits in the buffer's first fill, which the worker makes before
// it starts the buffer, so what the file holds over the first pass round the ring does not depend on
// how quickly the worker is scheduled afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "SoundTestUtil.h"
#include "devices/DXSound.h"
#include "devices/StreamingSound.h"

using namespace trivale;
using namespace soundtest;

namespace {

class CWatchedSound : public CStreamingSound {
public:
    using CStreamingSound::CStreamingSound;
    // Play sets the starting flag at once and the worker clears it only once the buffer plays, so
    // after Play this is true only once the piece has started and stopped again.
    bool Ended() { return !starting_ && !IsPlaying(); }
    uint32_t RingFrames() const { return desc_.bytes / 4; }
};

}  // namespace

TEST(DiskOutputTest, WhatTheDriverWritesIsTheSource) {
    plat::SetSoundTestOptions(plat::SoundTestOptions());
    TempDir dir;
    const std::string raw = dir / "out.raw";
    ScopedEnv driver("SDL_AUDIODRIVER", "disk");
    ScopedEnv file("SDL_DISKAUDIOFILE", raw.c_str());
    ScopedEnv delay("SDL_DISKAUDIODELAY", "10");  // ms per 1024-frame block: a small file

    const size_t frames = 30000 + 777;  // under a second: well inside the two-second ring
    auto src = NewStream(MakeWave(2, 44100, 16, Samples16(StereoRamp(frames))));
    size_t ring = 0;
    {
        CDXSound device;
        if (!device.Initialize()) GTEST_SKIP() << "this SDL has no disk audio driver";
        CWatchedSound music(plat::kBufferCtrlVolume);
        music.Create(&device, *src);
        ring = music.RingFrames();
        music.Play();
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (std::chrono::steady_clock::now() < end && !music.Ended())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(music.Ended()) << "the piece ends on its own";
    }

    const std::string bytes = ReadFile(raw);
    const size_t total = bytes.size() / 4;
    std::vector<int16_t> out(total * 2);
    std::memcpy(out.data(), bytes.data(), total * 4);
    // Before the music: silence. The ramp's first frame is (0, -1).
    size_t start = 0;
    while (start < total && out[2 * start] == 0 && out[2 * start + 1] == 0) ++start;
    ASSERT_LT(start + frames, total) << "the whole piece was written";
    const std::vector<int16_t> ramp = StereoRamp(frames);
    EXPECT_TRUE(std::equal(ramp.begin(), ramp.end(), out.begin() + 2 * start));
    for (size_t i = start + frames; i < std::min(total, start + ring); ++i)
        ASSERT_EQ(0, out[2 * i]) << "silence after the end, frame " << i;
}
