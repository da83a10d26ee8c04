// LWO2 clip bodies: parse, size, pack and dump, the display names of clips (their image file names
// in native form), and clips made for image files named elsewhere.
#include "lightwave/object/ChunkFields.h"

#include <cstring>

namespace {

constexpr LwId Id(const char (&s)[5]) { return LwMakeId(s[0], s[1], s[2], s[3]); }

#define LW_ADJUSTMENT(name) \
    { Id(name), "fx", "<%f> <%d>\n", 0, 0, 0 }
const LwFieldRow kClipRows[LW_CLIP_SLOTS] = {
    {Id("STIL"), "s", "<%s>\n", 256, 0, 0},
    {Id("ISEQ"), "bbiuiiss", "<%d> <%d> <%d> <%d> <%d> <%d> <%s> <%s>\n", 255, 0, 0},
    {Id("ANIM"), "ss", "<%s> <%s>\n", 255, 0, 0},
    {Id("XREF"), "ls", "<%d> <%s>\n", 256, 0, 0},
    {Id("STCC"), "iis", "<%d> <%d> <%s>\n", 256, 0, 0},
    LW_ADJUSTMENT("CONT"),
    LW_ADJUSTMENT("BRIT"),
    LW_ADJUSTMENT("SATR"),
    LW_ADJUSTMENT("HUE "),
    LW_ADJUSTMENT("GAMM"),
    {Id("NEGA"), "u", "<%d>\n", 0, 0, 0},
    {Id("CROP"), "ffff", "<%f> <%f> <%f> <%f>\n", 0, 0, 0},
    {Id("ALPH"), "x", "<%d>\n", 0, 0, 0},
    {Id("COMP"), "xfx", "<%d> <%f> <%d>\n", 0, 0, 0},
    {Id("IFLT"), "sur", "<%s> <%d>\n%L", 256, 0, 0},
    {Id("PFLT"), "sur", "<%s> <%d>\n%L", 256, 0, 0},
    {Id("FLAG"), "l", "<0x%08x>\n", 0, 0, 0},
    {Id("TIME"), "fff", "<%f> <%f> <%f>\n", 0, 0, 0},
    {Id("AMOD"), "u", "<0x%04x>\n", 0, 0, 0},
};
#undef LW_ADJUSTMENT
const LwChunkTable kClip = {kClipRows, LW_CLIP_SLOTS};

const int kOrder[LW_CLIP_SLOTS] = {LW_CLIP_STIL, LW_CLIP_ISEQ, LW_CLIP_ANIM, LW_CLIP_XREF, LW_CLIP_STCC,
                                   LW_CLIP_CONT, LW_CLIP_BRIT, LW_CLIP_SATR, LW_CLIP_HUE,  LW_CLIP_GAMM,
                                   LW_CLIP_NEGA, LW_CLIP_CROP, LW_CLIP_ALPH, LW_CLIP_COMP, LW_CLIP_IFLT,
                                   LW_CLIP_PFLT, LW_CLIP_FLAG, LW_CLIP_TIME, LW_CLIP_AMOD};

const LwLoopText kClipText = {"??? UNKNOWN ChunkBuff %d\n", false, "??? INVALIC ChunkBuff SIZE  %d bytes over\n", false,
                              nullptr};

// Path operation 11 (native to LightWave form) or 12 (LightWave to native form).
std::string ConvertPath(int operation, const std::string& path) {
    char out[LW_PATH_SIZE] = "";
    LwPathArgs args = {};
    args.Path = path.c_str();
    args.Output = out;
    LwPathOperation(operation, &args);
    return out;
}

LwSubChunk* NewSlot(Lwo2Clip* clip, int slot) {
    clip->Chunks[slot].reset(new LwSubChunk());
    clip->Chunks[slot]->Id = kClipRows[slot].Id;
    return clip->Chunks[slot].get();
}

std::vector<uint8_t> PackedClip(LwObject* object, Lwo2Clip* clip) {
    std::vector<uint8_t> bytes(GetClipSize(object, clip));
    PackClip(object, bytes.data(), clip);
    return bytes;
}

// Appends a clip with the next free id under name with that body; its id.
int32_t AddClipEntry(LwObject* object, const char* name, const std::vector<uint8_t>& body) {
    const int32_t id = object->Op.GetNextClipId(object);
    const int32_t position = object->Op.AddClip(object, id);
    object->Op.SetClipName(object, position, name);
    object->Op.SetClipData(object, position, (int32_t)body.size(), body.data());
    return id;
}

}  // namespace

void ParseClip(LwObject* object, uint32_t length, const void* body, Lwo2Clip* clip) {
    if (!clip) return;
    ClearClip(object, clip);
    ChunkBuff cb;
    OpenChunkBuff(&cb, body, length);
    LwForEachSubChunk(object, &cb, kClipText,
                      [&](LwId id, const char*, uint16_t n, ChunkBuff* payload, LwTaken* taken) {
                          int slot;
                          if (!LwFindField(kClip, id, &slot)) return false;
                          *taken = LwReadSlot(kClip, slot, n, payload, clip->Chunks);
                          return true;
                      });
}

uint32_t GetClipSize(LwObject* object, Lwo2Clip* clip) {
    (void)object;
    return LwSlotsSize(kClip, clip->Chunks);
}

