// Shared pieces of the input tests: a captured log, a scripted input system, and the video system
// kept up for the whole run.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/Log.h"
#include "platform/Input.h"

namespace intest {

class CapturedLog {
public:
    CapturedLog() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tvinput-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        int fd = mkstemp(buffer.data());
        if (fd >= 0) close(fd);
        path_ = buffer.data();
        trivale::CloseLogFile();
        trivale::OpenLogFileAt(path_);
    }
    ~CapturedLog() {
        trivale::CloseLogFile();
        std::remove(path_.c_str());
    }
    std::string Text() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    int Count(const std::string& what) const {
        const std::string text = Text();
        int n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }

private:
    std::string path_;
};

// The video system and its GL library stay loaded for the whole run, so that the leak checker can
// name what the system libraries keep.
class KeepVideo : public ::testing::Environment {
public:
    void SetUp() override {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) SDL_GL_LoadLibrary(nullptr);
    }
};

// What the scripted devices report; the test changes it between updates.
struct FakeWorld {
    std::uint8_t keys[256] = {};
    plat::JoystickState joystick;
    plat::InputResult keyboardRead = plat::InputResult::Ok;
    plat::InputResult keyboardAcquire = plat::InputResult::Ok;
    plat::InputResult joystickPoll = plat::InputResult::Ok;
    plat::InputResult joystickAcquire = plat::InputResult::Ok;
    plat::InputResult enumerate = plat::InputResult::Ok;
    std::vector<plat::GameControllerInfo> controllers;
    std::string failStep;  // "create", "level", "format", "axismode", "axes", "range"
    std::vector<std::pair<int, int>> ranges;
    unsigned keyboardFlags = 0, joystickFlags = 0;

    plat::InputResult Step(const char* step) const {
        return failStep == step ? plat::InputResult::InvalidParameter : plat::InputResult::Ok;
    }
};

class FakeKeyboard : public plat::KeyboardDevice {
public:
    explicit FakeKeyboard(FakeWorld* w) : w_(w) {}
    plat::InputResult SetCooperativeLevel(plat::Window*, unsigned flags) override {
        w_->keyboardFlags = flags;
        return w_->Step("level");
    }
    plat::InputResult SetDataFormat() override { return w_->Step("format"); }
    plat::InputResult Acquire() override { return w_->keyboardAcquire; }
    plat::InputResult GetDeviceState(std::uint8_t (&keys)[256]) override {
        if (w_->keyboardRead != plat::InputResult::Ok) return w_->keyboardRead;
        std::memcpy(keys, w_->keys, 256);
        return plat::InputResult::Ok;
    }

private:
    FakeWorld* w_;
};

class FakeJoystick : public plat::JoystickDevice {
public:
    explicit FakeJoystick(FakeWorld* w) : w_(w) {}
    plat::InputResult SetCooperativeLevel(plat::Window*, unsigned flags) override {
        w_->joystickFlags = flags;
        return w_->Step("level");
    }
    plat::InputResult SetDataFormat() override { return w_->Step("format"); }
    plat::InputResult SetAxisModeAbsolute() override { return w_->Step("axismode"); }
    plat::InputResult EnumAxes(std::vector<int>* axes) override {
        *axes = {0, 1, 2};
        return w_->Step("axes");
    }
    plat::InputResult SetAxisRange(int, int minimum, int maximum) override {
        w_->ranges.push_back({minimum, maximum});
        return w_->Step("range");
    }
    plat::InputResult Acquire() override { return w_->joystickAcquire; }
    plat::InputResult Poll() override { return w_->joystickPoll; }
    plat::InputResult GetDeviceState(plat::JoystickState* state) override {
        if (w_->joystickPoll != plat::InputResult::Ok) return plat::InputResult::NotAcquired;
        *state = w_->joystick;
        return plat::InputResult::Ok;
    }

private:
    FakeWorld* w_;
};

class FakeSystem : public plat::InputSystem {
public:
    explicit FakeSystem(FakeWorld* w) : w_(w) {}
    plat::InputResult EnumGameControllers(std::vector<plat::GameControllerInfo>* controllers) override {
        *controllers = w_->controllers;
        return w_->enumerate;
    }
    std::unique_ptr<plat::KeyboardDevice> CreateKeyboard(plat::InputResult* result) override {
        *result = w_->Step("create");
        if (*result != plat::InputResult::Ok) return nullptr;
        return std::unique_ptr<plat::KeyboardDevice>(new FakeKeyboard(w_));
    }
    std::unique_ptr<plat::JoystickDevice> CreateJoystick(int, plat::InputResult* result) override {
        *result = w_->Step("create");
        if (*result != plat::InputResult::Ok) return nullptr;
        return std::unique_ptr<plat::JoystickDevice>(new FakeJoystick(w_));
    }

private:
    FakeWorld* w_;
};

}  // namespace intest
