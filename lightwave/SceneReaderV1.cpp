// Version 1 scene texts: keyframe motion, colours as 0-255 integers, camera presets, one implicit
// camera, and parent and target numbers that are resolved once every item is known.
#include "lightwave/LwScene.h"
#include "lightwave/SceneInternal.h"
#include "lightwave/SceneReaderCommon.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace {

using namespace lw_reader;

// The single-precision value of 1/255 that scales the integer colours.
constexpr double kColorScale = 0.003921568859368563;

struct V1 : ReaderState {
    bool previewFirst = false, previewLast = false, previewStep = false;

    void ColorInts(char* v, float out[3]) {
        int32_t x[3];
        Ints(v, 3, x);
        for (int i = 0; i < 3; ++i) out[i] = (float)((double)x[i] * kColorScale);
    }

    LwSceneItem* Camera() {
        if (!cameraItem) {
            AddCamera();
            if (cameraItem) s->Op.SetItemName(s, cameraItem, "Camera");
        }
        return cameraItem;
    }

    void Motion(LwSceneItem* target) {
        if (!target) return;
        LwKeyframeMotion* motion = ReadKeyframeMotion(s, target);
        LwFreeKeyframeMotion(target->Motion);
        target->Motion = motion;
        if (motion && (s->LoadFlags & LW_SCENE_MOTION_TO_CHANNELS)) {
            LwEnvelope* channels = s->Op.MotionToChannels(s, motion);
            if (!channels) Memory();
            LwFreeEnvelopes(target->ChannelList);
            target->ChannelList = channels;
        }
    }

    void Controllers(int32_t value) {
        if (!item) return;
        item->HController = item->PController = item->BController = value;
    }

    void PluginV1(char* rest) {
        char* t[3];
        int n = Split(rest, 3, t);
        int32_t pluginClass = LookupPluginClassV1(n > 0 ? t[0] : nullptr);
        int32_t index = n > 1 ? LwParseInt(t[1]) : 0;
        const char* server = n > 2 ? t[2] : "";
        void* owner = nullptr;
        switch (pluginClass) {
            case LW_PLUGIN_ITEM_MOTION: owner = item; break;
            case LW_PLUGIN_DISPLACEMENT: owner = object; break;
            case LW_PLUGIN_PIXEL_FILTER:
            case LW_PLUGIN_IMAGE_FILTER: owner = processing; break;
            default: owner = s; break;
        }
        if (owner) ReadPluginBlockV1(s, owner, pluginClass, index, server);
    }

    void StillClip(LwClip** slot, const char* file) {
        LwClip* clip = MakeStillClip(file);
        if (!clip) Memory();
        LwFreeClip(*slot);
        *slot = clip;
    }
};

typedef void (*Handler)(V1& r, char* rest);

double ResolutionMultiplier(int32_t n) {
    switch (n) {
        case -1: return 0.25;
        case 0: return 0.5;
        case 1: return 1.0;
        case 2: return 2.0;
        case 3: return 4.0;
        default: return 0.0;
    }
}

void PixelAspectRatio(LwSceneCamera* c, int32_t n) {
    static const struct {
        double aspect;
        int32_t width, height;
    } kTable[] = {{0.859, 752, 480}, {0.9, 720, 486}, {1.0, 640, 480}, {1.019, 752, 576}, {1.067, 720, 576}};
    int32_t width = 640, height = 480;
    if (n >= 0 && n <= 4) {
        c->PixelAspect = kTable[n].aspect;
        width = kTable[n].width;
        height = kTable[n].height;
    }
    if (c->ResolutionMultiplier > 0.0) {
        c->FrameSize[0] = (int32_t)((double)width * c->ResolutionMultiplier);
        c->FrameSize[1] = (int32_t)((double)height * c->ResolutionMultiplier);
    }
}

