// Material records: the flat form of a surface (colours, shading values, image names and texture
// layers) built once from its LWOB or LWO2 body and evaluated again whenever the object's animation
// time has moved. The surface entry owns its material; the material owns its layers, envelopes and
// the parsed body.
#pragma once

#include "lightwave/object/LwChunks.h"
#include "lightwave/object/LwObject.h"

#include <cstdint>
#include <memory>
#include <vector>

// LwMaterial::Flags.
enum LwMaterialFlag : uint16_t {
    LW_MATERIAL_SMOOTHING = 0x0001,
    LW_MATERIAL_REFLECTION_IMAGE = 0x0008,
    LW_MATERIAL_DOUBLE_SIDED = 0x0020,
    LW_MATERIAL_COLOR_HIGHLIGHTS = 0x0200,
    LW_MATERIAL_REFRACTION_IMAGE = 0x0400,
};

// Texture channels as bits: LWOB types CTEX .. BTEX and LWO2 channels COLR .. TRNL in this order.
enum LwTextureChannel : uint16_t {
    LW_CHANNEL_COLOR = 1,
    LW_CHANNEL_DIFFUSE = 2,
    LW_CHANNEL_LUMINOSITY = 4,
    LW_CHANNEL_SPECULAR = 8,
    LW_CHANNEL_REFLECTION = 16,
    LW_CHANNEL_TRANSPARENCY = 32,
    LW_CHANNEL_BUMP = 64,
    LW_CHANNEL_TRANSLUCENCY = 128,
};

enum LwProjection : uint16_t {
    LW_PROJECT_PLANAR = 0,
    LW_PROJECT_CYLINDRICAL = 1,
    LW_PROJECT_SPHERICAL = 2,
    LW_PROJECT_CUBIC = 3,
    LW_PROJECT_FRONT = 4,
    LW_PROJECT_UV = 5,
};

// LwTextureLayer::Flags, then Flags2.
enum LwTextureLayerFlag : uint8_t {
    LW_LAYER_IMAGE = 0x02,
    LW_LAYER_ALPHA_IMAGE = 0x04,
};
enum LwTextureLayerFlag2 : uint8_t { LW_LAYER_REFERENCE = 0x01 };

// The LWO2 wrap modes; LWOB codes are mapped into them.
enum LwWrapMode : uint16_t { LW_WRAP_RESET = 0, LW_WRAP_REPEAT = 1, LW_WRAP_MIRROR = 2, LW_WRAP_EDGE = 3 };

constexpr int LW_LAYER_NAME_SIZE = 255;

struct LwTextureLayer {
    uint8_t Flags;   // LwTextureLayerFlag bits
    uint8_t Flags2;  // LwTextureLayerFlag2 bits
    uint16_t Channel;
    uint16_t Index;       // of the layer within its channel
    uint16_t Projection;  // LwProjection
    uint16_t Axis;        // 0 X, 1 Y, 2 Z
    float Opacity;
    uint16_t OpacityType;
    uint16_t Negative;
    float Size[3];
    float Center[3];
    float Rotation[3];  // heading, pitch, bank
    float Amplitude;
    float WrapWidth;  // wrap counts
    float WrapHeight;
    uint16_t WrapModeWidth;  // LwWrapMode
    uint16_t WrapModeHeight;
    char ImageName[LW_LAYER_NAME_SIZE];
    char AlphaName[LW_LAYER_NAME_SIZE];
    char ReferenceName[LW_LAYER_NAME_SIZE];
    char UvMapName[LW_LAYER_NAME_SIZE];
    std::unique_ptr<LwEvalEnvelope> OpacityEnvelope;
    std::unique_ptr<LwEvalEnvelope> SizeEnvelope;  // chains of three: x, then y, then z
    std::unique_ptr<LwEvalEnvelope> CenterEnvelope;
    std::unique_ptr<LwEvalEnvelope> RotationEnvelope;
    float Matrix[4][4];
    uint32_t Words[2];
};

struct LwMaterial {
    char Name[256];
    uint16_t SourceType;  // LW_FILE_LWOB or LW_FILE_LWO2 body
    uint16_t Flags;       // LwMaterialFlag bits
    double EvalTime;      // seconds
    float Color[4];
    float DiffuseColor[4];
    float SpecularColor[4];
    float SpecularPower;
    float LuminousColor[4];
    float Diffuse;
    float Specular;
    float Luminosity;
    float Reflection;
    float RefractiveIndex;
    float SmoothingAngle;  // radians
    float Transparency;
    float ColorHighlights;
    uint16_t ReflectionMode;
    char ReflectionImage[258];
    float ReflectionSeamAngle;
    uint16_t RefractionMode;
    char RefractionImage[258];
    float RefractionSeamAngle;
    char VertexColorMap[256];
    LwId VertexColorMapType;
    std::unique_ptr<LwEvalEnvelope> ColorEnvelope;  // red, whose chain gives green and blue
    std::unique_ptr<LwEvalEnvelope> DiffuseEnvelope;
    std::unique_ptr<LwEvalEnvelope> SpecularEnvelope;
    std::unique_ptr<LwEvalEnvelope> LuminosityEnvelope;
    std::unique_ptr<LwEvalEnvelope> ReflectionEnvelope;
    std::unique_ptr<LwEvalEnvelope> RefractiveIndexEnvelope;
    std::unique_ptr<LwEvalEnvelope> TransparencyEnvelope;
    std::unique_ptr<LwEvalEnvelope> ColorHighlightsEnvelope;
    char Comment[256];
    // Shown by the object dump; no surface sub-chunk sets them.
    float ShininessColor[4];
    char UviewFileName[256];
    uint32_t ReferenceSurface;
    std::vector<LwTextureLayer> Layers;  // a layer pointer is valid until the next AddTextureLayer
    int32_t CurrentLayer;                // position in Layers, -1 for none
    std::unique_ptr<LwobSurface> LwobBody;
    std::unique_ptr<Lwo2Surface> Lwo2Body;

    LwTextureLayer* Current() { return CurrentLayer >= 0 ? &Layers[CurrentLayer] : nullptr; }
};

// The values a material has before any body is read.
void SetMaterialDefaults(LwMaterial* material);
void BuildMaterialFromLwob(LwObject* object, LwMaterial* material);
void BuildMaterialFromLwo2(LwObject* object, LwMaterial* material);
void EvaluateMaterial(LwObject* object, LwMaterial* material);
// The material of the surface with that id, or the defaults for a polygon whose surface has no
// entry: the passes never work without one.
const LwMaterial* LwMaterialOrDefault(LwObject* object, int32_t surfaceId);
