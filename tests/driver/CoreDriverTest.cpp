// The core layer of the driver on its own: log, window and a loop whose failures are all reported.
#include "tests/driver/DriverTestSupport.h"

#include "app_framework/GameApplicationDriver.h"

namespace drvtest {
namespace {

// An idle turn that fails as it was told to.
struct FailingIdle : IGameApplicationListener {
    int kind = 0;
    void OnIdle() override {
        if (kind == 0) throw EInvalidOperation(nullptr, "engine failure");
        if (kind == 1) throw std::runtime_error("standard failure");
        throw 42;
    }
};

class CoreDriverTest : public DriverTest {};

// Every failure out of the loop is reported with the window as owner; the window is hidden and the
// last line logged all the same.
TEST_F(CoreDriverTest, ReportsEveryFailureOutOfTheLoop) {
    const char* const texts[] = {"engine failure", "standard failure", "Unknown Exception"};
    for (int kind = 0; kind < 3; ++kind) {
        Restart();
        std::unique_ptr<CGameApplicationDriver> driver(new CGameApplicationDriver());
        EXPECT_TRUE(driver->Initialize());
        FailingIdle idle;
        idle.kind = kind;
        driver->GetApplication()->SetIdleListener(&idle);
        const plat::WindowId owner = driver->GetWindow()->GetHandle()->GetId();
        driver->Run();
        EXPECT_FALSE(driver->GetWindow()->IsShown());
        driver.reset();
        std::vector<std::string> log = {"INFO: Application driver running...",
                                        "INFO: Application driver running finished.",
                                        "INFO: ---- Application finalized ----"};
        ASSERT_EQ(1u, boxes_.size());
        EXPECT_NE(std::string::npos, boxes_[0].text.find(texts[kind])) << boxes_[0].text;
        EXPECT_EQ(owner, boxes_[0].owner);
        log.insert(log.begin() + 1, std::string("^.*") + texts[kind] + ".*");
        ExpectLog(Lines(), log);
    }
}

}  // namespace
}  // namespace drvtest
