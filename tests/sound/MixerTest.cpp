// The software mixer and its buffers, driven frame by frame on a manual clock.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "SoundTestUtil.h"

using namespace plat;

namespace {

WaveFormat Pcm(uint32_t rate, uint16_t channels, uint16_t bits) {
    WaveFormat f;
    f.formatTag = kWaveFormatPcm;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.bitsPerSample = bits;
    f.blockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.avgBytesPerSec = rate * f.blockAlign;
    return f;
}

class MixerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(kSoundOk, SoundDevice::Create(&device)); }

    SoundResult Make(const WaveFormat& f, uint32_t bytes, uint32_t flags, std::unique_ptr<SoundBuffer>* b) {
        SoundBufferDesc d;
        d.flags = flags;
        d.bytes = bytes;
        d.format = &f;
        return device->CreateBuffer(d, b);
    }

    // A buffer holding `data`, playing once (or looping).
    template <class T>
    std::unique_ptr<SoundBuffer> Playing(const WaveFormat& f, const std::vector<T>& data, uint32_t flags = 0,
                                         uint32_t play = 0) {
        std::unique_ptr<SoundBuffer> b;
        const uint32_t bytes = static_cast<uint32_t>(data.size() * sizeof(T));
        EXPECT_EQ(kSoundOk, Make(f, bytes, flags, &b));
        void* p1 = nullptr;
        uint32_t n1 = 0;
        EXPECT_EQ(kSoundOk, b->Lock(0, bytes, &p1, &n1, nullptr, nullptr, 0));
        std::memcpy(p1, data.data(), n1);
        EXPECT_EQ(kSoundOk, b->Unlock(p1, n1, nullptr, 0));
        EXPECT_EQ(kSoundOk, b->Play(play));
        return b;
    }

    std::vector<int16_t> Render(size_t frames) {
        std::vector<int16_t> out(frames * device->GetMixer().GetOutputChannels(), 12345);
        device->GetMixer().Render(out.data(), frames);
        return out;
    }

    soundtest::ManualOutput manual;
    std::unique_ptr<SoundDevice> device;
};

}  // namespace

TEST_F(MixerTest, EachSampleFormatReachesTheOutput) {
    // 16-bit stereo at the output rate is copied exactly, and the buffer stops at its end.
    std::vector<int16_t> ramp(2000);
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<int16_t>(i % 2 ? -static_cast<int>(i) : static_cast<int>(i));
    auto stereo = Playing(Pcm(44100, 2, 16), ramp);
    EXPECT_EQ(ramp, Render(1000));
    uint32_t status = 99;
    stereo->GetStatus(&status);
    EXPECT_EQ(0u, status);
    EXPECT_EQ(std::vector<int16_t>(8, 0), Render(4)) << "nothing playing is silence";

    auto mono = Playing(Pcm(44100, 1, 16), std::vector<int16_t>{100, -200, 32767, -32768});
    EXPECT_EQ((std::vector<int16_t>{100, 100, -200, -200, 32767, 32767, -32768, -32768}), Render(4));

    auto eight = Playing(Pcm(44100, 2, 8), std::vector<uint8_t>{0x80, 0x81, 0x00, 0xFF, 0x7F, 0x80});
    EXPECT_EQ((std::vector<int16_t>{0, 256, -32768, 127 * 256, -256, 0}), Render(3));

    // Sums are clamped to sixteen bits.
    auto a = Playing(Pcm(44100, 1, 16), std::vector<int16_t>(4, 30000));
    auto b = Playing(Pcm(44100, 1, 16), std::vector<int16_t>(4, 30000));
    EXPECT_EQ(32767, Render(4)[0]);
}

