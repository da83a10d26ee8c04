// Cutting a script into lines and collecting its labels.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ScriptTestSupport.h"
#include "tests/core/TestUtil.h"

namespace script_test {
namespace {

struct CutCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
};

class LineCutTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(LineCutTest, Lines) {
    CSimpleScriptSource source;
    LoadSource(source, GetParam().bytes);
    EXPECT_EQ(source.GetLines(), GetParam().lines);
}

const CutCase kCuts[] = {
    {"Empty", "", {}},
    {"LastLineWithoutBreakIsKept", "a\r\nb", {"a", "b"}},
    {"CrLfBlankLineStays", "a\r\n\r\nb\r\n", {"a", "", "b"}},
    {"CrBlankLineStays", "a\r\rb\r", {"a", "", "b"}},
    {"LfCrIsTwoBreaks", "a\n\rb", {"a", "", "b"}},
    {"OnlyBreaks", "\n\n", {"", ""}},
    {"NulEndsTheText", std::string("a\nb\0c\nd\n", 8), {"a", "b"}},
    {"BytesAbove127AreKept", "\xE3\x81\x82\n\xFF", {"\xE3\x81\x82", "\xFF"}},
};
INSTANTIATE_TEST_SUITE_P(Source, LineCutTest, ::testing::ValuesIn(kCuts),
                         [](const ::testing::TestParamInfo<CutCase>& param) { return param.param.name; });

TEST(SourceTest, LabelForms) {
    CSimpleScriptSource source;
    LoadSource(source, "*main\n* second\n\t*third\n*a*b\n*\nx *nolabel\n*m ' comment\n*1st\n*Main\n  \n");
    const std::map<std::string, std::int32_t> expected = {{"main", 0}, {"second", 1}, {"third", 2}, {"a", 3},
                                                          {"m", 6},    {"1st", 7},    {"Main", 8}};
    EXPECT_EQ(source.GetLabels(), expected);
    EXPECT_EQ(source.GetLines().size(), 10u);
}

TEST(SourceTest, LoadReadsTheWholeStreamAgainAndKeepsTheName) {
    CSimpleScriptSource source;
    source.SetName("main.tvs");
    LoadSource(source, "*x\ny\n");
    trivale::CMemoryStream stream;
    stream.Write("*a\nprint(1)\n", 12);
    stream.Seek(5);
    source.Load(stream);
    EXPECT_EQ(source.GetName(), "main.tvs");
    EXPECT_EQ(source.GetLines(), (std::vector<std::string>{"*a", "print(1)"}));
    EXPECT_EQ(source.GetLabels(), (std::map<std::string, std::int32_t>{{"a", 0}}));
}

TEST(SourceTest, LabelMistakesGoToTheLogOnly) {
    tvtest::CapturedLog log;
    CSimpleScriptSource source;
    LoadSource(source, "\n*\n*a b\n*a*b\n");
    const std::string text = log.Text();
    EXPECT_NE(text.find("label definition error in line 2"), std::string::npos) << text;
    EXPECT_NE(text.find("INFO: warning: label definition contains too much tokens in line 3"), std::string::npos);
    EXPECT_NE(text.find("INFO: warning: label definition contains too much tokens in line 4"), std::string::npos);
    EXPECT_EQ(source.GetLabels().count("a"), 1u);
}

}  // namespace
}  // namespace script_test
