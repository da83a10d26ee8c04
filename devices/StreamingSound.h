#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "devices/CriticalSection.h"
#include "devices/Sound.h"
#include "platform/Event.h"

namespace trivale {

// Plays a sound of any length through a buffer of about two seconds in 16 segments. A worker thread
// decodes the next segment each time the play cursor leaves one; at the end of the data it loops or
// pads with silence and stops. A second worker ramps the volume for fades.
class CStreamingSound : public CSound {
public:
    static constexpr unsigned kSegments = 16;

    explicit CStreamingSound(uint32_t extraFlags = 0);
    ~CStreamingSound() override;

    void Create(CDXSound* device, IStream& stream) override;
    void Create(CDXSound* device, std::shared_ptr<ISoundReader> reader) override;
    void Play() override;
    void Stop() override;
    const plat::WaveFormat* GetFormat() override;
    uint32_t GetPlayPosition() override;

    virtual void Rewind();
    virtual void FadeIn(uint32_t milliseconds);
    virtual void FadeOut(uint32_t milliseconds);

protected:
    void Release();
    void CreateBuffer();
    void StartStreamThread();
    void StopStreamThread();
    void StopFadeThread();
    void StartFade(int32_t from, int32_t to, uint32_t milliseconds, bool stopAtEnd);
    void StreamProc();
    void FadeProc();
    void FillSegment();  // under the lock
    void ResetCounters();

    CDXSound* device_ = nullptr;
    plat::SoundBufferDesc desc_;
    CCriticalSection lock_;
    std::unique_ptr<IStream> stream_;
    std::shared_ptr<ISoundReader> reader_;
    // Flags 0-15: the play cursor left segment i; flag 16: the buffer stopped. Quit ends the worker.
    std::shared_ptr<plat::EventGroup> events_;
    std::thread streamThread_;
    std::atomic<bool> starting_{false};

    uint32_t segmentSize_ = 0;
    uint32_t writeCursor_ = 0;
    // The play counters change together; this small lock lets GetPlayPosition read them while the
    // worker holds the sound's lock for a whole refill.
    std::mutex counterLock_;
    uint32_t lastPlayCursor_ = 0;
    uint64_t playedBytes_ = 0;
    uint64_t deliveredBytes_ = 0;  // data bytes written since the last rewind
    bool endOfData_ = false;

    std::atomic<bool> fading_{false};
    std::thread fadeThread_;
    int32_t fadeFrom_ = 0;
    int32_t fadeTo_ = 0;
    uint32_t fadeDuration_ = 0;
    bool stopAtEnd_ = false;
    uint64_t fadeStart_ = 0;
    std::shared_ptr<plat::EventGroup> fadeStop_;
};

}  // namespace trivale