void FilmSize(LwSceneCamera* c, int32_t n) {
    static const double kHeights[] = {0.0041, 0.007, 0.015,  0.013, 0.0135, 0.0361, 0.052,
                                      0.013,  0.0267, 0.045, 0.06,  0.0032, 0.0048, 0.0064};
    if (n >= 0 && n <= 13) c->ApertureHeight = kHeights[n];
}

const std::unordered_map<std::string_view, Handler>& Keywords() {
    static const std::unordered_map<std::string_view, Handler> table = {
        {"FirstFrame", [](V1& r, char* v) { r.s->FirstFrame = LwParseInt(v); }},
        {"LastFrame", [](V1& r, char* v) { r.s->LastFrame = LwParseInt(v); }},
        {"FrameStep", [](V1& r, char* v) { r.s->FrameStep = LwParseInt(v); }},
        {"PreviewFirstFrame",
         [](V1& r, char* v) { r.s->PreviewFirstFrame = LwParseInt(v); r.previewFirst = true; }},
        {"PreviewLastFrame",
         [](V1& r, char* v) { r.s->PreviewLastFrame = LwParseInt(v); r.previewLast = true; }},
        {"PreviewFrameStep",
         [](V1& r, char* v) { r.s->PreviewFrameStep = LwParseInt(v); r.previewStep = true; }},
        {"FramesPerSecond", [](V1& r, char* v) { SetFramesPerSecond(r.s, v); }},
        {"AddNullObject", [](V1& r, char* v) { r.AddObject("AddNullObject", 1, v); }},
        {"LoadObject", [](V1& r, char* v) { r.AddObject("LoadObject", 1, v); }},
        {"ShowObject", [](V1& r, char* v) { r.Show(r.objectItem, v); }},
        {"ObjectMotion", [](V1& r, char*) { r.Motion(r.objectItem); }},
        {"AddBone", [](V1& r, char*) { r.AddBone(); }},
        {"BoneName", [](V1& r, char* v) { r.Name(r.boneItem, v); }},
        {"ShowBone", [](V1& r, char* v) { r.Show(r.boneItem, v); }},
        {"BoneMotion", [](V1& r, char*) { r.Motion(r.boneItem); }},
        {"AddLight", [](V1& r, char*) { r.AddLight(); }},
        {"LightName", [](V1& r, char* v) { r.Name(r.lightItem, v); }},
        {"ShowLight", [](V1& r, char* v) { r.Show(r.lightItem, v); }},
        {"LightMotion", [](V1& r, char*) { r.Motion(r.lightItem); }},
        {"ShowCamera", [](V1& r, char* v) { r.Show(r.Camera(), v); }},
        {"CameraMotion", [](V1& r, char*) { r.Motion(r.Camera()); }},
        {"PivotPoint",
         [](V1& r, char* v) {
             double x[3];
             if (r.item && r.Reals(v, 3, x)) r.s->Op.SetPivotPosition(r.s, r.item, x[0], x[1], x[2]);
         }},
        {"ParentObject", [](V1& r, char* v) { if (r.item) r.item->Parent = (LwItemRef)LwParseInt(v); }},
        {"TargetObject",
         [](V1& r, char* v) {
             if (!r.item) return;
             r.item->Target = (LwItemRef)LwParseInt(v);
             r.Controllers(1);
         }},
        {"GoalObject",
         [](V1& r, char* v) {
             if (!r.item) return;
             r.item->Goal = (LwItemRef)LwParseInt(v);
             r.Controllers(3);
         }},
        {"HLimits", [](V1& r, char* v) { if (r.item) r.Degrees(v, 2, r.item->HLimits); }},
        {"PLimits", [](V1& r, char* v) { if (r.item) r.Degrees(v, 2, r.item->PLimits); }},
        {"BLimits", [](V1& r, char* v) { if (r.item) r.Degrees(v, 2, r.item->BLimits); }},
        {"HJointStiffness", [](V1& r, char* v) { if (r.item) r.item->HJointStiffness = LwParseReal(v); }},
        {"PJointStiffness", [](V1& r, char* v) { if (r.item) r.item->PJointStiffness = LwParseReal(v); }},
        {"BJointStiffness", [](V1& r, char* v) { if (r.item) r.item->BJointStiffness = LwParseReal(v); }},
        {"PathAlignment", [](V1& r, char*) { r.Controllers(2); }},
        {"LookAheadFrames",
         [](V1& r, char* v) {
             if (r.item) r.item->PathAlignLookAhead = (double)LwParseInt(v) / r.s->FramesPerSecond;
         }},
        {"FullTimeIK", [](V1& r, char* v) { if (r.item) r.item->FullTimeIK = LwParseInt(v); }},
        {"GoalStrength", [](V1& r, char* v) { if (r.item) r.item->GoalStrength = LwParseReal(v); }},
        {"MatchGoalOrientation",
         [](V1& r, char* v) { if (r.item) r.item->MatchGoalOrientation = LwParseInt(v); }},
        {"KeepGoalWithinReach",
         [](V1& r, char* v) { if (r.item) r.item->KeepGoalWithinReach = LwParseInt(v); }},
        {"IKAnchor", [](V1& r, char* v) { if (r.item) r.item->IKAnchor = LwParseInt(v); }},
        {"ShadowOptions", [](V1& r, char* v) { if (r.object) r.object->ShadowOptions = LwParseInt(v); }},
        {"Metamorph",
         [](V1& r, char* v) {
             if (r.object) r.RealOrEnvelope(v, &r.object->MorphAmount, &r.object->MorphEnvelope, 1);
         }},
        {"MorphTarget", [](V1& r, char* v) { if (r.object) r.object->MorphTarget = LwParseInt(v); }},
        {"MorphSurfaces", [](V1& r, char* v) { if (r.object) r.object->MorphSurface = LwParseInt(v); }},
        {"MTSEMorphing", [](V1& r, char* v) { if (r.object) r.object->MTSEMorphing = LwParseInt(v); }},
        {"ObjDissolve",
         [](V1& r, char* v) {
             if (r.object) r.RealOrEnvelope(v, &r.object->ObjectDissolve, &r.object->DissolveEnvelope, 1);
         }},
        {"DistanceDissolve",
         [](V1& r, char* v) { if (r.object) r.object->DistanceDissolve = LwParseInt(v); }},
        {"MaxDissolveDistance",
         [](V1& r, char* v) { if (r.object) r.object->MaxDissolveDistance = LwParseReal(v); }},
        {"BoneFalloffType", [](V1& r, char* v) { r.pendingFalloff = LwParseInt(v); }},
        {"BoneActive", [](V1& r, char* v) { if (r.bone) r.bone->BoneActive = LwParseInt(v); }},
        {"BoneRestPosition", [](V1& r, char* v) { if (r.bone) r.Reals(v, 3, r.bone->BoneRestPosition); }},
        {"BoneRestDirection",
         [](V1& r, char* v) { if (r.bone) r.Degrees(v, 3, r.bone->BoneRestDirection); }},
        {"BoneRestLength", [](V1& r, char* v) { if (r.bone) r.bone->BoneRestLength = LwParseReal(v); }},
        {"ScaleBoneStrength",
         [](V1& r, char* v) { if (r.bone) r.bone->ScaleBoneStrength = LwParseReal(v); }},
        {"BoneStrength", [](V1& r, char* v) { if (r.bone) r.bone->BoneStrength = LwParseReal(v); }},
        {"BoneLimitedRange",
         [](V1& r, char* v) { if (r.bone) r.bone->BoneLimitedRange = LwParseInt(v); }},
        {"BoneMinRange", [](V1& r, char* v) { if (r.bone) r.bone->BoneMinRange = LwParseReal(v); }},
        {"BoneMaxRange", [](V1& r, char* v) { if (r.bone) r.bone->BoneMaxRange = LwParseReal(v); }},
        {"BoneJointComp", [](V1& r, char* v) { if (r.bone) r.bone->BoneJointComp = LwParseReal(v); }},
        {"BoneJointCompParent",
         [](V1& r, char* v) { if (r.bone) r.bone->BoneJointCompParent = LwParseReal(v); }},
        {"BoneMuscleFlex", [](V1& r, char* v) { if (r.bone) r.bone->BoneMuscleFlex = LwParseReal(v); }},
        {"BoneMuscleFlexParent",
         [](V1& r, char* v) { if (r.bone) r.bone->BoneMuscleFlexParent = LwParseReal(v); }},
        {"LightColor", [](V1& r, char* v) { if (r.light) r.ColorInts(v, r.light->LightColor); }},
        {"LgtIntensity",
         [](V1& r, char* v) {
             if (r.light) r.RealOrEnvelope(v, &r.light->LightIntensity, &r.light->LightIntensityEnvelope, 1);
         }},
        {"LightType", [](V1& r, char* v) { if (r.light) r.light->LightType = LwParseInt(v); }},
        {"ConeAngle",
         [](V1& r, char* v) {
             if (r.light)
                 r.DegreesOrEnvelope(v, &r.light->LightConeAngle, &r.light->LightConeAngleEnvelope, 1, true);
         }},
        {"EdgeAngle",
         [](V1& r, char* v) {
             if (r.light)
                 r.DegreesOrEnvelope(v, &r.light->LightEdgeAngle, &r.light->LightEdgeAngleEnvelope, 1, true);
         }},
        {"LightFalloff", [](V1& r, char* v) { if (r.light) r.light->LightFalloffType = LwParseInt(v); }},
        {"LightRange",
         [](V1& r, char* v) {
             if (r.light) r.RealOrEnvelope(v, &r.light->LightRange, &r.light->LightRangeEnvelope, 1);
         }},
        {"ShadowType", [](V1& r, char* v) { if (r.light) r.light->ShadowType = LwParseInt(v); }},
        {"NoDiffuse", [](V1& r, char* v) { if (r.light) r.light->AffectDiffuse = LwParseInt(v) == 0; }},
        {"NoSpecular", [](V1& r, char* v) { if (r.light) r.light->AffectSpecular = LwParseInt(v) == 0; }},
        {"ZoomFactor",
         [](V1& r, char* v) {
             if (!r.camera || r.IsEnvelope(v)) return;  // no block is read for it in version 1
             r.camera->ZoomFactor = LwParseReal(v);
             r.s->Op.ComputeFovAngles(r.s, r.camera);
         }},
        {"Resolution",
         [](V1& r, char* v) { if (r.camera) r.camera->ResolutionMultiplier = ResolutionMultiplier(LwParseInt(v)); }},
        {"CustomSize",
         [](V1& r, char* v) {
             if (!r.camera) return;
             r.Ints(v, 2, r.camera->FrameSize);
             r.camera->ResolutionMultiplier = 0.0;
             r.s->Op.ComputeFovAngles(r.s, r.camera);
         }},
        {"PixelAspectRatio",
         [](V1& r, char* v) {
             if (!r.camera) return;
             PixelAspectRatio(r.camera, LwParseInt(v));
             r.s->Op.ComputeFovAngles(r.s, r.camera);
         }},
        {"CustomPixelRatio", [](V1& r, char* v) { if (r.camera) r.camera->PixelAspect = LwParseReal(v); }},
        {"SegmentMemory", [](V1& r, char* v) { if (r.camera) r.camera->SegmentMemory = LwParseInt(v); }},
        {"Antialiasing", [](V1& r, char* v) { if (r.camera) r.camera->Antialiasing = LwParseInt(v); }},
        {"AdaptiveSampling",
         [](V1& r, char* v) { if (r.camera) r.camera->AdaptiveSampling = LwParseInt(v); }},
        {"MotionBlur", [](V1& r, char* v) { if (r.camera) r.camera->MotionBlur = LwParseInt(v); }},
        {"BlurLength",
         [](V1& r, char* v) {
             if (r.camera) r.RealOrEnvelope(v, &r.camera->BlurLength, &r.camera->BlurLengthEnvelope, 1);
         }},
        {"DepthOfField", [](V1& r, char* v) { if (r.camera) r.camera->DepthOfField = LwParseInt(v); }},
        {"FocalDistance",
         [](V1& r, char* v) {
             if (r.camera)
                 r.RealOrEnvelope(v, &r.camera->FocalDistance, &r.camera->FocalDistanceEnvelope, 1);
         }},
        {"LensFStop",
         [](V1& r, char* v) {
             if (r.camera) r.RealOrEnvelope(v, &r.camera->LensFStop, &r.camera->LensFStopEnvelope, 1);
         }},
        {"FilmSize", [](V1& r, char* v) { if (r.camera) FilmSize(r.camera, LwParseInt(v)); }},
        {"Plugin", [](V1& r, char* v) { r.PluginV1(v); }},
        {"FogType", [](V1& r, char* v) { if (r.fog) r.fog->FogType = LwParseInt(v); }},
        {"FogMinDist",
         [](V1& r, char* v) { if (r.fog) r.RealOrEnvelope(v, &r.fog->FogMinDist, &r.fog->FogMinDistEnvelope, 1); }},
        {"FogMaxDist",
         [](V1& r, char* v) { if (r.fog) r.RealOrEnvelope(v, &r.fog->FogMaxDist, &r.fog->FogMaxDistEnvelope, 1); }},
        {"FogMinAmount",
         [](V1& r, char* v) {
             if (r.fog) r.RealOrEnvelope(v, &r.fog->FogMinAmount, &r.fog->FogMinAmountEnvelope, 1);
         }},
        {"FogMaxAmount",
         [](V1& r, char* v) {
             if (r.fog) r.RealOrEnvelope(v, &r.fog->FogMaxAmount, &r.fog->FogMaxAmountEnvelope, 1);
         }},
        {"FogColor", [](V1& r, char* v) { if (r.fog) r.ColorInts(v, r.fog->FogColor); }},
        {"BackdropFog", [](V1& r, char* v) { if (r.fog) r.fog->BackdropFog = LwParseInt(v); }},
        {"SolidBackdrop", [](V1& r, char* v) { if (r.backdrop) r.backdrop->SolidBackdrop = LwParseInt(v); }},
        {"BackdropColor", [](V1& r, char* v) { if (r.backdrop) r.ColorInts(v, r.backdrop->BackdropColor); }},
        {"ZenithColor", [](V1& r, char* v) { if (r.backdrop) r.ColorInts(v, r.backdrop->ZenithColor); }},
        {"SkyColor", [](V1& r, char* v) { if (r.backdrop) r.ColorInts(v, r.backdrop->SkyColor); }},
        {"GroundColor", [](V1& r, char* v) { if (r.backdrop) r.ColorInts(v, r.backdrop->GroundColor); }},
        {"NadirColor", [](V1& r, char* v) { if (r.backdrop) r.ColorInts(v, r.backdrop->NadirColor); }},
        {"FGDissolve",
         [](V1& r, char* v) {
             if (r.composite)
                 r.RealOrEnvelope(v, &r.composite->FGDissolve, &r.composite->FGDissolveEnvelope, 1);
         }},
        {"FGFaderAlphaMode",
         [](V1& r, char* v) { if (r.composite) r.composite->FGFaderAlphaMode = LwParseInt(v); }},
        {"ForegroundKey", [](V1& r, char* v) { if (r.composite) r.composite->ForegroundKey = LwParseInt(v); }},
        {"LowClipColor", [](V1& r, char* v) { if (r.composite) r.ColorInts(v, r.composite->LowClipColor); }},
        {"HighClipColor", [](V1& r, char* v) { if (r.composite) r.ColorInts(v, r.composite->HighClipColor); }},
        {"BGImage", [](V1& r, char* v) { if (r.composite) r.StillClip(&r.composite->BGImage, v); }},
        {"FGImage", [](V1& r, char* v) { if (r.composite) r.StillClip(&r.composite->FGImage, v); }},
        {"FGAlphaImage", [](V1& r, char* v) { if (r.composite) r.StillClip(&r.composite->FGAlphaImage, v); }},
        {"DitherIntensity",
         [](V1& r, char* v) { if (r.processing) r.processing->DitherIntensity = LwParseInt(v); }},
        {"AnimatedDither",
         [](V1& r, char* v) { if (r.processing) r.processing->AnimatedDither = LwParseInt(v); }},
        {"Saturation",
         [](V1& r, char* v) {
             if (r.processing)
                 r.RealOrEnvelope(v, &r.processing->Saturation, &r.processing->SaturationEnvelope, 1);
         }},
        {"GlowEffect", [](V1& r, char* v) { if (r.processing) r.processing->GlowEffect = LwParseInt(v); }},
        {"GlowIntensity",
         [](V1& r, char* v) {
             if (r.processing)
                 r.RealOrEnvelope(v, &r.processing->GlowIntensity, &r.processing->GlowIntensityEnvelope, 1);
         }},
        {"GlowRadius",
         [](V1& r, char* v) {
             if (r.processing)
                 r.RealOrEnvelope(v, &r.processing->GlowRadius, &r.processing->GlowRadiusEnvelope, 1);
         }},
        {"AmbientColor",
         [](V1& r, char* v) { if (r.illumination) r.ColorInts(v, r.illumination->AmbientColor); }},
        {"AmbIntensity",
         [](V1& r, char* v) {
             if (r.illumination)
                 r.RealOrEnvelope(v, &r.illumination->AmbientIntensity,
                                  &r.illumination->AmbientIntensityEnvelope, 1);
         }},
        {"GlobalFlareIntensity",
         [](V1& r, char* v) {
             if (r.illumination)
                 r.RealOrEnvelope(v, &r.illumination->GlobalFlareIntensity,
                                  &r.illumination->GlobalFlareIntensityEnvelope, 1);
         }},
    };
    return table;
}

