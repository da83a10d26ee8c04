// Item type records, the scene-wide setting records and plug-in records with their defaults.
#include "lightwave/scene/LwScene.h"
#include "lightwave/scene/SceneInternal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

template <typename T>
T* Zeroed() {
    return (T*)calloc(1, sizeof(T));
}

void SetColor(float c[3], float r, float g, float b) {
    c[0] = r;
    c[1] = g;
    c[2] = b;
}

LwSceneObject* NewObjectRecord(LwScene*, int32_t layer, const char* fileName) {
    LwSceneObject* o = Zeroed<LwSceneObject>();
    if (!o) return nullptr;
    if (fileName) {
        o->Kind = 0;
        LwCopyText(o->FileName, fileName, sizeof(o->FileName));
    } else {
        o->Kind = 1;
    }
    o->Layer = layer;
    o->MorphTarget = -1;
    return o;
}

LwSceneCamera* NewCameraRecord(LwScene*) {
    LwSceneCamera* c = Zeroed<LwSceneCamera>();
    if (!c) return nullptr;
    c->BlurLength = 0.5;
    c->ZoomFactor = 3.2;
    c->FocalDistance = 1.0;
    c->LensFStop = 4.0;
    c->FrameSize[0] = 640;
    c->FrameSize[1] = 480;
    c->SegmentMemory = 2200000;
    c->AdaptiveSampling = 1;
    c->ResolutionMultiplier = 1.0;
    c->PixelAspect = 1.0;
    c->ApertureHeight = 0.15;
    c->AdaptiveThreshold = 0.1;
    return c;
}

LwSceneLight* NewLightRecord(LwScene*) {
    LwSceneLight* l = Zeroed<LwSceneLight>();
    if (!l) return nullptr;
    SetColor(l->LightColor, 1.0f, 1.0f, 1.0f);
    l->LightIntensity = 1.0;
    l->AfterCaustics = 1;
    l->LightType = 1;
    l->LightConeAngle = 30.0;
    l->LightEdgeAngle = 5.0;
    l->LightQuality = 4;
    l->LightRange = 1.0;
    l->AffectDiffuse = 1;
    l->AffectSpecular = 1;
    l->AffectOpenGL = 1;
    return l;
}

LwSceneBone* NewBoneRecord(LwScene*) {
    LwSceneBone* b = Zeroed<LwSceneBone>();
    if (!b) return nullptr;
    b->BoneActive = 1;
    b->BoneRestLength = 1.0;
    b->BoneStrength = 1.0;
    b->ScaleBoneStrength = 1.0;
    b->BoneMaxRange = 1.0;
    b->BoneJointComp = b->BoneJointCompParent = 1.0;
    b->BoneMuscleFlex = b->BoneMuscleFlexParent = 1.0;
    return b;
}

void AppendPlugin(LwPlugin** head, LwPlugin* plugin) {
    while (*head) head = &(*head)->Next;
    *head = plugin;
}

LwPlugin* MakePlugin(int32_t pluginClass, int32_t index, const char* serverName) {
    LwPlugin* p = Zeroed<LwPlugin>();
    if (!p) return nullptr;
    p->Class = pluginClass;
    p->Version = index;
    LwCopyText(p->Name, serverName, sizeof(p->Name));
    return p;
}

LwPlugin* NewPlugin(LwScene* scene, void* owner, int32_t pluginClass, int32_t index, const char* serverName) {
    LwPlugin* p = MakePlugin(pluginClass, index, serverName);
    if (!p) return nullptr;
    LwPlugin** list = nullptr;
    if (pluginClass == LW_PLUGIN_MASTER) {
        if (scene) list = &scene->MasterPlugins;
    } else if (owner) {
        switch (pluginClass) {
        case LW_PLUGIN_ITEM_MOTION:
            list = &((LwSceneItem*)owner)->Plugins;
            break;
        case LW_PLUGIN_DISPLACEMENT:
        case LW_PLUGIN_CUSTOM_OBJECT:
        case LW_PLUGIN_OBJECT_REPLACEMENT:
            list = &((LwSceneObject*)owner)->Plugins;
            break;
        case LW_PLUGIN_CHANNEL:
            list = &((LwEnvelope*)owner)->Plugins;
            break;
        case LW_PLUGIN_VOLUMETRIC:
            list = &((LwSceneFog*)owner)->Plugins;
            break;
        case LW_PLUGIN_ENVIRONMENT:
            list = &((LwSceneBackdrop*)owner)->Plugins;
            break;
        case LW_PLUGIN_PIXEL_FILTER:
            list = &((LwSceneProcessing*)owner)->PixelFilters;
            break;
        case LW_PLUGIN_IMAGE_FILTER:
            list = &((LwSceneProcessing*)owner)->ImageFilters;
            break;
        default:
            break;
        }
    }
    // A plug-in of no list is still the scene's to free.
    if (!list && scene) list = &scene->UnlinkedPlugins;
    if (list) AppendPlugin(list, p);
    return p;
}

