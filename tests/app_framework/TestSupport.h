// Shared pieces of the framework, input and driver tests: a captured log, injected window and key
// events, and a video system kept up for the whole run.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app_framework/GameWindow.h"
#include "core/Log.h"
#include "platform/Window.h"
#include "tests/core/TestUtil.h"

namespace fwtest {

using tvtest::CapturedLog;

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
