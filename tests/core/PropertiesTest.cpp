#include <gtest/gtest.h>

#include "core/MemoryStream.h"
#include "core/Properties.h"

using namespace trivale;

namespace {

typedef TProperties<comparator_for_properties::less_ignorecase> Properties;

void LoadText(Properties& p, const std::string& text) {
    CMemoryStream s;
    s.Write(text.data(), static_cast<std::uint32_t>(text.size()));
    s.Seek(3 < text.size() ? 3 : 0);  // the whole stream is read, wherever it stands
    p.Load(s);
}

std::vector<std::string> Saved(const Properties& p) {
    std::vector<std::string> lines;
    p.Save(lines);
    return lines;
}

}  // namespace

TEST(Properties, KeysIgnoreCaseAndKeepTheirFirstSpelling) {
    Properties p;
    p.Set("Title", "A");
    p.Set("TITLE", "B");
    EXPECT_EQ(p.Get("title", "none"), "B");
    EXPECT_EQ(Saved(p), (std::vector<std::string>{"Title=B"}));
    EXPECT_EQ(p.Get("absent", "default"), "default");
    p.Clear();
    EXPECT_EQ(p.Get("title", "gone"), "gone");
}

TEST(Properties, SaveAppendsInKeyOrder) {
    Properties p;
    p.Set("b", "2");
    p.Set("A", "1");
    std::vector<std::string> lines{"kept"};
    p.Save(lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"kept", "A=1", "b=2"}));
}

TEST(Properties, LoadParsesLinesAsTheyStand) {
    Properties p;
    LoadText(p, "a=1\r\n;b=2\n c = 3 \nnoequals");
    EXPECT_EQ(p.Get("a", ""), "1");
    EXPECT_EQ(p.Get(";b", "unset"), "unset");
    EXPECT_EQ(p.Get(" c ", ""), " 3 ");
    EXPECT_EQ(Saved(p).size(), 2u);
}

TEST(Properties, EqualsSignsAndEmptyParts) {
    Properties p;
    LoadText(p, "x==y\n=v\nempty=\n");
    EXPECT_EQ(p.Get("x", ""), "=y");
    EXPECT_EQ(p.Get("", "none"), "v");
    EXPECT_EQ(p.Get("empty", "none"), "");
}

TEST(Properties, StopsAtNulAndLoadsAddUp) {
    Properties p;
    LoadText(p, std::string("a=1\nb=2\0c=3\n", 12));
    EXPECT_EQ(p.Get("b", ""), "2");
    EXPECT_EQ(p.Get("c", "none"), "none");
    LoadText(p, "d=4\na=overwritten");
    EXPECT_EQ(Saved(p), (std::vector<std::string>{"a=overwritten", "b=2", "d=4"}));
}

TEST(Properties, LineSplitting) {
    EXPECT_EQ(SplitPropertyLines("a\r\nb\n\rc\n\nd\r\re"),
              (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(SplitPropertyLines("a\n\n\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitPropertyLines(""), std::vector<std::string>{});
    EXPECT_EQ(SplitPropertyLines("\n"), std::vector<std::string>{""});
}

TEST(Properties, RoundTripThroughSavedLines) {
    Properties p;
    p.Set("ARTIST", "雪の日");
    p.Set("title", "a=b");
    std::vector<std::string> lines;
    p.Save(lines);
    std::string text;
    for (const std::string& l : lines) text += l + "\r\n";
    Properties q;
    LoadText(q, text);
    EXPECT_EQ(Saved(q), lines);
}
