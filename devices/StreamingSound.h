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

    CDXSound* m_device = nullptr;
    plat::SoundBufferDesc m_desc;
    CCriticalSection m_lock;
    std::unique_ptr<IStream> m_stream;
    ISoundReader* m_reader = nullptr;
    std::shared_ptr<ISoundReader> m_sharedReader;
    // Flags 0-15: the play cursor left segment i; flag 16: the buffer stopped. Quit ends the worker.
    std::shared_ptr<plat::EventGroup> m_events;
    std::thread m_streamThread;
    std::atomic<bool> m_starting{false};

    uint32_t m_segmentSize = 0;
    uint32_t m_writeCursor = 0;
    // The play counters change together; this small lock lets GetPlayPosition read them while the
    // worker holds the sound's lock for a whole refill.
    std::mutex m_counterLock;
    uint32_t m_lastPlayCursor = 0;
    uint64_t m_playedBytes = 0;
    uint64_t m_deliveredBytes = 0;  // data bytes written since the last rewind
    bool m_endOfData = false;

    std::atomic<bool> m_fading{false};
    std::thread m_fadeThread;
    int32_t m_fadeFrom = 0;
    int32_t m_fadeTo = 0;
    uint32_t m_fadeDuration = 0;
    bool m_stopAtEnd = false;
    uint64_t m_fadeStart = 0;
    std::shared_ptr<plat::EventGroup> m_fadeStop;
};

}  // namespace trivale
