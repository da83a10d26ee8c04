// Version 3 scene texts: header, items and their references and names, the setting records,
// envelopes, plug-ins and clips.
#include "SceneTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace lwtest;

namespace {

std::string Channels9(double x = 10) {
    std::string t = "NumChannels 9\n";
    for (int c = 0; c < 9; ++c) {
        t += "Channel " + std::to_string(c) + "\n";
        double end = c == 0 ? x : c >= 6 ? 1.0 : 0.0;
        t += EnvelopeBlock({{c >= 6 ? 1.0 : 0.0, 0, 0}, {end, 1, 0}});
    }
    return t;
}

const std::string kScene =
    "LWSC\n3\n\nLastFrame 120\nFramesPerSecond 25\n"
    "LoadObjectLayer 1 Objects/tree.lwo\nShowObject 6 3\nObjectMotion\n" +
    Channels9() +
    "ShadowOptions 7\nExcludeLight 20000001\n"
    "AddNullObject Pivot Point\nParentItem 10000000\nPivotRotation 90 0 0\nHLimits -45 45\nGoalStrength 0.5\n"
    "AddLight\nLightName Light\nShowLight 1 5\nLightColor 1 0.5 0.25\nLightIntensity 0.8\nLightConeAngle 45\n"
    "ShadowOptions 3\n"
    "AddLight\nLightName Light\nLightRange 20\nAddLight\nLightName Light\nAddLight\nLightName Sun\n\n"
    "AddCamera\nCameraName Camera\nZoomFactor 2\nFrameSize 800 600\nTargetObject 1\n"
    "AddCamera\nCameraName Camera\nTargetItem 10000001\n\n"
    "FogType 1\nFogColor 0.5 0.6 0.7\nBackdropColor 0.1 0.2 0.3\nAmbientIntensity 0.5\nSaturation 0.75\n"
    "FGDissolve 0.25\n";

TEST(SceneV3, SettingsAndObjectItems) {
    // One keyword per record; the records' defaults are in the empty scene's dump.
    ScenePtr s = Load(kScene);
    ASSERT_EQ(s->ErrorCode, 0);
    LwScene* c = s.get();
    EXPECT_EQ(std::make_tuple(c->LastFrame, c->FramesPerSecond, c->NumItems, c->Op.GetFog(c)->FogType,
                              c->Op.GetFog(c)->FogColor[2], c->Op.GetBackdrop(c)->BackdropColor[1],
                              c->Op.GetIllumination(c)->AmbientIntensity, c->Op.GetProcessing(c)->Saturation,
                              c->Op.GetComposite(c)->FGDissolve),
              std::make_tuple(120, 25.0, 8, 1, 0.7f, 0.2f, 0.5, 0.75, 0.25));

    LwSceneItem* tree = s->Op.GetFirstItem(s.get(), LW_ITEM_OBJECT, nullptr);
    ASSERT_NE(tree, nullptr);
    EXPECT_STREQ(tree->Name, "tree:Layer1");
    LwSceneObject* o = s->Op.GetObjectRecord(s.get(), tree);
    ASSERT_NE(o, nullptr);
    EXPECT_STREQ(o->FileName, "Objects\\tree.lwo");
    // Object items keep no item defaults: a goal strength of 0.
    EXPECT_EQ(std::make_tuple(o->ShadowOptions, tree->Refresh, tree->Channels, tree->GoalStrength),
              std::make_tuple(7, 6, 9, 0.0));

    LwSceneItem* pivot = s->Op.GetNextItem(s.get(), tree);
    ASSERT_NE(pivot, nullptr);
    EXPECT_STREQ(pivot->Name, "Pivot Point");
    // Shadow options set after a light: still the last object's.
    EXPECT_EQ(std::make_pair(pivot->Object->Kind, pivot->Object->ShadowOptions), std::make_pair(1, 3));
    EXPECT_EQ(s->Op.GetParentItem(s.get(), pivot), tree);
    EXPECT_NEAR(pivot->PivotRotation[0], 1.5707963, 1e-7);
    EXPECT_NEAR(pivot->HLimits[0], -45 * 0.01745329251994, 1e-12);
    EXPECT_DOUBLE_EQ(pivot->GoalStrength, 0.5);
    EXPECT_EQ(s->Op.GetNextItem(s.get(), pivot), nullptr);
    EXPECT_EQ(s->Op.CountItems(s.get(), LW_ITEM_LIGHT, nullptr), 4);
    EXPECT_EQ(s->Op.GetItemByIndex(s.get(), 2), pivot);
}

TEST(SceneV3, MotionChannelsEvaluate) {
    ScenePtr s = Load(kScene);
    LwSceneItem* tree = s->FirstItem;
    for (int c = 0; c < 9; ++c) EXPECT_EQ(s->Op.FindChannel(s.get(), tree, c)->Channel, c);
    double pos[3] = {-1, -1, -1}, scale[3] = {0, 0, 0}, pivot[3] = {9, 9, 9};
    s->Op.EvaluateMotion(s.get(), tree, LW_MOTION_POSITION, 0.5, pos);
    EXPECT_NEAR(pos[0], 5.0, 1e-12);
    EXPECT_DOUBLE_EQ(pos[1], 0.0);
    s->Op.EvaluateMotion(s.get(), tree, LW_MOTION_SCALE, 0.5, scale);
    EXPECT_DOUBLE_EQ(scale[2], 1.0);
    s->Op.EvaluateMotion(s.get(), tree, LW_MOTION_PIVOT_POSITION, 0.5, pivot);
    EXPECT_DOUBLE_EQ(pivot[0], 0.0);
    // An item without channels leaves the output as the caller set it.
    double keep[3] = {4, 5, 6};
    s->Op.EvaluateMotion(s.get(), s->Op.GetFirstItem(s.get(), LW_ITEM_LIGHT, nullptr), LW_MOTION_POSITION, 1, keep);
    EXPECT_DOUBLE_EQ(keep[1], 5.0);
}

TEST(SceneV3, LightsCamerasAndDisplayNames) {
    ScenePtr s = Load(kScene);
    LwSceneItem* l1 = s->Op.GetFirstItem(s.get(), LW_ITEM_LIGHT, nullptr);
    LwSceneItem* l2 = s->Op.GetNextItem(s.get(), l1);
    LwSceneItem* l3 = s->Op.GetNextItem(s.get(), l2);
    LwSceneItem* sun = s->Op.GetNextItem(s.get(), l3);
    ASSERT_NE(sun, nullptr);
    EXPECT_STREQ(s->Op.GetItemDisplayName(s.get(), l3), "Light (3)");
    EXPECT_STREQ(s->Op.GetItemDisplayName(s.get(), sun), "Sun");
    EXPECT_EQ(s->Op.FindItemByName(s.get(), LW_ITEM_LIGHT, nullptr, "Light (2)"), l2);
    EXPECT_EQ(s->Op.FindItemByName(s.get(), LW_ITEM_LIGHT, nullptr, "Light"), nullptr);
    LwSceneLight* g = s->Op.GetLightRecord(s.get(), l1);
    EXPECT_FLOAT_EQ(g->LightColor[1], 0.5f);
    EXPECT_DOUBLE_EQ(g->LightIntensity, 0.8);
    EXPECT_NEAR(g->LightConeAngle, 45 * 0.01745329251994, 1e-12);
    EXPECT_EQ(l1->Refresh, 1);
    EXPECT_DOUBLE_EQ(l2->Light->LightRange, 20.0);
    EXPECT_DOUBLE_EQ(l3->PathAlignLookAhead, 1.0 / 25.0);  // the scene's rate when the item is added
    // The tree excludes the second light (more in BonesAndRestPoints); a light has no exclusions.
    EXPECT_EQ(s->Op.IsLightAffecting(s.get(), s->FirstItem, l2), 0);
    EXPECT_EQ(s->Op.IsLightAffecting(s.get(), l1, l2), 1);

    LwSceneItem* c1 = s->Op.GetFirstItem(s.get(), LW_ITEM_CAMERA, nullptr);
    LwSceneItem* c2 = s->Op.GetNextItem(s.get(), c1);
    ASSERT_NE(c2, nullptr);
    EXPECT_STREQ(s->Op.GetItemDisplayName(s.get(), c2), "Camera (2)");
    LwSceneCamera* cam = s->Op.GetCameraRecord(s.get(), c1);
    EXPECT_DOUBLE_EQ(cam->ZoomFactor, 2.0);
    EXPECT_NEAR(cam->FovAngles[0], 2 * atan(0.5 * 800.0 / 600.0), 1e-12);
    EXPECT_NEAR(cam->FovAngles[1], 2 * atan(0.5), 1e-12);
    EXPECT_EQ(c1->Target, 0x10000001u);
    EXPECT_EQ(c2->Target, 0x10000001u);
    EXPECT_STREQ(s->Op.GetTargetItem(s.get(), c1)->Name, "Pivot Point");
}

TEST(SceneV3, KeywordsBeforeTheirTargetAreSkipped) {
    ScenePtr s = Load(
        "LWSC\n3\nLightIntensity 0.1\nZoomFactor 9\nShadowOptions 4\nBoneRestLength 3\nLoadObject Objects/x.lwo\n"
        "AddLight\nLightIntensity 0.3\n");
    EXPECT_EQ(s->ErrorCode, 0);
    EXPECT_EQ(s->NumItems, 1);  // LoadObject is no version 3 keyword
    EXPECT_DOUBLE_EQ(s->FirstItem->Light->LightIntensity, 0.3);
}

TEST(SceneV3, LightColourEnvelopesChain) {
    std::string text = "LWSC\n3\nAddLight\nLightColor (envelope)\n" + EnvelopeBlock({{1, 0, 0}}) +
                       EnvelopeBlock({{0.5, 0, 0}}) + EnvelopeBlock({{0.25, 0, 0}}) + "LightConeAngle (envelope)\n" +
                       EnvelopeBlock({{40, 0, 0}});
    ScenePtr s = Load(text);
    ASSERT_EQ(s->ErrorCode, 0);
    LwSceneLight* g = s->FirstItem->Light;
    LwEnvelope* r = g->LightColorEnvelope;
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Next->Next->Next, nullptr);
    double v = 0;
    s->Op.EvaluateEnvelope(s.get(), r->Next->Next, 0, &v);
    EXPECT_DOUBLE_EQ(v, 0.25);
    EXPECT_FLOAT_EQ(g->LightColor[0], 1.0f);  // the plain value is left as it was
    // Version 3 angle envelopes keep their written values.
    s->Op.EvaluateEnvelope(s.get(), g->LightConeAngleEnvelope, 0, &v);
    EXPECT_DOUBLE_EQ(v, 40.0);
    EXPECT_DOUBLE_EQ(g->LightConeAngle, 30.0);
    // The camera's zoom envelope leaves the zoom and its angles alone.
    ScenePtr c =
        Load("LWSC\n3\nAddCamera\nZoomFactor (envelope)\n" + EnvelopeBlock({{2, 0, 0}, {4, 2, LW_SHAPE_LINEAR}}));
    c->Op.EvaluateEnvelope(c.get(), c->FirstItem->Camera->ZoomFactorEnvelope, 1.0, &v);
    EXPECT_DOUBLE_EQ(v, 3.0);
    EXPECT_DOUBLE_EQ(c->FirstItem->Camera->ZoomFactor, 3.2);
}

