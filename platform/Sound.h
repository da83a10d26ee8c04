#pragma once
// Sound output in place of DirectSound: a device with a primary format and secondary buffers (a ring
// with play and write cursors, two-region lock, play/loop/stop, volume, pan, frequency, position
// notifications), mixed in software and fed to SDL2 audio. No 3D sound, no effects, no capture; a
// buffer is never lost.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Event.h"

namespace plat {

// Result codes keep the numeric values of the original sound API, so logs read the same.
using SoundResult = int32_t;
constexpr SoundResult kSoundOk = 0;
constexpr SoundResult kSoundGeneric = static_cast<SoundResult>(0x80004005u);
constexpr SoundResult kSoundNoInterface = static_cast<SoundResult>(0x80004002u);
constexpr SoundResult kSoundOutOfMemory = static_cast<SoundResult>(0x8007000Eu);
constexpr SoundResult kSoundInvalidParam = static_cast<SoundResult>(0x80070057u);
constexpr SoundResult kSoundControlUnavailable = static_cast<SoundResult>(0x8878001Eu);
constexpr SoundResult kSoundInvalidCall = static_cast<SoundResult>(0x88780032u);
constexpr SoundResult kSoundBadFormat = static_cast<SoundResult>(0x88780064u);
constexpr SoundResult kSoundNoDriver = static_cast<SoundResult>(0x88780078u);
constexpr SoundResult kSoundBufferLost = static_cast<SoundResult>(0x88780096u);

inline bool SoundSucceeded(SoundResult r) { return r >= 0; }
const char* SoundResultName(SoundResult r);
const char* SoundResultDescription(SoundResult r);

// The fields of a PCM wave format block, in file order.
struct WaveFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t extraSize = 0;
};
constexpr uint16_t kWaveFormatPcm = 1;

// True for what the mixer plays: PCM, 1 or 2 channels, 8 or 16 bits, a consistent block align and
// byte rate, and a rate from 1000 to 192000 Hz.
bool IsPlayableFormat(const WaveFormat& f);

// Buffer capability flags.
constexpr uint32_t kBufferPrimary = 0x1;
constexpr uint32_t kBufferStatic = 0x2;
constexpr uint32_t kBufferLocHardware = 0x4;
constexpr uint32_t kBufferLocSoftware = 0x8;
constexpr uint32_t kBufferCtrlFrequency = 0x20;
constexpr uint32_t kBufferCtrlPan = 0x40;
constexpr uint32_t kBufferCtrlVolume = 0x80;
constexpr uint32_t kBufferCtrlPositionNotify = 0x100;
constexpr uint32_t kBufferStickyFocus = 0x4000;
constexpr uint32_t kBufferGlobalFocus = 0x8000;
constexpr uint32_t kBufferGetCurrentPosition2 = 0x10000;

constexpr uint32_t kPlayLooping = 0x1;
constexpr uint32_t kStatusPlaying = 0x1;
constexpr uint32_t kStatusBufferLost = 0x2;
constexpr uint32_t kStatusLooping = 0x4;
constexpr uint32_t kLockFromWriteCursor = 0x1;
constexpr uint32_t kLockEntireBuffer = 0x2;
constexpr uint32_t kNotifyOffsetStop = 0xFFFFFFFFu;

constexpr uint32_t kCooperativeNormal = 1;
constexpr uint32_t kCooperativePriority = 2;

constexpr int32_t kVolumeMin = -10000;
constexpr int32_t kVolumeMax = 0;
constexpr int32_t kPanLeft = -10000;
constexpr int32_t kPanRight = 10000;
constexpr uint32_t kFrequencyOriginal = 0;
constexpr uint32_t kFrequencyMin = 100;
constexpr uint32_t kFrequencyMax = 200000;
constexpr uint32_t kBufferBytesMin = 4;
constexpr uint32_t kBufferBytesMax = 0x0FFFFFFF;

struct SoundBufferDesc {
    uint32_t flags = 0;
    uint32_t bytes = 0;
    const WaveFormat* format = nullptr;
};

// Flag `index` of `events` is set when the play cursor moves past byte `offset` (the byte has been
// consumed); offset kNotifyOffsetStop fires when a playing buffer stops.
struct SoundNotification {
    uint32_t offset = 0;
    std::shared_ptr<EventGroup> events;
    unsigned index = 0;
};

class SoundDevice;
class Window;
namespace detail {
struct Voice;
struct Output;
}  // namespace detail

// Sums every playing buffer into the output format (signed 16-bit, interleaved). The audio thread
// calls Render; tests call it themselves on a device opened with a manual clock.
class Mixer {
public:
    Mixer();
    ~Mixer();
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    // Mixes `frames` output frames into `out`, advancing each playing buffer's cursor, raising the
    // notifications it passed and stopping buffers that reached their end without looping.
    void Render(int16_t* out, size_t frames);

