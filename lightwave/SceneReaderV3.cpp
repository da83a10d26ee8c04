// Version 3 scene texts: one keyword and its values per line, routed to the current item or
// record of its kind. Unknown keywords, and keywords whose target does not exist yet, are skipped.
#include "lightwave/LwScene.h"
#include "lightwave/SceneInternal.h"
#include "lightwave/SceneReaderCommon.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace {

using namespace lw_reader;

struct V3 : ReaderState {};

typedef void (*Handler)(V3& r, char* rest);

// Keyword table. Keywords are distinct, so a lookup finds what the keyword chain would.
const std::unordered_map<std::string_view, Handler>& Keywords() {
    static const std::unordered_map<std::string_view, Handler> table = {
        // Scene settings.
        {"FirstFrame", [](V3& r, char* v) { r.s->FirstFrame = LwParseInt(v); }},
        {"LastFrame", [](V3& r, char* v) { r.s->LastFrame = LwParseInt(v); }},
        {"FrameStep", [](V3& r, char* v) { r.s->FrameStep = LwParseInt(v); }},
        {"PreviewFirstFrame", [](V3& r, char* v) { r.s->PreviewFirstFrame = LwParseInt(v); }},
        {"PreviewLastFrame", [](V3& r, char* v) { r.s->PreviewLastFrame = LwParseInt(v); }},
        {"PreviewFrameStep", [](V3& r, char* v) { r.s->PreviewFrameStep = LwParseInt(v); }},
        {"FramesPerSecond", [](V3& r, char* v) { SetFramesPerSecond(r.s, v); }},
        {"CurrentFrame", [](V3& r, char* v) { r.s->CurrentFrame = LwParseInt(v); }},
        {"CurrentObject", [](V3& r, char* v) { r.s->CurrentObject = LwParseInt(v); }},
        {"CurrentLight", [](V3& r, char* v) { r.s->CurrentLight = LwParseInt(v); }},
        {"CurrentCamera", [](V3& r, char* v) { r.s->CurrentCamera = LwParseInt(v); }},
        // Items.
        {"AddNullObject", [](V3& r, char* v) { r.AddObject("AddNullObject", 1, v); }},
        {"LoadObjectLayer",
         [](V3& r, char* v) {
             char* t[2];
             int n = r.Split(v, 2, t);
             r.AddObject("LoadObjectLayer", n > 0 ? LwParseInt(t[0]) : 0, n > 1 ? t[1] : "");
         }},
        {"ShowObject", [](V3& r, char* v) { r.Show(r.objectItem, v); }},
        {"ExcludeLight",
         [](V3& r, char* v) {
             if (r.objectItem) r.s->Op.AddExcludeLight(r.s, r.objectItem, (LwItemRef)LwParseHex(v));
         }},
        {"ObjectMotion", [](V3& r, char*) { r.Channels(r.objectItem); }},
        {"AddBone", [](V3& r, char*) { r.AddBone(); }},
        {"BoneName", [](V3& r, char* v) { r.Name(r.boneItem, v); }},
        {"ShowBone", [](V3& r, char* v) { r.Show(r.boneItem, v); }},
        {"BoneMotion", [](V3& r, char*) { r.Channels(r.boneItem); }},
        {"AddLight", [](V3& r, char*) { r.AddLight(); }},
        {"LightName", [](V3& r, char* v) { r.Name(r.lightItem, v); }},
        {"ShowLight", [](V3& r, char* v) { r.Show(r.lightItem, v); }},
        {"LightMotion", [](V3& r, char*) { r.Channels(r.lightItem); }},
        {"AddCamera", [](V3& r, char*) { r.AddCamera(); }},
        {"CameraName", [](V3& r, char* v) { r.Name(r.cameraItem, v); }},
        {"ShowCamera", [](V3& r, char* v) { r.Show(r.cameraItem, v); }},
        {"CameraMotion", [](V3& r, char*) { r.Channels(r.cameraItem); }},
        // Item settings.
        {"PivotPosition",
         [](V3& r, char* v) {
             double x[3];
             if (r.item && r.Reals(v, 3, x)) r.s->Op.SetPivotPosition(r.s, r.item, x[0], x[1], x[2]);
         }},
        {"PivotRotation",
         [](V3& r, char* v) {
             double x[3];
             if (r.item && r.Reals(v, 3, x))
                 r.s->Op.SetPivotRotation(r.s, r.item, x[0] * LW_DEG_TO_RAD, x[1] * LW_DEG_TO_RAD,
                                          x[2] * LW_DEG_TO_RAD);
         }},
        {"ParentItem",
         [](V3& r, char* v) {
             if (r.item) r.s->Op.SetParentRef(r.s, r.item, (LwItemRef)LwParseHex(v));
         }},
        {"TargetObject",
         [](V3& r, char* v) {
             if (r.item)
                 r.s->Op.SetTargetRef(r.s, r.item, 0x10000000u | ((uint32_t)LwParseInt(v) & 0xFFFFu));
         }},
        {"TargetItem",
         [](V3& r, char* v) {
             if (r.item) r.s->Op.SetTargetRef(r.s, r.item, (LwItemRef)LwParseHex(v));
         }},
        {"GoalObject",
         [](V3& r, char* v) {
             if (r.item) r.s->Op.SetGoalRef(r.s, r.item, (LwItemRef)LwParseInt(v));
         }},
        {"HController", [](V3& r, char* v) { if (r.item) r.item->HController = LwParseInt(v); }},
        {"PController", [](V3& r, char* v) { if (r.item) r.item->PController = LwParseInt(v); }},
        {"BController", [](V3& r, char* v) { if (r.item) r.item->BController = LwParseInt(v); }},
        {"HLimits", [](V3& r, char* v) { if (r.item) r.Degrees(v, 2, r.item->HLimits); }},
        {"PLimits", [](V3& r, char* v) { if (r.item) r.Degrees(v, 2, r.item->PLimits); }},
        {"BLimits", [](V3& r, char* v) { if (r.item) r.Degrees(v, 2, r.item->BLimits); }},
        {"HJointStiffness", [](V3& r, char* v) { if (r.item) r.item->HJointStiffness = LwParseReal(v); }},
        {"PJointStiffness", [](V3& r, char* v) { if (r.item) r.item->PJointStiffness = LwParseReal(v); }},
        {"BJointStiffness", [](V3& r, char* v) { if (r.item) r.item->BJointStiffness = LwParseReal(v); }},
        {"PathAlignLookAhead",
         [](V3& r, char* v) { if (r.item) r.item->PathAlignLookAhead = LwParseReal(v); }},
        {"FullTimeIK", [](V3& r, char* v) { if (r.item) r.item->FullTimeIK = LwParseInt(v); }},
        {"GoalStrength", [](V3& r, char* v) { if (r.item) r.item->GoalStrength = LwParseReal(v); }},
        {"MatchGoalOrientation",
         [](V3& r, char* v) { if (r.item) r.item->MatchGoalOrientation = LwParseInt(v); }},
        {"KeepGoalWithinReach",
         [](V3& r, char* v) { if (r.item) r.item->KeepGoalWithinReach = LwParseInt(v); }},
        {"IKAnchor", [](V3& r, char* v) { if (r.item) r.item->IKAnchor = LwParseInt(v); }},
        // Objects.
        {"ShadowOptions", [](V3& r, char* v) { if (r.object) r.object->ShadowOptions = LwParseInt(v); }},
        {"UnaffectedByFog",
         [](V3& r, char* v) { if (r.object) r.object->UnaffectedByFog = LwParseInt(v); }},
        {"MorphAmount",
         [](V3& r, char* v) {
             if (r.object) r.RealOrEnvelope(v, &r.object->MorphAmount, &r.object->MorphEnvelope, 3);
         }},
        {"MorphTarget", [](V3& r, char* v) { if (r.object) r.object->MorphTarget = LwParseInt(v); }},
        {"MorphSurfaces", [](V3& r, char* v) { if (r.object) r.object->MorphSurface = LwParseInt(v); }},
        {"MTSEMorphing", [](V3& r, char* v) { if (r.object) r.object->MTSEMorphing = LwParseInt(v); }},
        {"ObjectDissolve",
         [](V3& r, char* v) {
             if (r.object)
                 r.RealOrEnvelope(v, &r.object->ObjectDissolve, &r.object->DissolveEnvelope, 3);
         }},
        {"DistanceDissolve",
         [](V3& r, char* v) { if (r.object) r.object->DistanceDissolve = LwParseInt(v); }},
        {"MaxDissolveDistance",
         [](V3& r, char* v) { if (r.object) r.object->MaxDissolveDistance = LwParseReal(v); }},
        {"PolygonSize",
         [](V3& r, char* v) {
             if (r.object)
                 r.RealOrEnvelope(v, &r.object->PolygonSize, &r.object->PolygonSizeEnvelope, 3);
         }},
        // Bones.
        {"BoneFalloffType", [](V3& r, char* v) { r.pendingFalloff = LwParseInt(v); }},
        {"BoneActive", [](V3& r, char* v) { if (r.bone) r.bone->BoneActive = LwParseInt(v); }},
        {"BoneRestPosition", [](V3& r, char* v) { if (r.bone) r.Reals(v, 3, r.bone->BoneRestPosition); }},
        {"BoneRestDirection",
         [](V3& r, char* v) { if (r.bone) r.Degrees(v, 3, r.bone->BoneRestDirection); }},
        {"BoneWeightMapName",
         [](V3& r, char* v) {
             if (r.bone) LwCopyText(r.bone->BoneWeightMapName, v, sizeof(r.bone->BoneWeightMapName));
         }},
        {"BoneWeightMapOnly",
         [](V3& r, char* v) { if (r.bone) r.bone->BoneWeightMapOnly = LwParseInt(v); }},
        {"BoneNormalization",
         [](V3& r, char* v) { if (r.bone) r.bone->BoneNormalization = LwParseInt(v); }},
        {"BoneRestLength", [](V3& r, char* v) { if (r.bone) r.bone->BoneRestLength = LwParseReal(v); }},
        {"ScaleBoneStrength",
         [](V3& r, char* v) { if (r.bone) r.bone->ScaleBoneStrength = LwParseReal(v); }},
        {"BoneStrength", [](V3& r, char* v) { if (r.bone) r.bone->BoneStrength = LwParseReal(v); }},
        {"BoneLimitedRange",
         [](V3& r, char* v) { if (r.bone) r.bone->BoneLimitedRange = LwParseInt(v); }},
        {"BoneMinRange", [](V3& r, char* v) { if (r.bone) r.bone->BoneMinRange = LwParseReal(v); }},
        {"BoneMaxRange", [](V3& r, char* v) { if (r.bone) r.bone->BoneMaxRange = LwParseReal(v); }},
        {"BoneJointComp", [](V3& r, char* v) { if (r.bone) r.bone->BoneJointComp = LwParseReal(v); }},
        {"BoneJointCompParent",
         [](V3& r, char* v) { if (r.bone) r.bone->BoneJointCompParent = LwParseReal(v); }},
        {"BoneMuscleFlex", [](V3& r, char* v) { if (r.bone) r.bone->BoneMuscleFlex = LwParseReal(v); }},
        {"BoneMuscleFlexParent",
         [](V3& r, char* v) { if (r.bone) r.bone->BoneMuscleFlexParent = LwParseReal(v); }},
        // Lights.
        {"LightColor",
         [](V3& r, char* v) {
             if (r.light) r.ColorOrEnvelopes(v, r.light->LightColor, &r.light->LightColorEnvelope);
         }},
        {"LightIntensity",
         [](V3& r, char* v) {
             if (r.light)
                 r.RealOrEnvelope(v, &r.light->LightIntensity, &r.light->LightIntensityEnvelope, 3);
         }},
        {"LightType", [](V3& r, char* v) { if (r.light) r.light->LightType = LwParseInt(v); }},
        // The angle envelopes of version 3 keep the values as written.
        {"LightConeAngle",
         [](V3& r, char* v) {
             if (r.light)
                 r.DegreesOrEnvelope(v, &r.light->LightConeAngle, &r.light->LightConeAngleEnvelope, 3);
         }},
        {"LightEdgeAngle",
         [](V3& r, char* v) {
             if (r.light)
                 r.DegreesOrEnvelope(v, &r.light->LightEdgeAngle, &r.light->LightEdgeAngleEnvelope, 3);
         }},
        {"LightFalloffType",
         [](V3& r, char* v) { if (r.light) r.light->LightFalloffType = LwParseInt(v); }},
        {"LightRange",
         [](V3& r, char* v) {
             if (r.light) r.RealOrEnvelope(v, &r.light->LightRange, &r.light->LightRangeEnvelope, 3);
         }},
        {"ShadowType", [](V3& r, char* v) { if (r.light) r.light->ShadowType = LwParseInt(v); }},
        {"ShadowMapAngle",
         [](V3& r, char* v) {
             if (r.light)
                 r.DegreesOrEnvelope(v, &r.light->ShadowMapAngle, &r.light->ShadowMapAngleEnvelope, 3);
         }},
        {"AffectDiffuse", [](V3& r, char* v) { if (r.light) r.light->AffectDiffuse = LwParseInt(v); }},
        {"AffectSpecular", [](V3& r, char* v) { if (r.light) r.light->AffectSpecular = LwParseInt(v); }},
        {"AffectCaustics", [](V3& r, char* v) { if (r.light) r.light->AffectCaustics = LwParseInt(v); }},
        {"AffectOpenGL", [](V3& r, char* v) { if (r.light) r.light->AffectOpenGL = LwParseInt(v); }},
        // Cameras.
        {"ZoomFactor",
         [](V3& r, char* v) {
             if (!r.camera) return;
             if (r.RealOrEnvelope(v, &r.camera->ZoomFactor, &r.camera->ZoomFactorEnvelope, 3))
                 r.s->Op.ComputeFovAngles(r.s, r.camera);
         }},
        {"ResolutionMultiplier",
         [](V3& r, char* v) { if (r.camera) r.camera->ResolutionMultiplier = LwParseReal(v); }},
        {"FrameSize",
         [](V3& r, char* v) {
             if (!r.camera) return;
             r.Ints(v, 2, r.camera->FrameSize);
             r.s->Op.ComputeFovAngles(r.s, r.camera);
         }},
        {"PixelAspect",
         [](V3& r, char* v) {
             if (!r.camera) return;
             r.camera->PixelAspect = LwParseReal(v);
             r.s->Op.ComputeFovAngles(r.s, r.camera);
         }},
        {"MaskPosition", [](V3& r, char* v) { if (r.camera) r.Ints(v, 4, r.camera->MaskPosition); }},
        {"SegmentMemory", [](V3& r, char* v) { if (r.camera) r.camera->SegmentMemory = LwParseInt(v); }},
        {"ApertureHeight",
         [](V3& r, char* v) { if (r.camera) r.camera->ApertureHeight = LwParseReal(v); }},
        {"Antialiasing", [](V3& r, char* v) { if (r.camera) r.camera->Antialiasing = LwParseInt(v); }},
        {"AdaptiveSampling",
         [](V3& r, char* v) { if (r.camera) r.camera->AdaptiveSampling = LwParseInt(v); }},
        {"MotionBlur", [](V3& r, char* v) { if (r.camera) r.camera->MotionBlur = LwParseInt(v); }},
        {"BlurLength",
         [](V3& r, char* v) {
             if (r.camera) r.RealOrEnvelope(v, &r.camera->BlurLength, &r.camera->BlurLengthEnvelope, 3);
         }},
        {"DepthOfField", [](V3& r, char* v) { if (r.camera) r.camera->DepthOfField = LwParseInt(v); }},
        {"FocalDistance",
         [](V3& r, char* v) {
             if (r.camera)
                 r.RealOrEnvelope(v, &r.camera->FocalDistance, &r.camera->FocalDistanceEnvelope, 3);
         }},
        {"LensFStop",
         [](V3& r, char* v) {
             if (r.camera) r.RealOrEnvelope(v, &r.camera->LensFStop, &r.camera->LensFStopEnvelope, 3);
         }},
        // Plug-ins.
        {"Plugin", [](V3& r, char* v) { r.Plugin(v); }},
        // Fog.
        {"FogType", [](V3& r, char* v) { if (r.fog) r.fog->FogType = LwParseInt(v); }},
        {"FogMinDist",
         [](V3& r, char* v) {
             if (r.fog) r.RealOrEnvelope(v, &r.fog->FogMinDist, &r.fog->FogMinDistEnvelope, 3);
         }},
        {"FogMinDistance",
         [](V3& r, char* v) {
             if (r.fog) r.RealOrEnvelope(v, &r.fog->FogMinDist, &r.fog->FogMinDistEnvelope, 3);
         }},
        {"FogMaxDist",
         [](V3& r, char* v) {
             if (r.fog) r.RealOrEnvelope(v, &r.fog->FogMaxDist, &r.fog->FogMaxDistEnvelope, 3);
         }},
        {"FogMaxDistance",
         [](V3& r, char* v) {
             if (r.fog) r.RealOrEnvelope(v, &r.fog->FogMaxDist, &r.fog->FogMaxDistEnvelope, 3);
         }},
        {"FogMinAmount",
         [](V3& r, char* v) {
             if (r.fog) r.RealOrEnvelope(v, &r.fog->FogMinAmount, &r.fog->FogMinAmountEnvelope, 3);
         }},
        {"FogMaxAmount",
         [](V3& r, char* v) {
             if (r.fog) r.RealOrEnvelope(v, &r.fog->FogMaxAmount, &r.fog->FogMaxAmountEnvelope, 3);
         }},
        {"FogColor", [](V3& r, char* v) { if (r.fog) r.Color(v, r.fog->FogColor); }},
        {"BackdropFog", [](V3& r, char* v) { if (r.fog) r.fog->BackdropFog = LwParseInt(v); }},
        // Backdrop.
        {"SolidBackdrop", [](V3& r, char* v) { if (r.backdrop) r.backdrop->SolidBackdrop = LwParseInt(v); }},
        {"BackdropColor", [](V3& r, char* v) { if (r.backdrop) r.Color(v, r.backdrop->BackdropColor); }},
        {"ZenithColor", [](V3& r, char* v) { if (r.backdrop) r.Color(v, r.backdrop->ZenithColor); }},
        {"SkyColor", [](V3& r, char* v) { if (r.backdrop) r.Color(v, r.backdrop->SkyColor); }},
        {"GroundColor", [](V3& r, char* v) { if (r.backdrop) r.Color(v, r.backdrop->GroundColor); }},
        {"NadirColor", [](V3& r, char* v) { if (r.backdrop) r.Color(v, r.backdrop->NadirColor); }},
        // Composite.
        {"FGDissolve",
         [](V3& r, char* v) {
             if (r.composite)
                 r.RealOrEnvelope(v, &r.composite->FGDissolve, &r.composite->FGDissolveEnvelope, 3);
         }},
        {"FGFaderAlphaMode",
         [](V3& r, char* v) { if (r.composite) r.composite->FGFaderAlphaMode = LwParseInt(v); }},
        {"ForegroundKey",
         [](V3& r, char* v) { if (r.composite) r.composite->ForegroundKey = LwParseInt(v); }},
        {"LowClipColor", [](V3& r, char* v) { if (r.composite) r.Color(v, r.composite->LowClipColor); }},
        {"HighClipColor", [](V3& r, char* v) { if (r.composite) r.Color(v, r.composite->HighClipColor); }},
        {"BGImage", [](V3& r, char*) { if (r.composite) r.Clip(&r.composite->BGImage); }},
        {"FGImage", [](V3& r, char*) { if (r.composite) r.Clip(&r.composite->FGImage); }},
        {"FGAlphaImage", [](V3& r, char*) { if (r.composite) r.Clip(&r.composite->FGAlphaImage); }},
        // Processing.
        {"LimitDynamicRange",
         [](V3& r, char* v) { if (r.processing) r.processing->LimitDynamicRange = LwParseInt(v); }},
        {"DitherIntensity",
         [](V3& r, char* v) { if (r.processing) r.processing->DitherIntensity = LwParseInt(v); }},
        {"AnimatedDither",
         [](V3& r, char* v) { if (r.processing) r.processing->AnimatedDither = LwParseInt(v); }},
        {"Saturation",
         [](V3& r, char* v) {
             if (r.processing)
                 r.RealOrEnvelope(v, &r.processing->Saturation, &r.processing->SaturationEnvelope, 3);
         }},
        {"GlowEffect", [](V3& r, char* v) { if (r.processing) r.processing->GlowEffect = LwParseInt(v); }},
        {"GlowIntensity",
         [](V3& r, char* v) {
             if (r.processing)
                 r.RealOrEnvelope(v, &r.processing->GlowIntensity, &r.processing->GlowIntensityEnvelope, 3);
         }},
        {"GlowRadius",
         [](V3& r, char* v) {
             if (r.processing)
                 r.RealOrEnvelope(v, &r.processing->GlowRadius, &r.processing->GlowRadiusEnvelope, 3);
         }},
        // Illumination.
        {"AmbientColor",
         [](V3& r, char* v) {
             if (r.illumination)
                 r.ColorOrEnvelopes(v, r.illumination->AmbientColor, &r.illumination->AmbientColorEnvelope);
         }},
        {"AmbientIntensity",
         [](V3& r, char* v) {
             if (r.illumination)
                 r.RealOrEnvelope(v, &r.illumination->AmbientIntensity,
                                  &r.illumination->AmbientIntensityEnvelope, 3);
         }},
        {"GlobalLightIntensity",
         [](V3& r, char* v) {
             if (r.illumination)
                 r.RealOrEnvelope(v, &r.illumination->GlobalLightIntensity,
                                  &r.illumination->GlobalLightIntensityEnvelope, 3);
         }},
        {"GlobalFlareIntensity",
         [](V3& r, char* v) {
             if (r.illumination)
                 r.RealOrEnvelope(v, &r.illumination->GlobalFlareIntensity,
                                  &r.illumination->GlobalFlareIntensityEnvelope, 3);
         }},
        {"CausticIntensity",
         [](V3& r, char* v) {
             if (r.illumination)
                 r.RealOrEnvelope(v, &r.illumination->CausticIntensity,
                                  &r.illumination->CausticIntensityEnvelope, 3);
         }},
    };
    return table;
}

}  // namespace

