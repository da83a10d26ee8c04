// Stand-ins for the configuration-dialog module, one build per behaviour (see CMakeLists.txt).
// FAKE_CONFDLG_SELECTION and FAKE_CONFDLG_PREVIOUS give the selections as seven comma-separated
// numbers; FakeConfDlgState lets tests see what the program handed over.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/graphics/fakes/FakeConfDlg.h"

#ifndef FAKE_VERSION
#define FAKE_VERSION 3
#endif

using trivale::CONFIG_INFO;
using trivale::CONFIG_SELECTION;

namespace {

FakeConfDlgState g_state;
trivale::ConfigImageLookup g_lookup = nullptr;
trivale::ConfigDisplayLookup g_displays = nullptr;

int Fill(const char* variable, const CONFIG_INFO* info, CONFIG_SELECTION* selection) {
    std::memcpy(&g_state.lastInfo, info, sizeof(CONFIG_INFO));
    if (g_lookup != nullptr && info->banner != 0) {
        trivale::CONFIG_IMAGE image = {0, 0, nullptr};
        if (g_lookup(info->banner, &image) != 0) g_state.bannerWidth = image.width;
    }
    for (uint32_t a = 0; a <= trivale::kConfigMaxAdapters; ++a)
        g_state.displays[a] = g_displays != nullptr ? g_displays(a) : -2;
    const char* text = std::getenv(variable);
    int32_t* f = &selection->adapter;
    if (text == nullptr ||
        std::sscanf(text, "%d,%d,%d,%d,%d,%d,%d", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6]) != 7) {
        const CONFIG_SELECTION fallback = {0, 0, 0, 0, 1, 24, 0};
        *selection = fallback;
    }
    return 1;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) FakeConfDlgState* FakeConfDlgGetState(void) { return &g_state; }

__attribute__((visibility("default"))) int ConfDlgGetVersion(void) { return FAKE_VERSION; }

__attribute__((visibility("default"))) void ConfDlgSetImageLookup(trivale::ConfigImageLookup lookup) {
    g_lookup = lookup;
}

__attribute__((visibility("default"))) void ConfDlgSetDisplayLookup(trivale::ConfigDisplayLookup lookup) {
    g_displays = lookup;
}

__attribute__((visibility("default"))) int ShowConfigDialog(const CONFIG_INFO* info, CONFIG_SELECTION* selection) {
    return Fill("FAKE_CONFDLG_SELECTION", info, selection);
}

#ifndef FAKE_NO_PREVIOUS
__attribute__((visibility("default"))) int GetPreviousConfig(const CONFIG_INFO* info, CONFIG_SELECTION* selection) {
    Fill("FAKE_CONFDLG_PREVIOUS", info, selection);
    return 0;  // the program must not rely on it
}
#endif
}
