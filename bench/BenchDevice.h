// The graphics device the drawing benchmarks measure on: a window of its own under SDL's offscreen
// driver (unless the environment names another), no vertical sync.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/Graphics.h"
#include "platform/Window.h"

// Why no device could be made, for a target that could not be measured: names the video driver tried.
inline std::string NoDeviceReason() {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    return std::string("no GL device under SDL's ") + (driver != nullptr ? driver : "offscreen") + " video driver";
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
