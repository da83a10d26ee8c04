// Surface bodies carried between the LWOB and LWO2 forms: each body is parsed in the object's own
// form, rebuilt field by field in the other form and packed. The mapping is lossy both ways; values
// the target form cannot hold are clamped to its range instead of wrapping.
#include "lightwave/object/ChunkFields.h"
#include "lightwave/object/ObjectInternal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr LwId Id(const char (&s)[5]) { return LwMakeId(s[0], s[1], s[2], s[3]); }

const char* const kImageMapNames[] = {"Planar Image Map", "Cylindrical Image Map", "Spherical Image Map",
                                      "Cubic Image Map", "Front Projection Image Map"};

const struct {
    LwId Channel, Texture;
} kChannels[] = {{Id("COLR"), Id("CTEX")}, {Id("DIFF"), Id("DTEX")}, {Id("LUMI"), Id("LTEX")}, {Id("SPEC"), Id("STEX")},
                 {Id("REFL"), Id("RTEX")}, {Id("TRAN"), Id("TTEX")}, {Id("BUMP"), Id("BTEX")}};

const struct {
    const char* Lwob;
    const char* Lwo2;
} kToLwo2[] = {{"Bump Array", "Bump Array"},
               {"Fractal Bumps", "Fractal Noise"},
               {"Crumple", "Crumple"},
               {"Ripples", "Ripples"},
               {"Checkerboard", "Checkerboard"},
               {"Crust", "Crust"},
               {"Dots", "Dots"},
               {"Fractal Noise", "Fractal Noise"},
               {"Grid", "Grid"},
               {"Marble", "Marble"},
               {"Veins", "Veins"},
               {"Underwater", "Underwater"},
               {"Wood", "Wood"}};

// By LWO2 name: the LWOB name on the BUMP channel and on any other ("" = not carried).
const struct {
    const char* Lwo2;
    const char* Bump;
    const char* Other;
} kToLwob[] = {{"Bump Array", "", "Bump Array"},
               {"Crumple", "Crumple", ""},
               {"Ripples", "Ripples", ""},
               {"Fractal Noise", "Fractal Bumps", "Fractal Noise"},
               {"Checkerboard", "", "Checkerboard"},
               {"Crust", "", "Crust"},
               {"Dots", "", "Dots"},
               {"Grid", "", "Grid"},
               {"Marble", "", "Marble"},
               {"Veins", "", "Veins"},
               {"Underwater", "", "Underwater"},
               {"Wood", "", "Wood"}};

// Procedural parameters in FUNC data order: 'i' TIP0, '0'-'3' TFP0-3; then the constants.
const struct {
    const char* Name;
    const char* Values;
    int ConstantSlot;  // set to 0.5 on the LWOB side, -1 for none
} kParameters[] = {{"Fractal Noise", "i01", -1},
                   {"Grid", "0", -1},
                   {"Dots", "01", -1},
                   {"Bump Array", "01", LWOB_TFP2},
                   {"Fractal Bumps", "01", LWOB_TFP2},
                   {"Crust", "012", LWOB_TFP3},
                   {"Veins", "012", LWOB_TFP3},
                   {"Marble", "i012", -1},
                   {"Underwater", "i012", -1},
                   {"Wood", "i012", -1}};

const uint32_t kWrapToLwo2[4] = {0, 3, 1, 2};
const uint32_t kWrapToLwob[4] = {0, 2, 3, 1};

constexpr float kByteToFloat = 0.003921569f;
// A level read from an 8- or 16-bit field, exact in a float, scaled by 1/255.
float ByteLevel(uint32_t level) { return static_cast<float>(level) * kByteToFloat; }
constexpr float kDefaultGrey = 0.78f;

LwSubChunk* NewChunk(LwSubChunkPtr* slot, LwId id) {
    slot->reset(new LwSubChunk());
    (*slot)->Id = id;
    return slot->get();
}

LwSubChunk* NewValue(LwSubChunkPtr* slot, LwId id, float value) {
    LwSubChunk* c = NewChunk(slot, id);
    c->Float[0] = value;
    return c;
}

