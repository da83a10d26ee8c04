#include "platform/Sound.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>

namespace plat {

namespace {

std::mutex g_optionsMutex;
SoundTestOptions g_options;

// Frames the output asks for per callback; also the write cursor's lead over the play cursor.
constexpr unsigned kOutputBlockFrames = 1024;

float DecibelGain(int32_t hundredths) {
    if (hundredths <= kVolumeMin) return 0.0f;
    return static_cast<float>(std::pow(10.0, hundredths / 2000.0));
}

bool SameFormat(const WaveFormat& a, const WaveFormat& b) {
    return a.formatTag == b.formatTag && a.channels == b.channels && a.samplesPerSec == b.samplesPerSec &&
           a.avgBytesPerSec == b.avgBytesPerSec && a.blockAlign == b.blockAlign && a.bitsPerSample == b.bitsPerSample;
}

}  // namespace

const char* SoundResultName(SoundResult r) {
    switch (r) {
    case kSoundOk:
        return "SOUND_OK";
    case kSoundGeneric:
        return "SOUND_GENERIC";
    case kSoundNoInterface:
        return "SOUND_NO_INTERFACE";
    case kSoundOutOfMemory:
        return "SOUND_OUT_OF_MEMORY";
    case kSoundInvalidParam:
        return "SOUND_INVALID_PARAM";
    case kSoundControlUnavailable:
        return "SOUND_CONTROL_UNAVAILABLE";
    case kSoundInvalidCall:
        return "SOUND_INVALID_CALL";
    case kSoundBadFormat:
        return "SOUND_BAD_FORMAT";
    case kSoundNoDriver:
        return "SOUND_NO_DRIVER";
    case kSoundBufferLost:
        return "SOUND_BUFFER_LOST";
    default:
        return "SOUND_UNKNOWN";
    }
}

const char* SoundResultDescription(SoundResult r) {
    switch (r) {
    case kSoundOk:
        return "The call succeeded.";
    case kSoundGeneric:
        return "An undetermined error occurred inside the sound layer.";
    case kSoundNoInterface:
        return "The requested interface is not available for this buffer.";
    case kSoundOutOfMemory:
        return "Not enough memory to complete the request.";
    case kSoundInvalidParam:
        return "An invalid parameter was passed.";
    case kSoundControlUnavailable:
        return "The buffer was not created with the control it needs.";
    case kSoundInvalidCall:
        return "The call is not valid in the buffer's current state.";
    case kSoundBadFormat:
        return "The wave format is not supported.";
    case kSoundNoDriver:
        return "No sound output device is available.";
    case kSoundBufferLost:
        return "The buffer memory has been lost and must be restored.";
    default:
        return "Unknown sound error.";
    }
}

bool IsPlayableFormat(const WaveFormat& f) {
    if (f.formatTag != kWaveFormatPcm) return false;
    if (f.channels < 1 || f.channels > 2) return false;
    if (f.bitsPerSample != 8 && f.bitsPerSample != 16) return false;
    if (f.blockAlign != f.channels * f.bitsPerSample / 8) return false;
    if (f.samplesPerSec < 1000 || f.samplesPerSec > 192000) return false;
    return f.avgBytesPerSec == f.samplesPerSec * f.blockAlign;
}

void SetSoundTestOptions(const SoundTestOptions& options) {
    std::lock_guard<std::mutex> lock(g_optionsMutex);
    g_options = options;
}

SoundTestOptions GetSoundTestOptions() {
    std::lock_guard<std::mutex> lock(g_optionsMutex);
    return g_options;
}

namespace detail {

struct Voice {
    std::mutex mutex;
    WaveFormat format;
    std::vector<uint8_t> ring;
    std::vector<uint8_t> staging;
    uint32_t frames = 0;
    uint32_t pos = 0;   // frame the play cursor is on
    uint32_t frac = 0;  // fraction of a frame past pos, in 1/2^32
    bool playing = false;
    bool looping = false;
    int32_t volume = 0;
    int32_t pan = 0;
    uint32_t frequency = kFrequencyOriginal;
    float gainL = 1.0f;
    float gainR = 1.0f;
    std::vector<SoundNotification> positions;
    std::vector<SoundNotification> stops;

