#pragma once
#include <cstdint>
#include <memory>

#include "core/Object.h"
#include "platform/Sound.h"

namespace plat {
class Window;
}

namespace trivale {

// The sound device: opens the output at the primary format and keeps it running. When Initialize
// fails (no audio device) the program runs without sound and sounds made on it stay silent.
class CDXSound : public virtual CNonCopyable {
public:
    CDXSound();
    ~CDXSound() override;

    virtual bool Initialize();
    virtual void Finalize();
    virtual plat::SoundDevice* GetDirectSound();
    virtual plat::SoundBuffer* GetPrimaryBuffer();
    virtual plat::Window* SetWindow(plat::Window* window);
    virtual uint16_t SetChannels(uint16_t channels);
    virtual uint32_t SetSamplesPerSec(uint32_t samplesPerSec);
    virtual uint16_t SetBitsPerSample(uint16_t bitsPerSample);
    virtual bool IsReady();
    virtual bool SetOptionFlag(bool flag);
    virtual bool GetOptionFlag();

    // The primary format as last computed by Initialize (block align and byte rate included).
    const plat::WaveFormat& GetPrimaryFormat() const { return format_; }

protected:
    bool CreateDevice();

    std::unique_ptr<plat::SoundDevice> device_;
    std::unique_ptr<plat::SoundBuffer> primary_;
    bool ready_ = false;
    bool optionFlag_ = false;
    plat::WaveFormat format_;
    plat::Window* window_ = nullptr;
};

}  // namespace trivale
