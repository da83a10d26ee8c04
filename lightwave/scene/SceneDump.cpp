// The scene text dump: every record the loader built, indented by tabs, for checking by eye or
// against an expected text.
#include "lightwave/scene/LwScene.h"
#include "lightwave/scene/SceneInternal.h"

#include <cstring>

namespace {

const char* Name(const char* const* table, int count, int32_t value, const char* fallback) {
    return value >= 0 && value < count ? table[value] : fallback;
}

const char* const kItemTypes[] = {"UNKNOWN", "OBJECT", "LIGHT", "CAMERA", "BONE"};
const char* const kObjectKinds[] = {"ObjectFile", "NullObject"};
const char* const kShapes[] = {"TCB", "Hermite", "Bezier", "Linear", "Stepped", "2D Bezier"};
const char* const kFogTypes[] = {"Off", "Linear", "Nonlinear 1", "Nonlinear 2"};
const char* const kClipTypes[] = {"Still", "Sequence", "Animation", "Reference"};
const char* const kPluginClasses[] = {
    "Unknown",           "ItemMotionHandler",     "DisplacementHandler", "ChannelHandler",
    "VolumetricHandler", "EnvironmentHandler",    "PixelFilterHandler",  "ImageFilterHandler",
    "CustomObjHandler",  "ObjReplacementHandler", "MasterHandler"};

void DumpPlugins(FILE* f, const LwPlugin* p, int L);

// A block: an empty line, its title, and its body between braces.
void Open(FILE* f, int level, const char* title) {
    DumpPrintf(f, 0, "\n");
    DumpPrintf(f, level, "%s", title);
    DumpPrintf(f, level, "{\n");
}

void Close(FILE* f, int level) { DumpPrintf(f, level, "}\n"); }

void DumpEnvelope(FILE* f, const LwEnvelope* env, const char* title, int L) {
    if (!env) return;
    DumpPrintf(f, 0, "\n");
    DumpPrintf(f, L, "%s\n", title);
    DumpPrintf(f, L, "{\n");
    DumpPrintf(f, L + 1, "No            %d\n", env->Channel);
    DumpPrintf(f, L + 1, "NumKey        %d\n", env->KeyCount);
    DumpPrintf(f, L + 1, "Behaviors     %d %d\n", env->PreBehavior, env->PostBehavior);
    for (const LwEnvelopeKey* k = env->FirstKey; k; k = k->Next) {
        DumpPrintf(f, L + 1, "\n");
        DumpPrintf(f, L + 1, "Key\n");
        DumpPrintf(f, L + 1, "{\n");
        DumpPrintf(f, L + 2, "Value       %f\n", k->Value);
        DumpPrintf(f, L + 2, "Time        %f\n", k->Time);
        DumpPrintf(f, L + 2, "Shape       %s\n", Name(kShapes, 6, k->Shape, "Unknown"));
        DumpPrintf(f, L + 2, "Tension     %f\n", k->Tension);
        DumpPrintf(f, L + 2, "Continuity  %f\n", k->Continuity);
        DumpPrintf(f, L + 2, "Bias        %f\n", k->Bias);
        DumpPrintf(f, L + 2, "Param0      %f\n", k->Param0);
        DumpPrintf(f, L + 2, "Param1      %f\n", k->Param1);
        DumpPrintf(f, L + 2, "Param2      %f\n", k->Param2);
        DumpPrintf(f, L + 1, "}\n");
    }
    DumpPlugins(f, env->Plugins, L + 1);
    Close(f, L);
}

void DumpPlugin(FILE* f, const LwPlugin* p, int L) {
    if (!p) return;
    Open(f, L, "Plugin\n");
    DumpPrintf(f, L + 1, "Type          %s\n", Name(kPluginClasses, 11, p->Class, "Unknown"));
    DumpPrintf(f, L + 1, "Version       %d\n", p->Version);
    DumpPrintf(f, L + 1, "Name          \"%s\"\n", p->Name);
    DumpPrintf(f, L + 1, "Size          %d\n", p->Size);
    if (p->Data && p->Size > 0) {
        DumpPrintf(f, L + 1, "Params\n");
        DumpPrintf(f, L + 1, "{\n");
        for (int32_t at = 0; at < p->Size;) {
            int len = (int)strnlen(p->Data + at, (size_t)(p->Size - at));
            DumpPrintf(f, L + 2, "\"%.*s\"\n", len, p->Data + at);
            at += len + 1;
        }
        DumpPrintf(f, L + 1, "}\n");
    }
    Close(f, L);
}

void DumpPlugins(FILE* f, const LwPlugin* p, int L) {
    for (; p; p = p->Next) DumpPlugin(f, p, L);
}

// A value line, or the value's envelope block in its place.
void ValueOrEnvelope(FILE* f, int L, const LwEnvelope* env, const char* title, const char* format, double value) {
    if (env)
        DumpEnvelope(f, env, title, L);
    else
        DumpPrintf(f, L, format, value);
}

void ColorEnvelopes(FILE* f, int L, const LwEnvelope* env, const char* name) {
    static const char* const kParts[] = {".R", ".G", ".B"};
    for (int i = 0; i < 3 && env; ++i, env = env->Next) {
        char title[64];
        snprintf(title, sizeof(title), "%s%s", name, kParts[i]);
        DumpEnvelope(f, env, title, L);
    }
}

void DumpObject(FILE* f, const LwSceneObject* o, int L) {
    if (!o) return;
    Open(f, L, "Object \n");
    int l = L + 1;
    DumpPrintf(f, l, "Type                 %s\n", Name(kObjectKinds, 2, o->Kind, "Unknown"));
    DumpPrintf(f, l, "FileName             \"%s\"\n", o->FileName);
    DumpPrintf(f, l, "Layer                %d\n", o->Layer);
    DumpPrintf(f, l, "ShadowOptions        %d\n", o->ShadowOptions);
    DumpPrintf(f, l, "MorphTarget          %d\n", o->MorphTarget);
    DumpPrintf(f, l, "MorphSurface         %d\n", o->MorphSurface);
    DumpPrintf(f, l, "MTSEMorphing         %d\n", o->MTSEMorphing);
    DumpPrintf(f, l, "DistanceDissolve     %d\n", o->DistanceDissolve);
    DumpPrintf(f, l, "MaxDissolveDistance  %f\n", o->MaxDissolveDistance);
    ValueOrEnvelope(f, l, o->MorphEnvelope, "MorphEnvelope", "MorphAmount          %f\n", o->MorphAmount);
    ValueOrEnvelope(f, l, o->DissolveEnvelope, "DissolveEnvelope", "ObjectDissolve       %f\n", o->ObjectDissolve);
    ValueOrEnvelope(f, l, o->PolygonSizeEnvelope, "PolygonSizeEnvelope", "PolygonSize          %f\n", o->PolygonSize);
    for (const LwExcludeLight* e = o->ExcludeLights; e; e = e->Next)
        DumpPrintf(f, l, "ExcludeLight         %08x\n", e->Light);
    DumpPlugins(f, o->Plugins, l);
    if (LwObject* obj = o->Object) {
        LwLayer* layer = obj->CurrentLayer;
        DumpPrintf(f, l, "Obj2 \n");
        DumpPrintf(f, l, "{\n");
        DumpPrintf(f, l + 1, "Layer idx %d  layer_no %d  name [%s]\n", layer ? layer->Position : 0,
                   layer ? layer->LayerNumber : 0, layer ? layer->Name : "");
        DumpPrintf(f, l + 1, "NumberOfPolygons  %d\n", obj->Op.GetNumPolygons(obj));
        DumpPrintf(f, l + 1, "NumberOfPoints    %d\n", obj->Op.GetNumPoints(obj));
        DumpPrintf(f, l + 1, "NumberOfNormals   %d\n", obj->Op.GetNumNormals(obj));
        DumpPrintf(f, l + 1, "NumberOfUVCoords  %d\n", obj->Op.GetNumTexCoords(obj));
        DumpPrintf(f, l + 1, "NumberOfColors    %d\n", obj->Op.GetNumColors(obj));
        DumpPrintf(f, l + 1, "NumberOfSurfaces  %d\n", obj->Op.GetNumSurfaces(obj));
        DumpPrintf(f, l + 1, "NumberOfWeights   %d\n", obj->Op.GetNumVmaps(obj, LwMakeId('W', 'G', 'H', 'T')));
        DumpPrintf(f, l + 1, "NumberOfMorphs    %d\n", obj->Op.GetNumVmaps(obj, LwMakeId('M', 'O', 'R', 'F')));
        DumpPrintf(f, l, "}\n");
    }
    Close(f, L);
}

void DumpLight(FILE* f, const LwSceneLight* g, int L) {
    if (!g) return;
    Open(f, L, "Light \n");
    int l = L + 1;
    if (g->LightColorEnvelope)
        ColorEnvelopes(f, l, g->LightColorEnvelope, "LightColorEnvelope");
    else
        DumpPrintf(f, l, "LightColor        %f %f %f\n", g->LightColor[0], g->LightColor[1], g->LightColor[2]);
    ValueOrEnvelope(f, l, g->LightIntensityEnvelope, "LightIntensityEnvelope", "LightIntensity    %f\n",
                    g->LightIntensity);
    DumpPrintf(f, l, "AfterCaustics     %d\n", g->AfterCaustics);
    DumpPrintf(f, l, "LightType         %d\n", g->LightType);
    ValueOrEnvelope(f, l, g->LightConeAngleEnvelope, "LightConeAngleEnvelope", "LightConeAngle    %f\n",
                    g->LightConeAngle);
    ValueOrEnvelope(f, l, g->LightEdgeAngleEnvelope, "LightEdgeAngleEnvelope", "LightEdgeAngle    %f\n",
                    g->LightEdgeAngle);
    DumpPrintf(f, l, "LightQuality      %d\n", g->LightQuality);
    DumpPrintf(f, l, "LightFalloffType  %d\n", g->LightFalloffType);
    ValueOrEnvelope(f, l, g->LightRangeEnvelope, "LightRangeEnvelope", "LightRange        %f\n", g->LightRange);
    DumpPrintf(f, l, "ShadowType        %d\n", g->ShadowType);
    ValueOrEnvelope(f, l, g->ShadowMapAngleEnvelope, "ShadowMapAngleEnvelope", "ShadowMapAngle    %f\n",
                    g->ShadowMapAngle);
    DumpPrintf(f, l, "AffectDiffuse     %d\n", g->AffectDiffuse);
    DumpPrintf(f, l, "AffectSpecular    %d\n", g->AffectSpecular);
    DumpPrintf(f, l, "AffectCaustics    %d\n", g->AffectCaustics);
    DumpPrintf(f, l, "AffectOpenGL      %d\n", g->AffectOpenGL);
    Close(f, L);
}

void DumpCamera(FILE* f, const LwSceneCamera* c, int L) {
    if (!c) return;
    Open(f, L, "Camera \n");
    int l = L + 1;
    DumpPrintf(f, l, "MotionBlur            %d\n", c->MotionBlur);
    DumpPrintf(f, l, "DepthOfField          %d\n", c->DepthOfField);
    ValueOrEnvelope(f, l, c->BlurLengthEnvelope, "BlurLengthEnvelope", "BlurLength            %f\n", c->BlurLength);
    ValueOrEnvelope(f, l, c->ZoomFactorEnvelope, "ZoomFactorEnvelope", "ZoomFactor            %f\n", c->ZoomFactor);
    DumpPrintf(f, l, "FovAngles             %f %f\n", c->FovAngles[0], c->FovAngles[1]);
    ValueOrEnvelope(f, l, c->FocalDistanceEnvelope, "FocalDistanceEnvelope", "FocalDistance         %f\n",
                    c->FocalDistance);
    ValueOrEnvelope(f, l, c->LensFStopEnvelope, "LensFStopEnvelope", "LensFStop             %f\n", c->LensFStop);
    DumpPrintf(f, l, "FrameSize             %d %d\n", c->FrameSize[0], c->FrameSize[1]);
    DumpPrintf(f, l, "MaskPosition          %d %d %d %d\n", c->MaskPosition[0], c->MaskPosition[1], c->MaskPosition[2],
               c->MaskPosition[3]);
    DumpPrintf(f, l, "SegmentMemory         %d\n", c->SegmentMemory);
    DumpPrintf(f, l, "Antialiasing          %d\n", c->Antialiasing);
    DumpPrintf(f, l, "AdaptiveSampling      %d\n", c->AdaptiveSampling);
    DumpPrintf(f, l, "ResolutionMultiplier  %f\n", c->ResolutionMultiplier);
    DumpPrintf(f, l, "PixelAspect           %f\n", c->PixelAspect);
    DumpPrintf(f, l, "ApertureHeight        %f\n", c->ApertureHeight);
    DumpPrintf(f, l, "AdaptiveThreshold     %f\n", c->AdaptiveThreshold);
    Close(f, L);
}

void DumpBone(FILE* f, LwScene* s, const LwSceneBone* b, int L) {
    if (!b) return;
    Open(f, L, "Bone \n");
    int l = L + 1;
    DumpPrintf(f, l, "BoneObject            %d\n", b->BoneObject);
    DumpPrintf(f, l, "BoneFalloffType       %d\n", b->BoneFalloffType);
    DumpPrintf(f, l, "BoneActive            %d\n", b->BoneActive);
    DumpPrintf(f, l, "BoneRestPosition      %f %f %f\n", b->BoneRestPosition[0], b->BoneRestPosition[1],
               b->BoneRestPosition[2]);
    DumpPrintf(f, l, "BoneRestDirection     %f %f %f\n", b->BoneRestDirection[0], b->BoneRestDirection[1],
               b->BoneRestDirection[2]);
    DumpPrintf(f, l, "BoneRestLength        %f\n", b->BoneRestLength);
    DumpPrintf(f, l, "boneWeightMapName     \"%s\"\n", b->BoneWeightMapName);
    DumpPrintf(f, l, "BoneWeightMapOnly     %d\n", b->BoneWeightMapOnly);
    DumpPrintf(f, l, "BoneNormalization     %d\n", b->BoneNormalization);
    DumpPrintf(f, l, "BoneStrength          %f\n", b->BoneStrength);
    DumpPrintf(f, l, "ScaleBoneStrength     %f\n", b->ScaleBoneStrength);
    DumpPrintf(f, l, "BoneLimitedRange      %d\n", b->BoneLimitedRange);
    DumpPrintf(f, l, "BoneMinRange          %f\n", b->BoneMinRange);
    DumpPrintf(f, l, "BoneMaxRange          %f\n", b->BoneMaxRange);
    DumpPrintf(f, l, "BoneJointComp         %f\n", b->BoneJointComp);
    DumpPrintf(f, l, "BoneJointCompParent   %f\n", b->BoneJointCompParent);
    DumpPrintf(f, l, "BoneMuscleFlex        %f\n", b->BoneMuscleFlex);
    DumpPrintf(f, l, "BoneMuscleFlexParent  %f\n", b->BoneMuscleFlexParent);
    DumpPrintf(f, l, "BoneRestStart         %f %f %f\n", b->BoneRestStart[0], b->BoneRestStart[1], b->BoneRestStart[2]);
    DumpPrintf(f, l, "BoneRestEnd           %f %f %f\n", b->BoneRestEnd[0], b->BoneRestEnd[1], b->BoneRestEnd[2]);
    // The points the bone weighs, from the WGHT map of its name in its object's loaded file.
    const LwSceneItem* owner = b->BoneWeightMapName[0] ? s->Op.GetItemByIndex(s, b->BoneObject) : nullptr;
    LwObject* obj = owner && owner->Type == LW_ITEM_OBJECT && owner->Object ? owner->Object->Object : nullptr;
    if (const LwVmap* map = obj ? obj->Op.FindVmap(obj, LwMakeId('W', 'G', 'H', 'T'), b->BoneWeightMapName) : nullptr) {
        DumpPrintf(f, l, "Weight \n");
        DumpPrintf(f, l, "{\n");
        const size_t dimension = map->Dimension > 0 ? (size_t)map->Dimension : 0;
        for (size_t i = 0; i < map->Points.size(); ++i) {
            const size_t at = i * dimension;
            DumpPrintf(f, l + 1, "%d    %f\n", map->Points[i],
                       dimension && at < map->Values.size() ? map->Values[at] : 0.0f);
        }
        DumpPrintf(f, l, "}\n");
    }
    Close(f, L);
}

void DumpMotion(FILE* f, const LwKeyframeMotion* m, int L) {
    if (!m) return;
    Open(f, L, "Motion\n");
    DumpPrintf(f, L + 1, "NumKey        %d\n", m->KeyCount);
    DumpPrintf(f, L + 1, "Behaviors     %d\n", m->EndBehavior);
    for (const LwMotionKey* k = m->FirstKey; k; k = k->Next) {
        DumpPrintf(f, L + 1, "\n");
        DumpPrintf(f, L + 1, "KeyFrame\n");
        DumpPrintf(f, L + 1, "{\n");
        DumpPrintf(f, L + 2, "Step        %d\n", k->Step);
        DumpPrintf(f, L + 2, "Postion     %f %f %f\n", k->Position[0], k->Position[1], k->Position[2]);
        DumpPrintf(f, L + 2, "Rotation    %f %f %f\n", k->Rotation[0], k->Rotation[1], k->Rotation[2]);
        DumpPrintf(f, L + 2, "Scale       %f %f %f\n", k->Scale[0], k->Scale[1], k->Scale[2]);
        DumpPrintf(f, L + 2, "Tension     %f\n", k->Tension);
        DumpPrintf(f, L + 2, "Bias        %f\n", k->Bias);
        DumpPrintf(f, L + 2, "Continuity  %f\n", k->Continuity);
        DumpPrintf(f, L + 2, "Linear      %d\n", k->Linear);
        DumpPrintf(f, L + 1, "}\n");
    }
    Close(f, L);
}

void DumpItem(FILE* f, LwScene* s, LwSceneItem* it, int L) {
    if (!it) return;
    char title[64];
    snprintf(title, sizeof(title), "Item <%s>\n", Name(kItemTypes, 5, it->Type, "UNKNOWN"));
    Open(f, L, title);
    int l = L + 1;
    DumpPrintf(f, l, "Index                %d\n", it->Index);
    DumpPrintf(f, l, "Name                 \"%s\"\n", s->Op.GetItemDisplayName(s, it));
    DumpPrintf(f, l, "Type                 %d\n", it->Type);
    DumpPrintf(f, l, "Refresh              %d\n", it->Refresh);
    DumpPrintf(f, l, "Color                %d\n", it->Color);
    DumpPrintf(f, l, "Channels             %d\n", it->Channels);
    if (LwSceneItem* parent = s->Op.GetParentItem(s, it))
        DumpPrintf(f, l, "Parent               %08x\t\t// Item Index %d\n", it->Parent, parent->Index);
    else
        DumpPrintf(f, l, "Parent               %08x\n", it->Parent);
    DumpPrintf(f, l, "Target               %d\n", (int32_t)it->Target);
    DumpPrintf(f, l, "Goal                 %d\n", (int32_t)it->Goal);
    DumpPrintf(f, l, "PivotPosition        %f %f %f\n", it->PivotPosition[0], it->PivotPosition[1],
               it->PivotPosition[2]);
    DumpPrintf(f, l, "PivotRotation        %f %f %f\n", it->PivotRotation[0], it->PivotRotation[1],
               it->PivotRotation[2]);
    DumpPrintf(f, l, "FullTimeIK           %d\n", it->FullTimeIK);
    DumpPrintf(f, l, "MatchGoalOrientation %d\n", it->MatchGoalOrientation);
    DumpPrintf(f, l, "KeepGoalWithinReach  %d\n", it->KeepGoalWithinReach);
    DumpPrintf(f, l, "IKAnchor             %d\n", it->IKAnchor);
    DumpPrintf(f, l, "PathAlignLookAhead   %f\n", it->PathAlignLookAhead);
    DumpPrintf(f, l, "GoalStrength         %f\n", it->GoalStrength);
    DumpPrintf(f, l, "HLimits              %f %f\n", it->HLimits[0], it->HLimits[1]);
    DumpPrintf(f, l, "PLimits              %f %f\n", it->PLimits[0], it->PLimits[1]);
    DumpPrintf(f, l, "BLimits              %f %f\n", it->BLimits[0], it->BLimits[1]);
    DumpPrintf(f, l, "HJointStiffness      %f\n", it->HJointStiffness);
    DumpPrintf(f, l, "PJointStiffness      %f\n", it->PJointStiffness);
    DumpPrintf(f, l, "BJointStiffness      %f\n", it->BJointStiffness);
    DumpPrintf(f, l, "HController          %d\n", it->HController);
    DumpPrintf(f, l, "PController          %d\n", it->PController);
    DumpPrintf(f, l, "BController          %d\n", it->BController);
    switch (it->Type) {
    case LW_ITEM_OBJECT:
        DumpObject(f, s->Op.GetObjectRecord(s, it), l);
        break;
    case LW_ITEM_LIGHT:
        DumpLight(f, s->Op.GetLightRecord(s, it), l);
        break;
    case LW_ITEM_CAMERA:
        DumpCamera(f, s->Op.GetCameraRecord(s, it), l);
        break;
    case LW_ITEM_BONE:
        DumpBone(f, s, s->Op.GetBoneRecord(s, it), l);
        break;
    default:
        break;
    }
    DumpMotion(f, s->Op.GetItemMotion(s, it), l);
    for (int32_t c = 0; c <= 8; ++c) DumpEnvelope(f, s->Op.FindChannel(s, it, c), "Channel", l);
    DumpPlugins(f, it->Plugins, l);
    Close(f, L);
}

void DumpFog(FILE* f, const LwSceneFog* g, int L) {
    if (!g) return;
    Open(f, L, "Fog \n");
    int l = L + 1;
    DumpPrintf(f, l, "FogType               %s\n", Name(kFogTypes, 4, g->FogType, "Unknown"));
    ValueOrEnvelope(f, l, g->FogMinDistEnvelope, "FogMinDistEnvelope", "FogMinDist            %f\n", g->FogMinDist);
    ValueOrEnvelope(f, l, g->FogMaxDistEnvelope, "FogMaxDistEnvelope", "FogMaxDist            %f\n", g->FogMaxDist);
    ValueOrEnvelope(f, l, g->FogMinAmountEnvelope, "FogMinAmountEnvelope", "FogMinAmount          %f\n",
                    g->FogMinAmount);
    ValueOrEnvelope(f, l, g->FogMaxAmountEnvelope, "FogMaxAmountEnvelope", "FogMaxAmount          %f\n",
                    g->FogMaxAmount);
    DumpPrintf(f, l, "FogColor              %f %f %f\n", g->FogColor[0], g->FogColor[1], g->FogColor[2]);
    DumpPrintf(f, l, "BackdropFog           %d\n", g->BackdropFog);
    DumpPlugins(f, g->Plugins, l);
    Close(f, L);
}

void PrintColor(FILE* f, int l, const char* format, const float c[3]) { DumpPrintf(f, l, format, c[0], c[1], c[2]); }

void DumpBackdrop(FILE* f, const LwSceneBackdrop* b, int L) {
    if (!b) return;
    Open(f, L, "Backdrop \n");
    int l = L + 1;
    DumpPrintf(f, l, "SolidBackdrop         %d\n", b->SolidBackdrop);
    DumpPrintf(f, l, "BackdropColor         %f %f %f\n", b->BackdropColor[0], b->BackdropColor[1], b->BackdropColor[2]);
    DumpPrintf(f, l, "ZenithColor           %f %f %f\n", b->ZenithColor[0], b->ZenithColor[1], b->ZenithColor[2]);
    DumpPrintf(f, l, "SkyColor              %f %f %f\n", b->SkyColor[0], b->SkyColor[1], b->SkyColor[2]);
    DumpPrintf(f, l, "GroundColor           %f %f %f\n", b->GroundColor[0], b->GroundColor[1], b->GroundColor[2]);
    DumpPrintf(f, l, "NadirColor            %f %f %f\n", b->NadirColor[0], b->NadirColor[1], b->NadirColor[2]);
    DumpPlugins(f, b->Plugins, l);
    Close(f, L);
}

void DumpAdjust(FILE* f, const LwClipAdjust* a, const char* name, int l) {
    if (!a) return;
    DumpPrintf(f, l, "%s {\n", name);
    DumpPrintf(f, l + 1, "Value         %f\n", a->Value);
    if (a->Envelopes) DumpEnvelope(f, a->Envelopes, "Envelope", l + 1);
    DumpPrintf(f, l, "}\n");
}

void DumpClip(FILE* f, const LwClip* c, const char* name, int L) {
    if (!c) return;
    char title[64];
    snprintf(title, sizeof(title), "Clip <%s> \n", name);
    Open(f, L, title);
    int l = L + 1;
    DumpPrintf(f, l, "Type          %s\n", Name(kClipTypes, 4, c->ClipType, "Unknown"));
    switch (c->ClipType) {
    case 0:
        DumpPrintf(f, l, "Name          \"%s\"\n", c->StillName ? c->StillName : "");
        break;
    case 1:
        if (const LwClipSequence* q = c->Sequence) {
            DumpPrintf(f, l, "Digits        %d\n", q->Digits);
            DumpPrintf(f, l, "Flags         %d\n", q->Flags);
            DumpPrintf(f, l, "Start_frame   %d\n", q->Start_frame);
            DumpPrintf(f, l, "Loop_length   %d\n", q->Loop_length);
            DumpPrintf(f, l, "First_frame   %d\n", q->First_frame);
            DumpPrintf(f, l, "Last_frame    %d\n", q->Last_frame);
            DumpPrintf(f, l, "Prefix        \"%s\"\n", q->Prefix);
            DumpPrintf(f, l, "Suffix        \"%s\"\n", q->Suffix);
        }
        break;
    case 2:
        if (const LwClipAnimation* a = c->Animation) {
            DumpPrintf(f, l, "Name          \"%s\"\n", a->FileName);
            DumpPrintf(f, l, "ServerName    \"%s\"\n", a->ServerName);
            DumpPrintf(f, l, "Offset        %d\n", a->Offset);
        }
        break;
    case 3:
        if (const LwClipReference* r = c->Reference) {
            DumpPrintf(f, l, "Index         %d\n", r->Index);
            DumpPrintf(f, l, "String        \"%s\"\n", r->String);
            DumpPrintf(f, l, "Type          \"%s\"\n", r->Type);
            DumpPrintf(f, l, "Name          \"%s\"\n", r->Name);
            DumpPrintf(f, l, "Filename      \"%s\"\n", r->Filename);
        }
        break;
    default:
        break;
    }
    if (const LwClipTimes* t = c->Times) {
        DumpPrintf(f, l, "\n");
        DumpPrintf(f, l, "Times {\n");
        DumpPrintf(f, l + 1, "In Time       %f\n", t->InTime);
        DumpPrintf(f, l + 1, "Out Time      %f\n", t->OutTime);
        DumpPrintf(f, l + 1, "Frame Rate    %f\n", t->FrameRate);
        DumpPrintf(f, l + 1, "Behaviors     %d %d\n", t->PreBehavior, t->PostBehavior);
        DumpPrintf(f, l, "}\n");
    }
    DumpPrintf(f, l, "Flags         %08x\n", (uint32_t)c->Flags);
    DumpPrintf(f, l, "Negative      %d\n", c->Negative);
    DumpPrintf(f, l, "AlphaMode     %d\n", c->AlphaMode);
    DumpAdjust(f, c->Brightness, "Brightness", l);
    DumpAdjust(f, c->Saturation, "Saturation", l);
    Close(f, L);
}

void DumpComposite(FILE* f, const LwSceneComposite* c, int L) {
    if (!c) return;
    Open(f, L, "Composite \n");
    int l = L + 1;
    ValueOrEnvelope(f, l, c->FGDissolveEnvelope, "FGDissolveEnvelope", "FGDissolve            %f\n", c->FGDissolve);
    DumpPrintf(f, l, "FGFaderAlphaMode      %d\n", c->FGFaderAlphaMode);
    DumpPrintf(f, l, "ForegroundKey         %d\n", c->ForegroundKey);
    PrintColor(f, l, "LowClipColor          %f %f %f\n", c->LowClipColor);
    PrintColor(f, l, "HighClipColor         %f %f %f\n", c->HighClipColor);
    DumpClip(f, c->BGImage, "BGImage", l);
    DumpClip(f, c->FGImage, "FGImage", l);
    DumpClip(f, c->FGAlphaImage, "FGAlphaImage", l);
    Close(f, L);
}

void DumpProcessing(FILE* f, const LwSceneProcessing* p, int L) {
    if (!p) return;
    Open(f, L, "Processing \n");
    int l = L + 1;
    DumpPrintf(f, l, "LimitDynamicRange     %d\n", p->LimitDynamicRange);
    DumpPrintf(f, l, "DitherIntensity       %d\n", p->DitherIntensity);
    DumpPrintf(f, l, "AnimatedDither        %d\n", p->AnimatedDither);
    ValueOrEnvelope(f, l, p->SaturationEnvelope, "SaturationEnvelope", "Saturation            %f\n", p->Saturation);
    DumpPrintf(f, l, "GlowEffect            %d\n", p->GlowEffect);
    ValueOrEnvelope(f, l, p->GlowIntensityEnvelope, "GlowIntensityEnvelope", "GlowIntensity         %f\n",
                    p->GlowIntensity);
    ValueOrEnvelope(f, l, p->GlowRadiusEnvelope, "GlowRadiusEnvelope", "GlowRadius            %f\n", p->GlowRadius);
    DumpPlugins(f, p->PixelFilters, l);
    DumpPlugins(f, p->ImageFilters, l);
    Close(f, L);
}

void DumpIllumination(FILE* f, const LwSceneIllumination* i, int L) {
    if (!i) return;
    Open(f, L, "Illuminate \n");
    int l = L + 1;
    if (i->AmbientColorEnvelope)
        ColorEnvelopes(f, l, i->AmbientColorEnvelope, "AmbientColorEnvelope");
    else
        PrintColor(f, l, "AmbientColor          %f %f %f\n", i->AmbientColor);
    ValueOrEnvelope(f, l, i->AmbientIntensityEnvelope, "AmbientIntensityEnvelope", "AmbientIntensity      %f\n",
                    i->AmbientIntensity);
    ValueOrEnvelope(f, l, i->GlobalLightIntensityEnvelope, "GlobalLightIntensityEnvelope", "GlobalLightIntensity  %f\n",
                    i->GlobalLightIntensity);
    ValueOrEnvelope(f, l, i->GlobalFlareIntensityEnvelope, "GlobalFlareIntensityEnvelope", "GlobalFlareIntensity  %f\n",
                    i->GlobalFlareIntensity);
    DumpPrintf(f, l, "RadiosityTolerance    %f\n", i->RadiosityTolerance);
    DumpPrintf(f, l, "RadiosityMinSpacing   %f\n", i->RadiosityMinSpacing);
    ValueOrEnvelope(f, l, i->CausticIntensityEnvelope, "CausticIntensityEnvelope", "CausticIntensity      %f\n",
                    i->CausticIntensity);
    DumpPrintf(f, l, "EnableRadiosity       %d\n", i->EnableRadiosity);
    DumpPrintf(f, l, "CacheRadiosity        %d\n", i->CacheRadiosity);
    DumpPrintf(f, l, "RadiosityRays         %d\n", i->RadiosityRays);
    DumpPrintf(f, l, "EnableCaustics        %d\n", i->EnableCaustics);
    DumpPrintf(f, l, "CacheCaustics         %d\n", i->CacheCaustics);
    DumpPrintf(f, l, "CausticAccuracy       %d\n", i->CausticAccuracy);
    DumpPrintf(f, l, "CausticSoftness       %d\n", i->CausticSoftness);
    Close(f, L);
}

}  // namespace

