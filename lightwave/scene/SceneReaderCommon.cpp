// The keywords that version 3 and version 1 scene texts share, the plug-in routing and the line
// loop of both readers.
#include "lightwave/scene/SceneReaderCommon.h"

namespace lw_reader {

namespace {

typedef ReaderState R;

const KeywordTable::value_type kSharedRows[] = {
    // Scene settings. The preview flags only matter to version 1, which fills missing ones.
    {"FirstFrame", [](R& r, char* v) { r.s->FirstFrame = LwParseInt(v); }},
    {"LastFrame", [](R& r, char* v) { r.s->LastFrame = LwParseInt(v); }},
    {"FrameStep", [](R& r, char* v) { r.s->FrameStep = LwParseInt(v); }},
    {"PreviewFirstFrame", [](R& r, char* v) { r.s->PreviewFirstFrame = LwParseInt(v); r.previewFirst = true; }},
    {"PreviewLastFrame", [](R& r, char* v) { r.s->PreviewLastFrame = LwParseInt(v); r.previewLast = true; }},
    {"PreviewFrameStep", [](R& r, char* v) { r.s->PreviewFrameStep = LwParseInt(v); r.previewStep = true; }},
    {"FramesPerSecond", [](R& r, char* v) { SetFramesPerSecond(r.s, v); }},
    // Items.
    {"AddNullObject", [](R& r, char* v) { r.AddObject("AddNullObject", 1, v); }},
    {"ShowObject", [](R& r, char* v) { r.Show(r.objectItem, v); }},
    {"AddBone", [](R& r, char*) { r.AddBone(); }},
    {"BoneName", [](R& r, char* v) { r.Name(r.boneItem, v); }},
    {"ShowBone", [](R& r, char* v) { r.Show(r.boneItem, v); }},
    {"AddLight", [](R& r, char*) { r.AddLight(); }},
    {"LightName", [](R& r, char* v) { r.Name(r.lightItem, v); }},
    {"ShowLight", [](R& r, char* v) { r.Show(r.lightItem, v); }},
    // Item settings.
    {"HLimits", [](R& r, char* v) { if (r.item) r.Degrees(v, 2, r.item->HLimits); }},
    {"PLimits", [](R& r, char* v) { if (r.item) r.Degrees(v, 2, r.item->PLimits); }},
    {"BLimits", [](R& r, char* v) { if (r.item) r.Degrees(v, 2, r.item->BLimits); }},
    {"HJointStiffness", [](R& r, char* v) { if (r.item) r.item->HJointStiffness = LwParseReal(v); }},
    {"PJointStiffness", [](R& r, char* v) { if (r.item) r.item->PJointStiffness = LwParseReal(v); }},
    {"BJointStiffness", [](R& r, char* v) { if (r.item) r.item->BJointStiffness = LwParseReal(v); }},
    {"FullTimeIK", [](R& r, char* v) { if (r.item) r.item->FullTimeIK = LwParseInt(v); }},
    {"GoalStrength", [](R& r, char* v) { if (r.item) r.item->GoalStrength = LwParseReal(v); }},
    {"MatchGoalOrientation", [](R& r, char* v) { if (r.item) r.item->MatchGoalOrientation = LwParseInt(v); }},
    {"KeepGoalWithinReach", [](R& r, char* v) { if (r.item) r.item->KeepGoalWithinReach = LwParseInt(v); }},
    {"IKAnchor", [](R& r, char* v) { if (r.item) r.item->IKAnchor = LwParseInt(v); }},
    // Objects.
    {"ShadowOptions", [](R& r, char* v) { if (r.object) r.object->ShadowOptions = LwParseInt(v); }},
    {"MorphTarget", [](R& r, char* v) { if (r.object) r.object->MorphTarget = LwParseInt(v); }},
    {"MorphSurfaces", [](R& r, char* v) { if (r.object) r.object->MorphSurface = LwParseInt(v); }},
    {"MTSEMorphing", [](R& r, char* v) { if (r.object) r.object->MTSEMorphing = LwParseInt(v); }},
    {"DistanceDissolve", [](R& r, char* v) { if (r.object) r.object->DistanceDissolve = LwParseInt(v); }},
    {"MaxDissolveDistance", [](R& r, char* v) { if (r.object) r.object->MaxDissolveDistance = LwParseReal(v); }},
    // Bones.
    {"BoneFalloffType", [](R& r, char* v) { r.pendingFalloff = LwParseInt(v); }},
    {"BoneActive", [](R& r, char* v) { if (r.bone) r.bone->BoneActive = LwParseInt(v); }},
    {"BoneRestPosition", [](R& r, char* v) { if (r.bone) r.Reals(v, 3, r.bone->BoneRestPosition); }},
    {"BoneRestDirection", [](R& r, char* v) { if (r.bone) r.Degrees(v, 3, r.bone->BoneRestDirection); }},
    {"BoneRestLength", [](R& r, char* v) { if (r.bone) r.bone->BoneRestLength = LwParseReal(v); }},
    {"ScaleBoneStrength", [](R& r, char* v) { if (r.bone) r.bone->ScaleBoneStrength = LwParseReal(v); }},
    {"BoneStrength", [](R& r, char* v) { if (r.bone) r.bone->BoneStrength = LwParseReal(v); }},
    {"BoneLimitedRange", [](R& r, char* v) { if (r.bone) r.bone->BoneLimitedRange = LwParseInt(v); }},
    {"BoneMinRange", [](R& r, char* v) { if (r.bone) r.bone->BoneMinRange = LwParseReal(v); }},
    {"BoneMaxRange", [](R& r, char* v) { if (r.bone) r.bone->BoneMaxRange = LwParseReal(v); }},
    {"BoneJointComp", [](R& r, char* v) { if (r.bone) r.bone->BoneJointComp = LwParseReal(v); }},
    {"BoneJointCompParent", [](R& r, char* v) { if (r.bone) r.bone->BoneJointCompParent = LwParseReal(v); }},
    {"BoneMuscleFlex", [](R& r, char* v) { if (r.bone) r.bone->BoneMuscleFlex = LwParseReal(v); }},
    {"BoneMuscleFlexParent", [](R& r, char* v) { if (r.bone) r.bone->BoneMuscleFlexParent = LwParseReal(v); }},
    // Lights.
    {"LightType", [](R& r, char* v) { if (r.light) r.light->LightType = LwParseInt(v); }},
    {"LightRange",
     [](R& r, char* v) { if (r.light) r.RealOrEnvelope(v, &r.light->LightRange, &r.light->LightRangeEnvelope); }},
    {"ShadowType", [](R& r, char* v) { if (r.light) r.light->ShadowType = LwParseInt(v); }},
    // Cameras.
    {"SegmentMemory", [](R& r, char* v) { if (r.camera) r.camera->SegmentMemory = LwParseInt(v); }},
    {"Antialiasing", [](R& r, char* v) { if (r.camera) r.camera->Antialiasing = LwParseInt(v); }},
    {"AdaptiveSampling", [](R& r, char* v) { if (r.camera) r.camera->AdaptiveSampling = LwParseInt(v); }},
    {"MotionBlur", [](R& r, char* v) { if (r.camera) r.camera->MotionBlur = LwParseInt(v); }},
    {"BlurLength",
     [](R& r, char* v) { if (r.camera) r.RealOrEnvelope(v, &r.camera->BlurLength, &r.camera->BlurLengthEnvelope); }},
    {"DepthOfField", [](R& r, char* v) { if (r.camera) r.camera->DepthOfField = LwParseInt(v); }},
    {"FocalDistance",
     [](R& r, char* v) {
         if (r.camera) r.RealOrEnvelope(v, &r.camera->FocalDistance, &r.camera->FocalDistanceEnvelope);
     }},
    {"LensFStop",
     [](R& r, char* v) { if (r.camera) r.RealOrEnvelope(v, &r.camera->LensFStop, &r.camera->LensFStopEnvelope); }},
    // Plug-ins.
    {"Plugin", [](R& r, char* v) { r.Plugin(v); }},
    // Fog and backdrop.
    {"FogType", [](R& r, char* v) { if (r.fog) r.fog->FogType = LwParseInt(v); }},
    {"FogMinDist", [](R& r, char* v) { if (r.fog) r.RealOrEnvelope(v, &r.fog->FogMinDist, &r.fog->FogMinDistEnvelope); }},
    {"FogMaxDist", [](R& r, char* v) { if (r.fog) r.RealOrEnvelope(v, &r.fog->FogMaxDist, &r.fog->FogMaxDistEnvelope); }},
    {"FogMinAmount",
     [](R& r, char* v) { if (r.fog) r.RealOrEnvelope(v, &r.fog->FogMinAmount, &r.fog->FogMinAmountEnvelope); }},
    {"FogMaxAmount",
     [](R& r, char* v) { if (r.fog) r.RealOrEnvelope(v, &r.fog->FogMaxAmount, &r.fog->FogMaxAmountEnvelope); }},
    {"BackdropFog", [](R& r, char* v) { if (r.fog) r.fog->BackdropFog = LwParseInt(v); }},
    {"SolidBackdrop", [](R& r, char* v) { if (r.backdrop) r.backdrop->SolidBackdrop = LwParseInt(v); }},
    // Composite.
    {"FGDissolve",
     [](R& r, char* v) {
         if (r.composite) r.RealOrEnvelope(v, &r.composite->FGDissolve, &r.composite->FGDissolveEnvelope);
     }},
    {"FGFaderAlphaMode", [](R& r, char* v) { if (r.composite) r.composite->FGFaderAlphaMode = LwParseInt(v); }},
    {"ForegroundKey", [](R& r, char* v) { if (r.composite) r.composite->ForegroundKey = LwParseInt(v); }},
    // Processing.
    {"DitherIntensity", [](R& r, char* v) { if (r.processing) r.processing->DitherIntensity = LwParseInt(v); }},
    {"AnimatedDither", [](R& r, char* v) { if (r.processing) r.processing->AnimatedDither = LwParseInt(v); }},
    {"Saturation",
     [](R& r, char* v) {
         if (r.processing) r.RealOrEnvelope(v, &r.processing->Saturation, &r.processing->SaturationEnvelope);
     }},
    {"GlowEffect", [](R& r, char* v) { if (r.processing) r.processing->GlowEffect = LwParseInt(v); }},
    {"GlowIntensity",
     [](R& r, char* v) {
         if (r.processing) r.RealOrEnvelope(v, &r.processing->GlowIntensity, &r.processing->GlowIntensityEnvelope);
     }},
    {"GlowRadius",
     [](R& r, char* v) {
         if (r.processing) r.RealOrEnvelope(v, &r.processing->GlowRadius, &r.processing->GlowRadiusEnvelope);
     }},
    // Illumination.
    {"GlobalFlareIntensity",
     [](R& r, char* v) {
         if (r.illumination)
             r.RealOrEnvelope(v, &r.illumination->GlobalFlareIntensity, &r.illumination->GlobalFlareIntensityEnvelope);
     }},
};

}  // namespace

KeywordTable WithSharedKeywords(std::initializer_list<KeywordTable::value_type> versionRows) {
    KeywordTable table(std::begin(kSharedRows), std::end(kSharedRows));
    for (const auto& row : versionRows) table.insert(row);
    return table;
}

void ReaderState::Plugin(char* rest) {
    char* t[3];
    int n = Split(rest, 3, t);
    const char* className = n > 0 ? t[0] : nullptr;
    int32_t pluginClass = version1 ? LookupPluginClassV1(className) : LookupPluginClass(className);
    int32_t index = n > 1 ? LwParseInt(t[1]) : 0;
    const char* server = n > 2 ? t[2] : "";
    void* owner = nullptr;
    switch (pluginClass) {
    case LW_PLUGIN_ITEM_MOTION:
        owner = item;
        break;
    case LW_PLUGIN_DISPLACEMENT:
    case LW_PLUGIN_CUSTOM_OBJECT:
    case LW_PLUGIN_OBJECT_REPLACEMENT:
        owner = object;
        break;
    case LW_PLUGIN_VOLUMETRIC:
        owner = fog;
        break;
    case LW_PLUGIN_ENVIRONMENT:
        owner = backdrop;
        break;
    case LW_PLUGIN_PIXEL_FILTER:
    case LW_PLUGIN_IMAGE_FILTER:
        owner = processing;
        break;
    default:
        owner = s;
        break;  // master plug-ins, and those that belong to no record
    }
    if (!owner) return;
    if (version1)
        ReadPluginBlockV1(s, owner, pluginClass, index, server);
    else
        ReadPluginBlockV3(s, owner, pluginClass, index, server);
}

void ReadKeywordLines(ReaderState& r, const KeywordTable& table) {
    LwScene* scene = r.s;
    char line[LW_LINE_SIZE];
    while (scene->Op.ReadLine(scene, line, sizeof(line))) {
        char* tok[2] = {nullptr, nullptr};
        if (scene->Op.SplitTokens(scene, line, 2, tok) < 1 || !tok[0]) continue;
        char* rest = tok[1] ? tok[1] : const_cast<char*>("");
        scene->Op.Trace(scene, "{%s} {%s}\n", tok[0], rest);
        auto found = table.find(std::string_view(tok[0]));
        if (found != table.end()) found->second(r, rest);
    }
}

}  // namespace lw_reader
