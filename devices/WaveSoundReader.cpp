#include "devices/WaveSoundReader.h"

#include <algorithm>

#include "core/Exception.h"

namespace trivale {

namespace {

constexpr uint32_t FourCC(const char (&s)[5]) { return CRIFFReader::MakeFourCC(s[0], s[1], s[2], s[3]); }

// No real format block comes near this; a larger one is a broken or hostile file.
constexpr uint32_t kMaxFormatBlock = 64 * 1024;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

CWaveSoundReader::CWaveSoundReader() = default;
CWaveSoundReader::~CWaveSoundReader() = default;

void CWaveSoundReader::Open(IStream* stream) {
    formatBlock_.clear();
    format_ = plat::WaveFormat();
    dataSize_ = 0;
    position_ = 0;
    riff_.Open(stream);
    if (riff_.GetFormType() != FourCC("WAVE"))
        throw EInvalidFileFormat(this, "ファイルフォーマットエラー: WAVEファイルではありません.");

    riff_.SelectChunk(FourCC("fmt "));
    // The RIFF reader has already cut the size to what the file holds.
    const int32_t size = riff_.GetChunkSize();
    if (size > static_cast<int32_t>(kMaxFormatBlock))
        throw EInvalidFileFormat(this, "ファイルフォーマットエラー: WAVEフォーマットが不正です.");
    std::vector<uint8_t> block(std::max<size_t>(static_cast<size_t>(size), 18), 0);
    riff_.Read(block.data(), size);

    plat::WaveFormat f;
    f.formatTag = U16(&block[0]);
    f.channels = U16(&block[2]);
    f.samplesPerSec = LoadLE32(&block[4]);
    f.avgBytesPerSec = LoadLE32(&block[8]);
    f.blockAlign = U16(&block[12]);
    f.bitsPerSample = U16(&block[14]);
    f.extraSize = U16(&block[16]);
    // Whatever else the file declares is left to the sound buffer to accept or refuse, but these
    // would divide by zero on the way there.
    if (f.channels == 0 || f.samplesPerSec == 0 || f.blockAlign == 0)
        throw EInvalidFileFormat(this, "ファイルフォーマットエラー: WAVEフォーマットが不正です.");
    // A file without samples is refused before anything of it is kept.
    riff_.SelectChunk(FourCC("data"));
    formatBlock_.swap(block);
    format_ = f;
    Rewind();
}

const plat::WaveFormat* CWaveSoundReader::GetFormat() { return formatBlock_.empty() ? nullptr : &format_; }

int CWaveSoundReader::Rewind() {
    riff_.SelectChunk(FourCC("data"));
    position_ = 0;
    // A size beyond the file's end (truncated files, streaming writers) is cut to the real end by
    // the RIFF reader; only whole sample frames count, so a loop never shifts the channels.
    const uint32_t size = static_cast<uint32_t>(riff_.GetChunkSize());
    dataSize_ = format_.blockAlign != 0 ? size - size % format_.blockAlign : size;
    return 0;
}

uint32_t CWaveSoundReader::Read(void* buffer, uint32_t bytes) {
    if (formatBlock_.empty()) return 0;
    const uint32_t n = std::min(bytes, dataSize_ - std::min(position_, dataSize_));
    if (n == 0) return 0;
    const uint32_t got = riff_.Read(buffer, static_cast<int32_t>(n));
    position_ += got;
    return got;
}

uint32_t CWaveSoundReader::GetDataSize() { return dataSize_; }

uint32_t CWaveSoundReader::GetPosition() { return position_; }

std::string CWaveSoundReader::GetProperty(const std::string&) { return std::string(); }

}  // namespace trivale
