// The show's text lines: where each line lands by its code, which lines are dropped when the screen
// is full, the fade's opacity over the frames, and the debug pages' particle count.
#include "benchmark/TextLines.h"
#include "tests/benchmark/ShowTestSupport.h"

namespace showtest {
namespace {

using Texts = std::vector<DrawnText>;
constexpr std::uint32_t kClear = 0x00FFFFFF, kOpaque = 0xFFFFFFFF;

class TextLinesTest : public ShowTest {
protected:
    Texts DrawLines(const std::vector<std::string>& lines, double elapsedMs = 16) {
        for (const std::string& line : lines) text_.TextOut(line);
        text_.Draw(Canvas(), elapsedMs, 0);
        return large_.Take();
    }
    CTextLines text_;
};

// 640 wide, the viewport from 40, a 16-pixel font: rows 22 pixels apart, the first five rows down.
TEST_F(TextLinesTest, CodesChooseSizeVariantAndPlace) {
    text_.GetTextFade()->SetStart(1.0f);
    text_.GetTextFade()->SetEnd(1.0f);
    // clang-format off
    EXPECT_EQ(DrawLines({"@1lSCORE", "$0cTITLE", "@x", "#0cABC", "@5zABC", "@2rRIGHT", "plain", "$3c"}), (Texts{
        {"SCORE", 32, 150, 1, 1, kOpaque, 0},
        {"TITLE", 320, 172, 2, 0, kOpaque, 1},  // two rows high
        {"@x", 320, 216, 1, 0, kOpaque, 1},     // too short for a code: whole
        {"#0cABC", 320, 238, 1, 0, kOpaque, 1}, // not a code: whole
        {"ABC", 320, 260, 1, 5, kOpaque, 1},    // another third character keeps the centre
        {"RIGHT", 608, 282, 1, 2, kOpaque, 2},
        {"plain", 320, 304, 1, 0, kOpaque, 1},
        {"", 320, 326, 2, 3, kOpaque, 1},
    }));
    // clang-format on
}

// Lines beyond the viewport's rows less ten go, oldest first, when drawn; a viewport of fewer than
// ten rows keeps them all, and a font with no height draws every line on the first row.
TEST_F(TextLinesTest, OldestLinesGoWhenTheScreenIsFull) {
    const struct {
        int charHeight, viewportHeight;
        std::size_t lines, kept;
        int firstY;
    } cases[] = {
        {16, 480, 12, 11, 40 + 5 * 22},  // 480 / 22 - 10 = 11
        {16, 480, 11, 11, 40 + 5 * 22},
        {16, 220, 3, 0, 0},              // exactly ten rows: none fit
        {16, 100, 30, 30, 40 + 5 * 22},  // fewer than ten rows: nothing dropped
        {7, 480, 2, 2, 40 + 5 * 9},      // rows of 9.8 truncated
        {0, 480, 5, 5, 40},
    };
    for (const auto& c : cases) {
        large_.SetCharHeight(c.charHeight);
        SetScreen(640, 40, c.viewportHeight);
        text_.TextClear();
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < c.lines; ++i) lines.push_back("L" + std::to_string(i));
        const Texts drawn = DrawLines(lines);
        ASSERT_EQ(drawn.size(), c.kept) << c.charHeight << "/" << c.viewportHeight;
        ASSERT_EQ(text_.GetLines().size(), c.kept);
        if (c.kept == 0) continue;
        EXPECT_EQ(drawn.front().text, "L" + std::to_string(c.lines - c.kept));
        EXPECT_EQ(drawn.front().y, c.firstY);
    }
}

// Invisible until a fade is set; the fade runs on the frames' unclamped milliseconds, from the frame
// after the one it was set in, whether or not lines are stored, and holds its end.
TEST_F(TextLinesTest, FadeFollowsTheFrameTime) {
    EXPECT_EQ(DrawLines({"A"}).at(0).colour, kClear);
    CMotionTween<float>& fade = *text_.GetTextFade();
    fade.SetDuration(2.0f);
    fade.SetStart(0.0f);
    fade.SetEnd(1.0f);
    fade.Rewind();
    const struct {
        double elapsedMs;
        std::uint32_t alpha;  // drawn in the frame, before its own time is added
    } frames[] = {{500, 0}, {500, 63}, {0.5, 127}, {3000, 127}, {16, 255}};
    for (const auto& f : frames)
        EXPECT_EQ(DrawLines({}, f.elapsedMs).at(0).colour, f.alpha << 24 | 0xFFFFFF) << f.elapsedMs;
    text_.TextClear();
    fade.SetEnd(2.0f);  // beyond opaque stays opaque
    EXPECT_EQ(DrawLines({"B"}).at(0).colour, kOpaque);
}

// While a debug page is shown, the shown layers' particle count at the right edge, four debug rows
// above the main viewport's bottom.
TEST_F(TextLinesTest, ParticleCountOnTheDebugPages) {
    const struct {
        int page, count;
        Texts drawn;
    } cases[] = {
        {0, 8192, {}},
        {1, 8192, {{"8192 particles ", 640, 400, 0, 0, kOpaque, 2}}},
        {3, 0, {{"0 particles ", 640, 400, 0, 0, kOpaque, 2}}},
    };
    for (const auto& c : cases) {
        text_.Draw(Canvas(c.page), 16, c.count);
        EXPECT_EQ(debug_.Take(), c.drawn) << c.page;
    }
}

}  // namespace
}  // namespace showtest
