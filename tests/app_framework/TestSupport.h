// Shared pieces of the framework, input and driver tests: a captured log, injected window and key
// events, and a video system kept up for the whole run.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app_framework/GameWindow.h"
#include "core/Log.h"
#include "platform/Window.h"

namespace fwtest {

// Routes the log into a scratch file of its own for the life of the object.
class CapturedLog {
public:
    CapturedLog() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tvfw-XXXXXX").string();
        const int fd = mkstemp(&pattern[0]);
        if (fd >= 0) close(fd);
        path_ = pattern;
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
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::istringstream in(Text());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
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

// The video system and its GL library stay loaded for the whole run: the leak checker can name (and
// so pass over) what the system libraries keep only while they are still mapped.
class KeepVideo : public ::testing::Environment {
public:
    void SetUp() override {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) SDL_GL_LoadLibrary(nullptr);
    }
};

inline void PushWindowEvent(plat::WindowId id, Uint8 which) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = id;
    e.window.event = which;
    SDL_PushEvent(&e);
}

inline void PushKey(plat::WindowId id, int scancode, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = id;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = static_cast<SDL_Scancode>(scancode);
    SDL_PushEvent(&e);
}

// Dispatches every waiting event, as the message loop does between idle turns.
inline void Pump() {
    plat::Event event;
    while (plat::PollEvent(&event)) {
        if (event.type != plat::EventType::Quit) trivale::DispatchWindowEvent(event);
    }
}

}  // namespace fwtest