    uint32_t Rate() const { return frequency != kFrequencyOriginal ? frequency : format.samplesPerSec; }

    void UpdateGains() {
        const float base = DecibelGain(volume);
        gainL = base;
        gainR = base;
        if (pan < 0)
            gainR *= DecibelGain(pan);
        else if (pan > 0)
            gainL *= DecibelGain(-pan);
    }
};

struct Output {
    std::shared_ptr<Mixer> mixer;
    bool manual = false;
    bool sdlInit = false;
    SDL_AudioDeviceID device = 0;
    WaveFormat format;
    bool started = false;
    std::mutex mutex;
    std::vector<int16_t> scratch;  // audio thread only

    ~Output() {
        Close();
        if (sdlInit) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    void Close() {
        if (device != 0) {
            SDL_CloseAudioDevice(device);  // waits for a running callback
            device = 0;
        }
    }

    static void Callback(void* user, Uint8* stream, int len) {
        auto* self = static_cast<Output*>(user);
        const unsigned ch = self->format.channels;
        if (self->format.bitsPerSample == 16) {
            self->mixer->Render(reinterpret_cast<int16_t*>(stream), static_cast<size_t>(len) / (2 * ch));
            return;
        }
        const size_t samples = static_cast<size_t>(len);
        self->scratch.resize(samples);
        self->mixer->Render(self->scratch.data(), samples / ch);
        for (size_t i = 0; i < samples; ++i) stream[i] = static_cast<Uint8>((self->scratch[i] >> 8) + 128);
    }

    SoundResult Open(const WaveFormat& f) {
        std::lock_guard<std::mutex> lock(mutex);
        // The device opens the default format first; setting that same format keeps it open.
        if (device != 0 && SameFormat(format, f)) return kSoundOk;
        if (manual) {
            format = f;
            mixer->SetOutputFormat(f.samplesPerSec, f.channels);
            return kSoundOk;
        }
        Close();
        SDL_AudioSpec want;
        SDL_AudioSpec have;
        std::memset(&want, 0, sizeof want);
        std::memset(&have, 0, sizeof have);
        want.freq = static_cast<int>(f.samplesPerSec);
        want.format = f.bitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16SYS;
        want.channels = static_cast<Uint8>(f.channels);
        want.samples = kOutputBlockFrames;
        want.callback = &Output::Callback;
        want.userdata = this;
        format = f;
        mixer->SetOutputFormat(f.samplesPerSec, f.channels);
        // No allowed changes: SDL converts when the hardware differs, so the mixer's format holds.
        device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device == 0) return kSoundNoDriver;
        SDL_PauseAudioDevice(device, started ? 0 : 1);
        return kSoundOk;
    }

    void Start(bool start) {
        std::lock_guard<std::mutex> lock(mutex);
        started = start;
        if (device != 0) SDL_PauseAudioDevice(device, start ? 0 : 1);
    }
};

}  // namespace detail

using detail::Output;
using detail::Voice;

// ---------------------------------------------------------------------------------------------
// Mixer

namespace {

template <int Bits>
inline float SampleAt(const uint8_t* p) {
    if (Bits == 8) return static_cast<float>((static_cast<int>(p[0]) - 128) * 256);
    return static_cast<float>(static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8))));
}

