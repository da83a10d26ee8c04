// Material records built from the surface bodies, their texture layers, their evaluation at the
// object's animation time and the selection of one texture channel for the whole object.
#include "lightwave/object/LwMaterial.h"
#include "lightwave/object/ObjectInternal.h"

#include <cstring>

namespace {

constexpr LwId Id(const char (&s)[5]) { return LwMakeId(s[0], s[1], s[2], s[3]); }

// Channel i (from 0) is bit 1 << i in both tables.
const LwId kLwobTextureTypes[] = {Id("CTEX"), Id("DTEX"), Id("LTEX"), Id("STEX"), Id("RTEX"), Id("TTEX"), Id("BTEX")};
const LwId kLwo2Channels[] = {Id("COLR"), Id("DIFF"), Id("LUMI"), Id("SPEC"),
                              Id("REFL"), Id("TRAN"), Id("BUMP"), Id("TRNL")};
constexpr int kLwobChannels = 7;
constexpr int kLwo2ChannelCount = 8;

constexpr float kByteScale = 0.003921569f;  // 1/255 in single precision
// A colour byte read as 0..255, exact in a float.
float ByteLevel(uint32_t byte) { return static_cast<float>(byte) * kByteScale; }
constexpr float kDefaultSmoothing = 1.56207f;

// Projections of the LWOB image-map texture names; any other name maps as planar.
uint16_t ProjectionOfImageMap(const std::string& name) {
    static const char* const kNames[] = {"Planar Image Map", "Cylindrical Image Map", "Spherical Image Map",
                                         "Cubic Image Map", "Front Projection Image Map"};
    for (uint16_t p = 0; p < 5; ++p)
        if (name == kNames[p]) return p;
    return LW_PROJECT_PLANAR;
}

// An LWOB wrap code in the LWO2 numbering; a code without one leaves the mode as it was.
void WrapModeOfLwob(uint32_t code, uint16_t* mode) {
    static const uint16_t kModes[] = {LW_WRAP_RESET, LW_WRAP_EDGE, LW_WRAP_REPEAT, LW_WRAP_MIRROR};
    if (code <= 3) *mode = kModes[code];
}

void SetColor(float out[4], float r, float g, float b, float a) { out[0] = r, out[1] = g, out[2] = b, out[3] = a; }

void CopyName(char* field, int size, const std::string& text) { LwCopyText(field, text.c_str(), size); }

// The envelope a VX reference names (from 1); none for 0.
std::unique_ptr<LwEvalEnvelope> Envelope(LwObject* object, uint32_t reference) {
    if (reference == 0 || reference > (uint32_t)INT32_MAX) return nullptr;
    return BuildEvalEnvelope(object, (int32_t)reference - 1);
}

// The three envelopes r - 1, r, r + 1 chained as x, y, z; none unless all three exist (the members
// built are released with the partial chain).
std::unique_ptr<LwEvalEnvelope> EnvelopeChain(LwObject* object, uint32_t reference) {
    if (reference == 0 || reference >= (uint32_t)INT32_MAX - 2) return nullptr;
    const int32_t first = (int32_t)reference - 1;
    std::unique_ptr<LwEvalEnvelope> x = BuildEvalEnvelope(object, first);
    std::unique_ptr<LwEvalEnvelope> y = BuildEvalEnvelope(object, first + 1);
    std::unique_ptr<LwEvalEnvelope> z = BuildEvalEnvelope(object, first + 2);
    if (!x || !y || !z) return nullptr;
    y->Next = std::move(z);
    x->Next = std::move(y);
    return x;
}

void EvaluateChain(LwEvalEnvelope* envelope, float time, float out[3]) {
    for (int i = 0; i < 3 && envelope; ++i, envelope = envelope->Next.get()) out[i] = EvaluateEnvelope(envelope, time);
}

void DeriveColors(LwMaterial* m) {
    const float h = m->ColorHighlights;
    for (int i = 0; i < 3; ++i) {
        m->DiffuseColor[i] = m->Color[i] * m->Diffuse;
        m->SpecularColor[i] = h * m->Color[i] + (1.0f - h) * m->Specular;
        m->LuminousColor[i] = m->Luminosity * m->Color[i];
    }
}

// ---- table operations ---------------------------------------------------------------------------

LwMaterial* CreateMaterial(LwObject*, const char* name) {
    LwMaterial* material = new (std::nothrow) LwMaterial();
    if (!material) return nullptr;
    SetMaterialDefaults(material);
    if (name) LwCopyText(material->Name, name, sizeof(material->Name));
    return material;
}

int32_t FreeMaterial(LwObject*, LwMaterial* material) {
    delete material;  // the layers, envelopes and parsed body go with it
    return LW_ERR_NONE;
}

LwTextureLayer* AddTextureLayer(LwObject*, LwMaterial* material) {
    if (!material || material->Layers.size() >= (size_t)INT32_MAX) return nullptr;
    LwTextureLayer layer{};
    layer.Opacity = 1.0f;
    for (float& s : layer.Size) s = 1.0f;
    layer.Amplitude = 1.0f;
    layer.WrapWidth = layer.WrapHeight = 1.0f;
    layer.WrapModeWidth = layer.WrapModeHeight = LW_WRAP_REPEAT;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) layer.Matrix[i][j] = i == j ? 1.0f : 0.0f;
    if (!LwAppend(material->Layers, std::move(layer))) return nullptr;
    material->CurrentLayer = (int32_t)material->Layers.size() - 1;
    return &material->Layers.back();
}

