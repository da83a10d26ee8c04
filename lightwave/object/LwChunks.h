// Parsed forms of the chunk bodies the object database keeps as raw bytes: LWO2 surfaces with their
// texture blocks, LWO2 clips and envelopes, LWOB surfaces, and the compact envelopes evaluated over
// time. Each body parses into records, recomputes its sub-chunk lengths, packs back in one fixed
// order and dumps as text. Parsing never fails: unknown sub-chunks are logged and skipped, every
// sub-chunk is clipped to its body and the reader re-seeks to the end its length states.
#pragma once

#include "lightwave/object/LwIff.h"
#include "lightwave/object/LwObject.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// One parsed sub-chunk. Its fields are kept by kind, each kind in file order: a VEC12 takes three
// floats; U1, U2, I2 (sign-extended), U4, ID4 and VX fields are integers.
struct LwSubChunk {
    LwId Id;
    uint16_t Length;  // as read; the size operations replace it by the length it is written with
    float Float[4];
    uint32_t Int[6];
    std::string Text[2];         // S0 fields, each bounded by its record's text size
    std::vector<float> Floats;   // F4 values up to the end of the sub-chunk (VALU, FTPS, SPAN)
    std::vector<uint32_t> Ints;  // I2 (ITPS) or VX (ETPS) values up to the end
    std::vector<uint8_t> Data;   // raw bytes up to the end (FUNC, IFLT, PFLT, CHAN, SDAT)
};
using LwSubChunkPtr = std::unique_ptr<LwSubChunk>;

// Arrays of records counted in 16 bits (blocks, keys, channels, textures, shaders) stop growing here.
constexpr size_t LW_MAX_RECORDS = 0xFFFF;

// ---- LWO2 surfaces and texture blocks -----------------------------------------------------------

enum Lwo2SurfaceSlot : int {
    LW_SURF_COLR,
    LW_SURF_DIFF,
    LW_SURF_LUMI,
    LW_SURF_SPEC,
    LW_SURF_REFL,
    LW_SURF_TRAN,
    LW_SURF_TRNL,
    LW_SURF_SHRP,
    LW_SURF_GLOS,
    LW_SURF_BUMP,
    LW_SURF_SMAN,
    LW_SURF_RFOP,
    LW_SURF_SIDE,
    LW_SURF_RIMG,
    LW_SURF_RSAN,
    LW_SURF_RIND,
    LW_SURF_CLRH,
    LW_SURF_TROP,
    LW_SURF_TIMG,
    LW_SURF_TSAN,
    LW_SURF_CLRF,
    LW_SURF_ADTR,
    LW_SURF_AVAL,
    LW_SURF_GVAL,
    LW_SURF_GLOW,
    LW_SURF_LINE,
    LW_SURF_LCOL,
    LW_SURF_LSIZ,
    LW_SURF_ALPH,
    LW_SURF_CMNT,
    LW_SURF_VCOL,
    LW_SURF_RBLR,
    LW_SURF_TBLR,
    LW_SURF_SLOTS
};

enum Lwo2BlockSlot : int {
    LW_BLOK_PROJ,
    LW_BLOK_AXIS,
    LW_BLOK_FLAG,
    LW_BLOK_IMAG,
    LW_BLOK_WRAP,
    LW_BLOK_WRPW,
    LW_BLOK_WRPH,
    LW_BLOK_VMAP,
    LW_BLOK_AAST,
    LW_BLOK_PIXB,
    LW_BLOK_STCK,
    LW_BLOK_TAMP,
    LW_BLOK_COLR,
    LW_BLOK_VALU,
    LW_BLOK_FTPS,
    LW_BLOK_ITPS,
    LW_BLOK_ETPS,
    LW_BLOK_GRST,
    LW_BLOK_GREN,
    LW_BLOK_FUNC,
    LW_BLOK_SLOTS
};

enum Lwo2HeaderSlot : int {
    LW_HEAD_CHAN,
    LW_HEAD_NAME,
    LW_HEAD_OPAC,
    LW_HEAD_ENAB,
    LW_HEAD_NEGA,
    LW_HEAD_AXIS,
    LW_HEAD_SLOTS
};
enum Lwo2MapSlot : int {
    LW_TMAP_CNTR,
    LW_TMAP_SIZE,
    LW_TMAP_ROTA,
    LW_TMAP_OREF,
    LW_TMAP_FALL,
    LW_TMAP_CSYS,
    LW_TMAP_SLOTS
};

struct Lwo2TextureHeader {
    uint16_t Length;
    std::string Ordinal;                  // at most 257 characters
    LwSubChunkPtr Chunks[LW_HEAD_SLOTS];  // a TYPE sub-chunk fills CHAN
};

struct Lwo2TextureMap {
    uint16_t Length;
    LwSubChunkPtr Chunks[LW_TMAP_SLOTS];
};