// value x scale + 0.5 truncated, clamped to [lo, hi]: the target fields are bytes or 16-bit words.
uint32_t Scaled(float value, float scale, int32_t lo, int32_t hi) {
    double v = (double)value * scale + 0.5;
    if (!(v >= lo)) return (uint32_t)lo;  // also NaN
    if (v >= hi) return (uint32_t)hi;
    return (uint32_t)(int32_t)v;
}

void AppendU4(std::vector<uint8_t>* data, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) data->push_back((uint8_t)(v >> shift));
}

uint32_t ReadU4(const std::vector<uint8_t>& data, size_t at) {
    return ((uint32_t)data[at] << 24) | ((uint32_t)data[at + 1] << 16) | ((uint32_t)data[at + 2] << 8) | data[at + 3];
}

LwSurfaceEntry* CopyEntry(const LwSurfaceEntry* entry) {
    LwSurfaceEntry* copy = (LwSurfaceEntry*)calloc(1, sizeof(LwSurfaceEntry));
    if (!copy) return nullptr;
    copy->Flags = entry->Flags;
    copy->Id = entry->Id;
    memcpy(copy->Name, entry->Name, sizeof(copy->Name));
    memcpy(copy->SourceName, entry->SourceName, sizeof(copy->SourceName));
    return copy;
}

// Packs a record into a new body of the copy; false when memory runs out.
template <typename Record, typename Pack>
bool PackInto(LwObject* object, Record* record, uint32_t length, Pack pack, LwSurfaceEntry* copy) {
    if (length == 0) return true;
    if (length > (uint32_t)INT32_MAX) return false;
    copy->Data = (uint8_t*)malloc(length);
    if (!copy->Data) return false;
    copy->DataSize = (int32_t)pack(object, copy->Data, record);
    return true;
}

}  // namespace

// ---- tables -------------------------------------------------------------------------------------

int32_t ProceduralNameToLwo2(const char* name, char out[LW_CLIP_NAME_SIZE]) {
    for (const auto& row : kToLwo2)
        if (strcmp(row.Lwob, name) == 0) return LwCopyText(out, row.Lwo2, LW_CLIP_NAME_SIZE), 1;
    LwCopyText(out, name, LW_CLIP_NAME_SIZE);
    return 0;
}

int32_t ProceduralNameToLwob(const char* name, LwId channel, char out[LW_CLIP_NAME_SIZE]) {
    for (const auto& row : kToLwob) {
        if (strcmp(row.Lwo2, name) != 0) continue;
        LwCopyText(out, channel == Id("BUMP") ? row.Bump : row.Other, LW_CLIP_NAME_SIZE);
        return 1;
    }
    LwCopyText(out, name, LW_CLIP_NAME_SIZE);
    return 0;
}

LwId ChannelToTextureId(LwId channel) {
    for (const auto& row : kChannels)
        if (row.Channel == channel) return row.Texture;
    return 0;
}

LwId TextureIdToChannel(LwId texture) {
    for (const auto& row : kChannels)
        if (row.Texture == texture) return row.Channel;
    return 0;
}

const char* ProjectionToImageMapName(uint32_t projection) {
    return projection < 5 ? kImageMapNames[projection] : nullptr;
}

uint32_t ImageMapNameToProjection(const char* name) {
    for (uint32_t p = 0; p < 5; ++p)
        if (strcmp(kImageMapNames[p], name) == 0) return p;
    return 0;
}

LwId ImageMapBlockType(const char* name) {
    for (const char* mapName : kImageMapNames)
        if (strcmp(mapName, name) == 0) return Id("IMAP");
    return Id("PROC");
}

Lwo2SurfaceBlock* AddSurfaceBlock(Lwo2Surface* surface) {
    if (surface->Blocks.size() >= LW_MAX_RECORDS) return nullptr;
    surface->Blocks.emplace_back();
    Lwo2SurfaceBlock* block = &surface->Blocks.back();
    block->Length = 0;
    block->HeaderType = 0;
    block->Header.reset(new Lwo2TextureHeader());
    block->Header->Length = 0;
    block->Header->Ordinal = "\x80";
    NewChunk(&block->Header->Chunks[LW_HEAD_ENAB], Id("ENAB"))->Int[0] = 1;
    return block;
}

