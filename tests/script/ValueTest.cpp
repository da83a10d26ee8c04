// Values, the variable table and the factor stack on their own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Exception.h"
#include "script/Factor.h"
#include "script/FactorStack.h"
#include "script/VariableTable.h"

namespace script_test {
namespace {

using namespace trivale::type_a::simple_script;

class MessageLog : public IFactorErrorListener {
public:
    void OnError(const std::string& text) override { lines.push_back("E " + text); }
    void OnWarning(const std::string& text) override { lines.push_back("W " + text); }
    std::vector<std::string> lines;
};

CFactor Int(IFactorErrorListener* l, int v, const char* name = "") {
    CFactor f(l, TYPE_INT);
    f.SetIntValue(v);
    f.SetName(name);
    return f;
}
CFactor Float(IFactorErrorListener* l, float v, const char* name = "") {
    CFactor f(l, TYPE_FLOAT);
    f.SetFloatValue(v);
    f.SetName(name);
    return f;
}
CFactor String(IFactorErrorListener* l, const char* v, const char* name = "") {
    CFactor f(l, TYPE_STRING);
    f.SetStringValue(v);
    f.SetName(name);
    return f;
}

TEST(FactorTest, NewValuesAreZeroOfTheirType) {
    MessageLog log;
    EXPECT_EQ(CFactor(&log).GetType(), TYPE_INT);
    EXPECT_EQ(CFactor(&log).GetIntValue(), 0);
    EXPECT_EQ(CFactor(&log, TYPE_FLOAT).GetFloatValue(), 0.0f);
    EXPECT_EQ(CFactor(&log, TYPE_STRING).GetStringValue(), "");
    EXPECT_EQ(CFactor(&log, TYPE_ARGUMENT_TERMINATOR).GetIntValue(), 0);
}

TEST(FactorTest, ToStringAndToDouble) {
    MessageLog log;
    EXPECT_EQ(Float(&log, 1.0f).ToString(), "1.000000");
    EXPECT_EQ(Int(&log, -7).ToString(), "-7");
    EXPECT_EQ(String(&log, "a b").ToString(), "\"a b\"");
    EXPECT_EQ(CFactor(&log, TYPE_ARGUMENT_TERMINATOR).ToString(), "unknown value type");
    EXPECT_EQ(CFactor(&log, static_cast<FactorType>(42)).ToString(), "unknown value type");
    EXPECT_FALSE(CFactor(&log, static_cast<FactorType>(42)).IsNumeric());
    EXPECT_EQ(String(&log, "12").ToDouble(), 0.0);
    EXPECT_EQ(Int(&log, 3).ToDouble(), 3.0);
    EXPECT_EQ(Float(&log, 0.5f).ToDouble(), 0.5);
}

TEST(FactorTest, ConvertingAssignmentKeepsTypeNameAndListener) {
    MessageLog log, other;
    CFactor target = Int(&log, 1, "i");
    target = Float(&other, 2.9f, "src");
    EXPECT_EQ(target.GetType(), TYPE_INT);
    EXPECT_EQ(target.GetIntValue(), 2);
    EXPECT_EQ(target.GetName(), "i");
    EXPECT_EQ(target.GetListener(), &log);
    EXPECT_EQ(log.lines, std::vector<std::string>{"W truncation from 'float' to 'int': Information may be lost."});
    target = Float(&log, -2.9f);
    EXPECT_EQ(target.GetIntValue(), -2);

    CFactor real = Float(&log, 0, "f");
    real = Int(&log, 3);
    EXPECT_EQ(real.GetType(), TYPE_FLOAT);
    EXPECT_EQ(real.GetFloatValue(), 3.0f);
    EXPECT_EQ(log.lines.size(), 2u);
}

TEST(FactorTest, MismatchLeavesTheTargetAndNamesIt) {
    MessageLog log;
    CFactor x = Int(&log, 9, "x");
    x = String(&log, "s");
    CFactor s = String(&log, "keep", "s");
    s = Float(&log, 0.5f);
    EXPECT_EQ(x.GetIntValue(), 9);
    EXPECT_EQ(s.GetStringValue(), "keep");
    EXPECT_EQ(log.lines, (std::vector<std::string>{"E type mismatch: x = \"s\"", "E type mismatch: s = 0.500000"}));
}

TEST(FactorTest, StringTakesATerminatorsEmptyTextSilently) {
    MessageLog log;
    CFactor s = String(&log, "old", "s");
    s = CFactor(&log, TYPE_ARGUMENT_TERMINATOR);
    EXPECT_EQ(s.GetStringValue(), "");
    EXPECT_TRUE(log.lines.empty());
}

TEST(FactorTest, SelfAssignmentDoesNothing) {
    MessageLog log;
    CFactor i = Int(&log, 5, "i");
    CFactor& alias = i;
    i = alias;
    EXPECT_EQ(i.GetIntValue(), 5);
    EXPECT_TRUE(log.lines.empty());
}

TEST(FactorTest, CopyFromCopiesEverything) {
    MessageLog log, other;
    CFactor target = Int(&log, 1, "i");
    target.CopyFrom(String(&other, "t", "n"));
    EXPECT_EQ(target.GetType(), TYPE_STRING);
    EXPECT_EQ(target.GetName(), "n");
    EXPECT_EQ(target.GetStringValue(), "t");
    EXPECT_EQ(target.GetListener(), &other);
}

TEST(FactorTest, ReportWithoutListenerThrows) {
    CFactor orphan(nullptr);
    EXPECT_THROW(orphan.NotifyError("x"), trivale::EException);
    try {
        orphan.NotifyWarning("x");
        FAIL();
    } catch (const trivale::EException& e) {
        EXPECT_EQ(e.GetMessage(), "error listener is NULL");
        EXPECT_NE(e.GetOrigin().find("CFactor"), std::string::npos);
    }
}

TEST(FactorTest, TruncateToIntSaturates) {
    EXPECT_EQ(TruncateToInt(2.9), 2);
    EXPECT_EQ(TruncateToInt(-2.9), -2);
    EXPECT_EQ(TruncateToInt(3e9), 2147483647);
    EXPECT_EQ(TruncateToInt(-3e9), -2147483647 - 1);
    EXPECT_EQ(TruncateToInt(2147483647.5), 2147483647);
    EXPECT_EQ(TruncateToInt(-2147483648.5), -2147483647 - 1);
    EXPECT_EQ(TruncateToInt(1.0 / 0.0), 2147483647);
    EXPECT_EQ(TruncateToInt(0.0 / 0.0), 0);
}

TEST(VariableTableTest, DeclareTwiceKeepsTheFirst) {
    MessageLog log;
    CVariableTable table;
    EXPECT_TRUE(table.Declare("a", Int(&log, 1, "a")));
    EXPECT_FALSE(table.Declare("a", Int(&log, 2, "a")));
    CFactor out(&log);
    EXPECT_TRUE(table.Get("a", out));
    EXPECT_EQ(out.GetIntValue(), 1);
    EXPECT_EQ(out.GetName(), "a");
}

TEST(VariableTableTest, AssignConvertsAndAnswersTrueEvenOnMismatch) {
    MessageLog log;
    CVariableTable table;
    table.Declare("i", Int(&log, 0, "i"));
    EXPECT_TRUE(table.Assign("i", Float(&log, 7.8f)));
    EXPECT_TRUE(table.Assign("i", String(&log, "x")));
    EXPECT_FALSE(table.Assign("nope", Int(&log, 1)));
    CFactor out(&log);
    table.Get("i", out);
    EXPECT_EQ(out.GetIntValue(), 7);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"W truncation from 'float' to 'int': Information may be lost.",
                                                   "E type mismatch: i = \"x\""}));
}

