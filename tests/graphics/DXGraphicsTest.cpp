// The graphics device object: creation, presenting through a lost device, the mode switch and the
// order in which listeners hear about it, over the scripted system; then once for real over GL.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Exception.h"
#include "devices/DXGraphics.h"
#include "platform/GraphicsFake.h"
#include "platform/GraphicsTestHooks.h"
#include "platform/Window.h"
#include "tests/core/TestUtil.h"

namespace trivale {
namespace {

// Writes what it hears into the fake's journal, so listener calls and device calls share one order.
class Recorder : public CStandardDXGraphicsEventListener {
public:
    Recorder(const std::string& name, std::vector<std::string>* journal) : name_(name), journal_(journal) {}
    void OnDeviceLost() override { Record("Lost"); }
    void OnDeviceReset() override { Record("Reset"); }
    void OnBeforeModeChange(bool full) override { Record(std::string("Before(") + (full ? "1" : "0") + ")"); }
    void OnAfterModeChange(bool full) override { Record(std::string("After(") + (full ? "1" : "0") + ")"); }
    std::function<void()> onLost;

private:
    void Record(const std::string& what) {
        journal_->push_back(name_ + ":" + what);
        if (what == "Lost" && onLost) onLost();
    }
    std::string name_;
    std::vector<std::string>* journal_;
};

plat::PresentParameters Block(bool windowed, uint32_t width) {
    plat::PresentParameters p;
    p.backBufferWidth = width;
    p.backBufferHeight = 480;
    p.backBufferFormat = windowed ? plat::Format::Unknown : plat::Format::Xrgb8888;
    p.backBufferCount = 1;
    p.windowed = windowed;
    p.enableAutoDepthStencil = true;
    p.autoDepthStencilFormat = plat::Format::Depth24X8;
    return p;
}

class DXGraphicsTest : public ::testing::Test {
protected:
    void SetUp() override {
        state_ = std::make_shared<plat::FakeGraphicsState>();
        state_->adapters.push_back(plat::MakeFakeAdapter("Fake"));
        graphics_.reset(new CDXGraphics(plat::CreateFakeGraphicsSystem(state_)));
        graphics_->SetFullScreenParameters(Block(false, 800));
        graphics_->SetWindowedParameters(Block(true, 640));
    }
    std::vector<std::string>& Journal() { return state_->journal; }
    std::vector<std::string> TakeJournal() {
        std::vector<std::string> taken;
        taken.swap(state_->journal);
        return taken;
    }

