// The configuration step against stand-in dialog modules and a scripted graphics system.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "core/CommandLine.h"
#include "core/Exception.h"
#include "core/Path.h"
#include "devices/ConfigDialogDX9.h"
#include "platform/GraphicsFake.h"
#include "platform/MessageBox.h"
#include "tests/core/TestUtil.h"
#include "tests/graphics/fakes/FakeConfDlg.h"

namespace trivale {
namespace {

using plat::AdapterMode;
using plat::Format;

AdapterMode Mode(uint32_t w, uint32_t h) { return AdapterMode{w, h, 60, Format::Xrgb8888}; }

// What the stand-in module saw the last time it ran (it stays loaded after the program frees it).
FakeConfDlgState* FakeState(const std::string& name) {
    std::string path = ExtractFileDir(GetModuleFilePath()) + name;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return nullptr;
    auto get = reinterpret_cast<FakeConfDlgState* (*)()>(dlsym(handle, "FakeConfDlgGetState"));
    dlclose(handle);
    return get != nullptr ? get() : nullptr;
}

class ConfigDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        state_ = std::make_shared<plat::FakeGraphicsState>();
        state_->adapters.push_back(plat::MakeFakeAdapter("Fake adapter"));
        system_ = plat::CreateFakeGraphicsSystem(state_);
        dialog_.reset(new CConfigDialogDX9());
        dialog_->direct3D = system_.get();
        dialog_->title = "Test title";
        UseModule("libfakeconfdlg_select.so");
        plat::SetMessageBoxHook([this](const plat::MessageBoxRequest& box) { boxes_.push_back(box); });
    }
    void TearDown() override {
        plat::SetMessageBoxHook(nullptr);
        CConfigDialogDX9::SetLibraryName("libconfdlg.so");
    }
    void UseModule(const std::string& name) {
        module_ = name;
        CConfigDialogDX9::SetLibraryName(name);
    }
    bool Run(const char* selection, bool usePrevious = false) {
        setenv(usePrevious ? "FAKE_CONFDLG_PREVIOUS" : "FAKE_CONFDLG_SELECTION", selection, 1);
        return dialog_->Execute(usePrevious);
    }
    const CONFIG_INFO& Seen() {
        FakeConfDlgState* fake = FakeState(module_);
        EXPECT_NE(fake, nullptr);
        static CONFIG_INFO empty;
        return fake != nullptr ? fake->lastInfo : empty;
    }
    tvtest::CapturedLog log_;
    std::shared_ptr<plat::FakeGraphicsState> state_;
    std::unique_ptr<plat::IGraphicsSystem> system_;
    std::unique_ptr<CConfigDialogDX9> dialog_;
    std::string module_;
    std::vector<plat::MessageBoxRequest> boxes_;
    tvtest::ScopedEnv selection_{"FAKE_CONFDLG_SELECTION", nullptr}, previous_{"FAKE_CONFDLG_PREVIOUS", nullptr};
};

// ---- loading the module ----

TEST_F(ConfigDialogTest, ModuleFailures) {
    const struct {
        const char* module;
        const char* message;
    } cases[] = {
        {"libconfdlg_not_there.so", "DLLをロードできません : 'libconfdlg_not_there.so'"},
        {"libfakeconfdlg_v2.so", "Unsupported DLL version : 'libfakeconfdlg_v2.so'"},
        {"libfakeconfdlg_noexport.so",
         "Function import failure : 'libfakeconfdlg_noexport.so' - 'GetPreviousConfig()'"},
    };
    for (const auto& c : cases) {
        UseModule(c.module);
        EXPECT_EQ(tvtest::Thrown<EIOError>([&] { dialog_->Execute(false); }).find(c.message), 0u) << c.message;
    }
}

// ---- running it ----

TEST_F(ConfigDialogTest, SelectionBecomesBothParameterBlocks) {
    ASSERT_TRUE(Run("0,0,4,8,0,32,1"));
    const auto fields = [](const plat::PresentParameters& p) {
        return std::make_tuple(p.backBufferWidth, p.backBufferHeight, p.backBufferFormat, p.multiSampleType, p.windowed,
                               p.enableAutoDepthStencil, p.autoDepthStencilFormat, p.fullScreenRefreshRate,
                               p.presentationInterval);
    };
    EXPECT_EQ(fields(dialog_->fullScreenParameters),
              std::make_tuple(640u, 480u, Format::Xrgb8888, 4u, false, true, Format::Depth32, 60u, 1u));
    EXPECT_EQ(fields(dialog_->windowedParameters),
              std::make_tuple(640u, 480u, Format::Unknown, 4u, true, true, Format::Depth32, 0u, 1u));
    EXPECT_EQ(dialog_->anisotropy, 8u);
    EXPECT_TRUE(dialog_->fullScreen);
    // The selection's own line is the real module's test; the mode is described once.
    EXPECT_NE(log_.Text().find("INFO: Selected display mode description: 640 x 480, 32 bpp, 60 Hz\n"),
              std::string::npos);
}

