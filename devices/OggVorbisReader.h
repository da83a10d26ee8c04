#pragma once
#include <vorbis/vorbisfile.h>

#include <cstdint>
#include <vector>

#include "core/Properties.h"
#include "devices/SoundReader.h"

namespace trivale {

// The bytes [begin, end) of a stream that hold one link of a chained Ogg stream: vorbisfile is given
// each link as a stream of its own.
struct OggLinkBytes {
    IStream* stream = nullptr;
    std::uint32_t begin = 0, end = 0;
};

// Where the links of the stream's bytes [begin, end) lie: the first begins at `begin`, and every
// beginning-of-stream page after a page of another kind begins the next (a link's logical streams all
// begin on its first pages). The pages are those vorbisfile's own page search finds, reading the bytes
// from the first. False when the bytes cannot be read from `begin` or hold more links than any real
// stream does.
bool FindOggLinks(IStream& stream, std::uint32_t begin, std::uint32_t end, std::vector<OggLinkBytes>& links);

// Ogg Vorbis through vorbisfile over the engine's own streams; decodes to signed 16-bit PCM and
// offers the comment fields as properties (keys in any letter case). A chained stream plays link after
// link; each beginning-of-stream page begins a link, whatever its serial number, and every link must
// have the first one's channels and rate.
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
    void Close();
    // Leaves the decoder on the next link; false at the last one or when it cannot be opened.
    bool NextLink();

    bool opened_ = false;
    bool decoding_ = false;  // file_ holds links_[current_]
    OggVorbis_File file_;
    std::vector<OggLinkBytes> links_;
    std::size_t current_ = 0;
    std::uint64_t dataBytes_ = 0;  // every link's
    plat::WaveFormat format_;
    uint32_t position_ = 0;
    ogg_int64_t start_ = 0;  // where the open left the first link's decoder: a rewind goes back there
    TProperties<comparator_for_properties::less_ignorecase> properties_;
};

}  // namespace trivale
