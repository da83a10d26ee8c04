// LWO2 surface bodies: the sub-chunks after the surface and source names, parsed into one record
// per known ID and the texture blocks.
#include "lightwave/object/ChunkFields.h"

namespace {

constexpr LwId Id(const char (&s)[5]) { return LwMakeId(s[0], s[1], s[2], s[3]); }

#define LW_VALUE_ENVELOPE(name) \
    { Id(name), "fx", "<%f> <%d>\n", 0, 0, 0 }
const LwFieldRow kSurfaceRows[LW_SURF_SLOTS] = {
    {Id("COLR"), "vx", "<%f,%f,%f> <%d>\n", 0, 0, 0},
    LW_VALUE_ENVELOPE("DIFF"),
    LW_VALUE_ENVELOPE("LUMI"),
    LW_VALUE_ENVELOPE("SPEC"),
    LW_VALUE_ENVELOPE("REFL"),
    LW_VALUE_ENVELOPE("TRAN"),
    LW_VALUE_ENVELOPE("TRNL"),
    LW_VALUE_ENVELOPE("SHRP"),
    LW_VALUE_ENVELOPE("GLOS"),
    LW_VALUE_ENVELOPE("BUMP"),
    {Id("SMAN"), "f", "<%f>\n", 0, 0, 0},
    {Id("RFOP"), "u", "<%d>\n", 0, 0, LW_FIELDS_QUIET_REST},
    {Id("SIDE"), "u", "<%d>\n", 0, 0, LW_FIELDS_QUIET_REST},
    {Id("RIMG"), "x", "<%d>\n", 0, 0, 0},
    LW_VALUE_ENVELOPE("RSAN"),
    LW_VALUE_ENVELOPE("RIND"),
    LW_VALUE_ENVELOPE("CLRH"),
    {Id("TROP"), "u", "<%d>\n", 0, 0, LW_FIELDS_QUIET_REST},
    {Id("TIMG"), "x", "<%d>\n", 0, 0, 0},
    LW_VALUE_ENVELOPE("TSAN"),
    LW_VALUE_ENVELOPE("CLRF"),
    LW_VALUE_ENVELOPE("ADTR"),
    {Id("AVAL"), "f", "<%f>\n", 0, 0, 0},
    LW_VALUE_ENVELOPE("GVAL"),
    {Id("GLOW"), "ufxfx", "<%d> <%f> <%d> <%f> <%d>\n", 0, 0, 0},
    {Id("LINE"), "ufxvx", "<%d> <%f> <%d> <%f,%f,%f> <%d>\n", 0, 0, LW_FIELDS_OPTIONAL_TAIL},
    {Id("LCOL"), "vx", "<%f,%f,%f> <%d>\n", 0, 0, 0},
    LW_VALUE_ENVELOPE("LSIZ"),
    {Id("ALPH"), "uf", "<%d> <%f>\n", 0, 0, 0},
    {Id("CMNT"), "c", "<%s>\n", 256, 0, 0},
    {Id("VCOL"), "fxls", "<%f> <%d> <%I> <%s>\n", 256, 0, 0},
    LW_VALUE_ENVELOPE("RBLR"),
    LW_VALUE_ENVELOPE("TBLR"),
};
#undef LW_VALUE_ENVELOPE
const LwChunkTable kSurface = {kSurfaceRows, LW_SURF_SLOTS};

const int kPackHead[] = {LW_SURF_COLR, LW_SURF_LUMI, LW_SURF_DIFF, LW_SURF_SPEC, LW_SURF_REFL, LW_SURF_TRAN,
                         LW_SURF_TRNL, LW_SURF_SHRP, LW_SURF_GLOS, LW_SURF_BUMP, LW_SURF_SMAN, LW_SURF_RFOP,
                         LW_SURF_SIDE, LW_SURF_RIMG, LW_SURF_RSAN, LW_SURF_RIND, LW_SURF_CLRH, LW_SURF_TROP,
                         LW_SURF_TIMG, LW_SURF_TSAN, LW_SURF_CLRF, LW_SURF_ADTR, LW_SURF_GLOW, LW_SURF_AVAL,
                         LW_SURF_GVAL, LW_SURF_LINE, LW_SURF_LCOL, LW_SURF_LSIZ, LW_SURF_ALPH};
const int kDumpHead[] = {LW_SURF_COLR, LW_SURF_DIFF, LW_SURF_LUMI, LW_SURF_SPEC, LW_SURF_REFL, LW_SURF_TRAN,
                         LW_SURF_TRNL, LW_SURF_GLOS, LW_SURF_SHRP, LW_SURF_BUMP, LW_SURF_SIDE, LW_SURF_SMAN,
                         LW_SURF_RFOP, LW_SURF_RIMG, LW_SURF_RSAN, LW_SURF_TROP, LW_SURF_TIMG, LW_SURF_TSAN,
                         LW_SURF_RIND, LW_SURF_CLRH, LW_SURF_CLRF, LW_SURF_ADTR, LW_SURF_GLOW, LW_SURF_LINE,
                         LW_SURF_LCOL, LW_SURF_LSIZ, LW_SURF_AVAL, LW_SURF_GVAL, LW_SURF_ALPH};
const int kTail[] = {LW_SURF_CMNT, LW_SURF_VCOL, LW_SURF_RBLR, LW_SURF_TBLR};
template <typename T, size_t N>
constexpr int Count(const T (&)[N]) {
    return (int)N;
}

const LwLoopText kSurfaceText = {"??? UNKNOWN ChunkBuff %d\n", false,
                                 "??? (%s) INVALID SURF ChunkBuff SIZE  %d bytes over\n", true, nullptr};

// Blocks whose lengths do not fit their 16-bit fields are left out of the packed body.
bool BlockFits(Lwo2SurfaceBlock* block) { return GetSurfaceBlockSize(block) <= 0xFFFF; }

}  // namespace