// Mixes one voice; returns the frames its cursor advanced (up to the end when it ran out).
template <int Bits, int Channels>
uint64_t MixVoice(Voice& v, float* mix, size_t frames, unsigned outChannels, uint64_t step, bool* ended) {
    constexpr unsigned align = Channels * Bits / 8;
    const uint8_t* ring = v.ring.data();
    const uint32_t total = v.frames;
    const float gl = v.gainL;
    const float gr = v.gainR;
    const bool silent = gl == 0.0f && gr == 0.0f;
    uint32_t pos = v.pos;
    uint32_t frac = v.frac;
    uint64_t advanced = 0;
    *ended = false;
    if (step == (1ull << 32) && frac == 0) {
        // The buffer's rate is the output's: whole frames, copied in runs up to the ring's end.
        size_t j = 0;
        while (j < frames) {
            const size_t run = std::min<size_t>(frames - j, total - pos);
            if (!silent) {
                const uint8_t* p = ring + static_cast<size_t>(pos) * align;
                float* m = mix + j * outChannels;
                if (outChannels == 2) {
                    for (size_t k = 0; k < run; ++k) {
                        const float l = SampleAt<Bits>(p + k * align);
                        const float r = Channels == 2 ? SampleAt<Bits>(p + k * align + Bits / 8) : l;
                        m[2 * k] += l * gl;
                        m[2 * k + 1] += r * gr;
                    }
                } else {
                    for (size_t k = 0; k < run; ++k) {
                        const float l = SampleAt<Bits>(p + k * align);
                        const float r = Channels == 2 ? SampleAt<Bits>(p + k * align + Bits / 8) : l;
                        m[k] += (l * gl + r * gr) * 0.5f;
                    }
                }
            }
            j += run;
            pos += static_cast<uint32_t>(run);
            advanced += run;
            if (pos >= total) {
                pos = 0;
                if (!v.looping) {
                    *ended = true;
                    break;
                }
            }
        }
        v.pos = pos;
        return advanced;
    }
    for (size_t j = 0; j < frames; ++j) {
        if (!silent) {
            const uint8_t* p0 = ring + static_cast<size_t>(pos) * align;
            float l = SampleAt<Bits>(p0);
            float r = Channels == 2 ? SampleAt<Bits>(p0 + Bits / 8) : l;
            if (frac != 0) {
                uint32_t next = pos + 1;
                if (next >= total) next = v.looping ? 0 : pos;
                const uint8_t* p1 = ring + static_cast<size_t>(next) * align;
                const float l1 = SampleAt<Bits>(p1);
                const float r1 = Channels == 2 ? SampleAt<Bits>(p1 + Bits / 8) : l1;
                const float t = static_cast<float>(frac * (1.0 / 4294967296.0));
                l += (l1 - l) * t;
                r += (r1 - r) * t;
            }
            if (outChannels == 2) {
                mix[2 * j] += l * gl;
                mix[2 * j + 1] += r * gr;
            } else {
                mix[j] += (l * gl + r * gr) * 0.5f;
            }
        }
        const uint64_t acc = static_cast<uint64_t>(frac) + step;
        const uint64_t adv = acc >> 32;
        frac = static_cast<uint32_t>(acc);
        uint64_t np = pos + adv;
        if (np >= total) {
            if (!v.looping) {
                advanced += total - pos;
                pos = 0;
                frac = 0;
                *ended = true;
                break;
            }
            np %= total;
        }
        advanced += adv;
        pos = static_cast<uint32_t>(np);
    }
    v.pos = pos;
    v.frac = frac;
    return advanced;
}

}  // namespace

Mixer::Mixer() = default;
Mixer::~Mixer() = default;

void Mixer::SetOutputFormat(uint32_t rate, unsigned channels) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Keep the clock continuous across a format change.
    baseUs_ += rendered_ * 1000000ull / rate_;
    rendered_ = 0;
    rate_ = rate;
    channels_ = channels;
}

uint32_t Mixer::GetOutputRate() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return rate_;
}

unsigned Mixer::GetOutputChannels() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return channels_;
}

uint64_t Mixer::GetClockMs() const {
    if (manual_) {
        std::lock_guard<std::mutex> lock(mutex_);
        return (baseUs_ + rendered_ * 1000000ull / rate_) / 1000;
    }
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - epoch_).count());
}

void Mixer::AddVoice(const std::shared_ptr<Voice>& voice) {
    std::lock_guard<std::mutex> lock(mutex_);
    voices_.push_back(voice);
}

