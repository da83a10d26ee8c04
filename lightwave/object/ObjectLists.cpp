// The clip and envelope entries of an object, kept as raw chunk bodies, and the 4 x 4 matrix
// functions of the texture-coordinate and triangulation passes.
#include "lightwave/object/LwObject.h"
#include "lightwave/object/ObjectInternal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Appends to a singly linked list in creation order; the position of the new record.
template <typename Entry>
int32_t Append(Entry** head, int32_t* count) {
    Entry* entry = (Entry*)calloc(1, sizeof(Entry));
    if (!entry) return -1;
    Entry** link = head;
    while (*link) link = &(*link)->Next;
    *link = entry;
    return (*count)++;
}

template <typename Entry>
Entry* Nth(Entry* head, int32_t position) {
    if (position < 0) return nullptr;
    Entry* entry = head;
    for (int32_t i = 0; entry && i < position; ++i) entry = entry->Next;
    return entry;
}

// A body replaced by one of another size reuses its block; size 0 keeps the block for later.
template <typename Entry>
int32_t SetData(Entry* entry, int32_t size, const void* bytes) {
    if (!entry || size < 0 || (size > 0 && !bytes)) return LW_ERR_PARAM;
    if (size > 0) {
        uint8_t* block = (uint8_t*)realloc(entry->Data, (size_t)size);
        if (!block) return LW_ERR_MEMORY;
        memcpy(block, bytes, (size_t)size);
        entry->Data = block;
    }
    entry->DataSize = size;
    return LW_ERR_NONE;
}

template <typename Entry>
void Release(Entry** head, int32_t* count) {
    for (Entry* entry = *head; entry;) {
        Entry* next = entry->Next;
        free(entry->Data);
        free(entry);
        entry = next;
    }
    *head = nullptr;
    *count = 0;
}

// ---- clips --------------------------------------------------------------------------------------

int32_t GetNumClips(LwObject* object) { return object ? object->NumClips : 0; }

int32_t GetNextClipId(LwObject* object) {
    if (!object || !object->Clips) return 1;
    int32_t largest = object->Clips->Id;
    for (LwClipEntry* c = object->Clips; c; c = c->Next)
        if (c->Id > largest) largest = c->Id;
    return largest < INT32_MAX ? largest + 1 : largest;
}

int32_t AddClip(LwObject* object, int32_t id) {
    if (!object) return -1;
    int32_t position = Append(&object->Clips, &object->NumClips);
    if (position >= 0) Nth(object->Clips, position)->Id = id;
    return position;
}

LwClipEntry* GetClip(LwObject* object, int32_t position) { return object ? Nth(object->Clips, position) : nullptr; }

int32_t SetClipData(LwObject* object, int32_t position, int32_t size, const void* bytes) {
    return SetData(GetClip(object, position), size, bytes);
}

int32_t GetClipPosition(LwObject* object, int32_t id) {
    if (!object) return -1;
    int32_t position = 0;
    for (LwClipEntry* c = object->Clips; c; c = c->Next, ++position)
        if (c->Id == id) return position;
    return -1;
}

int32_t SetClipName(LwObject* object, int32_t position, const char* name) {
    LwClipEntry* clip = GetClip(object, position);
    if (!clip || !name) return LW_ERR_PARAM;
    LwCopyText(clip->Name, name, sizeof(clip->Name));
    return LW_ERR_NONE;
}

int32_t FindClipByName(LwObject* object, const char* name) {
    if (!object || !name) return 0;
    for (LwClipEntry* c = object->Clips; c; c = c->Next)
        if (LwStrCaseCompare(c->Name, name) == 0) return c->Id;
    return 0;
}

int32_t FreeClips(LwObject* object) {
    if (!object) return LW_ERR_PARAM;
    LwReleaseClips(object);
    return LW_ERR_NONE;
}

// ---- envelopes ----------------------------------------------------------------------------------

int32_t GetNumEnvelopes(LwObject* object) { return object ? object->NumEnvelopes : 0; }

int32_t AddEnvelope(LwObject* object, uint16_t index) {
    if (!object) return -1;
    int32_t position = Append(&object->Envelopes, &object->NumEnvelopes);
    if (position >= 0) Nth(object->Envelopes, position)->Index = index;
    return position;
}

LwEnvelopeEntry* GetEnvelope(LwObject* object, int32_t position) {
    return object ? Nth(object->Envelopes, position) : nullptr;
}

int32_t SetEnvelopeData(LwObject* object, int32_t position, int32_t size, const void* bytes) {
    return SetData(GetEnvelope(object, position), size, bytes);
}

int32_t FreeEnvelopes(LwObject* object) {
    if (!object) return LW_ERR_PARAM;
    LwReleaseEnvelopes(object);
    return LW_ERR_NONE;
}

}  // namespace

void LwReleaseClips(LwObject* object) { Release(&object->Clips, &object->NumClips); }

void LwTrimClips(LwObject* object, int32_t count) {
    if (count < 0 || count >= object->NumClips) return;
    LwClipEntry** link = &object->Clips;
    for (int32_t i = 0; *link && i < count; ++i) link = &(*link)->Next;
    int32_t left = object->NumClips - count;
    Release(link, &left);
    object->NumClips = count;
}
void LwReleaseEnvelopes(LwObject* object) { Release(&object->Envelopes, &object->NumEnvelopes); }

void LwFillListOperations(LwObjectOperations* op) {
    op->GetNumClips = GetNumClips;
    op->GetNextClipId = GetNextClipId;
    op->AddClip = AddClip;
    op->SetClipData = SetClipData;
    op->GetClip = GetClip;
    op->GetClipPosition = GetClipPosition;
    op->SetClipName = SetClipName;
    op->FindClipByName = FindClipByName;
    op->FreeClips = FreeClips;
    op->GetNumEnvelopes = GetNumEnvelopes;
    op->AddEnvelope = AddEnvelope;
    op->SetEnvelopeData = SetEnvelopeData;
    op->GetEnvelope = GetEnvelope;
    op->FreeEnvelopes = FreeEnvelopes;
}

// ---- matrices -----------------------------------------------------------------------------------

void LwMatrixIdentity(LwMatrix m) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) m[i][j] = i == j ? 1.0 : 0.0;
}

void LwMatrixMultiply(LwMatrix a, const LwMatrix b) {
    double product[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            product[i][j] = b[i][0] * a[0][j] + b[i][1] * a[1][j] + b[i][2] * a[2][j] + b[i][3] * a[3][j];
    memcpy(a, product, sizeof(product));
}

void LwMatrixTransform(const LwMatrix m, const double in[3], double out[3]) {
    double result[3];
    for (int i = 0; i < 3; ++i) result[i] = in[0] * m[0][i] + in[1] * m[1][i] + in[2] * m[2][i] + m[3][i];
    for (int i = 0; i < 3; ++i) out[i] = result[i];
}

void LwMatrixRotate(LwMatrix m, double angle, char axis) {
    LwMatrix r;
    LwMatrixIdentity(r);
    double c = std::cos(angle), s = std::sin(angle);
    int u, v;  // the two axes the rotation turns into each other
    switch (axis) {
    case 'b':
    case 'z':
        u = 0, v = 1;
        break;
    case 'h':
    case 'y':
        u = 2, v = 0;
        break;
    case 'p':
    case 'x':
        u = 1, v = 2;
        break;
    default:
        return;
    }
    r[u][u] = r[v][v] = c;
    r[u][v] = s;
    r[v][u] = -s;
    LwMatrixMultiply(m, r);
}
