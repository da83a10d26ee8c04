// The object context of the LightWave import library: one object file's database with its own
// table of operations. Records of one kind live in arrays addressed by index, so a record pointer
// stays valid only until the next addition of that kind.
#pragma once

#include "lightwave/LwSupport.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <vector>

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

// Four-character identifiers as numbers, the first character most significant.
typedef uint32_t LwId;
constexpr LwId LwMakeId(char a, char b, char c, char d) {
    return ((LwId)(uint8_t)a << 24) | ((LwId)(uint8_t)b << 16) | ((LwId)(uint8_t)c << 8) | (LwId)(uint8_t)d;
}
constexpr LwId LW_ID_FACE = LwMakeId('F', 'A', 'C', 'E');
constexpr LwId LW_ID_CURV = LwMakeId('C', 'U', 'R', 'V');
constexpr LwId LW_ID_PTCH = LwMakeId('P', 'T', 'C', 'H');
constexpr LwId LW_ID_MBAL = LwMakeId('M', 'B', 'A', 'L');
constexpr LwId LW_ID_BONE = LwMakeId('B', 'O', 'N', 'E');
constexpr LwId LW_ID_SURF = LwMakeId('S', 'U', 'R', 'F');

struct LwMaterial;
struct LwObject;

struct LwPoint {
    void* UserData;  // the point's slice of the layer's user-data block, or its polygon list
    int32_t Edge;    // an edge starting here, -1 until BuildEdges
    double Xyz[3];
};

// Per-vertex texture-coordinate indices of one channel of a polygon.
struct LwTexChannel {
    uint16_t KeyA;                 // channel bit
    uint16_t KeyB;                 // texture layer
    std::vector<int32_t> Indices;  // one per vertex
};

struct LwPolygon {
    void* UserData;    // the polygon's slice of the layer's user-data block
    int32_t MeshEdge;  // entry edge while the mesh builder runs
    uint16_t Flags;    // as the file readers store them
    int32_t Used;      // 1 once the mesh builder has put it into a mesh
    int32_t Index;
    const char* SurfaceName;  // the text of the polygon's SURF tag, so a renamed tag reaches it
    int32_t SurfaceId;
    std::vector<int32_t> Points;         // the vertex count is Points.size()
    std::vector<int32_t> NormalIndices;  // empty, or one per vertex
    std::vector<int32_t> ColorIndices;   // empty, or one per vertex
    int32_t SelectedTexChannel;          // position in TexChannels, -1 for none
    int32_t Edge;                        // an edge of the polygon, -1 until BuildEdges
    std::vector<LwTexChannel> TexChannels;
    double Normal[3];

    int32_t VertexCount() const { return (int32_t)Points.size(); }
};

struct LwPolygonTagMap {
    int32_t Index;
    LwId Type;
    std::vector<int32_t> Polygons;  // polygon of each entry
    std::vector<int32_t> TagIds;    // tag of each entry
    std::vector<int32_t> Slots;     // by polygon: its entry, -1 for none; the capacity of the map
};

struct LwVmap {
    int32_t Index;
    LwId Type;
    char Name[256];
    int32_t Dimension;
    std::vector<int32_t> Points;  // point of each entry
    std::vector<float> Values;    // Dimension floats per entry
    std::vector<int32_t> Slots;   // by point: its entry, -1 for none
};

struct LwVmadValue {
    int32_t Polygon;
    std::vector<float> Values;  // Dimension floats
};

struct LwVmadEntry {
    int32_t Point;
    std::vector<LwVmadValue> Values;  // one per polygon, in the order they were set
};

struct LwVmad {
    int32_t Index;
    LwId Type;
    LwId PolygonType;  // the working polygon type when the map was added
    char Name[256];
    int32_t Dimension;
    std::vector<LwVmadEntry> Entries;
    std::vector<int32_t> Slots;  // by point: its entry, -1 for none
};

struct LwEdge {
    int32_t P0, P1;  // as the first polygon with the edge runs along it
    int32_t PolR;    // that first polygon
    int32_t PolL;    // another polygon with the edge (the last one seen), -1 for none
    int32_t EdgeR;   // the next edge around PolR, -1 for none
    int32_t EdgeL;   // the next edge around PolL, -1 for none
};

