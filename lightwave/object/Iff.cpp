// IFF primitives over memory and over C streams.
#include "lightwave/object/LwIff.h"

#include <cstring>

namespace {

uint16_t LoadU2(const uint8_t* b) { return (uint16_t)((b[0] << 8) | b[1]); }
uint32_t LoadU4(const uint8_t* b) {
    return ((uint32_t)b[0] << 24) | ((uint32_t)b[1] << 16) | ((uint32_t)b[2] << 8) | b[3];
}
void StoreU2(uint8_t* b, uint16_t v) {
    b[0] = (uint8_t)(v >> 8);
    b[1] = (uint8_t)v;
}
void StoreU4(uint8_t* b, uint32_t v) {
    b[0] = (uint8_t)(v >> 24);
    b[1] = (uint8_t)(v >> 16);
    b[2] = (uint8_t)(v >> 8);
    b[3] = (uint8_t)v;
}

// The bits of an element of 2 or 4 bytes (integer or float) as a number, and back.
template <typename T>
uint32_t BitsOf(const T& value) {
    if (sizeof(T) == 2) {
        uint16_t v;
        memcpy(&v, &value, 2);
        return v;
    }
    uint32_t v;
    memcpy(&v, &value, 4);
    return v;
}
template <typename T>
void SetBits(T* value, uint32_t bits) {
    if (sizeof(T) == 2) {
        uint16_t v = (uint16_t)bits;
        memcpy(value, &v, 2);
    } else {
        memcpy(value, &bits, 4);
    }
}

// Bytes a read of n may take; marks the cursor when fewer remain.
uint32_t Available(ChunkBuff* cb, uint64_t n) {
    uint32_t left = ChunkRemaining(cb);
    if (n > left) {
        cb->Flags |= LW_CHUNK_OVERRUN;
        return left;
    }
    return (uint32_t)n;
}

// Copies what is there and zeros the rest of dst.
uint32_t Take(void* dst, uint64_t n, ChunkBuff* cb) {
    uint32_t got = Available(cb, n);
    if (got) memcpy(dst, cb->Position, got);
    if (got < n) memset((uint8_t*)dst + got, 0, (size_t)(n - got));
    cb->Position += got;
    cb->Count += got;
    return got;
}

// Room for a write of n bytes: all or nothing.
uint8_t* Room(uint64_t n, ChunkBuff* cb) {
    if (n > ChunkRemaining(cb)) {
        cb->Flags |= LW_CHUNK_OVERRUN;
        return nullptr;
    }
    uint8_t* at = cb->Position;
    cb->Position += n;
    cb->Count += (uint32_t)n;
    return at;
}

template <typename T, int Bytes>
uint32_t ReadSwapped(T* dst, uint32_t n, ChunkBuff* cb) {
    uint8_t raw[Bytes];
    uint32_t total = 0;
    for (uint32_t i = 0; i < n; ++i) {
        total += Take(raw, Bytes, cb);
        SetBits(&dst[i], Bytes == 2 ? LoadU2(raw) : LoadU4(raw));
    }
    return total;
}

template <typename T, int Bytes>
uint32_t WriteSwapped(const T* src, uint32_t n, ChunkBuff* cb) {
    uint8_t* at = Room((uint64_t)n * Bytes, cb);
    if (!at) return 0;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t v = BitsOf(src[i]);
        if (Bytes == 2)
            StoreU2(at + i * Bytes, (uint16_t)v);
        else
            StoreU4(at + i * Bytes, v);
    }
    return n * Bytes;
}

}  // namespace

// ---- memory -------------------------------------------------------------------------------------

void OpenChunkBuff(ChunkBuff* cb, const void* buffer, uint32_t size) {
    cb->Position = (uint8_t*)buffer;
    cb->Size = buffer ? size : 0;
    cb->Count = 0;
    cb->Flags = 0;
}

uint32_t ChunkSeek(uint32_t offset, ChunkBuff* cb) {
    if (offset > cb->Size) offset = cb->Size;
    cb->Position = cb->Position - cb->Count + offset;
    cb->Count = offset;
    return offset;
}

uint32_t ChunkSkip(uint32_t n, ChunkBuff* cb) {
    uint32_t got = Available(cb, n);
    cb->Position += got;
    cb->Count += got;
    return got;
}

uint32_t ChunkReadBytes(void* dst, uint32_t n, ChunkBuff* cb) { return Take(dst, n, cb); }
uint32_t ChunkReadU2(uint16_t* dst, uint32_t n, ChunkBuff* cb) { return ReadSwapped<uint16_t, 2>(dst, n, cb); }
uint32_t ChunkReadI2(int16_t* dst, uint32_t n, ChunkBuff* cb) { return ReadSwapped<int16_t, 2>(dst, n, cb); }
uint32_t ChunkReadU4(uint32_t* dst, uint32_t n, ChunkBuff* cb) { return ReadSwapped<uint32_t, 4>(dst, n, cb); }
uint32_t ChunkReadF4(float* dst, uint32_t n, ChunkBuff* cb) { return ReadSwapped<float, 4>(dst, n, cb); }
uint32_t ChunkReadVec12(float* dst, uint32_t n, ChunkBuff* cb) { return ReadSwapped<float, 4>(dst, n * 3, cb); }
uint32_t ChunkReadWords(uint32_t* dst, uint32_t n, ChunkBuff* cb) { return Take(dst, (uint64_t)n * 4, cb); }

