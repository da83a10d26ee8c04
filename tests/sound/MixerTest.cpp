// The software mixer and its buffers, driven frame by frame on a manual clock.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/Sound.h"

using namespace plat;

namespace {

WaveFormat Pcm(uint32_t rate, uint16_t channels, uint16_t bits)
{
    WaveFormat f;
    f.formatTag = kWaveFormatPcm;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.bitsPerSample = bits;
    f.blockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.avgBytesPerSec = rate * f.blockAlign;
    return f;
}

class MixerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SoundTestOptions o;
        o.manualOutput = true;
        SetSoundTestOptions(o);
        ASSERT_EQ(kSoundOk, SoundDevice::Create(&device));
    }
    void TearDown() override { SetSoundTestOptions(SoundTestOptions()); }

    std::shared_ptr<SoundBuffer> Make(const WaveFormat& f, uint32_t bytes, uint32_t flags = 0)
    {
        SoundBufferDesc d;
        d.flags = flags;
        d.bytes = bytes;
        d.format = &f;
        std::shared_ptr<SoundBuffer> b;
        EXPECT_EQ(kSoundOk, device->CreateBuffer(d, &b));
        return b;
    }

    static void Fill(SoundBuffer& b, const void* data, uint32_t bytes, uint32_t offset = 0)
    {
        void* p1 = nullptr;
        void* p2 = nullptr;
        uint32_t n1 = 0, n2 = 0;
        ASSERT_EQ(kSoundOk, b.Lock(offset, bytes, &p1, &n1, &p2, &n2, 0));
        std::memcpy(p1, data, n1);
        if (n2)
            std::memcpy(p2, static_cast<const uint8_t*>(data) + n1, n2);
        ASSERT_EQ(kSoundOk, b.Unlock(p1, n1, p2, n2));
    }

    std::vector<int16_t> Render(size_t frames)
    {
        std::vector<int16_t> out(frames * device->GetMixer().GetOutputChannels(), 12345);
        device->GetMixer().Render(out.data(), frames);
        return out;
    }

    std::shared_ptr<SoundDevice> device;
};

std::vector<int16_t> StereoRamp(size_t frames)
{
    std::vector<int16_t> v(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        v[2 * i] = static_cast<int16_t>(i);
        v[2 * i + 1] = static_cast<int16_t>(-static_cast<int>(i));
    }
    return v;
}

} // namespace

TEST_F(MixerTest, SixteenBitStereoAtOutputRateIsCopiedExactly)
{
    auto b = Make(Pcm(44100, 2, 16), 4000);
    auto ramp = StereoRamp(1000);
    Fill(*b, ramp.data(), 4000);
    ASSERT_EQ(kSoundOk, b->Play(0));
    auto out = Render(1000);
    EXPECT_EQ(ramp, out);
    uint32_t status = 99;
    b->GetStatus(&status);
    EXPECT_EQ(0u, status) << "a one-shot buffer stops at its end";
}

TEST_F(MixerTest, NothingPlayingRendersSilence)
{
    auto b = Make(Pcm(44100, 2, 16), 4000);
    auto out = Render(64);
    for (int16_t s : out)
        EXPECT_EQ(0, s);
}

TEST_F(MixerTest, MonoGoesToBothSidesAndEightBitIsCentred)
{
    auto mono = Make(Pcm(44100, 1, 16), 8);
    const int16_t m[4] = {100, -200, 32767, -32768};
    Fill(*mono, m, 8);
    mono->Play(0);
    auto out = Render(4);
    EXPECT_EQ((std::vector<int16_t>{100, 100, -200, -200, 32767, 32767, -32768, -32768}), out);

    auto eight = Make(Pcm(44100, 2, 8), 6);
    const uint8_t e[6] = {0x80, 0x81, 0x00, 0xFF, 0x7F, 0x80};
    Fill(*eight, e, 6);
    eight->Play(0);
    out = Render(3);
    EXPECT_EQ((std::vector<int16_t>{0, 256, -32768, 127 * 256, -256, 0}), out);
}