LwTextureLayer* GetTextureLayer(LwObject*, LwMaterial* material, uint16_t channel, int32_t index) {
    if (!material || index < 0) return nullptr;
    for (LwTextureLayer& layer : material->Layers)
        if (layer.Channel == channel && index-- == 0) return &layer;
    return nullptr;
}

// The entry's material, made and its body parsed when missing; made tells that it is new.
LwMaterial* MaterialOf(LwObject* object, LwSurfaceEntry* entry, bool* made) {
    *made = false;
    if (entry->Material) return entry->Material;
    LwMaterial* m = CreateMaterial(object, entry->Name);
    if (!m) return nullptr;
    entry->Material = m;
    *made = true;
    const uint32_t size = entry->DataSize > 0 ? (uint32_t)entry->DataSize : 0;
    try {
        if (object->FileType == LW_FILE_LWOB)
            m->LwobBody = ParseLwobSurface(object, size, entry->Data);
        else if (object->FileType == LW_FILE_LWO2)
            m->Lwo2Body = ParseLwo2Surface(object, size, entry->Data);
    } catch (const std::bad_alloc&) {
        object->ErrorCode = LW_ERR_MEMORY;
    }
    return m;
}

// An object of no file type (built in code) has no body to build from: the first request leaves
// the material with its defaults attached and returns NULL; later ones return it.
LwMaterial* GetEvaluatedMaterial(LwObject* object, int32_t id) {
    LwSurfaceEntry* entry = object ? object->Op.GetSurfaceById(object, id) : nullptr;
    if (!entry) return nullptr;
    bool made = false;
    LwMaterial* m = MaterialOf(object, entry, &made);
    if (!m) return nullptr;
    if (made && !m->LwobBody && !m->Lwo2Body) return nullptr;
    if (made) {
        if (m->LwobBody) BuildMaterialFromLwob(object, m);
        if (m->Lwo2Body) BuildMaterialFromLwo2(object, m);
        m->EvalTime = object->AnimationTime;
        EvaluateMaterial(object, m);
    } else if (m->EvalTime != object->AnimationTime) {
        m->EvalTime = object->AnimationTime;
        EvaluateMaterial(object, m);
    }
    return m;
}

int32_t CountTextureLayers(LwObject* object, int32_t id, int32_t channel) {
    LwSurfaceEntry* entry = object ? object->Op.GetSurfaceById(object, id) : nullptr;
    if (!entry || channel < 1) return 0;
    bool made = false;
    LwMaterial* m = MaterialOf(object, entry, &made);
    if (!m) return 0;
    if (made) {
        // A material made here is completed as GetEvaluatedMaterial would have made it.
        if (m->LwobBody) BuildMaterialFromLwob(object, m);
        if (m->Lwo2Body) BuildMaterialFromLwo2(object, m);
        m->EvalTime = object->AnimationTime;
        EvaluateMaterial(object, m);
    }
    int32_t n = 0;
    if (m->LwobBody && channel <= kLwobChannels)
        while (FindLwobTexture(object, m->LwobBody.get(), kLwobTextureTypes[channel - 1], n)) ++n;
    if (m->Lwo2Body && channel <= kLwo2ChannelCount)
        while (FindSurfaceImageBlock(object, m->Lwo2Body.get(), kLwo2Channels[channel - 1], n)) ++n;
    return n;
}

