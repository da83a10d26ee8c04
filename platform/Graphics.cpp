#include "platform/Graphics.h"

namespace plat {

namespace {

struct ResultText {
    GraphicsResult code;
    const char* name;
    const char* description;
};

const ResultText kResults[] = {
    {gfx::kOk, "OK", "The call succeeded."},
    {gfx::kFail, "FAIL", "An undetermined error occurred."},
    {gfx::kOutOfMemory, "OUTOFMEMORY", "Not enough memory to complete the call."},
    {gfx::kInvalidArgument, "INVALIDARG", "An invalid parameter was passed."},
    {gfx::kOutOfVideoMemory, "OUTOFVIDEOMEMORY", "Not enough display memory to complete the call."},
    {gfx::kNotAvailable, "NOTAVAILABLE", "The queried technique or format is not supported by the device."},
    {gfx::kInvalidCall, "INVALIDCALL",
     "The call is invalid: a parameter has an invalid value or the device is "
     "in the wrong state."},
    {gfx::kDeviceLost, "DEVICELOST", "The device has been lost and cannot be reset yet."},
    {gfx::kDeviceNotReset, "DEVICENOTRESET", "The device has been lost and can be reset now."},
    {gfx::kInvalidData, "INVALIDDATA", "The data is invalid."},
};

}  // namespace

bool DescribeGraphicsResult(GraphicsResult result, const char** name, const char** description) {
    for (const ResultText& text : kResults) {
        if (text.code == result) {
            *name = text.name;
            *description = text.description;
            return true;
        }
    }
    return false;
}

const Format kDisplayFormats[kDisplayFormatCount] = {Format::Xrgb8888, Format::Rgb565, Format::Xrgb1555};

int DisplayFormatIndex(Format format) {
    for (int i = 0; i < kDisplayFormatCount; ++i) {
        if (kDisplayFormats[i] == format) return i;
    }
    return -1;
}

uint32_t FormatBytesPerTexel(Format format) {
    switch (format) {
    case Format::Argb8888:
    case Format::Xrgb8888:
        return 4;
    case Format::Rgb888:
        return 3;
    case Format::Rgb565:
    case Format::Xrgb1555:
    case Format::Argb1555:
    case Format::Argb4444:
    case Format::AlphaLuminance88:
        return 2;
    case Format::Alpha8:
    case Format::Luminance8:
        return 1;
    default:
        return 0;
    }
}

uint32_t FormatBitsPerPixel(Format format) {
    switch (format) {
    case Format::Xrgb8888:
        return 32;
    case Format::Rgb565:
        return 16;
    case Format::Xrgb1555:
        return 15;
    default:
        return 0;
    }
}

uint32_t FormatDepthBits(Format format) {
    switch (format) {
    case Format::Depth16:
        return 16;
    case Format::Depth24X8:
        return 24;
    case Format::Depth32:
        return 32;
    default:
        return 0;
    }
}

}  // namespace plat