TEST_F(MixerTest, VolumeAndPanFollowTheDecibelScale)
{
    const uint32_t flags = kBufferCtrlVolume | kBufferCtrlPan;
    auto b = Make(Pcm(44100, 1, 16), 400, flags);
    std::vector<int16_t> loud(200, 20000);
    Fill(*b, loud.data(), 400);

    ASSERT_EQ(kSoundOk, b->SetVolume(-600));
    b->Play(kPlayLooping);
    auto out = Render(10);
    const long expect = std::lrint(20000 * std::pow(10.0, -600 / 2000.0));
    EXPECT_NEAR(expect, out[0], 1);
    EXPECT_NEAR(expect, out[1], 1);

    ASSERT_EQ(kSoundOk, b->SetVolume(0));
    ASSERT_EQ(kSoundOk, b->SetPan(-2000)); // left: the right side loses 20 dB
    out = Render(10);
    EXPECT_EQ(20000, out[0]);
    EXPECT_NEAR(2000, out[1], 1);

    ASSERT_EQ(kSoundOk, b->SetPan(kPanRight));
    out = Render(10);
    EXPECT_EQ(0, out[0]);
    EXPECT_EQ(20000, out[1]);

    ASSERT_EQ(kSoundOk, b->SetPan(0));
    ASSERT_EQ(kSoundOk, b->SetVolume(kVolumeMin));
    out = Render(10);
    EXPECT_EQ(0, out[0]);
    EXPECT_EQ(0, out[1]);

    int32_t v = 1, p = 1;
    EXPECT_EQ(kSoundOk, b->GetVolume(&v));
    EXPECT_EQ(kSoundOk, b->GetPan(&p));
    EXPECT_EQ(kVolumeMin, v);
    EXPECT_EQ(0, p);
    EXPECT_EQ(kSoundInvalidParam, b->SetVolume(1));
    EXPECT_EQ(kSoundInvalidParam, b->SetVolume(-10001));
    EXPECT_EQ(kSoundInvalidParam, b->SetPan(10001));
}

TEST_F(MixerTest, ControlsNeedTheirCreationFlags)
{
    auto b = Make(Pcm(44100, 2, 16), 4000);
    int32_t v = 0;
    uint32_t f = 0;
    EXPECT_EQ(kSoundControlUnavailable, b->SetVolume(-100));
    EXPECT_EQ(kSoundControlUnavailable, b->GetVolume(&v));
    EXPECT_EQ(kSoundControlUnavailable, b->SetPan(0));
    EXPECT_EQ(kSoundControlUnavailable, b->SetFrequency(22050));
    EXPECT_EQ(kSoundControlUnavailable, b->GetFrequency(&f));
    auto events = std::make_shared<EventGroup>(1);
    EXPECT_EQ(kSoundNoInterface, b->SetNotifications({{0, events, 0}}));
}

TEST_F(MixerTest, SumsAreClampedToSixteenBits)
{
    std::vector<int16_t> hi(4, 30000), lo(4, -30000);
    auto a = Make(Pcm(44100, 1, 16), 8);
    auto b = Make(Pcm(44100, 1, 16), 8);
    auto c = Make(Pcm(44100, 1, 16), 8);
    Fill(*a, hi.data(), 8);
    Fill(*b, hi.data(), 8);
    a->Play(0);
    b->Play(0);
    auto out = Render(4);
    EXPECT_EQ(32767, out[0]);
    Fill(*a, lo.data(), 8);
    Fill(*c, lo.data(), 8);
    a->SetCurrentPosition(0);
    c->Play(0);
    a->Play(0);
    out = Render(4);
    EXPECT_EQ(-32768, out[0]);
}

TEST_F(MixerTest, OtherRatesAreResampledLinearly)
{
    // 22050 Hz into 44100 Hz: every second output frame lies halfway between two input frames.
    auto b = Make(Pcm(22050, 1, 16), 200);
    std::vector<int16_t> ramp(100);
    for (int i = 0; i < 100; ++i)
        ramp[i] = static_cast<int16_t>(i * 10);
    Fill(*b, ramp.data(), 200);
    b->Play(0);
    auto out = Render(198);
    for (int j = 0; j < 198; ++j)
        ASSERT_EQ(j * 5, out[2 * j]) << "frame " << j;
    uint32_t play = 0;
    b->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(99u * 2, play);

    // 88200 Hz set through the frequency control: every second input frame.
    auto fast = Make(Pcm(44100, 1, 16), 200, kBufferCtrlFrequency);
    Fill(*fast, ramp.data(), 200);
    ASSERT_EQ(kSoundOk, fast->SetFrequency(88200));
    uint32_t hz = 0;
    fast->GetFrequency(&hz);
    EXPECT_EQ(88200u, hz);
    b->Stop();
    fast->Play(0);
    out = Render(50);
    for (int j = 0; j < 50; ++j)
        ASSERT_EQ(j * 20, out[2 * j]) << "frame " << j;
    uint32_t status = 1;
    fast->GetStatus(&status);
    EXPECT_EQ(0u, status);
    EXPECT_EQ(kSoundInvalidParam, fast->SetFrequency(99));
    EXPECT_EQ(kSoundOk, fast->SetFrequency(kFrequencyOriginal));
    fast->GetFrequency(&hz);
    EXPECT_EQ(44100u, hz);
}