// ---- per-vertex tables, per-element lists and meshes -------------------------------------------

struct LwNormal {
    void* UserData;  // the normal's slice of the layer's user-data block, or its polygon list
    double Xyz[3];
};

struct LwColor {
    void* UserData;
    float Rgba[4];  // 0 to 1
};

struct LwTexCoord {
    double Uvw[3];
};

// A user-data block of one element kind; Lists when its slices are LwPolygonList records.
struct LwUserBlock {
    uint8_t* Data;
    int32_t Size;  // bytes per element
    size_t Count;  // elements it was made for
    bool Lists;
};

// The polygons using a point (or a normal), with the corner at which each uses it.
struct LwPolygonList {
    int32_t Count;
    int32_t Capacity;
    int32_t* Polygons;
    int32_t* Vertices;
};

enum LwMeshKind : int32_t { LW_MESH_STRIP = 0, LW_MESH_FAN = 1, LW_MESH_LINE = 2, LW_MESH_POINTS = 3 };

struct LwMeshNode {
    int32_t Vertex;  // the corner of the polygon at the point, -1 when the polygon lacks it
    int32_t Point;
    int32_t Polygon;
};

// A drawing batch of one surface; Key orders by transparency, surface and kind.
struct LwMesh {
    uint32_t Key;
    int32_t SurfaceId;
    LwMeshKind Kind;
    std::deque<LwMeshNode> Nodes;  // grows at both ends

    int32_t NodeCount() const { return (int32_t)Nodes.size(); }
};

// LwMeshOptions::Flags and Flags2.
enum LwMeshFlag : uint32_t {
    LW_MESH_FANS_FIRST = 1,
    LW_MESH_SORT = 2,
    LW_MESH_REPEAT_VERTICES = 4,  // polygons whose corner attributes differ still join a strip
};
enum LwMeshFlag2 : uint32_t { LW_MESH_TRY_STARTS = 1 };

struct LwMeshOptions {
    uint32_t Flags;     // LwMeshFlag bits, default 0
    uint32_t Flags2;    // LwMeshFlag2 bits, default LW_MESH_TRY_STARTS
    int32_t MaxLength;  // triangles of a strip or fan, points of a line, nodes of a group; 0 for none
    int32_t MinFan;     // polygons at a point before it starts fans, and triangles of a kept fan
};

// ComputeNormals flags.
enum LwNormalFlag : int32_t {
    LW_NORMALS_SMOOTH_ALL = 1,  // smooth whatever the angle
    LW_NORMALS_PER_POINT = 2,   // one averaged normal per point, normal i at point i
    LW_NORMALS_SHARE = 4,       // equal normals at a point are added once
};

// LoadVertexColors flags.
enum LwVertexColorFlag : int32_t {
    LW_VCOLOR_SHARE = 1,  // equal colours at a point are added once
    LW_VCOLOR_BLEND = 2,  // RGBA maps blend over the material colour; surface colours when none load
};

// SetupTextureCoordinates and ReadUvFile flags.
enum LwTexCoordFlag : int32_t {
    LW_TEXCOORD_SHARE = 2,    // equal coordinates at a point are added once
    LW_TEXCOORD_UV_FILE = 8,  // the ".uv" companion file first
    LW_TEXCOORD_UV_COLORS = 16,
    LW_TEXCOORD_UV_NORMALS = 32,
};

// A corner's projected coordinates while one polygon is projected.
struct LwUvScratch {
    double Uvw[3];
    int32_t Point;
    const char* SurfaceName;
};

struct LwTextureLayer;

// A ".vcl" companion file as read: per point of the layer its entries, each the colour the point
// takes in one polygon.
struct LwVclEntry {
    int32_t Polygon;
    uint8_t Rgba[4];
};

struct LwVclFile {
    char FileName[256];
    int32_t Flags;  // LwVertexColorFlag bits of the call
    int32_t NumPoints;
    int32_t NumEntries;
    std::vector<int32_t> First;  // by point: its first entry
    std::vector<int32_t> Count;  // by point: its number of entries
    std::vector<LwVclEntry> Entries;
    int32_t Error;  // 0, or 2 when the file cannot be opened
};

