// Version 1 scene texts: keyframe motion, colours as 0-255 integers, camera presets, one implicit
// camera, and parent and target numbers that are resolved once every item is known.
#include "lightwave/scene/LwScene.h"
#include "lightwave/scene/SceneInternal.h"
#include "lightwave/scene/SceneReaderCommon.h"

#include <cstdlib>
#include <cstring>

namespace {

using namespace lw_reader;
typedef ReaderState R;

// The single-precision value of 1/255 that scales the integer colours.
constexpr double kColorScale = 0.003921568859368563;

void ColorInts(R& r, char* v, float out[3]) {
    int32_t x[3];
    r.Ints(v, 3, x);
    for (int i = 0; i < 3; ++i) out[i] = (float)((double)x[i] * kColorScale);
}

// The one camera of a version 1 scene, made when a camera keyword first needs it.
LwSceneItem* Camera(R& r) {
    if (!r.cameraItem) {
        r.AddCamera();
        if (r.cameraItem) r.s->Op.SetItemName(r.s, r.cameraItem, "Camera");
    }
    return r.cameraItem;
}

// A keyframe motion block; with the load flag its channels replace the item's channel list.
void Motion(R& r, LwSceneItem* target) {
    if (!target) return;
    LwScene* s = r.s;
    LwKeyframeMotion* motion = ReadKeyframeMotion(s, target);
    LwFreeKeyframeMotion(target->Motion);
    target->Motion = motion;
    if (motion && (s->LoadFlags & LW_SCENE_MOTION_TO_CHANNELS)) {
        LwEnvelope* channels = s->Op.MotionToChannels(s, motion);
        if (!channels) r.Memory();
        LwFreeEnvelopes(target->ChannelList);
        target->ChannelList = channels;
    }
}

void Controllers(R& r, int32_t value) {
    if (r.item) r.item->HController = r.item->PController = r.item->BController = value;
}

void StillClip(R& r, LwClip** slot, const char* file) {
    LwClip* clip = MakeStillClip(file);
    if (!clip) r.Memory();
    LwFreeClip(*slot);
    *slot = clip;
}

double ResolutionMultiplier(int32_t n) {
    switch (n) {
    case -1:
        return 0.25;
    case 0:
        return 0.5;
    case 1:
        return 1.0;
    case 2:
        return 2.0;
    case 3:
        return 4.0;
    default:
        return 0.0;
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
    static const double kHeights[] = {0.0041, 0.007,  0.015, 0.013, 0.0135, 0.0361, 0.052,
                                      0.013,  0.0267, 0.045, 0.06,  0.0032, 0.0048, 0.0064};
    if (n >= 0 && n <= 13) c->ApertureHeight = kHeights[n];
}

// The keywords only version 1 has, or reads in its own way.
const KeywordTable& Keywords() {
    static const KeywordTable table = WithSharedKeywords({
        // Items; motion comes as keyframes, and the camera is implicit.
        {"LoadObject", [](R& r, char* v) { r.AddObject("LoadObject", 1, v); }},
        {"ObjectMotion", [](R& r, char*) { Motion(r, r.objectItem); }},
        {"BoneMotion", [](R& r, char*) { Motion(r, r.boneItem); }},
        {"LightMotion", [](R& r, char*) { Motion(r, r.lightItem); }},
        {"ShowCamera", [](R& r, char* v) { r.Show(Camera(r), v); }},
        {"CameraMotion", [](R& r, char*) { Motion(r, Camera(r)); }},
        // Item settings; parent and target are item numbers, resolved after the last line.
        {"PivotPoint", [](R& r, char* v) { r.Pivot(v); }},
        {"ParentObject",
         [](R& r, char* v) {
             if (r.item) r.item->Parent = (LwItemRef)LwParseInt(v);
         }},
        {"TargetObject",
         [](R& r, char* v) {
             if (!r.item) return;
             r.item->Target = (LwItemRef)LwParseInt(v);
             Controllers(r, 1);
         }},
        {"GoalObject",
         [](R& r, char* v) {
             if (!r.item) return;
             r.item->Goal = (LwItemRef)LwParseInt(v);
             Controllers(r, 3);
         }},
        {"PathAlignment", [](R& r, char*) { Controllers(r, 2); }},
        {"LookAheadFrames",
         [](R& r, char* v) {
             if (r.item) r.item->PathAlignLookAhead = (double)LwParseInt(v) / r.s->FramesPerSecond;
         }},
        // Objects.
        {"Metamorph",
         [](R& r, char* v) {
             if (r.object) r.RealOrEnvelope(v, &r.object->MorphAmount, &r.object->MorphEnvelope);
         }},
        {"ObjDissolve",
         [](R& r, char* v) {
             if (r.object) r.RealOrEnvelope(v, &r.object->ObjectDissolve, &r.object->DissolveEnvelope);
         }},
        // Lights: colours as 0-255 integers; angle envelopes are converted to radians.
        {"LightColor",
         [](R& r, char* v) {
             if (r.light) ColorInts(r, v, r.light->LightColor);
         }},
        {"LgtIntensity",
         [](R& r, char* v) {
             if (r.light) r.RealOrEnvelope(v, &r.light->LightIntensity, &r.light->LightIntensityEnvelope);
         }},
        {"ConeAngle",
         [](R& r, char* v) {
             if (r.light) r.DegreesOrEnvelope(v, &r.light->LightConeAngle, &r.light->LightConeAngleEnvelope, true);
         }},
        {"EdgeAngle",
         [](R& r, char* v) {
             if (r.light) r.DegreesOrEnvelope(v, &r.light->LightEdgeAngle, &r.light->LightEdgeAngleEnvelope, true);
         }},
        {"LightFalloff",
         [](R& r, char* v) {
             if (r.light) r.light->LightFalloffType = LwParseInt(v);
         }},
        {"NoDiffuse",
         [](R& r, char* v) {
             if (r.light) r.light->AffectDiffuse = LwParseInt(v) == 0;
         }},
        {"NoSpecular",
         [](R& r, char* v) {
             if (r.light) r.light->AffectSpecular = LwParseInt(v) == 0;
         }},
        // Cameras: presets for resolution, pixel aspect and film size.
        {"ZoomFactor",
         [](R& r, char* v) {
             if (!r.camera || r.IsEnvelope(v)) return;  // no block is read for it in version 1
             r.camera->ZoomFactor = LwParseReal(v);
             r.s->Op.ComputeFovAngles(r.s, r.camera);
         }},
        {"Resolution",
         [](R& r, char* v) {
             if (r.camera) r.camera->ResolutionMultiplier = ResolutionMultiplier(LwParseInt(v));
         }},
        {"CustomSize",
         [](R& r, char* v) {
             if (!r.camera) return;
             r.Ints(v, 2, r.camera->FrameSize);
             r.camera->ResolutionMultiplier = 0.0;
             r.s->Op.ComputeFovAngles(r.s, r.camera);
         }},
        {"PixelAspectRatio",
         [](R& r, char* v) {
             if (!r.camera) return;
             PixelAspectRatio(r.camera, LwParseInt(v));
             r.s->Op.ComputeFovAngles(r.s, r.camera);
         }},
        {"CustomPixelRatio",
         [](R& r, char* v) {
             if (r.camera) r.camera->PixelAspect = LwParseReal(v);
         }},
        {"FilmSize",
         [](R& r, char* v) {
             if (r.camera) FilmSize(r.camera, LwParseInt(v));
         }},
        // Fog, backdrop and composite: colours as 0-255 integers, images as file names.
        {"FogColor",
         [](R& r, char* v) {
             if (r.fog) ColorInts(r, v, r.fog->FogColor);
         }},
        {"BackdropColor",
         [](R& r, char* v) {
             if (r.backdrop) ColorInts(r, v, r.backdrop->BackdropColor);
         }},
        {"ZenithColor",
         [](R& r, char* v) {
             if (r.backdrop) ColorInts(r, v, r.backdrop->ZenithColor);
         }},
        {"SkyColor",
         [](R& r, char* v) {
             if (r.backdrop) ColorInts(r, v, r.backdrop->SkyColor);
         }},
        {"GroundColor",
         [](R& r, char* v) {
             if (r.backdrop) ColorInts(r, v, r.backdrop->GroundColor);
         }},
        {"NadirColor",
         [](R& r, char* v) {
             if (r.backdrop) ColorInts(r, v, r.backdrop->NadirColor);
         }},
        {"LowClipColor",
         [](R& r, char* v) {
             if (r.composite) ColorInts(r, v, r.composite->LowClipColor);
         }},
        {"HighClipColor",
         [](R& r, char* v) {
             if (r.composite) ColorInts(r, v, r.composite->HighClipColor);
         }},
        {"BGImage",
         [](R& r, char* v) {
             if (r.composite) StillClip(r, &r.composite->BGImage, v);
         }},
        {"FGImage",
         [](R& r, char* v) {
             if (r.composite) StillClip(r, &r.composite->FGImage, v);
         }},
        {"FGAlphaImage",
         [](R& r, char* v) {
             if (r.composite) StillClip(r, &r.composite->FGAlphaImage, v);
         }},
        // Illumination.
        {"AmbientColor",
         [](R& r, char* v) {
             if (r.illumination) ColorInts(r, v, r.illumination->AmbientColor);
         }},
        {"AmbIntensity",
         [](R& r, char* v) {
             if (r.illumination)
                 r.RealOrEnvelope(v, &r.illumination->AmbientIntensity, &r.illumination->AmbientIntensityEnvelope);
         }},
    });
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
    if (scene->Op.ReadLine(scene, line, sizeof(line)) && scene->Op.SplitTokens(scene, line, 2, tok) == 2 &&
        strcmp(tok[0], "EndBehavior") == 0)
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
    ReaderState r;
    r.Begin(scene, true);
    ReadKeywordLines(r, Keywords());
    if (!r.previewFirst) scene->PreviewFirstFrame = scene->FirstFrame;
    if (!r.previewLast) scene->PreviewLastFrame = scene->LastFrame;
    if (!r.previewStep) scene->PreviewFrameStep = scene->FrameStep;
    ResolveItemRefsV1(scene);
    return scene->ErrorCode;
}
