#include "devices/StreamingSound.h"

#include <chrono>
#include <cstring>
#include <system_error>
#include <vector>

#include "core/Exception.h"
#include "core/Log.h"
#include "devices/DXSound.h"
#include "devices/SoundLog.h"

namespace trivale {

namespace {

constexpr uint32_t kStreamBufferFlags =
    plat::kBufferGetCurrentPosition2 | plat::kBufferCtrlPositionNotify | plat::kBufferLocSoftware;
constexpr unsigned kStopEvent = CStreamingSound::kSegments;
constexpr int kFadeStepMs = 30;
constexpr int kRestoreAttempts = 100;

}  // namespace

CStreamingSound::CStreamingSound(uint32_t extraFlags)
    : CSound(extraFlags), m_fadeStop(std::make_shared<plat::EventGroup>(1)) {}

CStreamingSound::~CStreamingSound() {
    try {
        Release();
    } catch (...) {
        // A destructor never throws; Release only frees what it holds.
    }
    m_fadeStop.reset();
    m_sharedReader.reset();
}

void CStreamingSound::Release() {
    StopFadeThread();
    if (m_buffer) m_buffer->Stop();
    StopStreamThread();
    CCriticalSectionLock lock(m_lock);
    m_buffer.reset();
    m_reader = nullptr;
    m_sharedReader.reset();
    m_stream.reset();
    m_events.reset();
    m_device = nullptr;
    m_starting = false;
    m_fading = false;
}

void CStreamingSound::Create(CDXSound* device, IStream& stream) {
    Release();
    if (device == nullptr || !device->IsReady()) return;
    m_device = device;
    m_stream = stream.Clone();
    m_sharedReader = OpenSoundReader(*m_stream);
    m_reader = m_sharedReader.get();
    CreateBuffer();
}

void CStreamingSound::Create(CDXSound* device, std::shared_ptr<ISoundReader> reader) {
    Release();
    if (device == nullptr || !device->IsReady()) return;
    m_device = device;
    m_sharedReader = reader;
    m_reader = reader.get();
    CreateBuffer();
}

void CStreamingSound::CreateBuffer() {
    plat::SoundDevice* dev = m_device->GetDirectSound();
    const plat::WaveFormat* f = m_reader != nullptr ? m_reader->GetFormat() : nullptr;
    // The buffer size divides by the block align: a format the output cannot play is refused before.
    if (dev == nullptr || f == nullptr || !plat::IsPlayableFormat(*f)) {
        LogSoundError(plat::kSoundBadFormat, __FILE__, __LINE__);
        throw EReadError(this, "サウンドバッファの作成に失敗しました.");
    }
    const uint32_t chunk = static_cast<uint32_t>(f->blockAlign) * kSegments;
    m_desc.flags = m_extraFlags | kStreamBufferFlags;
    m_desc.bytes = (f->avgBytesPerSec / chunk) * chunk * 2;  // two seconds in whole blocks per segment
    m_desc.format = f;
    std::unique_ptr<plat::SoundBuffer> buffer;
    const plat::SoundResult r = dev->CreateBuffer(m_desc, &buffer);
    if (!plat::SoundSucceeded(r)) {
        LogSoundError(r, __FILE__, __LINE__);
        throw EReadError(this, "サウンドバッファの作成に失敗しました.");
    }
    m_buffer = std::move(buffer);
    m_events = std::make_shared<plat::EventGroup>(kSegments + 1);

    m_segmentSize = m_desc.bytes / kSegments;
    std::vector<plat::SoundNotification> positions;
    for (unsigned i = 0; i < kSegments; ++i) positions.push_back({m_segmentSize * (i + 1) - 1, m_events, i});
    positions.push_back({plat::kNotifyOffsetStop, m_events, kStopEvent});
    const plat::SoundResult n = m_buffer->SetNotifications(positions);
    if (!plat::SoundSucceeded(n)) {
        if (n != plat::kSoundNoInterface) LogSoundError(n, __FILE__, __LINE__);
        throw EReadError(this, "DirectSoundNotify の作成に失敗しました.");
    }
    ResetCounters();
}

void CStreamingSound::ResetCounters() {
    m_writeCursor = 0;
    {
        std::lock_guard<std::mutex> counters(m_counterLock);
        m_lastPlayCursor = 0;
        m_playedBytes = 0;
    }
    m_deliveredBytes = 0;
    m_endOfData = false;
}

void CStreamingSound::Play() {
    // Until the worker has filled the buffer and started it the buffer does not play yet; a second
    // Play in that time must not start a second worker on the same buffer, unless Stop told the
    // starting one to give up.
    if (!m_buffer || IsPlaying() || (m_starting && !m_events->IsQuitRequested())) return;
    StopStreamThread();
    StartStreamThread();
}

void CStreamingSound::Stop() {
    // While the worker is still filling, the buffer does not play yet and its Stop alone would be
    // lost: the worker is told not to start it (and stops it should the word come just too late).
    if (m_starting && m_events) m_events->RequestQuit();
    CSound::Stop();
}

void CStreamingSound::StartStreamThread() {
    m_events->ClearQuit();
    m_starting = true;
    m_events->Attach();
    try {
        m_streamThread = std::thread(&CStreamingSound::StreamProc, this);
    } catch (const std::system_error&) {
        m_events->Detach();
        m_starting = false;
        throw EReadError(this, "スレッドの作成に失敗しました.");
    }
}

void CStreamingSound::StopStreamThread() {
    if (!m_streamThread.joinable()) return;
    m_events->RequestQuit();
    m_streamThread.join();
}

void CStreamingSound::StopFadeThread() {
    if (!m_fadeThread.joinable()) return;
    m_fadeStop->RequestQuit();
    m_fadeThread.join();
}

const plat::WaveFormat* CStreamingSound::GetFormat() {
    if (!m_buffer || m_reader == nullptr) return nullptr;
    return m_reader->GetFormat();
}

uint32_t CStreamingSound::GetPlayPosition() {
    if (!m_buffer || !IsPlaying()) return 0;
    // The cursor is read under the counter lock too, so it is never older than the worker's last one.
    std::lock_guard<std::mutex> counters(m_counterLock);
    uint32_t play = 0;
    const bool known = plat::SoundSucceeded(m_buffer->GetCurrentPosition(&play, nullptr));
    if (!known) return static_cast<uint32_t>(m_playedBytes);
    const uint32_t last = m_lastPlayCursor;
    const uint64_t played = m_playedBytes;
    const uint32_t delta = play >= last ? play - last : play + m_desc.bytes - last;
    return static_cast<uint32_t>(played + delta);
}

void CStreamingSound::Rewind() {
    if (!m_buffer) return;
    const bool active = IsPlaying() || m_starting;
    if (active) CSound::Stop();
    // The worker may still be filling or about to leave: the reader is rewound only once it is gone.
    StopStreamThread();
    {
        CCriticalSectionLock lock(m_lock);
        m_endOfData = false;
        m_reader->Rewind();
        {
            std::lock_guard<std::mutex> counters(m_counterLock);
            m_playedBytes = 0;
        }
        m_deliveredBytes = 0;
    }
    if (active) Play();
}

void CStreamingSound::FadeIn(uint32_t milliseconds) {
    if (!m_buffer || m_fading) return;
    const int32_t volume = GetVolume();
    SetVolume(plat::kVolumeMin);
    Play();
    StartFade(plat::kVolumeMin, volume, milliseconds, false);
}

void CStreamingSound::FadeOut(uint32_t milliseconds) {
    // A sound whose worker is still starting it counts as playing: a fade-out right after Play fades.
    if (!m_buffer || m_fading || !(IsPlaying() || m_starting)) return;
    StartFade(GetVolume(), plat::kVolumeMin, milliseconds, true);
}

void CStreamingSound::StartFade(int32_t from, int32_t to, uint32_t milliseconds, bool stopAtEnd) {
    if (!m_buffer) return;
    // Claimed here, not in the fade thread, so that two fades in a row cannot both start.
    if (m_fading.exchange(true)) return;
    StopFadeThread();
    m_fadeStop->ClearQuit();
    m_fadeFrom = from;
    m_fadeTo = to;
    m_fadeDuration = milliseconds;
    m_stopAtEnd = stopAtEnd;
    // Taken here rather than when the thread first runs, so the fade is timed from the call.
    m_fadeStart = m_buffer->GetClockMs();
    try {
        m_fadeThread = std::thread(&CStreamingSound::FadeProc, this);
    } catch (const std::system_error&) {
        m_fading = false;
        throw EReadError(this, "スレッドの作成に失敗しました.");
    }
}

// The workers call the sound's operations by their qualified names: until Release has joined them
// the object may already be in its destructor, and a virtual call would race with the vtable change.
void CStreamingSound::FadeProc() {
    try {
        plat::SetCurrentThreadPriority(plat::ThreadPriority::AboveNormal);
        CSound::SetVolume(m_fadeFrom);
        const int64_t a = DecibelsToLinearVolume(m_fadeFrom);
        const int64_t b = DecibelsToLinearVolume(m_fadeTo);
        const int64_t duration = m_fadeDuration;
        const uint64_t t0 = m_fadeStart;
        // Duration 0 sets the target at once.
        while (duration > 0 && m_fadeStop->WaitAny(kFadeStepMs) == plat::EventGroup::kTimeout) {
            const int64_t elapsed = static_cast<int64_t>(m_buffer->GetClockMs() - t0);
            if (elapsed > duration) break;
            if (elapsed > 1000 && !CSound::IsPlaying()) break;
            CSound::SetVolume(LinearVolumeToDecibels(static_cast<int32_t>(a + elapsed * (b - a) / duration)));
        }
        CSound::SetVolume(m_fadeTo);
        if (m_stopAtEnd) CStreamingSound::Stop();
    } catch (...) {
        // Nothing here throws by design; a worker never lets an exception end the program.
    }
    m_fading = false;
}

void CStreamingSound::StreamProc() {
    try {
        bool started = false;
        {
            CCriticalSectionLock lock(m_lock);
            m_writeCursor = 0;
            {
                std::lock_guard<std::mutex> counters(m_counterLock);
                m_lastPlayCursor = 0;
            }
            for (unsigned i = 0; i < kSegments; ++i) FillSegment();
            if (!m_events->IsQuitRequested()) {
                // A stop or a segment flag left from an earlier run must not end or skew this one.
                m_events->ResetAll();
                m_buffer->SetCurrentPosition(0);
                m_buffer->Play(plat::kPlayLooping);
                started = true;
            }
            m_starting = false;
        }
        if (started) {
            plat::SetCurrentThreadPriority(plat::ThreadPriority::Highest);
            unsigned expected = 0;
            for (;;) {
                // The expected segment first: at the ring's wrap segments 15 and 0 may both be waiting.
                const int r = m_events->WaitAny(plat::EventGroup::kInfinite, static_cast<int>(expected));
                if (r == static_cast<int>(kStopEvent)) break;
                if (r == plat::EventGroup::kQuit) {
                    // A quit that came after the check above but before Play: nothing may go on
                    // looping the buffer once its worker has gone.
                    CSound::Stop();
                    break;
                }
                if (r >= 0 && static_cast<unsigned>(r) == expected) {
                    CCriticalSectionLock lock(m_lock);
                    FillSegment();
                    expected = (expected + 1) % kSegments;
                }
            }
        }
    } catch (const std::exception& e) {
        LogErrorAt(e.what(), __FILE__, __LINE__);
        CSound::Stop();
    } catch (...) {
        LogErrorAt("unknown exception in the sound stream thread", __FILE__, __LINE__);
        CSound::Stop();
    }
    m_starting = false;
    m_events->Detach();
}

void CStreamingSound::FillSegment() {
    if (!m_buffer || m_reader == nullptr) return;
    const uint32_t size = m_desc.bytes;
    const uint32_t segment = m_segmentSize;

    uint32_t status = 0;
    plat::SoundResult r = m_buffer->GetStatus(&status);
    if (!plat::SoundSucceeded(r)) {
        LogSoundError(r, __FILE__, __LINE__);
    } else if (status & plat::kStatusBufferLost) {
        // Bounded, and given up when the sound is being released.
        for (int i = 0; i < kRestoreAttempts && !m_events->IsQuitRequested(); ++i) {
            if (m_buffer->Restore() != plat::kSoundBufferLost) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0;
    uint32_t n2 = 0;
    r = m_buffer->Lock(m_writeCursor, segment, &p1, &n1, &p2, &n2, 0);
    if (!plat::SoundSucceeded(r)) {
        LogSoundError(r, __FILE__, __LINE__);
    } else {
        if (p2 != nullptr || n2 != 0) {
            LogErrorAt("サウンドバッファのロック状態が異常", __FILE__, __LINE__);
        } else {
            uint8_t* p = static_cast<uint8_t*>(p1);
            const uint8_t silence = m_desc.format->bitsPerSample == 8 ? 0x80 : 0x00;
            uint32_t got = 0;
            if (!m_endOfData) {
                try {
                    got = m_reader->Read(p, n1);
                    m_deliveredBytes += got;
                    if (got < n1) {
                        if (!m_loop) {
                            m_endOfData = true;
                        } else {
                            while (got < n1) {
                                m_reader->Rewind();
                                const uint32_t more = m_reader->Read(p + got, n1 - got);
                                if (more == 0) {
                                    m_endOfData = true;
                                    break;
                                }
                                got += more;
                                m_deliveredBytes += more;
                            }
                        }
                    }
                } catch (const std::exception& e) {
                    // A stream that fails (a broken file) ends the data: what was read still plays.
                    LogErrorAt(e.what(), __FILE__, __LINE__);
                    m_endOfData = true;
                }
            }
            if (got < n1) std::memset(p + got, silence, n1 - got);
        }
        m_buffer->Unlock(p1, n1, p2, n2);
    }

    if (CSound::IsPlaying()) {
        uint32_t play = 0;
        r = m_buffer->GetCurrentPosition(&play, nullptr);
        if (!plat::SoundSucceeded(r)) {
            LogSoundError(r, __FILE__, __LINE__);
        } else {
            std::lock_guard<std::mutex> counters(m_counterLock);
            const uint32_t last = m_lastPlayCursor;
            m_playedBytes += play >= last ? play - last : play + size - last;
            m_lastPlayCursor = play;
        }
    }
    uint64_t played = 0;
    {
        std::lock_guard<std::mutex> counters(m_counterLock);
        played = m_playedBytes;
    }
    // Stop once everything delivered has been heard: counting delivered bytes rather than the size the
    // reader declares, a file whose header claims more data than it holds still comes to an end.
    if (m_endOfData && played >= m_deliveredBytes) {
        m_buffer->Stop();
        m_endOfData = false;
    }
    m_writeCursor = (m_writeCursor + segment) % size;
}

}  // namespace trivale