Lwo2TextureMap* AddBlockTextureMap(Lwo2SurfaceBlock* block) {
    if (block->Map) return block->Map.get();
    block->Map.reset(new Lwo2TextureMap());
    block->Map->Length = 0;
    LwSubChunkPtr* c = block->Map->Chunks;
    NewChunk(&c[LW_TMAP_CNTR], Id("CNTR"));
    LwSubChunk* size = NewChunk(&c[LW_TMAP_SIZE], Id("SIZE"));
    size->Float[0] = size->Float[1] = size->Float[2] = 1.0f;
    NewChunk(&c[LW_TMAP_ROTA], Id("ROTA"));
    NewChunk(&c[LW_TMAP_OREF], Id("OREF"));
    NewChunk(&c[LW_TMAP_FALL], Id("FALL"));
    NewChunk(&c[LW_TMAP_CSYS], Id("CSYS"));
    return block->Map.get();
}

// ---- LWOB to LWO2 -------------------------------------------------------------------------------

void LwobTextureToBlock(LwObject* object, const LwobTexture* texture, Lwo2Surface* to) {
    const LwId channel = TextureIdToChannel(texture->Type);
    const LwId blockType = ImageMapBlockType(texture->TypeName.c_str());
    const struct {
        int Slot;
        LwId Id;
        float Value;
    } implied[] = {{LW_SURF_LUMI, Id("LUMI"), 0.0f},
                   {LW_SURF_SPEC, Id("SPEC"), 0.0f},
                   {LW_SURF_REFL, Id("REFL"), 0.0f},
                   {LW_SURF_TRAN, Id("TRAN"), 0.0f},
                   {LW_SURF_BUMP, Id("BUMP"), 1.0f}};
    for (const auto& v : implied)
        if (v.Id == channel && !to->Chunks[v.Slot]) NewValue(&to->Chunks[v.Slot], v.Id, v.Value);

    Lwo2SurfaceBlock* block = AddSurfaceBlock(to);
    if (!block) return;
    block->HeaderType = blockType;
    NewChunk(&block->Header->Chunks[LW_HEAD_CHAN], Id("CHAN"))->Int[0] = channel;
    const LwSubChunkPtr* t = texture->Chunks;
    LwSubChunkPtr* b = block->Chunks;
    if (blockType == Id("IMAP")) {
        NewChunk(&b[LW_BLOK_PROJ], Id("PROJ"))->Int[0] = ImageMapNameToProjection(texture->TypeName.c_str());
        NewValue(&b[LW_BLOK_WRPW], Id("WRPW"), t[LWOB_TFP0] ? t[LWOB_TFP0]->Float[0] : 1.0f);
        NewValue(&b[LW_BLOK_WRPH], Id("WRPH"), t[LWOB_TFP1] ? t[LWOB_TFP1]->Float[0] : 1.0f);
    } else {
        LwSubChunk* func = NewChunk(&b[LW_BLOK_FUNC], Id("FUNC"));
        char name[LW_CLIP_NAME_SIZE];
        ProceduralNameToLwo2(texture->TypeName.c_str(), name);
        func->Text[0] = name;
        if (t[LWOB_TIP0]) AppendU4(&func->Data, (uint32_t)(int32_t)(int16_t)t[LWOB_TIP0]->Int[0]);
        for (int slot : {LWOB_TFP0, LWOB_TFP1, LWOB_TFP2, LWOB_TFP3}) {
            if (!t[slot]) continue;
            uint32_t bits;
            memcpy(&bits, &t[slot]->Float[0], 4);
            AppendU4(&func->Data, bits);
        }
        if (t[LWOB_TVAL]) {
            NewChunk(&b[LW_BLOK_VALU], Id("VALU"))->Floats = {(float)(int32_t)t[LWOB_TVAL]->Int[0] * kByteToFloat};
        } else if (t[LWOB_TCLR]) {
            const LwSubChunk* c = t[LWOB_TCLR].get();
            NewChunk(&b[LW_BLOK_VALU], Id("VALU"))->Floats = {ByteLevel(c->Int[0]), ByteLevel(c->Int[1]),
                                                              ByteLevel(c->Int[2])};
        }
    }
    if (const LwSubChunk* flags = t[LWOB_TFLG].get()) {
        const uint32_t f = flags->Int[0];
        if (f & 0x07) NewChunk(&b[LW_BLOK_AXIS], Id("AXIS"))->Int[0] = (f & 1) ? 0 : (f & 2) ? 1 : 2;
        if (f & 0x08) AddBlockTextureMap(block)->Chunks[LW_TMAP_CSYS]->Int[0] = 1;
    }
    NewChunk(&b[LW_BLOK_PIXB], Id("PIXB"))->Int[0] = 1;
    if (t[LWOB_TREF]) AddBlockTextureMap(block)->Chunks[LW_TMAP_OREF]->Text[0] = t[LWOB_TREF]->Text[0];
    const struct {
        int From, To;
    } vectors[] = {{LWOB_TSIZ, LW_TMAP_SIZE}, {LWOB_TCTR, LW_TMAP_CNTR}, {LWOB_TFAL, LW_TMAP_FALL}};
    for (const auto& v : vectors) {
        if (!t[v.From]) continue;
        LwSubChunk* to3 = AddBlockTextureMap(block)->Chunks[v.To].get();
        for (int i = 0; i < 3; ++i) to3->Float[i] = t[v.From]->Float[i];
    }
    if (texture->Timg)
        NewChunk(&b[LW_BLOK_IMAG], Id("IMAG"))->Int[0] =
            (uint32_t)FindClipByDisplayName(object, texture->Timg->Name.c_str());
    if (const LwSubChunk* wrap = t[LWOB_TWRP].get()) {
        LwSubChunk* w = NewChunk(&b[LW_BLOK_WRAP], Id("WRAP"));
        for (int i = 0; i < 2; ++i) w->Int[i] = wrap->Int[i] < 4 ? kWrapToLwo2[wrap->Int[i]] : 0;
    }
    LwSubChunk* aast = NewChunk(&b[LW_BLOK_AAST], Id("AAST"));
    aast->Int[0] = 1;
    aast->Float[0] = t[LWOB_TAAS] ? t[LWOB_TAAS]->Float[0] : 1.0f;
    NewValue(&block->Header->Chunks[LW_HEAD_OPAC], Id("OPAC"), t[LWOB_TOPC] ? t[LWOB_TOPC]->Float[0] : 1.0f);
    NewChunk(&b[LW_BLOK_STCK], Id("STCK"));
}

