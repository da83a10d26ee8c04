// The core layer of the driver on its own: log, window and a loop whose failures are all reported.
#include "tests/driver/DriverTestSupport.h"

#include "app_framework/GameApplicationDriver.h"

namespace drvtest {
namespace {

// An idle turn that ends the loop or fails as it was told to.
class FailingIdle : public IGameApplicationListener {
public:
    explicit FailingIdle(int kind) : kind_(kind) {}
    void OnIdle() override {
        if (kind_ == 0) throw EInvalidOperation(nullptr, "engine failure");
        if (kind_ == 1) throw std::runtime_error("standard failure");
        if (kind_ == 2) throw 42;
        plat::PostQuit(0);
    }

private:
    int kind_;
};

class CoreDriverTest : public DriverTest {};

// Every failure out of the loop is reported with the window as owner; the window is hidden and the
// last line logged all the same.
TEST_F(CoreDriverTest, RunsUntilTheQuitAndReportsEveryFailureOutOfTheLoop) {
    const char* const texts[] = {"engine failure", "standard failure", "Unknown Exception", nullptr};
    for (int kind = 0; kind < 4; ++kind) {
        Restart();
        std::unique_ptr<CGameApplicationDriver> driver(new CGameApplicationDriver());
        EXPECT_TRUE(driver->Initialize());
        EXPECT_TRUE(driver->IsInitialized());
        driver->SetTitle("Core");
        EXPECT_EQ("Core", driver->GetWindow()->GetTitle());
        FailingIdle idle(kind);
        driver->GetApplication()->SetIdleListener(&idle);
        const plat::WindowId owner = driver->GetWindow()->GetHandle()->GetId();
        driver->Run();
        EXPECT_FALSE(driver->GetWindow()->IsShown());
        driver.reset();
        if (texts[kind] == nullptr) {
            EXPECT_TRUE(boxes_.empty());
            ExpectLinesMatch(Lines(), {"INFO: ---- \\[ driver_tests \\] Started ----", "INFO: Trivale Core library ver\\..*",
                                       Literal("INFO: Application driver running..."),
                                       Literal("INFO: Application driver running finished."),
                                       Literal("INFO: ---- Application finalized ----")});
            continue;
        }
        ASSERT_EQ(1u, boxes_.size());
        EXPECT_NE(std::string::npos, boxes_[0].text.find(texts[kind])) << boxes_[0].text;
        EXPECT_EQ(owner, boxes_[0].owner);
        ExpectSubsequence(Lines(), {Literal("INFO: Application driver running..."), std::string(".*") + texts[kind] + ".*",
                                    Literal("INFO: Application driver running finished."),
                                    Literal("INFO: ---- Application finalized ----")});
    }
}

}  // namespace
}  // namespace drvtest
