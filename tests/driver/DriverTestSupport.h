// Shared pieces of the driver tests: captured message boxes, an unattended dialog, fake devices that
// log what happens to them, scenes that log or fail, and the program entry as the driver expects it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app_framework/StandardScene.h"
#include "core/Exception.h"
#include "core/Log.h"
#include "devices/GameApplicationDriverDX9.h"
#include "platform/GraphicsFake.h"
#include "platform/MessageBox.h"
#include "platform/Window.h"
#include "tests/app_framework/TestSupport.h"

namespace drvtest {

using namespace trivale;

const char* const kTitle = "Driver Test";
const char* const kDialogVariable = "VELLACOR_DIALOG";
// Adapter 0, mode 0 (640 x 480), no multisampling, no anisotropy, windowed, 24 depth bits, no vsync.
const char* const kWindowedChoice = "0,0,0,0,1,24,0";
const char* const kFullScreenChoice = "0,0,0,0,0,24,0";

// Input that starts or fails as told, over no input system at all.
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

// Sound that starts or fails as told, without an audio device.
class FakeSound : public CDXSound {
public:
    explicit FakeSound(bool works) : works_(works) {}
    ~FakeSound() override { LogInfo("fake sound deleted"); }
    bool Initialize() override {
        LogInfo("fake sound initialize");
        ready_ = works_;
        return works_;
    }
    bool IsReady() override { return ready_; }

private:
    bool works_;
    bool ready_ = false;
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
    unsigned Seen() const { return seen_; }

    std::function<void(unsigned seen)> onFrame;
    bool finalizeFailure = false;

private:
    std::string name_;
    unsigned quitAfter_;
    unsigned seen_ = 0;
    bool posted_ = false;
};

// What the devices do in one run.
struct DeviceScript {
    bool graphicsObject = true;  // false: there is no graphics system
    int deviceFailures = 0;      // device creations that fail (each creation tries twice)
    bool input = true;
    bool sound = true;
};

ApplicationDeviceFactory MakeFactory(const DeviceScript& script, std::shared_ptr<plat::FakeGraphicsState> state);
std::shared_ptr<plat::FakeGraphicsState> MakeGraphicsState();

// The program entry as the driver expects it: create, configure, initialise, add the scenes, run,
// destroy; the exit code the program would end with.
struct EntrySteps {
    std::function<void(CGameApplicationDriverDX9&)> configure;
    std::function<void(CSceneManager&)> addScenes;
    std::function<void(CGameApplicationDriverDX9&)> beforeRun;
    std::function<void(CGameApplicationDriverDX9&)> afterRun;
    int frameRate = 500;
    bool initialized = false;  // out
};
int RunEntry(EntrySteps& steps);

// Every test starts with a scratch log, boxes captured, and the dialog answering on its own.
class DriverTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::vector<std::string> Lines() const { return log_->Lines(); }
    // A fresh log and no boxes, for the next run within one test.
    void Restart() {
        log_.reset();
        log_.reset(new fwtest::CapturedLog());
        boxes_.clear();
    }

    std::unique_ptr<fwtest::CapturedLog> log_;
    std::vector<plat::MessageBoxRequest> boxes_;
};

// Each line must match its pattern (a whole-line regular expression), in order, and nothing else.
void ExpectLinesMatch(const std::vector<std::string>& lines, const std::vector<std::string>& patterns);
// The patterns must match lines in this order, other lines in between allowed.
void ExpectSubsequence(const std::vector<std::string>& lines, const std::vector<std::string>& patterns);
// A whole-line pattern for a literal text.
std::string Literal(const std::string& text);

}  // namespace drvtest