void DumpLwScene(LwScene* s, FILE* f) { LwSceneDump(s, f); }

void LwSceneDump(LwScene* s, FILE* f) {
    if (!s || !f) return;
    DumpPrintf(f, 0, "# LightWave 3D Scene Dump\n");
    DumpPrintf(f, 0, "\n");
    DumpPrintf(f, 0, "Scene \n");
    DumpPrintf(f, 0, "{\n");
    // The scene is loaded from a text in memory and keeps no file name.
    DumpPrintf(f, 1, "FileName               \"%s\"\n", "");
    DumpPrintf(f, 1, "Version                %d\n", s->Version);
    DumpPrintf(f, 1, "FirstFrame             %d\n", s->FirstFrame);
    DumpPrintf(f, 1, "LastFrame              %d\n", s->LastFrame);
    DumpPrintf(f, 1, "FrameStep              %d\n", s->FrameStep);
    DumpPrintf(f, 1, "PreviewFirstFrame      %d\n", s->PreviewFirstFrame);
    DumpPrintf(f, 1, "PreviewLastFrame       %d\n", s->PreviewLastFrame);
    DumpPrintf(f, 1, "PreviewFrameStep       %d\n", s->PreviewFrameStep);
    DumpPrintf(f, 1, "FramesPerSecond        %f\n", s->FramesPerSecond);
    DumpPrintf(f, 1, "NumItems               %d\n", s->NumItems);
    DumpPrintf(f, 1, "CurrentFrame           %d\n", s->CurrentFrame);
    DumpPrintf(f, 1, "CurrentObject          %d\n", s->CurrentObject);
    DumpPrintf(f, 1, "CurrentLight           %d\n", s->CurrentLight);
    DumpPrintf(f, 1, "CurrentCamera          %d\n", s->CurrentCamera);
    for (LwSceneItem* o = s->Op.GetFirstItem(s, LW_ITEM_OBJECT, nullptr); o; o = s->Op.GetNextItem(s, o)) {
        DumpItem(f, s, o, 1);
        for (LwSceneItem* b = s->Op.GetFirstItem(s, LW_ITEM_BONE, o); b; b = s->Op.GetNextItem(s, b))
            DumpItem(f, s, b, 1);
    }
    for (LwSceneItem* it = s->Op.GetFirstItem(s, LW_ITEM_LIGHT, nullptr); it; it = s->Op.GetNextItem(s, it))
        DumpItem(f, s, it, 1);
    for (LwSceneItem* it = s->Op.GetFirstItem(s, LW_ITEM_CAMERA, nullptr); it; it = s->Op.GetNextItem(s, it))
        DumpItem(f, s, it, 1);
    DumpFog(f, s->Op.GetFog(s), 1);
    DumpBackdrop(f, s->Op.GetBackdrop(s), 1);
    DumpComposite(f, s->Op.GetComposite(s), 1);
    DumpProcessing(f, s->Op.GetProcessing(s), 1);
    DumpIllumination(f, s->Op.GetIllumination(s), 1);
    for (LwPlugin* p = s->Op.GetNextPlugin(s, s->MasterPlugins, nullptr); p;
         p = s->Op.GetNextPlugin(s, s->MasterPlugins, p))
        DumpPlugin(f, p, 1);
    DumpPrintf(f, 0, "}\n");
    DumpPrintf(f, 0, "\n");
}