TEST(VariableTableTest, GetOfAnAbsentNameLeavesTheOutput) {
    MessageLog log;
    CVariableTable table;
    CFactor out = Int(&log, 42, "keep");
    EXPECT_FALSE(table.Get("x", out));
    EXPECT_EQ(out.GetIntValue(), 42);
    EXPECT_EQ(out.GetName(), "keep");
}

TEST(VariableTableTest, DeleteThenRedeclareAndCaseMatters) {
    MessageLog log;
    CVariableTable table;
    table.Clear();
    table.Declare("a", Int(&log, 1, "a"));
    table.Declare("A", Int(&log, 2, "A"));
    EXPECT_TRUE(table.Delete("a"));
    EXPECT_FALSE(table.Delete("a"));
    EXPECT_TRUE(table.Declare("a", String(&log, "s", "a")));
    CFactor out(&log);
    table.Get("A", out);
    EXPECT_EQ(out.GetIntValue(), 2);
    table.Clear();
    EXPECT_FALSE(table.Get("A", out));
}

TEST(FactorStackTest, PopsInReverseAndEmptyPopGivesIntZeroWithTheDefaultListener) {
    MessageLog log;
    CFactorStack stack(&log);
    stack.Push(Int(&log, 1));
    stack.Push(Float(&log, 2));
    stack.Push(String(&log, "3"));
    EXPECT_EQ(stack.Pop().GetStringValue(), "3");
    EXPECT_EQ(stack.Pop().GetFloatValue(), 2.0f);
    EXPECT_EQ(stack.Pop().GetIntValue(), 1);
    const CFactor extra = stack.Pop();
    EXPECT_EQ(extra.GetType(), TYPE_INT);
    EXPECT_EQ(extra.GetIntValue(), 0);
    EXPECT_EQ(extra.GetListener(), &log);
    EXPECT_TRUE(stack.IsEmpty());
}

}  // namespace
}  // namespace script_test
