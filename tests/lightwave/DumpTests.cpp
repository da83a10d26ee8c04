// The scene dump compared with expected texts: formats, block layout, indentation by tabs.
#include "SceneTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace lwtest;

namespace {

TEST(SceneDump, EmptySceneShowsEveryRecordWithItsDefaults) {
    ScenePtr s = Load("LWSC\n3\n");
    const char* expected =
        "# LightWave 3D Scene Dump\n"
        "\n"
        "Scene \n"
        "{\n"
        "\tFileName               \"\"\n"
        "\tVersion                3\n"
        "\tFirstFrame             1\n"
        "\tLastFrame              60\n"
        "\tFrameStep              1\n"
        "\tPreviewFirstFrame      1\n"
        "\tPreviewLastFrame       60\n"
        "\tPreviewFrameStep       1\n"
        "\tFramesPerSecond        30.000000\n"
        "\tNumItems               0\n"
        "\tCurrentFrame           0\n"
        "\tCurrentObject          0\n"
        "\tCurrentLight           0\n"
        "\tCurrentCamera          0\n"
        "\n"
        "\tFog \n"
        "\t{\n"
        "\t\tFogType               Off\n"
        "\t\tFogMinDist            0.000000\n"
        "\t\tFogMaxDist            1.000000\n"
        "\t\tFogMinAmount          0.000000\n"
        "\t\tFogMaxAmount          1.000000\n"
        "\t\tFogColor              0.000000 0.000000 0.000000\n"
        "\t\tBackdropFog           0\n"
        "\t}\n";
    std::string dump = Dump(s.get());
    EXPECT_EQ(dump.substr(0, strlen(expected)), expected);
    size_t at = dump.find("\tFog \n");
    for (const char* block : {"\n\tBackdrop \n", "\n\tComposite \n", "\n\tProcessing \n", "\n\tIlluminate \n"}) {
        at = dump.find(block, at);
        EXPECT_NE(at, std::string::npos) << block;
    }
    EXPECT_EQ(dump.substr(dump.size() - 6), "\t}\n}\n\n");
    // Not a scene: the settings block alone.
    ScenePtr bad = Load("LWSC 3\n");
    ASSERT_EQ(bad->ErrorCode, LW_ERR_BAD_FORMAT);
    std::string settings(expected, strstr(expected, "\tCurrentCamera          0\n") + 26);
    settings.replace(settings.find("Version                3"), 24, "Version                0");
    EXPECT_EQ(Dump(bad.get()), settings + "}\n\n");
}

const std::string kSmallScene =
    "LWSC\n3\n\nAddNullObject Null\nObjectMotion\nNumChannels 1\nChannel 1\n"
    "{ Envelope\n  1\n  Key 2 1 3 0 0 0 0 0 0\n  Behaviors 1 2\n}\n"
    "ExcludeLight 20000000\nPlugin ItemMotionHandler 1 Jitter\n  0.5 amount\nEndPlugin\n"
    "AddLight\nLightName Sun\nParentItem 10000000\nLightColor (envelope)\n" +
    EnvelopeBlock({{1, 0, 0}}) + EnvelopeBlock({{0.5, 0, 0}}) + EnvelopeBlock({{0.25, 0, 4}}) +
    "AddCamera\nCameraName Cam\nTargetObject 0\n";

TEST(SceneDump, ItemsWithChannelsPluginsAndColourEnvelopes) {
    ScenePtr s = Load(kSmallScene);
    ASSERT_EQ(s->ErrorCode, 0);
    const char* expectedItems =
        "\t\tHController          0\n"
        "\t\tPController          0\n"
        "\t\tBController          0\n"
        "\n"
        "\t\tObject \n"
        "\t\t{\n"
        "\t\t\tType                 NullObject\n"
        "\t\t\tFileName             \"\"\n"
        "\t\t\tLayer                1\n"
        "\t\t\tShadowOptions        0\n"
        "\t\t\tMorphTarget          -1\n"
        "\t\t\tMorphSurface         0\n"
        "\t\t\tMTSEMorphing         0\n"
        "\t\t\tDistanceDissolve     0\n"
        "\t\t\tMaxDissolveDistance  0.000000\n"
        "\t\t\tMorphAmount          0.000000\n"
        "\t\t\tObjectDissolve       0.000000\n"
        "\t\t\tPolygonSize          0.000000\n"
        "\t\t\tExcludeLight         20000000\n"
        "\t\t}\n"
        "\n"
        "\t\tChannel\n"
        "\t\t{\n"
        "\t\t\tNo            1\n"
        "\t\t\tNumKey        1\n"
        "\t\t\tBehaviors     1 2\n"
        "\t\t\t\n"
        "\t\t\tKey\n"
        "\t\t\t{\n"
        "\t\t\t\tValue       2.000000\n"
        "\t\t\t\tTime        1.000000\n"
        "\t\t\t\tShape       Linear\n"
        "\t\t\t\tTension     0.000000\n"
        "\t\t\t\tContinuity  0.000000\n"
        "\t\t\t\tBias        0.000000\n"
        "\t\t\t\tParam0      0.000000\n"
        "\t\t\t\tParam1      0.000000\n"
        "\t\t\t\tParam2      0.000000\n"
        "\t\t\t}\n"
        "\t\t}\n"
        "\n"
        "\t\tPlugin\n"
        "\t\t{\n"
        "\t\t\tType          ItemMotionHandler\n"
        "\t\t\tVersion       1\n"
        "\t\t\tName          \"Jitter\"\n"
        "\t\t\tSize          4\n"
        "\t\t\tParams\n"
        "\t\t\t{\n"
        "\t\t\t\t\"0.5\"\n"
        "\t\t\t}\n"
        "\t\t}\n"
        "\t}\n"
        "\n";
    std::string dump = Dump(s.get());
    size_t from = dump.find("\t\tHController");
    size_t to = dump.find("\tItem <LIGHT>");
    ASSERT_NE(from, std::string::npos);
    ASSERT_NE(to, std::string::npos);
    EXPECT_EQ(dump.substr(from, to - from), expectedItems);
    // The light and the camera, by the lines their references and colour envelopes give.
    for (const char* line :
         {"\t\tParent               10000000\t\t// Item Index 1\n", "\t\tTarget               268435456\n",
          "\n\t\tLight \n\t\t{\n\n\t\t\tLightColorEnvelope.R\n\t\t\t{\n\t\t\t\tNo            0\n",
          "\t\t\tLightColorEnvelope.G\n", "\t\t\tLightColorEnvelope.B\n", "\t\t\t\t\tShape       Stepped\n"})
        EXPECT_NE(dump.find(line), std::string::npos) << line;
    EXPECT_EQ(dump.find("LightColor        "), std::string::npos);  // replaced by the envelopes
}

TEST(SceneDump, VersionOneKeyframeMotion) {
    ScenePtr s = Load(
        "LWSC\n1\nAddNullObject N\nObjectMotion (unnamed)\n9\n1\n1 2 3 90 0 0 1 1 1\n"
        "0 1 0.5 0 0\nEndBehavior 2\n",
        0);
    const char* expectedMotion =
        "\n"
        "\t\tMotion\n"
        "\t\t{\n"
        "\t\t\tNumKey        1\n"
        "\t\t\tBehaviors     2\n"
        "\t\t\t\n"
        "\t\t\tKeyFrame\n"
        "\t\t\t{\n"
        "\t\t\t\tStep        0\n"
        "\t\t\t\tPostion     1.000000 2.000000 3.000000\n"
        "\t\t\t\tRotation    1.570796 0.000000 0.000000\n"
        "\t\t\t\tScale       1.000000 1.000000 1.000000\n"
        "\t\t\t\tTension     0.500000\n"
        "\t\t\t\tBias        0.000000\n"
        "\t\t\t\tContinuity  0.000000\n"
        "\t\t\t\tLinear      1\n"
        "\t\t\t}\n"
        "\t\t}\n";
    std::string dump = Dump(s.get());
    EXPECT_NE(dump.find(expectedMotion), std::string::npos) << dump;
    EXPECT_EQ(dump.find("Channel\n"), std::string::npos);
}

TEST(SceneDump, ClipsMasterPluginsAndNullStream) {
    ScenePtr s = Load(
        "LWSC\n3\nFogType 2\nFGImage\n{ Clip\n  { Still\n    a/b.png\n  }\n  Flags 3\n"
        "  Times 1 2 30 0 1\n  { Brightness\n    0.5\n    0\n  }\n}\n"
        "Plugin MasterHandler 2 Boss\n  x y\nEndPlugin\n");
    std::string dump = Dump(s.get());
    EXPECT_NE(dump.find("\t\tFogType               Nonlinear 1\n"), std::string::npos);
    const char* clip =
        "\n"
        "\t\tClip <FGImage> \n"
        "\t\t{\n"
        "\t\t\tType          Still\n"
        "\t\t\tName          \"a\\b.png\"\n"
        "\t\t\t\n"
        "\t\t\tTimes {\n"
        "\t\t\t\tIn Time       1.000000\n"
        "\t\t\t\tOut Time      2.000000\n"
        "\t\t\t\tFrame Rate    30.000000\n"
        "\t\t\t\tBehaviors     0 1\n"
        "\t\t\t}\n"
        "\t\t\tFlags         00000003\n"
        "\t\t\tNegative      0\n"
        "\t\t\tAlphaMode     0\n"
        "\t\t\tBrightness {\n"
        "\t\t\t\tValue         0.500000\n"
        "\t\t\t}\n"
        "\t\t}\n";
    EXPECT_NE(dump.find(clip), std::string::npos) << dump;
    // The master plug-ins close the scene, laid out as an item's (above) one level up.
    EXPECT_NE(dump.find("\n\tPlugin\n\t{\n\t\tType          MasterHandler\n"), std::string::npos);
    const std::string end = "\t\t\t\"x\"\n\t\t}\n\t}\n}\n\n";
    EXPECT_EQ(dump.substr(dump.size() - end.size()), end);
    s->Op.DumpLwScene(s.get(), nullptr);  // writes nothing, and does not fail
}

}  // namespace