uint32_t PackClip(LwObject* object, void* dest, Lwo2Clip* clip) {
    const uint32_t length = GetClipSize(object, clip);
    ChunkBuff cb;
    OpenChunkBuff(&cb, dest, length);
    LwPackSlots(kClip, clip->Chunks, kOrder, LW_CLIP_SLOTS, &cb);
    return length;
}

void DumpClip(LwObject* object, Lwo2Clip* clip, FILE* stream) {
    (void)object;
    LwDumpSlots(stream, 0, kClip, clip->Chunks, kOrder, LW_CLIP_SLOTS);
}

void ClearClip(LwObject* object, Lwo2Clip* clip) {
    (void)object;
    *clip = Lwo2Clip();
}

void MakeClipDisplayName(LwObject* object, const Lwo2Clip* clip, char out[LW_CLIP_NAME_SIZE]) {
    (void)object;
    if (const LwSubChunk* still = clip->Chunks[LW_CLIP_STIL].get())
        LwCopyText(out, ConvertPath(12, still->Text[0]).c_str(), LW_CLIP_NAME_SIZE);
    if (const LwSubChunk* sequence = clip->Chunks[LW_CLIP_ISEQ].get())
        LwCopyText(out, (ConvertPath(12, sequence->Text[0]) + " (sequence)").c_str(), LW_CLIP_NAME_SIZE);
    if (const LwSubChunk* anim = clip->Chunks[LW_CLIP_ANIM].get())
        LwCopyText(out, ConvertPath(12, anim->Text[0]).c_str(), LW_CLIP_NAME_SIZE);
}

const char* GetClipDisplayName(LwObject* object, int32_t id, char out[LW_CLIP_NAME_SIZE]) {
    out[0] = '\0';
    LwClipEntry* entry = object->Op.GetClip(object, object->Op.GetClipPosition(object, id));
    if (!entry) return nullptr;
    if (entry->Name[0]) {
        LwCopyText(out, entry->Name, LW_CLIP_NAME_SIZE);
    } else {
        Lwo2Clip clip;
        ParseClip(object, (uint32_t)entry->DataSize, entry->Data, &clip);
        MakeClipDisplayName(object, &clip, out);
    }
    return out;
}

int32_t CompleteClip(LwObject* object, int32_t position) {
    LwClipEntry* entry = object->Op.GetClip(object, position);
    if (!entry) return -1;
    if (entry->DataSize > 0) {
        Lwo2Clip clip;
        ParseClip(object, (uint32_t)entry->DataSize, entry->Data, &clip);
        char name[LW_CLIP_NAME_SIZE] = "";
        MakeClipDisplayName(object, &clip, name);
        object->Op.SetClipName(object, position, name);
    }
    return position;
}

int32_t FindClipByDisplayName(LwObject* object, const char* name) {
    for (int32_t position = 0; position < object->Op.GetNumClips(object); ++position) {
        const int32_t id = object->Op.GetClip(object, position)->Id;
        char display[LW_CLIP_NAME_SIZE];
        if (GetClipDisplayName(object, id, display) && LwStrCaseCompare(display, name) == 0) return id;
    }
    return 0;
}

int32_t AddStillClip(LwObject* object, const char* fileName) {
    if (int32_t id = object->Op.FindClipByName(object, fileName)) return id;
    // Clips read from LWOB image references carry the native spelling of the same file.
    if (strchr(fileName, '/'))
        if (int32_t id = object->Op.FindClipByName(object, ConvertPath(12, fileName).c_str())) return id;
    Lwo2Clip clip;
    NewSlot(&clip, LW_CLIP_STIL)->Text[0] = ConvertPath(11, fileName);
    return AddClipEntry(object, fileName, PackedClip(object, &clip));
}

void MakeClipFromImage(LwObject* object, Lwo2Clip* clip, const LwobImageRef* image) {
    ClearClip(object, clip);
    std::string name = ConvertPath(11, image->Name);
    const LwSubChunk* sequence = image->Chunks[LWOB_IMSQ].get();
    if (!sequence) {
        NewSlot(clip, LW_CLIP_STIL)->Text[0] = name;
        return;
    }
    size_t mark = name.find("(sequence)");
    if (mark != std::string::npos) name.resize(mark > 0 ? mark - 1 : 0);
    std::string suffix;
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        suffix = name.substr(dot);
        name.resize(dot);
    }
    uint32_t digits = 0;
    size_t firstDigit = std::string::npos;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] >= '0' && name[i] <= '9') {
            digits++;
            if (firstDigit == std::string::npos) firstDigit = i;
        }
    }
    if (firstDigit != std::string::npos) name.resize(firstDigit);
    LwSubChunk* iseq = NewSlot(clip, LW_CLIP_ISEQ);
    const uint32_t fields[6] = {digits & 0xFF, sequence->Int[1] & 0xFF, sequence->Int[0], sequence->Int[2], 1, 1};
    memcpy(iseq->Int, fields, sizeof(fields));
    iseq->Text[0] = name.substr(0, 254);
    iseq->Text[1] = suffix.substr(0, 254);
}

int32_t AddImageClip(LwObject* object, const LwobImageRef* image) {
    Lwo2Clip clip;
    MakeClipFromImage(object, &clip, image);
    char name[LW_CLIP_NAME_SIZE] = "";
    MakeClipDisplayName(object, &clip, name);
    if (int32_t id = object->Op.FindClipByName(object, name)) return id;
    return AddClipEntry(object, name, PackedClip(object, &clip));
}