TEST_F(MixerTest, MonoOutputAveragesTheSides)
{
    SoundTestOptions o;
    o.manualOutput = true;
    SetSoundTestOptions(o);
    std::shared_ptr<SoundBuffer> primary;
    SoundBufferDesc pd;
    pd.flags = kBufferPrimary;
    ASSERT_EQ(kSoundOk, device->CreateBuffer(pd, &primary));
    ASSERT_EQ(kSoundOk, primary->SetFormat(Pcm(22050, 1, 16)));
    EXPECT_EQ(1u, device->GetMixer().GetOutputChannels());
    EXPECT_EQ(22050u, device->GetMixer().GetOutputRate());
    auto b = Make(Pcm(22050, 2, 16), 8);
    const int16_t s[4] = {1000, 3000, -50, -150};
    Fill(*b, s, 8);
    b->Play(0);
    auto out = Render(2);
    EXPECT_EQ((std::vector<int16_t>{2000, -100}), out);
}

TEST_F(MixerTest, NotificationsFireWhenTheirByteHasBeenPlayed)
{
    const uint32_t flags = kBufferCtrlPositionNotify;
    auto b = Make(Pcm(44100, 2, 16), 4000, flags); // 1000 frames, four segments of 1000 bytes
    auto ev = std::make_shared<EventGroup>(5);
    std::vector<SoundNotification> n;
    for (unsigned i = 0; i < 4; ++i)
        n.push_back({1000 * (i + 1) - 1, ev, i});
    n.push_back({kNotifyOffsetStop, ev, 4});
    ASSERT_EQ(kSoundOk, b->SetNotifications(n));
    ASSERT_EQ(kSoundOk, b->Play(kPlayLooping));
    EXPECT_EQ(kSoundInvalidCall, b->SetNotifications(n)) << "only while stopped";

    Render(249); // cursor at byte 996: byte 999 not yet played
    for (unsigned i = 0; i < 5; ++i)
        EXPECT_FALSE(ev->IsSignaled(i));
    Render(1);
    EXPECT_TRUE(ev->IsSignaled(0));
    EXPECT_EQ(0, ev->WaitAny(0));

    // Across the wrap, in order: segments 1, 2, 3, then 0 again.
    Render(1000);
    std::vector<int> got;
    for (int k = 0; k < 4; ++k)
        got.push_back(ev->WaitAny(0, k == 0 ? 1 : got.back() + 1));
    EXPECT_EQ((std::vector<int>{1, 2, 3, 0}), got);
    EXPECT_EQ(EventGroup::kTimeout, ev->WaitAny(0));

    b->Stop();
    EXPECT_EQ(4, ev->WaitAny(0));
    b->Stop();
    EXPECT_FALSE(ev->IsSignaled(4)) << "stopping a stopped buffer raises nothing";
}

TEST_F(MixerTest, OneShotEndRaisesStopOnceAndPadsWithSilence)
{
    auto b = Make(Pcm(44100, 1, 16), 20, kBufferCtrlPositionNotify);
    auto ev = std::make_shared<EventGroup>(2);
    ASSERT_EQ(kSoundOk, b->SetNotifications({{19, ev, 0}, {kNotifyOffsetStop, ev, 1}}));
    std::vector<int16_t> d(10, 7);
    Fill(*b, d.data(), 20);
    b->Play(0);
    auto out = Render(16);
    for (int j = 0; j < 16; ++j)
        EXPECT_EQ(j < 10 ? 7 : 0, out[2 * j]) << j;
    EXPECT_TRUE(ev->IsSignaled(0));
    EXPECT_TRUE(ev->IsSignaled(1));
    ev->ResetAll();
    Render(16);
    EXPECT_FALSE(ev->IsSignaled(1));
    uint32_t play = 9;
    b->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(0u, play);
}