struct Lwo2SurfaceBlock {
    uint16_t Length;
    LwId HeaderType;  // IMAP, PROC, GRAD or SHDR; 0 without a header
    std::unique_ptr<Lwo2TextureHeader> Header;
    std::unique_ptr<Lwo2TextureMap> Map;
    LwSubChunkPtr Chunks[LW_BLOK_SLOTS];
};

struct Lwo2Surface {
    LwSubChunkPtr Chunks[LW_SURF_SLOTS];
    std::vector<Lwo2SurfaceBlock> Blocks;  // in file order
};

// Parses a surface body into surface, which is cleared first; the second form allocates it.
Lwo2Surface* ParseLwo2Surface(LwObject* object, uint32_t length, const void* body, Lwo2Surface* surface);
std::unique_ptr<Lwo2Surface> ParseLwo2Surface(LwObject* object, uint32_t length, const void* body);
// Sets every length field to the length it is written with and returns the body length.
uint32_t GetLwo2SurfaceSize(LwObject* object, Lwo2Surface* surface);
// Writes the body into dest, which holds GetLwo2SurfaceSize bytes; returns that length.
uint32_t PackLwo2Surface(LwObject* object, void* dest, Lwo2Surface* surface);
void DumpLwo2Surface(LwObject* object, Lwo2Surface* surface, FILE* stream);
void ClearLwo2Surface(LwObject* object, Lwo2Surface* surface);

// Texture blocks, used by the surface operations above.
uint32_t ParseSurfaceBlock(LwObject* object, uint32_t length, ChunkBuff* cb, Lwo2Surface* surface);
uint32_t GetSurfaceBlockSize(Lwo2SurfaceBlock* block);
uint32_t GetTextureHeaderSize(Lwo2TextureHeader* header);
uint32_t GetTextureMapSize(Lwo2TextureMap* map);
void PackSurfaceBlock(LwObject* object, Lwo2SurfaceBlock* block, ChunkBuff* cb);
void PackTextureHeader(LwId type, Lwo2TextureHeader* header, ChunkBuff* cb);  // lengths from the Get...Size calls
void PackTextureMap(Lwo2TextureMap* map, ChunkBuff* cb);
void DumpSurfaceBlock(LwObject* object, const Lwo2SurfaceBlock* block, FILE* stream);
void DumpTextureHeader(LwId type, const Lwo2TextureHeader* header, FILE* stream);
void DumpTextureMap(const Lwo2TextureMap* map, FILE* stream);
// The n-th block (from 0) whose header channel is channel and which has an IMAG; NULL if none.
Lwo2SurfaceBlock* FindSurfaceImageBlock(LwObject* object, Lwo2Surface* surface, LwId channel, int32_t n);

// ---- LWO2 clips ---------------------------------------------------------------------------------

enum Lwo2ClipSlot : int {
    LW_CLIP_STIL,
    LW_CLIP_ISEQ,
    LW_CLIP_ANIM,
    LW_CLIP_XREF,
    LW_CLIP_STCC,
    LW_CLIP_CONT,
    LW_CLIP_BRIT,
    LW_CLIP_SATR,
    LW_CLIP_HUE,
    LW_CLIP_GAMM,
    LW_CLIP_NEGA,
    LW_CLIP_CROP,
    LW_CLIP_ALPH,
    LW_CLIP_COMP,
    LW_CLIP_IFLT,
    LW_CLIP_PFLT,
    LW_CLIP_FLAG,
    LW_CLIP_TIME,
    LW_CLIP_AMOD,
    LW_CLIP_SLOTS
};

struct Lwo2Clip {
    LwSubChunkPtr Chunks[LW_CLIP_SLOTS];
};

struct LwobImageRef;

void ParseClip(LwObject* object, uint32_t length, const void* body, Lwo2Clip* clip);
uint32_t GetClipSize(LwObject* object, Lwo2Clip* clip);
uint32_t PackClip(LwObject* object, void* dest, Lwo2Clip* clip);
void DumpClip(LwObject* object, Lwo2Clip* clip, FILE* stream);
void ClearClip(LwObject* object, Lwo2Clip* clip);

// Display names are the image file names in native form, at most 255 characters.
constexpr int LW_CLIP_NAME_SIZE = 256;
void MakeClipDisplayName(LwObject* object, const Lwo2Clip* clip, char out[LW_CLIP_NAME_SIZE]);
// The display name of the clip with that id, or NULL (out then empty) when there is none.
const char* GetClipDisplayName(LwObject* object, int32_t id, char out[LW_CLIP_NAME_SIZE]);
// Names the clip at position after its body; the position, or -1 when there is no clip there.
int32_t CompleteClip(LwObject* object, int32_t position);
int32_t FindClipByDisplayName(LwObject* object, const char* name);  // the id, 0 when none
int32_t AddStillClip(LwObject* object, const char* fileName);       // the id of the clip
void MakeClipFromImage(LwObject* object, Lwo2Clip* clip, const LwobImageRef* image);
int32_t AddImageClip(LwObject* object, const LwobImageRef* image);  // the id of the clip