Lwo2Surface* ParseLwo2Surface(LwObject* object, uint32_t length, const void* body, Lwo2Surface* surface) {
    if (!surface) return nullptr;
    ClearLwo2Surface(object, surface);
    ChunkBuff cb;
    OpenChunkBuff(&cb, body, length);
    LwForEachSubChunk(object, &cb, kSurfaceText,
                      [&](LwId id, const char*, uint16_t n, ChunkBuff* payload, LwTaken* taken) {
                          if (id == Id("BLOK")) {
                              taken->Bytes = ParseSurfaceBlock(object, n, payload, surface);
                              return true;
                          }
                          int slot;
                          if (!LwFindField(kSurface, id, &slot)) return false;
                          *taken = LwReadSlot(kSurface, slot, n, payload, surface->Chunks);
                          return true;
                      });
    LwLog(object, "***  SURFACE SIZE (%d / %d)  ***\n", (int32_t)length, (int32_t)GetLwo2SurfaceSize(object, surface));
    return surface;
}

std::unique_ptr<Lwo2Surface> ParseLwo2Surface(LwObject* object, uint32_t length, const void* body) {
    std::unique_ptr<Lwo2Surface> surface(new Lwo2Surface());
    ParseLwo2Surface(object, length, body, surface.get());
    return surface;
}

uint32_t GetLwo2SurfaceSize(LwObject* object, Lwo2Surface* surface) {
    (void)object;
    uint32_t size = LwSlotsSize(kSurface, surface->Chunks);
    for (Lwo2SurfaceBlock& block : surface->Blocks)
        if (BlockFits(&block)) size += 6 + block.Length;
    return size;
}

uint32_t PackLwo2Surface(LwObject* object, void* dest, Lwo2Surface* surface) {
    const uint32_t length = GetLwo2SurfaceSize(object, surface);
    ChunkBuff cb;
    OpenChunkBuff(&cb, dest, length);
    LwPackSlots(kSurface, surface->Chunks, kPackHead, Count(kPackHead), &cb);
    for (Lwo2SurfaceBlock& block : surface->Blocks)
        if (BlockFits(&block)) PackSurfaceBlock(object, &block, &cb);
    LwPackSlots(kSurface, surface->Chunks, kTail, Count(kTail), &cb);
    if (cb.Count != length) LwLog(object, "??? ChunkBuff PACK ERROR %d / %d\n", (int32_t)length, (int32_t)cb.Count);
    return length;
}

void DumpLwo2Surface(LwObject* object, Lwo2Surface* surface, FILE* stream) {
    LwDumpSlots(stream, 0, kSurface, surface->Chunks, kDumpHead, Count(kDumpHead));
    for (const Lwo2SurfaceBlock& block : surface->Blocks) DumpSurfaceBlock(object, &block, stream);
    LwDumpSlots(stream, 0, kSurface, surface->Chunks, kTail, Count(kTail));
}

void ClearLwo2Surface(LwObject* object, Lwo2Surface* surface) {
    (void)object;
    *surface = Lwo2Surface();
}