// Reads the file named in vcl for the current layer: 0, 2 (not opened), 7 (not a vertex-colour
// file, a point count other than the layer's, a negative total, or points' counts past the total) or
// 1 (memory). A file that ends early, whatever total it states, keeps the entries it holds. Format faults are described
// in the object's MessageText and leave its error code at 0.
int32_t ReadVclFile(LwVclFile* vcl, LwObject* object);

// Reads the ".uv" file beside the object into the current layer's coordinates (channel 1, layer 0),
// with LwTexCoordFlag bits: 0 when it was applied, 2 when it cannot be opened, 7 for a format fault
// (described in MessageText; the error code stays 0 so that projections can run instead), 1 when
// memory runs out (recorded).
int32_t ReadUvFile(LwObject* object, int32_t flags);

// Polygons of one type with their tag maps.
struct LwPolygonGroup {
    LwId Type;
    std::vector<LwPolygon> Polygons;
    std::vector<LwPolygonTagMap> TagMaps;
};

constexpr int LW_POLYGON_GROUPS = 5;  // FACE, CURV, PTCH, MBAL, BONE

struct LwLayer {
    int32_t Position;      // place in the layer list, from 0
    int32_t LayerNumber;   // as read from the file
    int32_t ParentNumber;  // number of the parent layer, -1 for none
    char Name[256];
    uint32_t Flags;
    double Pivot[3];
    double BoundingBox[6];    // minimum x, y, z, maximum x, y, z
    LwId PolygonListType;     // the working polygon type, 0 until one is selected
    LwPolygonGroup* Working;  // the group the polygon operations act on
    std::vector<LwPoint> Points;
    std::vector<LwEdge> Edges;
    std::vector<LwVmap> Vmaps;
    std::vector<LwVmad> Vmads;
    // Per-vertex tables of the normal, colour and texture-coordinate passes, the mesh builder's
    // batches, and the per-element user-data blocks (zeroed, element i at i x size).
    std::vector<LwNormal> Normals;
    std::vector<LwColor> Colors;
    std::vector<LwTexCoord> TexCoords;
    std::vector<LwMesh> Meshes;
    LwUserBlock PointData, NormalData, PolygonData;
    LwPolygonGroup Groups[LW_POLYGON_GROUPS];
    LwLayer* Next;
};

struct LwTag {
    uint32_t Flags;  // 0; shown by the object dump
    int32_t Id;      // the tag count when it was added
    LwId Type;       // 0 for an untyped tag
    char Name[256];
    LwTag* Next;
};

enum : uint32_t { LW_SURFACE_NO_NORMALS = 1 };  // LwSurfaceEntry::Flags: left out of vertex normals

struct LwSurfaceEntry {
    uint32_t Flags;
    int32_t Id;  // the surface count when it was added
    char Name[512];
    char SourceName[512];  // the LWO2 surface this one was derived from, "" for none
    int32_t DataSize;
    uint8_t* Data;  // the surface's chunk body
    LwMaterial* Material;
    LwSurfaceEntry* Next;
};

struct LwClipEntry {
    int32_t Id;  // the index of the CLIP chunk
    int32_t DataSize;
    uint8_t* Data;  // the chunk body
    char Name[256];
    LwClipEntry* Next;
};

struct LwEnvelopeEntry {
    int32_t Index;  // the 16-bit index of the ENVL chunk
    int32_t DataSize;
    uint8_t* Data;  // the chunk body
    LwEnvelopeEntry* Next;
};

// Frees a detached copy of a surface entry, and its body unless the listed entry shares it.
void FreeSurfaceEntryCopy(LwObject* object, LwSurfaceEntry* copy);

// Row by row; points are row vectors with the translation in the fourth row.
typedef double LwMatrix[4][4];

void LwMatrixIdentity(LwMatrix m);
// a becomes b x a: b is applied first to a row vector.
void LwMatrixMultiply(LwMatrix a, const LwMatrix b);
void LwMatrixTransform(const LwMatrix m, const double in[3], double out[3]);
// Axis letters 'h'/'y', 'p'/'x', 'b'/'z'; any other letter rotates nothing.
void LwMatrixRotate(LwMatrix m, double angle, char axis);

