// Texture blocks of LWO2 surfaces: the BLOK sub-chunk with its header (IMAP, PROC, GRAD, SHDR), its
// texture map (TMAP) and its own parameters.
#include "lightwave/object/ChunkFields.h"

namespace {

constexpr LwId Id(const char (&s)[5]) { return LwMakeId(s[0], s[1], s[2], s[3]); }

const LwFieldRow kBlockRows[LW_BLOK_SLOTS] = {
    {Id("PROJ"), "u", "<%d>\n", 0, 0, 0},
    {Id("AXIS"), "u", "<%d>\n", 0, 0, 0},
    {Id("FLAG"), "u", "<%d>\n", 0, 0, 0},
    {Id("IMAG"), "x", "<%d>\n", 0, 0, 0},
    {Id("WRAP"), "uu", "<%d> <%d>\n", 0, 0, 0},
    {Id("WRPW"), "fx", "<%f> <%d>\n", 0, 0, 0},
    {Id("WRPH"), "fx", "<%f> <%d>\n", 0, 0, 0},
    {Id("VMAP"), "s", "<%s>\n", 256, 0, 0},
    {Id("AAST"), "uf", "<%d> <%f>\n", 0, 0, 0},
    {Id("PIXB"), "u", "<%d>\n", 0, 0, 0},
    {Id("STCK"), "uf", "", 0, 0, 0},
    {Id("TAMP"), "fx", "<%f> <%d>\n", 0, 0, 0},
    {Id("COLR"), "vx", "<%f,%f,%f> <%d>\n", 0, 0, 0},
    {Id("VALU"), "F", "%V\n", 0, 3, 0},
    {Id("FTPS"), "F", "<%n>\n%L", 0, 0, 0},
    {Id("ITPS"), "I", "<%n>\n%L", 0, 0, 0},
    {Id("ETPS"), "X", "<%n>\n%L", 0, 0, 0},
    {Id("GRST"), "f", "<%f>\n", 0, 0, 0},
    {Id("GREN"), "f", "<%f>\n", 0, 0, 0},
    {Id("FUNC"), "sr", "<%s>\n%L", 256, 0, 0},
};
const LwChunkTable kBlock = {kBlockRows, LW_BLOK_SLOTS};

const LwFieldRow kHeaderRows[LW_HEAD_SLOTS] = {
    {Id("CHAN"), "l", "<%I>\n", 0, 0, 0},
    {Id("NAME"), "s", "<%s>\n", 256, 0, 0},
    {Id("OPAC"), "ufx", "<%d> <%f> <%d>\n", 0, 0, 0},
    {Id("ENAB"), "u", "<%d>\n", 0, 0, 0},
    {Id("NEGA"), "u", "<%d>\n", 0, 0, 0},
    {Id("AXIS"), "u", "<%d>\n", 0, 0, 0},
};
const LwChunkTable kHeader = {kHeaderRows, LW_HEAD_SLOTS};

const LwFieldRow kMapRows[LW_TMAP_SLOTS] = {
    {Id("CNTR"), "vx", "<%f,%f,%f> <%d>\n", 0, 0, 0},       {Id("SIZE"), "vx", "<%f,%f,%f> <%d>\n", 0, 0, 0},
    {Id("ROTA"), "vx", "<%f,%f,%f> <%d>\n", 0, 0, 0},       {Id("OREF"), "s", "<%s>\n", 256, 0, 0},
    {Id("FALL"), "uvx", "<%d> <%f,%f,%f> <%d>\n", 0, 0, 0}, {Id("CSYS"), "u", "<%d>\n", 0, 0, 0},
};
const LwChunkTable kMap = {kMapRows, LW_TMAP_SLOTS};

const int kHeaderOrder[] = {LW_HEAD_CHAN, LW_HEAD_NAME, LW_HEAD_OPAC, LW_HEAD_ENAB, LW_HEAD_NEGA, LW_HEAD_AXIS};
const int kMapPackOrder[] = {LW_TMAP_CNTR, LW_TMAP_SIZE, LW_TMAP_ROTA, LW_TMAP_FALL, LW_TMAP_OREF, LW_TMAP_CSYS};
const int kMapDumpOrder[] = {LW_TMAP_CNTR, LW_TMAP_SIZE, LW_TMAP_ROTA, LW_TMAP_OREF, LW_TMAP_FALL, LW_TMAP_CSYS};
const int kBlockPackOrder[] = {LW_BLOK_PROJ, LW_BLOK_AXIS, LW_BLOK_FLAG, LW_BLOK_IMAG, LW_BLOK_WRAP,
                               LW_BLOK_WRPW, LW_BLOK_WRPH, LW_BLOK_VMAP, LW_BLOK_AAST, LW_BLOK_PIXB,
                               LW_BLOK_STCK, LW_BLOK_TAMP, LW_BLOK_COLR, LW_BLOK_VALU, LW_BLOK_FTPS,
                               LW_BLOK_ITPS, LW_BLOK_ETPS, LW_BLOK_GRST, LW_BLOK_GREN, LW_BLOK_FUNC};
const int kBlockDumpHead[] = {LW_BLOK_PROJ, LW_BLOK_AXIS, LW_BLOK_FLAG};
const int kBlockDumpTail[] = {LW_BLOK_IMAG, LW_BLOK_WRAP, LW_BLOK_WRPW, LW_BLOK_WRPH, LW_BLOK_VMAP, LW_BLOK_AAST,
                              LW_BLOK_PIXB, LW_BLOK_TAMP, LW_BLOK_COLR, LW_BLOK_VALU, LW_BLOK_FTPS, LW_BLOK_ITPS,
                              LW_BLOK_ETPS, LW_BLOK_GRST, LW_BLOK_GREN, LW_BLOK_FUNC};
template <typename T, size_t N>
constexpr int Count(const T (&)[N]) {
    return (int)N;
}

const LwLoopText kBlockText = {"??? UNKNOWN BLOK ChunkBuff (%s) %d bytes\n", true,
                               "??? (%s) INVALID BLOK ChunkBuff SIZE  %d bytes over\n", true, nullptr};
const LwLoopText kHeaderText = {"??? UNKNOWN HEAD ChunkBuff (%s) %d bytes\n", true,
                                "??? INVALIC HEAD ChunkBuff SIZE  %d bytes over\n", false, nullptr};
const LwLoopText kMapText = {"??? UNKNOWN TMAP ChunkBuff (%s) %d bytes\n", true,
                             "??? INVALIC TMAP ChunkBuff SIZE  %d bytes over\n", false, nullptr};

bool IsHeaderType(LwId id) { return id == Id("IMAP") || id == Id("PROC") || id == Id("GRAD") || id == Id("SHDR"); }

// Handler of the sub-chunks of one table.
auto SlotHandler(const LwChunkTable& table, LwSubChunkPtr* slots) {
    return [&table, slots](LwId id, const char*, uint16_t length, ChunkBuff* payload, LwTaken* taken) {
        int slot;
        if (!LwFindField(table, id, &slot)) return false;
        *taken = LwReadSlot(table, slot, length, payload, slots);
        return true;
    };
}

void ParseTextureHeader(LwObject* object, uint16_t length, ChunkBuff* cb, Lwo2TextureHeader* header) {
    char ordinal[258];
    ChunkReadS0(ordinal, sizeof(ordinal), cb);
    header->Ordinal = ordinal;
    header->Length = length;
    LwForEachSubChunk(object, cb, kHeaderText,
                      [&](LwId id, const char*, uint16_t n, ChunkBuff* payload, LwTaken* taken) {
                          if (id == Id("TYPE")) id = Id("CHAN");  // both name the channel
                          int slot;
                          if (!LwFindField(kHeader, id, &slot)) return false;
                          *taken = LwReadSlot(kHeader, slot, n, payload, header->Chunks);
                          return true;
                      });
}

void ParseTextureMap(LwObject* object, uint16_t length, ChunkBuff* cb, Lwo2TextureMap* map) {
    map->Length = length;
    LwForEachSubChunk(object, cb, kMapText, SlotHandler(kMap, map->Chunks));
}

}  // namespace