int32_t SelectTextureLayer(LwObject* object, uint16_t channel, int32_t index) {
    if (!object) return LW_ERR_PARAM;
    for (int32_t id = 0; id < object->Op.GetNumSurfaces(object); ++id) {
        LwMaterial* m = GetEvaluatedMaterial(object, id);
        if (!m) continue;
        if (channel == 0) {
            m->CurrentLayer = -1;
        } else if (LwTextureLayer* layer = GetTextureLayer(object, m, channel, index)) {
            m->CurrentLayer = (int32_t)(layer - m->Layers.data());
        }
    }
    LwLayer* current = object->CurrentLayer;
    for (LwLayer* layer = object->Layers; layer; layer = layer->Next) {
        object->CurrentLayer = layer;
        const int32_t count = object->Op.GetNumPolygons(object);
        for (int32_t p = 0; p < count; ++p) {
            LwPolygon* polygon = object->Op.GetPolygon(object, p);
            if (channel == 0) {
                polygon->SelectedTexChannel = -1;
            } else if (LwTexChannel* c = object->Op.FindPolygonTexChannel(object, p, channel, (uint16_t)index)) {
                polygon->SelectedTexChannel = (int32_t)(c - polygon->TexChannels.data());
            }
        }
    }
    object->CurrentLayer = current;
    return LW_ERR_NONE;
}

}  // namespace

// ---- building and evaluation --------------------------------------------------------------------

void SetMaterialDefaults(LwMaterial* m) {
    m->SourceType = 0;
    m->Flags = 0;
    m->EvalTime = 0.0;
    SetColor(m->Color, 0.78f, 0.78f, 0.78f, 1.0f);
    SetColor(m->DiffuseColor, 0.78f, 0.78f, 0.78f, 1.0f);
    SetColor(m->SpecularColor, 0, 0, 0, 0);
    m->SpecularPower = 0.0f;
    SetColor(m->LuminousColor, 0, 0, 0, 0);
    m->Diffuse = 1.0f;
    m->Specular = m->Luminosity = m->Reflection = 0.0f;
    m->RefractiveIndex = 1.0f;
    m->SmoothingAngle = kDefaultSmoothing;
    m->Transparency = m->ColorHighlights = 0.0f;
    m->ReflectionMode = m->RefractionMode = 0;
    m->ReflectionImage[0] = m->RefractionImage[0] = '\0';
    m->ReflectionSeamAngle = m->RefractionSeamAngle = 0.0f;
    m->VertexColorMap[0] = '\0';
    m->VertexColorMapType = 0;
    m->ColorEnvelope.reset();
    m->DiffuseEnvelope.reset();
    m->SpecularEnvelope.reset();
    m->LuminosityEnvelope.reset();
    m->ReflectionEnvelope.reset();
    m->RefractiveIndexEnvelope.reset();
    m->TransparencyEnvelope.reset();
    m->ColorHighlightsEnvelope.reset();
    m->Comment[0] = '\0';
    SetColor(m->ShininessColor, 0, 0, 0, 0);
    m->UviewFileName[0] = '\0';
    m->ReferenceSurface = 0;
    m->Layers.clear();
    m->CurrentLayer = -1;
}

