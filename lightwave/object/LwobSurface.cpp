// LWOB surface bodies: flat sub-chunks where texture parameters follow their texture header, image
// sequence sub-chunks follow their image name and shader data follows its shader, all as siblings.
#include "lightwave/object/ChunkFields.h"

namespace {

constexpr LwId Id(const char (&s)[5]) { return LwMakeId(s[0], s[1], s[2], s[3]); }

#define LW_I2(name) \
    { Id(name), "i", "<%d>\n", 0, 0, 0 }
#define LW_F4(name) \
    { Id(name), "f", "<%f>\n", 0, 0, 0 }
#define LW_VEC(name) \
    { Id(name), "v", "<%f,%f,%f>\n", 0, 0, 0 }
const LwFieldRow kSurfaceRows[LWOB_SLOTS] = {
    {Id("COLR"), "bbbb", "<%d,%d,%d,%d>\n", 0, 0, 0},
    {Id("FLAG"), "u", "<%d>\n", 0, 0, 0},
    LW_I2("DIFF"),
    LW_I2("LUMI"),
    LW_I2("SPEC"),
    LW_I2("REFL"),
    LW_I2("TRAN"),
    LW_F4("VDIF"),
    LW_F4("VLUM"),
    LW_F4("VSPC"),
    LW_F4("VRFL"),
    LW_F4("VTRN"),
    LW_I2("GLOS"),
    {Id("RFLT"), "u", "<%d>\n", 0, 0, 0},
    LW_F4("RSAN"),
    LW_F4("RIND"),
    LW_F4("EDGE"),
    LW_F4("SMAN"),
    LW_F4("GLOW"),
    {Id("ALPH"), "uu", "<%d> <%d>\n", 0, 0, 0},
    {Id("SPBF"), "bbbb", "<%d> <%d> <%d> <%d> \n", 0, 0, 0},
};
const LwChunkTable kSurface = {kSurfaceRows, LWOB_SLOTS};

const LwFieldRow kTextureRows[LWOB_TEXTURE_SLOTS] = {
    {Id("TFLG"), "u", "<%d>\n", 0, 0, 0},
    {Id("TREF"), "s", "<%s>\n", 256, 0, 0},
    LW_VEC("TSIZ"),
    LW_VEC("TCTR"),
    LW_VEC("TFAL"),
    LW_VEC("TVEL"),
    {Id("TCLR"), "bbbb", "<%d,%d,%d,%d>\n", 0, 0, 0},
    LW_I2("TVAL"),
    LW_F4("TAMP"),
    LW_F4("TFP0"),
    LW_F4("TFP1"),
    LW_F4("TFP2"),
    LW_F4("TFP3"),
    LW_F4("TFP4"),
    LW_I2("TIP0"),
    LW_I2("TIP1"),
    LW_I2("TIP2"),
    LW_I2("TIP3"),
    LW_I2("TIP4"),
    LW_F4("TSP0"),
    LW_F4("TSP1"),
    LW_F4("TSP2"),
    LW_F4("TSP3"),
    LW_F4("TSP4"),
    {Id("TFRQ"), "u", "<%d>\n", 0, 0, 0},
    {Id("TWRP"), "uu", "<%d> <%d>\n", 0, 0, 0},
    LW_F4("TAAS"),
    LW_F4("TOPC"),
};
#undef LW_I2
#undef LW_F4
#undef LW_VEC
const LwChunkTable kTexture = {kTextureRows, LWOB_TEXTURE_SLOTS};

const LwFieldRow kImageRows[LWOB_IMAGE_SLOTS] = {
    {Id("IMSQ"), "uuu", "<%d> <%d> <%d>\n", 0, 0, 0},
    {Id("FLYR"), "ll", "<%d> <%d>\n", 0, 0, 0},
    {Id("IMCC"), "uuu", "<%d> <%d> <%d>\n", 0, 0, 0},
};
const LwChunkTable kImage = {kImageRows, LWOB_IMAGE_SLOTS};

const LwFieldRow kSdat = {Id("SDAT"), "r", "%l", 0, 0, 0};  // the bytes, with no line end after them

const LwId kTextureTypes[] = {Id("CTEX"), Id("DTEX"), Id("LTEX"), Id("STEX"), Id("RTEX"), Id("TTEX"), Id("BTEX")};

// Packing and dump orders as slot ranges around the image references.
const int kSurfaceOrder[LWOB_SLOTS] = {LWOB_COLR, LWOB_FLAG, LWOB_DIFF, LWOB_LUMI, LWOB_SPEC, LWOB_REFL, LWOB_TRAN,
                                       LWOB_VDIF, LWOB_VLUM, LWOB_VSPC, LWOB_VRFL, LWOB_VTRN, LWOB_GLOS, LWOB_RFLT,
                                       LWOB_RSAN, LWOB_RIND, LWOB_EDGE, LWOB_SMAN, LWOB_GLOW, LWOB_ALPH, LWOB_SPBF};
const int kTextureOrder[LWOB_TEXTURE_SLOTS] = {
    LWOB_TFLG, LWOB_TREF, LWOB_TSIZ, LWOB_TCTR, LWOB_TFAL, LWOB_TVEL, LWOB_TCLR, LWOB_TVAL, LWOB_TAMP, LWOB_TFP0,
    LWOB_TFP1, LWOB_TFP2, LWOB_TFP3, LWOB_TFP4, LWOB_TIP0, LWOB_TIP1, LWOB_TIP2, LWOB_TIP3, LWOB_TIP4, LWOB_TSP0,
    LWOB_TSP1, LWOB_TSP2, LWOB_TSP3, LWOB_TSP4, LWOB_TFRQ, LWOB_TWRP, LWOB_TAAS, LWOB_TOPC};
const int kImageOrder[LWOB_IMAGE_SLOTS] = {LWOB_IMSQ, LWOB_FLYR, LWOB_IMCC};

const LwLoopText kText = {"??? UNKNOWN ChunkBuff %d\n", false, "??? INVALIC ChunkBuff SIZE  %d bytes over\n", false,
                          "[%s] %d bytes\n"};

bool IsTextureType(LwId id) {
    for (LwId type : kTextureTypes)
        if (type == id) return true;
    return false;
}

std::string ReadName(ChunkBuff* cb) {
    char text[258];
    ChunkReadS0(text, sizeof(text), cb);
    return text;
}

uint32_t ImageSize(LwobImageRef* image) {
    if (!image) return 0;
    image->Length = (uint16_t)LwS0Size(image->Name.c_str());
    return 6 + image->Length + LwSlotsSize(kImage, image->Chunks);
}

void PackImage(LwId id, LwobImageRef* image, ChunkBuff* cb) {
    if (!image) return;
    ChunkWriteID(id, cb);
    ChunkWriteU2(&image->Length, 1, cb);
    ChunkWriteS0(image->Name.c_str(), cb);
    LwPackSlots(kImage, image->Chunks, kImageOrder, LWOB_IMAGE_SLOTS, cb);
}

void DumpImage(FILE* stream, int indent, const char* id, LwobImageRef* image) {
    if (!image) return;
    LwPrint(stream, "%s[%s] (%d) <%s>\n", indent ? "\t" : "", id, image->Length, image->Name.c_str());
    LwDumpSlots(stream, 2, kImage, image->Chunks, kImageOrder, LWOB_IMAGE_SLOTS);
}

}  // namespace

