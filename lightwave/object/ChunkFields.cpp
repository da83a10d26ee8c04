// Reading, sizing, writing and dumping sub-chunk records from their field descriptions.
#include "lightwave/object/ChunkFields.h"

#include <cstring>

void LwPrint(FILE* stream, const char* format, ...) {
    if (!stream) return;
    va_list args;
    va_start(args, format);
    LwVPrintf(stream, format, args);
    va_end(args);
}

void LwLog(LwObject* object, const char* format, ...) {
    if (!object || !object->TraceFile) return;
    va_list args;
    va_start(args, format);
    LwVPrintf(object->TraceFile, format, args);
    va_end(args);
    fflush(object->TraceFile);
}

const LwFieldRow* LwFindField(const LwChunkTable& table, LwId id, int* slot) {
    for (int i = 0; i < table.Count; ++i) {
        if (table.Rows[i].Id == id) {
            if (slot) *slot = i;
            return &table.Rows[i];
        }
    }
    return nullptr;
}

namespace {

constexpr uint32_t kTextMax = 512;

std::string ReadText(ChunkBuff* cb, uint16_t size) {
    char text[kTextMax];
    ChunkReadS0(text, size < kTextMax ? size : kTextMax, cb);
    return text;
}

// A text that fills the rest of the sub-chunk: kept up to its first NUL and its field size.
std::string ReadRestText(ChunkBuff* cb, uint16_t size) {
    uint32_t n = ChunkRemaining(cb);
    const char* at = (const char*)cb->Position;
    size_t kept = strnlen(at, n);
    if (size > 0 && kept > (size_t)size - 1) kept = size - 1;
    ChunkSkip(n, cb);
    return std::string(at, kept);
}

std::string Bounded(const std::string& text, uint16_t size) {
    return size > 0 && text.size() > (size_t)size - 1 ? text.substr(0, size - 1) : text;
}

}  // namespace

LwTaken LwReadFields(const LwFieldRow& row, ChunkBuff* p, LwSubChunk* rec) {
    *rec = LwSubChunk();
    rec->Id = row.Id;
    int nf = 0, ni = 0, nt = 0;
    for (const char* f = row.Fields; *f; ++f) {
        switch (*f) {
        case 'f':
            ChunkReadF4(&rec->Float[nf++], 1, p);
            break;
        case 'v':
            ChunkReadVec12(&rec->Float[nf], 1, p);
            nf += 3;
            break;
        case 'x':
            ChunkReadVX(&rec->Int[ni++], p);
            break;
        case 'u': {
            uint16_t v = 0;
            ChunkReadU2(&v, 1, p);
            rec->Int[ni++] = v;
            break;
        }
        case 'i': {
            int16_t v = 0;
            ChunkReadI2(&v, 1, p);
            rec->Int[ni++] = (uint32_t)(int32_t)v;
            break;
        }
        case 'l':
            ChunkReadU4(&rec->Int[ni++], 1, p);
            break;
        case 'b': {
            uint8_t v = 0;
            ChunkReadBytes(&v, 1, p);
            rec->Int[ni++] = v;
            break;
        }
        case 's':
            rec->Text[nt++] = ReadText(p, row.TextSize);
            break;
        case 'c':
            rec->Text[nt++] = ReadRestText(p, row.TextSize);
            break;
        case 'F':
            while (ChunkRemaining(p) >= 4) {
                float v;
                ChunkReadF4(&v, 1, p);
                if (row.ListCap == 0 || rec->Floats.size() < row.ListCap) rec->Floats.push_back(v);
            }
            break;
        case 'I':
            while (ChunkRemaining(p) >= 2) {
                int16_t v;
                ChunkReadI2(&v, 1, p);
                rec->Ints.push_back((uint32_t)(int32_t)v);
            }
            break;
        case 'X':
            while (ChunkRemaining(p) > 0) {
                uint32_t v;
                ChunkReadVX(&v, p);
                if (p->Flags & LW_CHUNK_OVERRUN) break;  // a last index cut by the end is dropped
                rec->Ints.push_back(v);
            }
            break;
        case 'r': {
            uint32_t n = ChunkRemaining(p);
            rec->Data.assign(p->Position, p->Position + n);
            ChunkSkip(n, p);
            break;
        }
        }
    }
    const bool overrun = (p->Flags & LW_CHUNK_OVERRUN) != 0;
    LwTaken taken;
    // Fields cut short by the end count as their whole size, so the message tells by how much.
    taken.Bytes = overrun ? LwFieldsSize(row, *rec) : p->Count;
    taken.Quiet = overrun ? (row.Flags & LW_FIELDS_OPTIONAL_TAIL) != 0 : (row.Flags & LW_FIELDS_QUIET_REST) != 0;
    return taken;
}

