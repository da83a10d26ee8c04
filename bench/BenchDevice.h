// The graphics device the drawing benchmarks measure on: a window of its own under SDL's offscreen
// driver (unless the environment names another), no vertical sync.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/Graphics.h"
#include "platform/Window.h"

// A driver that draws through a display server (x11, wayland) has none to reach when neither DISPLAY
// nor WAYLAND_DISPLAY is set: that, not the device or the window, is then what is missing. Empty where
// a display was given or the driver needs none.
inline std::string NoDisplayGiven() {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    const std::string name = driver != nullptr ? driver : "offscreen";
    const auto given = [](const char* variable) {
        const char* value = std::getenv(variable);
        return value != nullptr && *value != '\0';
    };
    // SDL_VIDEODRIVER may list several drivers, tried in turn.
    bool needsDisplay = true;
    for (std::size_t at = 0; at <= name.size();) {
        const std::size_t end = std::min(name.find(',', at), name.size());
        std::string one = name.substr(at, end - at);
        for (char& c : one) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        needsDisplay = needsDisplay && (one == "x11" || one == "wayland");
        at = end + 1;
    }
    if (needsDisplay && !given("DISPLAY") && !given("WAYLAND_DISPLAY"))
        return "no display was given (neither DISPLAY nor WAYLAND_DISPLAY is set) for SDL's " + name + " video driver";
    return std::string();
}

// Why a graphics system, a window or a device (`what`) could not be made, for a target that could not be
// measured: names the video driver tried.
inline std::string NoDeviceReason(const std::string& what = "GL device") {
    std::string reason = NoDisplayGiven();
    if (reason.empty()) {
        const char* driver = std::getenv("SDL_VIDEODRIVER");
        reason = "no " + what + " under SDL's " + (driver != nullptr ? driver : "offscreen") + " video driver";
    }
    return reason;
}

// False when no device can be made; the members then hold whatever was made before the failure.
inline bool OpenBenchDevice(std::uint32_t side, bool depthBuffer, std::unique_ptr<plat::IGraphicsSystem>& system,
                            std::unique_ptr<plat::Window>& window, std::unique_ptr<plat::IGraphicsDevice>& device) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    system = plat::CreateGraphicsSystem();
    if (!system) return false;
    std::string error;
    window = plat::Window::Create("bench", static_cast<int>(side), static_cast<int>(side), &error);
    if (!window) return false;
    plat::PresentParameters p;
    p.backBufferWidth = p.backBufferHeight = side;
    p.windowed = true;
    p.enableAutoDepthStencil = depthBuffer;
    if (depthBuffer) p.autoDepthStencilFormat = plat::Format::Depth24X8;
    p.presentationInterval = plat::kPresentIntervalImmediate;
    p.deviceWindow = window.get();
    return system->CreateDevice(0, plat::DeviceType::Hardware, window.get(), 0, p, device) == plat::gfx::kOk;
}
