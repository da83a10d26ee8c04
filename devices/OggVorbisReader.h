#pragma once
#include <vorbis/vorbisfile.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "core/Properties.h"
#include "devices/SoundReader.h"

namespace trivale {

// Adjacent pages of a link: the bytes [begin, end) of the stream.
struct OggPageRun {
    std::uint32_t begin = 0, end = 0;
};

// Whether a link was found safe to hand to vorbisfile's seeking open.
enum class OggLinkCheck { Unchecked, Safe, Refused };

// The bytes [begin, end) of a stream that hold one link of a chained Ogg stream. vorbisfile is given
// each link as a stream of its own, in which every byte keeps its place but only the link's pages keep
// their bytes: the bytes between pages and around them, which its page search passes over, read as
// zeros, in which it finds nothing to look at twice.
struct OggLinkBytes {
    IStream* stream = nullptr;
    std::uint32_t begin = 0, end = 0;
    std::vector<OggPageRun> runs;
    // Each logical stream begun in the link, with where its last page ends, from the link's first byte.
    std::vector<std::pair<int, std::uint64_t>> streamEnds;
    OggLinkCheck check = OggLinkCheck::Unchecked;
    std::uint64_t size = 0, at = 0;  // how many bytes vorbisfile is given, and where it reads
};

// Where the links of the stream's bytes [begin, end) lie: the first begins at `begin`, and every
// beginning-of-stream page after a page of another kind begins the next (a link's logical streams all
// begin on its first pages). The pages are those vorbisfile's own page search finds, reading the bytes
// from the first. False when the bytes cannot be read from `begin`, hold more links or separate stretches
// of pages than any real stream does, or hold so many things that look like pages that telling them from
// pages costs more than the bytes' size in proportion.
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
    ogg_int64_t start_ = 0;        // where the open left the first link's decoder: a rewind goes back there
    std::uint64_t checkWork_ = 0;  // what the checks of the links not yet checked may still look at
    TProperties<comparator_for_properties::less_ignorecase> properties_;
};

}  // namespace trivale