uint32_t LwFieldsSize(const LwFieldRow& row, const LwSubChunk& rec, bool* fits) {
    uint64_t size = 0;
    bool encodable = true;
    int ni = 0, nt = 0;
    auto vx = [&](uint32_t v) {
        if (v > 0xFFFFFF) encodable = false;
        return LwVxSize(v);
    };
    for (const char* f = row.Fields; *f; ++f) {
        switch (*f) {
        case 'f':
        case 'l':
            size += 4;
            ni += *f == 'l';
            break;
        case 'v':
            size += 12;
            break;
        case 'x':
            size += vx(rec.Int[ni++]);
            break;
        case 'u':
        case 'i':
            size += 2;
            ni++;
            break;
        case 'b':
            size += 1;
            ni++;
            break;
        case 's':
        case 'c':
            size += LwS0Size(Bounded(rec.Text[nt++], row.TextSize).c_str());
            break;
        case 'F':
            size += 4 * (uint64_t)rec.Floats.size();
            break;
        case 'I':
            size += 2 * (uint64_t)rec.Ints.size();
            break;
        case 'X':
            for (uint32_t v : rec.Ints) size += vx(v);
            break;
        case 'r':
            size += rec.Data.size();
            break;
        }
    }
    if (fits) *fits = encodable && size <= 0xFFFF;
    return size > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)size;
}

void LwWriteFields(const LwFieldRow& row, const LwSubChunk& rec, ChunkBuff* cb) {
    ChunkWriteID(row.Id, cb);
    ChunkWriteU2(&rec.Length, 1, cb);
    int nf = 0, ni = 0, nt = 0;
    for (const char* f = row.Fields; *f; ++f) {
        switch (*f) {
        case 'f':
            ChunkWriteF4(&rec.Float[nf++], 1, cb);
            break;
        case 'v':
            ChunkWriteVec12(&rec.Float[nf], 1, cb);
            nf += 3;
            break;
        case 'x':
            ChunkWriteVX(rec.Int[ni++], cb);
            break;
        case 'u':
        case 'i': {
            uint16_t v = (uint16_t)rec.Int[ni++];
            ChunkWriteU2(&v, 1, cb);
            break;
        }
        case 'l':
            ChunkWriteU4(&rec.Int[ni++], 1, cb);
            break;
        case 'b': {
            uint8_t v = (uint8_t)rec.Int[ni++];
            ChunkWriteBytes(&v, 1, cb);
            break;
        }
        case 's':
        case 'c':
            ChunkWriteS0(Bounded(rec.Text[nt++], row.TextSize).c_str(), cb);
            break;
        case 'F':
            ChunkWriteF4(rec.Floats.data(), (uint32_t)rec.Floats.size(), cb);
            break;
        case 'I':
            for (uint32_t v : rec.Ints) {
                uint16_t u = (uint16_t)v;
                ChunkWriteU2(&u, 1, cb);
            }
            break;
        case 'X':
            for (uint32_t v : rec.Ints) ChunkWriteVX(v, cb);
            break;
        case 'r':
            ChunkWriteBytes(rec.Data.data(), (uint32_t)rec.Data.size(), cb);
            break;
        }
    }
}