// Value tokens of a key line: with a count of 1 (or one outside 2-9) every word is taken.
int ValueTokenCount(int32_t channels) { return channels >= 2 && channels <= 9 ? channels : 10; }

}  // namespace

LwKeyframeMotion* ReadKeyframeMotion(LwScene* scene, LwSceneItem* item) {
    LwKeyframeMotion* motion = (LwKeyframeMotion*)calloc(1, sizeof(LwKeyframeMotion));
    if (!motion) {
        scene->ErrorCode = LW_ERR_MEMORY;
        return nullptr;
    }
    auto fail = [&](int32_t code) -> LwKeyframeMotion* {
        scene->ErrorCode = code;
        LwFreeKeyframeMotion(motion);
        return nullptr;
    };
    char line[LW_LINE_SIZE];
    char* tok[10];
    if (!scene->Op.ReadLine(scene, line, sizeof(line))) return fail(LW_ERR_BAD_FORMAT);
    scene->Op.SplitTokens(scene, line, 2, tok);
    int32_t channels = LwParseInt0(tok[0]);
    if (item) item->Channels = channels;
    if (!scene->Op.ReadLine(scene, line, sizeof(line))) return fail(LW_ERR_BAD_FORMAT);
    scene->Op.SplitTokens(scene, line, 2, tok);
    int32_t count = LwParseInt0(tok[0]);
    if (count < 0) count = 0;
    // Every key takes two lines; a count beyond what the text holds is a bad file.
    if (count > LwRemainingText(scene) / 12 + 1) return fail(LW_ERR_BAD_FORMAT);
    if (count > 0) {
        LwMotionKey* keys = (LwMotionKey*)calloc((size_t)count, sizeof(LwMotionKey));
        if (!keys) return fail(LW_ERR_MEMORY);
        for (int32_t i = 0; i < count; ++i) {
            keys[i].Prev = i > 0 ? &keys[i - 1] : nullptr;
            keys[i].Next = i + 1 < count ? &keys[i + 1] : nullptr;
        }
        motion->FirstKey = motion->CurrentKey = keys;
        motion->LastKey = &keys[count - 1];
        motion->KeyCount = count;
    }
    const int valueTokens = ValueTokenCount(channels);
    for (int32_t i = 0; i < count; ++i) {
        LwMotionKey* k = &motion->FirstKey[i];
        if (!scene->Op.ReadLine(scene, line, sizeof(line))) return fail(LW_ERR_BAD_FORMAT);
        for (char*& t : tok) t = nullptr;
        int n = scene->Op.SplitTokens(scene, line, valueTokens, tok);
        double v[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
        for (int j = 0; j < 9 && j < n; ++j) v[j] = LwParseReal0(tok[j]);
        for (int j = 0; j < 3; ++j) {
            k->Position[j] = v[j];
            k->Rotation[j] = v[3 + j] * LW_DEG_TO_RAD;
            k->Scale[j] = v[6 + j];
        }
        if (!scene->Op.ReadLine(scene, line, sizeof(line))) return fail(LW_ERR_BAD_FORMAT);
        if (scene->Op.SplitTokens(scene, line, 5, tok) == 5) {
            k->Step = LwParseInt(tok[0]);
            k->Linear = LwParseInt(tok[1]);
            k->Tension = LwParseReal(tok[2]);
            k->Continuity = LwParseReal(tok[3]);
            k->Bias = LwParseReal(tok[4]);
        }
    }
    if (scene->Op.ReadLine(scene, line, sizeof(line)) &&
        scene->Op.SplitTokens(scene, line, 2, tok) == 2 && strcmp(tok[0], "EndBehavior") == 0)
        motion->EndBehavior = LwParseInt(tok[1]);
    return motion;
}

void ResolveItemRefsV1(LwScene* scene) {
    for (LwSceneItem* it = scene->FirstItem; it; it = it->Next) {
        if (it->Type == LW_ITEM_BONE) {
            LwSceneItem* owner = scene->Op.GetBoneOwner(scene, it);
            if (it->Bone) it->Bone->BoneObject = owner ? owner->Index : 0;
            if (!owner) {  // a bone before any object has nothing to hang from
                it->Parent = 0;
                continue;
            }
            int32_t n = (int32_t)it->Parent;
            LwSceneItem* parent = n != 0 ? scene->Op.FindItemByNumber(scene, owner, n, LW_ITEM_BONE) : owner;
            it->Parent = parent ? scene->Op.MakeItemRef(scene, parent) : 0;
        } else {
            int32_t parent = (int32_t)it->Parent, target = (int32_t)it->Target;
            if (parent != 0) {
                LwSceneItem* p = scene->Op.FindItemByNumber(scene, nullptr, parent, LW_ITEM_OBJECT);
                it->Parent = p ? scene->Op.MakeItemRef(scene, p) : 0;
            }
            if (target != 0) {
                LwSceneItem* t = scene->Op.FindItemByNumber(scene, nullptr, target, LW_ITEM_OBJECT);
                it->Target = t ? scene->Op.MakeItemRef(scene, t) : 0;
            }
        }
    }
}

int32_t ParseSceneV1(LwScene* scene) {
    scene->ErrorCode = LW_ERR_NONE;
    V1 r;
    r.version1 = true;
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
    if (!r.previewFirst) scene->PreviewFirstFrame = scene->FirstFrame;
    if (!r.previewLast) scene->PreviewLastFrame = scene->LastFrame;
    if (!r.previewStep) scene->PreviewFrameStep = scene->FrameStep;
    ResolveItemRefsV1(scene);
    return scene->ErrorCode;
}