void Mixer::RemoveVoice(const Voice* voice) {
    std::lock_guard<std::mutex> lock(mutex_);
    voices_.erase(std::remove_if(voices_.begin(), voices_.end(),
                                 [voice](const std::shared_ptr<Voice>& v) { return v.get() == voice; }),
                  voices_.end());
}

void Mixer::Render(int16_t* out, size_t frames) {
    std::lock_guard<std::mutex> renderLock(renderMutex_);
    fired_.clear();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const unsigned outCh = channels_;
        mix_.assign(frames * outCh, 0.0f);
        for (const auto& vp : voices_) {
            Voice& v = *vp;
            std::lock_guard<std::mutex> voiceLock(v.mutex);
            if (!v.playing || v.frames == 0) continue;
            const uint64_t step = (static_cast<uint64_t>(v.Rate()) << 32) / rate_;
            const uint32_t startByte = v.pos * v.format.blockAlign;
            bool ended = false;
            uint64_t advanced = 0;
            const int kind = (v.format.bitsPerSample == 16 ? 2 : 0) + (v.format.channels == 2 ? 1 : 0);
            switch (kind) {
            case 0:
                advanced = MixVoice<8, 1>(v, mix_.data(), frames, outCh, step, &ended);
                break;
            case 1:
                advanced = MixVoice<8, 2>(v, mix_.data(), frames, outCh, step, &ended);
                break;
            case 2:
                advanced = MixVoice<16, 1>(v, mix_.data(), frames, outCh, step, &ended);
                break;
            default:
                advanced = MixVoice<16, 2>(v, mix_.data(), frames, outCh, step, &ended);
                break;
            }
            // Positions passed, in the order the cursor passed them.
            const uint64_t size = v.ring.size();
            const uint64_t advancedBytes = advanced * v.format.blockAlign;
            crossings_.clear();
            for (size_t i = 0; i < v.positions.size(); ++i) {
                const uint64_t d = (v.positions[i].offset + size - startByte) % size;
                if (d < advancedBytes) crossings_.emplace_back(d, i);
            }
            std::sort(crossings_.begin(), crossings_.end());
            for (const auto& c : crossings_)
                fired_.emplace_back(v.positions[c.second].events, v.positions[c.second].index);
            if (ended) {
                v.playing = false;
                for (const auto& n : v.stops) fired_.emplace_back(n.events, n.index);
            }
        }
        const size_t samples = frames * outCh;
        const float* mix = mix_.data();
        for (size_t i = 0; i < samples; ++i) {
            const float x = std::min(std::max(mix[i], -32768.0f), 32767.0f);
            out[i] = static_cast<int16_t>(x >= 0.0f ? x + 0.5f : x - 0.5f);
        }
        rendered_ += frames;
    }
    // Waiters run once the voices are free again.
    for (const auto& f : fired_)
        if (f.first) f.first->Signal(f.second);
    fired_.clear();
}

// ---------------------------------------------------------------------------------------------
// Buffers

SoundBuffer::SoundBuffer(uint32_t flags, std::shared_ptr<Mixer> mixer, std::shared_ptr<Voice> voice,
                         std::shared_ptr<Output> output)
    : flags_(flags), mixer_(std::move(mixer)), voice_(std::move(voice)), output_(std::move(output)) {}

SoundBuffer::~SoundBuffer() {
    if (voice_) mixer_->RemoveVoice(voice_.get());
}

uint32_t SoundBuffer::GetSize() const {
    if (!voice_) return 0;
    std::lock_guard<std::mutex> lock(voice_->mutex);
    return static_cast<uint32_t>(voice_->ring.size());
}

WaveFormat SoundBuffer::GetFormat() const {
    if (!voice_) {
        std::lock_guard<std::mutex> lock(output_->mutex);
        return output_->format;
    }
    std::lock_guard<std::mutex> lock(voice_->mutex);
    return voice_->format;
}

