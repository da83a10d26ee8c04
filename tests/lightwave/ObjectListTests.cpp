// Clip entries of an object, and the matrix functions.
#include "tests/lightwave/ObjectTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace lwobj;

namespace {

TEST(ObjectClips, IdsPositionsAndNames) {
    ObjectPtr o = NewObject();
    EXPECT_EQ(o->Op.GetNextClipId(o.get()), 1);
    EXPECT_EQ(o->Op.AddClip(o.get(), 3), 0);
    EXPECT_EQ(o->Op.AddClip(o.get(), 7), 1);
    EXPECT_EQ(o->Op.GetNextClipId(o.get()), 8);
    EXPECT_EQ(o->Op.GetClipPosition(o.get(), 4), -1);
    EXPECT_EQ(o->Op.SetClipName(o.get(), 1, "C:\\Images\\Sky.tga"), LW_ERR_NONE);
    EXPECT_EQ(o->Op.SetClipName(o.get(), 2, "x"), LW_ERR_PARAM);
    EXPECT_EQ(o->Op.FindClipByName(o.get(), "c:\\IMAGES\\SKY.TGA"), 7);
    EXPECT_EQ(o->Op.FindClipByName(o.get(), "c:\\IMAGES\\SKY"), 0);
    o->Op.SetClipName(o.get(), 0, std::string(300, 'a').c_str());
    EXPECT_EQ(strlen(o->Op.GetClip(o.get(), 0)->Name), 255u);
}

// Size 0 keeps the block; a later body reuses it rather than leaving it behind.
TEST(ObjectClips, BodiesReplaceTheirBlock) {
    ObjectPtr o = NewObject();
    o->Op.AddClip(o.get(), 1);
    const uint8_t body[6] = {'S', 'T', 'I', 'L', 0, 2};
    EXPECT_EQ(o->Op.SetClipData(o.get(), 0, 6, body), LW_ERR_NONE);
    LwClipEntry* clip = o->Op.GetClip(o.get(), 0);
    EXPECT_EQ(o->Op.SetClipData(o.get(), 0, 0, nullptr), LW_ERR_NONE);
    EXPECT_EQ(clip->DataSize, 0);
    EXPECT_NE(clip->Data, nullptr);
    EXPECT_EQ(o->Op.SetClipData(o.get(), 0, 4, body + 2), LW_ERR_NONE);
    EXPECT_EQ(clip->DataSize, 4);
    EXPECT_EQ(clip->Data[0], 'I');
    EXPECT_EQ(o->Op.SetClipData(o.get(), 1, 4, body), LW_ERR_PARAM);
    EXPECT_EQ(o->Op.SetClipData(o.get(), 0, 4, nullptr), LW_ERR_PARAM);
    o->Op.FreeClips(o.get());
    EXPECT_EQ(o->Op.GetNextClipId(o.get()), 1);
}

void ExpectPoint(const LwMatrix m, std::vector<double> in, std::vector<double> expected) {
    double out[3];
    LwMatrixTransform(m, in.data(), out);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], expected[i], 1e-12) << i;
}

TEST(Matrix, RotationsTranslationAndOrder) {
    LwMatrix m;
    LwMatrixIdentity(m);
    ExpectPoint(m, {1, 2, 3}, {1, 2, 3});
    const double quarter = std::acos(0.0);
    struct Case {
        char axis;
        std::vector<double> in, out;
    } cases[] = {
        {'b', {1, 0, 0}, {0, 1, 0}},  {'z', {0, 1, 0}, {-1, 0, 0}}, {'h', {0, 0, 1}, {1, 0, 0}},
        {'y', {1, 0, 0}, {0, 0, -1}}, {'p', {0, 1, 0}, {0, 0, 1}},  {'x', {0, 0, 1}, {0, -1, 0}},
    };
    for (const Case& c : cases) {
        LwMatrixIdentity(m);
        LwMatrixRotate(m, quarter, c.axis);
        SCOPED_TRACE(c.axis);
        ExpectPoint(m, c.in, c.out);
    }
    // a := b x a: the translation in a is applied after the rotation multiplied in.
    LwMatrixIdentity(m);
    m[3][0] = 10;
    LwMatrixRotate(m, quarter, 'b');
    ExpectPoint(m, {1, 0, 0}, {10, 1, 0});
}

}  // namespace