uint32_t ParseSurfaceBlock(LwObject* object, uint32_t length, ChunkBuff* cb, Lwo2Surface* surface) {
    if (surface->Blocks.size() >= LW_MAX_RECORDS) {
        LwLog(object, "??? TOO MANY BLOK, %u bytes skipped\n", ChunkRemaining(cb));
        return ChunkSkip(ChunkRemaining(cb), cb);
    }
    surface->Blocks.emplace_back();
    Lwo2SurfaceBlock* block = &surface->Blocks.back();
    block->Length = (uint16_t)length;
    const uint32_t start = cb->Count;
    auto slots = SlotHandler(kBlock, block->Chunks);
    LwForEachSubChunk(object, cb, kBlockText,
                      [&](LwId id, const char* text, uint16_t n, ChunkBuff* payload, LwTaken* taken) {
                          if (IsHeaderType(id)) {
                              block->Header.reset(new Lwo2TextureHeader());
                              ParseTextureHeader(object, n, payload, block->Header.get());
                              block->HeaderType = id;
                          } else if (id == Id("TMAP")) {
                              block->Map.reset(new Lwo2TextureMap());
                              ParseTextureMap(object, n, payload, block->Map.get());
                          } else {
                              return slots(id, text, n, payload, taken);
                          }
                          taken->Bytes = payload->Count;
                          return true;
                      });
    return cb->Count - start;
}