TEST_F(ConfigDialogTest, FormatAndDepthRules) {
    // Modes: 640x480 at 32, 16 and 15 bits, in that order.
    ASSERT_TRUE(Run("0,2,0,0,1,8,0"));
    EXPECT_EQ(dialog_->fullScreenParameters.backBufferFormat, Format::Xrgb1555);
    EXPECT_EQ(dialog_->fullScreenParameters.autoDepthStencilFormat, Format::Depth16) << "8 bits give 16";
    EXPECT_EQ(dialog_->fullScreenParameters.presentationInterval, plat::kPresentIntervalImmediate);
    EXPECT_FALSE(dialog_->fullScreen);
    ASSERT_TRUE(Run("0,1,0,0,1,24,0", true)) << "the previous selection, whatever the module returns";
    EXPECT_EQ(dialog_->fullScreenParameters.backBufferFormat, Format::Rgb565);
    EXPECT_EQ(dialog_->fullScreenParameters.autoDepthStencilFormat, Format::Depth24X8);
}

// A selection past the record from the module is a failure, never a cancel (nor a read past it).
TEST_F(ConfigDialogTest, InvalidSelectionsAreFailures) {
    const char* invalid[] = {"-1,0,0,0,1,24,0", "1,0,0,0,1,24,0",  "8,0,0,0,1,24,0",   "2147483647,0,0,0,1,24,0",
                             "0,3,0,0,1,24,0",  "0,-5,0,0,1,24,0", "0,1024,0,0,1,24,0"};
    for (const char* selection : invalid) {
        EXPECT_THROW(Run(selection), EInvalidParameter) << selection;
        EXPECT_EQ(dialog_->adapter, -1) << selection;
    }
    EXPECT_TRUE(boxes_.empty());
}

// What the module is handed: texts cut within their fields, mode sizes within the bounds (inclusive), a
// sample count only where every check allows it (a full-screen one and, for a window, the windowed one).
TEST_F(ConfigDialogTest, RecordHandedToTheModule) {
    dialog_->title = std::string(100, 'T');
    plat::FakeAdapter& a = state_->adapters[0];
    a.description = std::string(100, 'N');
    a.modes[0] = {Mode(639, 480), Mode(640, 480), Mode(640, 479), Mode(65535, 65535), Mode(65536, 600)};
    for (auto& kind : a.samples) kind[16] = true;  // no slot for 16 samples
    a.separateWindowedSamples = true;
    for (int kind = 1; kind < 4; ++kind) a.samplesWindowed[kind][4] = true;  // 32 bits not in a window
    std::vector<uint8_t> rgba(3 * 2 * 4, 0x80);
    plat::IconImage banner;
    banner.width = 3;
    banner.height = 2;
    banner.rgba = rgba.data();
    dialog_->banner = &banner;
    ASSERT_TRUE(Run("0,0,0,0,1,24,0"));
    const CONFIG_INFO& info = Seen();
    EXPECT_EQ(std::string(info.title), std::string(63, 'T'));
    EXPECT_EQ(std::string(info.adapters[0].name), std::string(63, 'N'));
    EXPECT_EQ(info.icon, 0u);
    EXPECT_EQ(FakeState(module_)->bannerWidth, 3);
    const CONFIG_ADAPTER_INFO& record = info.adapters[0];
    EXPECT_EQ(info.adapterCount, 1u);
    EXPECT_EQ(record.maxAnisotropy, 16u);
    ASSERT_EQ(record.modeCount, 4u);
    EXPECT_EQ(record.modes[0].width, 640u);
    EXPECT_EQ(record.modes[1].width, 65535u);
    EXPECT_EQ(record.modes[3].bitsPerPixel, 15u);
    const uint32_t bits[] = {32, 16, 15, 0};
    for (int f = 0; f < 4; ++f) {
        EXPECT_EQ(record.formats[f].bitsPerPixel, bits[f]) << f;
        for (int samples = 0; samples < 16; ++samples) {
            EXPECT_EQ(record.formats[f].multiSample[samples], f > 0 && f < 3 && samples == 4 ? 1 : 0) << f << samples;
        }
    }
}

