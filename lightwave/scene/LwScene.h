// The scene half of the LightWave import library: ".lws" texts (versions 3 and 1) load into plain
// records; everything after the load goes through the table of operations inside the scene.
// Field order and the order of the table are the library's interface: callers read fields directly.
#pragma once

#include "lightwave/LwSupport.h"
#include "lightwave/object/LwObject.h"

#include <cstdint>
#include <cstdio>

// Item types (LwSceneItem::Type).
enum LwItemType : int32_t {
    LW_ITEM_UNKNOWN = 0,
    LW_ITEM_OBJECT = 1,
    LW_ITEM_LIGHT = 2,
    LW_ITEM_CAMERA = 3,
    LW_ITEM_BONE = 4,
};

// Channel numbers of an item's channel list.
enum LwChannelId : int32_t {
    LW_CHANNEL_POSITION_X = 0,
    LW_CHANNEL_POSITION_Y = 1,
    LW_CHANNEL_POSITION_Z = 2,
    LW_CHANNEL_HEADING = 3,
    LW_CHANNEL_PITCH = 4,
    LW_CHANNEL_BANK = 5,
    LW_CHANNEL_SCALE_X = 6,
    LW_CHANNEL_SCALE_Y = 7,
    LW_CHANNEL_SCALE_Z = 8,
};

// Groups of EvaluateMotion and SetMotion.
enum LwMotionGroup : int32_t {
    LW_MOTION_POSITION = 1,
    LW_MOTION_ROTATION = 5,
    LW_MOTION_SCALE = 6,
    LW_MOTION_PIVOT_POSITION = 7,
    LW_MOTION_PIVOT_ROTATION = 12,
};

// Load flags of LoadLwScene. The renderer passes LW_SCENE_MOTION_TO_CHANNELS alone.
enum LwSceneLoadFlags : uint32_t {
    LW_SCENE_LOAD_OBJECTS = 1,
    LW_SCENE_MOTION_TO_CHANNELS = 2,
};

// Plug-in classes.
enum : int32_t {
    LW_PLUGIN_UNKNOWN = 0,
    LW_PLUGIN_ITEM_MOTION = 1,
    LW_PLUGIN_DISPLACEMENT = 2,
    LW_PLUGIN_CHANNEL = 3,
    LW_PLUGIN_VOLUMETRIC = 4,
    LW_PLUGIN_ENVIRONMENT = 5,
    LW_PLUGIN_PIXEL_FILTER = 6,
    LW_PLUGIN_IMAGE_FILTER = 7,
    LW_PLUGIN_CUSTOM_OBJECT = 8,
    LW_PLUGIN_OBJECT_REPLACEMENT = 9,
    LW_PLUGIN_MASTER = 10,
};

// Item reference: type in bits 28-31, a bone's place among its object's bones in bits 16-27, the
// place among the items of the type (for a bone: its object's place) in bits 0-15. 0 = none.
typedef uint32_t LwItemRef;

struct LwPlugin {
    int32_t Class;
    int32_t Version;  // the index number the file gives with the plug-in
    char Name[256];   // server name
    int32_t Size;     // bytes of Data, terminators included
    char* Data;       // NUL-terminated strings end to end
    LwPlugin* Next;
};

struct LwEnvelopeKey {
    double Value;
    double Time;  // seconds
    int32_t Shape;
    double Tension;     // TCB tension; Hermite/Bezier incoming slope; 2D Bezier in-handle time
    double Continuity;  // TCB continuity; Hermite/Bezier outgoing slope; 2D Bezier in-handle value
    double Bias;        // TCB bias; 2D Bezier out-handle time
    double Param0;      // incoming tangent; 2D Bezier out-handle value
    double Param1;      // outgoing tangent
    double Param2;
    LwEnvelopeKey* Next;
    LwEnvelopeKey* Prev;
};

struct LwEnvelope {
    int32_t Channel;
    LwEnvelopeKey* CurrentKey;  // search cache
    LwEnvelopeKey* LastKey;
    LwEnvelopeKey* FirstKey;
    int32_t KeyCount;
    int32_t PreBehavior;
    int32_t PostBehavior;
    LwPlugin* Plugins;
    LwEnvelope* Next;
    // Owned by the library: the block the readers allocate the keys in.
    LwEnvelopeKey* KeyArray;
    int32_t KeyArraySize;
    // 1: the record and KeyArray lie in the scene's ChannelBlock; 2: as 1, and it heads an item's
    // channels 0 to 8 in order, one record each.
    int32_t Placement;
    // Owned by the library: whether the keys stand in time order, found by the first evaluation after a
    // load or an insertion. Only keys in order let a search start from the current key; a caller that
    // writes a key time out of order sets it back to LW_KEYS_ORDER_UNKNOWN.
    LwKeyOrder KeyOrder;
};