uint32_t LwobSurfaceToLwo2(LwObject* object, const LwobSurface* from, Lwo2Surface* to) {
    ClearLwo2Surface(object, to);
    const LwSubChunkPtr* s = from->Chunks;
    LwSubChunkPtr* d = to->Chunks;
    LwSubChunk* colr = NewChunk(&d[LW_SURF_COLR], Id("COLR"));
    for (int i = 0; i < 3; ++i) colr->Float[i] = s[LWOB_COLR] ? ByteLevel(s[LWOB_COLR]->Int[i]) : kDefaultGrey;
    if (const LwSubChunk* flag = s[LWOB_FLAG].get()) {
        const uint32_t f = flag->Int[0];
        if (f & 0x80) NewValue(&d[LW_SURF_SHRP], Id("SHRP"), 0.5f);
        NewChunk(&d[LW_SURF_SIDE], Id("SIDE"))->Int[0] = (f & 0x100) ? 3 : 1;
        if (f & 0x08) NewValue(&d[LW_SURF_CLRH], Id("CLRH"), 0.5f);
        if (f & 0x10) NewValue(&d[LW_SURF_CLRF], Id("CLRF"), 0.5f);
        if (f & 0x200) NewValue(&d[LW_SURF_ADTR], Id("ADTR"), 0.5f);
        if (f & 0x02) {
            LwSubChunk* line = NewChunk(&d[LW_SURF_LINE], Id("LINE"));
            line->Int[0] = 1;
            line->Float[0] = 1.0f;
            line->Float[1] = line->Float[2] = line->Float[3] = kDefaultGrey;
        }
    }
    // The float form wins over the 1/256 integer form.
    const struct {
        int Float, Int, To;
        LwId Id;
    } values[] = {{LWOB_VDIF, LWOB_DIFF, LW_SURF_DIFF, Id("DIFF")},
                  {LWOB_VLUM, LWOB_LUMI, LW_SURF_LUMI, Id("LUMI")},
                  {LWOB_VRFL, LWOB_REFL, LW_SURF_REFL, Id("REFL")},
                  {LWOB_VTRN, LWOB_TRAN, LW_SURF_TRAN, Id("TRAN")},
                  {LWOB_VSPC, LWOB_SPEC, LW_SURF_SPEC, Id("SPEC")}};
    for (const auto& v : values) {
        if (s[v.Float])
            NewValue(&d[v.To], v.Id, s[v.Float]->Float[0]);
        else if (s[v.Int])
            NewValue(&d[v.To], v.Id, (float)(int32_t)s[v.Int]->Int[0] * 0.00390625f);
    }
    if (!d[LW_SURF_DIFF]) NewValue(&d[LW_SURF_DIFF], Id("DIFF"), 1.0f);
    if (const LwSubChunk* glos = s[LWOB_GLOS].get()) {
        if (!d[LW_SURF_SPEC]) NewValue(&d[LW_SURF_SPEC], Id("SPEC"), 0.0f);
        // Position of the highest set bit; negative words and powers below 4 give no glossiness.
        const int32_t word = (int32_t)glos->Int[0];
        int k = 0;
        for (int bit = 15; bit > 0 && word > 0; --bit)
            if (word & (1 << bit)) {
                k = bit;
                break;
            }
        NewValue(&d[LW_SURF_GLOS], Id("GLOS"), k > 2 ? (float)(k - 2) * 0.1f : 0.0f);
    }
    if (s[LWOB_RFLT]) NewChunk(&d[LW_SURF_RFOP], Id("RFOP"))->Int[0] = s[LWOB_RFLT]->Int[0];
    if (from->Rimg)
        NewChunk(&d[LW_SURF_RIMG], Id("RIMG"))->Int[0] = (uint32_t)AddStillClip(object, from->Rimg->Name.c_str());
    if (s[LWOB_RSAN]) NewValue(&d[LW_SURF_RSAN], Id("RSAN"), s[LWOB_RSAN]->Float[0]);
    if (s[LWOB_RIND]) NewValue(&d[LW_SURF_RIND], Id("RIND"), s[LWOB_RIND]->Float[0]);
    if (s[LWOB_SMAN]) NewValue(&d[LW_SURF_SMAN], Id("SMAN"), s[LWOB_SMAN]->Float[0]);
    if (s[LWOB_GLOW]) NewValue(&d[LW_SURF_GVAL], Id("GVAL"), s[LWOB_GLOW]->Float[0]);
    if (const LwSubChunk* alph = s[LWOB_ALPH].get()) {
        LwSubChunk* a = NewChunk(&d[LW_SURF_ALPH], Id("ALPH"));
        a->Int[0] = alph->Int[0];
        a->Float[0] = ByteLevel(alph->Int[1]);
    }
    for (const LwobTexture& texture : from->Textures) LwobTextureToBlock(object, &texture, to);
    for (const LwobShader& shader : from->Shaders) {
        Lwo2SurfaceBlock* block = AddSurfaceBlock(to);
        if (!block) break;
        block->HeaderType = Id("SHDR");
        LwSubChunk* func = NewChunk(&block->Chunks[LW_BLOK_FUNC], Id("FUNC"));
        func->Text[0] = shader.Name;
        if (shader.Sdat) func->Data = shader.Sdat->Data;
    }
    return GetLwo2SurfaceSize(object, to);
}