TEST_F(MixerTest, VolumeAndPanFollowTheDecibelScale) {
    auto b =
        Playing(Pcm(44100, 1, 16), std::vector<int16_t>(200, 20000), kBufferCtrlVolume | kBufferCtrlPan, kPlayLooping);
    // A 20 dB pan to the left takes the right side to a tenth; full right silences the left.
    const int quiet = static_cast<int>(std::lrint(20000 * std::pow(10.0, -600 / 2000.0)));
    const struct {
        int32_t volume, pan;
        int left, right;
    } cases[] = {{-600, 0, quiet, quiet}, {0, -2000, 20000, 2000}, {0, kPanRight, 0, 20000}, {kVolumeMin, 0, 0, 0}};
    for (const auto& c : cases) {
        ASSERT_EQ(kSoundOk, b->SetVolume(c.volume));
        ASSERT_EQ(kSoundOk, b->SetPan(c.pan));
        const auto out = Render(10);
        EXPECT_NEAR(c.left, out[0], 1) << c.volume << " " << c.pan;
        EXPECT_NEAR(c.right, out[1], 1) << c.volume << " " << c.pan;
    }
    // Off the scale, or without the control's creation flag.
    auto plain = Playing(Pcm(44100, 1, 16), std::vector<int16_t>(2));
    const SoundResult refused[][2] = {
        {b->SetVolume(1), kSoundInvalidParam},           {b->SetVolume(-10001), kSoundInvalidParam},
        {b->SetPan(10001), kSoundInvalidParam},          {plain->SetVolume(-100), kSoundControlUnavailable},
        {plain->SetPan(0), kSoundControlUnavailable},    {plain->SetFrequency(22050), kSoundControlUnavailable},
        {plain->SetNotifications({}), kSoundNoInterface}};
    for (const auto& r : refused) EXPECT_EQ(r[1], r[0]);
}

TEST_F(MixerTest, OtherRatesAreResampledLinearly) {
    // 22050 Hz into 44100 Hz: every second output frame lies halfway between two input frames.
    std::vector<int16_t> ramp(100);
    for (int i = 0; i < 100; ++i) ramp[i] = static_cast<int16_t>(i * 10);
    auto slow = Playing(Pcm(22050, 1, 16), ramp);
    auto out = Render(198);
    for (int j = 0; j < 198; ++j) ASSERT_EQ(j * 5, out[2 * j]) << "frame " << j;
    uint32_t play = 0;
    slow->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(99u * 2, play);
    slow->Stop();

    // 88200 Hz through the frequency control: every second input frame, then the end.
    std::unique_ptr<SoundBuffer> fast = Playing(Pcm(44100, 1, 16), ramp, kBufferCtrlFrequency);
    ASSERT_EQ(kSoundOk, fast->SetFrequency(88200));
    out = Render(50);
    for (int j = 0; j < 50; ++j) ASSERT_EQ(j * 20, out[2 * j]) << "frame " << j;
    uint32_t status = 1;
    fast->GetStatus(&status);
    EXPECT_EQ(0u, status);
    EXPECT_EQ(kSoundInvalidParam, fast->SetFrequency(99));
}

TEST_F(MixerTest, MonoOutputAveragesTheSides) {
    std::unique_ptr<SoundBuffer> primary;
    SoundBufferDesc pd;
    pd.flags = kBufferPrimary;
    ASSERT_EQ(kSoundOk, device->CreateBuffer(pd, &primary));
    EXPECT_EQ(kSoundBadFormat, primary->SetFormat(Pcm(44100, 6, 16)));
    ASSERT_EQ(kSoundOk, primary->SetFormat(Pcm(22050, 1, 16)));
    EXPECT_EQ(22050u, device->GetMixer().GetOutputRate());
    auto b = Playing(Pcm(22050, 2, 16), std::vector<int16_t>{1000, 3000, -50, -150});
    EXPECT_EQ((std::vector<int16_t>{2000, -100}), Render(2));
}

