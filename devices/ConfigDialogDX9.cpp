#include "devices/ConfigDialogDX9.h"

#include <cstring>
#include <memory>
#include <vector>

#include "core/CommandLine.h"
#include "core/Exception.h"
#include "core/Log.h"
#include "core/Path.h"
#include "core/Text.h"
#include "devices/DXGraphics.h"
#include "platform/MessageBox.h"
#include "platform/StopSignals.h"
#include "platform/StopWatchdog.h"

namespace trivale {

static_assert(kConfigFormatCount == plat::kDisplayFormatCount, "the record lists every display format");

namespace {

std::string g_libraryName = "libconfdlg.so";

const uint32_t kImageIcon = 1;
const uint32_t kImageBanner = 2;

// The images the module may ask for while it runs, as 0x00RRGGBB words.
struct DialogImages {
    std::vector<uint32_t> icon, banner;
    int32_t iconWidth = 0, iconHeight = 0, bannerWidth = 0, bannerHeight = 0;
};
DialogImages* g_images = nullptr;

// The record's adapters as display ordinals, while the module runs.
struct DialogDisplays {
    const uint32_t* ordinals = nullptr;
    uint32_t count = 0;
};
DialogDisplays g_displays;

int LookUpDisplay(uint32_t adapter) {
    return adapter < g_displays.count ? static_cast<int>(g_displays.ordinals[adapter]) : -1;
}

int StopAsked() { return plat::StopRequested() ? 1 : 0; }

bool ToWords(const plat::IconImage* image, std::vector<uint32_t>& words, int32_t& width, int32_t& height) {
    if (image == nullptr || image->rgba == nullptr || image->width <= 0 || image->height <= 0) return false;
    width = image->width;
    height = image->height;
    words.resize(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < words.size(); ++i) {
        const uint8_t* p = image->rgba + i * 4;
        words[i] = (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
    }
    return true;
}

int LookUpImage(uint32_t id, CONFIG_IMAGE* image) {
    if (g_images == nullptr || image == nullptr) return 0;
    const std::vector<uint32_t>& words = id == kImageIcon ? g_images->icon : g_images->banner;
    if ((id != kImageIcon && id != kImageBanner) || words.empty()) return 0;
    image->width = id == kImageIcon ? g_images->iconWidth : g_images->bannerWidth;
    image->height = id == kImageIcon ? g_images->iconHeight : g_images->bannerHeight;
    image->pixels = words.data();
    return 1;
}

// Copies at most size - 1 bytes and always terminates.
void CopyText(char* to, size_t size, const std::string& from) {
    std::memset(to, 0, size);
    std::memcpy(to, from.data(), std::min(from.size(), size - 1));
}

plat::Format BackBufferFormat(uint32_t bitsPerPixel) {
    switch (bitsPerPixel) {
    case 15:
        return plat::Format::Xrgb1555;
    case 16:
        return plat::Format::Rgb565;
    default:
        return plat::Format::Xrgb8888;
    }
}

plat::Format DepthFormat(int32_t bits) {
    switch (bits) {
    case 24:
        return plat::Format::Depth24X8;
    case 32:
        return plat::Format::Depth32;
    default:
        return plat::Format::Depth16;
    }
}

}  // namespace

CConfigDialogDX9::CConfigDialogDX9() {
    fullScreenParameters.swapEffect = windowedParameters.swapEffect = static_cast<plat::SwapEffect>(0);
}

CConfigDialogDX9::~CConfigDialogDX9() { FreeDll(); }

void CConfigDialogDX9::SetLibraryName(const std::string& name) { g_libraryName = name; }

const std::string& CConfigDialogDX9::GetLibraryName() { return g_libraryName; }

void CConfigDialogDX9::FreeDll() {
    getVersion_ = nullptr;
    showDialog_ = nullptr;
    getPrevious_ = nullptr;
    lastError_ = nullptr;
    module_.Close();
}

bool CConfigDialogDX9::LoadDll() {
    const std::string& name = g_libraryName;
    std::string path = name.find('/') == std::string::npos ? ExtractFileDir(GetModuleFilePath()) + name : name;
    if (!module_.Open(path)) {
        LogInfoString(module_.Error());
        throw EIOError(this, "DLLをロードできません : '" + name + "'");
    }
    auto import = [&](const char* function) {
        void* symbol = module_.Symbol(function);
        if (symbol == nullptr) {
            throw EIOError(this, FormatString("Function import failure : '%s' - '%s()'", name.c_str(), function));
        }
        return symbol;
    };
    getVersion_ = reinterpret_cast<ConfDlgGetVersionFunc>(import("ConfDlgGetVersion"));
    if (getVersion_() != kConfigDialogVersion) throw EIOError(this, "Unsupported DLL version : '" + name + "'");
    showDialog_ = reinterpret_cast<ShowConfigDialogFunc>(import("ShowConfigDialog"));
    getPrevious_ = reinterpret_cast<GetPreviousConfigFunc>(import("GetPreviousConfig"));
    // Optional: why the module ended without a selection when it was no cancel.
    lastError_ = reinterpret_cast<ConfDlgGetLastErrorFunc>(module_.Symbol("ConfDlgGetLastError"));
    // Optional: a module that can show the icon and banner asks for them through this.
    if (auto setImages = reinterpret_cast<ConfDlgSetImageLookupFunc>(module_.Symbol("ConfDlgSetImageLookup"))) {
        setImages(&LookUpImage);
    }
    // Optional: a module that fits its choices to a display asks which one an adapter of the record is.
    if (auto setDisplays = reinterpret_cast<ConfDlgSetDisplayLookupFunc>(module_.Symbol("ConfDlgSetDisplayLookup"))) {
        setDisplays(&LookUpDisplay);
    }
    // Optional: a module that hears of a signal the program caught, before and while it shows.
    if (auto setStop = reinterpret_cast<ConfDlgSetStopQueryFunc>(module_.Symbol("ConfDlgSetStopQuery"))) {
        setStop(&StopAsked);
    }
    LogInfoString("Config dialog DLL load successful.");
    return true;
}

bool CConfigDialogDX9::EnumerateAdapters(plat::IGraphicsSystem* system, CONFIG_INFO& info) {
    info.adapterCount = 0;
    const uint32_t ordinalCount = system != nullptr ? system->GetAdapterCount() : 0;
    for (uint32_t ordinal = 0; ordinal < ordinalCount; ++ordinal) {
        if (info.adapterCount == kConfigMaxAdapters) {
            TV_LOG_ERROR_AT(FormatString(
                "ディスプレイアダプタは最大 %d 個までの対応です. %d 個め以降のアダプタはリストアップされません.",
                kConfigMaxAdapters, kConfigMaxAdapters + 1));
            break;
        }
        CONFIG_ADAPTER_INFO& record = info.adapters[info.adapterCount];
        std::memset(&record, 0, sizeof(record));
        std::string description;
        system->GetAdapterDescription(ordinal, description);
        CopyText(record.name, sizeof(record.name), description + " (" + std::to_string(ordinal + 1) + ")");

        plat::DeviceCaps caps;
        plat::GraphicsResult result = system->GetDeviceCaps(ordinal, plat::DeviceType::Hardware, caps);
        if (plat::Failed(result)) {
            TV_LOG_GRAPHICS_ERROR(result);
            TV_LOG_ERROR_AT("HAL デバイスの能力を取得できません. このディスプレイアダプタをスキップします.");
            std::memset(&record, 0, sizeof(record));
            continue;
        }
        record.maxAnisotropy = caps.maxAnisotropy;
        record.modeCount = 0;
        record.formatCount = kConfigFormatCount;

        bool full = false;
        for (int f = 0; f < kConfigFormatCount && !full; ++f) {
            const plat::Format format = plat::kDisplayFormats[f];
            CONFIG_FORMAT_INFO& formatInfo = record.formats[f];
            const uint32_t modeCount = system->GetAdapterModeCount(ordinal, format);
            formatInfo.bitsPerPixel = plat::FormatBitsPerPixel(format);
            for (uint32_t samples = 2; samples < kConfigMultiSampleSlots; ++samples) {
                auto usable = [&](plat::Format f2, bool windowed) {
                    return plat::Succeeded(
                        system->CheckDeviceMultiSampleType(ordinal, plat::DeviceType::Hardware, f2, windowed, samples));
                };
                formatInfo.multiSample[samples] = usable(format, false) && usable(format, true) &&
                                                  usable(plat::Format::Depth16, false) &&
                                                  usable(plat::Format::Depth16, true);
            }
            for (uint32_t index = 0; index < modeCount; ++index) {
                plat::AdapterMode mode;
                if (plat::Failed(system->EnumAdapterModes(ordinal, format, index, mode))) continue;
                if (static_cast<int64_t>(mode.width) < minWidth || static_cast<int64_t>(mode.width) > maxWidth ||
                    static_cast<int64_t>(mode.height) < minHeight || static_cast<int64_t>(mode.height) > maxHeight) {
                    continue;
                }
                CONFIG_DISPLAY_MODE& entry = record.modes[record.modeCount++];
                entry.width = mode.width;
                entry.height = mode.height;
                entry.bitsPerPixel = formatInfo.bitsPerPixel;
                entry.refreshRate = mode.refreshRate;
                if (record.modeCount == kConfigMaxModes) {
                    TV_LOG_ERROR_AT(
                        "ディスプレイモード数が制限値を超えました. "
                        "このアダプタの一部のディスプレイモードは使用できません.");
                    full = true;
                    break;
                }
            }
        }
        LogInfo("Display adapter #%u: %s (%u modes)", ordinal, record.name, record.modeCount);
        ordinals_[info.adapterCount] = ordinal;
        descriptions_[info.adapterCount] = description;
        ++info.adapterCount;
    }
    if (info.adapterCount == 0) {
        static const char kMessage[] =
            "Direct3D 対応ディスプレイデバイスが見つかりませんでした.\nグラフィックカードが DirectX 9 "
            "に対応しているか確認してください.";
        TV_LOG_ERROR_AT(OwnLines(kMessage));
        plat::ShowMessageBox(plat::kNoWindow, std::string(kMessage) + "\n\nプログラムの実行を中止します.", title,
                             plat::MessageBoxKind::Error);
        return false;
    }
    return true;
}

bool CConfigDialogDX9::SelectionValid(const CONFIG_INFO& info, const CONFIG_SELECTION& selection) const {
    if (selection.adapter < 0 || static_cast<uint32_t>(selection.adapter) >= info.adapterCount) return false;
    const CONFIG_ADAPTER_INFO& record = info.adapters[selection.adapter];
    return selection.mode >= 0 && static_cast<uint32_t>(selection.mode) < record.modeCount;
}

bool CConfigDialogDX9::Execute(bool usePrevious) {
    // The record is large: it lives on the heap, zeroed.
    std::unique_ptr<CONFIG_INFO> info(new CONFIG_INFO());
    std::memset(info.get(), 0, sizeof(CONFIG_INFO));
    if (!EnumerateAdapters(direct3D, *info)) return false;
    // The dialog's toolkit takes seconds to load on a busy machine: a stop that has come already is a
    // Cancel without it.
    if (!plat::StopRequested()) LoadDll();
    plat::NoteStopProgress();

    CopyText(info->title, sizeof(info->title), title);
    DialogImages images;
    if (ToWords(icon, images.icon, images.iconWidth, images.iconHeight)) info->icon = kImageIcon;
    if (ToWords(banner, images.banner, images.bannerWidth, images.bannerHeight)) info->banner = kImageBanner;

    CONFIG_SELECTION selection;
    std::memset(&selection, 0, sizeof(selection));
    g_images = &images;
    g_displays = {ordinals_, info->adapterCount};
    // Ctrl+C or SIGTERM since the program started, while the toolkits came up, is a Cancel.
    int shown = plat::StopRequested() ? 0
                : usePrevious         ? (getPrevious_(info.get(), &selection), 1)
                                      : showDialog_(info.get(), &selection);
    plat::TakeBackDisplayErrors();  // from the dialog's toolkit
    g_images = nullptr;
    g_displays = {};
    plat::NoteStopProgress();
    if (shown == 0) {
        LogInfoString(kCancelledLine);
        FreeDll();
        plat::NoteStopProgress();
        return false;
    }
    // Only the user's cancel ends the run quietly; a module that could not choose says why.
    if (shown < 0) {
        const char* why = lastError_ != nullptr ? lastError_() : nullptr;
        const std::string message =
            why != nullptr && *why != '\0' ? std::string(why) : "The configuration dialog failed.";
        FreeDll();
        throw EInvalidParameter(this, message);
    }
    if (!SelectionValid(*info, selection)) {
        FreeDll();
        throw EInvalidParameter(this, FormatString("The configuration dialog returned an invalid selection: "
                                                   "adapter %d, mode %d.",
                                                   selection.adapter, selection.mode));
    }

    const CONFIG_DISPLAY_MODE& mode = info->adapters[selection.adapter].modes[selection.mode];
    adapter = static_cast<int32_t>(ordinals_[selection.adapter]);

    plat::PresentParameters parameters;
    parameters.backBufferWidth = mode.width;
    parameters.backBufferHeight = mode.height;
    parameters.backBufferFormat = BackBufferFormat(mode.bitsPerPixel);
    parameters.backBufferCount = 1;
    parameters.multiSampleType = static_cast<uint32_t>(selection.multiSample);
    parameters.multiSampleQuality = 0;
    parameters.swapEffect = plat::SwapEffect::Discard;
    parameters.deviceWindow = nullptr;  // the driver fills in the main window
    parameters.windowed = false;
    parameters.enableAutoDepthStencil = true;
    parameters.autoDepthStencilFormat = DepthFormat(selection.depthBits);
    parameters.flags = 0;
    parameters.fullScreenRefreshRate = mode.refreshRate;
    parameters.presentationInterval =
        selection.vsync != 0 ? plat::kPresentIntervalOne : plat::kPresentIntervalImmediate;
    fullScreenParameters = parameters;

    parameters.backBufferFormat = plat::Format::Unknown;
    parameters.fullScreenRefreshRate = 0;
    parameters.windowed = true;
    windowedParameters = parameters;

    anisotropy = static_cast<uint32_t>(selection.anisotropy < 0 ? 0 : selection.anisotropy);
    fullScreen = selection.windowed == 0;
    deviceType = allowReferenceDevice && descriptions_[selection.adapter] == "NVIDIA NVPerfHUD"
                     ? plat::DeviceType::Reference
                     : plat::DeviceType::Hardware;

    LogInfo(
        "Selected display mode: Adapter = #%d, Mode = %d, MultiSample = %d, Anisotropy = %d, Windowed = %d, "
        "DepthBufferBits = %d, VSync = %d",
        selection.adapter, selection.mode, selection.multiSample, selection.anisotropy, selection.windowed,
        selection.depthBits, selection.vsync);
    LogInfo("Selected display mode description: %u x %u, %u bpp, %u Hz", mode.width, mode.height, mode.bitsPerPixel,
            mode.refreshRate);
    FreeDll();
    return true;
}

}  // namespace trivale
