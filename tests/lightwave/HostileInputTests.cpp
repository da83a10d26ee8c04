// Inputs that once crashed, overran, hung or allocated without bound: each must load or fail with
// a code. Kept by name as regression cases; they run under the sanitizers.
#include "SceneTestUtil.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>

using namespace lwtest;

namespace {

// Texts whose one check is the code they load with (and a dump that walks what was kept), each
// row named after the case that once failed on it.
TEST(HostileInput, LoadsOrFailsWithACode) {
    const std::string env = EnvelopeBlock({{1, 0, 0}});
    const struct {
        const char* name;
        std::string text;
        int error;
        int items = -1;
    } cases[] = {
        {"EmptyTextIsAnError", "", LW_ERR_BAD_FORMAT},
        {"HeaderWithoutVersionLineIsAnError", "LWSC\n", LW_ERR_BAD_FORMAT},
        {"HeaderWithoutVersionLineIsAnError", "LWSC", LW_ERR_BAD_FORMAT},
        {"HeaderWithoutVersionLineIsAnError", "\n\n\r\n", LW_ERR_BAD_FORMAT},
        {"HeaderWithoutVersionLineIsAnError", "LWSC \n3\n", LW_ERR_BAD_FORMAT},
        {"HeaderWithoutVersionLineIsAnError", "lwsc\n3\n", LW_ERR_BAD_FORMAT},
        {"HeaderWithoutVersionLineIsAnError", "LWSC\n2\nAddLight\n", LW_ERR_BAD_FORMAT, 0},
        {"TruncatedEnvelopeBlocks", "LWSC\n3\nAddLight\nLightIntensity (envelope)\n", LW_ERR_BAD_FORMAT},
        {"TruncatedEnvelopeBlocks", "LWSC\n3\nAddLight\nLightIntensity (envelope)\n{ Envelope\n", LW_ERR_BAD_FORMAT},
        {"TruncatedEnvelopeBlocks",
         "LWSC\n3\nAddLight\nLightIntensity (envelope)\n{ Envelope\n  3\n  Key 1 0 0 0 0 0 0 0 0\n", LW_ERR_BAD_FORMAT},
        {"TruncatedMotionBlocks", "LWSC\n3\nAddNullObject N\nObjectMotion\nNumChannels 9\nChannel 0\n",
         LW_ERR_BAD_FORMAT},
        // Complete keys without the closing brace are kept.
        {"TruncatedEnvelopeBlocks",
         "LWSC\n3\nAddLight\nLightIntensity (envelope)\n{ Envelope\n  1\n  Key 1 0 0 0 0 0 0 0 0\n  Behaviors 1 1\n"
         "  { ChannelHandler\n  \"X\"\n",
         0},
        {"TruncatedMotionBlocks",
         "LWSC\n3\nAddNullObject N\nObjectMotion\nNumChannels 2\nChannel 0\n" + env + "Channel 1\n{ Envelope\n",
         LW_ERR_BAD_FORMAT},
        {"HugeAndNegativeCounts", "LWSC\n3\nAddNullObject N\nObjectMotion\nNumChannels 2000000000\n",
         LW_ERR_BAD_FORMAT},
        {"TruncatedMotionBlocks", "LWSC\n1\nAddNullObject N\nObjectMotion\n9\n3\n1 2 3\n", LW_ERR_BAD_FORMAT},
        {"TruncatedMotionBlocks", "LWSC\n1\nAddLight\nLgtIntensity (envelope)\n1\n4\n", LW_ERR_BAD_FORMAT},
        {"WhitespaceOnlyLinesInsideBlocks",
         "LWSC\n3\nAddLight\nLightIntensity (envelope)\n   \n\t\nAddNullObject N\nObjectMotion\n  \n \t \n"
         "Plugin MasterHandler 1 M\n   \nEndPlugin\nBGImage\n{ Clip\n   \n { Still\n  \n }\n}\n",
         LW_ERR_BAD_FORMAT},
        {"WhitespaceOnlyLinesInsideBlocks",
         "LWSC\n1\nAddNullObject N\nObjectMotion\n \n \n \nAddLight\nLgtIntensity (envelope)\n \n \n", 0, 2},
        {"HugeAndNegativeCounts",
         "LWSC\n3\nAddLight\nLightIntensity (envelope)\n{ Envelope\n 2000000000\n Key 1 0 0 0 0 0 0 0 0\n}\n",
         LW_ERR_BAD_FORMAT},
        {"HugeAndNegativeCounts", "LWSC\n3\nAddLight\nLightIntensity (envelope)\n{ Envelope\n -5\n Behaviors 2 2\n}\n",
         0},
        {"HugeAndNegativeCounts", "LWSC\n1\nAddNullObject N\nObjectMotion\n9\n2000000000\n", LW_ERR_BAD_FORMAT},
        {"HugeAndNegativeCounts", "LWSC\n3\nBGImage\n{ Clip\n { Hue\n 1\n -7\n }\n}\n", 0},
        // A bone that is its own parent, and two bones that parent each other.
        {"ParentCyclesStop",
         "LWSC\n3\nAddNullObject N\nAddBone\nParentItem 40000000\nAddBone\nParentItem 40010000\n"
         "AddBone\nParentItem 40010000\n",
         0},
        {"ParentCyclesStop", "LWSC\n1\nAddNullObject N\nAddBone\nParentObject 1\nAddBone\nParentObject 2\n", 0},
        {"RepeatedBlocksReplaceWithoutLeaking",
         "LWSC\n3\nAddLight\nLightIntensity (envelope)\n" + env + "LightIntensity (envelope)\n" + env +
             "BGImage\n{ Clip\n}\nBGImage\n{ Clip\n}\nAddNullObject N\nObjectMotion\nNumChannels 1\nChannel 0\n" + env +
             "ObjectMotion\nNumChannels 1\nChannel 1\n" + env,
         0},
        {"EmbeddedNulBytes", std::string("LWSC\n3\nAddNull\0Object X\n\0\nAddLight\n", 35), 0, 1},
        {"LastLineWithoutLineEndIsRead", "LWSC\n3", 0, 0},
        {"LastLineWithoutLineEndIsRead", "LWSC\n3\nAddNullObject Last", 0, 1},
        {"BonesBeforeAnyObject", "LWSC\n3\nAddBone\nBoneName Stray\n", 0, 1},
        {"CameraWithoutHeightOrZoom", "LWSC\n3\nAddCamera\nFrameSize 640 0\nZoomFactor 0\n", 0, 1},
        {"BonesBeforeAnyObject", "LWSC\n1\nAddBone\nParentObject 2\nAddLight\nAddBone\n", 0, 3},
    };
    for (const auto& c : cases) {
        ScenePtr s = Load(c.text);
        ASSERT_TRUE(s) << c.name;
        EXPECT_EQ(s->ErrorCode, c.error) << c.name << ": " << c.text;
        if (c.items >= 0) {
            EXPECT_EQ(s->NumItems, c.items) << c.name;
        }
        const std::string dump = Dump(s.get());
        EXPECT_EQ(dump.find("nan"), std::string::npos) << c.name;  // nor an angle of no camera height
        EXPECT_EQ(dump.find("inf"), std::string::npos) << c.name;
    }
    ScenePtr nothing(LoadLwScene(nullptr, 100, 2, nullptr));
    ASSERT_TRUE(nothing);
    EXPECT_EQ(nothing->ErrorCode, LW_ERR_BAD_FORMAT);
}

TEST(HostileInput, TwoThousandCharacterLinesAndNames) {
    std::string longName(2000, 'n');
    std::string longPath = "Objects/" + std::string(2000, 'p') + ".lwo";
    std::string text = "LWSC\n3\nAddNullObject " + longName + "\nLoadObjectLayer 7 " + longPath +
                       "\nAddLight\nLightName " + longName + "\nAddLight\nLightName " + longName +
                       "\nAddBone\nBoneWeightMapName " + longName + "\nPlugin MasterHandler 1 " + longName + "\n" +
                       longName + "\nEndPlugin\n" + std::string(3000, ' ') + "\n";
    ScenePtr s = Load(text);
    ASSERT_EQ(s->ErrorCode, 0);
    EXPECT_EQ(strlen(s->FirstItem->Name), 255u);
    EXPECT_LE(strlen(s->FirstItem->Next->Name), 255u);
    EXPECT_EQ(strlen(s->FirstItem->Next->Object->FileName), 255u);
    LwSceneItem* l1 = s->Op.GetFirstItem(s.get(), LW_ITEM_LIGHT, nullptr);
    EXPECT_EQ(strlen(s->Op.GetItemDisplayName(s.get(), l1)), 255u + 4u);  // "<name> (1)"
    EXPECT_EQ(strlen(s->MasterPlugins->Name), 255u);
    // The plug-in's data line was cut at the line buffer, never beyond.
    EXPECT_LT(s->MasterPlugins->Size, 1025);
    EXPECT_NE(Dump(s.get()).find(" (2)\""), std::string::npos);
}

TEST(HostileInput, TruncatedPluginAndClipBlocks) {
    ScenePtr p = Load("LWSC\n3\nPlugin MasterHandler 1 X\n a\n b");
    ASSERT_NE(p->MasterPlugins, nullptr);
    EXPECT_EQ(p->MasterPlugins->Size, 4);
    for (const char* clip :
         {"{ Clip\n { Still\n", "{ Clip\n { Sequence\n 1\n", "{ Clip\n { Brightness\n 1\n 1000000\n"})
        EXPECT_NE(Load(std::string("LWSC\n3\nBGImage\n") + clip)->Composite->BGImage, nullptr) << clip;
    ScenePtr bad = Load("LWSC\n3\nBGImage\nnot a clip\nFGImage\n");
    EXPECT_EQ(bad->Composite->BGImage, nullptr);
    EXPECT_EQ(bad->Composite->FGImage, nullptr);
}

TEST(HostileInput, VersionOneChannelCountsOutOfRange) {
    for (const char* count : {"0", "-3", "1", "1000"}) {
        std::string text = std::string("LWSC\n1\nAddNullObject N\nObjectMotion\n") + count +
                           "\n1\n1 2 3 4 5 6 7 8 9 10 11 12\n0 0 0 0 0\nEndBehavior 1\n";
        ScenePtr s = Load(text);
        ASSERT_EQ(s->ErrorCode, 0) << count;
        double out[3] = {0, 0, 0};
        s->Op.EvaluateMotion(s.get(), s->FirstItem, LW_MOTION_SCALE, 0, out);
        EXPECT_DOUBLE_EQ(out[2], 9.0) << count;
    }
}

TEST(HostileInput, DeepBoneChainsAndManyItemsStayLinear) {
    // Twenty thousand bones, each hanging from the one before: once a walk of the whole chain per
    // bone, with a walk of the whole list per step.
    const int n = 20000;
    std::string text = "LWSC\n3\nAddNullObject Body\n";
    text.reserve(n * 48);
    char line[64];
    for (int i = 0; i < n; ++i) {
        text += "AddBone\nBoneRestPosition 0 0 1\n";
        if (i > 0) {
            snprintf(line, sizeof(line), "ParentItem 4%03x0000\n", (i - 1) & 0xFFF);
            text += line;
        }
    }
    ScenePtr s = Load(text);
    ASSERT_EQ(s->ErrorCode, 0);
    LwSceneItem* last = s->Op.GetItemByIndex(s.get(), n + 1);
    ASSERT_NE(last, nullptr);
    // Bone references keep only 12 bits of the bone's place, so later bones hang from early ones.
    EXPECT_GT(last->Bone->BoneRestStart[2], 1.0);
    EXPECT_NEAR(s->Op.GetItemByIndex(s.get(), 2 + 100)->Bone->BoneRestStart[2], 101.0, 1e-9);
    EXPECT_EQ(s->Op.GetBoneOwner(s.get(), last), s->FirstItem);
    // A version 1 scene of many items whose parents and targets resolve after the last line.
    std::string v1 = "LWSC\n1\n";
    for (int i = 0; i < n; ++i) {
        snprintf(line, sizeof(line), "AddNullObject N\nParentObject %d\nTargetObject %d\n", i, n - i);
        v1 += line;
    }
    ScenePtr s1 = Load(v1);
    ASSERT_EQ(s1->ErrorCode, 0);
    EXPECT_EQ(s1->Op.GetItemByIndex(s1.get(), n)->Parent, 0x10000000u | (uint32_t)(n - 2));
    EXPECT_EQ(s1->Op.GetItemByIndex(s1.get(), n)->Target, 0x10000000u);
}

TEST(HostileInput, ZeroSpansAndZeroLengthSegments) {
    // Every key at one time: repeat, oscillate and offset repeat hold a constant.
    for (int b : {2, 3, 4}) {
        EnvelopeScene e({{1, 5, 0}, {3, 5, 0}}, b, b);
        EXPECT_TRUE(std::isfinite(e.At(1e9)));
        EXPECT_TRUE(std::isfinite(e.At(-1e9)));
        EXPECT_DOUBLE_EQ(e.At(7.0), 3.0);
    }
    EnvelopeScene dup({{0, 0, 0}, {5, 0, 0}, {10, 1, LW_SHAPE_LINEAR}});
    EnvelopeScene lin({{0, 0, LW_SHAPE_LINEAR}, {5, 0, LW_SHAPE_LINEAR}}, 5, 5);
    EXPECT_DOUBLE_EQ(dup.At(0.0), 5.0);
    for (double t : {-1.0, 0.5, 2.0}) EXPECT_TRUE(std::isfinite(dup.At(t)) && std::isfinite(lin.At(t))) << t;
    // Two version 1 keys on one frame.
    ScenePtr v1 = Load(
        "LWSC\n1\nAddNullObject N\nObjectMotion\n9\n3\n0 0 0 0 0 0 1 1 1\n0 0 0 0 0\n"
        "5 0 0 0 0 0 1 1 1\n0 0 0 0 0\n9 0 0 0 0 0 1 1 1\n10 0 0 0 0\nEndBehavior 1\n");
    for (double t : {0.0, 0.1}) {
        double out[3] = {0, 0, 0};
        v1->Op.EvaluateMotion(v1.get(), v1->FirstItem, LW_MOTION_POSITION, t, out);
        EXPECT_TRUE(std::isfinite(out[0])) << t;
    }
}

TEST(HostileInput, FarTimesWrapDirectly) {
    EnvelopeScene e({{0, 0, 0}, {10, 1e-6, LW_SHAPE_LINEAR}}, 2, 4);
    EXPECT_TRUE(std::isfinite(e.At(1e12)));
    EXPECT_TRUE(std::isfinite(e.At(-1e12)));
    EnvelopeScene o({{0, 0, 0}, {10, 1, LW_SHAPE_LINEAR}}, 3, 3);
    EXPECT_NEAR(o.At(1e6 + 0.25), 2.5, 1e-6);
}

TEST(HostileInput, ReversedBezierHandlesEnd) {
    Key k0{0, 0, LW_SHAPE_BEZIER2D};
    k0.b = 5.0;  // the time curve runs backwards
    Key k1{10, 1, LW_SHAPE_BEZIER2D};
    k1.t = -5.0;
    EnvelopeScene e({k0, k1}, 7, 7);
    for (double t : {-3.0, 0.1, 0.5, 0.9}) EXPECT_TRUE(std::isfinite(e.At(t)));
    LwEnvelopeKey* m = e.scene->Op.GetKeyValue(e.scene.get(), e.env, 0.5);
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(std::isfinite(m->Value));
}

TEST(HostileInput, FrameRateZeroOrLessIsIgnored) {
    for (const char* rate : {"0", "-25", "abc", "nan", "inf"}) {
        ScenePtr s = Load(std::string("LWSC\n1\nFramesPerSecond ") + rate +
                          "\nAddNullObject N\nLookAheadFrames 15\nObjectMotion\n9\n2\n0 0 0 0 0 0 1 1 1\n"
                          "0 0 0 0 0\n10 0 0 0 0 0 1 1 1\n30 0 0 0 0\nEndBehavior 1\n");
        EXPECT_DOUBLE_EQ(s->FramesPerSecond, 30.0) << rate;
        EXPECT_DOUBLE_EQ(s->FirstItem->PathAlignLookAhead, 0.5);
        EXPECT_DOUBLE_EQ(s->FirstItem->ChannelList->LastKey->Time, 1.0);
    }
}

TEST(HostileInput, NumbersOverflowAndHexIs32Bit) {
    ScenePtr s = Load(
        "LWSC\n3\nFirstFrame 99999999999999999999\nLastFrame -99999999999999999999\n"
        "AddNullObject N\nParentItem 0x40010000\nTargetItem FFFFFFFFFF\nAddLight\n"
        "ParentItem -1\n");
    EXPECT_EQ((std::vector<int64_t>{s->FirstFrame, s->LastFrame, s->FirstItem->Parent, s->FirstItem->Target,
                                    s->FirstItem->Next->Parent}),
              (std::vector<int64_t>{INT32_MAX, INT32_MIN, 0x40010000, 0xFFFFFFFF, 0xFFFFFFFF}));
    EXPECT_EQ(s->Op.GetTargetItem(s.get(), s->FirstItem), nullptr);

    // Channel numbers at the ends of the range are no channel of any group.
    ScenePtr c = Load("LWSC\n3\nAddNullObject N\nObjectMotion\nNumChannels 2\nChannel -2147483648\n" +
                      EnvelopeBlock({{4, 0, 0}}) + "Channel 2147483647\n" + EnvelopeBlock({{5, 0, 0}}));
    ASSERT_EQ(c->ErrorCode, LW_ERR_NONE);
    for (int32_t group : {LW_MOTION_POSITION, LW_MOTION_ROTATION, LW_MOTION_SCALE}) {
        double out[3] = {1, 2, 3};
        c->Op.EvaluateMotion(c.get(), c->FirstItem, group, 0.5, out);
        EXPECT_EQ(out[0] + out[1] + out[2], 6.0);
    }
}

TEST(HostileInput, NumbersIgnoreTheLocale) {
    const char* old = setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    bool switched = setlocale(LC_NUMERIC, "de_DE.UTF-8") || setlocale(LC_NUMERIC, "fr_FR.UTF-8");
    ScenePtr s = Load("LWSC\n3\nFramesPerSecond 12.5\n");
    EXPECT_DOUBLE_EQ(s->FramesPerSecond, 12.5);
    EXPECT_NE(Dump(s.get()).find("12.500000"), std::string::npos);
    setlocale(LC_NUMERIC, saved.c_str());
    if (!switched) GTEST_LOG_(INFO) << "no comma locale installed; checked in the C locale only";
}

TEST(HostileInput, HighBytesInNames) {
    ScenePtr s = Load("LWSC\n3\nAddNullObject \xE9\x9B\xAA\xFF\x80\nAddLight\nLightName \xC3\xA9t\xC3\xA9\n");
    EXPECT_STREQ(s->FirstItem->Name, "\xE9\x9B\xAA\xFF\x80");
    EXPECT_EQ(LwStrCaseCompare("\xC3\xA9T", "\xC3\xA9t"), 0);
    EXPECT_EQ(LwStrCaseCompare("\xFF", "\xDF"), 1);
}

}  // namespace
