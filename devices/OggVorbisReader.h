#pragma once
#include <vorbis/vorbisfile.h>

#include "core/Properties.h"
#include "devices/SoundReader.h"

namespace trivale {

// Ogg Vorbis through vorbisfile over the engine's own streams; decodes to signed 16-bit PCM and
// offers the comment fields as properties (keys in any letter case).
class COggVorbisReader : public CStandardSoundReader, public virtual CNonCopyable {
public:
    COggVorbisReader();
    ~COggVorbisReader() override;

    void Open(IStream* stream) override;
    const plat::WaveFormat* GetFormat() override;
    int Rewind() override;
    uint32_t Read(void* buffer, uint32_t bytes) override;
    uint32_t GetDataSize() override;
    uint32_t GetPosition() override;
    std::string GetProperty(const std::string& key) override;

protected:
    bool opened_ = false;
    OggVorbis_File file_;
    plat::WaveFormat format_;
    uint32_t position_ = 0;
    ogg_int64_t start_ = 0;  // where the open left the decoder: a rewind goes back there
    TProperties<comparator_for_properties::less_ignorecase> properties_;
};

}  // namespace trivale
