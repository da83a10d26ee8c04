// The show's text lines: where each line lands by its code, which lines go when the screen is full,
// the fade's opacity over the frames, and the debug pages' particle count.
#include "benchmark/TextLines.h"
#include "tests/benchmark/ShowTestSupport.h"

namespace showtest {
namespace {

class TextLinesTest : public ShowTest {
protected:
    Lines DrawLines(const Lines& lines, double elapsedMs = 16) {
        for (const std::string& line : lines) text_.TextOut(line);
        text_.DrawLines(Canvas());
        text_.Advance(elapsedMs);
        return large_.Take();
    }
    CTextLines text_;
};

// 640 wide, the viewport from 40, a 16-pixel font: rows 22 pixels apart from five rows down.
TEST_F(TextLinesTest, CodesChooseSizeVariantAndPlace) {
    text_.GetTextFade()->SetStart(1.0f), text_.GetTextFade()->SetEnd(1.0f);
    EXPECT_EQ(
        DrawLines({"@1lSCORE", "$0cTITLE", "@x", "#0cABC", "@5zABC", "@2rRIGHT", "$3c"}),
        (Lines{"SCORE@32,150*1 v1 #FFFFFFFF a0", "TITLE@320,172*2 v0 #FFFFFFFF a1", "@x@320,216*1 v0 #FFFFFFFF a1",
               "#0cABC@320,238*1 v0 #FFFFFFFF a1", "ABC@320,260*1 v5 #FFFFFFFF a1", "RIGHT@608,282*1 v2 #FFFFFFFF a2",
               "@320,304*2 v3 #FFFFFFFF a1"}));
}

// Lines beyond the viewport's rows less ten go, oldest first; fewer than ten rows keep them all
// (the difference wraps), and a font of no height draws every line on the first row.
TEST_F(TextLinesTest, OldestLinesGoWhenTheScreenIsFull) {
    const struct {
        int charHeight, viewportHeight, lines;
        std::size_t kept;
        const char* first;
    } cases[] = {{16, 480, 12, 11, "L1@320,150"},
                 {16, 220, 3, 0, ""},
                 {16, 100, 30, 30, "L0@320,150"},
                 {7, 480, 2, 2, "L0@320,85"},
                 {0, 480, 5, 5, "L0@320,40"}};
    for (const auto& c : cases) {
        large_.SetCharHeight(c.charHeight);
        viewport_.Set(0, 40, 640, static_cast<std::uint32_t>(c.viewportHeight), 0, 1);
        text_.TextClear();
        Lines lines;
        for (int i = 0; i < c.lines; ++i) lines.push_back("L" + std::to_string(i));
        const Lines drawn = DrawLines(lines);
        EXPECT_EQ(drawn.size(), c.kept) << c.charHeight << "/" << c.viewportHeight;
        EXPECT_EQ(text_.GetLines().size(), c.kept);
        EXPECT_EQ(drawn.empty() ? "" : drawn[0].substr(0, std::string(c.first).size()), c.first);
    }
}

// Invisible until a fade is set; the fade runs on each frame's unclamped milliseconds after the frame
// is drawn, and holds its end (an end beyond opaque stays opaque).
TEST_F(TextLinesTest, FadeFollowsTheFrameTime) {
    EXPECT_EQ(DrawLines({"A"}).at(0), "A@320,150*1 v0 #FFFFFF a1");
    CMotionTween<float>& fade = *text_.GetTextFade();
    fade.SetDuration(2.0f), fade.SetStart(0.0f), fade.SetEnd(1.0f), fade.Rewind();
    const std::pair<double, const char*> frames[] = {
        {500, "#FFFFFF "}, {500, "#3FFFFFFF"}, {0.5, "#7FFFFFFF"}, {3000, "#7FFFFFFF"}, {16, "#FFFFFFFF"}};
    for (const auto& [ms, colour] : frames) EXPECT_NE(DrawLines({}, ms).at(0).find(colour), std::string::npos) << ms;
    fade.SetEnd(2.0f);
    EXPECT_NE(DrawLines({}).at(0).find("#FFFFFFFF"), std::string::npos) << "beyond opaque";
}

// While a debug page is shown: the count at the right edge, four debug rows above the viewport's bottom.
TEST_F(TextLinesTest, ParticleCountOnTheDebugPages) {
    DrawParticleCount(Canvas(0), 8192);
    EXPECT_EQ(debug_.Take(), Lines{});
    DrawParticleCount(Canvas(3), 8192);
    EXPECT_EQ(debug_.Take(), Lines{"8192 particles @640,400*0 v0 #FFFFFFFF a2"});
}

}  // namespace
}  // namespace showtest