// ---- LWO2 envelopes -----------------------------------------------------------------------------

struct Lwo2EnvelopeSpan {
    uint16_t Length;
    LwId Type;  // curve type: "TCB ", "HERM", "BEZI", "LINE", "STEP", "BEZ2"
    float Params[4];
    uint16_t Count;
};

struct Lwo2EnvelopeKey {
    uint16_t Length;  // always 8
    float Time;
    float Value;
    Lwo2EnvelopeSpan Span;  // empty until a SPAN follows the key
};

struct Lwo2Envelope {
    LwSubChunkPtr Name, Pre, Type, Post;
    std::vector<Lwo2EnvelopeKey> Keys;  // in file order
    std::vector<LwSubChunk> Channels;   // CHAN: server name, flags, data
};

void ParseEnvelope(LwObject* object, uint32_t length, const void* body, Lwo2Envelope* envelope);
Lwo2EnvelopeKey* AddEnvelopeKey(Lwo2Envelope* envelope);  // NULL when the key count is full
uint32_t GetEnvelopeSize(LwObject* object, Lwo2Envelope* envelope);
void DumpEnvelope(LwObject* object, Lwo2Envelope* envelope, FILE* stream);
void ClearEnvelope(LwObject* object, Lwo2Envelope* envelope);

// ---- envelope evaluation ------------------------------------------------------------------------

// p0-p2 tension, continuity, bias of TCB keys; p0-p3 the handles of 2D Bezier keys; p3 and p4 the
// incoming and outgoing slopes of Hermite and Bezier keys, and those the builder computes.
struct LwEvalKey {
    float Value;
    float Time;
    LwKeyShape Shape;
    float P[6];
    LwEvalKey* Next;
    LwEvalKey* Prev;
};

struct LwEvalEnvelope {
    LwEvalEnvelope() = default;
    LwEvalEnvelope(const LwEvalEnvelope&) = delete;  // the keys link into their own array
    LwEvalEnvelope& operator=(const LwEvalEnvelope&) = delete;

    LwEvalKey* SearchStart = nullptr;  // where the next evaluation starts looking
    std::vector<LwEvalKey> Keys;
    LwEnvelopeBehavior Pre = LW_BEHAVIOR_CONSTANT;
    LwEnvelopeBehavior Post = LW_BEHAVIOR_CONSTANT;
    std::unique_ptr<LwEvalEnvelope> Next;  // green then blue (or y then z) of a three-part value
    // Owned by the library: set by the builder, found again by the next evaluation when unknown. A
    // caller that writes a key time sets it back to LW_KEYS_ORDER_UNKNOWN.
    LwKeyOrder KeyOrder = LW_KEYS_ORDER_UNKNOWN;
};

// The envelope at that position of the object's list, built for evaluation; NULL when none.
std::unique_ptr<LwEvalEnvelope> BuildEvalEnvelope(LwObject* object, int32_t position);
void FreeEvalEnvelope(LwObject* object, std::unique_ptr<LwEvalEnvelope>* envelope);
float EvaluateEnvelope(LwEvalEnvelope* envelope, float time);

// ---- LWOB surfaces ------------------------------------------------------------------------------

enum LwobSurfaceSlot : int {
    LWOB_COLR,
    LWOB_FLAG,
    LWOB_DIFF,
    LWOB_LUMI,
    LWOB_SPEC,
    LWOB_REFL,
    LWOB_TRAN,
    LWOB_VDIF,
    LWOB_VLUM,
    LWOB_VSPC,
    LWOB_VRFL,
    LWOB_VTRN,
    LWOB_GLOS,
    LWOB_RFLT,
    LWOB_RSAN,
    LWOB_RIND,
    LWOB_EDGE,
    LWOB_SMAN,
    LWOB_GLOW,
    LWOB_ALPH,
    LWOB_SPBF,
    LWOB_SLOTS
};

enum LwobTextureSlot : int {
    LWOB_TFLG,
    LWOB_TREF,
    LWOB_TSIZ,
    LWOB_TCTR,
    LWOB_TFAL,
    LWOB_TVEL,
    LWOB_TCLR,
    LWOB_TVAL,
    LWOB_TAMP,
    LWOB_TFP0,
    LWOB_TFP1,
    LWOB_TFP2,
    LWOB_TFP3,
    LWOB_TFP4,
    LWOB_TIP0,
    LWOB_TIP1,
    LWOB_TIP2,
    LWOB_TIP3,
    LWOB_TIP4,
    LWOB_TSP0,
    LWOB_TSP1,
    LWOB_TSP2,
    LWOB_TSP3,
    LWOB_TSP4,
    LWOB_TFRQ,
    LWOB_TWRP,
    LWOB_TAAS,
    LWOB_TOPC,
    LWOB_TEXTURE_SLOTS
};

