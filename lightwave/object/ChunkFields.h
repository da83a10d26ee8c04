// The table-driven description of sub-chunk payloads shared by the surface, block, clip, envelope
// and LWOB surface code: each known ID names its fields by letter, the text size of its S0 fields
// and the value part of its dump line, and one set of routines reads, sizes, writes and dumps them.
#pragma once

#include "lightwave/object/LwChunks.h"

#include <cstdarg>

// Field letters: f F4, v VEC12, x VX, u U2, i I2, l U4 or ID4, b U1, s S0, c a text filling the
// rest of the sub-chunk (written back as S0), and up to the end of the sub-chunk: F F4 values,
// I I2 values, X VX values, r raw bytes.
enum LwFieldFlag : uint8_t {
    LW_FIELDS_QUIET_REST = 1,     // bytes after the fields are skipped without a message
    LW_FIELDS_OPTIONAL_TAIL = 2,  // fields past the stated length stay 0 without a message
};

struct LwFieldRow {
    LwId Id;
    const char* Fields;
    // Value part of the dump line: printf conversions take the fields in order by kind (%f floats,
    // %d and %x integers, %s texts); %I prints an integer as four characters, %n the number of list
    // values, %L the list eight to a line and one more line end, %l the list alone, %V each float as
    // "<%f> ".
    const char* Dump;
    uint16_t TextSize;  // bytes of each text field with its terminator
    uint8_t ListCap;    // list values kept at most, 0 for no limit
    uint8_t Flags;      // LwFieldFlag bits
};

struct LwChunkTable {
    const LwFieldRow* Rows;  // in slot order
    int Count;
};

// The row of the table for id and its slot; NULL when the ID is not in the table.
const LwFieldRow* LwFindField(const LwChunkTable& table, LwId id, int* slot);

// Messages of one sub-chunk loop (the texts name the kind of body in the log).
struct LwLoopText {
    const char* Unknown;  // with the length, or the ID text and the length when UnknownNamesId
    bool UnknownNamesId;
    const char* Over;  // with the bytes over, or the ID text and the bytes over when OverNamesId
    bool OverNamesId;
    const char* Each;  // logged for every sub-chunk with its ID text and length, or NULL
};

// What a handler took of its sub-chunk: Bytes for the length check; Quiet drops the mismatch
// message. The next sub-chunk starts at the stated end, or, when the handler sets ReadOn, right
// after the Bytes it took: such a sub-chunk is as long as its contents, whatever its length says.
struct LwTaken {
    uint32_t Bytes;
    bool Quiet;
    bool ReadOn = false;
};

void LwLog(LwObject* object, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Reads the fields of row from the payload into rec (zeroed first).
LwTaken LwReadFields(const LwFieldRow& row, ChunkBuff* payload, LwSubChunk* rec);
// Payload length of rec as written; fits is false when it has no encoding (over 65535 bytes, or a
// VX above 24 bits), and such a record is left out of the packed body.
uint32_t LwFieldsSize(const LwFieldRow& row, const LwSubChunk& rec, bool* fits = nullptr);
void LwWriteFields(const LwFieldRow& row, const LwSubChunk& rec, ChunkBuff* cb);
// The dump line: indent tabs, "[ID] (length) " and the value part.
void LwDumpFields(FILE* stream, int indent, const LwFieldRow& row, const LwSubChunk& rec);
// Prints a list eight to a line with format for each value, and one more line end after it when
// closed.
template <typename T>
void LwDumpList(FILE* stream, const std::vector<T>& list, const char* format, bool closed = true);

// A record read into slots[slot], replacing what was there.
LwTaken LwReadSlot(const LwChunkTable& table, int slot, uint16_t length, ChunkBuff* payload, LwSubChunkPtr* slots);
// Sum of 6 + length over the present records that fit, setting their length fields.
uint32_t LwSlotsSize(const LwChunkTable& table, LwSubChunkPtr* slots);
// Writes and dumps the present records in order (slot numbers); packing skips those that do not fit.
void LwPackSlots(const LwChunkTable& table, LwSubChunkPtr* slots, const int* order, int count, ChunkBuff* cb);
void LwDumpSlots(FILE* stream, int indent, const LwChunkTable& table, LwSubChunkPtr* slots, const int* order,
                 int count);
void LwPrint(FILE* stream, const char* format, ...);

// Runs handle over every sub-chunk from the cursor to its end. handle(id, idText, length, payload,
// taken) reads the payload (the sub-chunk clipped to what is left) and returns false for an unknown
// ID. While it runs the cursor stands at the payload's start, so a handler that reads on past the
// stated length may open its payload over the rest of the body. After each sub-chunk the cursor
// moves to the end the length states (or, with ReadOn, to the end of what was taken).
template <typename Handler>
void LwForEachSubChunk(LwObject* object, ChunkBuff* cb, const LwLoopText& text, Handler&& handle) {
    while (ChunkRemaining(cb) > 0) {
        if (ChunkRemaining(cb) < 6) {
            LwLog(object, "??? %u TRAILING BYTES DROPPED\n", ChunkRemaining(cb));
            ChunkSeek(cb->Size, cb);
            break;
        }
        char idText[5];
        uint16_t length = 0;
        ChunkReadID4(idText, cb);
        ChunkReadU2(&length, 1, cb);
        const LwId id = LwMakeId(idText[0], idText[1], idText[2], idText[3]);
        const uint32_t start = cb->Count;
        uint32_t available = length;
        if (available > ChunkRemaining(cb)) {
            available = ChunkRemaining(cb);
            LwLog(object, "??? (%s) ChunkBuff LENGTH %d PAST THE END, %u bytes left\n", idText, length, available);
        }
        if (text.Each) LwLog(object, text.Each, idText, length);
        ChunkBuff payload;
        OpenChunkBuff(&payload, cb->Position, available);
        LwTaken taken = {payload.Count, false};
        if (!handle(id, idText, length, &payload, &taken)) {
            if (text.UnknownNamesId)
                LwLog(object, text.Unknown, idText, length);
            else
                LwLog(object, text.Unknown, length);
            taken = {length, true};
        }
        const uint32_t used = taken.ReadOn ? taken.Bytes : length;
        const int32_t over = (int32_t)used - (int32_t)taken.Bytes;
        if (over != 0 && !taken.Quiet) {
            if (text.OverNamesId)
                LwLog(object, text.Over, idText, over);
            else
                LwLog(object, text.Over, over);
        }
        const uint64_t end = (uint64_t)start + used;
        ChunkSeek(end < cb->Size ? (uint32_t)end : cb->Size, cb);
    }
}

template <typename T>
void LwDumpList(FILE* stream, const std::vector<T>& list, const char* format, bool closed) {
    for (size_t i = 0; i < list.size(); ++i) {
        if (i % 8 == 0) LwPrint(stream, "\t");
        LwPrint(stream, format, list[i], (i + 1) % 8 == 0 ? "\n" : ", ");
    }
    if (closed) LwPrint(stream, "\n");
}