TEST_F(MixerTest, NotificationsFireWhenTheirByteHasBeenPlayed) {
    std::unique_ptr<SoundBuffer> b;  // 1000 frames, four segments of 1000 bytes
    ASSERT_EQ(kSoundOk, Make(Pcm(44100, 2, 16), 4000, kBufferCtrlPositionNotify, &b));
    auto ev = std::make_shared<EventGroup>(5);
    std::vector<SoundNotification> n;
    for (unsigned i = 0; i < 4; ++i) n.push_back({1000 * (i + 1) - 1, ev, i});
    n.push_back({kNotifyOffsetStop, ev, 4});
    ASSERT_EQ(kSoundOk, b->SetNotifications(n));
    ASSERT_EQ(kSoundOk, b->Play(kPlayLooping));
    EXPECT_EQ(kSoundInvalidCall, b->SetNotifications(n)) << "only while stopped";

    Render(249);  // cursor at byte 996: byte 999 not yet played
    EXPECT_EQ(EventGroup::kTimeout, ev->WaitAny(0));
    Render(1);
    EXPECT_EQ(0, ev->WaitAny(0));

    // Across the wrap, in order: segments 1, 2, 3, then 0 again.
    Render(1000);
    std::vector<int> got;
    for (int k = 0; k < 4; ++k) got.push_back(ev->WaitAny(0, k == 0 ? 1 : got.back() + 1));
    EXPECT_EQ((std::vector<int>{1, 2, 3, 0}), got);
    EXPECT_EQ(EventGroup::kTimeout, ev->WaitAny(0));

    b->Stop();
    EXPECT_EQ(4, ev->WaitAny(0));
    b->Stop();
    EXPECT_FALSE(ev->IsSignaled(4)) << "stopping a stopped buffer raises nothing";
}

TEST_F(MixerTest, LockWrapsIntoTwoRegions) {
    std::unique_ptr<SoundBuffer> b;
    ASSERT_EQ(kSoundOk, Make(Pcm(44100, 1, 16), 40, 0, &b));
    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    ASSERT_EQ(kSoundOk, b->Lock(30, 20, &p1, &n1, &p2, &n2, 0));
    EXPECT_EQ(10u, n1);
    EXPECT_EQ(10u, n2);
    std::vector<int16_t> a(5, 11), c(5, 22);
    std::memcpy(p1, a.data(), 10);
    std::memcpy(p2, c.data(), 10);
    ASSERT_EQ(kSoundOk, b->Unlock(p1, n1, p2, n2));
    b->Play(kPlayLooping);
    auto out = Render(20);
    for (int j = 0; j < 20; ++j) EXPECT_EQ(j < 5 ? 22 : (j >= 15 ? 11 : 0), out[2 * j]) << j;

    EXPECT_EQ(kSoundInvalidParam, b->Lock(40, 4, &p1, &n1, &p2, &n2, 0));
    EXPECT_EQ(kSoundInvalidParam, b->Lock(0, 41, &p1, &n1, &p2, &n2, 0));
    EXPECT_EQ(kSoundInvalidParam, b->Lock(30, 20, &p1, &n1, nullptr, nullptr, 0));
    ASSERT_EQ(kSoundOk, b->Lock(0, 0, &p1, &n1, &p2, &n2, kLockEntireBuffer));
    EXPECT_EQ(40u, n1);
    EXPECT_EQ(kSoundInvalidParam, b->Unlock(static_cast<uint8_t*>(p1) + 30, 20, nullptr, 0));
}

TEST_F(MixerTest, FormatsTheMixerCannotPlayAreRefused) {
    auto refused = [this](const WaveFormat& f, uint32_t bytes) {
        std::unique_ptr<SoundBuffer> b;
        return Make(f, bytes, 0, &b);
    };
    const WaveFormat good = Pcm(44100, 2, 16);
    EXPECT_EQ(kSoundOk, refused(good, 4000));
    WaveFormat bad[8] = {good, good, good, good, Pcm(0, 2, 16), Pcm(44100, 2, 24), Pcm(44100, 3, 16), Pcm(500, 1, 8)};
    bad[0].blockAlign = 0;
    bad[1].channels = 0;
    bad[2].formatTag = 3;
    bad[3].avgBytesPerSec = 1;
    for (const WaveFormat& f : bad) EXPECT_EQ(kSoundBadFormat, refused(f, 12000));
    EXPECT_EQ(kSoundInvalidParam, refused(good, 4002)) << "not whole frames";
    EXPECT_EQ(kSoundInvalidParam, refused(good, 0));
    EXPECT_EQ(kSoundInvalidParam, refused(good, kBufferBytesMax + 1));
}
