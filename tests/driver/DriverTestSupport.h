// Shared pieces of the driver tests: captured message boxes, an unattended dialog, fake devices that
// log what happens to them, a scene that logs or fails, and the program entry as the driver expects it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "app_framework/StandardScene.h"
#include "core/Exception.h"
#include "core/Log.h"
#include "devices/GameApplicationDriverDX9.h"
#include "platform/GraphicsFake.h"
#include "platform/MessageBox.h"
#include "tests/app_framework/TestSupport.h"

namespace drvtest {

using namespace trivale;

const char* const kTitle = "Driver Test";
const char* const kDialogVariable = "VELLACOR_DIALOG";
// Adapter 0, mode 0 (640 x 480), no multisampling, no anisotropy, windowed or not, 24 depth bits, no vsync.
const char* const kWindowedChoice = "0,0,0,0,1,24,0";
const char* const kFullScreenChoice = "0,0,0,0,0,24,0";

// The dialog module remembers selections in the user's configuration folder: tests use their own.
class ScratchConfig : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("tvdrv-config-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
        ::setenv("SDL_AUDIODRIVER", "dummy", 0);  // in case the runner's environment arrives cut short
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

inline ::testing::Environment* const scratchConfig = ::testing::AddGlobalTestEnvironment(new ScratchConfig);
inline ::testing::Environment* const keepVideo = ::testing::AddGlobalTestEnvironment(new KeepVideoOutsideDeathTests);

// Input and sound that start or fail as told, with no system device behind them.
class FakeInput : public CDXInput {
public:
    FakeInput(plat::Window* window, bool works) : CDXInput(window), works_(works) {}
    ~FakeInput() override { LogInfo("fake input deleted"); }
    bool Initialize() override {
        LogInfo("fake input initialize");
        return works_;
    }

private:
    bool works_;
};

class FakeSound : public CDXSound {
public:
    explicit FakeSound(bool works) : works_(works) {}
    ~FakeSound() override { LogInfo("fake sound deleted"); }
    bool Initialize() override {
        LogInfo("fake sound initialize");
        return ready_ = works_;
    }
    bool IsReady() override { return ready_; }

private:
    bool works_, ready_ = false;
};

// A scene that logs each step and counts its frames; it posts the quit once it has seen enough.
class LoggingScene : public CStandardScene {
public:
    LoggingScene(std::uint16_t priority, const std::string& name, unsigned quitAfter = 0)
        : CStandardScene(priority), name_(name), quitAfter_(quitAfter) {}
    void Initialize() override { LogInfo("%s initialize", name_.c_str()); }
    void OnDeviceReset() override { LogInfo("%s device reset", name_.c_str()); }
    void Frame(unsigned frames) override {
        seen_ += frames;
        if (onFrame) onFrame(seen_);
        if (quitAfter_ != 0 && seen_ >= quitAfter_ && !posted_) {
            posted_ = true;
            LogInfo("%s posts quit", name_.c_str());
            plat::PostQuit(0);
        }
    }
    void Finalize() override {
        LogInfo("%s finalize", name_.c_str());
        if (finalizeFailure) throw EInvalidOperation(this, "Finalize(): scene failure");
    }

    std::function<void(unsigned seen)> onFrame;
    bool finalizeFailure = false;

private:
    std::string name_;
    unsigned quitAfter_, seen_ = 0;
    bool posted_ = false;
};

// What the devices do in one run.
struct DeviceScript {
    bool graphicsObject = true;  // false: there is no graphics system
    int deviceFailures = 0;      // device creations that fail (each creation tries twice)
    bool input = true;
    bool sound = true;
};

inline std::shared_ptr<plat::FakeGraphicsState> MakeGraphicsState(bool adapter = true) {
    std::shared_ptr<plat::FakeGraphicsState> state = std::make_shared<plat::FakeGraphicsState>();
    if (adapter) state->adapters.push_back(plat::MakeFakeAdapter("Fake adapter"));
    return state;
}

inline ApplicationDeviceFactory MakeFactory(const DeviceScript& script,
                                            std::shared_ptr<plat::FakeGraphicsState> state = MakeGraphicsState()) {
    ApplicationDeviceFactory factory;
    state->createFailures = script.deviceFailures;
    factory.graphics = [script, state]() {
        return std::make_unique<CDXGraphics>(script.graphicsObject ? plat::CreateFakeGraphicsSystem(state) : nullptr);
    };
    factory.input = [script](plat::Window* window) { return std::make_unique<FakeInput>(window, script.input); };
    factory.sound = [script]() { return std::make_unique<FakeSound>(script.sound); };
    return factory;
}

// The program entry as the driver expects it: create, configure, initialise, add the scenes, run,
// destroy; the exit code the program would end with.
struct EntrySteps {
    std::function<void(CGameApplicationDriverDX9&)> configure, beforeRun, afterRun;
    std::function<void(CSceneManager&)> addScenes;
    int frameRate = 500;
    bool initialized = false;  // out
};

inline int RunEntry(EntrySteps& steps) {
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
    } catch (const std::exception& e) {
        ReportFatalException(e);
    }
    DestroyApplicationDriver();
    return GetApplicationExitCode();
}

// Every test starts with a scratch log, boxes captured, and the dialog answering on its own.
class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetMessageBoxHook([this](const plat::MessageBoxRequest& box) { boxes_.push_back(box); });
        ::setenv(kDialogVariable, kWindowedChoice, 1);
        Restart();
    }
    void TearDown() override {
        DestroyApplicationDriver();
        log_.reset();
        plat::SetMessageBoxHook(plat::MessageBoxHook());
        ::unsetenv(kDialogVariable);
    }
    // A fresh log and no boxes, for the next run within one test.
    void Restart() {
        log_.reset();
        log_.reset(new fwtest::CapturedLog());
        boxes_.clear();
    }
    std::vector<std::string> Lines() const { return log_->Lines(); }
    // The one box of the run.
    void ExpectBox(const std::string& text, plat::MessageBoxKind kind = plat::MessageBoxKind::Error) {
        ASSERT_EQ(1u, boxes_.size());
        EXPECT_NE(std::string::npos, boxes_[0].text.find(text)) << boxes_[0].text;
        EXPECT_EQ(kind, boxes_[0].kind);
    }

    std::unique_ptr<fwtest::CapturedLog> log_;
    std::vector<plat::MessageBoxRequest> boxes_;
};

// The log must hold lines matching the patterns in this order, other lines between. A pattern that
// starts with '^' is a regular expression for the whole line; any other is the line's literal text.
inline void ExpectLog(const std::vector<std::string>& lines, const std::vector<std::string>& patterns) {
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    std::size_t at = 0;
    for (const std::string& pattern : patterns) {
        auto matches = [&](const std::string& line) {
            return pattern[0] == '^' ? std::regex_match(line, std::regex(pattern.substr(1))) : line == pattern;
        };
        while (at < lines.size() && !matches(lines[at])) ++at;
        ASSERT_TRUE(at < lines.size() && matches(lines[at])) << "no line '" << pattern << "' in order\n" << all;
        ++at;
    }
}

}  // namespace drvtest