LwSceneFog* NewFog(LwScene*) {
    LwSceneFog* f = Zeroed<LwSceneFog>();
    if (!f) return nullptr;
    f->FogMaxDist = 1.0;
    f->FogMaxAmount = 1.0;
    return f;
}

LwSceneCamera* ComputeFovAngles(LwScene*, LwSceneCamera* camera) {
    if (!camera) return camera;
    // A zero zoom or a frame without height has no field of view; the angles stay as they are.
    if (camera->ZoomFactor == 0.0 || camera->FrameSize[1] <= 0) return camera;
    double z = 1.0 / camera->ZoomFactor;
    camera->FovAngles[0] = 2.0 * atan(z * (double)camera->FrameSize[0] / (double)camera->FrameSize[1]);
    camera->FovAngles[1] = 2.0 * atan(z);
    return camera;
}

LwSceneBackdrop* NewBackdrop(LwScene*) {
    LwSceneBackdrop* b = Zeroed<LwSceneBackdrop>();
    if (!b) return nullptr;
    b->SolidBackdrop = 1;
    SetColor(b->ZenithColor, 0.0f, 0.1569f, 0.3137f);
    SetColor(b->SkyColor, 0.4706f, 0.7059f, 0.9412f);
    SetColor(b->GroundColor, 0.1961f, 0.1569f, 0.1176f);
    SetColor(b->NadirColor, 0.3922f, 0.3137f, 0.2353f);
    return b;
}

LwSceneComposite* NewComposite(LwScene*) { return Zeroed<LwSceneComposite>(); }

LwSceneProcessing* NewProcessing(LwScene*) {
    LwSceneProcessing* p = Zeroed<LwSceneProcessing>();
    if (!p) return nullptr;
    p->DitherIntensity = 1;
    p->Saturation = 1.0;
    p->GlowIntensity = 0.5;
    p->GlowRadius = 8.0;
    return p;
}

LwSceneIllumination* NewIllumination(LwScene*) {
    LwSceneIllumination* i = Zeroed<LwSceneIllumination>();
    if (!i) return nullptr;
    SetColor(i->AmbientColor, 1.0f, 1.0f, 1.0f);
    i->AmbientIntensity = 0.25;
    i->GlobalLightIntensity = 1.0;
    i->GlobalFlareIntensity = 1.0;
    i->RadiosityTolerance = 0.3;
    i->RadiosityMinSpacing = 0.02;
    i->CausticIntensity = 1.0;
    i->RadiosityRays = 192;
    i->CausticAccuracy = 100;
    i->CausticSoftness = 20;
    return i;
}

LwExcludeLight* AddExcludeLight(LwScene* scene, LwSceneItem* objectItem, LwItemRef light) {
    LwSceneObject* record = scene ? scene->Op.GetObjectRecord(scene, objectItem) : nullptr;
    if (!record) return nullptr;
    LwExcludeLight* node = Zeroed<LwExcludeLight>();
    if (!node) return nullptr;
    node->Light = light;
    LwExcludeLight** tail = &record->ExcludeLights;
    while (*tail) tail = &(*tail)->Next;
    *tail = node;
    return node;
}

int32_t IsLightExcluded(LwScene* scene, LwSceneItem* objectItem, LwItemRef light) {
    LwSceneObject* record = scene ? scene->Op.GetObjectRecord(scene, objectItem) : nullptr;
    if (!record) return 0;
    for (LwExcludeLight* e = record->ExcludeLights; e; e = e->Next)
        if (e->Light == light) return 1;
    return 0;
}

}  // namespace

LwPlugin* LwNewUnlinkedPlugin(LwScene* scene, int32_t pluginClass, int32_t index, const char* serverName) {
    LwPlugin* p = MakePlugin(pluginClass, index, serverName);
    if (p && scene) AppendPlugin(&scene->UnlinkedPlugins, p);
    return p;
}

void LwFreePlugins(LwPlugin* plugin) {
    while (plugin) {
        LwPlugin* next = plugin->Next;
        free(plugin->Data);
        free(plugin);
        plugin = next;
    }
}

void LwFillRecordOperations(LwSceneOperations* op) {
    op->NewObjectRecord = NewObjectRecord;
    op->NewCameraRecord = NewCameraRecord;
    op->NewLightRecord = NewLightRecord;
    op->NewBoneRecord = NewBoneRecord;
    op->NewPlugin = NewPlugin;
    op->NewFog = NewFog;
    op->ComputeFovAngles = ComputeFovAngles;
    op->NewBackdrop = NewBackdrop;
    op->NewComposite = NewComposite;
    op->NewProcessing = NewProcessing;
    op->NewIllumination = NewIllumination;
    op->AddExcludeLight = AddExcludeLight;
    op->IsLightExcluded = IsLightExcluded;
}