struct LwObject;

// A position of the table whose operation the object database provides.
typedef void (*LwObjectSlot)();

// The 155 positions in their fixed order; position 95 stays empty. Every operation that needs a
// layer acts on the current one, and the polygon operations on its working polygon type.
struct LwObjectOperations {
    // Layers (0-15).
    LwLayer* (*AddLayer)(LwObject* object, const char* name);
    LwLayer* (*GetNextLayer)(LwObject* object, LwLayer* layer);
    LwLayer* (*GetLastLayer)(LwObject* object);
    int32_t (*GetNumLayers)(LwObject* object);
    int32_t (*SetCurrentLayer)(LwObject* object, int32_t position);
    LwLayer* (*GetLayer)(LwObject* object, int32_t position);
    int32_t (*GetLayerPivot)(LwObject* object, double out[3]);
    int32_t (*SetLayerPivot)(LwObject* object, const double pivot[3]);
    int32_t (*GetLayerParentName)(LwObject* object, char out[256]);
    int32_t (*SetLayerParentByName)(LwObject* object, const char* name);
    int32_t (*ComputeLayerBounds)(LwObject* object);
    int32_t (*GetLayerBounds)(LwObject* object, double out[6]);
    int32_t (*SetPolygonType)(LwObject* object, LwId type);
    int32_t (*StorePolygonType)(LwObject* object);
    LwId (*GetNextPolygonType)(LwObject* object, LwId type);
    int32_t (*FreeLayers)(LwObject* object);
    // Tags (16-20).
    int32_t (*GetNumTags)(LwObject* object);
    int32_t (*AddTag)(LwObject* object, const char* name, LwId type);
    LwTag* (*GetTag)(LwObject* object, int32_t id);
    LwTag* (*FindTag)(LwObject* object, const char* name, LwId type);
    int32_t (*FreeTags)(LwObject* object);
    // Points (21-24).
    int32_t (*GetNumPoints)(LwObject* object);
    int32_t (*AddPoint)(LwObject* object, const double xyz[3]);
    LwPoint* (*GetPoint)(LwObject* object, int32_t index);
    int32_t (*FreePoints)(LwObject* object);
    // Polygons (25-39).
    int32_t (*GetNumPolygons)(LwObject* object);
    int32_t (*GetNumPolygonVertices)(LwObject* object);
    int32_t (*AddPolygon)(LwObject* object, int32_t count, const int32_t* points, const char* surface);
    LwPolygon* (*GetPolygon)(LwObject* object, int32_t index);
    int32_t (*GetPolygonNormal)(LwObject* object, int32_t index, double out[3]);
    int32_t (*CountPolygonsWithSurface)(LwObject* object, const char* surface);
    int32_t (*SetPolygonSurface)(LwObject* object, int32_t index, const char* surface);
    int32_t (*SetPolygonPoints)(LwObject* object, int32_t index, int32_t count, const int32_t* points);
    int32_t (*SetPolygonNormalIndices)(LwObject* object, int32_t index, int32_t count, const int32_t* indices);
    int32_t (*SetPolygonTexIndices)(LwObject* object, int32_t index, int32_t count, const int32_t* indices);
    int32_t (*SetPolygonColorIndices)(LwObject* object, int32_t index, int32_t count, const int32_t* indices);
    int32_t (*RelinkPolygonSurfaces)(LwObject* object);
    LwTexChannel* (*SelectPolygonTexChannel)(LwObject* object, int32_t index, uint16_t keyA, uint16_t keyB);
    LwTexChannel* (*FindPolygonTexChannel)(LwObject* object, int32_t index, uint16_t keyA, uint16_t keyB);
    int32_t (*FreePolygons)(LwObject* object);
    // Normals (40-45).
    int32_t (*GetNumNormals)(LwObject* object);
    int32_t (*AddNormal)(LwObject* object, const double xyz[3]);
    int32_t (*FindOrAddPointNormal)(LwObject* object, int32_t point, const double xyz[3]);
    LwNormal* (*GetNormal)(LwObject* object, int32_t index);
    int32_t (*ComputeNormals)(LwObject* object, int32_t flags);
    int32_t (*FreeNormals)(LwObject* object);
    // Texture coordinates (46-55).
    int32_t (*GetNumTexCoords)(LwObject* object);
    int32_t (*AddTexCoord)(LwObject* object, double u, double v, double w);
    int32_t (*FindOrAddPointTexCoord)(LwObject* object, int32_t point, double u, double v, double w);
    LwTexCoord* (*GetTexCoord)(LwObject* object, int32_t index);
    int32_t (*SetTexCoord)(LwObject* object, int32_t index, double u, double v, double w);
    int32_t (*SetupTextureCoordinates)(LwObject* object, uint16_t channelMask, uint16_t layerCount, int32_t flags);
    int32_t (*GenerateTexCoords)(LwObject* object, uint16_t channel, uint16_t layer, int32_t flags);
    int32_t (*ProjectPolygonTexCoords)(LwObject* object, const LwTextureLayer* texture, int32_t polygon,
                                       LwUvScratch* scratch);
    int32_t (*ReadUvFile)(LwObject* object, int32_t flags);
    int32_t (*FreeTexCoords)(LwObject* object);
    // Vertex colours (56-62).
    int32_t (*GetNumColors)(LwObject* object);
    int32_t (*AddColorBytes)(LwObject* object, uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha);
    int32_t (*AddColor)(LwObject* object, float red, float green, float blue, float alpha);
    int32_t (*FindOrAddPointColor)(LwObject* object, int32_t point, float red, float green, float blue, float alpha);
    LwColor* (*GetColor)(LwObject* object, int32_t index);
    int32_t (*LoadVertexColors)(LwObject* object, int32_t flags);
    int32_t (*FreeColors)(LwObject* object);
    // Surfaces (63-70).
    int32_t (*GetNumSurfaces)(LwObject* object);
    const char* (*AddSurface)(LwObject* object, const char* name);
    LwSurfaceEntry* (*FindSurface)(LwObject* object, const char* name);
    const char* (*GetNextSurfaceName)(LwObject* object, const char* name);
    LwSurfaceEntry* (*GetSurfaceById)(LwObject* object, int32_t id);
    int32_t (*SetSurfaceData)(LwObject* object, const char* name, int32_t size, const void* bytes);
    int32_t (*RenameSurface)(LwObject* object, const char* oldName, const char* newName);
    int32_t (*FreeSurfaces)(LwObject* object);
    // Materials (71-77).
    LwMaterial* (*CreateMaterial)(LwObject* object, const char* name);
    LwMaterial* (*GetEvaluatedMaterial)(LwObject* object, int32_t surfaceId);
    int32_t (*CountTextureLayers)(LwObject* object, int32_t surfaceId, int32_t channel);
    int32_t (*FreeMaterial)(LwObject* object, LwMaterial* material);
    LwTextureLayer* (*AddTextureLayer)(LwObject* object, LwMaterial* material);
    LwTextureLayer* (*GetTextureLayer)(LwObject* object, LwMaterial* material, uint16_t channel, int32_t index);
    int32_t (*SelectTextureLayer)(LwObject* object, uint16_t channel, int32_t index);
    // Clips (78-86).
    int32_t (*GetNumClips)(LwObject* object);
    int32_t (*GetNextClipId)(LwObject* object);
    int32_t (*AddClip)(LwObject* object, int32_t id);
    int32_t (*SetClipData)(LwObject* object, int32_t position, int32_t size, const void* bytes);
    LwClipEntry* (*GetClip)(LwObject* object, int32_t position);
    int32_t (*GetClipPosition)(LwObject* object, int32_t id);
    int32_t (*SetClipName)(LwObject* object, int32_t position, const char* name);
    int32_t (*FindClipByName)(LwObject* object, const char* name);
    int32_t (*FreeClips)(LwObject* object);
    // Envelopes (87-91).
    int32_t (*GetNumEnvelopes)(LwObject* object);
    int32_t (*AddEnvelope)(LwObject* object, uint16_t index);
    int32_t (*SetEnvelopeData)(LwObject* object, int32_t position, int32_t size, const void* bytes);
    LwEnvelopeEntry* (*GetEnvelope)(LwObject* object, int32_t position);
    int32_t (*FreeEnvelopes)(LwObject* object);
    // Edges (92-96), position 95 empty.
    int32_t (*GetNumEdges)(LwObject* object);
    LwEdge* (*GetEdge)(LwObject* object, int32_t index);
    int32_t (*BuildEdges)(LwObject* object);
    LwObjectSlot Empty;
    int32_t (*FreeEdges)(LwObject* object);
    // Meshes (97-102).
    int32_t (*GetNumMeshes)(LwObject* object);
    LwMesh* (*GetMesh)(LwObject* object, int32_t index);
    LwMeshNode* (*GetMeshNode)(LwObject* object, int32_t mesh, int32_t n);
    int32_t (*BuildMeshes)(LwObject* object, const LwMeshOptions* options);
    int32_t (*FreeMeshes)(LwObject* object);
    int32_t (*SortMeshes)(LwObject* object);
    // Vertex maps (103-112).
    int32_t (*GetNumVmaps)(LwObject* object, LwId type);
    LwVmap* (*GetNextVmap)(LwObject* object, LwVmap* previous, LwId type);
    int32_t (*AddVmap)(LwObject* object, LwId type, const char* name, int32_t dimension);
    int32_t (*SetVmapValue)(LwObject* object, int32_t map, int32_t point, const float* values);
    LwVmap* (*FindVmap)(LwObject* object, LwId type, const char* name);
    float* (*GetVmapValue)(LwObject* object, LwVmap* map, int32_t point);
    int32_t (*DeleteVmaps)(LwObject* object, LwId type);
    int32_t (*DeleteVmap)(LwObject* object, int32_t index);
    int32_t (*ClearVmap)(LwObject* object, int32_t index);
    int32_t (*RenameVmap)(LwObject* object, int32_t index, const char* name);
    // Discontinuous vertex maps (113-121).
    int32_t (*GetNumVmads)(LwObject* object, LwId type);
    LwVmad* (*GetNextVmad)(LwObject* object, LwVmad* previous, LwId type);
    int32_t (*AddVmad)(LwObject* object, LwId type, const char* name, int32_t dimension);
    int32_t (*SetVmadValue)(LwObject* object, int32_t map, int32_t point, int32_t polygon, const float* values);
    LwVmad* (*FindVmad)(LwObject* object, LwId type, const char* name);
    float* (*GetVmadValue)(LwObject* object, LwVmad* map, int32_t point, int32_t polygon);
    int32_t (*DeleteVmads)(LwObject* object, LwId type);
    int32_t (*DeleteVmad)(LwObject* object, int32_t index);
    int32_t (*ClearVmad)(LwObject* object, int32_t index);
    // Polygon tags (122-131).
    int32_t (*GetNumPolygonTagMaps)(LwObject* object, LwId type);
    LwPolygonTagMap* (*GetNextPolygonTagMap)(LwObject* object, LwPolygonTagMap* previous, LwId type);
    int32_t (*AddPolygonTagMap)(LwObject* object, LwId type);
    const char* (*SetPolygonTag)(LwObject* object, int32_t polygon, LwId type, const char* name);
    LwPolygonTagMap* (*GetPolygonTagMap)(LwObject* object, int32_t index);
    LwPolygonTagMap* (*FindPolygonTagMapOf)(LwObject* object, LwPolygonTagMap* previous, int32_t polygon, LwId type);
    LwTag* (*GetPolygonTag)(LwObject* object, LwPolygonTagMap* map, int32_t polygon);
    int32_t (*DeletePolygonTagMaps)(LwObject* object, LwId type);
    int32_t (*CopyPolygonTags)(LwObject* object, int32_t from, int32_t to);
    int32_t (*DeletePolygonTagMap)(LwObject* object, int32_t index);
    // Per-point and per-polygon data (132-141).
    int32_t (*AllocPolygonUserData)(LwObject* object, int32_t size);
    int32_t (*AllocPointUserData)(LwObject* object, int32_t size);
    int32_t (*AllocNormalUserData)(LwObject* object, int32_t size);
    int32_t (*FreePolygonUserData)(LwObject* object);
    int32_t (*FreePointUserData)(LwObject* object);
    int32_t (*FreeNormalUserData)(LwObject* object);
    int32_t (*BuildPointPolygonLists)(LwObject* object);
    int32_t (*BuildNormalPolygonLists)(LwObject* object);
    int32_t (*FreePointPolygonLists)(LwObject* object);
    int32_t (*FreeNormalPolygonLists)(LwObject* object);
    // Whole-object operations (142-154).
    int32_t (*TranslateLwObject)(LwObject* object, double dx, double dy, double dz);
    int32_t (*ScaleLwObject)(LwObject* object, double sx, double sy, double sz);
    int32_t (*TriangulatePolygonAt)(LwObject* object, int32_t index, int32_t option);
    int32_t (*TriangulateLayer)(LwObject* object, int32_t option);
    int32_t (*SortLwObjectPolygons)(LwObject* object);
    int32_t (*SortLwObjectSurfaces)(LwObject* object);
    int32_t (*LoadLwObject)(LwObject* object, const char* fileName, int32_t type, const LwLoadOptions* options);
    int32_t (*SaveLwObject)(LwObject* object, const char* fileName, int32_t type, int32_t writerOption);
    LwObject* (*CloneLwObject)(LwObject* object);
    void (*DumpLwObject)(LwObject* object, FILE* stream);
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
    // NULL until a caller records: it sets one made by CreateMemoryTracker; freed with the context.
    MemoryTracker* Tracker;
    int32_t NumLayers;
    int32_t NumSurfaces;  // also the next surface id
    int32_t NumClips;
    int32_t NumTags;  // also the next tag id
    int32_t NumEnvelopes;
    LwLayer* Layers;
    LwLayer* CurrentLayer;
    LwTag* Tags;
    LwClipEntry* Clips;
    LwSurfaceEntry* Surfaces;
    LwEnvelopeEntry* Envelopes;
    LwObjectOperations Op;
};

