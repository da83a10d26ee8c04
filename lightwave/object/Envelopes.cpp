// LWO2 envelope bodies: keys with their spans, behaviours and channels, parsed for evaluation and
// dumps. They are written back from their raw bodies, so there is no packer.
#include "lightwave/object/ChunkFields.h"

namespace {

constexpr LwId Id(const char (&s)[5]) { return LwMakeId(s[0], s[1], s[2], s[3]); }

enum : int { NAME, PRE, TYPE, POST, CHAN, ROWS };
const LwFieldRow kRows[ROWS] = {
    {Id("NAME"), "s", "<%s>\n", 256, 0, 0},          {Id("PRE "), "u", "<%d>\n", 0, 0, 0},
    {Id("TYPE"), "u", "<%04x>\n", 0, 0, 0},          {Id("POST"), "u", "<%d>\n", 0, 0, 0},
    {Id("CHAN"), "sur", "<%s> <%d>\n%L", 256, 0, 0},
};

const LwLoopText kText = {"??? UNKNOWN ChunkBuff %d\n", false, "??? INVALIC ChunkBuff SIZE  %d bytes over\n", false,
                          nullptr};

LwTaken ReadRecord(int row, uint16_t length, ChunkBuff* payload, LwSubChunkPtr* into) {
    into->reset(new LwSubChunk());
    LwTaken taken = LwReadFields(kRows[row], payload, into->get());
    (*into)->Length = length;
    return taken;
}

uint32_t RecordSize(int row, LwSubChunk* rec) {
    if (!rec) return 0;
    rec->Length = (uint16_t)LwFieldsSize(kRows[row], *rec);
    return 6 + rec->Length;
}

}  // namespace

Lwo2EnvelopeKey* AddEnvelopeKey(Lwo2Envelope* envelope) {
    if (envelope->Keys.size() >= LW_MAX_RECORDS) return nullptr;
    envelope->Keys.push_back(Lwo2EnvelopeKey());
    envelope->Keys.back().Length = 8;
    return &envelope->Keys.back();
}

void ParseEnvelope(LwObject* object, uint32_t length, const void* body, Lwo2Envelope* envelope) {
    if (!envelope) return;
    ClearEnvelope(object, envelope);
    ChunkBuff cb;
    OpenChunkBuff(&cb, body, length);
    // A NAME is as long as its text and a KEY is 8 bytes, whatever their lengths say: reading goes
    // on right after them, within the body.
    auto toBodyEnd = [&cb](ChunkBuff* payload) { OpenChunkBuff(payload, payload->Position, ChunkRemaining(&cb)); };
    LwForEachSubChunk(object, &cb, kText, [&](LwId id, const char*, uint16_t n, ChunkBuff* payload, LwTaken* taken) {
        if (id == Id("NAME")) {
            toBodyEnd(payload);
            *taken = ReadRecord(NAME, n, payload, &envelope->Name);
            envelope->Name->Length = (uint16_t)taken->Bytes;
            taken->ReadOn = true;
        } else if (id == Id("PRE ")) {
            // A second PRE stands for the missing POST.
            *taken =
                ReadRecord(envelope->Pre ? POST : PRE, n, payload, envelope->Pre ? &envelope->Post : &envelope->Pre);
        } else if (id == Id("POST")) {
            *taken = ReadRecord(POST, n, payload, &envelope->Post);
        } else if (id == Id("TYPE")) {
            *taken = ReadRecord(TYPE, n, payload, &envelope->Type);
        } else if (id == Id("KEY ")) {
            Lwo2EnvelopeKey* key = AddEnvelopeKey(envelope);
            if (!key) {
                LwLog(object, "??? TOO MANY KEY\n");
                return false;
            }
            toBodyEnd(payload);
            ChunkReadF4(&key->Time, 1, payload);
            ChunkReadF4(&key->Value, 1, payload);
            *taken = {8, false, true};
        } else if (id == Id("SPAN")) {
            if (envelope->Keys.empty()) {
                LwLog(object, "??? SPAN WITHOUT KEY\n");
                return false;
            }
            Lwo2EnvelopeSpan& span = envelope->Keys.back().Span;
            span = Lwo2EnvelopeSpan();
            span.Length = n;
            ChunkReadU4(&span.Type, 1, payload);
            for (uint32_t i = 0; ChunkRemaining(payload) >= 4; ++i) {
                float v;
                ChunkReadF4(&v, 1, payload);
                if (i < 4) span.Params[span.Count++] = v;  // the record holds four
            }
            taken->Bytes = payload->Flags & LW_CHUNK_OVERRUN ? 4 : payload->Count;
        } else if (id == Id("CHAN")) {
            if (envelope->Channels.size() >= LW_MAX_RECORDS) {
                LwLog(object, "??? TOO MANY CHAN\n");
                return false;
            }
            envelope->Channels.emplace_back();
            *taken = LwReadFields(kRows[CHAN], payload, &envelope->Channels.back());
            envelope->Channels.back().Length = n;
        } else {
            return false;
        }
        return true;
    });
    LwLog(object, "***  ENVELOPE SIZE (%d / %d)  ***\n", (int32_t)length, (int32_t)GetEnvelopeSize(object, envelope));
}

uint32_t GetEnvelopeSize(LwObject* object, Lwo2Envelope* envelope) {
    (void)object;
    uint32_t size = RecordSize(NAME, envelope->Name.get()) + RecordSize(PRE, envelope->Pre.get()) +
                    RecordSize(POST, envelope->Post.get()) + RecordSize(TYPE, envelope->Type.get());
    for (Lwo2EnvelopeKey& key : envelope->Keys) {
        key.Length = 8;
        key.Span.Length = (uint16_t)(4 * (key.Span.Count + 1));
        size += 6 + key.Length + 6 + key.Span.Length;
    }
    for (LwSubChunk& channel : envelope->Channels) size += RecordSize(CHAN, &channel);
    return size + (size & 1);
}

void DumpEnvelope(LwObject* object, Lwo2Envelope* envelope, FILE* stream) {
    (void)object;
    if (envelope->Name) LwDumpFields(stream, 0, kRows[NAME], *envelope->Name);
    if (envelope->Pre) LwDumpFields(stream, 0, kRows[PRE], *envelope->Pre);
    if (envelope->Type) LwDumpFields(stream, 0, kRows[TYPE], *envelope->Type);
    for (const Lwo2EnvelopeKey& key : envelope->Keys) {
        char type[5];
        LwPrint(stream, "[KEY ] (%d) <%f> <%f>\n", key.Length, (double)key.Time, (double)key.Value);
        LwPrint(stream, "[SPAN] (%d) <%s>", key.Span.Length, IdToText(key.Span.Type, type));
        for (int i = 0; i < key.Span.Count; ++i) LwPrint(stream, " <%f>", (double)key.Span.Params[i]);
        LwPrint(stream, "\n");
    }
    if (envelope->Post) LwDumpFields(stream, 0, kRows[POST], *envelope->Post);
    for (const LwSubChunk& channel : envelope->Channels) LwDumpFields(stream, 0, kRows[CHAN], channel);
}

void ClearEnvelope(LwObject* object, Lwo2Envelope* envelope) {
    (void)object;
    *envelope = Lwo2Envelope();
}