void BuildMaterialFromLwob(LwObject* object, LwMaterial* m) {
    SetMaterialDefaults(m);
    m->SourceType = LW_FILE_LWOB;
    LwobSurface* s = m->LwobBody.get();
    if (!s) return;
    auto at = [s](int slot) { return s->Chunks[slot].get(); };
    auto i2 = [&](int slot) { return (float)(int32_t)at(slot)->Int[0]; };
    if (at(LWOB_VTRN)) m->Transparency = at(LWOB_VTRN)->Float[0];
    const float alpha = 1.0f - m->Transparency;
    if (const LwSubChunk* c = at(LWOB_COLR))
        SetColor(m->Color, ByteLevel(c->Int[0]), ByteLevel(c->Int[1]), ByteLevel(c->Int[2]), alpha);
    if (const LwSubChunk* c = at(LWOB_FLAG)) {
        if (c->Int[0] & 0x04) m->Flags |= LW_MATERIAL_SMOOTHING;
        if (c->Int[0] & 0x08) m->Flags |= LW_MATERIAL_COLOR_HIGHLIGHTS;
        if (c->Int[0] & 0x100) m->Flags |= LW_MATERIAL_DOUBLE_SIDED;
        if (m->Flags & LW_MATERIAL_COLOR_HIGHLIGHTS) m->ColorHighlights = 1.0f;
    }
    const bool diffuse = at(LWOB_VDIF) || at(LWOB_DIFF);
    if (diffuse) m->Diffuse = at(LWOB_VDIF) ? at(LWOB_VDIF)->Float[0] : i2(LWOB_DIFF) * 0.00390625f;
    for (int i = 0; i < 3; ++i) m->DiffuseColor[i] = diffuse ? m->Diffuse * m->Color[i] : m->Color[i];
    m->DiffuseColor[3] = alpha;
    if (at(LWOB_VSPC) || at(LWOB_SPEC)) {
        m->Specular = at(LWOB_VSPC) ? at(LWOB_VSPC)->Float[0] : i2(LWOB_SPEC) / 256.0f;
        const float h = m->ColorHighlights;
        for (int i = 0; i < 3; ++i) m->SpecularColor[i] = m->Color[i] * h + (1.0f - h) * m->Specular;
        m->SpecularColor[3] = alpha;
    }
    if (const LwSubChunk* c = at(LWOB_GLOS)) {
        // (k - 2) x 12.8 with k the highest set bit; values that would give a negative power give 0.
        const int32_t value = (int32_t)c->Int[0];
        int k = 0;
        for (int32_t v = value; v > 1; v >>= 1) ++k;
        m->SpecularPower = value > 0 && k > 2 ? (float)(k - 2) * 12.8f : 0.0f;
    }
    if (at(LWOB_VLUM) || at(LWOB_LUMI)) {
        m->Luminosity = at(LWOB_VLUM) ? at(LWOB_VLUM)->Float[0] : i2(LWOB_LUMI) / 256.0f;
        for (int i = 0; i < 3; ++i) m->LuminousColor[i] = m->Luminosity * m->Color[i];
        m->LuminousColor[3] = alpha;
    }
    if (at(LWOB_VRFL) || at(LWOB_REFL))
        m->Reflection = at(LWOB_VRFL) ? at(LWOB_VRFL)->Float[0] : i2(LWOB_REFL) / 256.0f;
    if (at(LWOB_RIND)) m->RefractiveIndex = at(LWOB_RIND)->Float[0];
    if (s->Rimg) {
        m->Flags |= LW_MATERIAL_REFLECTION_IMAGE;
        CopyName(m->ReflectionImage, sizeof(m->ReflectionImage), s->Rimg->Name);
    }
    if (at(LWOB_RSAN)) m->ReflectionSeamAngle = at(LWOB_RSAN)->Float[0];
    if (at(LWOB_RFLT)) m->ReflectionMode = (uint16_t)at(LWOB_RFLT)->Int[0];
    if (at(LWOB_SMAN)) m->SmoothingAngle = at(LWOB_SMAN)->Float[0];

    for (int ch = 0; ch < kLwobChannels; ++ch) {
        for (int32_t n = 0;; ++n) {
            LwobTexture* t = FindLwobTexture(object, s, kLwobTextureTypes[ch], n);
            if (!t) break;
            LwTextureLayer* layer = AddTextureLayer(object, m);
            if (!layer) {
                object->ErrorCode = LW_ERR_MEMORY;
                return;
            }
            layer->Channel = (uint16_t)(1u << ch);
            layer->Index = (uint16_t)n;
            layer->Projection = ProjectionOfImageMap(t->TypeName);
            auto tc = [t](int slot) { return t->Chunks[slot].get(); };
            if (const LwSubChunk* c = tc(LWOB_TFLG)) {
                if (c->Int[0] & 0x01) layer->Axis = 0;
                if (c->Int[0] & 0x02) layer->Axis = 1;
                if (c->Int[0] & 0x04) layer->Axis = 2;
                if (c->Int[0] & 0x10) layer->Negative = 1;
            }
            if (const LwSubChunk* c = tc(LWOB_TSIZ)) memcpy(layer->Size, c->Float, sizeof(layer->Size));
            if (const LwSubChunk* c = tc(LWOB_TCTR)) memcpy(layer->Center, c->Float, sizeof(layer->Center));
            if (const LwSubChunk* c = tc(LWOB_TWRP)) {  // each code on its own, as the conversion reads them
                WrapModeOfLwob(c->Int[0], &layer->WrapModeWidth);
                WrapModeOfLwob(c->Int[1], &layer->WrapModeHeight);
            }
            if (tc(LWOB_TFP0)) layer->WrapWidth = tc(LWOB_TFP0)->Float[0];
            if (tc(LWOB_TFP1)) layer->WrapHeight = tc(LWOB_TFP1)->Float[0];
            layer->Flags |= LW_LAYER_IMAGE;
            CopyName(layer->ImageName, sizeof(layer->ImageName), t->Timg->Name);
            if (t->Talp) {
                layer->Flags |= LW_LAYER_ALPHA_IMAGE;
                CopyName(layer->AlphaName, sizeof(layer->AlphaName), t->Talp->Name);
            }
            if (const LwSubChunk* c = tc(LWOB_TREF)) {
                layer->Flags2 |= LW_LAYER_REFERENCE;
                CopyName(layer->ReferenceName, sizeof(layer->ReferenceName), c->Text[0]);
            }
            if (tc(LWOB_TOPC)) layer->Opacity = tc(LWOB_TOPC)->Float[0];
            if (tc(LWOB_TAMP)) layer->Amplitude = tc(LWOB_TAMP)->Float[0];
        }
    }
}