uint32_t ChunkReadVX(uint32_t* dst, ChunkBuff* cb) {
    uint8_t b[4] = {0, 0, 0, 0};
    uint32_t got = Take(b, 2, cb);
    if (b[0] != 0xFF) {
        *dst = LoadU2(b);
        return got;
    }
    got += Take(b + 2, 2, cb);
    *dst = ((uint32_t)b[1] << 16) | ((uint32_t)b[2] << 8) | b[3];
    return got;
}

uint32_t ChunkReadS0(char* text, uint32_t size, ChunkBuff* cb) {
    uint32_t taken = 0, kept = 0;
    bool ended = false;
    while (ChunkRemaining(cb) > 0) {
        char c = (char)*cb->Position++;
        cb->Count++;
        taken++;
        if (c == '\0') {
            ended = true;
            break;
        }
        if (kept + 1 < size) text[kept++] = c;
    }
    if (size > 0) text[kept] = '\0';
    if (!ended) {
        cb->Flags |= LW_CHUNK_OVERRUN;
        return taken;
    }
    if (taken & 1) taken += ChunkSkip(1, cb);
    return taken;
}

uint32_t ChunkReadID4(char text[5], ChunkBuff* cb) {
    uint32_t got = Take(text, 4, cb);
    text[4] = '\0';
    return got;
}

uint32_t ChunkWriteBytes(const void* src, uint32_t n, ChunkBuff* cb) {
    uint8_t* at = Room(n, cb);
    if (!at) return 0;
    if (n) memcpy(at, src, n);
    return n;
}

uint32_t ChunkWriteU2(const uint16_t* src, uint32_t n, ChunkBuff* cb) { return WriteSwapped<uint16_t, 2>(src, n, cb); }
uint32_t ChunkWriteU4(const uint32_t* src, uint32_t n, ChunkBuff* cb) { return WriteSwapped<uint32_t, 4>(src, n, cb); }
uint32_t ChunkWriteF4(const float* src, uint32_t n, ChunkBuff* cb) { return WriteSwapped<float, 4>(src, n, cb); }
uint32_t ChunkWriteID(uint32_t value, ChunkBuff* cb) { return ChunkWriteU4(&value, 1, cb); }
uint32_t ChunkWriteVec12(const float* src, uint32_t n, ChunkBuff* cb) { return ChunkWriteF4(src, n * 3, cb); }
uint32_t ChunkWriteWords(const uint32_t* src, uint32_t n, ChunkBuff* cb) { return ChunkWriteBytes(src, n * 4, cb); }

uint32_t ChunkWriteVX(uint32_t value, ChunkBuff* cb) {
    if (value > 0xFFFFFF) {
        cb->Flags |= LW_CHUNK_BAD_VALUE;
        return 0;
    }
    if (value < 0xFF00) {
        uint16_t v = (uint16_t)value;
        return ChunkWriteU2(&v, 1, cb);
    }
    return ChunkWriteID(value | 0xFF000000u, cb);
}

uint32_t ChunkWriteS0(const char* text, ChunkBuff* cb) {
    if (!text) text = "";
    uint32_t length = (uint32_t)strlen(text) + 1;
    uint32_t size = LwS0Size(text);
    uint8_t* at = Room(size, cb);
    if (!at) return 0;
    memcpy(at, text, length);
    if (size > length) at[length] = 0;
    return size;
}

uint32_t LwS0Size(const char* text) {
    uint32_t length = (uint32_t)strlen(text ? text : "") + 1;
    return length + (length & 1);
}

// ---- files --------------------------------------------------------------------------------------

void OpenIffFile(IffFile* f, FILE* stream) {
    f->File = stream;
    f->Mode = IFF_MEASURE;
    f->Count = 0;
    f->Error = 0;
}

namespace {

// All n bytes or a marked failure.
bool ReadAll(void* dst, uint32_t n, IffFile* f) {
    size_t got = n ? fread(dst, 1, n, f->File) : 0;
    f->Count += (uint32_t)got;
    if (got == n) return true;
    f->Error = 1;
    return false;
}

template <typename T, int Bytes>
uint32_t FileReadSwapped(T* dst, uint32_t n, IffFile* f) {
    // Read into the destination as it lies, then swap in place: nothing is swapped on a short read.
    if ((uint64_t)n * Bytes > UINT32_MAX || !ReadAll(dst, n * Bytes, f)) return 0;
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t raw[Bytes];
        memcpy(raw, &dst[i], Bytes);
        SetBits(&dst[i], Bytes == 2 ? LoadU2(raw) : LoadU4(raw));
    }
    return n * Bytes;
}