struct LwMotionKey {
    int32_t Step;   // frame number
    double* Value;  // the group last evaluated
    double Position[3];
    double Rotation[3];  // heading, pitch, bank in radians
    double Scale[3];
    double Tension;
    double Bias;
    double Continuity;
    int32_t Linear;
    LwMotionKey* Next;
    LwMotionKey* Prev;
};

struct LwKeyframeMotion {
    LwMotionKey* CurrentKey;
    LwMotionKey* LastKey;
    LwMotionKey* FirstKey;  // start of the key array
    int32_t KeyCount;
    int32_t EndBehavior;
    // Owned by the library: whether the keys' steps stand in order, as LwEnvelope::KeyOrder.
    LwKeyOrder KeyOrder;
};

struct LwExcludeLight {
    LwItemRef Light;
    LwExcludeLight* Next;
};

struct LwSceneObject {
    int32_t Kind;  // 0 "ObjectFile", 1 "NullObject"
    char FileName[256];
    int32_t Layer;  // from 1
    int32_t ShadowOptions;
    int32_t UnaffectedByFog;
    double MorphAmount;
    int32_t MorphTarget;
    int32_t MorphSurface;
    int32_t MTSEMorphing;
    int32_t DistanceDissolve;
    double MaxDissolveDistance;
    double ObjectDissolve;
    double PolygonSize;
    LwObject* Object;
    LwEnvelope* MorphEnvelope;
    LwEnvelope* DissolveEnvelope;
    LwEnvelope* PolygonSizeEnvelope;
    LwPlugin* Plugins;
    LwExcludeLight* ExcludeLights;
};

struct LwSceneLight {
    float LightColor[3];
    double LightIntensity;
    int32_t AfterCaustics;
    int32_t LightType;
    double LightConeAngle;
    double LightEdgeAngle;
    int32_t LightQuality;
    int32_t LightFalloffType;
    double LightRange;
    int32_t ShadowType;
    double ShadowMapAngle;
    int32_t AffectDiffuse;
    int32_t AffectSpecular;
    int32_t AffectCaustics;
    int32_t AffectOpenGL;
    LwEnvelope* LightColorEnvelope;  // red, green and blue chained through Next
    LwEnvelope* LightIntensityEnvelope;
    LwEnvelope* LightRangeEnvelope;
    LwEnvelope* LightConeAngleEnvelope;
    LwEnvelope* LightEdgeAngleEnvelope;
    LwEnvelope* ShadowMapAngleEnvelope;
};

struct LwSceneCamera {
    int32_t MotionBlur;
    int32_t DepthOfField;
    double BlurLength;
    double ZoomFactor;
    double FovAngles[2];  // horizontal, vertical (radians)
    double FocalDistance;
    double LensFStop;
    int32_t FrameSize[2];
    int32_t MaskPosition[4];
    int32_t SegmentMemory;
    int32_t Antialiasing;
    int32_t AdaptiveSampling;
    double ResolutionMultiplier;
    double PixelAspect;
    double ApertureHeight;
    double AdaptiveThreshold;
    LwEnvelope* ZoomFactorEnvelope;
    LwEnvelope* BlurLengthEnvelope;
    LwEnvelope* FocalDistanceEnvelope;
    LwEnvelope* LensFStopEnvelope;
};

struct LwSceneBone {
    int32_t BoneObject;
    int32_t BoneFalloffType;
    int32_t BoneActive;
    double BoneRestPosition[3];
    double BoneRestDirection[3];  // heading, pitch, bank
    double BoneRestLength;
    char BoneWeightMapName[256];
    int32_t BoneWeightMapOnly;
    int32_t BoneNormalization;
    double BoneStrength;
    double ScaleBoneStrength;
    int32_t BoneLimitedRange;
    double BoneMinRange;
    double BoneMaxRange;
    double BoneJointComp;
    double BoneJointCompParent;
    double BoneMuscleFlex;
    double BoneMuscleFlexParent;
    double BoneRestStart[3];
    double BoneRestEnd[3];
};