void BuildMaterialFromLwo2(LwObject* object, LwMaterial* m) {
    SetMaterialDefaults(m);
    m->SourceType = LW_FILE_LWO2;
    Lwo2Surface* s = m->Lwo2Body.get();
    if (!s) return;
    auto at = [s](int slot) { return s->Chunks[slot].get(); };
    // A value with its envelope: the envelope is built when the reference is not 0.
    auto value = [&](int slot, float* field, std::unique_ptr<LwEvalEnvelope>* envelope) {
        const LwSubChunk* c = at(slot);
        if (!c) return false;
        *field = c->Float[0];
        if (envelope) *envelope = Envelope(object, c->Int[0]);
        return true;
    };
    char name[LW_CLIP_NAME_SIZE];
    if (at(LW_SURF_CMNT)) CopyName(m->Comment, sizeof(m->Comment), at(LW_SURF_CMNT)->Text[0]);
    value(LW_SURF_TRAN, &m->Transparency, &m->TransparencyEnvelope);
    const float alpha = 1.0f - m->Transparency;
    if (const LwSubChunk* c = at(LW_SURF_COLR)) {
        SetColor(m->Color, c->Float[0], c->Float[1], c->Float[2], alpha);
        m->ColorEnvelope = EnvelopeChain(object, c->Int[0]);
    }
    if (value(LW_SURF_CLRH, &m->ColorHighlights, &m->ColorHighlightsEnvelope)) m->Flags |= LW_MATERIAL_COLOR_HIGHLIGHTS;
    const bool diffuse = value(LW_SURF_DIFF, &m->Diffuse, &m->DiffuseEnvelope);
    for (int i = 0; i < 3; ++i) m->DiffuseColor[i] = diffuse ? m->Diffuse * m->Color[i] : m->Color[i];
    m->DiffuseColor[3] = alpha;
    if (value(LW_SURF_SPEC, &m->Specular, &m->SpecularEnvelope)) {
        const float h = m->ColorHighlights;
        for (int i = 0; i < 3; ++i) m->SpecularColor[i] = h * m->Color[i] + (1.0f - h) * m->Specular;
        m->SpecularColor[3] = alpha;
    }
    if (at(LW_SURF_GLOS)) m->SpecularPower = at(LW_SURF_GLOS)->Float[0] * 128.0f;
    if (value(LW_SURF_LUMI, &m->Luminosity, &m->LuminosityEnvelope)) {
        for (int i = 0; i < 3; ++i) m->LuminousColor[i] = m->Luminosity * m->Color[i];
        m->LuminousColor[3] = alpha;
    }
    value(LW_SURF_REFL, &m->Reflection, &m->ReflectionEnvelope);
    value(LW_SURF_RIND, &m->RefractiveIndex, &m->RefractiveIndexEnvelope);
    if (at(LW_SURF_RFOP)) m->ReflectionMode = (uint16_t)at(LW_SURF_RFOP)->Int[0];
    if (const LwSubChunk* c = at(LW_SURF_RIMG)) {
        m->Flags |= LW_MATERIAL_REFLECTION_IMAGE;
        GetClipDisplayName(object, (int32_t)c->Int[0], name);
        LwCopyText(m->ReflectionImage, name, sizeof(m->ReflectionImage));
    }
    value(LW_SURF_RSAN, &m->ReflectionSeamAngle, nullptr);
    if (at(LW_SURF_TROP)) m->RefractionMode = (uint16_t)at(LW_SURF_TROP)->Int[0];
    if (const LwSubChunk* c = at(LW_SURF_TIMG)) {
        m->Flags |= LW_MATERIAL_REFRACTION_IMAGE;
        GetClipDisplayName(object, (int32_t)c->Int[0], name);
        LwCopyText(m->RefractionImage, name, sizeof(m->RefractionImage));
    }
    value(LW_SURF_TSAN, &m->RefractionSeamAngle, nullptr);
    if (value(LW_SURF_SMAN, &m->SmoothingAngle, nullptr)) m->Flags |= LW_MATERIAL_SMOOTHING;
    if (at(LW_SURF_SIDE) && at(LW_SURF_SIDE)->Int[0] == 3) m->Flags |= LW_MATERIAL_DOUBLE_SIDED;
    if (const LwSubChunk* c = at(LW_SURF_VCOL)) {
        m->VertexColorMapType = c->Int[1];
        CopyName(m->VertexColorMap, sizeof(m->VertexColorMap), c->Text[0]);
    }

    for (int ch = 0; ch < kLwo2ChannelCount; ++ch) {
        for (int32_t n = 0;; ++n) {
            Lwo2SurfaceBlock* b = FindSurfaceImageBlock(object, s, kLwo2Channels[ch], n);
            if (!b) break;
            LwTextureLayer* layer = AddTextureLayer(object, m);
            if (!layer) {
                object->ErrorCode = LW_ERR_MEMORY;
                return;
            }
            layer->Channel = (uint16_t)(1u << ch);
            layer->Index = (uint16_t)n;
            auto bc = [b](int slot) { return b->Chunks[slot].get(); };
            if (bc(LW_BLOK_PROJ)) layer->Projection = (uint16_t)bc(LW_BLOK_PROJ)->Int[0];
            if (bc(LW_BLOK_AXIS) && bc(LW_BLOK_AXIS)->Int[0] <= 2) layer->Axis = (uint16_t)bc(LW_BLOK_AXIS)->Int[0];
            if (const LwSubChunk* c = b->Header->Chunks[LW_HEAD_OPAC].get()) {
                layer->OpacityType = (uint16_t)c->Int[0];
                layer->Opacity = c->Float[0];
                layer->OpacityEnvelope = Envelope(object, c->Int[1]);
            }
            if (const LwSubChunk* c = b->Header->Chunks[LW_HEAD_NEGA].get()) layer->Negative = (uint16_t)c->Int[0];
            if (Lwo2TextureMap* map = b->Map.get()) {
                struct {
                    int slot;
                    float* field;
                    std::unique_ptr<LwEvalEnvelope>* envelope;
                } const vectors[] = {{LW_TMAP_SIZE, layer->Size, &layer->SizeEnvelope},
                                     {LW_TMAP_CNTR, layer->Center, &layer->CenterEnvelope},
                                     {LW_TMAP_ROTA, layer->Rotation, &layer->RotationEnvelope}};
                for (const auto& v : vectors) {
                    if (const LwSubChunk* c = map->Chunks[v.slot].get()) {
                        memcpy(v.field, c->Float, 3 * sizeof(float));
                        *v.envelope = EnvelopeChain(object, c->Int[0]);
                    }
                }
                if (const LwSubChunk* c = map->Chunks[LW_TMAP_OREF].get()) {
                    layer->Flags2 |= LW_LAYER_REFERENCE;
                    CopyName(layer->ReferenceName, sizeof(layer->ReferenceName), c->Text[0]);
                }
            }
            if (const LwSubChunk* c = bc(LW_BLOK_WRAP)) {
                layer->WrapModeWidth = (uint16_t)c->Int[0];
                layer->WrapModeHeight = (uint16_t)c->Int[1];
            }
            if (bc(LW_BLOK_WRPW)) layer->WrapWidth = bc(LW_BLOK_WRPW)->Float[0];
            if (bc(LW_BLOK_WRPH)) layer->WrapHeight = bc(LW_BLOK_WRPH)->Float[0];
            layer->Flags |= LW_LAYER_IMAGE;
            GetClipDisplayName(object, (int32_t)bc(LW_BLOK_IMAG)->Int[0], name);
            LwCopyText(layer->ImageName, name, sizeof(layer->ImageName));
            if (bc(LW_BLOK_VMAP)) CopyName(layer->UvMapName, sizeof(layer->UvMapName), bc(LW_BLOK_VMAP)->Text[0]);
            if (bc(LW_BLOK_TAMP)) layer->Amplitude = bc(LW_BLOK_TAMP)->Float[0];
        }
    }
}

