// The core layer of the driver on its own: log, window and a loop whose failures are all reported.
#include "tests/driver/DriverTestSupport.h"

#include "app_framework/GameApplicationDriver.h"

namespace drvtest {
namespace {

// An idle turn that fails in the way it was told to.
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

class CoreDriverTest : public DriverTest {
protected:
    void RunWith(int kind) {
        std::unique_ptr<CGameApplicationDriver> driver(new CGameApplicationDriver());
        EXPECT_TRUE(driver->Initialize());
        EXPECT_TRUE(driver->IsInitialized());
        driver->SetTitle("Core");
        EXPECT_EQ("Core", driver->GetWindow()->GetTitle());
        FailingIdle idle(kind);
        driver->GetApplication()->SetIdleListener(&idle);
        owner_ = driver->GetWindow()->GetHandle()->GetId();
        driver->Run();
        EXPECT_FALSE(driver->GetWindow()->IsShown());
        driver->GetApplication()->SetIdleListener(nullptr);
    }

    plat::WindowId owner_ = plat::kNoWindow;
};

TEST_F(CoreDriverTest, EndsNormallyOnQuit) {
    RunWith(3);
    EXPECT_TRUE(boxes_.empty());
    ExpectLinesMatch(Lines(), {
        "INFO: ---- \\[ driver_tests \\] Started ----",
        "INFO: Trivale Core library ver\\..*",
        Literal("INFO: Application driver running..."),
        Literal("INFO: Application driver running finished."),
        Literal("INFO: ---- Application finalized ----"),
    });
}

// Every failure out of the loop is reported with the window as owner; the window is hidden and the
// last line logged all the same.
void ExpectReported(const std::vector<plat::MessageBoxRequest>& boxes, plat::WindowId owner,
                    const std::vector<std::string>& lines, const std::string& text) {
    ASSERT_EQ(1u, boxes.size());
    EXPECT_NE(std::string::npos, boxes[0].text.find(text)) << boxes[0].text;
    EXPECT_EQ(owner, boxes[0].owner);
    ExpectSubsequence(lines, {
        Literal("INFO: Application driver running..."),
        ".*" + text + ".*",
        Literal("INFO: Application driver running finished."),
        Literal("INFO: ---- Application finalized ----"),
    });
}

TEST_F(CoreDriverTest, ReportsAnEngineFailure) {
    RunWith(0);
    ExpectReported(boxes_, owner_, Lines(), "engine failure");
}

TEST_F(CoreDriverTest, ReportsAStandardFailure) {
    RunWith(1);
    ExpectReported(boxes_, owner_, Lines(), "standard failure");
}

TEST_F(CoreDriverTest, ReportsAnUnknownFailure) {
    RunWith(2);
    ExpectReported(boxes_, owner_, Lines(), "Unknown Exception");
}

}  // namespace
}  // namespace drvtest