LwObject* CreateLwObject(uint32_t flags);
// Loads LWO2, or LWOB when the file is not an LWO2 form, with the post-load passes of options (the
// defaults run none); NULL when the read or a pass fails (the context is then destroyed).
LwObject* OpenLwObjectFile(const char* path, const LwLoadOptions* options);
void DestroyLwObject(LwObject** object);

// The text of the object's error code; the code is then cleared, so an error is reported once.
const char* GetLastErrorText(LwObject* object);

int32_t ReadLwobFile(LwObject* object, const char* fileName, int32_t readerOption);
int32_t ReadLwo2File(LwObject* object, const char* fileName, int32_t readerOption);

// Writes the four characters of the identifier, most significant first, and a NUL into buffer.
char* IdToText(uint32_t id, char buffer[5]);

// ---- object files, surface conversion and whole-object operations ------------------------------

int32_t WriteLwobFile(LwObject* object, const char* fileName, int32_t writerOption);
int32_t WriteLwo2File(LwObject* object, const char* fileName, int32_t writerOption);

// A detached copy of a surface entry whose body is in the form of fileType (LW_FILE_LWOB or
// LW_FILE_LWO2); it shares the entry's body when no conversion is needed. Release it with
// FreeSurfaceEntryCopy. NULL when there is no such surface or memory runs out.
LwSurfaceEntry* ConvertSurfaceFormat(LwObject* object, const LwSurfaceEntry* entry, int32_t fileType);
LwSurfaceEntry* ConvertSurfaceById(LwObject* object, int32_t id, int32_t fileType);
LwSurfaceEntry* ConvertSurfaceByName(LwObject* object, const char* name, int32_t fileType);

// The object as text: layers with their points, maps and polygons, then surfaces, tags, clips and
// envelopes. Leaves the last layer current; nothing for a NULL stream.
void DumpLwObject(LwObject* object, FILE* stream);

// Options of the triangulator (LwLoadOptions::TriangulateOption).
enum : int32_t {
    LW_TRIANGULATE_KEEP_QUADS = 1,   // polygons of four corners are left as they are
    LW_TRIANGULATE_KEEP_CONVEX = 2,  // convex (and self-crossing) polygons are left as they are
};