TEST(SceneV3, EnvelopeBlockDetails) {
    // TCB tangents as stored (the evaluator works its own): inner outgoing (k - p) + d, ends d.
    EnvelopeScene three({{0, 0, 0}, {10, 1, 0}, {30, 2, 0}});
    EXPECT_DOUBLE_EQ(three.env->FirstKey->Param1, 10.0);
    EXPECT_DOUBLE_EQ(three.env->FirstKey->Next->Param1, 10.0 + 20.0);
    EXPECT_DOUBLE_EQ(three.env->LastKey->Param0, 20.0);
    const std::string head = "LWSC\n3\nAddLight\nLightIntensity (envelope)\n{ Envelope\n 1\n Key 2 0 0 0 0 0 0 0";
    const struct {
        const char* name;
        std::string rest;
        int error, behaviours, type;  // behaviours: pre * 10 + post; -1 for no envelope, -2 unchecked
        double range;
    } rows[] = {
        {"a behaviours line of another word is consumed, both 1", " 0\n Something 3 4\n}\nLightType 3\n", 0, 11, 3, 0},
        {"\"Behaviors 1\" has an empty third token: post 0", " 0\n Behaviors 1\n}\n", 0, 10, 1, 0},
        {"a key of nine numbers", "\n Behaviors 1 1\n}\n", LW_ERR_BAD_FORMAT, -1, 1, 0},
        // The brace is taken for the behaviours line; the lines up to the next brace are the envelope's.
        {"no behaviours line", " 0\n}\nLightType 3\nAddCamera\n}\nLightRange 7\n", 0, -2, 1, 7},
        {"a handler's brace does not end the envelope",
         " 0\n Behaviors 1 2\n { ChannelHandler\n \"Noise\"\n 3\n alpha beta\n gamma\n }\n AddCamera\n}\nLightType 4\n",
         0, 12, 4, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScenePtr s = Load(head + row.rest);
        EXPECT_EQ(s->ErrorCode, row.error);
        ASSERT_EQ(s->NumItems, 1);
        const LwSceneLight* g = s->FirstItem->Light;
        EXPECT_EQ(g->LightType, row.type);
        EXPECT_TRUE(row.range == 0 || g->LightRange == row.range) << g->LightRange;
        const LwEnvelope* e = g->LightIntensityEnvelope;
        ASSERT_EQ(e == nullptr, row.behaviours == -1);
        if (row.behaviours < 0) continue;
        EXPECT_EQ(e->PreBehavior * 10 + e->PostBehavior, row.behaviours);
        ASSERT_EQ(e->Plugins != nullptr, row.type == 4);  // the handler's row
        if (!e->Plugins) continue;
        EXPECT_EQ(e->Plugins->Class, LW_PLUGIN_CHANNEL);
        EXPECT_EQ(e->Plugins->Version, 3);
        EXPECT_STREQ(e->Plugins->Name, "Noise");
        ASSERT_EQ(e->Plugins->Size, 12);
        EXPECT_STREQ(e->Plugins->Data + 6, "gamma");
    }
}

TEST(SceneV3, PluginRouting) {
    ScenePtr s = Load(
        "LWSC\n3\n"
        "Plugin VolumetricHandler 1 Ground Fog\n one two\n three\nEndPlugin\n"
        "Plugin PixelFilterHandler 1 A\nEndPlugin\nPlugin PixelFilterHandler 2 B\nEndPlugin\n"
        "Plugin ImageFilterHandler 1 C\nEndPlugin\nPlugin MasterHandler 4 M\nEndPlugin\n"
        "Plugin ChannelHandler 5 Stray\n x\nEndPlugin\nPlugin Whatever 6 Other\nEndPlugin\n"
        "Plugin ItemMotionHandler 1 NoItem\nFirstFrame 9\nEndPlugin\n"
        "AddNullObject N\nPlugin DisplacementHandler 1 D\nEndPlugin\nPlugin ItemMotionHandler 2 I\nEndPlugin\n");
    ASSERT_EQ(s->ErrorCode, 0);
    LwPlugin* fog = s->Fog->Plugins;
    ASSERT_NE(fog, nullptr);
    EXPECT_EQ(fog->Class, LW_PLUGIN_VOLUMETRIC);
    EXPECT_STREQ(fog->Name, "Ground Fog");
    EXPECT_STREQ(fog->Data + 4, "three");
    ASSERT_NE(s->Processing->PixelFilters, nullptr);
    EXPECT_STREQ(s->Processing->PixelFilters->Next->Name, "B");
    EXPECT_STREQ(s->Processing->ImageFilters->Name, "C");
    ASSERT_NE(s->MasterPlugins, nullptr);
    EXPECT_STREQ(s->MasterPlugins->Name, "M");
    EXPECT_EQ(s->MasterPlugins->Next, nullptr);  // channel and unknown classes join no list
    EXPECT_EQ(s->FirstFrame, 9);                 // without an item the block's lines are read as keywords
    EXPECT_STREQ(s->FirstItem->Object->Plugins->Name, "D");
    EXPECT_STREQ(s->FirstItem->Plugins->Name, "I");
}

TEST(SceneV3, ClipBlocks) {
    ScenePtr s = Load(
        "LWSC\n3\nBGImage\n{ Clip\n  { Still\n    \"Images:sky/clouds.png\"\n  }\n"
        "  Flags 1f\n  { Saturation\n    0.5\n    2\n" +
        EnvelopeBlock({{1, 0, 0}}) + EnvelopeBlock({{2, 0, 0}}) +
        "  }\n}\n"
        "FGImage\n{ Clip\n  { Sequence\n 3\n 1\n 10\n 20\n 1\n 30\n Img:seq/a_\n \".png\"\n  }\n}\n"
        "FGAlphaImage\n{ Clip\n  { Animation\n anim/x.avi\n \"Server\"\n 7\n  }\n}\n");
    ASSERT_EQ(s->ErrorCode, 0);
    LwClip* bg = s->Composite->BGImage;
    ASSERT_NE(bg, nullptr);
    EXPECT_STREQ(bg->StillName, "Images:\\sky\\clouds.png");
    EXPECT_EQ(bg->Flags, 0x1f);  // the rest of the block as the dump shows it (SceneDump)
    ASSERT_NE(bg->Saturation, nullptr);
    EXPECT_FLOAT_EQ(bg->Saturation->Value, 0.5f);
    ASSERT_NE(bg->Saturation->Envelopes, nullptr);
    EXPECT_NE(bg->Saturation->Envelopes->Next, nullptr);
    LwClip* fg = s->Composite->FGImage;
    ASSERT_NE(fg->Sequence, nullptr);
    EXPECT_EQ(fg->Sequence->Digits, 3);
    EXPECT_STREQ(fg->Sequence->Prefix, "Img:\\seq\\a_");
    EXPECT_STREQ(fg->Sequence->Suffix, ".png");
    LwClip* a = s->Composite->FGAlphaImage;
    ASSERT_NE(a->Animation, nullptr);
    EXPECT_STREQ(a->Animation->FileName, "anim\\x.avi");
    EXPECT_EQ(a->Animation->Offset, 7);
}

TEST(SceneV3, BonesAndRestPoints) {
    ScenePtr s = Load(
        "LWSC\n3\nAddNullObject Body\n"
        "AddBone\nBoneName Arm\nBoneRestPosition 0 0 1\nBoneRestDirection 90 0 0\nBoneRestLength 2\n"
        "BoneFalloffType 2\n"
        "AddBone\nBoneName Arm\nParentItem 40000000\nBoneRestPosition 0 0 1\nBoneRestLength 1\n"
        "AddBone\nBoneName Tip\nBoneRestDirection 0 90 0\nBoneWeightMapName Weights\n"
        "AddNullObject Second\nExcludeLight 20000000\nAddBone\nAddBone\nAddBone\nAddLight\nAddLight\nAddCamera\n"
        "AddCamera\n");
    ASSERT_EQ(s->ErrorCode, 0);
    LwSceneItem* body = s->FirstItem;
    LwSceneItem* arm = s->Op.GetFirstItem(s.get(), LW_ITEM_BONE, body);
    ASSERT_NE(arm, nullptr);
    LwSceneItem* child = s->Op.GetNextItem(s.get(), arm);
    LwSceneItem* tip = s->Op.GetNextItem(s.get(), child);
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(s->Op.GetNextItem(s.get(), tip), nullptr);  // the next object's bones are not its
    EXPECT_EQ((std::vector<int>{arm->Bone->BoneFalloffType, child->Bone->BoneFalloffType, arm->Bone->BoneObject}),
              (std::vector<int>{3, 2, 1}));
    EXPECT_STREQ(tip->Bone->BoneWeightMapName, "Weights");
    EXPECT_STREQ(s->Op.GetItemDisplayName(s.get(), arm), "Arm (1)");
    EXPECT_EQ(s->Op.GetBoneOwner(s.get(), tip), body);
    EXPECT_EQ(s->Op.GetBoneOwner(s.get(), body), nullptr);
    // Rest points: the first bone from (0 0 1) to (2 0 1); the child hangs from it (rest position
    // taken relative to it); the tip points down.
    const LwSceneBone *A = arm->Bone, *C = child->Bone;
    const double got[] = {A->BoneRestStart[0], A->BoneRestStart[1],      A->BoneRestStart[2], A->BoneRestEnd[0],
                          A->BoneRestEnd[1],   A->BoneRestEnd[2],        C->BoneRestStart[0], C->BoneRestEnd[0],
                          C->BoneRestEnd[2],   tip->Bone->BoneRestEnd[1]};
    const double want[] = {0, 0, 1, 2, 0, 1, 1, 2, 1, -1};
    for (int i = 0; i < 10; ++i) EXPECT_NEAR(got[i], want[i], 1e-9) << i;

    // Only a bone carries its place among its object's bones.
    const LwItemRef refs[] = {0x10000000, 0x40000000, 0x40010000, 0x40020000, 0x10000001, 0x40000001,
                              0x40010001, 0x40020001, 0x20000000, 0x20000001, 0x30000000, 0x30000001};
    int n = 0;
    for (LwSceneItem* it = body; it; it = it->Next, ++n) EXPECT_EQ(s->Op.MakeItemRef(s.get(), it), refs[n]) << n;
    EXPECT_EQ(n, 12);
    LwSceneItem* second = s->Op.GetNextItem(s.get(), body);
    LwSceneItem* light = s->Op.GetFirstItem(s.get(), LW_ITEM_LIGHT, nullptr);
    EXPECT_EQ(s->Op.IsLightAffecting(s.get(), second, light), 0);
    EXPECT_EQ(s->Op.IsLightAffecting(s.get(), second, light->Next), 1);
    LwSceneItem* third = s->Op.FindItemByRef(s.get(), LW_ITEM_BONE, 1, 2);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(s->Op.GetBoneOwner(s.get(), third), second);
    EXPECT_EQ(s->Op.GetFirstItem(s.get(), LW_ITEM_BONE, tip), nullptr);
}

TEST(SceneV3, LineEndsReadAlike) {
    for (const char* text : {"LWSC\r\n3\r\n\r\nAddLight\r\nLightType 2\r\n", "LWSC\r3\rAddLight\rLightType 2\r",
                             "LWSC\n3\n\n\nAddLight\nLightType 2\n"}) {
        ScenePtr s = Load(text);
        ASSERT_EQ(s->ErrorCode, 0) << text;
        ASSERT_NE(s->FirstItem, nullptr) << text;
        EXPECT_EQ(s->FirstItem->Light->LightType, 2) << text;
    }
}

}  // namespace
