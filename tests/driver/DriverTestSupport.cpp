#include "tests/driver/DriverTestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <regex>

namespace drvtest {

namespace {

// The dialog module remembers selections in the user's configuration folder: tests use their own.
class ScratchConfig : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("tvdrv-config-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
        // The test runner's environment list may arrive cut short: make sure of the audio driver.
        ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

private:
    std::filesystem::path dir_;
};

// The video system stays up for the whole run, except in the fresh process of a death test, which
// must find it down.
class KeepVideoOutsideDeathTests : public fwtest::KeepVideo {
public:
    void SetUp() override {
        if (GTEST_FLAG_GET(internal_run_death_test).empty()) fwtest::KeepVideo::SetUp();
    }
};

::testing::Environment* const scratchConfig = ::testing::AddGlobalTestEnvironment(new ScratchConfig);
::testing::Environment* const keepVideo = ::testing::AddGlobalTestEnvironment(new KeepVideoOutsideDeathTests);

}  // namespace

std::shared_ptr<plat::FakeGraphicsState> MakeGraphicsState() {
    std::shared_ptr<plat::FakeGraphicsState> state = std::make_shared<plat::FakeGraphicsState>();
    state->adapters.push_back(plat::MakeFakeAdapter("Fake adapter"));
    return state;
}

ApplicationDeviceFactory MakeFactory(const DeviceScript& script, std::shared_ptr<plat::FakeGraphicsState> state) {
    ApplicationDeviceFactory factory;
    state->createFailures = script.deviceFailures;
    const bool graphicsObject = script.graphicsObject;
    factory.graphics = [graphicsObject, state]() {
        return new CDXGraphics(graphicsObject ? plat::CreateFakeGraphicsSystem(state)
                                              : std::unique_ptr<plat::IGraphicsSystem>());
    };
    const bool input = script.input;
    factory.input = [input](plat::Window* window) { return new FakeInput(window, input); };
    const bool sound = script.sound;
    factory.sound = [sound]() { return new FakeSound(sound); };
    return factory;
}

int RunEntry(EntrySteps& steps) {
    if (!CreateApplicationDriver()) return GetApplicationExitCode();
    try {
        CGameApplicationDriverDX9* driver = GetApplicationDriver();
        driver->SetTitle(kTitle);
        if (steps.configure) steps.configure(*driver);
        steps.initialized = driver->Initialize();
        if (steps.initialized) {
            if (steps.addScenes) steps.addScenes(*driver->GetSceneManager());
            driver->GetFrameRateKeeper()->SetFrameRate(steps.frameRate);
            if (steps.beforeRun) steps.beforeRun(*driver);
            driver->Run();
            if (steps.afterRun) steps.afterRun(*driver);
        }
    } catch (const EException& e) {
        ReportFatalException(e);
    } catch (const std::exception& e) {
        ReportFatalException(e);
    }
    DestroyApplicationDriver();
    return GetApplicationExitCode();
}

void DriverTest::SetUp() {
    boxes_.clear();
    plat::SetMessageBoxHook([this](const plat::MessageBoxRequest& box) { boxes_.push_back(box); });
    ::setenv(kDialogVariable, kWindowedChoice, 1);
    log_.reset(new fwtest::CapturedLog());
}

void DriverTest::TearDown() {
    DestroyApplicationDriver();
    log_.reset();
    plat::SetMessageBoxHook(plat::MessageBoxHook());
    ::unsetenv(kDialogVariable);
}

std::string Literal(const std::string& text) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

void ExpectLinesMatch(const std::vector<std::string>& lines, const std::vector<std::string>& patterns) {
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    ASSERT_EQ(lines.size(), patterns.size()) << all;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(std::regex_match(lines[i], std::regex(patterns[i])))
            << "line " << i << ": '" << lines[i] << "' does not match '" << patterns[i] << "'\n" << all;
    }
}

void ExpectSubsequence(const std::vector<std::string>& lines, const std::vector<std::string>& patterns) {
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    std::size_t at = 0;
    for (const std::string& pattern : patterns) {
        const std::regex re(pattern);
        while (at < lines.size() && !std::regex_match(lines[at], re)) ++at;
        ASSERT_LT(at, lines.size()) << "no line matching '" << pattern << "' in order\n" << all;
        ++at;
    }
}

}  // namespace drvtest