// ---- LWO2 to LWOB -------------------------------------------------------------------------------

namespace {

void SetImage(LwObject* object, std::unique_ptr<LwobImageRef>* image, uint32_t clipId) {
    char name[LW_CLIP_NAME_SIZE];
    if (!GetClipDisplayName(object, (int32_t)clipId, name)) return;
    image->reset(new LwobImageRef());
    (*image)->Length = 0;
    (*image)->Name = name;
}

// The FUNC data of a procedural block read back into the LWOB parameters of its type.
void ReadParameters(const LwSubChunk* func, LwobTexture* texture) {
    for (const auto& row : kParameters) {
        if (texture->TypeName != row.Name) continue;
        size_t at = 0;
        for (const char* v = row.Values; *v && at + 4 <= func->Data.size(); ++v, at += 4) {
            const uint32_t word = ReadU4(func->Data, at);
            if (*v == 'i') {
                NewChunk(&texture->Chunks[LWOB_TIP0], Id("TIP0"))->Int[0] = (uint32_t)(int32_t)(int16_t)word;
            } else {
                const int slot = LWOB_TFP0 + (*v - '0');
                float value;
                memcpy(&value, &word, 4);
                NewValue(&texture->Chunks[slot], LwMakeId('T', 'F', 'P', *v), value);
            }
        }
        if (row.ConstantSlot >= 0)
            NewValue(&texture->Chunks[row.ConstantSlot], row.ConstantSlot == LWOB_TFP2 ? Id("TFP2") : Id("TFP3"), 0.5f);
        return;
    }
}

}  // namespace

