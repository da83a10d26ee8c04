// Version 3 scene texts: one keyword and its values per line, routed to the current item or
// record of its kind. Unknown keywords, and keywords whose target does not exist yet, are skipped.
#include "lightwave/scene/LwScene.h"
#include "lightwave/scene/SceneInternal.h"
#include "lightwave/scene/SceneReaderCommon.h"

namespace {

using namespace lw_reader;
typedef ReaderState R;

// A channel block replaces the item's channel list; without the item its lines pass through the
// keyword table.
void ReadChannels(R& r, LwSceneItem* target) {
    if (!target) return;
    LwEnvelope* list = ReadChannelBlock(r.s, target);
    LwFreeEnvelopes(target->ChannelList);
    target->ChannelList = list;
}

// The keywords only version 3 has, or reads in its own way.
const KeywordTable& Keywords() {
    static const KeywordTable table = WithSharedKeywords({
        // Scene settings.
        {"CurrentFrame", [](R& r, char* v) { r.s->CurrentFrame = LwParseInt(v); }},
        {"CurrentObject", [](R& r, char* v) { r.s->CurrentObject = LwParseInt(v); }},
        {"CurrentLight", [](R& r, char* v) { r.s->CurrentLight = LwParseInt(v); }},
        {"CurrentCamera", [](R& r, char* v) { r.s->CurrentCamera = LwParseInt(v); }},
        // Items; motion comes as channel envelopes.
        {"LoadObjectLayer",
         [](R& r, char* v) {
             char* t[2];
             int n = r.Split(v, 2, t);
             r.AddObject("LoadObjectLayer", n > 0 ? LwParseInt(t[0]) : 0, n > 1 ? t[1] : "");
         }},
        {"ExcludeLight",
         [](R& r, char* v) {
             if (r.objectItem) r.s->Op.AddExcludeLight(r.s, r.objectItem, (LwItemRef)LwParseHex(v));
         }},
        {"ObjectMotion", [](R& r, char*) { ReadChannels(r, r.objectItem); }},
        {"BoneMotion", [](R& r, char*) { ReadChannels(r, r.boneItem); }},
        {"LightMotion", [](R& r, char*) { ReadChannels(r, r.lightItem); }},
        {"AddCamera", [](R& r, char*) { r.AddCamera(); }},
        {"CameraName", [](R& r, char* v) { r.Name(r.cameraItem, v); }},
        {"ShowCamera", [](R& r, char* v) { r.Show(r.cameraItem, v); }},
        {"CameraMotion", [](R& r, char*) { ReadChannels(r, r.cameraItem); }},
        // Item settings; references are written as they are stored.
        {"PivotPosition", [](R& r, char* v) { r.Pivot(v); }},
        {"PivotRotation",
         [](R& r, char* v) {
             double x[3];
             if (!r.item) return;
             r.Degrees(v, 3, x);
             r.s->Op.SetPivotRotation(r.s, r.item, x[0], x[1], x[2]);
         }},
        {"ParentItem", [](R& r, char* v) { if (r.item) r.s->Op.SetParentRef(r.s, r.item, (LwItemRef)LwParseHex(v)); }},
        {"TargetObject",
         [](R& r, char* v) {
             if (r.item) r.s->Op.SetTargetRef(r.s, r.item, 0x10000000u | ((uint32_t)LwParseInt(v) & 0xFFFFu));
         }},
        {"TargetItem", [](R& r, char* v) { if (r.item) r.s->Op.SetTargetRef(r.s, r.item, (LwItemRef)LwParseHex(v)); }},
        {"GoalObject", [](R& r, char* v) { if (r.item) r.s->Op.SetGoalRef(r.s, r.item, (LwItemRef)LwParseInt(v)); }},
        {"HController", [](R& r, char* v) { if (r.item) r.item->HController = LwParseInt(v); }},
        {"PController", [](R& r, char* v) { if (r.item) r.item->PController = LwParseInt(v); }},
        {"BController", [](R& r, char* v) { if (r.item) r.item->BController = LwParseInt(v); }},
        {"PathAlignLookAhead", [](R& r, char* v) { if (r.item) r.item->PathAlignLookAhead = LwParseReal(v); }},
        // Objects.
        {"UnaffectedByFog", [](R& r, char* v) { if (r.object) r.object->UnaffectedByFog = LwParseInt(v); }},
        {"MorphAmount",
         [](R& r, char* v) { if (r.object) r.RealOrEnvelope(v, &r.object->MorphAmount, &r.object->MorphEnvelope); }},
        {"ObjectDissolve",
         [](R& r, char* v) {
             if (r.object) r.RealOrEnvelope(v, &r.object->ObjectDissolve, &r.object->DissolveEnvelope);
         }},
        {"PolygonSize",
         [](R& r, char* v) {
             if (r.object) r.RealOrEnvelope(v, &r.object->PolygonSize, &r.object->PolygonSizeEnvelope);
         }},
        // Bones.
        {"BoneWeightMapName",
         [](R& r, char* v) {
             if (r.bone) LwCopyText(r.bone->BoneWeightMapName, v, sizeof(r.bone->BoneWeightMapName));
         }},
        {"BoneWeightMapOnly", [](R& r, char* v) { if (r.bone) r.bone->BoneWeightMapOnly = LwParseInt(v); }},
        {"BoneNormalization", [](R& r, char* v) { if (r.bone) r.bone->BoneNormalization = LwParseInt(v); }},
        // Lights: colours as reals; the angle envelopes keep the values as written.
        {"LightColor",
         [](R& r, char* v) { if (r.light) r.ColorOrEnvelopes(v, r.light->LightColor, &r.light->LightColorEnvelope); }},
        {"LightIntensity",
         [](R& r, char* v) {
             if (r.light) r.RealOrEnvelope(v, &r.light->LightIntensity, &r.light->LightIntensityEnvelope);
         }},
        {"LightConeAngle",
         [](R& r, char* v) {
             if (r.light) r.DegreesOrEnvelope(v, &r.light->LightConeAngle, &r.light->LightConeAngleEnvelope);
         }},
        {"LightEdgeAngle",
         [](R& r, char* v) {
             if (r.light) r.DegreesOrEnvelope(v, &r.light->LightEdgeAngle, &r.light->LightEdgeAngleEnvelope);
         }},
        {"LightFalloffType", [](R& r, char* v) { if (r.light) r.light->LightFalloffType = LwParseInt(v); }},
        {"ShadowMapAngle",
         [](R& r, char* v) {
             if (r.light) r.DegreesOrEnvelope(v, &r.light->ShadowMapAngle, &r.light->ShadowMapAngleEnvelope);
         }},
        {"AffectDiffuse", [](R& r, char* v) { if (r.light) r.light->AffectDiffuse = LwParseInt(v); }},
        {"AffectSpecular", [](R& r, char* v) { if (r.light) r.light->AffectSpecular = LwParseInt(v); }},
        {"AffectCaustics", [](R& r, char* v) { if (r.light) r.light->AffectCaustics = LwParseInt(v); }},
        {"AffectOpenGL", [](R& r, char* v) { if (r.light) r.light->AffectOpenGL = LwParseInt(v); }},
        // Cameras.
        {"ZoomFactor",
         [](R& r, char* v) {
             if (r.camera && r.RealOrEnvelope(v, &r.camera->ZoomFactor, &r.camera->ZoomFactorEnvelope))
                 r.s->Op.ComputeFovAngles(r.s, r.camera);
         }},
        {"ResolutionMultiplier",
         [](R& r, char* v) { if (r.camera) r.camera->ResolutionMultiplier = LwParseReal(v); }},
        {"FrameSize",
         [](R& r, char* v) {
             if (!r.camera) return;
             r.Ints(v, 2, r.camera->FrameSize);
             r.s->Op.ComputeFovAngles(r.s, r.camera);
         }},
        {"PixelAspect",
         [](R& r, char* v) {
             if (!r.camera) return;
             r.camera->PixelAspect = LwParseReal(v);
             r.s->Op.ComputeFovAngles(r.s, r.camera);
         }},
        {"MaskPosition", [](R& r, char* v) { if (r.camera) r.Ints(v, 4, r.camera->MaskPosition); }},
        {"ApertureHeight", [](R& r, char* v) { if (r.camera) r.camera->ApertureHeight = LwParseReal(v); }},
        // Fog and backdrop; colours as reals.
        {"FogMinDistance",
         [](R& r, char* v) { if (r.fog) r.RealOrEnvelope(v, &r.fog->FogMinDist, &r.fog->FogMinDistEnvelope); }},
        {"FogMaxDistance",
         [](R& r, char* v) { if (r.fog) r.RealOrEnvelope(v, &r.fog->FogMaxDist, &r.fog->FogMaxDistEnvelope); }},
        {"FogColor", [](R& r, char* v) { if (r.fog) r.Color(v, r.fog->FogColor); }},
        {"BackdropColor", [](R& r, char* v) { if (r.backdrop) r.Color(v, r.backdrop->BackdropColor); }},
        {"ZenithColor", [](R& r, char* v) { if (r.backdrop) r.Color(v, r.backdrop->ZenithColor); }},
        {"SkyColor", [](R& r, char* v) { if (r.backdrop) r.Color(v, r.backdrop->SkyColor); }},
        {"GroundColor", [](R& r, char* v) { if (r.backdrop) r.Color(v, r.backdrop->GroundColor); }},
        {"NadirColor", [](R& r, char* v) { if (r.backdrop) r.Color(v, r.backdrop->NadirColor); }},
        // Composite: images are clip blocks.
        {"LowClipColor", [](R& r, char* v) { if (r.composite) r.Color(v, r.composite->LowClipColor); }},
        {"HighClipColor", [](R& r, char* v) { if (r.composite) r.Color(v, r.composite->HighClipColor); }},
        {"BGImage", [](R& r, char*) { if (r.composite) r.Clip(&r.composite->BGImage); }},
        {"FGImage", [](R& r, char*) { if (r.composite) r.Clip(&r.composite->FGImage); }},
        {"FGAlphaImage", [](R& r, char*) { if (r.composite) r.Clip(&r.composite->FGAlphaImage); }},
        // Processing and illumination.
        {"LimitDynamicRange",
         [](R& r, char* v) { if (r.processing) r.processing->LimitDynamicRange = LwParseInt(v); }},
        {"AmbientColor",
         [](R& r, char* v) {
             if (r.illumination)
                 r.ColorOrEnvelopes(v, r.illumination->AmbientColor, &r.illumination->AmbientColorEnvelope);
         }},
        {"AmbientIntensity",
         [](R& r, char* v) {
             if (r.illumination)
                 r.RealOrEnvelope(v, &r.illumination->AmbientIntensity, &r.illumination->AmbientIntensityEnvelope);
         }},
        {"GlobalLightIntensity",
         [](R& r, char* v) {
             if (r.illumination)
                 r.RealOrEnvelope(v, &r.illumination->GlobalLightIntensity,
                                  &r.illumination->GlobalLightIntensityEnvelope);
         }},
        {"CausticIntensity",
         [](R& r, char* v) {
             if (r.illumination)
                 r.RealOrEnvelope(v, &r.illumination->CausticIntensity, &r.illumination->CausticIntensityEnvelope);
         }},
    });
    return table;
}

}  // namespace

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
    ReaderState r;
    r.Begin(scene, false);
    ReadKeywordLines(r, Keywords());
    r.AssignBoneObjects();
    return scene->ErrorCode;
}