    tvtest::CapturedLog log_;
    std::shared_ptr<plat::FakeGraphicsState> state_;
    std::unique_ptr<CDXGraphics> graphics_;
};

using Lines = std::vector<std::string>;

TEST_F(DXGraphicsTest, FullScreenBeforeInitializeOnlyChoosesTheBlock) {
    EXPECT_EQ(tvtest::Thrown<EDirect3DCreateError>([] { CDXGraphics none{std::unique_ptr<plat::IGraphicsSystem>()}; }),
              "Direct3D の初期化に失敗しました. @trivale::CDXGraphics");
    Recorder a("A", &Journal());
    graphics_->AddListener(&a);
    graphics_->SetFullScreen(true);
    EXPECT_TRUE(Journal().empty());
    EXPECT_EQ(graphics_->GetPresentParameters()->backBufferWidth, 800u);
    state_->fallbackNotes = {"Multisampling with 8 samples is not available; using 4."};
    ASSERT_TRUE(graphics_->Initialize());
    EXPECT_EQ(TakeJournal(),
              (Lines{"CreateDevice(adapter=0,type=1,behaviour=0x40,800x480,windowed=0,samples=0)", "GetDeviceCaps"}));
    EXPECT_NE(log_.Text().find("INFO: Multisampling with 8 samples is not available; using 4.\n"
                               "INFO: Direct3D device ready.\n"),
              std::string::npos)
        << log_.Text();
    EXPECT_EQ(graphics_->GetDeviceCaps()->maxAnisotropy, 16u);
    EXPECT_EQ(tvtest::Thrown<EIOError>([&] { graphics_->Initialize(); }).find("Direct3D device already initialized. @"),
              0u);
}

TEST_F(DXGraphicsTest, SoftwareVertexProcessingIsTheFallback) {
    state_->createFailures = 1;
    ASSERT_TRUE(graphics_->Initialize());
    Lines journal = TakeJournal();
    ASSERT_GE(journal.size(), 2u);
    EXPECT_NE(journal[0].find("behaviour=0x40"), std::string::npos);
    EXPECT_NE(journal[1].find("behaviour=0x20"), std::string::npos);
    EXPECT_NE(log_.Text().find("INFO: ハードウェアT&L が利用できません. ソフトウェアT&L に切り替えます.\n"),
              std::string::npos);
    graphics_->Finalize();
    state_->createFailures = 2;
    EXPECT_FALSE(graphics_->Initialize());
    EXPECT_EQ(graphics_->GetDevice(), nullptr);
    EXPECT_NE(log_.Text().find("DirectX Error: NOTAVAILABLE(0x8876086a): "), std::string::npos) << log_.Text();
}

TEST_F(DXGraphicsTest, FinalizeLogsWithOrWithoutDevice) {
    graphics_->Finalize();
    ASSERT_TRUE(graphics_->Initialize());
    graphics_->Finalize();
    EXPECT_EQ(graphics_->GetDevice(), nullptr);
    EXPECT_EQ(state_->deviceCount, 0);
    ASSERT_TRUE(graphics_->Initialize()) << "may be created again";
    graphics_.reset();
    EXPECT_EQ(log_.Text().find("INFO: Direct3D device finalized.\n"), 0u) << "without a device too";
    EXPECT_NE(log_.Text().find("INFO: Direct3D device finalized.\nINFO: Direct3D finalized.\n"), std::string::npos);
}

TEST_F(DXGraphicsTest, LostWhileMinimisedWaitsUntilResettable) {
    Recorder a("A", &Journal());
    graphics_->AddListener(&a);
    ASSERT_TRUE(graphics_->Initialize());
    plat::TestHooksOf(graphics_->GetDevice())->SimulateDeviceLoss(false);
    TakeJournal();
    for (int frame = 0; frame < 3; ++frame) graphics_->Present();
    EXPECT_EQ(TakeJournal(), (Lines{"Present", "TestCooperativeLevel", "Present", "TestCooperativeLevel", "Present",
                                    "TestCooperativeLevel"}));
    plat::TestHooksOf(graphics_->GetDevice())->SimulateDeviceLoss(true);
    graphics_->Present();
    graphics_->Present();
    EXPECT_EQ(TakeJournal(), (Lines{"Present", "TestCooperativeLevel", "A:Lost", "Reset(640x480,windowed=1,samples=0)",
                                    "A:Reset", "Present"}));
}

TEST_F(DXGraphicsTest, ResetFailureWhilePresentingThrows) {
    ASSERT_TRUE(graphics_->Initialize());
    plat::TestHooksOf(graphics_->GetDevice())->SimulateDeviceLoss(true);
    state_->resetFailures = 1;
    EXPECT_EQ(tvtest::Thrown<EIOError>([&] { graphics_->Present(); }),
              "Direct3Dデバイスのリセットに失敗 @trivale::CDXGraphics");
}

TEST_F(DXGraphicsTest, ModeSwitchNotifiesEachStepToAllListeners) {
    Recorder a("A", &Journal()), b("B", &Journal());
    graphics_->AddListener(&b);  // added first, told first
    graphics_->AddListener(&a);
    graphics_->AddListener(&b);  // kept once
    ASSERT_TRUE(graphics_->Initialize());
    TakeJournal();
    graphics_->SetFullScreen(true);
    EXPECT_EQ(TakeJournal(),
              (Lines{"B:Before(1)", "A:Before(1)", "B:Lost", "A:Lost", "Reset(800x480,windowed=0,samples=0)",
                     "GetDeviceCaps", "B:Reset", "A:Reset", "B:After(1)", "A:After(1)"}));
    EXPECT_TRUE(graphics_->IsFullScreen());
    EXPECT_EQ(graphics_->RemoveListener(&b), 1);
    EXPECT_EQ(graphics_->RemoveListener(&b), 0);
    graphics_->SetFullScreen(true);  // the mode in force is reset all the same
    EXPECT_EQ(TakeJournal(), (Lines{"A:Before(1)", "A:Lost", "Reset(800x480,windowed=0,samples=0)", "GetDeviceCaps",
                                    "A:Reset", "A:After(1)"}));
}

TEST_F(DXGraphicsTest, FailedModeSwitchLogsAndTheNextPresentRecovers) {
    Recorder a("A", &Journal());
    graphics_->AddListener(&a);
    ASSERT_TRUE(graphics_->Initialize());
    TakeJournal();
    state_->resetFailures = 1;
    graphics_->SetFullScreen(true);
    EXPECT_EQ(TakeJournal(), (Lines{"A:Before(1)", "A:Lost", "Reset(800x480,windowed=0,samples=0)"}));
    EXPECT_TRUE(graphics_->IsFullScreen()) << "the flag stays";
    EXPECT_NE(log_.Text().find("ERROR: \n\ttrivale::CDXGraphics: デバイスのリセットに失敗\n\tdevices/DXGraphics.cpp("),
              std::string::npos)
        << log_.Text();
    graphics_->Present();
    EXPECT_EQ(TakeJournal(),
              (Lines{"Present", "TestCooperativeLevel", "A:Lost", "Reset(800x480,windowed=0,samples=0)", "A:Reset"}));
}

TEST_F(DXGraphicsTest, ListenersMayChangeTheListDuringANotification) {
    Recorder a("A", &Journal()), b("B", &Journal()), c("C", &Journal());
    graphics_->AddListener(&a);
    graphics_->AddListener(&b);
    a.onLost = [&] {
        graphics_->RemoveListener(&b);  // not told any more
        graphics_->AddListener(&c);     // told from the next notification on
    };
    ASSERT_TRUE(graphics_->Initialize());
    plat::TestHooksOf(graphics_->GetDevice())->SimulateDeviceLoss(true);
    TakeJournal();
    graphics_->Present();
    EXPECT_EQ(TakeJournal(), (Lines{"Present", "TestCooperativeLevel", "A:Lost", "Reset(640x480,windowed=1,samples=0)",
                                    "A:Reset", "C:Reset"}));
}

// ---- for real, under the off-screen driver ----

TEST(DXGraphicsGLTest, CreateClearPresentReadBackAndRecoverFromLoss) {
    tvtest::CapturedLog log;
    std::string error;
    std::unique_ptr<plat::Window> window = plat::Window::Create("device test", 320, 240, &error);
    ASSERT_NE(window, nullptr) << error;
    CDXGraphics graphics;
    plat::PresentParameters windowed = Block(true, 160);
    windowed.backBufferHeight = 120;
    windowed.deviceWindow = window.get();
    windowed.multiSampleType = 4;
    windowed.presentationInterval = plat::kPresentIntervalImmediate;
    graphics.SetWindowedParameters(windowed);
    plat::PresentParameters full = Block(false, 640);
    full.deviceWindow = window.get();
    graphics.SetFullScreenParameters(full);
    ASSERT_TRUE(graphics.Initialize()) << log.Text();

    plat::IGraphicsDevice* device = graphics.GetDevice();
    if (graphics.GetDirect3D()->CheckDeviceMultiSampleType(0, plat::DeviceType::Hardware, plat::Format::Xrgb8888, true,
                                                           4) == plat::gfx::kOk) {
        EXPECT_EQ(device->GetParameters().multiSampleType, 4u) << "read back through the resolve";
    }
    auto clearAndRead = [&](uint32_t colour) {
        EXPECT_EQ(device->Clear(0, nullptr, plat::kClearTarget | plat::kClearZBuffer, colour, 1.0f, 0), plat::gfx::kOk);
        std::vector<uint32_t> pixels;
        uint32_t w = 0, h = 0;
        EXPECT_EQ(device->ReadBackBuffer(pixels, w, h), plat::gfx::kOk);
        EXPECT_EQ(w, graphics.GetPresentParameters()->backBufferWidth);
        EXPECT_EQ(h, graphics.GetPresentParameters()->backBufferHeight);
        return pixels.empty() ? 0u : pixels[w * h / 2 + w / 2];
    };
    EXPECT_EQ(clearAndRead(0xFF204060), 0xFF204060u);
    graphics.Present();

    // Who hears of the loss and the switch, and in what order, the scripted tests above tell.
    plat::TestHooksOf(device)->SimulateDeviceLoss(true);
    graphics.Present();
    EXPECT_EQ(clearAndRead(0xFF0080FF), 0xFF0080FFu);

    graphics.SetFullScreen(true);
    // The off-screen display has no such mode: the desktop's stays, the picture scaled over it.
    EXPECT_NE(log.Text().find("Full screen 640 x 480 is not a mode of the display"), std::string::npos) << log.Text();
    EXPECT_EQ(clearAndRead(0xFF101010), 0xFF101010u);
    graphics.Present();
    graphics.SetFullScreen(false);
    EXPECT_EQ(device->GetParameters().backBufferWidth, 160u);
}

}  // namespace
}  // namespace trivale