void CopyMaterialImageRefs(const Lwo2TextureMap* source, LwSubChunkPtr* destination) {
    const struct {
        int From, To;
        LwId Id;
    } vectors[] = {{LW_TMAP_CNTR, LWOB_TCTR, Id("TCTR")},
                   {LW_TMAP_SIZE, LWOB_TSIZ, Id("TSIZ")},
                   {LW_TMAP_FALL, LWOB_TFAL, Id("TFAL")}};
    for (const auto& v : vectors) {
        if (!source->Chunks[v.From]) continue;
        LwSubChunk* c = NewChunk(&destination[v.To], v.Id);
        for (int i = 0; i < 3; ++i) c->Float[i] = source->Chunks[v.From]->Float[i];
    }
    if (source->Chunks[LW_TMAP_OREF] && !source->Chunks[LW_TMAP_OREF]->Text[0].empty())
        NewChunk(&destination[LWOB_TREF], Id("TREF"))->Text[0] = source->Chunks[LW_TMAP_OREF]->Text[0];
}

void BlockToLwobTexture(LwObject* object, const Lwo2SurfaceBlock* block, LwobSurface* to) {
    const LwSubChunkPtr* b = block->Chunks;
    const LwSubChunk* chan = block->Header ? block->Header->Chunks[LW_HEAD_CHAN].get() : nullptr;
    const LwSubChunk* func = b[LW_BLOK_FUNC].get();
    if (block->HeaderType == Id("SHDR")) {
        LwobShader* shader = AddLwobShader(to);
        if (!shader) return;
        shader->Length = 0;
        if (func) shader->Name = func->Text[0];
        if (func && !func->Data.empty()) NewChunk(&shader->Sdat, Id("SDAT"))->Data = func->Data;
        return;
    }
    // Only image maps and listed procedurals on a known channel have an LWOB texture to become.
    char typeName[LW_CLIP_NAME_SIZE] = "";
    if (!chan || !ChannelToTextureId(chan->Int[0])) return;
    if (block->HeaderType == Id("PROC")) {
        if (!func || !ProceduralNameToLwob(func->Text[0].c_str(), chan->Int[0], typeName) || !typeName[0]) return;
    } else if (block->HeaderType == Id("IMAP")) {
        // Without PROJ the map is taken as planar.
        const char* name = ProjectionToImageMapName(b[LW_BLOK_PROJ] ? b[LW_BLOK_PROJ]->Int[0] : 0);
        if (!name) return;
        LwCopyText(typeName, name, sizeof(typeName));
    } else {
        return;
    }
    LwobTexture* texture = AddLwobTexture(to);
    if (!texture) return;
    texture->Type = ChannelToTextureId(chan->Int[0]);
    texture->Length = 0;
    texture->TypeName = typeName;
    LwSubChunkPtr* t = texture->Chunks;
    const Lwo2TextureMap* map = block->Map.get();
    const LwSubChunk* csys = map ? map->Chunks[LW_TMAP_CSYS].get() : nullptr;
    uint32_t flags = 0;
    if (b[LW_BLOK_FLAG])
        for (int bit = 0; bit < 4; ++bit)
            if (b[LW_BLOK_FLAG]->Int[0] & (1u << bit)) flags |= 0x08u << bit;
    if (b[LW_BLOK_AAST] && b[LW_BLOK_AAST]->Float[0] > 0.0f) flags |= 0x40;
    if (b[LW_BLOK_PIXB] && b[LW_BLOK_PIXB]->Int[0] != 0) flags |= 0x20;
    if (csys && csys->Int[0] != 0) flags |= 0x08;
    if (b[LW_BLOK_AXIS] && b[LW_BLOK_AXIS]->Int[0] < 3) flags |= 1u << b[LW_BLOK_AXIS]->Int[0];
    NewChunk(&t[LWOB_TFLG], Id("TFLG"))->Int[0] = flags;
    if (const LwSubChunk* opac = block->Header ? block->Header->Chunks[LW_HEAD_OPAC].get() : nullptr)
        NewValue(&t[LWOB_TOPC], Id("TOPC"), opac->Float[0]);
    if (map) CopyMaterialImageRefs(map, t);
    if (b[LW_BLOK_IMAG]) SetImage(object, &texture->Timg, b[LW_BLOK_IMAG]->Int[0]);
    if (const LwSubChunk* wrap = b[LW_BLOK_WRAP].get()) {
        LwSubChunk* w = NewChunk(&t[LWOB_TWRP], Id("TWRP"));
        for (int i = 0; i < 2; ++i) w->Int[i] = wrap->Int[i] < 4 ? kWrapToLwob[wrap->Int[i]] : 0;
    }
    if (b[LW_BLOK_WRPW]) NewValue(&t[LWOB_TFP0], Id("TFP0"), b[LW_BLOK_WRPW]->Float[0]);
    if (b[LW_BLOK_WRPH]) NewValue(&t[LWOB_TFP1], Id("TFP1"), b[LW_BLOK_WRPH]->Float[0]);
    if (b[LW_BLOK_AAST]) NewValue(&t[LWOB_TAAS], Id("TAAS"), b[LW_BLOK_AAST]->Float[0]);
    if (const LwSubChunk* valu = b[LW_BLOK_VALU].get()) {
        if (valu->Floats.size() == 3) {
            LwSubChunk* c = NewChunk(&t[LWOB_TCLR], Id("TCLR"));
            for (int i = 0; i < 3; ++i) c->Int[i] = Scaled(valu->Floats[i], 255.0f, 0, 255);
        } else if (!valu->Floats.empty()) {
            NewChunk(&t[LWOB_TVAL], Id("TVAL"))->Int[0] = Scaled(valu->Floats[0], 256.0f, -32768, 32767);
        }
    }
    if (block->HeaderType == Id("PROC") && func) ReadParameters(func, texture);
}