// Writes or, when measuring, only counts.
bool Emit(const void* src, uint32_t n, IffFile* f) {
    if (f->Mode == IFF_WRITE && n && fwrite(src, 1, n, f->File) != n) {
        f->Error = 1;
        return false;
    }
    f->Count += n;
    return true;
}

template <typename T, int Bytes>
uint32_t FileWriteSwapped(const T* src, uint32_t n, IffFile* f) {
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t v = BitsOf(src[i]);
        uint8_t raw[4];
        if (Bytes == 2)
            StoreU2(raw, (uint16_t)v);
        else
            StoreU4(raw, v);
        if (!Emit(raw, Bytes, f)) return 0;
    }
    return n;
}

}  // namespace

uint32_t IffSkip(uint32_t n, IffFile* f) {
    if (n >= 1 && fseek(f->File, (long)n, SEEK_CUR) != 0) {
        f->Error = 1;
        return 0;
    }
    f->Count += n;
    return n;
}

uint32_t IffReadBytes(void* dst, uint32_t n, IffFile* f) {
    size_t got = n ? fread(dst, 1, n, f->File) : 0;
    f->Count += (uint32_t)got;
    if (got < n) f->Error = 1;
    return (uint32_t)got;
}

uint32_t IffReadU2(uint16_t* dst, uint32_t n, IffFile* f) { return FileReadSwapped<uint16_t, 2>(dst, n, f); }
uint32_t IffReadU4(uint32_t* dst, uint32_t n, IffFile* f) { return FileReadSwapped<uint32_t, 4>(dst, n, f); }
uint32_t IffReadF4(float* dst, uint32_t n, IffFile* f) { return FileReadSwapped<float, 4>(dst, n, f); }
uint32_t IffReadVec12(float* dst, uint32_t n, IffFile* f) {
    return (uint64_t)n * 3 > UINT32_MAX ? 0 : IffReadF4(dst, n * 3, f);
}

uint32_t IffReadVX(uint32_t* dst, IffFile* f) {
    uint8_t b[4];
    if (!ReadAll(b, 2, f)) return 0;
    if (b[0] != 0xFF) {
        *dst = LoadU2(b);
        return 2;
    }
    if (!ReadAll(b + 2, 2, f)) return 0;
    *dst = ((uint32_t)b[1] << 16) | ((uint32_t)b[2] << 8) | b[3];
    return 4;
}

uint32_t IffReadS0(char* text, uint32_t size, IffFile* f) {
    uint32_t taken = 0, kept = 0;
    for (;;) {
        int c = fgetc(f->File);
        if (c == EOF) {
            if (size > 0) text[kept] = '\0';
            f->Error = 1;
            return 0;
        }
        f->Count++;
        taken++;
        if (c == 0) break;
        if (kept + 1 < size) text[kept++] = (char)c;
    }
    if (size > 0) text[kept] = '\0';
    if (taken & 1) {
        if (fgetc(f->File) == EOF) {
            f->Error = 1;
            return 0;
        }
        f->Count++;
        taken++;
    }
    return taken;
}

uint32_t IffReadID4(char text[5], IffFile* f) {
    text[4] = '\0';
    if (!ReadAll(text, 4, f)) {
        text[0] = '\0';
        return 0;
    }
    return 4;
}

uint32_t IffWriteBytes(const void* src, uint32_t n, IffFile* f) { return Emit(src, n, f) ? n : 0; }
uint32_t IffWriteU2(const uint16_t* src, uint32_t n, IffFile* f) { return FileWriteSwapped<uint16_t, 2>(src, n, f); }
uint32_t IffWriteU4(const uint32_t* src, uint32_t n, IffFile* f) { return FileWriteSwapped<uint32_t, 4>(src, n, f); }
uint32_t IffWriteF4(const float* src, uint32_t n, IffFile* f) { return FileWriteSwapped<float, 4>(src, n, f); }
uint32_t IffWriteID(uint32_t value, IffFile* f) { return IffWriteU4(&value, 1, f); }
uint32_t IffWriteVec12(const float* src, uint32_t n, IffFile* f) { return IffWriteF4(src, n * 3, f); }

uint32_t IffWriteS0(const char* text, IffFile* f) {
    if (!text) text = "";
    uint32_t length = (uint32_t)strlen(text) + 1;
    if (!Emit(text, length, f)) return 0;
    if (length & 1) {
        const uint8_t pad = 0;
        if (!Emit(&pad, 1, f)) return 0;
        length++;
    }
    return length;
}

uint32_t IffWriteVX(uint32_t value, IffFile* f) {
    if (value > 0xFFFFFF) {
        f->Error = 1;
        return 0;
    }
    if (value < 0xFF00) {
        uint16_t v = (uint16_t)value;
        return IffWriteU2(&v, 1, f);
    }
    return IffWriteID(value | 0xFF000000u, f);
}

bool IffWriteTwoPasses(FILE* stream, bool (*emit)(IffFile* f, void* context), void* context) {
    IffFile f;
    OpenIffFile(&f, stream);
    if (!emit(&f, context) || f.Error) return false;
    f.Mode = IFF_WRITE;
    return emit(&f, context) && !f.Error && fflush(stream) == 0;
}
