#pragma once
// A scripted stand-in for the graphics system and device, for tests without GL: adapters, modes and
// multisample support are set by the test, failures are queued, and every call is journalled: drawing
// calls with their arguments, one line each ("SetRenderState(ZEnable, 1)", "SetTexture(0, T1)",
// "DrawIndexedPrimitive(TriangleList, 0, 0, 24, 0, 12)"), resources named T<n>, VB<n>, IB<n> in order of
// creation. States are kept, so reading them back works; it draws nothing, and read-back returns the
// last clear colour. Test hooks: platform/GraphicsTestHooks.h.

#include <memory>
#include <string>
#include <vector>

#include "platform/Graphics.h"

namespace plat {

struct FakeAdapter {
    std::string description = "Fake adapter";
    bool capsFail = false;              // the caps query fails, so the adapter is skipped
    DeviceCaps caps;                    // maxAnisotropy 16 unless set
    std::vector<AdapterMode> modes[3];  // 32, 16 and 15-bit modes
    bool samples[4][17] = {};           // [32/16/15-bit colour, 16-bit depth][sample count]
    bool samplesWindowed[4][17] = {};   // the same, for a window; empty means "as full screen"
    bool separateWindowedSamples = false;
};

struct FakeGraphicsState {
    std::vector<FakeAdapter> adapters;
    int createFailures = 0;  // the next CreateDevice calls that fail
    int resetFailures = 0;   // the next Reset calls that fail
    int deviceCount = 0;     // devices alive
    std::vector<std::string> journal;
    std::vector<std::string> fallbackNotes;  // handed out by the next device's TakeFallbackNotes
    PresentParameters lastParameters;        // of the last successful create or reset
    uint32_t clearColour = 0;
    uint32_t freeVideoMemory = 0;  // what GetAvailableTextureMem answers
};

std::unique_ptr<IGraphicsSystem> CreateFakeGraphicsSystem(std::shared_ptr<FakeGraphicsState> state);

// An adapter with one 640 x 480 mode per format, anisotropy 16 and 4-sample support.
FakeAdapter MakeFakeAdapter(const std::string& description);

}  // namespace plat