uint32_t Lwo2SurfaceToLwob(LwObject* object, const Lwo2Surface* from, LwobSurface* to) {
    ClearLwobSurface(object, to);
    const LwSubChunkPtr* s = from->Chunks;
    LwSubChunkPtr* d = to->Chunks;
    LwSubChunk* colr = NewChunk(&d[LWOB_COLR], Id("COLR"));
    for (int i = 0; i < 3; ++i)
        colr->Int[i] = s[LW_SURF_COLR] ? Scaled(s[LW_SURF_COLR]->Float[i], 255.0f, 0, 255) : 200;
    auto atLeastHalf = [&](int slot) { return s[slot] && s[slot]->Float[0] >= 0.5f; };
    uint32_t flag = 0;
    if (atLeastHalf(LW_SURF_SHRP)) flag |= 0x80;
    if (s[LW_SURF_SIDE] && s[LW_SURF_SIDE]->Int[0] == 3) flag |= 0x100;
    if (atLeastHalf(LW_SURF_CLRH)) flag |= 0x08;
    if (atLeastHalf(LW_SURF_CLRF)) flag |= 0x10;
    if (atLeastHalf(LW_SURF_ADTR)) flag |= 0x200;
    if (s[LW_SURF_LINE]) flag |= 0x02;
    if (s[LW_SURF_LUMI]) flag |= 0x01;
    if (s[LW_SURF_SMAN] && s[LW_SURF_SMAN]->Float[0] > 0.0f) flag |= 0x04;
    NewChunk(&d[LWOB_FLAG], Id("FLAG"))->Int[0] = flag;
    const struct {
        int From, To;
        LwId Id;
    } values[] = {{LW_SURF_LUMI, LWOB_VLUM, Id("VLUM")}, {LW_SURF_SPEC, LWOB_VSPC, Id("VSPC")},
                  {LW_SURF_REFL, LWOB_VRFL, Id("VRFL")}, {LW_SURF_TRAN, LWOB_VTRN, Id("VTRN")},
                  {LW_SURF_SMAN, LWOB_SMAN, Id("SMAN")}, {LW_SURF_RSAN, LWOB_RSAN, Id("RSAN")},
                  {LW_SURF_RIND, LWOB_RIND, Id("RIND")}};
    for (const auto& v : values)
        if (s[v.From]) NewValue(&d[v.To], v.Id, s[v.From]->Float[0]);
    NewValue(&d[LWOB_VDIF], Id("VDIF"), s[LW_SURF_DIFF] ? s[LW_SURF_DIFF]->Float[0] : 1.0f);
    if (const LwSubChunk* glos = s[LW_SURF_GLOS].get()) {
        // 2 ^ (g x 10 + 2), kept within the positive 16-bit range.
        const double power = std::pow(2.0, (double)glos->Float[0] * 10.0 + 2.0);
        NewChunk(&d[LWOB_GLOS], Id("GLOS"))->Int[0] = power >= 32767.0 ? 32767 : power >= 0.0 ? (uint32_t)power : 0;
    }
    if (s[LW_SURF_RFOP]) NewChunk(&d[LWOB_RFLT], Id("RFLT"))->Int[0] = s[LW_SURF_RFOP]->Int[0];
    if (s[LW_SURF_RIMG]) SetImage(object, &to->Rimg, s[LW_SURF_RIMG]->Int[0]);
    if (s[LW_SURF_GLOW]) NewValue(&d[LWOB_GLOW], Id("GLOW"), s[LW_SURF_GLOW]->Float[0]);
    if (const LwSubChunk* alph = s[LW_SURF_ALPH].get()) {
        LwSubChunk* a = NewChunk(&d[LWOB_ALPH], Id("ALPH"));
        a->Int[0] = alph->Int[0];
        a->Int[1] = Scaled(alph->Float[0], 255.0f, 0, 65535);
    }
    for (const Lwo2SurfaceBlock& block : from->Blocks) BlockToLwobTexture(object, &block, to);
    return GetLwobSurfaceSize(object, to);
}

