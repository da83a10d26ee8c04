#include "devices/DXSound.h"

#include "core/Log.h"
#include "devices/SoundLog.h"

namespace trivale {

CDXSound::CDXSound() {
    format_.formatTag = plat::kWaveFormatPcm;
    format_.channels = 2;
    format_.samplesPerSec = 44100;
    format_.bitsPerSample = 16;
    format_.extraSize = 0;
}

CDXSound::~CDXSound() { Finalize(); }

bool CDXSound::CreateDevice() {
    const plat::SoundResult r = plat::SoundDevice::Create(&device_);
    if (!plat::SoundSucceeded(r)) {
        LogSoundError(r, __FILE__, __LINE__);
        device_.reset();
        return false;
    }
    return true;
}

bool CDXSound::Initialize() {
    // A second Initialize keeps the running output (and the sounds on it) rather than opening another.
    if (ready_) return true;
    if (!CreateDevice()) {
        LogError("CDXSound: DirectSoundCreate() 失敗\n");
        return false;
    }
    if (!plat::SoundSucceeded(device_->SetCooperativeLevel(window_, plat::kCooperativePriority))) {
        Finalize();
        LogError("CDXSound: SetCooperativeLevel() 失敗\n");
        return false;
    }
    plat::SoundBufferDesc desc;
    desc.flags = plat::kBufferPrimary;
    if (!plat::SoundSucceeded(device_->CreateBuffer(desc, &primary_))) {
        Finalize();
        LogError("CDXSound: プライマリバッファの作成に失敗\n");
        return false;
    }
    format_.blockAlign = static_cast<uint16_t>(format_.bitsPerSample * format_.channels / 8);
    format_.avgBytesPerSec = format_.blockAlign * format_.samplesPerSec;
    if (!plat::SoundSucceeded(primary_->SetFormat(format_))) {
        Finalize();
        LogError("CDXSound: プライマリバッファのフォーマット設定に失敗\n");
        return false;
    }
    primary_->Play(plat::kPlayLooping);
    ready_ = true;
    LogInfoString("DirectSound ready.");
    return true;
}

void CDXSound::Finalize() {
    primary_.reset();
    device_.reset();
    ready_ = false;
    LogInfoString("DirectSound finalized.");
}

plat::SoundDevice* CDXSound::GetDirectSound() { return device_.get(); }

plat::SoundBuffer* CDXSound::GetPrimaryBuffer() { return primary_.get(); }

plat::Window* CDXSound::SetWindow(plat::Window* window) {
    window_ = window;
    return window;
}

uint16_t CDXSound::SetChannels(uint16_t channels) {
    format_.channels = channels;
    return channels;
}

uint32_t CDXSound::SetSamplesPerSec(uint32_t samplesPerSec) {
    format_.samplesPerSec = samplesPerSec;
    return samplesPerSec;
}

uint16_t CDXSound::SetBitsPerSample(uint16_t bitsPerSample) {
    format_.bitsPerSample = bitsPerSample;
    return bitsPerSample;
}

bool CDXSound::IsReady() { return ready_; }

bool CDXSound::SetOptionFlag(bool flag) {
    optionFlag_ = flag;
    return flag;
}

bool CDXSound::GetOptionFlag() { return optionFlag_; }

}  // namespace trivale