struct LwSceneItem {
    int32_t Type;
    int32_t Index;  // from 1, in the order added
    char Name[256];
    int32_t Refresh;
    int32_t Color;
    int32_t Channels;
    LwItemRef Parent;
    LwItemRef Target;
    LwItemRef Goal;
    int32_t FullTimeIK;
    int32_t MatchGoalOrientation;
    int32_t KeepGoalWithinReach;
    int32_t IKAnchor;
    double PathAlignLookAhead;
    double GoalStrength;
    double PivotPosition[3];
    double PivotRotation[3];
    double HLimits[2];
    double PLimits[2];
    double BLimits[2];
    double HJointStiffness;
    double PJointStiffness;
    double BJointStiffness;
    int32_t HController;
    int32_t PController;
    int32_t BController;
    union {  // the record of the item's type; none for UNKNOWN
        void* TypeRecord;
        LwSceneObject* Object;
        LwSceneLight* Light;
        LwSceneCamera* Camera;
        LwSceneBone* Bone;
    };
    LwKeyframeMotion* Motion;  // version 1 scenes
    LwEnvelope* ChannelList;
    LwPlugin* Plugins;
    int32_t LoadStatus;  // 2 when the object file failed to load
    LwSceneItem* Next;
};

struct LwSceneFog {
    int32_t FogType;  // 0 "Off", 1 "Linear", 2 "Nonlinear 1", 3 "Nonlinear 2"
    double FogMinDist;
    double FogMaxDist;
    double FogMinAmount;
    double FogMaxAmount;
    float FogColor[3];
    int32_t BackdropFog;
    LwEnvelope* FogMinDistEnvelope;
    LwEnvelope* FogMaxDistEnvelope;
    LwEnvelope* FogMinAmountEnvelope;
    LwEnvelope* FogMaxAmountEnvelope;
    LwPlugin* Plugins;
};

struct LwSceneBackdrop {
    int32_t SolidBackdrop;
    float BackdropColor[3];
    float ZenithColor[3];
    float SkyColor[3];
    float GroundColor[3];
    float NadirColor[3];
    LwPlugin* Plugins;
};

// Image clips of the composite record.
struct LwClipSequence {
    uint8_t Digits;
    uint8_t Flags;
    int16_t Start_frame;
    int16_t Loop_length;
    int16_t First_frame;
    int16_t Last_frame;
    char Prefix[255];
    char Suffix[255];
};

struct LwClipAnimation {
    char FileName[255];
    char ServerName[255];
    int16_t Offset;
};

struct LwClipReference {
    int32_t Index;
    char String[255];
    char Type[255];
    char Name[255];
    char Filename[255];
};

struct LwClipAdjust {
    float Value;
    int32_t EnvelopeCount;
    LwEnvelope* Envelopes;  // chained through Next
};

struct LwClipTimes {
    float InTime;
    float OutTime;
    float FrameRate;
    int32_t PreBehavior;
    int32_t PostBehavior;
};

struct LwClip {
    int32_t ClipType;  // 0 "Still", 1 "Sequence", 2 "Animation", 3 "Reference"
    char* StillName;   // 255-byte buffer
    LwClipSequence* Sequence;
    LwClipAnimation* Animation;
    LwClipReference* Reference;
    LwClipAdjust* Brightness;
    LwClipAdjust* Contrast;
    LwClipAdjust* Hue;
    LwClipAdjust* Gamma;
    LwClipAdjust* Saturation;
    LwClipTimes* Times;
    int32_t Flags;
    int32_t Negative;
    int32_t AlphaMode;
};

struct LwSceneComposite {
    LwClip* BGImage;
    LwClip* FGImage;
    LwClip* FGAlphaImage;
    double FGDissolve;
    int32_t FGFaderAlphaMode;
    int32_t ForegroundKey;
    float LowClipColor[3];
    float HighClipColor[3];
    LwEnvelope* FGDissolveEnvelope;
};

struct LwSceneProcessing {
    int32_t LimitDynamicRange;
    int32_t DitherIntensity;
    int32_t AnimatedDither;
    double Saturation;
    int32_t GlowEffect;
    double GlowIntensity;
    double GlowRadius;
    LwEnvelope* SaturationEnvelope;
    LwEnvelope* GlowIntensityEnvelope;
    LwEnvelope* GlowRadiusEnvelope;
    LwPlugin* PixelFilters;  // class 6
    LwPlugin* ImageFilters;  // class 7
};

struct LwSceneIllumination {
    float AmbientColor[3];
    double AmbientIntensity;
    double GlobalLightIntensity;
    double GlobalFlareIntensity;
    double RadiosityTolerance;
    double RadiosityMinSpacing;
    double CausticIntensity;
    int32_t EnableRadiosity;
    int32_t CacheRadiosity;
    int32_t RadiosityRays;
    int32_t EnableCaustics;
    int32_t CacheCaustics;
    int32_t CausticAccuracy;
    int32_t CausticSoftness;
    LwEnvelope* AmbientColorEnvelope;  // red, green and blue chained through Next
    LwEnvelope* AmbientIntensityEnvelope;
    LwEnvelope* GlobalLightIntensityEnvelope;
    LwEnvelope* GlobalFlareIntensityEnvelope;
    LwEnvelope* CausticIntensityEnvelope;
};