SoundResult SoundBuffer::GetStatus(uint32_t* status) const {
    if (status == nullptr) return kSoundInvalidParam;
    if (!voice_) {
        std::lock_guard<std::mutex> lock(output_->mutex);
        *status = output_->started ? (kStatusPlaying | kStatusLooping) : 0;
        return kSoundOk;
    }
    std::lock_guard<std::mutex> lock(voice_->mutex);
    *status = voice_->playing ? (kStatusPlaying | (voice_->looping ? kStatusLooping : 0)) : 0;
    return kSoundOk;
}

SoundResult SoundBuffer::Play(uint32_t flags) {
    if (!voice_) {
        output_->Start(true);
        return kSoundOk;
    }
    std::lock_guard<std::mutex> lock(voice_->mutex);
    voice_->playing = true;
    voice_->looping = (flags & kPlayLooping) != 0;
    return kSoundOk;
}

SoundResult SoundBuffer::Stop() {
    if (!voice_) {
        output_->Start(false);
        return kSoundOk;
    }
    std::vector<SoundNotification> fire;
    {
        std::lock_guard<std::mutex> lock(voice_->mutex);
        // The stop notification marks a transition: stopping a stopped buffer raises nothing.
        if (voice_->playing) {
            voice_->playing = false;
            fire = voice_->stops;
        }
    }
    for (const auto& n : fire)
        if (n.events) n.events->Signal(n.index);
    return kSoundOk;
}

SoundResult SoundBuffer::GetCurrentPosition(uint32_t* play, uint32_t* write) const {
    if (!voice_) {
        if (play) *play = 0;
        if (write) *write = 0;
        return kSoundOk;
    }
    const uint32_t outRate = mixer_->GetOutputRate();  // before the voice lock: the mixer locks in that order
    std::lock_guard<std::mutex> lock(voice_->mutex);
    const Voice& v = *voice_;
    const uint32_t align = v.format.blockAlign;
    const uint32_t p = v.pos * align;
    uint32_t w = p;
    if (v.playing) {
        const uint64_t lead = (static_cast<uint64_t>(kOutputBlockFrames) * v.Rate() + outRate - 1) / outRate;
        w = static_cast<uint32_t>((p + std::min<uint64_t>(lead, v.frames) * align) % v.ring.size());
    }
    if (play) *play = p;
    if (write) *write = w;
    return kSoundOk;
}

SoundResult SoundBuffer::SetCurrentPosition(uint32_t position) {
    if (!voice_) return kSoundInvalidCall;
    std::lock_guard<std::mutex> lock(voice_->mutex);
    if (position >= voice_->ring.size()) return kSoundInvalidParam;
    voice_->pos = position / voice_->format.blockAlign;
    voice_->frac = 0;
    return kSoundOk;
}

SoundResult SoundBuffer::Lock(uint32_t offset, uint32_t bytes, void** region1, uint32_t* bytes1, void** region2,
                              uint32_t* bytes2, uint32_t flags) {
    if (!voice_) return kSoundInvalidCall;
    if (region1 == nullptr || bytes1 == nullptr) return kSoundInvalidParam;
    if (flags & kLockFromWriteCursor) {
        uint32_t play = 0;
        GetCurrentPosition(&play, &offset);
    }
    std::lock_guard<std::mutex> lock(voice_->mutex);
    Voice& v = *voice_;
    const uint32_t size = static_cast<uint32_t>(v.ring.size());
    if (flags & kLockEntireBuffer) bytes = size;
    if (offset >= size || bytes == 0 || bytes > size) return kSoundInvalidParam;
    const uint32_t first = std::min(bytes, size - offset);
    const uint32_t second = bytes - first;
    if (second != 0 && (region2 == nullptr || bytes2 == nullptr)) return kSoundInvalidParam;
    // The staging copy starts as the ring's content, as a locked region would.
    std::memcpy(v.staging.data() + offset, v.ring.data() + offset, first);
    std::memcpy(v.staging.data(), v.ring.data(), second);
    *region1 = v.staging.data() + offset;
    *bytes1 = first;
    if (region2 != nullptr) *region2 = second != 0 ? v.staging.data() : nullptr;
    if (bytes2 != nullptr) *bytes2 = second;
    return kSoundOk;
}

