// The object context of the LightWave import library: one object file's database with its own
// table of operations. Only the parts the scene half needs exist so far (creation, destruction,
// error text, layer walking); the database readers do not load files yet and report so.
#pragma once

#include "lightwave/LwSupport.h"

#include <cstdint>
#include <cstdio>

enum LwObjectFileType : int32_t {
    LW_FILE_UNKNOWN = 0,
    LW_FILE_LWOB = 1,
    LW_FILE_LWO2 = 2,
    LW_FILE_RSD = 3,
};

// Post-load passes chosen by LwLoadOptions::Flags.
enum : uint32_t {
    LW_LOAD_SORT_POLYGONS = 1,
    LW_LOAD_TRIANGULATE = 2,
    LW_LOAD_TEXCOORDS = 4,
    LW_LOAD_NORMALS = 8,
    LW_LOAD_EDGES = 16,
    LW_LOAD_VERTEX_COLORS = 32,
};

// Shared by the object loader and the scene loader (which keeps its own copy).
struct LwLoadOptions {
    uint32_t Flags;
    char ObjectDirectory[256];
    int32_t ReaderOption;
    int32_t NormalOption;
    int32_t TexCoordFlags;
    uint16_t TexChannelMask;
    uint16_t TexLayerCount;
    int32_t VertexColorOption;
    int32_t TriangulateOption;
};

struct LwLayer {
    int32_t Position;     // place in the layer list, from 0
    int32_t LayerNumber;  // as read from the file, from 0
    int32_t ParentNumber;
    char Name[256];
    double Pivot[3];
    int32_t NumPoints;
    int32_t NumPolygons;
    int32_t NumNormals;
    int32_t NumTexCoords;
    int32_t NumEdges;
    int32_t NumColors;
    int32_t NumPolygonTagLists;
    int32_t NumVmaps;
    int32_t NumVmads;
    double BoundingBox[6];
    uint32_t PolygonListType;  // four-character type of the current polygon list
    int32_t PolygonListCount;
    LwLayer* Next;
};

struct LwObject;

// A position of the table whose operation the object database provides.
typedef void (*LwObjectSlot)();

