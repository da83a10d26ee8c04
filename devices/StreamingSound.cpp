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
    : CSound(extraFlags), fadeStop_(std::make_shared<plat::EventGroup>(1)) {}

CStreamingSound::~CStreamingSound() {
    try {
        Release();
    } catch (...) {
        // A destructor never throws; Release only frees what it holds.
    }
    fadeStop_.reset();
    reader_.reset();
}

void CStreamingSound::Release() {
    StopFadeThread();
    if (buffer_) buffer_->Stop();
    StopStreamThread();
    CCriticalSectionLock lock(lock_);
    buffer_.reset();
    reader_.reset();
    stream_.reset();
    events_.reset();
    device_ = nullptr;
    starting_ = false;
    fading_ = false;
}

void CStreamingSound::Create(CDXSound* device, IStream& stream) {
    Release();
    if (device == nullptr || !device->IsReady()) return;
    device_ = device;
    stream_ = stream.Clone();
    reader_ = OpenSoundReader(*stream_);
    CreateBuffer();
}

void CStreamingSound::Create(CDXSound* device, std::shared_ptr<ISoundReader> reader) {
    Release();
    if (device == nullptr || !device->IsReady()) return;
    device_ = device;
    reader_ = std::move(reader);
    CreateBuffer();
}

void CStreamingSound::CreateBuffer() {
    plat::SoundDevice* dev = device_->GetDirectSound();
    const plat::WaveFormat* f = reader_ != nullptr ? reader_->GetFormat() : nullptr;
    // The buffer size divides by the block align: a format the output cannot play is refused before.
    if (dev == nullptr || f == nullptr || !plat::IsPlayableFormat(*f)) {
        LogSoundError(plat::kSoundBadFormat, __FILE__, __LINE__);
        throw EReadError(this, "サウンドバッファの作成に失敗しました.");
    }
    const uint32_t chunk = static_cast<uint32_t>(f->blockAlign) * kSegments;
    desc_.flags = extraFlags_ | kStreamBufferFlags;
    desc_.bytes = (f->avgBytesPerSec / chunk) * chunk * 2;  // two seconds in whole blocks per segment
    desc_.format = f;
    std::unique_ptr<plat::SoundBuffer> buffer;
    const plat::SoundResult r = dev->CreateBuffer(desc_, &buffer);
    if (!plat::SoundSucceeded(r)) {
        LogSoundError(r, __FILE__, __LINE__);
        throw EReadError(this, "サウンドバッファの作成に失敗しました.");
    }
    buffer_ = std::move(buffer);
    events_ = std::make_shared<plat::EventGroup>(kSegments + 1);

    segmentSize_ = desc_.bytes / kSegments;
    std::vector<plat::SoundNotification> positions;
    for (unsigned i = 0; i < kSegments; ++i) positions.push_back({segmentSize_ * (i + 1) - 1, events_, i});
    positions.push_back({plat::kNotifyOffsetStop, events_, kStopEvent});
    const plat::SoundResult n = buffer_->SetNotifications(positions);
    if (!plat::SoundSucceeded(n)) {
        if (n != plat::kSoundNoInterface) LogSoundError(n, __FILE__, __LINE__);
        throw EReadError(this, "DirectSoundNotify の作成に失敗しました.");
    }
    ResetCounters();
}

void CStreamingSound::ResetCounters() {
    writeCursor_ = 0;
    {
        std::lock_guard<std::mutex> counters(counterLock_);
        lastPlayCursor_ = 0;
        playedBytes_ = 0;
    }
    deliveredBytes_ = 0;
    endOfData_ = false;
}

void CStreamingSound::Play() {
    // Until the worker has filled the buffer and started it the buffer does not play yet; a second
    // Play in that time must not start a second worker on the same buffer, unless Stop told the
    // starting one to give up.
    if (!buffer_ || IsPlaying() || (starting_ && !events_->IsQuitRequested())) return;
    StopStreamThread();
    StartStreamThread();
}

void CStreamingSound::Stop() {
    // While the worker is still filling, the buffer does not play yet and its Stop alone would be
    // lost: the worker is told not to start it (and stops it should the word come just too late).
    if (starting_ && events_) events_->RequestQuit();
    CSound::Stop();
}

void CStreamingSound::StartStreamThread() {
    events_->ClearQuit();
    starting_ = true;
    events_->Attach();
    try {
        streamThread_ = std::thread(&CStreamingSound::StreamProc, this);
    } catch (const std::system_error&) {
        events_->Detach();
        starting_ = false;
        throw EReadError(this, "スレッドの作成に失敗しました.");
    }
}

