#include "devices/Sound.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "core/Exception.h"
#include "devices/OggVorbisReader.h"
#include "devices/SoundLog.h"
#include "devices/WaveSoundReader.h"

namespace trivale {

namespace {

// The scale's constants, taken to single precision as the curve was first written with them.
const double kC = static_cast<double>(-0.0001f);
const double kOne = 1.0;
const double kK = -10000.0;
const double kP = static_cast<double>(0.22f);
const double kQ = 1.0 / static_cast<double>(0.22f);

}  // namespace

int32_t LinearVolumeToDecibels(int32_t linear) {
    // Below the floor the power's base turns negative (NaN); above 0 the buffer refuses the result.
    const double v = std::clamp(linear, plat::kVolumeMin, plat::kVolumeMax);
    return static_cast<int32_t>(std::trunc(kK * (kOne - std::pow(kOne - v * kC, kP))));
}

int32_t DecibelsToLinearVolume(int32_t decibels) {
    const double d = std::clamp(decibels, plat::kVolumeMin, plat::kVolumeMax);
    return static_cast<int32_t>(std::trunc(kK * (kOne - std::pow(kOne - d * kC, kQ))));
}

CSound::CSound(uint32_t extraFlags) : extraFlags_(extraFlags) {}

CSound::~CSound() = default;

bool CSound::IsPlaying() {
    if (!buffer_) return false;
    uint32_t status = 0;
    if (!plat::SoundSucceeded(buffer_->GetStatus(&status))) return false;
    return (status & plat::kStatusPlaying) != 0;
}

void CSound::Stop() {
    if (buffer_) buffer_->Stop();
}

void CSound::SetLoop(bool loop) { loop_ = loop; }

bool CSound::IsLoop() { return loop_; }

void CSound::SetVolume(int32_t volume) {
    if (!buffer_) return;
    const plat::SoundResult r = buffer_->SetVolume(volume);
    if (!plat::SoundSucceeded(r)) LogSoundError(r, __FILE__, __LINE__);
}

int32_t CSound::GetVolume() {
    int32_t volume = 0;
    if (!buffer_) return volume;
    const plat::SoundResult r = buffer_->GetVolume(&volume);
    if (!plat::SoundSucceeded(r)) LogSoundError(r, __FILE__, __LINE__);
    return volume;
}

void CSound::SetLinearVolume(int32_t volume) {
    if (!buffer_) return;
    SetVolume(LinearVolumeToDecibels(volume));
}

int32_t CSound::GetLinearVolume() {
    if (!buffer_) return 0;
    return DecibelsToLinearVolume(GetVolume());
}

void CSound::SetPan(int32_t pan) {
    if (!buffer_) return;
    const plat::SoundResult r = buffer_->SetPan(pan);
    if (!plat::SoundSucceeded(r)) LogSoundError(r, __FILE__, __LINE__);
}

int32_t CSound::GetPan() {
    int32_t pan = 0;
    if (!buffer_) return pan;
    const plat::SoundResult r = buffer_->GetPan(&pan);
    if (!plat::SoundSucceeded(r)) LogSoundError(r, __FILE__, __LINE__);
    return pan;
}

double CSound::GetPlayTime() {
    const plat::WaveFormat* f = GetFormat();
    if (f == nullptr) return 0.0;
    const uint32_t bitsPerSecond = static_cast<uint32_t>(f->bitsPerSample) * f->channels * f->samplesPerSec;
    if (bitsPerSecond == 0) return 0.0;
    return static_cast<double>(GetPlayPosition()) / (bitsPerSecond * 0.125);
}

std::unique_ptr<ISoundReader> CreateSoundReader(IStream& stream) {
    const uint32_t position = stream.Tell();
    uint8_t head[16];
    std::memset(head, 0, sizeof head);
    stream.Read(head, sizeof head);
    stream.Seek(position);
    if (std::memcmp(head, "Ogg", 3) == 0) return std::unique_ptr<ISoundReader>(new COggVorbisReader());
    if (std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0)
        return std::unique_ptr<ISoundReader>(new CWaveSoundReader());
    throw EInvalidFileFormat("CreateSoundReader(): 対応していない音声フォーマットです.");
}

std::unique_ptr<ISoundReader> OpenSoundReader(IStream& stream) {
    std::unique_ptr<ISoundReader> reader = CreateSoundReader(stream);
    reader->Open(&stream);
    return reader;
}

}  // namespace trivale
