#pragma once
// Platform-internal: the desktop's display mode as the first full-screen instance on the display found
// it, so that instances started while another is full screen put the desktop's mode back, not its.

#include <SDL.h>

#include <string>

namespace plat {

// The record's file for the X display in the environment; empty without one.
std::string DesktopRecordPath();

class DesktopMode {
public:
    DesktopMode();
    ~DesktopMode();
    DesktopMode(const DesktopMode&) = delete;
    DesktopMode& operator=(const DesktopMode&) = delete;

    // Before the display's mode is changed: the desktop's mode, from the record of an instance still
    // running that changed it first, else the display's (recorded for the others).
    SDL_DisplayMode Take(int display);
    // After SDL has put its own idea of the desktop's mode back: the desktop's, where the display is in
    // another (unless the instance that changed it first still runs).
    void PutBack(SDL_Window* window);

private:
    std::string path_;
    SDL_DisplayMode mode_{};
    bool known_ = false;
    bool owner_ = false;
};

}  // namespace plat
