// The progressive texture cache over the recording device: what is handed out, what is queued and
// when each texture is really created.
#include "benchmark/ProgressiveTextureCache.h"
#include "core/Exception.h"
#include "tests/render/RenderTestSupport.h"

namespace rendertest {
namespace {

using type_a::CTexture;

class ProgressiveTextureCacheTest : public RenderTest {
protected:
    void SetUp() override {
        StartDriver(Backend::Fake);
        for (int i = 1; i <= 3; ++i)
            WriteFile("tex/p" + std::to_string(i) + ".png", FlatImage(1 << (i - 1), 1));  // widths 1, 2, 4
    }
    void TearDown() override {
        cache_.reset();
        RenderTest::TearDown();
    }
    CTexture* Get(const char* name, const char* key = "") {
        return cache_->GetTexture(name, false, key, plat::Format::Unknown);
    }
    std::unique_ptr<type_a::CProgressiveTextureCache> cache_ = std::make_unique<type_a::CProgressiveTextureCache>();
};

// Every form of request queues an unloaded texture per key; LoadNext loads one per call, in order,
// without the size limit, and the queue keeps its textures through Clear. Off, the cache loads at once
// (LoadingScreenTest).
TEST_F(ProgressiveTextureCacheTest, LoadsOnePerCallInRequestOrder) {
    EXPECT_TRUE(cache_->IsComplete());
    EXPECT_EQ(cache_->LoadNext(), 0);
    cache_->SetOption(1);
    CTexture* queued[] = {Get("tex\\P2.png"), Get("tex\\p1.png", "mine")};
    EXPECT_EQ(Get("TEX\\p2.PNG"), queued[0]);
    EXPECT_EQ(Get("other", "mine"), queued[1]);
    cache_->PrecacheDirectory("tex", false, false, "#", plat::Format::Unknown);
    EXPECT_EQ(cache_->GetQueuedCount(), 5);
    EXPECT_EQ(queued[0]->GetTexture(), nullptr);
    cache_->Clear();
    std::vector<std::string> created;
    for (int n = 1; n <= 6; ++n) {
        EXPECT_EQ(cache_->IsComplete(), n == 6);
        EXPECT_EQ(cache_->LoadNext(), std::min(n, 5));
        for (const std::string& line : Journal("CreateTexture")) created.push_back(std::to_string(n) + line);
    }
    EXPECT_EQ(created, (std::vector<std::string>{
                           "1CreateTexture(2, 1, 1, Argb8888) = T1", "2CreateTexture(1, 1, 1, Argb8888) = T2",
                           "3CreateTexture(1, 1, 1, Argb8888) = T3", "4CreateTexture(2, 1, 1, Argb8888) = T4",
                           "5CreateTexture(4, 1, 1, Argb8888) = T5"}));
    EXPECT_EQ(queued[1]->GetWidth(), 1);
}

// A bad file shows at its turn, as its exception and no more in the log than the failure's own error
// block (the file stream's system error, the image's graphics error); it stays the next one. A missing
// loader is refused when asked.
TEST_F(ProgressiveTextureCacheTest, AFailedLoadIsReportedOnceAndStaysNext) {
    WriteFile("junk.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13});
    for (auto bad : {std::make_pair("missing.png", 3u), std::make_pair("junk.png", 3u)}) {
        cache_ = std::make_unique<type_a::CProgressiveTextureCache>();
        Get(bad.first);
        RestartLog();
        EXPECT_THROW(cache_->LoadNext(), EFileOpenError) << bad.first;
        EXPECT_THROW(cache_->LoadNext(), EFileOpenError) << bad.first;
        EXPECT_EQ(log_->Lines().size(), 2 * bad.second) << bad.first;
        EXPECT_FALSE(cache_->IsComplete());
    }
    EXPECT_THROW(cache_->GetTexture(nullptr, std::string("x"), false, "", plat::Format::Unknown), EInvalidParameter);
    EXPECT_EQ(cache_->GetQueuedCount(), 1);
}

}  // namespace
}  // namespace rendertest