TEST_F(MixerTest, LockWrapsIntoTwoRegions)
{
    auto b = Make(Pcm(44100, 1, 16), 40);
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
    for (int j = 0; j < 20; ++j)
        EXPECT_EQ(j < 5 ? 22 : (j >= 15 ? 11 : 0), out[2 * j]) << j;

    EXPECT_EQ(kSoundInvalidParam, b->Lock(40, 4, &p1, &n1, &p2, &n2, 0));
    EXPECT_EQ(kSoundInvalidParam, b->Lock(0, 41, &p1, &n1, &p2, &n2, 0));
    EXPECT_EQ(kSoundInvalidParam, b->Lock(30, 20, &p1, &n1, nullptr, nullptr, 0));
    ASSERT_EQ(kSoundOk, b->Lock(0, 0, &p1, &n1, &p2, &n2, kLockEntireBuffer));
    EXPECT_EQ(40u, n1);
    EXPECT_EQ(0u, n2);
    EXPECT_EQ(kSoundInvalidParam, b->Unlock(static_cast<uint8_t*>(p1) + 30, 20, nullptr, 0));
    EXPECT_EQ(kSoundOk, b->Unlock(p1, n1, nullptr, 0));
}

TEST_F(MixerTest, WriteCursorLeadsThePlayCursorWhilePlaying)
{
    auto b = Make(Pcm(44100, 2, 16), 352768);
    uint32_t play = 1, write = 1;
    b->GetCurrentPosition(&play, &write);
    EXPECT_EQ(0u, play);
    EXPECT_EQ(0u, write);
    b->Play(kPlayLooping);
    Render(100);
    b->GetCurrentPosition(&play, &write);
    EXPECT_EQ(400u, play);
    EXPECT_EQ(400u + 1024 * 4, write);
    EXPECT_EQ(kSoundOk, b->SetCurrentPosition(1003));
    b->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(1000u, play) << "positions are whole frames";
    EXPECT_EQ(kSoundInvalidParam, b->SetCurrentPosition(352768));
}

TEST_F(MixerTest, FormatsTheMixerCannotPlayAreRefused)
{
    auto bad = [this](WaveFormat f, uint32_t bytes) {
        SoundBufferDesc d;
        d.bytes = bytes;
        d.format = &f;
        std::shared_ptr<SoundBuffer> b;
        return device->CreateBuffer(d, &b);
    };
    WaveFormat f = Pcm(44100, 2, 16);
    EXPECT_EQ(kSoundOk, bad(f, 4000));
    WaveFormat g = f;
    g.blockAlign = 0;
    EXPECT_EQ(kSoundBadFormat, bad(g, 4000));
    g = f;
    g.channels = 0;
    EXPECT_EQ(kSoundBadFormat, bad(g, 4000));
    g = Pcm(0, 2, 16);
    EXPECT_EQ(kSoundBadFormat, bad(g, 4000));
    g = Pcm(44100, 2, 24);
    EXPECT_EQ(kSoundBadFormat, bad(g, 6000));
    g = f;
    g.formatTag = 3;
    EXPECT_EQ(kSoundBadFormat, bad(g, 4000));
    g = f;
    g.avgBytesPerSec = 1;
    EXPECT_EQ(kSoundBadFormat, bad(g, 4000));
    g = Pcm(44100, 3, 16);
    EXPECT_EQ(kSoundBadFormat, bad(g, 6000));
    EXPECT_EQ(kSoundInvalidParam, bad(f, 4002)) << "not whole frames";
    EXPECT_EQ(kSoundInvalidParam, bad(f, 0));
    EXPECT_EQ(kSoundInvalidParam, bad(f, kBufferBytesMax + 1));
    SoundBufferDesc d;
    d.bytes = 4000;
    std::shared_ptr<SoundBuffer> b;
    EXPECT_EQ(kSoundInvalidParam, device->CreateBuffer(d, &b));
}

TEST_F(MixerTest, ManualClockAdvancesOnlyWithRenderedFrames)
{
    EXPECT_TRUE(device->IsManual());
    EXPECT_EQ(0u, device->GetTimeMs());
    Render(44100);
    EXPECT_EQ(1000u, device->GetTimeMs());
    Render(441);
    EXPECT_EQ(1010u, device->GetTimeMs());
}

TEST_F(MixerTest, ABufferOutlivingItsDeviceStaysValid)
{
    auto b = Make(Pcm(44100, 2, 16), 4000);
    EXPECT_EQ(1u, device->GetMixer().GetVoiceCount());
    device.reset();
    EXPECT_EQ(kSoundOk, b->Play(0));
    uint32_t status = 0;
    EXPECT_EQ(kSoundOk, b->GetStatus(&status));
    EXPECT_EQ(kSoundOk, b->Stop());
}