LwobTexture* AddLwobTexture(LwobSurface* surface) {
    if (surface->Textures.size() >= LW_MAX_RECORDS) return nullptr;
    surface->Textures.emplace_back();
    return &surface->Textures.back();
}

LwobShader* AddLwobShader(LwobSurface* surface) {
    if (surface->Shaders.size() >= LW_MAX_RECORDS) return nullptr;
    surface->Shaders.emplace_back();
    return &surface->Shaders.back();
}

LwobSurface* ParseLwobSurface(LwObject* object, uint32_t length, const void* body, LwobSurface* surface) {
    if (!surface) return nullptr;
    ClearLwobSurface(object, surface);
    ChunkBuff cb;
    OpenChunkBuff(&cb, body, length);
    // What the sibling sub-chunks attach to: positions, as the arrays may move.
    int texture = -1, shader = -1;
    LwobImageRef* image = nullptr;
    auto newImage = [&](std::unique_ptr<LwobImageRef>* slot, uint16_t n, ChunkBuff* payload) {
        slot->reset(new LwobImageRef());
        (*slot)->Length = n;
        (*slot)->Name = ReadName(payload);
        image = slot->get();
    };
    LwForEachSubChunk(object, &cb, kText, [&](LwId id, const char*, uint16_t n, ChunkBuff* payload, LwTaken* taken) {
        int slot;
        if (LwFindField(kSurface, id, &slot)) {
            *taken = LwReadSlot(kSurface, slot, n, payload, surface->Chunks);
            return true;
        }
        if (id == Id("RIMG")) {
            newImage(&surface->Rimg, n, payload);
        } else if (IsTextureType(id)) {
            LwobTexture* t = AddLwobTexture(surface);
            if (!t) return false;
            t->Type = id;
            t->Length = n;
            t->TypeName = ReadName(payload);
            texture = (int)surface->Textures.size() - 1;
        } else if (id == Id("SHDR")) {
            LwobShader* s = AddLwobShader(surface);
            if (!s) return false;
            s->Length = n;
            s->Name = ReadName(payload);
            shader = (int)surface->Shaders.size() - 1;
        } else if (LwFindField(kTexture, id, &slot) || id == Id("TIMG") || id == Id("TALP")) {
            if (texture < 0) return false;  // a parameter before any texture is passed over
            LwobTexture& t = surface->Textures[texture];
            if (id != Id("TIMG") && id != Id("TALP")) {
                *taken = LwReadSlot(kTexture, slot, n, payload, t.Chunks);
                return true;
            }
            newImage(id == Id("TIMG") ? &t.Timg : &t.Talp, n, payload);
        } else if (LwFindField(kImage, id, &slot)) {
            if (!image) return false;
            *taken = LwReadSlot(kImage, slot, n, payload, image->Chunks);
            return true;
        } else if (id == Id("SDAT")) {
            if (shader < 0) return false;
            LwSubChunkPtr& sdat = surface->Shaders[shader].Sdat;
            sdat.reset(new LwSubChunk());
            *taken = LwReadFields(kSdat, payload, sdat.get());
            sdat->Length = n;
            return true;
        } else {
            return false;
        }
        taken->Bytes = payload->Count;
        return true;
    });
    LwLog(object, "***  SURFACE SIZE (%d / %d)  ***\n", (int32_t)length, (int32_t)GetLwobSurfaceSize(object, surface));
    return surface;
}

