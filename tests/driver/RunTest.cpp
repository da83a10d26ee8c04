// The driver for real: the GL device under the off-screen video driver, the dialog module answering
// on its own, the real input and (dummy) sound devices, a scene that clears the frame to a colour.
#include "tests/driver/DriverTestSupport.h"

#include <algorithm>

#include "devices/DevicePauseScreenPainter.h"

namespace drvtest {
namespace {

const std::uint32_t kColour = 0x336699;

// Clears every frame to one colour and presents; after its last frame it reads the frame back and
// posts the quit.
class ClearScene : public CStandardScene {
public:
    explicit ClearScene(unsigned frames) : CStandardScene(0x8000), frames_(frames) {}
    void Frame(unsigned) override {
        plat::IGraphicsDevice* device = GetApplicationDriver()->GetGraphics()->GetDevice();
        device->Clear(0, nullptr, plat::kClearTarget, 0xFF000000u | kColour, 1.0f, 0);
        if (++ticks == frames_) {
            device->ReadBackBuffer(pixels, width, height);
            plat::PostQuit(0);
        }
        device->Present();
    }

    unsigned ticks = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t width = 0;
    std::uint32_t height = 0;

private:
    unsigned frames_;
};

class RunTest : public DriverTest {
protected:
    // The back buffer as a scene or the pause screen left it (kept alive until the driver goes).
    std::vector<std::uint32_t> pixels;
    std::uint32_t width = 0, height = 0;
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF; }
    int Count(std::uint32_t colour) const {
        return static_cast<int>(std::count_if(pixels.begin(), pixels.end(),
                                              [colour](std::uint32_t p) { return (p & 0xFFFFFF) == colour; }));
    }
};

// After the run the pause screen is drawn on the same device.
TEST_F(RunTest, ClearsTheFrameForTheSetNumberOfFramesEndsInOrderAndDrawsThePauseScreen) {
    const unsigned kFrames = 12;
    ClearScene* scene = nullptr;
    std::vector<std::uint32_t> pause;
    EntrySteps steps;
    steps.frameRate = 60;
    steps.addScenes = [&](CSceneManager& manager) { manager.AddScene(scene = new ClearScene(kFrames)); };
    steps.afterRun = [&](CGameApplicationDriverDX9& driver) {
        EXPECT_EQ(kFrames, scene->ticks);  // the quit ends the loop after the frame that posted it
        pixels = scene->pixels;
        width = scene->width;
        height = scene->height;
        // The size the dialog chose, which the window's client area took.
        EXPECT_EQ(driver.GetWindow()->GetClientWidth(), static_cast<int>(width));
        EXPECT_EQ(driver.GetWindow()->GetClientHeight(), static_cast<int>(height));
        ASSERT_EQ(static_cast<std::size_t>(width) * height, pixels.size());
        EXPECT_EQ(pixels.size(), static_cast<std::size_t>(Count(kColour)));
        driver.GetWindow()->Show();
        driver.SetPause(true);
        const plat::WindowId id = driver.GetWindow()->GetHandle()->GetId();
        GameWindowProc(id, kMessageEraseBackground, 0, 0);
        GameWindowProc(id, kMessagePaint, 0, 0);
        driver.GetGraphics()->GetDevice()->ReadBackBuffer(pixels, width, height);
    };
    EXPECT_EQ(0, RunEntry(steps));
    EXPECT_TRUE(steps.initialized);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(log_->Count("ERROR:"), 0) << log_->Text();

    ASSERT_EQ(static_cast<std::size_t>(width) * height, pixels.size());
    ASSERT_GE(width, 640u);
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    EXPECT_EQ(0x202020u, At(0, 0));
    EXPECT_EQ(0x202020u, At(w - 1, 0));
    // The pause mark around the centre and the title in the bottom-right corner, in the text colour,
    // and nothing else in that colour.
    const int markWidth = CDevicePauseScreenPainter::kAdvance * 19 - CDevicePauseScreenPainter::kScale;
    int mark = 0, title = 0;
    for (int y = h / 2 - 5; y < h / 2 + 5; ++y) {
        for (int x = w / 2 - markWidth / 2; x < w / 2 + markWidth / 2 + 1; ++x) mark += At(x, y) == 0xDCDCDC;
    }
    for (int y = h - 18; y < h - 8; ++y) {
        for (int x = w - 240; x < w - 8; ++x) title += At(x, y) == 0xDCDCDC;
    }
    EXPECT_GT(mark, 50);
    EXPECT_GT(title, 50);
    EXPECT_EQ(mark + title, Count(0xDCDCDC));
}

}  // namespace
}  // namespace drvtest