uint32_t GetTextureHeaderSize(Lwo2TextureHeader* header) {
    header->Length = 0;
    uint32_t size = LwS0Size(header->Ordinal.c_str()) + LwSlotsSize(kHeader, header->Chunks);
    header->Length = (uint16_t)size;
    return size;
}

uint32_t GetTextureMapSize(Lwo2TextureMap* map) {
    uint32_t size = LwSlotsSize(kMap, map->Chunks);
    map->Length = (uint16_t)size;
    return size;
}

namespace {

// A header or texture map whose length does not fit its 16-bit field is left out of the packed block.
bool HeaderFits(Lwo2SurfaceBlock* b) { return b->Header && GetTextureHeaderSize(b->Header.get()) <= 0xFFFF; }
bool MapFits(Lwo2SurfaceBlock* b) { return b->Map && GetTextureMapSize(b->Map.get()) <= 0xFFFF; }

}  // namespace

uint32_t GetSurfaceBlockSize(Lwo2SurfaceBlock* block) {
    uint32_t size = LwSlotsSize(kBlock, block->Chunks);
    if (HeaderFits(block)) size += 6 + block->Header->Length;
    if (MapFits(block)) size += 6 + block->Map->Length;
    block->Length = (uint16_t)size;
    return size;
}

void PackTextureHeader(LwId type, Lwo2TextureHeader* header, ChunkBuff* cb) {
    ChunkWriteID(type, cb);
    ChunkWriteU2(&header->Length, 1, cb);
    ChunkWriteS0(header->Ordinal.c_str(), cb);
    LwPackSlots(kHeader, header->Chunks, kHeaderOrder, Count(kHeaderOrder), cb);
}

void PackTextureMap(Lwo2TextureMap* map, ChunkBuff* cb) {
    ChunkWriteID(Id("TMAP"), cb);
    ChunkWriteU2(&map->Length, 1, cb);
    LwPackSlots(kMap, map->Chunks, kMapPackOrder, Count(kMapPackOrder), cb);
}

void PackSurfaceBlock(LwObject* object, Lwo2SurfaceBlock* block, ChunkBuff* cb) {
    (void)object;
    ChunkWriteID(Id("BLOK"), cb);
    ChunkWriteU2(&block->Length, 1, cb);
    if (HeaderFits(block)) PackTextureHeader(block->HeaderType, block->Header.get(), cb);
    if (MapFits(block)) PackTextureMap(block->Map.get(), cb);
    LwPackSlots(kBlock, block->Chunks, kBlockPackOrder, Count(kBlockPackOrder), cb);
}

void DumpTextureHeader(LwId type, const Lwo2TextureHeader* header, FILE* stream) {
    char id[5];
    LwPrint(stream, "\t[%s] (%d) <%s>\n", IdToText(type, id), header->Length, header->Ordinal.c_str());
    LwDumpSlots(stream, 2, kHeader, const_cast<LwSubChunkPtr*>(header->Chunks), kHeaderOrder, Count(kHeaderOrder));
}

void DumpTextureMap(const Lwo2TextureMap* map, FILE* stream) {
    LwPrint(stream, "\t[TMAP] (%d)\n", map->Length);
    LwDumpSlots(stream, 2, kMap, const_cast<LwSubChunkPtr*>(map->Chunks), kMapDumpOrder, Count(kMapDumpOrder));
}

void DumpSurfaceBlock(LwObject* object, const Lwo2SurfaceBlock* block, FILE* stream) {
    (void)object;
    LwSubChunkPtr* slots = const_cast<LwSubChunkPtr*>(block->Chunks);
    LwPrint(stream, "[BLOK] (%d)\n", block->Length);
    if (block->Header) DumpTextureHeader(block->HeaderType, block->Header.get(), stream);
    LwDumpSlots(stream, 1, kBlock, slots, kBlockDumpHead, Count(kBlockDumpHead));
    if (block->Map) DumpTextureMap(block->Map.get(), stream);
    LwDumpSlots(stream, 1, kBlock, slots, kBlockDumpTail, Count(kBlockDumpTail));
}

Lwo2SurfaceBlock* FindSurfaceImageBlock(LwObject* object, Lwo2Surface* surface, LwId channel, int32_t n) {
    (void)object;
    if (!surface || n < 0) return nullptr;
    for (Lwo2SurfaceBlock& block : surface->Blocks) {
        // A block without a header has no channel and is passed over.
        const LwSubChunk* chan = block.Header ? block.Header->Chunks[LW_HEAD_CHAN].get() : nullptr;
        if (chan && chan->Int[0] == channel && block.Chunks[LW_BLOK_IMAG] && n-- == 0) return &block;
    }
    return nullptr;
}
