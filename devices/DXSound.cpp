#include "devices/DXSound.h"

#include "core/Log.h"
#include "devices/SoundLog.h"

namespace trivale {

CDXSound::CDXSound() {
    m_format.formatTag = plat::kWaveFormatPcm;
    m_format.channels = 2;
    m_format.samplesPerSec = 44100;
    m_format.bitsPerSample = 16;
    m_format.extraSize = 0;
}

CDXSound::~CDXSound() { Finalize(); }

bool CDXSound::CreateDevice() {
    const plat::SoundResult r = plat::SoundDevice::Create(&m_device);
    if (!plat::SoundSucceeded(r)) {
        LogSoundError(r, __FILE__, __LINE__);
        m_device.reset();
        return false;
    }
    return true;
}

bool CDXSound::Initialize() {
    // A second Initialize keeps the running output (and the sounds on it) rather than opening another.
    if (m_ready) return true;
    if (!CreateDevice()) {
        LogError("CDXSound: DirectSoundCreate() 失敗\n");
        return false;
    }
    if (!plat::SoundSucceeded(m_device->SetCooperativeLevel(m_window, plat::kCooperativePriority))) {
        Finalize();
        LogError("CDXSound: SetCooperativeLevel() 失敗\n");
        return false;
    }
    plat::SoundBufferDesc desc;
    desc.flags = plat::kBufferPrimary;
    if (!plat::SoundSucceeded(m_device->CreateBuffer(desc, &m_primary))) {
        Finalize();
        LogError("CDXSound: プライマリバッファの作成に失敗\n");
        return false;
    }
    m_format.blockAlign = static_cast<uint16_t>(m_format.bitsPerSample * m_format.channels / 8);
    m_format.avgBytesPerSec = m_format.blockAlign * m_format.samplesPerSec;
    if (!plat::SoundSucceeded(m_primary->SetFormat(m_format))) {
        Finalize();
        LogError("CDXSound: プライマリバッファのフォーマット設定に失敗\n");
        return false;
    }
    m_primary->Play(plat::kPlayLooping);
    m_ready = true;
    LogInfoString("DirectSound ready.");
    return true;
}

void CDXSound::Finalize() {
    m_primary.reset();
    m_device.reset();
    m_ready = false;
    LogInfoString("DirectSound finalized.");
}

plat::SoundDevice* CDXSound::GetDirectSound() { return m_device.get(); }

plat::SoundBuffer* CDXSound::GetPrimaryBuffer() { return m_primary.get(); }

plat::Window* CDXSound::SetWindow(plat::Window* window) {
    m_window = window;
    return window;
}

uint16_t CDXSound::SetChannels(uint16_t channels) {
    m_format.channels = channels;
    return channels;
}

uint32_t CDXSound::SetSamplesPerSec(uint32_t samplesPerSec) {
    m_format.samplesPerSec = samplesPerSec;
    return samplesPerSec;
}

uint16_t CDXSound::SetBitsPerSample(uint16_t bitsPerSample) {
    m_format.bitsPerSample = bitsPerSample;
    return bitsPerSample;
}

bool CDXSound::IsReady() { return m_ready; }

bool CDXSound::SetOptionFlag(bool flag) {
    m_optionFlag = flag;
    return flag;
}

bool CDXSound::GetOptionFlag() { return m_optionFlag; }

}  // namespace trivale