TEST_F(MixerTest, PrimaryBufferControlsTheOutput)
{
    std::shared_ptr<SoundBuffer> primary;
    SoundBufferDesc pd;
    pd.flags = kBufferPrimary;
    ASSERT_EQ(kSoundOk, device->CreateBuffer(pd, &primary));
    uint32_t status = 1;
    primary->GetStatus(&status);
    EXPECT_EQ(0u, status);
    EXPECT_EQ(kSoundOk, primary->Play(kPlayLooping));
    primary->GetStatus(&status);
    EXPECT_NE(0u, status & kStatusPlaying);
    EXPECT_EQ(kSoundBadFormat, primary->SetFormat(Pcm(44100, 6, 16)));
    EXPECT_EQ(kSoundBadFormat, primary->SetFormat(Pcm(44100, 2, 32)));
    void* p = nullptr;
    uint32_t n = 0;
    EXPECT_EQ(kSoundInvalidCall, primary->Lock(0, 4, &p, &n, nullptr, nullptr, 0));
    pd.bytes = 100;
    EXPECT_EQ(kSoundInvalidParam, device->CreateBuffer(pd, &primary));
}

// ---------------------------------------------------------------------------------------------

TEST(EventGroupTest, PreferredIndexAndRingOrderWin)
{
    EventGroup g(17);
    g.Signal(0);
    g.Signal(15);
    EXPECT_EQ(15, g.WaitAny(0, 15)) << "the expected segment first, not the lowest index";
    EXPECT_EQ(0, g.WaitAny(0, 0));
    g.Signal(3);
    g.Signal(1);
    EXPECT_EQ(3, g.WaitAny(0, 2));
    EXPECT_EQ(1, g.WaitAny(0, 2));
    EXPECT_EQ(EventGroup::kTimeout, g.WaitAny(5));
    g.Signal(99); // ignored
    EXPECT_EQ(EventGroup::kTimeout, g.WaitAny(0));
}

TEST(EventGroupTest, QuitIsStickyAndWakesAWaiter)
{
    EventGroup g(2);
    int got = 0;
    std::thread t([&] { got = g.WaitAny(); });
    g.RequestQuit();
    t.join();
    EXPECT_EQ(EventGroup::kQuit, got);
    g.Signal(0);
    EXPECT_EQ(EventGroup::kQuit, g.WaitAny(0));
    g.ClearQuit();
    EXPECT_EQ(0, g.WaitAny(0));
}

TEST(EventGroupTest, WaitIdleWaitsForTheServerToTakeItsFlags)
{
    EventGroup g(2);
    EXPECT_TRUE(g.WaitIdle(std::chrono::milliseconds(0))) << "no server: idle";
    std::atomic<int> taken{0};
    g.Attach();
    std::thread t([&] {
        for (;;) {
            const int r = g.WaitAny();
            if (r == EventGroup::kQuit)
                break;
            ++taken;
        }
        g.Detach();
    });
    for (int i = 0; i < 50; ++i) {
        g.Signal(static_cast<unsigned>(i % 2));
        ASSERT_TRUE(g.WaitIdle(std::chrono::seconds(30)));
        EXPECT_EQ(i + 1, taken.load());
    }
    g.RequestQuit();
    t.join();
    EXPECT_TRUE(g.WaitIdle(std::chrono::milliseconds(0)));
}

// ---------------------------------------------------------------------------------------------

TEST(SoundDeviceTest, InjectedFailuresComeBackUnchanged)
{
    SoundTestOptions o;
    o.manualOutput = true;
    o.failCreate = kSoundNoDriver;
    SetSoundTestOptions(o);
    std::shared_ptr<SoundDevice> d;
    EXPECT_EQ(kSoundNoDriver, SoundDevice::Create(&d));
    o.failCreate = kSoundOk;
    o.failCooperativeLevel = kSoundGeneric;
    SetSoundTestOptions(o);
    ASSERT_EQ(kSoundOk, SoundDevice::Create(&d));
    EXPECT_EQ(kSoundGeneric, d->SetCooperativeLevel(nullptr, kCooperativePriority));
    SetSoundTestOptions(SoundTestOptions());
    EXPECT_STREQ("SOUND_BUFFER_LOST", SoundResultName(kSoundBufferLost));
    EXPECT_STRNE("", SoundResultDescription(kSoundNoDriver));
}