void CStreamingSound::StopStreamThread() {
    if (!streamThread_.joinable()) return;
    events_->RequestQuit();
    streamThread_.join();
}

void CStreamingSound::StopFadeThread() {
    if (!fadeThread_.joinable()) return;
    fadeStop_->RequestQuit();
    fadeThread_.join();
}

const plat::WaveFormat* CStreamingSound::GetFormat() {
    if (!buffer_ || reader_ == nullptr) return nullptr;
    return reader_->GetFormat();
}

uint32_t CStreamingSound::GetPlayPosition() {
    if (!buffer_ || !IsPlaying()) return 0;
    // The cursor is read under the counter lock too, so it is never older than the worker's last one.
    std::lock_guard<std::mutex> counters(counterLock_);
    uint32_t play = 0;
    const bool known = plat::SoundSucceeded(buffer_->GetCurrentPosition(&play, nullptr));
    if (!known) return static_cast<uint32_t>(playedBytes_);
    const uint32_t last = lastPlayCursor_;
    const uint64_t played = playedBytes_;
    const uint32_t delta = play >= last ? play - last : play + desc_.bytes - last;
    return static_cast<uint32_t>(played + delta);
}

void CStreamingSound::Rewind() {
    if (!buffer_) return;
    const bool active = IsPlaying() || starting_;
    if (active) CSound::Stop();
    // The worker may still be filling or about to leave: the reader is rewound only once it is gone.
    StopStreamThread();
    {
        CCriticalSectionLock lock(lock_);
        endOfData_ = false;
        reader_->Rewind();
        {
            std::lock_guard<std::mutex> counters(counterLock_);
            playedBytes_ = 0;
        }
        deliveredBytes_ = 0;
    }
    if (active) Play();
}

void CStreamingSound::FadeIn(uint32_t milliseconds) {
    if (!buffer_ || fading_) return;
    const int32_t volume = GetVolume();
    SetVolume(plat::kVolumeMin);
    Play();
    StartFade(plat::kVolumeMin, volume, milliseconds, false);
}

void CStreamingSound::FadeOut(uint32_t milliseconds) {
    // A sound whose worker is still starting it counts as playing: a fade-out right after Play fades.
    if (!buffer_ || fading_ || !(IsPlaying() || starting_)) return;
    StartFade(GetVolume(), plat::kVolumeMin, milliseconds, true);
}

void CStreamingSound::StartFade(int32_t from, int32_t to, uint32_t milliseconds, bool stopAtEnd) {
    if (!buffer_) return;
    // Claimed here, not in the fade thread, so that two fades in a row cannot both start.
    if (fading_.exchange(true)) return;
    StopFadeThread();
    fadeStop_->ClearQuit();
    fadeFrom_ = from;
    fadeTo_ = to;
    fadeDuration_ = milliseconds;
    stopAtEnd_ = stopAtEnd;
    // Taken here rather than when the thread first runs, so the fade is timed from the call.
    fadeStart_ = buffer_->GetClockMs();
    try {
        fadeThread_ = std::thread(&CStreamingSound::FadeProc, this);
    } catch (const std::system_error&) {
        fading_ = false;
        throw EReadError(this, "スレッドの作成に失敗しました.");
    }
}

// The workers call the sound's operations by their qualified names: until Release has joined them
// the object may already be in its destructor, and a virtual call would race with the vtable change.
void CStreamingSound::FadeProc() {
    try {
        plat::SetCurrentThreadPriority(plat::ThreadPriority::AboveNormal);
        CSound::SetVolume(fadeFrom_);
        const int64_t a = DecibelsToLinearVolume(fadeFrom_);
        const int64_t b = DecibelsToLinearVolume(fadeTo_);
        const int64_t duration = fadeDuration_;
        const uint64_t t0 = fadeStart_;
        // Duration 0 sets the target at once.
        while (duration > 0 && fadeStop_->WaitAny(kFadeStepMs) == plat::EventGroup::kTimeout) {
            const int64_t elapsed = static_cast<int64_t>(buffer_->GetClockMs() - t0);
            if (elapsed > duration) break;
            if (elapsed > 1000 && !CSound::IsPlaying()) break;
            CSound::SetVolume(LinearVolumeToDecibels(static_cast<int32_t>(a + elapsed * (b - a) / duration)));
        }
        CSound::SetVolume(fadeTo_);
        if (stopAtEnd_) CStreamingSound::Stop();
    } catch (...) {
        // Nothing here throws by design; a worker never lets an exception end the program.
    }
    fading_ = false;
}

