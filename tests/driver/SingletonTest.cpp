// The process-wide driver: made once, destroyed once, the banners of a run, and the fatal report.
#include "core/CommandLine.h"
#include "core/Log.h"
#include "core/Path.h"
#include "tests/driver/DriverTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace drvtest {
namespace {

class SingletonTest : public DriverTest {};

// The banners of a start are in the whole run's log (StartupTest); here what a second create and a
// second destroy do.
TEST_F(SingletonTest, MakesTheDriverOnceWithAHiddenWindowAndDestroysItOnce) {
    ASSERT_TRUE(CreateApplicationDriver());
    CGameApplicationDriverDX9* driver = GetApplicationDriver();
    EXPECT_FALSE(driver->GetWindow()->IsShown());
    // The close listener first, the driver last: the driver's answer decides.
    EXPECT_EQ(static_cast<IGameWindowListener*>(driver), driver->GetWindow()->GetListeners().back());
    // A second create keeps the first driver and logs the banner again.
    ASSERT_TRUE(CreateApplicationDriver());
    EXPECT_EQ(driver, GetApplicationDriver());
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(5u, lines.size());
    EXPECT_EQ(lines[3], lines[4]);
    DestroyApplicationDriver();
    EXPECT_EQ(nullptr, GetApplicationDriver());
    DestroyApplicationDriver();
    lines = Lines();
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "INFO: ---- Application finalized ----"));
    EXPECT_EQ("INFO: ---- Application finalized ----", lines.back());
}

TEST_F(SingletonTest, FatalReportHidesTheWindowLogsTheScenesAndMarksFailure) {
    ReportFatalException(EInvalidOperation(nullptr, "no driver"));  // still reported without a driver
    ASSERT_EQ(1u, boxes_.size());
    EXPECT_NE(std::string::npos, boxes_[0].text.find("no driver"));
    ASSERT_TRUE(CreateApplicationDriver());
    EXPECT_EQ(0, GetApplicationExitCode());  // a new driver starts with success
    Restart();
    CGameApplicationDriverDX9* driver = GetApplicationDriver();
    driver->SetDeviceFactory(MakeFactory(DeviceScript()));
    ASSERT_TRUE(driver->Initialize());
    driver->GetSceneManager()->AddScene(new LoggingScene(0x8000, "play"));
    driver->GetSceneManager()->OnFrame(1);
    ReportFatalException(std::runtime_error("standard text"));
    EXPECT_FALSE(driver->GetWindow()->IsShown());
    EXPECT_EQ(1, GetApplicationExitCode());
    ASSERT_EQ(1u, boxes_.size());
    EXPECT_EQ(plat::kNoWindow, boxes_[0].owner);
    ExpectLog(Lines(), {"ERROR: Exception occurred.", "INFO: < Scene list dump >", "^INFO: \t8000: .*LoggingScene",
                        "INFO: \t.", "^.*standard text.*"});
}

TEST_F(SingletonTest, AFailedLoaderChangeKeepsThePresentLoader) {
    ASSERT_TRUE(CreateApplicationDriver());
    CGameApplicationDriverDX9* driver = GetApplicationDriver();
    driver->UseFileSystem(ExtractFileDir(GetModuleFilePath()));
    IDataLoader* present = driver->GetDataLoader();
    ASSERT_NE(nullptr, present);
    EXPECT_THROW(driver->UseArchive(ExtractFileDir(GetModuleFilePath()) + "no-such-archive.tva"), EFileOpenError);
    EXPECT_EQ(present, driver->GetDataLoader());
    // Still usable: the program's own file is there.
    std::unique_ptr<IStream> stream(present->Open(ExtractFileName(GetModuleFilePath())));
    EXPECT_GT(stream->GetSize(), 0u);
}

// A run that cannot show anything says so and fails (1): SDL's offscreen driver is taken only when
// asked for by name. A driver that cannot be made for another reason (here its window's GL library)
// ends with 255. Each runs in a fresh process, where the video system has not been brought up yet.
TEST_F(SingletonTest, DriverThatCannotBeMadeEndsWith255) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct {
        const char* videoDriver;  // null: not set
        const char* eglLibrary;   // null: not set
        int exitCode;
        const char* said;
    } rows[] = {
        {nullptr, nullptr, 1, "cannot open a display: none of SDL's video drivers"},
        {"no-such-video-driver", nullptr, 1, "cannot open a display: the video driver \"no-such-video-driver\""},
        {"offscreen", "/no/such/libEGL.so", 255, "window: "},
    };
    for (const auto& row : rows) {
        EXPECT_EXIT(
            {
                ::unsetenv("DISPLAY");
                ::unsetenv("WAYLAND_DISPLAY");
                if (row.videoDriver)
                    ::setenv("SDL_VIDEODRIVER", row.videoDriver, 1);
                else
                    ::unsetenv("SDL_VIDEODRIVER");
                if (row.eglLibrary) ::setenv("SDL_VIDEO_EGL_DRIVER", row.eglLibrary, 1);
                EntrySteps steps;
                const int code = RunEntry(steps);
                // The log ends with why the run ended.
                const std::vector<std::string> lines = log_->Lines();
                const std::string last = lines.empty() ? std::string() : lines.back();
                const std::string ending = ": the program ends.";
                const bool reported = boxes_.size() == 1 && boxes_[0].owner == plat::kNoWindow &&
                                      boxes_[0].text.find(row.said) != std::string::npos &&
                                      last.find(row.said) != std::string::npos && last.size() > ending.size() &&
                                      last.compare(last.size() - ending.size(), ending.size(), ending) == 0 &&
                                      GetApplicationDriver() == nullptr;
                if (!reported) std::fprintf(stderr, "%s\n", log_->Text().c_str());
                log_.reset();  // _Exit skips every clean-up
                std::_Exit(reported ? code : 99);
            },
            ::testing::ExitedWithCode(row.exitCode), "")
            << (row.videoDriver ? row.videoDriver : "(unset)");
    }
}

}  // namespace
}  // namespace drvtest
