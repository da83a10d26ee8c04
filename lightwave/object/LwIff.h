// The IFF primitives every LightWave object-file reader and writer is built from: big-endian
// numbers, four-character identifiers, even-padded texts (S0) and variable-length indices (VX),
// read from and written to a memory cursor or a C stream. They allocate nothing and set no error
// code of the object; their callers turn the results into codes.
#pragma once

#include <cstdint>
#include <cstdio>

// Memory cursor over a chunk body, for reading or for writing. Every access stays inside Size:
// a read past the end takes what is left, gives zeros for the rest and sets LW_CHUNK_OVERRUN;
// a write that does not fit writes nothing.
struct ChunkBuff {
    uint8_t* Position;  // the next byte
    uint32_t Size;
    uint32_t Count;  // bytes consumed or produced so far
    uint32_t Flags;  // LwChunkFlag bits
};

enum LwChunkFlag : uint32_t {
    LW_CHUNK_OVERRUN = 1,    // an access went past Size
    LW_CHUNK_BAD_VALUE = 2,  // a value had no encoding (a VX above 24 bits)
};

void OpenChunkBuff(ChunkBuff* cb, const void* buffer, uint32_t size);
inline uint32_t ChunkRemaining(const ChunkBuff* cb) { return cb->Size - cb->Count; }
// Moves the cursor to offset bytes from its start, clamped to Size; returns the new count.
uint32_t ChunkSeek(uint32_t offset, ChunkBuff* cb);

// Reads: destination first, cursor last; each returns the bytes taken.
uint32_t ChunkSkip(uint32_t n, ChunkBuff* cb);
uint32_t ChunkReadBytes(void* dst, uint32_t n, ChunkBuff* cb);
uint32_t ChunkReadU2(uint16_t* dst, uint32_t n, ChunkBuff* cb);
uint32_t ChunkReadI2(int16_t* dst, uint32_t n, ChunkBuff* cb);
uint32_t ChunkReadU4(uint32_t* dst, uint32_t n, ChunkBuff* cb);
uint32_t ChunkReadF4(float* dst, uint32_t n, ChunkBuff* cb);
uint32_t ChunkReadVec12(float* dst, uint32_t n, ChunkBuff* cb);     // 3n floats
uint32_t ChunkReadWords(uint32_t* dst, uint32_t n, ChunkBuff* cb);  // as they lie, unswapped
uint32_t ChunkReadVX(uint32_t* dst, ChunkBuff* cb);
// Keeps at most size - 1 characters and always terminates; consumes the whole text and its pad.
uint32_t ChunkReadS0(char* text, uint32_t size, ChunkBuff* cb);
uint32_t ChunkReadID4(char text[5], ChunkBuff* cb);

// Writes: source first, cursor last; each returns the bytes produced, 0 when they do not fit.
uint32_t ChunkWriteBytes(const void* src, uint32_t n, ChunkBuff* cb);
uint32_t ChunkWriteU2(const uint16_t* src, uint32_t n, ChunkBuff* cb);
uint32_t ChunkWriteU4(const uint32_t* src, uint32_t n, ChunkBuff* cb);
uint32_t ChunkWriteF4(const float* src, uint32_t n, ChunkBuff* cb);
uint32_t ChunkWriteID(uint32_t value, ChunkBuff* cb);  // one U4: identifiers and lengths
uint32_t ChunkWriteVec12(const float* src, uint32_t n, ChunkBuff* cb);
uint32_t ChunkWriteWords(const uint32_t* src, uint32_t n, ChunkBuff* cb);
uint32_t ChunkWriteVX(uint32_t value, ChunkBuff* cb);  // values above 0xFFFFFF are refused
uint32_t ChunkWriteS0(const char* text, ChunkBuff* cb);

// File cursor. Reading: a short read or the end of the stream sets Error and the primitive
// returns 0. The reading primitives also add what they take to Count, as the writing ones do: the
// readers reset it at open and never consult it, so nothing that reads depends on it staying 0, and
// the running offset tells a test or a dump where a read stopped in the file.
// Writing: mode IFF_MEASURE writes nothing and only counts; the first short write sets Error and
// returns 0 without counting.
enum IffMode : int32_t {
    IFF_MEASURE = 0,
    IFF_WRITE = 1,
};

struct IffFile {
    FILE* File;
    int32_t Mode;    // IffMode when writing
    uint32_t Count;  // bytes read, or produced in either writing mode
    int16_t Error;
};

void OpenIffFile(IffFile* f, FILE* stream);

// Seeks n bytes forward (nothing for 0); returns n, or 0 with Error set when the stream cannot seek.
// Skipping past the end is found by the next read.
uint32_t IffSkip(uint32_t n, IffFile* f);
uint32_t IffReadBytes(void* dst, uint32_t n, IffFile* f);
uint32_t IffReadU2(uint16_t* dst, uint32_t n, IffFile* f);  // 2n, or 0 on a short read
uint32_t IffReadU4(uint32_t* dst, uint32_t n, IffFile* f);  // 4n, or 0 on a short read
uint32_t IffReadF4(float* dst, uint32_t n, IffFile* f);
uint32_t IffReadVec12(float* dst, uint32_t n, IffFile* f);
uint32_t IffReadVX(uint32_t* dst, IffFile* f);  // 2 or 4, 0 at the end of the stream
// Keeps at most size - 1 characters and always terminates; 0 when the stream ends first.
uint32_t IffReadS0(char* text, uint32_t size, IffFile* f);
uint32_t IffReadID4(char text[5], IffFile* f);

uint32_t IffWriteBytes(const void* src, uint32_t n, IffFile* f);   // returns n
uint32_t IffWriteU2(const uint16_t* src, uint32_t n, IffFile* f);  // returns the element count
uint32_t IffWriteU4(const uint32_t* src, uint32_t n, IffFile* f);  // returns the element count
uint32_t IffWriteF4(const float* src, uint32_t n, IffFile* f);
uint32_t IffWriteID(uint32_t value, IffFile* f);
uint32_t IffWriteVec12(const float* src, uint32_t n, IffFile* f);
uint32_t IffWriteS0(const char* text, IffFile* f);  // returns the bytes written
uint32_t IffWriteVX(uint32_t value, IffFile* f);    // values above 0xFFFFFF set Error

// Runs emit over the stream twice: once measuring, once writing, with the count kept between the
// passes, so that a FORM length written as (count at the start - 8) is the file size - 8 in the
// second pass. emit returns false to stop. Returns false when emit stopped or a write failed.
bool IffWriteTwoPasses(FILE* stream, bool (*emit)(IffFile* f, void* context), void* context);

// Bytes an index and a text take in the file.
inline uint32_t LwVxSize(uint32_t value) { return value < 0xFF00 ? 2 : 4; }
uint32_t LwS0Size(const char* text);
