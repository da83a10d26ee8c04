// The scene dump compared with expected texts: formats, block layout, indentation by tabs.
#include "SceneTestUtil.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace lwtest;

namespace {

// Dump lines from name, value pairs at a depth of tabs, each name padded to the block's column.
std::string Fields(int tabs, size_t column, std::initializer_list<const char*> pairs) {
    std::string out;
    for (auto at = pairs.begin(); at != pairs.end(); at += 2)
        out += std::string(tabs, '\t') + at[0] + std::string(column - strlen(at[0]), ' ') + at[1] + "\n";
    return out;
}

TEST(SceneDump, EmptySceneShowsEveryRecordWithItsDefaults) {
    ScenePtr s = Load("LWSC\n3\n");
    const std::string settings =
        "# LightWave 3D Scene Dump\n\nScene \n{\n" +
        Fields(1, 23, {"FileName",         "\"\"", "Version",          "3", "FirstFrame",        "1",
                       "LastFrame",        "60",   "FrameStep",        "1", "PreviewFirstFrame", "1",
                       "PreviewLastFrame", "60",   "PreviewFrameStep", "1", "FramesPerSecond",   "30.000000",
                       "NumItems",         "0",    "CurrentFrame",     "0", "CurrentObject",     "0",
                       "CurrentLight",     "0",    "CurrentCamera",    "0"});
    const std::string expected =
        settings + "\n\tFog \n\t{\n" +
        Fields(2, 22,
               {"FogType", "Off", "FogMinDist", "0.000000", "FogMaxDist", "1.000000", "FogMinAmount", "0.000000",
                "FogMaxAmount", "1.000000", "FogColor", "0.000000 0.000000 0.000000", "BackdropFog", "0"}) +
        "\t}\n";
    std::string dump = Dump(s.get());
    EXPECT_EQ(dump.substr(0, expected.size()), expected);
    size_t at = dump.find("\tFog \n");
    for (const char* block : {"\n\tBackdrop \n", "\n\tComposite \n", "\n\tProcessing \n", "\n\tIlluminate \n"}) {
        at = dump.find(block, at);
        EXPECT_NE(at, std::string::npos) << block;
    }
    EXPECT_EQ(dump.substr(dump.size() - 6), "\t}\n}\n\n");
    // Not a scene: the settings block alone.
    ScenePtr bad = Load("LWSC 3\n");
    ASSERT_EQ(bad->ErrorCode, LW_ERR_BAD_FORMAT);
    std::string unread = settings;
    unread.replace(unread.find("Version                3"), 24, "Version                0");
    EXPECT_EQ(Dump(bad.get()), unread + "}\n\n");
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
    // The object record's own fields, then its channel with its key and its plug-in, in full.
    const std::string expectedItems =
        Fields(3, 21, {"PolygonSize", "0.000000", "ExcludeLight", "20000000"}) + "\t\t}\n\n\t\tChannel\n\t\t{\n" +
        Fields(3, 14, {"No", "1", "NumKey", "1", "Behaviors", "1 2"}) + "\t\t\t\n\t\t\tKey\n\t\t\t{\n" +
        Fields(4, 12,
               {"Value", "2.000000", "Time", "1.000000", "Shape", "Linear", "Tension", "0.000000", "Continuity",
                "0.000000", "Bias", "0.000000", "Param0", "0.000000", "Param1", "0.000000", "Param2", "0.000000"}) +
        "\t\t\t}\n\t\t}\n\n\t\tPlugin\n\t\t{\n" +
        Fields(3, 14, {"Type", "ItemMotionHandler", "Version", "1", "Name", "\"Jitter\"", "Size", "4"}) +
        "\t\t\tParams\n\t\t\t{\n\t\t\t\t\"0.5\"\n\t\t\t}\n\t\t}\n\t}\n\n";
    std::string dump = Dump(s.get());
    EXPECT_NE(dump.find("\n\t\tObject \n\t\t{\n\t\t\tType                 NullObject\n"), std::string::npos);
    size_t from = dump.find("\t\t\tPolygonSize");
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
    const std::string expectedMotion =
        "\n\t\tMotion\n\t\t{\n" + Fields(3, 14, {"NumKey", "1", "Behaviors", "2"}) +
        "\t\t\t\n\t\t\tKeyFrame\n\t\t\t{\n" +
        Fields(4, 12,
               {"Step", "0", "Postion", "1.000000 2.000000 3.000000", "Rotation", "1.570796 0.000000 0.000000", "Scale",
                "1.000000 1.000000 1.000000", "Tension", "0.500000", "Bias", "0.000000", "Continuity", "0.000000",
                "Linear", "1"}) +
        "\t\t\t}\n\t\t}\n";
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
    const std::string clip =
        "\n\t\tClip <FGImage> \n\t\t{\n" + Fields(3, 14, {"Type", "Still", "Name", "\"a\\b.png\""}) +
        "\t\t\t\n\t\t\tTimes {\n" +
        Fields(4, 14, {"In Time", "1.000000", "Out Time", "2.000000", "Frame Rate", "30.000000", "Behaviors", "0 1"}) +
        "\t\t\t}\n" + Fields(3, 14, {"Flags", "00000003", "Negative", "0", "AlphaMode", "0"}) + "\t\t\tBrightness {\n" +
        Fields(4, 14, {"Value", "0.500000"}) + "\t\t\t}\n\t\t}\n";
    EXPECT_NE(dump.find(clip), std::string::npos) << dump;
    // The master plug-ins close the scene, laid out as an item's (above) one level up.
    EXPECT_NE(dump.find("\n\tPlugin\n\t{\n\t\tType          MasterHandler\n"), std::string::npos);
    const std::string end = "\t\t\t\"x\"\n\t\t}\n\t}\n}\n\n";
    EXPECT_EQ(dump.substr(dump.size() - end.size()), end);
    s->Op.DumpLwScene(s.get(), nullptr);  // writes nothing, and does not fail
}

}  // namespace
