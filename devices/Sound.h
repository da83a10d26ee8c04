#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "core/Object.h"
#include "core/Stream.h"
#include "devices/SoundReader.h"
#include "platform/Sound.h"

namespace trivale {

class CDXSound;

// A playable sound on a sound buffer. Volumes are hundredths of a decibel (0 full, -10000 silent).
class ISound : public IInterface {
public:
    virtual void Create(CDXSound* device, IStream& stream) = 0;
    virtual void Create(CDXSound* device, std::shared_ptr<ISoundReader> reader) = 0;
    virtual void Play() = 0;
    virtual bool IsPlaying() = 0;
    virtual void Stop() = 0;
    virtual void SetLoop(bool loop) = 0;
    virtual bool IsLoop() = 0;
    virtual void SetVolume(int32_t volume) = 0;
    virtual int32_t GetVolume() = 0;
    virtual void SetLinearVolume(int32_t volume) = 0;
    virtual int32_t GetLinearVolume() = 0;
    virtual void SetPan(int32_t pan) = 0;
    virtual int32_t GetPan() = 0;
    virtual const plat::WaveFormat* GetFormat() = 0;
    virtual uint32_t GetPlayPosition() = 0;
    virtual double GetPlayTime() = 0;
};

// The buffer-side operations every sound shares; how the buffer is made and filled is the subclass's.
class CSound : public virtual CNonCopyable, public ISound {
public:
    bool IsPlaying() override;
    void Stop() override;
    void SetLoop(bool loop) override;
    bool IsLoop() override;
    void SetVolume(int32_t volume) override;
    int32_t GetVolume() override;
    void SetLinearVolume(int32_t volume) override;
    int32_t GetLinearVolume() override;
    void SetPan(int32_t pan) override;
    int32_t GetPan() override;
    double GetPlayTime() override;

protected:
    explicit CSound(uint32_t extraFlags);
    ~CSound() override;

    std::unique_ptr<plat::SoundBuffer> buffer_;
    uint32_t extraFlags_;
    std::atomic<bool> loop_{false};
};

// The linear volume scale (-10000 silent to 0 full) mapped onto decibels by a power curve; values
// outside the scale are clamped to it.
int32_t LinearVolumeToDecibels(int32_t linear);
int32_t DecibelsToLinearVolume(int32_t decibels);

// Picks the reader for a stream by its first bytes (Ogg Vorbis or RIFF WAVE); not yet opened. The stream
// is left where it was.
std::unique_ptr<ISoundReader> CreateSoundReader(IStream& stream);
// CreateSoundReader, then opens the reader on the same stream.
std::unique_ptr<ISoundReader> OpenSoundReader(IStream& stream);

}  // namespace trivale