namespace lw_reader {

void ReaderState::Channels(LwSceneItem* target) {
    if (!target) return;  // the block's lines then pass through the keyword table
    LwEnvelope* list = ReadChannelBlock(s, target);
    LwFreeEnvelopes(target->ChannelList);
    target->ChannelList = list;
}

void ReaderState::Plugin(char* rest) {
    char* t[3] = {nullptr, nullptr, nullptr};
    int n = Split(rest, 3, t);
    int32_t pluginClass = LookupPluginClass(n > 0 ? t[0] : nullptr);
    int32_t index = n > 1 ? LwParseInt(t[1]) : 0;
    const char* server = n > 2 ? t[2] : "";
    void* owner = nullptr;
    switch (pluginClass) {
        case LW_PLUGIN_ITEM_MOTION: owner = item; break;
        case LW_PLUGIN_DISPLACEMENT:
        case LW_PLUGIN_CUSTOM_OBJECT:
        case LW_PLUGIN_OBJECT_REPLACEMENT: owner = object; break;
        case LW_PLUGIN_VOLUMETRIC: owner = fog; break;
        case LW_PLUGIN_ENVIRONMENT: owner = backdrop; break;
        case LW_PLUGIN_PIXEL_FILTER:
        case LW_PLUGIN_IMAGE_FILTER: owner = processing; break;
        default: owner = s; break;  // master plug-ins, and those that belong to no record
    }
    if (owner) ReadPluginBlockV3(s, owner, pluginClass, index, server);
}

}  // namespace lw_reader