void EvaluateMaterial(LwObject*, LwMaterial* m) {
    const float t = (float)m->EvalTime;
    if (m->ColorEnvelope) EvaluateChain(m->ColorEnvelope.get(), t, m->Color);
    struct {
        LwEvalEnvelope* envelope;
        float* field;
    } const values[] = {
        {m->DiffuseEnvelope.get(), &m->Diffuse},       {m->ColorHighlightsEnvelope.get(), &m->ColorHighlights},
        {m->SpecularEnvelope.get(), &m->Specular},     {m->LuminosityEnvelope.get(), &m->Luminosity},
        {m->ReflectionEnvelope.get(), &m->Reflection}, {m->RefractiveIndexEnvelope.get(), &m->RefractiveIndex}};
    for (const auto& v : values)
        if (v.envelope) *v.field = EvaluateEnvelope(v.envelope, t);
    if (m->TransparencyEnvelope) {
        m->Transparency = EvaluateEnvelope(m->TransparencyEnvelope.get(), t);
        m->Color[3] = m->DiffuseColor[3] = m->SpecularColor[3] = m->LuminousColor[3] = 1.0f - m->Transparency;
    }
    DeriveColors(m);
    for (LwTextureLayer& layer : m->Layers) {
        if (layer.OpacityEnvelope) layer.Opacity = EvaluateEnvelope(layer.OpacityEnvelope.get(), t);
        if (layer.SizeEnvelope) EvaluateChain(layer.SizeEnvelope.get(), t, layer.Size);
        if (layer.CenterEnvelope) EvaluateChain(layer.CenterEnvelope.get(), t, layer.Center);
        if (layer.RotationEnvelope) EvaluateChain(layer.RotationEnvelope.get(), t, layer.Rotation);
    }
}

const LwMaterial* LwMaterialOrDefault(LwObject* object, int32_t surfaceId) {
    if (const LwMaterial* m = GetEvaluatedMaterial(object, surfaceId)) return m;
    static const LwMaterial kDefault = [] {
        LwMaterial m{};
        SetMaterialDefaults(&m);
        return m;
    }();
    return &kDefault;
}

void LwFillMaterialOperations(LwObjectOperations* op) {
    op->CreateMaterial = CreateMaterial;
    op->GetEvaluatedMaterial = GetEvaluatedMaterial;
    op->CountTextureLayers = CountTextureLayers;
    op->FreeMaterial = FreeMaterial;
    op->AddTextureLayer = AddTextureLayer;
    op->GetTextureLayer = GetTextureLayer;
    op->SelectTextureLayer = SelectTextureLayer;
}
