// Version 1 scene texts: keyframe items, the implicit camera, integer colours, camera presets,
// and parents and targets resolved after the last line.
#include "SceneTestUtil.h"

#include <gtest/gtest.h>

using namespace lwtest;

namespace {

const char* kMotion = "ObjectMotion (unnamed)\n9\n1\n0 0 0 0 0 0 1 1 1\n0 0 0 0 0\nEndBehavior 1\n";

TEST(SceneV1, ObjectsParentsAndTargets) {
    std::string text = std::string("LWSC\n1\n\nFirstFrame 1\nLastFrame 90\nFramesPerSecond 30\n") +
                       "LoadObject Objects/tree.lwo\n" + kMotion + "LoadObject Objects:rock.lwo\n" + kMotion +
                       "AddNullObject Target\n" + kMotion +
                       "ParentObject 2\nTargetObject 3\nGoalObject 1\n"
                       "LoadObject Objects/tree.lwo\nParentObject 9\nPreviewLastFrame 20\n";
    ScenePtr s = Load(text);
    ASSERT_EQ(s->ErrorCode, 0);
    LwSceneItem* tree = s->FirstItem;
    EXPECT_STREQ(tree->Object->FileName, "Objects\\tree.lwo");
    LwSceneItem* rock = tree->Next;
    EXPECT_STREQ(rock->Object->FileName, "\\rock.lwo");  // the volume name is dropped
    LwSceneItem* target = rock->Next;
    // The goal kept as written; the next item's parent names no item.
    EXPECT_EQ(
        (std::vector<int64_t>{target->Parent, target->Target, target->Goal, target->HController, target->Next->Parent}),
        (std::vector<int64_t>{0x10000001, 0x10000002, 1, 3, 0}));
    EXPECT_STREQ(s->Op.GetItemDisplayName(s.get(), tree), "tree.lwo (1)");
    // The preview range copies the frame range; preview lines that are given stay.
    EXPECT_EQ(s->PreviewFirstFrame, 1);
    EXPECT_EQ(s->PreviewLastFrame, 20);
}

TEST(SceneV1, OneImplicitCamera) {
    ScenePtr s = Load(
        "LWSC\n1\nZoomFactor 5\nShowCamera 1 2\nShowCamera 3 4\nZoomFactor 4\n"
        "CameraMotion (unnamed)\n9\n1\n1 2 3 0 0 0 1 1 1\n0 0 0 0 0\nEndBehavior 1\n"
        "Resolution 1\nPixelAspectRatio 0\nFilmSize 5\nZoomFactor (envelope)\n");
    ASSERT_EQ(s->ErrorCode, 0);
    EXPECT_EQ(s->Op.CountItems(s.get(), LW_ITEM_CAMERA, nullptr), 1);
    LwSceneItem* cam = s->FirstItem;
    EXPECT_STREQ(cam->Name, "Camera");
    EXPECT_EQ(cam->Refresh, 3);
    LwSceneCamera* c = cam->Camera;
    EXPECT_DOUBLE_EQ(c->ZoomFactor, 4.0);
    EXPECT_EQ(c->FrameSize[0], 752);
    EXPECT_DOUBLE_EQ(c->ApertureHeight, 0.0361);
    double pos[3] = {0, 0, 0};
    s->Op.EvaluateMotion(s.get(), cam, LW_MOTION_POSITION, 1.0, pos);
    EXPECT_DOUBLE_EQ(pos[2], 3.0);
}

TEST(SceneV1, CameraPresets) {
    const struct {
        const char* lines;
        int width, height;
        double aspect;
    } cases[] = {{"Resolution 5\nPixelAspectRatio 0\n", 640, 480, 0.859},
                 {"CustomSize 400 300\nPixelAspectRatio 4\n", 400, 300, 1.067},
                 {"Resolution 0\nPixelAspectRatio 1\n", 360, 243, 0.9}};
    for (const auto& c : cases) {
        ScenePtr s = Load(std::string("LWSC\n1\nShowCamera 0 0\n") + c.lines);
        const LwSceneCamera* cam = s->FirstItem->Camera;
        EXPECT_EQ(cam->FrameSize[0], c.width) << c.lines;
        EXPECT_EQ(cam->FrameSize[1], c.height) << c.lines;
        EXPECT_DOUBLE_EQ(cam->PixelAspect, c.aspect) << c.lines;
    }
}

TEST(SceneV1, LightsAndColours) {
    ScenePtr s = Load(
        "LWSC\n1\nAddLight\nLightName Key\nLightColor 255 128 0\nLgtIntensity 0.5\n"
        "NoDiffuse 1\nNoSpecular 0\nLightFalloff 2\nConeAngle (envelope)\n1\n1\n90\n0 0 0 0 0\n"
        "EndBehavior 2\nEdgeAngle 10\nSkyColor 10 20 30\nAmbientColor 255 255 255\n"
        "AmbIntensity 0.75\nFogColor 0 0 255\n");
    ASSERT_EQ(s->ErrorCode, 0);
    LwSceneLight* g = s->FirstItem->Light;
    EXPECT_FLOAT_EQ(g->LightColor[0], 1.0f);
    EXPECT_NEAR(g->LightColor[1], 0.50196, 1e-5);
    EXPECT_EQ(g->AffectDiffuse, 0);
    EXPECT_EQ(g->LightFalloffType, 2);
    ASSERT_NE(g->LightConeAngleEnvelope, nullptr);
    EXPECT_NEAR(g->LightConeAngleEnvelope->FirstKey->Value, 1.5707963267946, 1e-12);
    EXPECT_EQ(g->LightConeAngleEnvelope->PostBehavior, 2);
    EXPECT_NEAR(g->LightEdgeAngle, 0.1745329251994, 1e-12);
    EXPECT_NEAR(s->Backdrop->SkyColor[0], 10 / 255.0, 1e-6);
    EXPECT_DOUBLE_EQ(s->Illumination->AmbientIntensity, 0.75);
    EXPECT_FLOAT_EQ(s->Fog->FogColor[2], 1.0f);
}

TEST(SceneV1, EnvelopeTimesAreFramesOverRate) {
    ScenePtr s = Load(
        "LWSC\n1\nFramesPerSecond 30\nAddLight\nLgtIntensity (envelope)\n1\n2\n0\n0 0 0 0 0\n"
        "1\n15 1 0 0 0\nEndBehavior 1\n");
    LwEnvelope* e = s->FirstItem->Light->LightIntensityEnvelope;
    ASSERT_NE(e, nullptr);
    EXPECT_DOUBLE_EQ(e->LastKey->Time, 0.5);
    EXPECT_EQ(e->LastKey->Shape, LW_SHAPE_LINEAR);
    double v = 0;
    s->Op.EvaluateEnvelope(s.get(), e, 0.25, &v);
    EXPECT_DOUBLE_EQ(v, 0.5);
}

TEST(SceneV1, ItemSettings) {
    ScenePtr s = Load(
        "LWSC\n1\nFramesPerSecond 30\nAddNullObject N\nPivotPoint 1 2 3\nPathAlignment\n"
        "LookAheadFrames 15\nHLimits 0 90\nShadowOptions 2\nMetamorph 0.5\nObjDissolve 0.25\n"
        "BGImage Images/sky.png\nDitherIntensity 2\nGlowIntensity 0.3\n");
    LwSceneItem* n = s->FirstItem;
    EXPECT_DOUBLE_EQ(n->PivotPosition[2], 3.0);
    EXPECT_EQ(n->PController, 2);
    EXPECT_DOUBLE_EQ(n->PathAlignLookAhead, 0.5);
    EXPECT_NEAR(n->HLimits[1], 1.5707963267946, 1e-12);
    EXPECT_DOUBLE_EQ(n->Object->MorphAmount, 0.5);
    ASSERT_NE(s->Composite->BGImage, nullptr);
    EXPECT_STREQ(s->Composite->BGImage->StillName, "Images/sky.png");
    EXPECT_EQ(s->Processing->DitherIntensity, 2);
}

TEST(SceneV1, BonesHangFromTheirObject) {
    ScenePtr s = Load(
        "LWSC\n1\nAddNullObject Body\nAddBone\nBoneName A\nAddBone\nBoneName B\nParentObject 1\n"
        "Plugin ItemMotionHandler 1 Wiggle\nsome whole line\nEndPlugin\n"
        "Plugin VolumetricHandler 1 Unknown\nEndPlugin\nLoadObjectLayer 1 x.lwo\nAddCamera\nUnaffectedByFog 1\n"
        "AddNullObject Second\nAddNullObject Third\nParentObject 2\n");
    LwSceneItem* body = s->FirstItem;
    LwSceneItem* a = body->Next;
    LwSceneItem* b = a->Next;
    // Bones before the second object count for nothing in its number.
    EXPECT_EQ((std::vector<int64_t>{a->Parent, b->Parent, b->Next->Next->Parent, b->Bone->BoneObject}),
              (std::vector<int64_t>{0x10000000, 0x40000000, 0x10000001, 1}));
    ASSERT_NE(b->Plugins, nullptr);
    EXPECT_STREQ(b->Plugins->Data, "some whole line");
    EXPECT_EQ(s->Fog->Plugins, nullptr);  // version 1 knows no volumetric class
    EXPECT_EQ(s->NumItems, 5);            // nor version 3 keywords
    EXPECT_EQ(body->Object->UnaffectedByFog, 0);
}

}  // namespace