SoundResult SoundBuffer::Unlock(void* region1, uint32_t bytes1, void* region2, uint32_t bytes2) {
    if (!voice_) return kSoundInvalidCall;
    std::lock_guard<std::mutex> lock(voice_->mutex);
    Voice& v = *voice_;
    const uintptr_t base = reinterpret_cast<uintptr_t>(v.staging.data());
    const uintptr_t end = base + v.staging.size();
    auto commit = [&](void* region, uint32_t n) -> bool {
        if (region == nullptr || n == 0) return true;
        const uintptr_t p = reinterpret_cast<uintptr_t>(region);
        if (p < base || p > end || n > end - p) return false;
        const size_t off = p - base;
        std::memcpy(v.ring.data() + off, v.staging.data() + off, n);
        return true;
    };
    if (!commit(region1, bytes1) || !commit(region2, bytes2)) return kSoundInvalidParam;
    return kSoundOk;
}

SoundResult SoundBuffer::SetVolume(int32_t volume) {
    if (!voice_ || !(flags_ & kBufferCtrlVolume)) return kSoundControlUnavailable;
    if (volume < kVolumeMin || volume > kVolumeMax) return kSoundInvalidParam;
    std::lock_guard<std::mutex> lock(voice_->mutex);
    voice_->volume = volume;
    voice_->UpdateGains();
    return kSoundOk;
}

SoundResult SoundBuffer::GetVolume(int32_t* volume) const {
    if (!voice_ || !(flags_ & kBufferCtrlVolume)) return kSoundControlUnavailable;
    if (volume == nullptr) return kSoundInvalidParam;
    std::lock_guard<std::mutex> lock(voice_->mutex);
    *volume = voice_->volume;
    return kSoundOk;
}

SoundResult SoundBuffer::SetPan(int32_t pan) {
    if (!voice_ || !(flags_ & kBufferCtrlPan)) return kSoundControlUnavailable;
    if (pan < kPanLeft || pan > kPanRight) return kSoundInvalidParam;
    std::lock_guard<std::mutex> lock(voice_->mutex);
    voice_->pan = pan;
    voice_->UpdateGains();
    return kSoundOk;
}

SoundResult SoundBuffer::GetPan(int32_t* pan) const {
    if (!voice_ || !(flags_ & kBufferCtrlPan)) return kSoundControlUnavailable;
    if (pan == nullptr) return kSoundInvalidParam;
    std::lock_guard<std::mutex> lock(voice_->mutex);
    *pan = voice_->pan;
    return kSoundOk;
}

SoundResult SoundBuffer::SetFrequency(uint32_t frequency) {
    if (!voice_ || !(flags_ & kBufferCtrlFrequency)) return kSoundControlUnavailable;
    if (frequency != kFrequencyOriginal && (frequency < kFrequencyMin || frequency > kFrequencyMax))
        return kSoundInvalidParam;
    std::lock_guard<std::mutex> lock(voice_->mutex);
    voice_->frequency = frequency;
    return kSoundOk;
}

SoundResult SoundBuffer::GetFrequency(uint32_t* frequency) const {
    if (!voice_ || !(flags_ & kBufferCtrlFrequency)) return kSoundControlUnavailable;
    if (frequency == nullptr) return kSoundInvalidParam;
    std::lock_guard<std::mutex> lock(voice_->mutex);
    *frequency = voice_->Rate();
    return kSoundOk;
}

SoundResult SoundBuffer::Restore() { return kSoundOk; }

SoundResult SoundBuffer::SetNotifications(const std::vector<SoundNotification>& notifications) {
    if (!voice_ || !(flags_ & kBufferCtrlPositionNotify)) return kSoundNoInterface;
    std::lock_guard<std::mutex> lock(voice_->mutex);
    if (voice_->playing) return kSoundInvalidCall;
    std::vector<SoundNotification> positions;
    std::vector<SoundNotification> stops;
    for (const auto& n : notifications) {
        if (!n.events || n.index >= n.events->GetCount()) return kSoundInvalidParam;
        if (n.offset == kNotifyOffsetStop)
            stops.push_back(n);
        else if (n.offset < voice_->ring.size())
            positions.push_back(n);
        else
            return kSoundInvalidParam;
    }
    voice_->positions = std::move(positions);
    voice_->stops = std::move(stops);
    return kSoundOk;
}