// Eight adapters and 1024 modes fill the record; the rest are left out, each limit told once.
TEST_F(ConfigDialogTest, ListsStopAtTheirLimits) {
    for (int i = 1; i < 9; ++i) state_->adapters.push_back(plat::MakeFakeAdapter("Adapter " + std::to_string(i)));
    plat::FakeAdapter& a = state_->adapters[7];
    a.modes[0].clear();
    for (int i = 0; i < 1025; ++i) a.modes[0].push_back(Mode(640 + i, 480));
    ASSERT_TRUE(Run("7,1023,0,0,1,24,0"));
    EXPECT_EQ(Seen().adapterCount, 8u);
    const CONFIG_ADAPTER_INFO& record = Seen().adapters[7];
    EXPECT_EQ(record.modeCount, 1024u);
    EXPECT_EQ(record.formats[1].bitsPerPixel, 0u) << "the remaining formats are not listed";
    EXPECT_EQ(dialog_->adapter, 7);
    EXPECT_EQ(dialog_->fullScreenParameters.backBufferWidth, 640u + 1023u);
    const std::string text = log_.Text();
    const std::string limit =
        "ディスプレイアダプタは最大 8 個までの対応です. 9 個め以降のアダプタはリストアップされません.";
    ASSERT_NE(text.find(limit), std::string::npos) << text;
    EXPECT_EQ(text.find(limit, text.find(limit) + 1), std::string::npos) << "logged once";
    EXPECT_EQ(text.find("Display adapter #8"), std::string::npos);
    EXPECT_NE(text.find("ディスプレイモード数が制限値を超えました."), std::string::npos);
}

TEST_F(ConfigDialogTest, SkippedAdapterKeepsTheMapping) {
    state_->adapters[0].capsFail = true;
    state_->adapters.push_back(plat::MakeFakeAdapter("Second"));
    state_->adapters.push_back(plat::MakeFakeAdapter("Third"));
    ASSERT_TRUE(Run("1,0,0,0,1,24,0"));
    EXPECT_EQ(Seen().adapterCount, 2u);
    EXPECT_STREQ(Seen().adapters[0].name, "Second (2)");
    EXPECT_EQ(dialog_->adapter, 2) << "index 1 of the list is the third adapter";
    // The module fits its choices to the displays by the same mapping.
    const FakeConfDlgState* fake = FakeState(module_);
    ASSERT_NE(fake, nullptr);
    EXPECT_EQ(std::vector<int>(fake->displays, fake->displays + 3), (std::vector<int>{1, 2, -1}));
    std::string text = log_.Text();
    EXPECT_NE(text.find("DirectX Error: NOTAVAILABLE(0x8876086a)"), std::string::npos) << text;
    EXPECT_NE(text.find("HAL デバイスの能力を取得できません. このディスプレイアダプタをスキップします."),
              std::string::npos);
    EXPECT_NE(text.find("Display adapter #2: Third (3) (3 modes)"), std::string::npos);
}

TEST_F(ConfigDialogTest, NoAdapterShowsTheErrorBox) {
    state_->adapters.clear();
    EXPECT_FALSE(Run("0,0,0,0,1,24,0"));
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].caption, "Test title");
    EXPECT_EQ(boxes_[0].kind, plat::MessageBoxKind::Error);
    EXPECT_EQ(boxes_[0].text,
              "Direct3D 対応ディスプレイデバイスが見つかりませんでした.\nグラフィックカードが DirectX 9 "
              "に対応しているか確認してください.\n\nプログラムの実行を中止します.");
    // The message is the program's own and keeps its line break in the log too.
    EXPECT_NE(
        log_.Text().find("ERROR: \n\tDirect3D 対応ディスプレイデバイスが見つかりませんでした.\nグラフィックカード"),
        std::string::npos)
        << log_.Text();
}

TEST_F(ConfigDialogTest, ReferenceDeviceOnlyByNameAndPermission) {
    state_->adapters[0].description = "NVIDIA NVPerfHUD";
    ASSERT_TRUE(Run("0,0,0,0,1,24,0"));
    EXPECT_EQ(dialog_->deviceType, plat::DeviceType::Hardware);
    dialog_->allowReferenceDevice = true;
    ASSERT_TRUE(Run("0,0,0,0,1,24,0"));
    EXPECT_EQ(dialog_->deviceType, plat::DeviceType::Reference);
}

}  // namespace
}  // namespace trivale
