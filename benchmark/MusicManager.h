// The show's one background-music track: opened through the data loader, streamed from the sound
// device, with a volume kept between tracks and a fade-out. Decoding, buffering and the streaming and
// fade workers belong to the streamed sound; every Play replaces the track before it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/DataLoader.h"
#include "core/Object.h"
#include "devices/DXSound.h"
#include "devices/StreamingSound.h"

class CMusicManager : public virtual trivale::CNonCopyable {
public:
    // Where a track comes from and where it plays; asked at every Play, never kept.
    struct Sources {
        std::function<trivale::IDataLoader*()> loader;
        std::function<trivale::CDXSound*()> device;
    };

    // Over the application driver's data loader and sound device.
    CMusicManager();
    explicit CMusicManager(Sources sources);
    // The stream's workers are stopped and joined with it.
    ~CMusicManager() override;

    // Plays the named file from its start. A name the loader cannot open throws its exception and the
    // track before goes on; without a ready sound device nothing plays and nothing is thrown.
    virtual void Play(const std::string& name, bool loop);
    virtual void Stop();
    // Fades from the present volume to silence over that time, then stops; at once for 0 or less.
    // Nothing when no track is playing.
    virtual void FadeOut(int milliseconds);
    // -10000 (silent) to 0 (full) on the linear scale; values outside are heard as its nearer end but
    // kept as given. Kept for later tracks.
    virtual void SetVolume(int volume);
    virtual int GetVolume() const { return volume_; }

    // Whether the track is audible right now (tests and the debug pages).
    bool IsPlaying() { return stream_.IsPlaying(); }

private:
    trivale::IDataLoader& Loader() const;

    Sources sources_;
    trivale::CStreamingSound stream_;
    std::int32_t volume_ = 0;
};