enum LwobImageSlot : int { LWOB_IMSQ, LWOB_FLYR, LWOB_IMCC, LWOB_IMAGE_SLOTS };

// An image named by RIMG, TIMG or TALP, with the sequence sub-chunks that follow it.
struct LwobImageRef {
    uint16_t Length;
    std::string Name;  // at most 257 characters
    LwSubChunkPtr Chunks[LWOB_IMAGE_SLOTS];
};

struct LwobTexture {
    LwId Type;  // CTEX, DTEX, LTEX, STEX, RTEX, TTEX or BTEX
    uint16_t Length;
    std::string TypeName;  // at most 257 characters
    LwSubChunkPtr Chunks[LWOB_TEXTURE_SLOTS];
    std::unique_ptr<LwobImageRef> Timg, Talp;
};

struct LwobShader {
    uint16_t Length;
    std::string Name;  // at most 257 characters
    LwSubChunkPtr Sdat;
};

struct LwobSurface {
    LwSubChunkPtr Chunks[LWOB_SLOTS];
    std::unique_ptr<LwobImageRef> Rimg;
    std::vector<LwobTexture> Textures;
    std::vector<LwobShader> Shaders;
};

LwobSurface* ParseLwobSurface(LwObject* object, uint32_t length, const void* body, LwobSurface* surface);
std::unique_ptr<LwobSurface> ParseLwobSurface(LwObject* object, uint32_t length, const void* body);
uint32_t GetLwobSurfaceSize(LwObject* object, LwobSurface* surface);
uint32_t PackLwobSurface(LwObject* object, void* dest, LwobSurface* surface);
void DumpLwobSurface(LwObject* object, LwobSurface* surface, FILE* stream);
void ClearLwobSurface(LwObject* object, LwobSurface* surface);
// The n-th texture (from 0) of that type that has a TIMG; NULL if none.
LwobTexture* FindLwobTexture(LwObject* object, LwobSurface* surface, LwId type, int32_t n);
// A new empty texture or shader at the end; NULL when the 16-bit count is full.
LwobTexture* AddLwobTexture(LwobSurface* surface);
LwobShader* AddLwobShader(LwobSurface* surface);

// ---- surface conversion between LWOB and LWO2 ---------------------------------------------------

// Each builds the other form's record (cleared first) from the parsed body and returns the length of
// the body it packs to. Values the target cannot hold are clamped to its range.
uint32_t LwobSurfaceToLwo2(LwObject* object, const LwobSurface* from, Lwo2Surface* to);
uint32_t Lwo2SurfaceToLwob(LwObject* object, const Lwo2Surface* from, LwobSurface* to);
void LwobTextureToBlock(LwObject* object, const LwobTexture* texture, Lwo2Surface* to);
void BlockToLwobTexture(LwObject* object, const Lwo2SurfaceBlock* block, LwobSurface* to);
// The texture map's references as LWOB texture records: CNTR, SIZE and FALL become TCTR, TSIZ and TFAL
// (envelopes dropped), a non-empty OREF becomes TREF; absent sources leave their records as they are.
void CopyMaterialImageRefs(const Lwo2TextureMap* source, LwSubChunkPtr* destination);

// Name tables: 1 for a listed name, else 0 with the name copied unchanged. An empty LWOB name means
// the procedural has no LWOB form on that channel.
int32_t ProceduralNameToLwo2(const char* name, char out[LW_CLIP_NAME_SIZE]);
int32_t ProceduralNameToLwob(const char* name, LwId channel, char out[LW_CLIP_NAME_SIZE]);
LwId ChannelToTextureId(LwId channel);  // "COLR" -> "CTEX" ...; 0 for none
LwId TextureIdToChannel(LwId texture);
const char* ProjectionToImageMapName(uint32_t projection);  // NULL above 4
uint32_t ImageMapNameToProjection(const char* name);        // 0 for an unlisted name
LwId ImageMapBlockType(const char* name);                   // "IMAP" for image maps, else "PROC"
// A new block at the end with the header ordinal "\x80" and ENAB 1; NULL when the count is full.
Lwo2SurfaceBlock* AddSurfaceBlock(Lwo2Surface* surface);
// The block's texture map, made with empty CNTR, ROTA, OREF, FALL, CSYS and SIZE (1, 1, 1).
Lwo2TextureMap* AddBlockTextureMap(Lwo2SurfaceBlock* block);
