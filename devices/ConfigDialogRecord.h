#pragma once
// The record the program hands to the configuration-dialog module and the selection it gets back.
// The module is built on its own and loaded at run time, so the layout is fixed byte for byte
// (little-endian, no gaps); every offset is checked below.

#include <cstddef>
#include <cstdint>

namespace trivale {

const int kConfigTitleSize = 64;
const int kConfigNameSize = 64;
const int kConfigMaxAdapters = 8;
const int kConfigMaxModes = 1024;
const int kConfigFormatCount = 3;  // 32, 16 and 15 bits per pixel, in this order
const int kConfigFormatSlots = 4;  // the fourth slot stays zero
const int kConfigMultiSampleSlots = 16;

// The interface version the program accepts.
const int kConfigDialogVersion = 3;

// ShowConfigDialog's result when it ends without a selection for a reason other than a cancel (an
// unusable unattended selection, no display for the dialog); the module's optional
// ConfDlgGetLastError export then says why.
const int kConfigDialogFailed = -1;

struct CONFIG_DISPLAY_MODE {
    uint32_t width;
    uint32_t height;
    uint32_t bitsPerPixel;  // 32, 16 or 15
    uint32_t refreshRate;   // Hz, 0 when the display does not say
};

struct CONFIG_FORMAT_INFO {
    uint32_t bitsPerPixel;
    uint8_t multiSample[kConfigMultiSampleSlots];  // 1 where that sample count is usable; 0 and 1 stay 0
};

struct CONFIG_ADAPTER_INFO {
    char name[kConfigNameSize];  // always zero-terminated
    uint32_t maxAnisotropy;
    uint32_t modeCount;
    CONFIG_DISPLAY_MODE modes[kConfigMaxModes];
    uint32_t formatCount;
    CONFIG_FORMAT_INFO formats[kConfigFormatSlots];
};

struct CONFIG_INFO {
    char title[kConfigTitleSize];  // UTF-8, always zero-terminated
    uint32_t icon;                 // image id for the dialog's image lookup, 0 when none
    uint32_t banner;               // image id for the dialog's image lookup, 0 when none
    uint32_t adapterCount;
    CONFIG_ADAPTER_INFO adapters[kConfigMaxAdapters];
};

struct CONFIG_SELECTION {
    int32_t adapter;      // index into adapters
    int32_t mode;         // index into that adapter's modes
    int32_t multiSample;  // sample count, 0 for none
    int32_t anisotropy;
    int32_t windowed;   // non-zero for a window
    int32_t depthBits;  // 16, 24 or 32
    int32_t vsync;      // non-zero on
};

static_assert(sizeof(CONFIG_DISPLAY_MODE) == 16, "display mode record");
static_assert(sizeof(CONFIG_FORMAT_INFO) == 20, "format record");
static_assert(offsetof(CONFIG_FORMAT_INFO, multiSample) == 4, "format record");
static_assert(sizeof(CONFIG_ADAPTER_INFO) == 16540, "adapter record");
static_assert(offsetof(CONFIG_ADAPTER_INFO, name) == 0, "adapter record");
static_assert(offsetof(CONFIG_ADAPTER_INFO, maxAnisotropy) == 64, "adapter record");
static_assert(offsetof(CONFIG_ADAPTER_INFO, modeCount) == 68, "adapter record");
static_assert(offsetof(CONFIG_ADAPTER_INFO, modes) == 72, "adapter record");
static_assert(offsetof(CONFIG_ADAPTER_INFO, formatCount) == 16456, "adapter record");
static_assert(offsetof(CONFIG_ADAPTER_INFO, formats) == 16460, "adapter record");
static_assert(sizeof(CONFIG_INFO) == 132396, "dialog record");
static_assert(offsetof(CONFIG_INFO, title) == 0, "dialog record");
static_assert(offsetof(CONFIG_INFO, icon) == 64, "dialog record");
static_assert(offsetof(CONFIG_INFO, banner) == 68, "dialog record");
static_assert(offsetof(CONFIG_INFO, adapterCount) == 72, "dialog record");
static_assert(offsetof(CONFIG_INFO, adapters) == 76, "dialog record");
static_assert(sizeof(CONFIG_SELECTION) == 28, "selection record");

// The images behind the record's icon and banner ids. The program hands the module a lookup through
// the optional export below before showing the dialog; a module without it shows no images.
struct CONFIG_IMAGE {
    int32_t width;
    int32_t height;
    const uint32_t* pixels;  // width * height words, rows top first, 0x00RRGGBB
};
typedef int (*ConfigImageLookup)(uint32_t id, CONFIG_IMAGE* image);  // non-zero when found

// The display of an adapter of the record, as the program's graphics layer numbers its displays (the
// record leaves out adapters that cannot be used, so its indices are no display numbers); -1 when the
// index is not in the record. The program hands it over through the optional export below; a module
// without it takes the record's index for the display.
typedef int (*ConfigDisplayLookup)(uint32_t adapter);

// Non-zero once the program was asked to stop (Ctrl+C, SIGTERM, SIGHUP) by a signal that its own handler
// caught, perhaps before the dialog came up: the dialog then ends as its Cancel does. The program
// hands it over through the optional export below.
typedef int (*ConfigStopQuery)(void);

}  // namespace trivale

extern "C" {
typedef int (*ConfDlgGetVersionFunc)(void);
typedef int (*ShowConfigDialogFunc)(const trivale::CONFIG_INFO* info, trivale::CONFIG_SELECTION* selection);
typedef int (*GetPreviousConfigFunc)(const trivale::CONFIG_INFO* info, trivale::CONFIG_SELECTION* selection);
typedef void (*ConfDlgSetImageLookupFunc)(trivale::ConfigImageLookup lookup);
typedef void (*ConfDlgSetDisplayLookupFunc)(trivale::ConfigDisplayLookup lookup);
typedef void (*ConfDlgSetStopQueryFunc)(trivale::ConfigStopQuery query);
typedef const char* (*ConfDlgGetLastErrorFunc)(void);
}