// The 155 positions in their fixed order; position 95 stays empty.
struct LwObjectOperations {
    // Layers (0-15).
    LwObjectSlot Layer0;
    LwLayer* (*GetNextLayer)(LwObject* object, LwLayer* layer);
    LwObjectSlot Layer2;
    int32_t (*GetLayerCount)(LwObject* object);
    int32_t (*SetCurrentLayer)(LwObject* object, int32_t position);
    LwObjectSlot Layer5, Layer6, Layer7, Layer8, Layer9, Layer10, Layer11, Layer12;
    LwObjectSlot StorePolygonList;
    LwObjectSlot Layer14, Layer15;
    // Tags (16-20).
    LwObjectSlot Tag0, Tag1, Tag2, Tag3, Tag4;
    // Points (21-24).
    int32_t (*GetPointCount)(LwObject* object);
    LwObjectSlot Point1;
    LwObjectSlot GetPoint;
    LwObjectSlot Point3;
    // Polygons (25-39).
    int32_t (*GetPolygonCount)(LwObject* object);
    LwObjectSlot Polygon1;
    LwObjectSlot AddPolygon, GetPolygon, GetPolygonNormal;
    LwObjectSlot Polygon5, Polygon6;
    LwObjectSlot SetPolygonPoints, SetPolygonNormals;
    LwObjectSlot Polygon9;
    LwObjectSlot SetPolygonColors, RefreshSurfaceNumbers, AddPolygonMap;
    LwObjectSlot Polygon13, Polygon14;
    // Normals (40-45).
    LwObjectSlot Normal0, Normal1, Normal2, Normal3;
    LwObjectSlot ComputeVertexNormals;
    LwObjectSlot Normal5;
    // Texture coordinates (46-55).
    LwObjectSlot TexCoord0, TexCoord1, TexCoord2, TexCoord3, TexCoord4;
    LwObjectSlot SetupTextureCoordinates;
    LwObjectSlot TexCoord6, TexCoord7;
    LwObjectSlot ReadUvFile;
    LwObjectSlot TexCoord9;
    // Vertex colours (56-62).
    LwObjectSlot Color0, Color1, Color2, Color3, Color4;
    LwObjectSlot LoadVertexColors;
    LwObjectSlot Color6;
    // Surfaces, lists and materials (63-91).
    int32_t (*GetSurfaceCount)(LwObject* object);
    LwObjectSlot Surface1, Surface2, Surface3;
    LwObjectSlot GetSurfaceByIndex;
    LwObjectSlot Surface5, Surface6, Surface7;
    LwObjectSlot CreateMaterial, GetEvaluatedMaterial;
    LwObjectSlot Surface10, Surface11, Surface12, Surface13, Surface14, Surface15, Surface16, Surface17, Surface18,
        Surface19, Surface20, Surface21, Surface22, Surface23, Surface24, Surface25, Surface26, Surface27, Surface28;
    // Edges and meshes (92-102), position 95 empty.
    LwObjectSlot Edge0, Edge1;
    LwObjectSlot BuildEdgeTable;
    LwObjectSlot Empty;
    LwObjectSlot Edge4, Edge5, Edge6, Edge7;
    LwObjectSlot BuildMeshes;
    LwObjectSlot Edge9, Edge10;
    // Vertex maps (103-112).
    LwObjectSlot Vmap0, Vmap1, Vmap2, Vmap3, Vmap4, Vmap5, Vmap6, Vmap7, Vmap8, Vmap9;
    // Discontinuous vertex maps (113-121).
    LwObjectSlot Vmad0, Vmad1, Vmad2, Vmad3, Vmad4, Vmad5, Vmad6, Vmad7, Vmad8;
    // Polygon tags (122-131).
    LwObjectSlot Ptag0, Ptag1, Ptag2, Ptag3, Ptag4, Ptag5, Ptag6, Ptag7;
    LwObjectSlot CopyPolygonTags;
    LwObjectSlot Ptag9;
    // Per-point and per-polygon data (132-141).
    LwObjectSlot Data0, Data1, Data2, Data3;
    LwObjectSlot ReleasePointData;
    LwObjectSlot Data5, Data6, Data7, Data8, Data9;
    // Whole-object operations (142-154).
    LwObjectSlot TranslateLwObject, ScaleLwObject, TriangulatePolygonAt, TriangulateLayer, SortLwObjectPolygons,
        SortLwObjectSurfaces;
    int32_t (*LoadLwObject)(LwObject* object, const char* fileName, int32_t type, const LwLoadOptions* options);
    LwObjectSlot SaveLwObject;
    LwObject* (*CloneLwObject)(LwObject* object);
    LwObjectSlot DumpLwObject;
    const char* (*GetLastErrorText)(LwObject* object);
    void (*Trace)(LwObject* object, const char* format, ...);
    const char* (*GetVersionText)(const void* context);
};
static_assert(sizeof(LwObjectOperations) == 155 * sizeof(void*), "object table has 155 positions");

enum : uint32_t { LW_OBJECT_CLONE = 1 };

struct LwObject {
    char FileName[256];
    char MessageText[256];  // detail of the last error (the file that failed to open)
    int32_t ErrorCode;
    int32_t FileType;  // LwObjectFileType
    int32_t StateWord;
    FILE* TraceFile;  // none unless a caller sets one
    double AnimationTime;
    uint32_t Flags;  // LW_OBJECT_CLONE in a clone sharing another context's data
    MemoryTracker*
        Tracker;  // NULL until a caller records: it sets one made by CreateMemoryTracker; freed with the context
    LwLayer* Layers;
    LwLayer* CurrentLayer;
    int32_t NumLayers;
    int32_t NumSurfaces;
    LwObjectOperations Op;
};

LwObject* CreateLwObject(uint32_t flags);
// Loads LWO2, then LWOB; NULL when neither loads (the context is then destroyed).
LwObject* OpenLwObjectFile(const char* path, const LwLoadOptions* options);
void DestroyLwObject(LwObject** object);

// The text of the object's error code; the code is then cleared, so an error is reported once.
const char* GetLastErrorText(LwObject* object);

int32_t ReadLwobFile(LwObject* object, const char* fileName, int32_t readerOption);
int32_t ReadLwo2File(LwObject* object, const char* fileName, int32_t readerOption);

// Writes the four characters of the identifier, most significant first, and a NUL into buffer.
char* IdToText(uint32_t id, char buffer[5]);