void LwDumpFields(FILE* stream, int indent, const LwFieldRow& row, const LwSubChunk& rec) {
    if (!stream) return;
    char id[5];
    for (int i = 0; i < indent; ++i) LwPrint(stream, "\t");
    LwPrint(stream, "[%s] (%d) ", IdToText(row.Id, id), rec.Length);
    const bool floatList = strchr(row.Fields, 'F') != nullptr;
    const bool dataList = strchr(row.Fields, 'r') != nullptr;
    int nf = 0, ni = 0, nt = 0;
    for (const char* d = row.Dump; *d; ++d) {
        if (*d != '%') {
            fputc(*d, stream);
            continue;
        }
        // One conversion: its flags and width up to the letter.
        char conversion[16] = "%";
        size_t n = 1;
        while (d[1] && strchr("0123456789.", d[1]) && n < sizeof(conversion) - 2) conversion[n++] = *++d;
        const char letter = *++d;
        conversion[n++] = letter;
        conversion[n] = '\0';
        switch (letter) {
        case 'f':
            LwPrint(stream, conversion, (double)(nf < 4 ? rec.Float[nf++] : 0.0f));
            break;
        case 'd':
        case 'x':
            LwPrint(stream, conversion, (int32_t)(ni < 6 ? rec.Int[ni++] : 0));
            break;
        case 's':
            LwPrint(stream, "%s", nt < 2 ? rec.Text[nt++].c_str() : "");
            break;
        case 'I':
            LwPrint(stream, "%s", IdToText(ni < 6 ? rec.Int[ni++] : 0, id));
            break;
        case 'n':
            LwPrint(stream, "%d", (int)(floatList ? rec.Floats.size() : dataList ? rec.Data.size() : rec.Ints.size()));
            break;
        case 'L':
        case 'l':
            if (floatList)
                LwDumpList(stream, rec.Floats, "%f%s", letter == 'L');
            else if (dataList)
                LwDumpList(stream, rec.Data, "0x%02x%s", letter == 'L');
            else
                LwDumpList(stream, rec.Ints, "%d%s", letter == 'L');
            break;
        case 'V':
            for (float v : rec.Floats) LwPrint(stream, "<%f> ", (double)v);
            break;
        default:
            fputc('%', stream);
            if (letter) fputc(letter, stream);
            if (!letter) return;
            break;
        }
    }
}

LwTaken LwReadSlot(const LwChunkTable& table, int slot, uint16_t length, ChunkBuff* payload, LwSubChunkPtr* slots) {
    LwSubChunkPtr rec(new LwSubChunk());
    LwTaken taken = LwReadFields(table.Rows[slot], payload, rec.get());
    rec->Length = length;
    slots[slot] = std::move(rec);  // a sub-chunk seen again replaces the earlier one
    return taken;
}

uint32_t LwSlotsSize(const LwChunkTable& table, LwSubChunkPtr* slots) {
    uint32_t total = 0;
    for (int i = 0; i < table.Count; ++i) {
        if (!slots[i]) continue;
        bool fits;
        uint32_t size = LwFieldsSize(table.Rows[i], *slots[i], &fits);
        if (!fits) continue;
        slots[i]->Length = (uint16_t)size;
        total += 6 + size;
    }
    return total;
}

void LwPackSlots(const LwChunkTable& table, LwSubChunkPtr* slots, const int* order, int count, ChunkBuff* cb) {
    for (int i = 0; i < count; ++i) {
        const LwSubChunk* rec = slots[order[i]].get();
        bool fits;
        if (rec && (LwFieldsSize(table.Rows[order[i]], *rec, &fits), fits))
            LwWriteFields(table.Rows[order[i]], *rec, cb);
    }
}

void LwDumpSlots(FILE* stream, int indent, const LwChunkTable& table, LwSubChunkPtr* slots, const int* order,
                 int count) {
    for (int i = 0; i < count; ++i)
        if (slots[order[i]]) LwDumpFields(stream, indent, table.Rows[order[i]], *slots[order[i]]);
}