    uint32_t GetOutputRate() const;
    unsigned GetOutputChannels() const;
    // Milliseconds on the output's clock: the steady clock, or the rendered time when manual.
    uint64_t GetClockMs() const;

private:
    friend class SoundBuffer;
    friend class SoundDevice;
    friend struct detail::Output;

    void SetOutputFormat(uint32_t rate, unsigned channels);
    void AddVoice(const std::shared_ptr<detail::Voice>& voice);
    void RemoveVoice(const detail::Voice* voice);

    std::mutex renderMutex_;    // one render at a time; guards the scratch vectors
    mutable std::mutex mutex_;  // the voice list and the output format; taken before a voice's lock
    std::vector<std::shared_ptr<detail::Voice>> voices_;
    uint32_t rate_ = 44100;
    unsigned channels_ = 2;
    uint64_t rendered_ = 0;  // frames since the last format change
    uint64_t baseUs_ = 0;
    bool manual_ = false;
    std::chrono::steady_clock::time_point epoch_ = std::chrono::steady_clock::now();
    std::vector<float> mix_;
    std::vector<std::pair<uint64_t, size_t>> crossings_;
    std::vector<std::pair<std::shared_ptr<EventGroup>, unsigned>> fired_;
};

class SoundBuffer {
public:
    ~SoundBuffer();
    SoundBuffer(const SoundBuffer&) = delete;
    SoundBuffer& operator=(const SoundBuffer&) = delete;

    uint32_t GetSize() const;
    WaveFormat GetFormat() const;

    SoundResult GetStatus(uint32_t* status) const;
    SoundResult Play(uint32_t flags);
    SoundResult Stop();
    SoundResult GetCurrentPosition(uint32_t* play, uint32_t* write) const;
    SoundResult SetCurrentPosition(uint32_t position);

    // Hands out up to two regions (the second when the range wraps past the end). They stay valid
    // until Unlock, which copies them into the ring under the buffer's lock, so the mixer never
    // reads bytes that are being written.
    SoundResult Lock(uint32_t offset, uint32_t bytes, void** region1, uint32_t* bytes1, void** region2,
                     uint32_t* bytes2, uint32_t flags);
    SoundResult Unlock(void* region1, uint32_t bytes1, void* region2, uint32_t bytes2);

    SoundResult SetVolume(int32_t volume);
    SoundResult GetVolume(int32_t* volume) const;
    SoundResult SetPan(int32_t pan);
    SoundResult GetPan(int32_t* pan) const;
    SoundResult SetFrequency(uint32_t frequency);
    SoundResult GetFrequency(uint32_t* frequency) const;
    SoundResult Restore();
    // The clock of the output this buffer plays on (see Mixer::GetClockMs).
    uint64_t GetClockMs() const { return mixer_->GetClockMs(); }

    // Replaces the notification list; only while stopped, and only with kBufferCtrlPositionNotify.
    SoundResult SetNotifications(const std::vector<SoundNotification>& notifications);

    // Primary buffer only: the output format. 8 or 16 bits, 1 or 2 channels.
    SoundResult SetFormat(const WaveFormat& format);

private:
    friend class SoundDevice;
    SoundBuffer(uint32_t flags, std::shared_ptr<Mixer> mixer, std::shared_ptr<detail::Voice> voice,
                std::shared_ptr<detail::Output> output);

    uint32_t flags_;
    std::shared_ptr<Mixer> mixer_;
    std::shared_ptr<detail::Voice> voice_;    // secondary buffers
    std::shared_ptr<detail::Output> output_;  // the primary buffer
};

class SoundDevice {
public:
    // Opens the default output (paused) at 44100 Hz, 16 bits, stereo; fails with kSoundNoDriver when
    // there is no usable audio device.
    static SoundResult Create(std::unique_ptr<SoundDevice>* device);
    ~SoundDevice();
    SoundDevice(const SoundDevice&) = delete;
    SoundDevice& operator=(const SoundDevice&) = delete;

    // Recorded only: output is never shared with other programs in a way the level could change.
    SoundResult SetCooperativeLevel(const Window* window, uint32_t level);
    SoundResult CreateBuffer(const SoundBufferDesc& desc, std::unique_ptr<SoundBuffer>* buffer);

    Mixer& GetMixer() { return *mixer_; }

private:
    SoundDevice(std::shared_ptr<Mixer> mixer, std::shared_ptr<detail::Output> output);
    std::shared_ptr<Mixer> mixer_;
    std::shared_ptr<detail::Output> output_;
};

// Test hooks. With a manual output no audio device is opened: time passes only when the test calls
// Mixer::Render. A non-zero failure code makes the matching device call fail with it.
struct SoundTestOptions {
    bool manualOutput = false;
    SoundResult failCreate = kSoundOk;
    SoundResult failCooperativeLevel = kSoundOk;
    SoundResult failCreatePrimary = kSoundOk;
    SoundResult failSetFormat = kSoundOk;
};
void SetSoundTestOptions(const SoundTestOptions& options);
SoundTestOptions GetSoundTestOptions();

}  // namespace plat
