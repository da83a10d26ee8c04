// The dialog's remembered selection (its settings file) and its unattended value, against a record of
// adapters and modes shaped by the input.
#include <sys/stat.h>

#include <cstring>

#include "FuzzSupport.h"
#include "confdlg/SelectionStore.h"

using namespace trivale;
using namespace trivale::confdlg;

namespace {

CONFIG_INFO info;  // too large for the stack
DesktopSizes desktops;

void Shape(fuzz::Input& in) {
    std::memset(&info, 0, sizeof info);
    info.adapterCount = in.Byte() % 4;
    desktops.clear();
    for (std::uint32_t a = in.Byte() % 5; a > 0; --a)
        desktops.emplace_back(320u + 160u * (in.Byte() % 8), 200u + 120u * (in.Byte() % 8));
    for (std::uint32_t a = 0; a < info.adapterCount; ++a) {
        CONFIG_ADAPTER_INFO& adapter = info.adapters[a];
        std::snprintf(adapter.name, sizeof adapter.name, "adapter %c", 'A' + in.Byte() % 3);
        adapter.maxAnisotropy = in.Byte() % 20;
        adapter.modeCount = in.Byte() % 6;
        for (std::uint32_t m = 0; m < adapter.modeCount; ++m)
            adapter.modes[m] = {640u + 64u * (in.Byte() % 8), 480u + 48u * (in.Byte() % 8), (in.Byte() & 1) ? 32u : 16u,
                                60u * (in.Byte() % 3)};
        adapter.formatCount = 2;
        adapter.formats[0].bitsPerPixel = 32;
        adapter.formats[1].bitsPerPixel = 16;
        const std::uint8_t samples = in.Byte();
        for (int s = 2; s < 8; ++s) adapter.formats[0].multiSample[s] = (samples >> s) & 1;
    }
}

// What a fitted selection always is, whatever the file said.
void CheckFitted(const CONFIG_SELECTION& s) {
    if (info.adapterCount > 0) {
        FUZZ_CHECK(s.adapter >= 0 && static_cast<std::uint32_t>(s.adapter) < info.adapterCount);
        const CONFIG_ADAPTER_INFO& adapter = info.adapters[s.adapter];
        FUZZ_CHECK(s.mode >= 0 &&
                   (adapter.modeCount == 0 ? s.mode == 0 : static_cast<std::uint32_t>(s.mode) < adapter.modeCount));
        FUZZ_CHECK(s.anisotropy >= 0 && static_cast<std::uint32_t>(s.anisotropy) <= adapter.maxAnisotropy);
        // A window fits its desktop unless no size does.
        if (s.windowed != 0 && adapter.modeCount > 0 && static_cast<std::size_t>(s.adapter) < desktops.size()) {
            const auto& desktop = desktops[s.adapter];
            const auto fits = [&](const CONFIG_DISPLAY_MODE& m) {
                return m.width <= desktop.first && m.height <= desktop.second;
            };
            bool any = false;
            for (std::uint32_t m = 0; m < adapter.modeCount; ++m) any = any || fits(adapter.modes[m]);
            FUZZ_CHECK(fits(adapter.modes[s.mode]) || !any);
        }
        FUZZ_CHECK(s.multiSample == 0 ||
                   (adapter.modeCount > 0 && MultiSampleUsable(adapter, adapter.modes[s.mode], s.multiSample)));
    }
    FUZZ_CHECK(s.windowed == 0 || s.windowed == 1);
    FUZZ_CHECK(s.vsync == 0 || s.vsync == 1);
    FUZZ_CHECK(s.depthBits == 16 || s.depthBits == 24 || s.depthBits == 32);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("XDG_CONFIG_HOME", fuzz::ScratchDir().c_str(), 1);
    mkdir((fuzz::ScratchDir() + "/vellacor").c_str(), 0700);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    Shape(in);
    const std::string text = in.Rest();

    fuzz::WriteScratchFile("vellacor/dialog.conf", text);
    CONFIG_SELECTION selection;
    if (LoadPrevious(info, selection, desktops)) CheckFitted(selection);

    // The same bytes as the environment value, up to its first NUL as the environment would have it.
    CONFIG_SELECTION given = {-7, -7, -7, -7, -7, -7, -7};
    const UnattendedChoice choice = ParseUnattended(text.c_str(), given);
    if (choice == UnattendedChoice::Explicit) {
        const std::string problem = SelectionProblem(info, given);
        if (problem.empty()) {
            FUZZ_CHECK(static_cast<std::uint32_t>(given.adapter) < info.adapterCount);
            FUZZ_CHECK(static_cast<std::uint32_t>(given.mode) < info.adapters[given.adapter].modeCount);
        }
        FitSelection(info, given, desktops);
        CheckFitted(given);
    } else {
        FUZZ_CHECK(given.adapter == -7);
    }
    return 0;
}