// ---- entries ------------------------------------------------------------------------------------

LwSurfaceEntry* ConvertSurfaceFormat(LwObject* object, const LwSurfaceEntry* entry, int32_t fileType) {
    if (!object || !entry) return nullptr;
    LwSurfaceEntry* copy = CopyEntry(entry);
    if (!copy) return nullptr;
    const int32_t own = object->FileType;
    if (own == fileType || (own != LW_FILE_LWOB && own != LW_FILE_LWO2)) {
        copy->Data = entry->Data;
        copy->DataSize = entry->DataSize;
        return copy;
    }
    bool packed = false;
    try {
        Lwo2Surface lwo2;
        LwobSurface lwob;
        if (own == LW_FILE_LWOB) {
            ParseLwobSurface(object, (uint32_t)entry->DataSize, entry->Data, &lwob);
            const uint32_t length = LwobSurfaceToLwo2(object, &lwob, &lwo2);
            packed = PackInto(object, &lwo2, length, PackLwo2Surface, copy);
        } else {
            ParseLwo2Surface(object, (uint32_t)entry->DataSize, entry->Data, &lwo2);
            const uint32_t length = Lwo2SurfaceToLwob(object, &lwo2, &lwob);
            packed = PackInto(object, &lwob, length, PackLwobSurface, copy);
        }
    } catch (const std::bad_alloc&) {
        packed = false;
    }
    if (!packed) {
        free(copy->Data);
        free(copy);
        return nullptr;
    }
    return copy;
}

LwSurfaceEntry* ConvertSurfaceById(LwObject* object, int32_t id, int32_t fileType) {
    return object ? ConvertSurfaceFormat(object, object->Op.GetSurfaceById(object, id), fileType) : nullptr;
}

LwSurfaceEntry* ConvertSurfaceByName(LwObject* object, const char* name, int32_t fileType) {
    return object ? ConvertSurfaceFormat(object, object->Op.FindSurface(object, name), fileType) : nullptr;
}
