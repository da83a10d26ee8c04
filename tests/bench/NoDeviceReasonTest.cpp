#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "bench/BenchDevice.h"

namespace {

// A benchmark that finds no device says what was missing: a display for a driver that needs one is
// not a device that failed.
TEST(NoDeviceReason, SaysNoDisplayWasGivenOnlyWhenTheDriverNeedsOneAndNoneIsSet) {
    const struct {
        const char* driver;  // SDL_VIDEODRIVER, unset when null
        const char* display;
        const char* wayland;
        const char* expected;
    } cases[] = {
        {"x11", nullptr, nullptr,
         "no display was given (neither DISPLAY nor WAYLAND_DISPLAY is set) for SDL's x11 video driver"},
        {"x11", "", "", "no display was given (neither DISPLAY nor WAYLAND_DISPLAY is set) for SDL's x11 video driver"},
        {"X11,wayland", nullptr, nullptr,
         "no display was given (neither DISPLAY nor WAYLAND_DISPLAY is set) for SDL's X11,wayland video driver"},
        {"x11", ":85", nullptr, "no GL device under SDL's x11 video driver"},
        {"wayland", nullptr, "wayland-0", "no GL device under SDL's wayland video driver"},
        {"offscreen", nullptr, nullptr, "no GL device under SDL's offscreen video driver"},
        {"x11,offscreen", nullptr, nullptr, "no GL device under SDL's x11,offscreen video driver"},
        {nullptr, nullptr, nullptr, "no GL device under SDL's offscreen video driver"},
    };
    for (const auto& c : cases) {
        const auto set = [](const char* name, const char* value) {
            if (value)
                setenv(name, value, 1);
            else
                unsetenv(name);
        };
        set("SDL_VIDEODRIVER", c.driver);
        set("DISPLAY", c.display);
        set("WAYLAND_DISPLAY", c.wayland);
        EXPECT_EQ(NoDeviceReason(), c.expected) << (c.driver ? c.driver : "(unset)");
        // A graphics system or a window that could not be made is told the same way.
        std::string window = c.expected;
        if (window.rfind("no GL device", 0) == 0) window.replace(3, 9, "window");
        EXPECT_EQ(NoDeviceReason("window"), window) << (c.driver ? c.driver : "(unset)");
    }
    unsetenv("SDL_VIDEODRIVER");
}

}  // namespace
