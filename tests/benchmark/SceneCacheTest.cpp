// The scene cache: one entry per name whatever its letter case, the directory precache with its log
// lines and its ".lws" rule, failures that cache nothing, and Clear.
#include "benchmark/LWSceneCache.h"
#include "tests/benchmark/PlayTestSupport.h"

namespace playtest {
namespace {

// The file-system loader, noting each name it is asked to open.
struct NotingLoader : trivale::CFileSystemDataLoader {
    using CFileSystemDataLoader::CFileSystemDataLoader;
    std::unique_ptr<trivale::IStream> Open(const std::string& name) override {
        opened.push_back(name);
        return CFileSystemDataLoader::Open(name);
    }
    Lines opened;
};

class SceneCacheTest : public PlayTest {
protected:
    void SetUp() override {
        PlayTest::SetUp();
        loader_ = std::make_unique<NotingLoader>(data_.string() + "/");  // once the directory exists
    }
    // The log's lines from the opening precache line on.
    Lines PrecacheLog() {
        Lines lines = log_->Lines(), kept;
        for (const std::string& line : lines) {
            if (!kept.empty() || line.find("--- precaching model") != std::string::npos)
                kept.push_back(line.substr(line.find("INFO: ")));
        }
        return kept;
    }
    std::unique_ptr<NotingLoader> loader_;
    trivale::type_a::CTextureCache textures_;
    CLWSceneCache cache_{&textures_};
};

TEST_F(SceneCacheTest, NamesDifferingInCaseAreOneSceneLoadedUnderTheFirst) {
    trivale::type_a::CLWRenderableScene* scene = cache_.GetScene(loader_.get(), "Scenes\\LIT.lws");
    EXPECT_EQ(cache_.GetScene(loader_.get(), "scenes\\lit.LWS"), scene);
    EXPECT_EQ(cache_.GetCount(), 1u);
    EXPECT_EQ(loader_->opened, (Lines{"Scenes\\LIT.lws", "Scenes\\red_000.t3o", "Scenes\\red.tga"}));
    cache_.Clear();
    EXPECT_EQ(cache_.GetCount(), 0u);
    EXPECT_EQ(textures_.GetCount(), 1u) << "a texture cache from outside keeps its textures";
}

TEST_F(SceneCacheTest, PrecacheLoadsEveryLwsWhateverTheCaseOfItsExtension) {
    fs::copy_file(data_ / "scenes/lit.lws", data_ / "scenes/UPPER.LWS");
    for (const char* other : {"a.lwsx", "b.lw", "c.lwo", "lws"}) std::ofstream(data_ / "scenes" / other) << "x";
    cache_.GetScene(loader_.get(), "scenes\\sky.lws");
    cache_.PrecacheDirectory(loader_.get(), "scenes", true);
    EXPECT_EQ(PrecacheLog(),
              (Lines{"INFO: --- precaching model from directory ---", "INFO: precache: scenes\\UPPER.LWS",
                     "INFO: precache: scenes\\dark.lws", "INFO: precache: scenes\\lit.lws",
                     "INFO: precache: scenes\\sky.lws", "INFO: --------"}));
    EXPECT_EQ(cache_.GetCount(), 4u) << "the sky scene was cached before, and is logged again";
}

TEST_F(SceneCacheTest, EmptyDirectoryLogsOnlyTheFrame) {
    fs::create_directories(data_ / "empty");
    cache_.PrecacheDirectory(loader_.get(), "empty", true);
    EXPECT_EQ(PrecacheLog(), (Lines{"INFO: --- precaching model from directory ---", "INFO: --------"}));
}

// A bad scene stops the precache there: what came before stays, the closing line is not written.
TEST_F(SceneCacheTest, AFailedLoadCachesNothing) {
    std::ofstream(data_ / "scenes/broken.lws") << "not a scene";
    EXPECT_THROW(cache_.GetScene(loader_.get(), "scenes\\broken.lws"), trivale::EException);
    EXPECT_EQ(cache_.GetCount(), 0u);
    EXPECT_THROW(cache_.PrecacheDirectory(loader_.get(), "scenes", false), trivale::EException);
    EXPECT_EQ(cache_.GetCount(), 0u) << "broken.lws comes first";
    EXPECT_EQ(PrecacheLog().back(), "INFO: precache: scenes\\broken.lws");
    EXPECT_THROW(cache_.PrecacheDirectory(nullptr, "scenes", false), trivale::EException);
}

}  // namespace
}  // namespace playtest
