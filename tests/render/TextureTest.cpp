// Textures loaded by name through the driver's data loader into the cache, over the recording device.

#include <gtest/gtest.h>

#include "core/Exception.h"
#include "render/TextureCache.h"
#include "tests/render/RenderTestSupport.h"

namespace rendertest {
namespace {

using type_a::CTexture;
using type_a::CTextureCache;

// Counts the names it is asked to open, then serves them from the driver's loader.
class CountingLoader : public IDataLoader {
public:
    explicit CountingLoader(IDataLoader* inner) : inner_(inner) {}
    std::unique_ptr<IStream> Open(const std::string& name) override {
        opened.push_back(name);
        return inner_->Open(name);
    }
    void Enumerate(const std::string& directory, bool recursive, std::vector<std::string>& list) override {
        inner_->Enumerate(directory, recursive, list);
    }
    std::vector<std::string> opened;

private:
    IDataLoader* inner_;
};

class TextureTest : public RenderTest {
protected:
    void SetUp() override {
        StartDriver(Backend::Fake);
        loader_.reset(new CountingLoader(GetApplicationDriver()->GetDataLoader()));
    }
    void TearDown() override {
        cache_.Clear();
        RenderTest::TearDown();
    }
    std::unique_ptr<CountingLoader> loader_;
    CTextureCache cache_;
};

TEST_F(TextureTest, LoadsByNameAndKeepsTheFileSize) {
    WriteFile("pics/Red.bmp", MakeFlatBmp(4, 2, 0xFFFF0000));
    CTexture* texture =
        cache_.GetTexture(loader_.get(), std::string("pics\\Red.bmp"), false, std::string(), plat::Format::Unknown);
    ASSERT_NE(texture, nullptr);
    ASSERT_NE(texture->GetTexture(), nullptr);
    EXPECT_EQ(texture->GetWidth(), 4);
    EXPECT_EQ(texture->GetHeight(), 2);
    EXPECT_EQ(texture->GetImageInfo().imageFileFormat, plat::ImageFileFormat::Bmp);
    // The loader's default size is the file's rounded up to a power of two; one level without mipmaps.
    EXPECT_EQ(Journal({"CreateTexture"}), std::vector<std::string>{"CreateTexture(4, 2, 1, Xrgb8888) = T1"});
    texture->Apply();
    EXPECT_EQ(Journal(), std::vector<std::string>{"SetTexture(0, T1)"});
}

TEST_F(TextureTest, MipmapsMakeTheWholeChain) {
    WriteFile("a.bmp", MakeFlatBmp(8, 4, 0xFF00FF00));
    cache_.GetTexture(loader_.get(), std::string("a.bmp"), true, std::string(), plat::Format::Unknown);
    EXPECT_EQ(Journal({"CreateTexture"}), std::vector<std::string>{"CreateTexture(8, 4, 4, Xrgb8888) = T1"});
}

TEST_F(TextureTest, KeysIgnoreLetterCaseUnlessGiven) {
    WriteFile("Wall.bmp", MakeFlatBmp(2, 2, 0xFF0000FF));
    CTexture* first = cache_.GetTexture(loader_.get(), "Wall.bmp", true, "", plat::Format::Unknown);
    CTexture* second = cache_.GetTexture(loader_.get(), "WALL.BMP", true, "", plat::Format::Unknown);
    EXPECT_EQ(first, second);
    EXPECT_EQ(loader_->opened, std::vector<std::string>{"Wall.bmp"}) << "a hit does not open the loader";
    CTexture* keyed = cache_.GetTexture(loader_.get(), "Wall.bmp", true, "mine", plat::Format::Unknown);
    EXPECT_NE(keyed, first);
    EXPECT_EQ(cache_.GetTexture(loader_.get(), "other.bmp", true, "mine", plat::Format::Unknown), keyed)
        << "an explicit key finds its entry whatever the name";
    EXPECT_EQ(cache_.GetTexture(loader_.get(), "x", true, "wall.bmp", plat::Format::Unknown), first);
    EXPECT_EQ(cache_.GetCount(), 2u);
}

TEST_F(TextureTest, DriverLoaderFormsReachTheSameEntries) {
    WriteFile("b.bmp", MakeFlatBmp(2, 2, 0xFF0000FF));
    CTexture* viaDriver = cache_.GetTexture(std::string("B.bmp"), true, std::string(), plat::Format::Unknown);
    EXPECT_EQ(cache_.GetTexture("b.BMP", true, "", plat::Format::Unknown), viaDriver);
}

// A derived cache that overrides only the loading form sees every other form.
class LoggingCache : public CTextureCache {
public:
    using CTextureCache::GetTexture;
    CTexture* GetTexture(IDataLoader* loader, const std::string& name, bool mipmaps, const std::string& key,
                         plat::Format format) override {
        seen.push_back(name + "|" + key);
        return CTextureCache::GetTexture(loader, name, mipmaps, key, format);
    }
    std::vector<std::string> seen;
};

TEST_F(TextureTest, PrecacheLoadsImageFilesUnderTheirNamesWithTheSuffix) {
    WriteFile("dir/One.PNG.bmp", MakeFlatBmp(2, 2, 0xFF0000FF));  // the last extension counts
    WriteFile("dir/Two.BMP", MakeFlatBmp(2, 2, 0xFF00FF00));
    WriteFile("dir/notes.txt", {'h', 'i'});
    LoggingCache cache;
    RestartLog();
    cache.PrecacheDirectory(loader_.get(), "dir", false, true, "#s", plat::Format::Unknown);
    EXPECT_EQ(cache.seen,
              (std::vector<std::string>{"dir\\One.PNG.bmp|dir\\One.PNG.bmp#s", "dir\\Two.BMP|dir\\Two.BMP#s"}));
    const std::vector<std::string> lines = log_->Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "INFO: --- precaching texture from directory ---");
    EXPECT_EQ(lines[1], "INFO: precache: dir\\One.PNG.bmp");
    EXPECT_EQ(lines[2], "INFO: precache: dir\\Two.BMP");
    EXPECT_EQ(lines[3], "INFO: --------");
    cache.Clear();
}

TEST_F(TextureTest, EmptyDirectoryLogsOnlyTheFrame) {
    std::filesystem::create_directories(data_ / "empty");
    RestartLog();
    cache_.PrecacheDirectory(loader_.get(), "empty", true, true, "", plat::Format::Unknown);
    EXPECT_EQ(log_->Lines(),
              (std::vector<std::string>{"INFO: --- precaching texture from directory ---", "INFO: --------"}));
}

TEST_F(TextureTest, MaximumSizeShrinksTheTextureNotTheReportedSize) {
    WriteFile("big.bmp", MakeFlatBmp(1024, 512, 0xFF808080));
    cache_.SetOption(256);
    CTexture* texture = cache_.GetTexture(loader_.get(), "big.bmp", false, "", plat::Format::Unknown);
    EXPECT_EQ(Journal({"CreateTexture"}), std::vector<std::string>{"CreateTexture(256, 256, 1, Xrgb8888) = T1"});
    EXPECT_EQ(texture->GetWidth(), 1024);
    EXPECT_EQ(texture->GetHeight(), 512);
    for (int limit : {0, -1}) {
        CTextureCache unlimited;
        unlimited.SetOption(limit);
        unlimited.GetTexture(loader_.get(), "big.bmp", false, "", plat::Format::Unknown);
        EXPECT_EQ(Journal({"CreateTexture"}), std::vector<std::string>{"CreateTexture(1024, 512, 1, Xrgb8888) = T" +
                                                                       std::to_string(limit == 0 ? 2 : 3)})
            << "limit " << limit;
    }
}

// Failures keep the cache unchanged and say what was wrong, once.
TEST_F(TextureTest, BadImagesAreTheLoadersErrorAndNotCached) {
    WriteFile("junk.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13});
    WriteFile("empty.dds", {});
    std::vector<unsigned char> huge = MakeFlatBmp(2, 2, 0);
    huge[18] = huge[19] = huge[20] = 0x7F;  // a width far past the loader's limit, with no texels behind it
    WriteFile("huge.bmp", huge);
    for (const char* name : {"junk.png", "empty.dds", "huge.bmp"}) {
        RestartLog();
        try {
            cache_.GetTexture(loader_.get(), name, true, "", plat::Format::Unknown);
            ADD_FAILURE() << name << " loaded";
        } catch (const EFileOpenError& e) {
            const std::string message = e.GetMessage();
            EXPECT_EQ(message.rfind("テクスチャのロードに失敗しました. (", 0), 0u) << message;
            EXPECT_GT(message.size(), std::string("テクスチャのロードに失敗しました. ()").size()) << "gives the reason";
            EXPECT_EQ(e.GetOrigin(), "trivale::type_a::CTexture");
        }
        EXPECT_TRUE(log_->Lines().empty()) << name << ": the error is reported by whoever catches it";
        EXPECT_EQ(cache_.GetCount(), 0u) << name;
    }
    EXPECT_THROW(cache_.GetTexture(loader_.get(), "missing.bmp", true, "", plat::Format::Unknown), EFileOpenError);
    EXPECT_EQ(cache_.GetCount(), 0u);
    // A later request tries again.
    WriteFile("junk.png", MakeFlatBmp(2, 2, 0xFF000000));
    EXPECT_NE(cache_.GetTexture(loader_.get(), "junk.png", true, "", plat::Format::Unknown), nullptr);
}

TEST_F(TextureTest, ClearDestroysWhatNobodyHolds) {
    WriteFile("c.bmp", MakeFlatBmp(2, 2, 0xFF000000));
    cache_.GetTexture(loader_.get(), "c.bmp", true, "", plat::Format::Unknown)->Apply();
    cache_.Clear();
    EXPECT_EQ(cache_.GetCount(), 0u);
    plat::ITexture* bound = reinterpret_cast<plat::ITexture*>(1);
    Device()->GetTexture(0, bound);
    EXPECT_EQ(bound, nullptr) << "the device forgets a texture that is gone";
}

}  // namespace
}  // namespace rendertest
