#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "core/Object.h"
#include "core/Stream.h"
#include "platform/Sound.h"

namespace trivale {

// A PCM source: the WAVE reader hands out the file's own samples, the Ogg Vorbis reader signed 16-bit.
class ISoundReader : public IInterface {
public:
    // The caller keeps the stream alive.
    virtual void Open(IStream* stream) = 0;
    // The reader keeps the stream alive.
    virtual void OpenShared(std::shared_ptr<IStream> stream) = 0;
    virtual const plat::WaveFormat* GetFormat() = 0;
    virtual int Rewind() = 0;
    virtual uint32_t Read(void* buffer, uint32_t bytes) = 0;
    virtual uint32_t GetDataSize() = 0;
    // Bytes read since the last rewind.
    virtual uint32_t GetPosition() = 0;
    virtual std::string GetProperty(const std::string& key) = 0;
};

class CStandardSoundReader : public ISoundReader, public virtual CObject {
public:
    void OpenShared(std::shared_ptr<IStream> stream) override {
        sharedStream_ = stream;
        Open(stream.get());
    }

protected:
    std::shared_ptr<IStream> sharedStream_;
};

}  // namespace trivale
