#include <gtest/gtest.h>

#include "core/MemoryStream.h"
#include "core/Properties.h"

using namespace trivale;

namespace {

typedef TProperties<comparator_for_properties::less_ignorecase> Properties;
typedef std::vector<std::string> Lines;

void LoadText(Properties& p, const std::string& text) {
    CMemoryStream s;
    s.Write(text.data(), static_cast<std::uint32_t>(text.size()));
    s.Seek(3);  // the whole stream is read, wherever it stands
    p.Load(s);
}

Lines Saved(const Properties& p) {
    Lines lines{"kept"};
    p.Save(lines);
    lines.erase(lines.begin());
    return lines;
}

}  // namespace

TEST(Properties, KeysIgnoreCaseLinesLoadAsTheyStand) {
    Properties p;
    p.Set("Title", "A");
    p.Set("TITLE", "B");  // the first spelling stays
    EXPECT_EQ(p.Get("absent", "default"), "default");
    LoadText(p, "a=1\r\n;b=2\n c = 3 \nnoequals\n\nx==y\n=v\nempty=\nnul=1" + std::string(1, '\0') + "after=2");
    EXPECT_EQ(Saved(p), (Lines{"=v", " c = 3 ", "a=1", "empty=", "nul=1", "Title=B", "x==y"}));  // in key order
    EXPECT_EQ(p.Get(" c ", ""), " 3 ");
    LoadText(p, "A=overwritten");  // loads add up
    EXPECT_EQ(p.Get("a", "") + p.Get("x", ""), "overwritten=y");
    p.Clear();
    EXPECT_EQ(p.Get("title", "gone"), "gone");
}

TEST(Properties, LineSplitting) {
    EXPECT_EQ(SplitPropertyLines("a\r\nb\n\rc\n\nd\r\re"), (Lines{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(SplitPropertyLines("a\n\n\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitPropertyLines(""), Lines{});
}