std::unique_ptr<LwobSurface> ParseLwobSurface(LwObject* object, uint32_t length, const void* body) {
    std::unique_ptr<LwobSurface> surface(new LwobSurface());
    ParseLwobSurface(object, length, body, surface.get());
    return surface;
}

uint32_t GetLwobSurfaceSize(LwObject* object, LwobSurface* surface) {
    (void)object;
    uint32_t size = LwSlotsSize(kSurface, surface->Chunks) + ImageSize(surface->Rimg.get());
    for (LwobTexture& t : surface->Textures) {
        t.Length = (uint16_t)LwS0Size(t.TypeName.c_str());
        size += 6 + t.Length + LwSlotsSize(kTexture, t.Chunks) + ImageSize(t.Timg.get()) + ImageSize(t.Talp.get());
    }
    for (LwobShader& s : surface->Shaders) {
        s.Length = (uint16_t)LwS0Size(s.Name.c_str());
        size += 6 + s.Length;
        if (s.Sdat && s.Sdat->Data.size() <= 0xFFFF) {
            s.Sdat->Length = (uint16_t)s.Sdat->Data.size();
            size += 6 + s.Sdat->Length;
        }
    }
    return size;
}

uint32_t PackLwobSurface(LwObject* object, void* dest, LwobSurface* surface) {
    const uint32_t length = GetLwobSurfaceSize(object, surface);
    ChunkBuff cb;
    OpenChunkBuff(&cb, dest, length);
    LwPackSlots(kSurface, surface->Chunks, kSurfaceOrder, LWOB_SMAN + 1, &cb);
    PackImage(Id("RIMG"), surface->Rimg.get(), &cb);
    LwPackSlots(kSurface, surface->Chunks, kSurfaceOrder + LWOB_GLOW, LWOB_SLOTS - LWOB_GLOW, &cb);
    for (LwobTexture& t : surface->Textures) {
        ChunkWriteID(t.Type, &cb);
        ChunkWriteU2(&t.Length, 1, &cb);
        ChunkWriteS0(t.TypeName.c_str(), &cb);
        LwPackSlots(kTexture, t.Chunks, kTextureOrder, LWOB_TFRQ + 1, &cb);
        PackImage(Id("TIMG"), t.Timg.get(), &cb);
        PackImage(Id("TALP"), t.Talp.get(), &cb);
        LwPackSlots(kTexture, t.Chunks, kTextureOrder + LWOB_TWRP, LWOB_TEXTURE_SLOTS - LWOB_TWRP, &cb);
    }
    for (LwobShader& s : surface->Shaders) {
        ChunkWriteID(Id("SHDR"), &cb);
        ChunkWriteU2(&s.Length, 1, &cb);
        ChunkWriteS0(s.Name.c_str(), &cb);
        if (s.Sdat && s.Sdat->Data.size() <= 0xFFFF) LwWriteFields(kSdat, *s.Sdat, &cb);
    }
    if (cb.Count != length) LwLog(object, "??? ChunkBuff PACK ERROR %d / %d\n", (int32_t)cb.Count, (int32_t)length);
    return cb.Count;
}