LwEnvelope* ReadChannelBlock(LwScene* scene, LwSceneItem* item) {
    char line[LW_LINE_SIZE];
    char* tok[2];
    if (!scene->Op.ReadLine(scene, line, sizeof(line))) {
        scene->ErrorCode = LW_ERR_BAD_FORMAT;
        return nullptr;
    }
    int32_t count = 0;
    if (scene->Op.SplitTokens(scene, line, 2, tok) == 2) count = LwParseInt(tok[1]);
    item->Channels = count;
    LwEnvelope* head = nullptr;
    LwEnvelope** tail = &head;
    for (int32_t i = 0; i < count; ++i) {
        if (!scene->Op.ReadLine(scene, line, sizeof(line))) {
            scene->ErrorCode = LW_ERR_BAD_FORMAT;
            LwFreeEnvelopes(head);
            return nullptr;
        }
        // A channel line without a number keeps the channel's place as its number.
        int32_t channel = scene->Op.SplitTokens(scene, line, 2, tok) == 2 ? LwParseInt(tok[1]) : i;
        LwEnvelope* env = ReadEnvelopeBlock(scene);
        if (!env) {
            LwFreeEnvelopes(head);
            return nullptr;
        }
        env->Channel = channel;
        *tail = env;
        tail = &env->Next;
    }
    return head;
}

int32_t ParseSceneV3(LwScene* scene) {
    scene->ErrorCode = LW_ERR_NONE;
    V3 r;
    r.Begin(scene);
    const auto& table = Keywords();
    char line[LW_LINE_SIZE];
    while (scene->Op.ReadLine(scene, line, sizeof(line))) {
        char* tok[2] = {nullptr, nullptr};
        if (scene->Op.SplitTokens(scene, line, 2, tok) < 1 || !tok[0]) continue;
        char* rest = tok[1] ? tok[1] : const_cast<char*>("");
        scene->Op.Trace(scene, "{%s} {%s}\n", tok[0], rest);
        auto found = table.find(std::string_view(tok[0]));
        if (found != table.end()) found->second(r, rest);
    }
    r.AssignBoneObjects();
    return scene->ErrorCode;
}
