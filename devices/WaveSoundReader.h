#pragma once
#include <vector>

#include "core/RIFFReader.h"
#include "devices/SoundReader.h"

namespace trivale {

// RIFF "WAVE" files: the "fmt " chunk is the format, the "data" chunk the samples.
class CWaveSoundReader : public CStandardSoundReader, public virtual CNonCopyable {
public:
    CWaveSoundReader();
    ~CWaveSoundReader() override;

    void Open(IStream* stream) override;
    const plat::WaveFormat* GetFormat() override;
    int Rewind() override;
    uint32_t Read(void* buffer, uint32_t bytes) override;
    uint32_t GetDataSize() override;
    uint32_t GetPosition() override;
    std::string GetProperty(const std::string& key) override;

protected:
    CRIFFReader riff_;
    std::vector<uint8_t> formatBlock_;  // empty until opened; at least 18 bytes after
    plat::WaveFormat format_;
    uint32_t dataSize_ = 0;
    uint32_t position_ = 0;
};

}  // namespace trivale