struct LwScene;

// The scene's table of operations, in its fixed order; each takes the scene first.
struct LwSceneOperations {
    LwSceneItem* (*GetFirstItem)(LwScene* scene, int32_t type, LwSceneItem* objectItem);
    LwSceneItem* (*GetNextItem)(LwScene* scene, LwSceneItem* item);
    LwSceneItem* (*GetParentItem)(LwScene* scene, LwSceneItem* item);
    LwSceneItem* (*GetTargetItem)(LwScene* scene, LwSceneItem* item);
    LwSceneItem* (*GetItemByIndex)(LwScene* scene, int32_t index);
    LwSceneItem* (*FindItemByName)(LwScene* scene, int32_t type, LwSceneItem* objectItem, const char* name);
    const char* (*GetItemDisplayName)(LwScene* scene, LwSceneItem* item);
    LwKeyframeMotion* (*GetItemMotion)(LwScene* scene, LwSceneItem* item);
    LwEnvelope* (*FindChannel)(LwScene* scene, LwSceneItem* item, int32_t channel);
    int32_t (*CountItems)(LwScene* scene, int32_t type, LwSceneItem* start);
    void (*EvaluateMotion)(LwScene* scene, LwSceneItem* item, int32_t group, double time, double out[3]);
    void (*SetMotion)(LwScene* scene, LwSceneItem* item, int32_t group, double time, const double in[3]);
    LwSceneObject* (*GetObjectRecord)(LwScene* scene, LwSceneItem* item);
    LwSceneBone* (*GetBoneRecord)(LwScene* scene, LwSceneItem* item);
    LwSceneLight* (*GetLightRecord)(LwScene* scene, LwSceneItem* item);
    LwSceneCamera* (*GetCameraRecord)(LwScene* scene, LwSceneItem* item);
    LwPlugin* (*GetNextPlugin)(LwScene* scene, LwPlugin* head, LwPlugin* current);
    LwSceneFog* (*GetFog)(LwScene* scene);
    LwSceneBackdrop* (*GetBackdrop)(LwScene* scene);
    LwSceneComposite* (*GetComposite)(LwScene* scene);
    LwSceneProcessing* (*GetProcessing)(LwScene* scene);
    LwSceneIllumination* (*GetIllumination)(LwScene* scene);
    int32_t (*LoadItemObject)(LwScene* scene, LwSceneItem* item);
    void (*DumpLwScene)(LwScene* scene, FILE* stream);
    const char* (*GetVersionText)(const void* context);
    int32_t (*SetParentItem)(LwScene* scene, LwSceneItem* item, LwSceneItem* parent);
    void (*EvaluateKeyframeMotion)(LwScene* scene, LwKeyframeMotion* motion, int32_t group, double frame,
                                   double out[3]);
    void (*EvaluateEnvelope)(LwScene* scene, LwEnvelope* envelope, double time, double* out);
    LwEnvelope* (*MotionToChannels)(LwScene* scene, LwKeyframeMotion* motion);
    LwEnvelopeKey* (*GetKeyValue)(LwScene* scene, LwEnvelope* envelope, double time);
    int32_t (*IsLightAffecting)(LwScene* scene, LwSceneItem* objectItem, LwSceneItem* lightItem);
    int32_t (*IsLightExcluded)(LwScene* scene, LwSceneItem* objectItem, LwItemRef light);
    int32_t (*ReadLine)(LwScene* scene, char* buffer, int32_t size);
    int32_t (*AppendText)(LwScene* scene, char** block, int32_t used, const char* text);
    int32_t (*SplitTokens)(LwScene* scene, char* line, int32_t count, char** tokens);
    void (*Trace)(LwScene* scene, const char* format, ...);
    LwSceneItem* (*AddObjectItem)(LwScene* scene, const char* keyword, int32_t layer, const char* text);
    LwSceneItem* (*AddItem)(LwScene* scene, int32_t type);
    LwSceneItem* (*SetItemName)(LwScene* scene, LwSceneItem* item, const char* name);
    LwSceneItem* (*SetItemShow)(LwScene* scene, LwSceneItem* item, int32_t refresh, int32_t color);
    LwSceneItem* (*SetPivotPosition)(LwScene* scene, LwSceneItem* item, double x, double y, double z);
    LwSceneItem* (*SetPivotRotation)(LwScene* scene, LwSceneItem* item, double h, double p, double b);
    LwSceneItem* (*SetParentRef)(LwScene* scene, LwSceneItem* item, LwItemRef ref);
    LwSceneItem* (*SetGoalRef)(LwScene* scene, LwSceneItem* item, LwItemRef ref);
    LwSceneItem* (*SetTargetRef)(LwScene* scene, LwSceneItem* item, LwItemRef ref);
    LwSceneItem* (*FindItemByNumber)(LwScene* scene, LwSceneItem* start, int32_t n, int32_t type);
    LwSceneItem* (*FindItemByRef)(LwScene* scene, int32_t type, int32_t index, int32_t bone);
    LwSceneItem* (*FindOwnerOfType)(LwScene* scene, int32_t index, int32_t type);
    LwSceneItem* (*GetBoneOwner)(LwScene* scene, LwSceneItem* bone);
    int32_t (*GetNameOrdinal)(LwScene* scene, LwSceneItem* item);
    LwSceneObject* (*NewObjectRecord)(LwScene* scene, int32_t layer, const char* fileName);
    LwSceneCamera* (*NewCameraRecord)(LwScene* scene);
    LwSceneLight* (*NewLightRecord)(LwScene* scene);
    LwSceneBone* (*NewBoneRecord)(LwScene* scene);
    LwPlugin* (*NewPlugin)(LwScene* scene, void* owner, int32_t pluginClass, int32_t index, const char* serverName);
    LwSceneFog* (*NewFog)(LwScene* scene);
    LwSceneCamera* (*ComputeFovAngles)(LwScene* scene, LwSceneCamera* camera);
    LwSceneBackdrop* (*NewBackdrop)(LwScene* scene);
    LwSceneComposite* (*NewComposite)(LwScene* scene);
    LwSceneProcessing* (*NewProcessing)(LwScene* scene);
    LwSceneIllumination* (*NewIllumination)(LwScene* scene);
    LwItemRef (*MakeItemRef)(LwScene* scene, LwSceneItem* item);
    LwExcludeLight* (*AddExcludeLight)(LwScene* scene, LwSceneItem* objectItem, LwItemRef light);
    void (*ComputeBoneRest)(LwScene* scene);
};
static_assert(sizeof(LwSceneOperations) == 64 * sizeof(void*), "scene table has 64 positions");