void CStreamingSound::StreamProc() {
    try {
        bool started = false;
        {
            CCriticalSectionLock lock(lock_);
            writeCursor_ = 0;
            {
                std::lock_guard<std::mutex> counters(counterLock_);
                lastPlayCursor_ = 0;
            }
            for (unsigned i = 0; i < kSegments; ++i) FillSegment();
            if (!events_->IsQuitRequested()) {
                // A stop or a segment flag left from an earlier run must not end or skew this one.
                events_->ResetAll();
                buffer_->SetCurrentPosition(0);
                buffer_->Play(plat::kPlayLooping);
                started = true;
            }
            starting_ = false;
        }
        if (started) {
            plat::SetCurrentThreadPriority(plat::ThreadPriority::Highest);
            unsigned expected = 0;
            for (;;) {
                // The expected segment first: at the ring's wrap segments 15 and 0 may both be waiting.
                const int r = events_->WaitAny(plat::EventGroup::kInfinite, static_cast<int>(expected));
                if (r == static_cast<int>(kStopEvent)) break;
                if (r == plat::EventGroup::kQuit) {
                    // A quit that came after the check above but before Play: nothing may go on
                    // looping the buffer once its worker has gone.
                    CSound::Stop();
                    break;
                }
                if (r >= 0 && static_cast<unsigned>(r) == expected) {
                    CCriticalSectionLock lock(lock_);
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
    starting_ = false;
    events_->Detach();
}

void CStreamingSound::FillSegment() {
    if (!buffer_ || reader_ == nullptr) return;
    const uint32_t size = desc_.bytes;
    const uint32_t segment = segmentSize_;

    uint32_t status = 0;
    plat::SoundResult r = buffer_->GetStatus(&status);
    if (!plat::SoundSucceeded(r)) {
        LogSoundError(r, __FILE__, __LINE__);
    } else if (status & plat::kStatusBufferLost) {
        // Bounded, and given up when the sound is being released.
        for (int i = 0; i < kRestoreAttempts && !events_->IsQuitRequested(); ++i) {
            if (buffer_->Restore() != plat::kSoundBufferLost) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0;
    uint32_t n2 = 0;
    r = buffer_->Lock(writeCursor_, segment, &p1, &n1, &p2, &n2, 0);
    if (!plat::SoundSucceeded(r)) {
        LogSoundError(r, __FILE__, __LINE__);
    } else {
        if (p2 != nullptr || n2 != 0) {
            LogErrorAt("サウンドバッファのロック状態が異常", __FILE__, __LINE__);
        } else {
            uint8_t* p = static_cast<uint8_t*>(p1);
            const uint8_t silence = desc_.format->bitsPerSample == 8 ? 0x80 : 0x00;
            uint32_t got = 0;
            if (!endOfData_) {
                try {
                    got = reader_->Read(p, n1);
                    deliveredBytes_ += got;
                    if (got < n1) {
                        if (!loop_) {
                            endOfData_ = true;
                        } else {
                            while (got < n1) {
                                reader_->Rewind();
                                const uint32_t more = reader_->Read(p + got, n1 - got);
                                if (more == 0) {
                                    endOfData_ = true;
                                    break;
                                }
                                got += more;
                                deliveredBytes_ += more;
                            }
                        }
                    }
                } catch (const std::exception& e) {
                    // A stream that fails (a broken file) ends the data: what was read still plays.
                    LogErrorAt(e.what() + (stream_ ? FileNameNote(*stream_) : std::string()), __FILE__, __LINE__);
                    endOfData_ = true;
                }
            }
            if (got < n1) std::memset(p + got, silence, n1 - got);
        }
        buffer_->Unlock(p1, n1, p2, n2);
    }

    if (CSound::IsPlaying()) {
        uint32_t play = 0;
        r = buffer_->GetCurrentPosition(&play, nullptr);
        if (!plat::SoundSucceeded(r)) {
            LogSoundError(r, __FILE__, __LINE__);
        } else {
            std::lock_guard<std::mutex> counters(counterLock_);
            const uint32_t last = lastPlayCursor_;
            playedBytes_ += play >= last ? play - last : play + size - last;
            lastPlayCursor_ = play;
        }
    }
    uint64_t played = 0;
    {
        std::lock_guard<std::mutex> counters(counterLock_);
        played = playedBytes_;
    }
    // Stop once everything delivered has been heard: counting delivered bytes rather than the size the
    // reader declares, a file whose header claims more data than it holds still comes to an end.
    if (endOfData_ && played >= deliveredBytes_) {
        buffer_->Stop();
        endOfData_ = false;
    }
    writeCursor_ = (writeCursor_ + segment) % size;
}

}  // namespace trivale
