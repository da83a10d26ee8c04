// Textures loaded by name through the driver's data loader into the cache, over the recording device.

#include "core/Exception.h"
#include "render/TextureCache.h"
#include "tests/render/RenderTestSupport.h"

namespace rendertest {
namespace {

using type_a::CTexture;
using Lines = std::vector<std::string>;

class TextureTest : public RenderTest {
protected:
    void SetUp() override { StartDriver(Backend::Fake); }
    void TearDown() override {
        cache_.Clear();
        RenderTest::TearDown();
    }
    CTexture* Get(const char* name, const char* key = "", bool mipmaps = false) {
        return cache_.GetTexture(name, mipmaps, key, plat::Format::Unknown);
    }
    type_a::CTextureCache cache_;
};

TEST_F(TextureTest, LoadsByNameKeyedByTheLowerCasedName) {
    WriteFile("pics/Wall.tga", FlatImage(8, 4));
    CTexture* wall = Get("pics\\Wall.tga", "", true);
    EXPECT_EQ(wall->GetWidth(), 8);
    EXPECT_EQ(Get("PICS\\WALL.TGA"), wall);
    CTexture* keyed = Get("pics\\Wall.tga", "mine");
    EXPECT_NE(keyed, wall);
    EXPECT_EQ(Get("anything", "mine"), keyed) << "an explicit key finds its entry whatever the name";
    EXPECT_EQ(Get("x", "pics\\wall.tga"), wall);
    EXPECT_EQ(Journal("CreateTexture"),
              (Lines{"CreateTexture(8, 4, 4, Argb8888) = T1", "CreateTexture(8, 4, 1, Argb8888) = T2"}));
}

// The extension decides, whatever its case; the maximum size shrinks the texture, not the reported size.
TEST_F(TextureTest, PrecacheAndMaximumSize) {
    for (const char* name : {"dir/One.tga.PNG", "dir/Two.bmp", "dir/notes.tga"}) WriteFile(name, FlatImage(1024, 512));
    cache_.SetOption(256);
    cache_.PrecacheDirectory("dir", false, false, "#s", plat::Format::Unknown);
    EXPECT_EQ(cache_.GetCount(), 2u);
    EXPECT_NE(Get("", "dir\\One.tga.PNG#s"), nullptr);
    EXPECT_EQ(log_->Count("INFO: precache: "), 2);
    EXPECT_EQ(Journal("CreateTexture").at(0), "CreateTexture(256, 256, 1, Argb8888) = T1");
    cache_.SetOption(0);
    EXPECT_EQ(Get("dir\\notes.tga")->GetWidth(), 1024);
    EXPECT_EQ(Get("", "dir\\Two.bmp#s")->GetWidth(), 1024);
    EXPECT_EQ(Journal("CreateTexture"), Lines{"CreateTexture(1024, 512, 1, Argb8888) = T3"});
}

// Hostile files: the graphics error line with the loader's reason, then the one exception; nothing
// cached; a later request tries again.
TEST_F(TextureTest, BadImagesAreTheLoadersErrorAndNotCached) {
    std::vector<unsigned char> huge = FlatImage(2, 2);
    huge[12] = huge[13] = huge[14] = huge[15] = 0xFF;  // 65535 x 65535 with four texels behind it
    WriteFile("huge.tga", huge);
    WriteFile("junk.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13});
    WriteFile("empty.dds", {});
    for (const char* name : {"huge.tga", "junk.png", "empty.dds"}) {
        RestartLog();
        try {
            Get(name);
            ADD_FAILURE() << name << " loaded";
        } catch (const EFileOpenError& e) {
            EXPECT_EQ(e.GetMessage(),
                      "テクスチャのロードに失敗しました. - ファイル \"" + (data_ / name).string() + "\"");
            EXPECT_EQ(e.GetOrigin(), "trivale::type_a::CTexture");
        }
        const Lines lines = log_->Lines();
        ASSERT_EQ(lines.size(), 3u) << name;
        EXPECT_EQ(lines[0], "ERROR: ");
        EXPECT_EQ(lines[1].rfind("\tDirectX Error: INVALIDDATA(0x", 0), 0u) << lines[1];
        EXPECT_NE(lines[1].find("The data is invalid. ("), std::string::npos) << lines[1];  // the loader's reason
        EXPECT_EQ(lines[2].rfind("\trender/Texture.cpp(", 0), 0u) << lines[2];
    }
    EXPECT_THROW(Get("missing.tga"), EFileOpenError);
    EXPECT_EQ(cache_.GetCount(), 0u);
    WriteFile("junk.png", FlatImage(2, 2));
    EXPECT_NE(Get("junk.png"), nullptr);
}

}  // namespace
}  // namespace rendertest