struct LwScene {
    const char* Text;
    const char* Cursor;
    const char* TextEnd;
    uint32_t TextLength;
    FILE* InputFile;  // closed after a good parse when present; the loader sets none
    FILE* TraceFile;  // LwScene::Trace writes here; none by default
    uint32_t LoadFlags;
    char FailedFileName[256];
    int32_t ErrorCode;
    MemoryTracker*
        Tracker;  // NULL until a caller records: it sets one made by CreateMemoryTracker; freed with the context
    LwLoadOptions* Options;
    int32_t NumItems;
    int32_t Version;
    int32_t FirstFrame;
    int32_t LastFrame;
    int32_t FrameStep;
    int32_t PreviewFirstFrame;
    int32_t PreviewLastFrame;
    int32_t PreviewFrameStep;
    double FramesPerSecond;
    int32_t CurrentFrame;
    int32_t CurrentObject;
    int32_t CurrentLight;
    int32_t CurrentCamera;
    LwSceneFog* Fog;
    LwSceneBackdrop* Backdrop;
    LwSceneComposite* Composite;
    LwSceneProcessing* Processing;
    LwSceneIllumination* Illumination;
    LwSceneItem* FirstItem;
    LwPlugin* MasterPlugins;
    LwSceneOperations Op;
    // Owned by the library.
    LwSceneItem* LastItem;
    LwPlugin* UnlinkedPlugins;      // plug-ins that belong to no record, freed with the scene
    char DisplayName[288];          // GetItemDisplayName's result
    void* ItemIndex;                // lookup tables over the items, rebuilt after items are added
    void* ChannelBlock;             // the items' channel envelopes and keys as loaded, in item order
    LwEnvelope* ChannelRecordsEnd;  // where the block's envelope records end and their keys begin
};

// Loads a scene text (it is read only during the call). NULL only when memory runs out; otherwise
// the caller checks ErrorCode (0 good, 7 not a scene of version 1 or 3, 2 an object file failed).
LwScene* LoadLwScene(const char* text, uint32_t length, uint32_t flags, const LwLoadOptions* options);
// Frees everything and sets the variable to NULL.
void FreeLwScene(LwScene** scene);
// The text dump (also the table's DumpLwScene); nothing for a NULL stream.
void DumpLwScene(LwScene* scene, FILE* stream);