SoundResult SoundBuffer::SetFormat(const WaveFormat& f) {
    if (voice_) return kSoundInvalidCall;
    const SoundResult fail = GetSoundTestOptions().failSetFormat;
    if (fail != kSoundOk) return fail;
    if (!IsPlayableFormat(f)) return kSoundBadFormat;
    return output_->Open(f);
}

// ---------------------------------------------------------------------------------------------
// Device

SoundDevice::SoundDevice(std::shared_ptr<Mixer> mixer, std::shared_ptr<Output> output)
    : mixer_(std::move(mixer)), output_(std::move(output)) {}

SoundDevice::~SoundDevice() = default;

SoundResult SoundDevice::Create(std::unique_ptr<SoundDevice>* device) {
    if (device == nullptr) return kSoundInvalidParam;
    device->reset();
    const SoundTestOptions options = GetSoundTestOptions();
    if (options.failCreate != kSoundOk) return options.failCreate;

    auto mixer = std::make_shared<Mixer>();
    auto output = std::make_shared<Output>();
    output->mixer = mixer;
    output->manual = options.manualOutput;
    mixer->manual_ = options.manualOutput;
    if (!output->manual) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return kSoundNoDriver;
        output->sdlInit = true;
    }
    WaveFormat f;
    f.formatTag = kWaveFormatPcm;
    f.channels = 2;
    f.samplesPerSec = 44100;
    f.bitsPerSample = 16;
    f.blockAlign = 4;
    f.avgBytesPerSec = 176400;
    // Opening the default device now is what tells a machine without sound from one with it.
    const SoundResult r = output->Open(f);
    if (!SoundSucceeded(r)) return r;  // the output's destructor undoes the subsystem init
    device->reset(new SoundDevice(mixer, output));
    return kSoundOk;
}

SoundResult SoundDevice::SetCooperativeLevel(const Window*, uint32_t level) {
    const SoundResult fail = GetSoundTestOptions().failCooperativeLevel;
    if (fail != kSoundOk) return fail;
    if (level < 1 || level > 4) return kSoundInvalidParam;
    return kSoundOk;
}

SoundResult SoundDevice::CreateBuffer(const SoundBufferDesc& desc, std::unique_ptr<SoundBuffer>* buffer) {
    if (buffer == nullptr) return kSoundInvalidParam;
    buffer->reset();
    if (desc.flags & kBufferPrimary) {
        const SoundResult fail = GetSoundTestOptions().failCreatePrimary;
        if (fail != kSoundOk) return fail;
        if (desc.bytes != 0 || desc.format != nullptr) return kSoundInvalidParam;
        buffer->reset(new SoundBuffer(desc.flags, mixer_, nullptr, output_));
        return kSoundOk;
    }
    if (desc.format == nullptr) return kSoundInvalidParam;
    if (!IsPlayableFormat(*desc.format)) return kSoundBadFormat;
    if (desc.bytes < kBufferBytesMin || desc.bytes > kBufferBytesMax || desc.bytes % desc.format->blockAlign != 0)
        return kSoundInvalidParam;
    auto voice = std::make_shared<Voice>();
    voice->format = *desc.format;
    try {
        voice->ring.assign(desc.bytes, desc.format->bitsPerSample == 8 ? 0x80 : 0x00);
        voice->staging.assign(desc.bytes, 0);
    } catch (const std::bad_alloc&) {
        return kSoundOutOfMemory;
    }
    voice->frames = desc.bytes / desc.format->blockAlign;
    mixer_->AddVoice(voice);
    buffer->reset(new SoundBuffer(desc.flags, mixer_, voice, nullptr));
    return kSoundOk;
}

}  // namespace plat