void DumpLwobSurface(LwObject* object, LwobSurface* surface, FILE* stream) {
    (void)object;
    LwDumpSlots(stream, 0, kSurface, surface->Chunks, kSurfaceOrder, LWOB_RFLT + 1);
    DumpImage(stream, 0, "RIMG", surface->Rimg.get());
    LwDumpSlots(stream, 0, kSurface, surface->Chunks, kSurfaceOrder + LWOB_RSAN, LWOB_SLOTS - LWOB_RSAN);
    for (LwobTexture& t : surface->Textures) {
        char id[5];
        LwPrint(stream, "[%s] (%d) <%s>\n", IdToText(t.Type, id), t.Length, t.TypeName.c_str());
        LwDumpSlots(stream, 1, kTexture, t.Chunks, kTextureOrder, LWOB_TFRQ + 1);
        DumpImage(stream, 1, "TIMG", t.Timg.get());
        DumpImage(stream, 1, "TALP", t.Talp.get());
        LwDumpSlots(stream, 1, kTexture, t.Chunks, kTextureOrder + LWOB_TWRP, LWOB_TEXTURE_SLOTS - LWOB_TWRP);
    }
    for (LwobShader& s : surface->Shaders) {
        LwPrint(stream, "[SHDR] (%d) <%s>\n", s.Length, s.Name.c_str());
        if (s.Sdat) LwDumpFields(stream, 0, kSdat, *s.Sdat);
    }
}

void ClearLwobSurface(LwObject* object, LwobSurface* surface) {
    (void)object;
    *surface = LwobSurface();
}

LwobTexture* FindLwobTexture(LwObject* object, LwobSurface* surface, LwId type, int32_t n) {
    (void)object;
    if (!surface || n < 0) return nullptr;
    for (LwobTexture& t : surface->Textures)
        if (t.Type == type && t.Timg && n-- == 0) return &t;
    return nullptr;
}
