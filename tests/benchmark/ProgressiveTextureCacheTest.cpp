// The progressive texture cache over the recording device: what is handed out, what is queued and
// when each texture is really created.

#include "benchmark/ProgressiveTextureCache.h"
#include "core/Exception.h"
#include "tests/render/RenderTestSupport.h"

namespace rendertest {
namespace {

using type_a::CProgressiveTextureCache;
using type_a::CTexture;
using Lines = std::vector<std::string>;

class ProgressiveTextureCacheTest : public RenderTest {
protected:
    void SetUp() override {
        StartDriver(Backend::Fake);
        // Each file's width tells which one was loaded.
        for (int i = 1; i <= 3; ++i) WriteFile("tex/p" + std::to_string(i) + ".png", FlatImage(i, 1));
    }
    void TearDown() override {
        cache_.reset();
        RenderTest::TearDown();
    }
    CTexture* Get(const std::string& name, const std::string& key = "") {
        return cache_->GetTexture(name, false, key, plat::Format::Unknown);
    }
    std::unique_ptr<CProgressiveTextureCache> cache_ = std::make_unique<CProgressiveTextureCache>();
};

TEST_F(ProgressiveTextureCacheTest, ANewCacheIsComplete) {
    EXPECT_EQ(cache_->GetQueuedCount(), 0);
    EXPECT_TRUE(cache_->IsComplete());
    EXPECT_EQ(cache_->LoadNext(), 0);
    EXPECT_EQ(cache_->GetCount(), 0u);
}

// Handed out unloaded, one entry per key; LoadNext loads them one per call, in request order.
TEST_F(ProgressiveTextureCacheTest, LoadsOnePerCallInRequestOrder) {
    CTexture* first = Get("tex\\P2.png");
    CTexture* second = Get("tex\\p1.png");
    EXPECT_EQ(Get("TEX\\p2.PNG"), first) << "the same key is one entry";
    CTexture* third = Get("tex\\p3.png", "mine");
    EXPECT_EQ(Get("anything", "mine"), third);
    EXPECT_TRUE(Journal("CreateTexture").empty()) << "nothing is loaded while requesting";
    EXPECT_EQ(cache_->GetQueuedCount(), 3);
    EXPECT_EQ(cache_->GetCount(), 3u);

    const std::vector<CTexture*> textures{first, second, third};
    const int widths[] = {2, 1, 3};
    for (int loaded = 0; loaded <= 3; ++loaded) {
        SCOPED_TRACE(loaded);
        EXPECT_EQ(cache_->IsComplete(), loaded == 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(textures[i]->GetTexture() != nullptr, i < loaded) << i;
            if (i < loaded) {
                EXPECT_EQ(textures[i]->GetWidth(), widths[i]);
            }
        }
        const Lines created = Journal("CreateTexture");
        EXPECT_EQ(created.size(), loaded == 0 ? 0u : 1u);
        EXPECT_EQ(cache_->LoadNext(), std::min(loaded + 1, 3));
    }
    EXPECT_TRUE(Journal("CreateTexture").empty()) << "a complete queue loads nothing more";
}

// Every other way of asking goes through the overridden form, so it queues too.
TEST_F(ProgressiveTextureCacheTest, EveryFormQueues) {
    IDataLoader* loader = &type_a::CurrentDataLoader();
    cache_->GetTexture(loader, std::string("tex\\p1.png"), false, std::string(), plat::Format::Unknown);
    cache_->GetTexture(loader, "tex\\p2.png", false, "", plat::Format::Unknown);
    cache_->GetTexture("tex\\p3.png", false, "", plat::Format::Unknown);
    cache_->GetTexture(std::string("tex\\p3.png"), false, std::string("k"), plat::Format::Unknown);
    cache_->PrecacheDirectory("tex", false, false, "#s", plat::Format::Unknown);
    EXPECT_EQ(cache_->GetQueuedCount(), 7);
    EXPECT_TRUE(Journal("CreateTexture").empty());
    while (!cache_->IsComplete()) cache_->LoadNext();
    EXPECT_EQ(Journal("CreateTexture").size(), 7u);
}

// Deferred loads take the file's own size and the requested mip chain, whatever the size limit.
TEST_F(ProgressiveTextureCacheTest, DeferredLoadsIgnoreTheSizeLimit) {
    WriteFile("big.tga", FlatImage(1024, 512));
    cache_->SetOption(256);
    cache_->GetTexture("big.tga", true, "", plat::Format::Unknown);
    cache_->LoadNext();
    EXPECT_EQ(Journal("CreateTexture"), Lines{"CreateTexture(1024, 512, 11, Argb8888) = T1"});
}

// Switched off, new names load at once and queued ones come back as they are; the queue stays.
TEST_F(ProgressiveTextureCacheTest, SwitchingOffLoadsAtOnce) {
    CTexture* queued = Get("tex\\p1.png");
    cache_->SetProgressive(false);
    EXPECT_EQ(Get("TEX\\P1.PNG"), queued);
    EXPECT_EQ(queued->GetTexture(), nullptr) << "a queued texture is not loaded by asking again";
    CTexture* now = Get("tex\\p2.png");
    EXPECT_NE(now->GetTexture(), nullptr);
    EXPECT_EQ(Journal("CreateTexture").size(), 1u);
    EXPECT_EQ(cache_->GetQueuedCount(), 1);
    EXPECT_FALSE(cache_->IsComplete());
    EXPECT_EQ(cache_->LoadNext(), 1);
    EXPECT_NE(queued->GetTexture(), nullptr);

    cache_->SetProgressive(true);
    Get("tex\\p3.png");
    EXPECT_FALSE(cache_->IsComplete()) << "queueing more reopens the queue";
    EXPECT_EQ(cache_->LoadNext(), 2);
}

TEST_F(ProgressiveTextureCacheTest, OffFromTheStartIsThePlainCache) {
    cache_->SetProgressive(false);
    EXPECT_EQ(Get("tex\\p3.png")->GetWidth(), 3);
    EXPECT_THROW(Get("missing.tga"), EFileOpenError);
    EXPECT_EQ(cache_->GetQueuedCount(), 0);
    EXPECT_TRUE(cache_->IsComplete());
}

// A file that cannot be loaded shows at its turn, as one exception and nothing more in the log than
// the file stream's own system-error line; it stays the next one, and what is queued behind it waits.
TEST_F(ProgressiveTextureCacheTest, AFailedLoadIsReportedOnceAndStaysNext) {
    WriteFile("junk.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13});
    struct Bad {
        const char* name;
        const char* message;
        int systemErrors;  // per attempt
    };
    for (const Bad& bad : {Bad{"missing.tga", "ファイルを開けませんでした", 1},
                           Bad{"junk.png", "テクスチャのロードに失敗しました.", 0}}) {
        SCOPED_TRACE(bad.name);
        cache_ = std::make_unique<CProgressiveTextureCache>();
        EXPECT_NE(Get(bad.name), nullptr) << "a missing file is not noticed when asked for";
        CTexture* behind = Get("tex\\p1.png");
        RestartLog();
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                cache_->LoadNext();
                ADD_FAILURE() << "loaded";
            } catch (const EFileOpenError& e) {
                EXPECT_EQ(e.GetMessage().rfind(bad.message, 0), 0u) << e.GetMessage();
            }
        }
        EXPECT_EQ(log_->Count("ERROR: "), 2 * bad.systemErrors);
        EXPECT_EQ(log_->Count("Win32Error("), 2 * bad.systemErrors);
        EXPECT_EQ(log_->Lines().size(), 6u * bad.systemErrors) << "three lines to a system error, nothing else";
        EXPECT_FALSE(cache_->IsComplete());
        EXPECT_EQ(behind->GetTexture(), nullptr);
    }
    WriteFile("junk.png", FlatImage(2, 2));
    EXPECT_EQ(cache_->LoadNext(), 1);
    EXPECT_EQ(cache_->LoadNext(), 2);
}

TEST_F(ProgressiveTextureCacheTest, NoLoaderIsRefusedWhenAsked) {
    EXPECT_THROW(cache_->GetTexture(nullptr, std::string("tex\\p1.png"), false, std::string(), plat::Format::Unknown),
                 EInvalidParameter);
    EXPECT_EQ(cache_->GetQueuedCount(), 0);
    EXPECT_EQ(cache_->GetCount(), 0u);
}

// The queue holds its textures, so loading after Clear is safe; a later request makes a new entry.
TEST_F(ProgressiveTextureCacheTest, TheQueueOutlivesClear) {
    Get("tex\\p1.png");
    cache_->Clear();
    EXPECT_EQ(cache_->LoadNext(), 1);
    EXPECT_EQ(Get("tex\\p1.png")->GetTexture(), nullptr);
    EXPECT_EQ(cache_->GetQueuedCount(), 2);
}

}  // namespace
}  // namespace rendertest
