// The overlay drawn by GL under the off-screen video driver, each presented frame read back: the
// title, the frame rate and score with their labels and the previous score land where the layout puts
// them, on a black-barred, cleared screen.
#include "benchmark/ResourceScene.h"
#include "tests/benchmark/OverlayTestSupport.h"

namespace {

using namespace overlaytest;

const std::uint32_t kClear = 0x203040;

// Places in the presented frame where something besides the clear colour and black is drawn, or not.
struct Place {
    const char* what;
    int left, top, right, bottom;
    bool lit;
};
void ExpectLit(const Frame& frame, const std::vector<Place>& places) {
    for (const Place& p : places) {
        bool lit = false;
        for (int y = p.top; y < p.bottom; ++y)
            for (int x = p.left; x < p.right; ++x) lit = lit || (frame.At(x, y) != kClear && frame.At(x, y) != 0);
        EXPECT_EQ(lit, p.lit) << p.what;
    }
}

using OverlayGLTest = OverlayTest;

// Places from the layout and the fonts the overlay chose for the back buffer's width.
TEST_F(OverlayGLTest, TitleFrameRateAndScoreAtTheirPlaces) {
    StartGL();
    std::unique_ptr<CResourceScene> overlay(CResourceScene::Instance());
    overlay->SetClearColor(0xFF000000 | kClear);
    overlay->Initialize();
    const int W = static_cast<int>(Graphics().GetPresentParameters()->backBufferWidth);
    const int top = static_cast<int>(overlay->GetViewport()->GetY()), bottom = overlay->GetViewport()->GetBottom();
    const int w0 = overlay->GetFont0()->GetCharWidth(), h0 = overlay->GetFont0()->GetCharHeight();
    const int w1 = overlay->GetFont1()->GetCharWidth(), h1 = overlay->GetFont1()->GetCharHeight();
    const int middle = W / 2, right = W - 2 * w0;

    overlay->Frame(1);
    ExpectLit(presented_, {{"title while not counting", 0, top, W / 2, top + 3 * h0, true},
                           {"no frame rate, score or previous score", 0, bottom - 4 * h0, W, bottom, false}});

    overlay->SetScoreCounting(true);
    overlay->SetScoreRatio(111.0f);
    overlay->Frame(1);
    overlay->ResetScore();  // 111 kept as the previous score
    for (int i = 0; i < 9; ++i) overlay->Frame(1);
    ExpectLit(presented_,
              {
                  {"title VELLACOR 06", w0, top + h0, w0 * 12, top + 2 * h0, true},
                  {"subtitle", w0, top + h0 * 22 / 10, w0 + 20 * w1, top + h0 * 22 / 10 + h1, true},
                  {"frame rate digit, twice the size, before the middle", middle - 6 * w0, bottom - 3 * h0,
                   middle - 4 * w0, bottom - h0, true},
                  {"FPS label", middle - 13 * w0, bottom - 24 * h0 / 10, middle - 10 * w0, bottom - 14 * h0 / 10, true},
                  {"score 999 after the middle", middle + 6 * w0, bottom - 3 * h0, middle + 12 * w0, bottom - h0, true},
                  {"SCORE label", middle, bottom - 24 * h0 / 10, middle + 5 * w0, bottom - 14 * h0 / 10, true},
                  {"PREVIOUS SCORE", right - 14 * w1, bottom - 30 * h0 / 10, right, bottom - 30 * h0 / 10 + h1, true},
                  {"previous 111 under it", right - 6 * w1, bottom - 23 * h0 / 10, right,
                   bottom - 23 * h0 / 10 + 2 * h1, true},
                  {"nothing left of the labels", 0, bottom - 3 * h0, middle - 14 * w0, bottom, false},
                  {"nothing between title and numbers", 0, top + 4 * h0, middle, bottom - 4 * h0, false},
              });
    EXPECT_EQ(overlay->GetScore(), 999.0f);
    if (top > 0) {
        EXPECT_EQ(presented_.At(W / 2, top / 2), 0u) << "top bar black";
        EXPECT_EQ(presented_.At(W / 2, bottom + top / 2), 0u) << "bottom bar black";
    }
    EXPECT_EQ(presented_.At(W / 2, (top + bottom) / 2), kClear) << "main viewport cleared";
}

}  // namespace
