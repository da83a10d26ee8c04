// The language as a script's author sees it: a snippet, the host steps that run it, and exactly what
// the host receives (as the Recorder writes it; "@step" marks each host step when the
// case names its steps, a bare case is one Run).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScriptTestSupport.h"

namespace script_test {
namespace {

struct Case {
    const char* name;
    std::string script;
    std::vector<std::string> expected;
    const char* host = "";
};

std::ostream& operator<<(std::ostream& out, const Case& c) { return out << c.name; }
std::string CaseName(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

class LanguageTest : public ::testing::TestWithParam<Case> {};

TEST_P(LanguageTest, HostReceivesExactly) {
    const Case& c = GetParam();
    ScriptRig rig(c.script);
    if (*c.host)
        rig.Host(c.host);
    else
        rig.engine.Run();
    EXPECT_EQ(rig.recorder.lines, c.expected) << "script:\n" << c.script;
}

std::string Repeat(const std::string& text, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += text;
    return out;
}

std::vector<std::string> SyntaxErrorAt(int line) {
    const std::string n = std::to_string(line);
    return {"E syntax error in t.tvs(" + n + ")", "S 1 error(s) in t.tvs(" + n + ")"};
}
std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}
// Lines first..last each fail to parse and report nothing else.
std::vector<std::string> SyntaxErrors(int first, int last) {
    std::vector<std::string> out;
    for (int line = first; line <= last; ++line) out = Join({out, SyntaxErrorAt(line)});
    return out;
}

const std::string kTruncation = "W truncation from 'float' to 'int': Information may be lost.";
const std::string kParameterMismatch = "E function call parameter mismatch";

// ---- Statements and the grammar's ordered choice ------------------------------------------------

const Case kGrammar[] = {
    {"KeywordsAreNotReservedAndTheirPrefixesStillFire",
     "int if = 2\nfloat goto = 1.5\nprint(if, goto)\ninteger = 5\nint x = endgame()",
     {"P 2 1.500000 ", "E variable 'integer' not found", "E variable '' not found", "S 2 error(s) in t.tvs(4)",
      "E function endgame() not found", "S 1 error(s) in t.tvs(5)"}},
    {"EndPrefixEndsThenFailsTheLine",
     "print(0)\nendgame()\nprint(1)",
     {"@R", "P 0 ", "E syntax error in t.tvs(2)", "S 1 error(s) in t.tvs(2)", "@R"},
     "R R"},
    {"SleepPrefixAndSleepWithParenthesisSleepOneFrameThenFail", "sleepy(2)\nsleep(3)\nsleep (3)\nprint(1)",
     Join({{"@R"}, SyntaxErrorAt(1), {"@R"}, SyntaxErrorAt(2), {"@R", "@R", "@R", "@R", "P 1 "}}), "R R R R R R"},
    {"GotoBlanksAroundTheStar", "goto   *  a\nprint(1)\n*a\nprint(2)", {"P 2 "}},
    {"IfWithParenthesisIsACallNamedIf",
     "if(1) goto *a\n*a",
     {"E function if() not found", "E syntax error in t.tvs(1)", "S 2 error(s) in t.tvs(1)"}},
    {"DoubleEqualsStatementPushesTheTargetFirst",
     "x == 5",
     {"E variable 'x' not found", "E syntax error in t.tvs(1)", "S 2 error(s) in t.tvs(1)"}},
    {"ComparisonsAndPrecedence",
     "int a = 1\nint b = 2\nprint(a <= b, a >= b, a < b, a > b)\nprint(a == 1 && b == 2)\nprint((a == 1) && (b == "
     "2))\nprint(1 + 2 * 3, 1 - 2 - 3, 12 / 2 / 3, (1 + 2) * 3, 2 * 3 + 1 == 7)",
     Join({{"P 1 0 1 0 "}, SyntaxErrorAt(4), {"P 1 ", "P 7 -4 2 9 1 "}})},
    {"OperatorIsTriedBeforeASignedLiteral", "int x = 5\nprint(x - -1, x-1, x -1, 0 - x, 1-1)", {"P 6 4 4 -5 0 "}},
    {"NoUnaryMinusOnAVariable", "int x = 5\ny = -x\nint y\ny = - 1\nprint(y)",
     Join({{"E variable 'y' not found", "E syntax error in t.tvs(2)", "S 2 error(s) in t.tvs(2)"},
           SyntaxErrorAt(4),
           {"P 0 "}})},
    {"CallArgumentsLeftToRightInnerFirst", "print(calls(), abs (calls()), calls())\nprint (1)", {"P 0 1 2 ", "P 1 "}},
    {"NotALine",
     "goto*a\ngoto a\nprint(1 < 2 < 3)\nint \xC3\xA9 = 1\nprint(2147483648)\nprint(9999999999)\nprint(-2147483649)\n"
     "print(1e)\nprint(1.5e)\nprint(\"\\x80\")\nprint(\"\\400\")\nprint(\"\\x\")\nprint(\"abc)\n*a",
     SyntaxErrors(1, 13)},
    {"TrailingBlanksAndCommentsAfterEveryStatement",
     " \t \nint x = 1 ' c\nx = 2   ' c\nprint(x)\t \t\ndelete x ' c\ngoto *l ' c\nprint(\"skipped\")\n"
     "*l ' label with a comment\ngosub *s ' c\nsleep ' c\nsleep 1 ' c\nif 1 goto *e ' c\n*s\nreturn ' c\n*e\n"
     "end ' c  \n",
     {"@R", "P 2 ", "@R", "@R"},
     "R R R"},
};
INSTANTIATE_TEST_SUITE_P(Grammar, LanguageTest, ::testing::ValuesIn(kGrammar), CaseName);

// ---- Literals and escapes -----------------------------------------------------------------------

const Case kLiterals[] = {
    {"NumberLiterals",
     "print(15, -2147483648, +7, 007)\nprint(1.5, 1., .5, -0.25, 1e3, 2.5E-2, +1.5, 1.e2, 3E+1)\nprint(1e39, -1e39, "
     "1e-50, 1e99999999999)",
     {"P 15 -2147483648 7 7 ",
      "P 1.500000 1.000000 0.500000 -0.250000 1000.000000 0.025000 1.500000 100.000000 30.000000 ",
      "P inf -inf 0.000000 inf "}},
    {"RealLiteralsOfAnyLength", "print(0." + Repeat("1", 400) + ", 1" + Repeat("0", 400) + ".5)", {"P 0.111111 inf "}},
    {"StringEscapes",
     R"(print("\x41\101\q\"\\\'|\t|\b\n\f\r|\8\9|\x7F"))"
     "\n"
     R"(print("\0a", "\x0041"))"
     "\n"
     R"(print("\1010"))"
     "\n"
     R"(print("\x414"))",
     Join({{"P AAq\"\\'|\t|\b\n\f\r|89|\x7f", std::string("P \0aA", 5)}, SyntaxErrors(3, 4)})},
    {"Utf8InStrings",
     "print(\"\xE3\x81\x82\")\nprint(\"\xE3\x81\x82\\n\xE3\x82\xBD\\\"\xC3\xA9\\\\\")\n"
     "print(\"\\x7f\" < \"\xC3\xA9\", \"\xC3\xA9\" < \"\xE3\x81\x82\")",
     {"P \xE3\x81\x82", "P \xE3\x81\x82\n\xE3\x82\xBD\"\xC3\xA9\\", "P 1 1 "}},
};
INSTANTIATE_TEST_SUITE_P(Literals, LanguageTest, ::testing::ValuesIn(kLiterals), CaseName);

// ---- Values and conversions ---------------------------------------------------------------------

const Case kConversions[] = {
    {"FloatToIntTruncatesTowardZeroAlwaysWithAWarning",
     "int i = 2.9\nprint(i)\ni = -2.9\ni = 2.0\nprint(i)",
     {kTruncation, "S 1 warning(s) in t.tvs(1)", "P 2 ", kTruncation, "S 1 warning(s) in t.tvs(3)", kTruncation,
      "S 1 warning(s) in t.tvs(4)", "P 2 "}},
    {"DeclarationsStartAtZeroAndIntToFloatIsSilent",
     "int i\nfloat f\nstring s\nprint(i, f, s, \"|\")\nf = 3\nprint(f)",
     {"P 0 0.000000 |", "P 3.000000 "}},
    {"MismatchTextsQuoteStringsAndShowSixDecimals",
     "int i = \"x\"\nstring s = 1.5\nstring t = 7\nprint(i, s, t)",
     {"E type mismatch: i = \"x\"", "S 1 error(s) in t.tvs(1)", "E type mismatch: s = 1.500000",
      "S 1 error(s) in t.tvs(2)", "E type mismatch: t = 7", "S 1 error(s) in t.tvs(3)", "P 0 "}},
    {"StringCopiesKeepTheirValueWhileTheOriginalGrows",
     "string s = \"ab\"\nstring t = s\ns = s + \"c\"\nstring u = s + \"d\"\ns = s + \"e\" + s\nt = t\nprint(t, \"|\", "
     "u, \"|\", s)",
     {"P ab|abcd|abceabc"}},
    {"UndeclaredReadGivesIntZero",
     "int x = 7\nfloat f = 1.5\nstring s = \"keep\"\nx = y\nf = y\ns = y\nprint(x, f, s)",
     {"E variable 'y' not found", "S 1 error(s) in t.tvs(4)", "E variable 'y' not found", "S 1 error(s) in t.tvs(5)",
      "E variable 'y' not found", "E type mismatch: s = 0", "S 2 error(s) in t.tvs(6)", "P 0 0.000000 keep"}},
    {"RedefinitionKeepsTheOldValueDeleteAllowsAnotherType",
     "int x = 5\nint x = 7\nfloat x\nint X = 2\nprint(x)\ndelete x\nstring x = \"s\"\nprint(x, X)\ndelete q",
     {"E 'x' : redefinition", "E variable '@@redefinition_error@@' not found", "S 2 error(s) in t.tvs(2)",
      "E 'x' : redefinition", "S 1 error(s) in t.tvs(3)", "P 5 ", "P s2 ", "E variable 'q' not found",
      "S 1 error(s) in t.tvs(9)"}},
    {"FloatToIntSaturatesAndNaNGivesZero",
     "int a = 1e10\nint b = -1e10\nint c = 0.0 / 0\n"
     "print(a, b, c, truncate(1e10), truncate(-1e10), truncate(0.0 / 0))",
     {kTruncation, "S 1 warning(s) in t.tvs(1)", kTruncation, "S 1 warning(s) in t.tvs(2)", kTruncation,
      "S 1 warning(s) in t.tvs(3)", "P 2147483647 -2147483648 0 2147483647 -2147483648 0 "}},
};
INSTANTIATE_TEST_SUITE_P(Conversions, LanguageTest, ::testing::ValuesIn(kConversions), CaseName);

// ---- Operators ----------------------------------------------------------------------------------

// One line with every operator's mismatch, in this order.
std::vector<std::string> Mismatches(const std::vector<const char*>& ops) {
    std::vector<std::string> out;
    for (const char* op : ops) out.push_back(std::string("E type mismatch: operation [struct std::") + op + "<int>]");
    out.push_back("P " + Repeat("0 ", static_cast<int>(ops.size())));
    out.push_back("S " + std::to_string(ops.size()) + " error(s) in t.tvs(1)");
    return out;
}

const Case kOperators[] = {
    {"Results",
     "print(7/2, 7.0/2, -7/2, -7%2, 7%-2, 2.5 * 2, 1 + 0.5, 3 - 0.5, 1.0 / 0, -1 / 0.0)\n"
     "print(2147483647 + 1, -2147483648 - 1, 65536 * 65536, 65537 * 65537)\n"
     "print(\"ab\" + \"cd\", \"ab\" < \"abc\", \"abc\" < \"abd\", \"b\" > \"abc\", \"x\" == \"x\", \"x\" != \"x\")\n"
     "print(1 == 1.0, 1 != 2, 2 < 1, 2 <= 2, 3 > 2.5, 2 >= 3, (1 < 2) + 1, -1 < 0)\n"
     "print(!0, !7, !!7, 3 && 4, 0 && 4, 0 || 0, 2 || 0)\n"
     "print(0 && calls(), 1 || calls(), calls())",
     {"P 3 3.500000 -3 -1 1 5.000000 1.500000 2.500000 inf -inf ", "P -2147483648 2147483647 0 131073 ",
      "P abcd1 1 1 1 0 ", "P 1 1 0 1 1 0 2 1 ", "P 1 0 1 1 0 0 1 ", "P 0 1 2 "}},
    {"Mismatches",
     "print(\"a\" + 1, 1 + \"a\", \"a\" - \"b\", \"a\" * 2, 2 / \"a\", 5 % 2.0, 1.0 && 1, 1 || \"x\", \"a\" == 1, "
     "\"a\" != 1, 1 < \"a\", \"a\" <= 1, \"a\" > 1, \"a\" >= 1)",
     Mismatches({"plus", "plus", "minus", "multiplies", "divides", "modulus", "logical_and", "logical_or", "equal_to",
                 "not_equal_to", "less", "less_equal", "greater", "greater_equal"})},
    {"NotNeedsAnInt",
     "print(!0.0, !\"x\")",
     {"E value type must be int when using operator '!'", "E value type must be int when using operator '!'", "P 0 0 ",
      "S 2 error(s) in t.tvs(1)"}},
};
INSTANTIATE_TEST_SUITE_P(Operators, LanguageTest, ::testing::ValuesIn(kOperators), CaseName);

// ---- Control flow and timing --------------------------------------------------------------------

const Case kControl[] = {
    {"SleepZeroNegativeAndNotAnInt",
     "sleep 0\nsleep -1\nsleep 1.5\nsleep \"x\"\nprint(1)",
     {"E sleep statement: parameter type mismatch", "S 1 error(s) in t.tvs(3)",
      "E sleep statement: parameter type mismatch", "S 1 error(s) in t.tvs(4)", "P 1 "}},
    {"Labels",
     "goto *nowhere\ngoto *Main\n*main\nprint(1)\n*Main\ngoto *a\n*a\nprint(2)\nend\n*a\nprint(3)",
     {"E label '*nowhere' not found", "S 1 error(s) in t.tvs(1)", "P 3 "}},
    {"GosubAndReturn",
     "return\ngosub *s\nprint(\"back\")\nend\n*s\ngosub *t\nprint(\"in\")\nreturn\n*t\nprint(\"t\")\nreturn",
     {"E too match return", "S 1 error(s) in t.tvs(1)", "P t", "P in", "P back"}},
    {"MessagesNameTheLineThatRanAndOneSummaryCountsThemAll",
     "goto *x junk\nprint(1)\n*x\ngoto *y\n*y\nprint(q, b)\nprint(\"half\") oops\n\n\nprint(\n",
     Join({SyntaxErrorAt(1),
           {"E variable 'q' not found", "E variable 'b' not found", "P 0 0 ", "S 2 error(s) in t.tvs(6)", "P half"},
           SyntaxErrorAt(7),
           SyntaxErrorAt(10)})},
    {"IfForms",
     "int x = 1\nif x goto *a\nprint(\"not\")\n*a\nif x == 1 goto *b else gosub *c\nprint(\"not\")\n*b\n"
     "if 0 goto *z else gosub *c\nif 0 goto *z\nif 1.0 goto *z\nif \"s\" goto *z\nif 2 gosub *c else goto *z\n"
     "if 1 goto *d else\n*d\nprint(\"end\")\nend\n*c\nprint(\"c\")\nreturn\n*z\nprint(\"z\")\n",
     Join({{"P c", "E expression type mismatch: 'if' statement", "S 1 error(s) in t.tvs(10)",
            "E expression type mismatch: 'if' statement", "S 1 error(s) in t.tvs(11)", "P c"},
           SyntaxErrorAt(13),
           {"P end"}})},
    {"ResetClearsVariablesButKeepsFunctions",
     "int x = 1\nprint(x, f())",
     {"@R", "P 1 1 ", "@X", "@R", "P 1 1 "},
     "R X R"},
};
INSTANTIATE_TEST_SUITE_P(Control, LanguageTest, ::testing::ValuesIn(kControl), CaseName);

// ---- Interrupts ---------------------------------------------------------------------------------

const Case kInterrupts[] = {
    {"InterruptWithReturnLeavesThePcAlone",
     "print(\"main\")\nsleep\nprint(\"next\")\n*OnInitialize\nprint(\"init\")\nreturn",
     {"@R", "P main", "@I:OnInitialize", "P init", "@R", "P next", "P init", "E too match return",
      "S 1 error(s) in t.tvs(6)"},
     "R I:OnInitialize R"},
    {"SleepAndEndAreRefusedAndGosubNests",
     "*OnInitialize\nsleep 5\nend\ngosub *a\nprint(\"go on\")\nreturn\n*a\nprint(\"a\")\nreturn",
     {"@I:OnInitialize", "E cannot sleep in interrupt mode", "S 1 error(s) in t.tvs(2)",
      "E cannot end in interrupt mode", "S 1 error(s) in t.tvs(3)", "P a", "P go on"},
     "I:OnInitialize"},
    {"InterruptMissingLabelCountsAtTheNextReport",
     "print(1)",
     {"@I:nope", "E label '*nope' not found", "@R", "S 1 error(s) in t.tvs(1)", "P 1 "},
     "I:nope R"},
    {"HostOrder",
     "*OnInitialize\nint n = 3\nreturn\n*main\nprint(n)\nsleep\nprint(n + 1)",
     {"@I:OnInitialize", "@G:main", "@R", "P 3 ", "@R", "P 4 "},
     "I:OnInitialize G:main R R"},
    {"StrayReturnAfterAnUnreturnedInterruptIsReported",
     "*main\nreturn\n*OnInitialize\nprint(\"init\")",
     {"@I:OnInitialize", "P init", "E must return in interrupt mode", "S 1 error(s) in t.tvs(5)", "@G:main", "@R",
      "E too match return", "S 1 error(s) in t.tvs(2)", "P init"},
     "I:OnInitialize G:main R"},
    {"WaitingFunctionDoesNotWaitInAnInterrupt",
     "*OnInitialize\nprint(wait(3))\nreturn\n*main\nprint(\"main\")",
     {"@I:OnInitialize", "E cannot sleep in interrupt mode", "P 1 ", "S 1 error(s) in t.tvs(2)", "@G:main", "@R",
      "P main"},
     "I:OnInitialize G:main R"},
};
INSTANTIATE_TEST_SUITE_P(Interrupts, LanguageTest, ::testing::ValuesIn(kInterrupts), CaseName);

// ---- Functions ----------------------------------------------------------------------------------

const Case kFunctions[] = {
    // print itself comes from the standard library, which shadows the second set's print.
    {"LookupFirstSetWinsUnknownGivesIntZero",
     "print(f(), g())\nprint(nope(1))",
     {"P 1 g", "E function nope() not found", "P 0 ", "S 1 error(s) in t.tvs(2)"}},
    {"ArgumentChecks",
     "print(sin(0), jump(1.5), pi(1), to_string(\"x\"), abs(\"x\"), sin(1, 2), sin(\"x\"), abs())",
     {kParameterMismatch, kParameterMismatch, kParameterMismatch, kParameterMismatch, kParameterMismatch,
      kParameterMismatch, kParameterMismatch, "P 0.000000 0 0.000000 0 0.000000 0.000000 0 ",
      "S 7 error(s) in t.tvs(1)"}},
    {"LibraryResultsInACrLfScript",
     "print(truncate(-2.7), truncate(3), abs(-3), abs(-2.5), abs(-2147483648), abs(4))\r\n"
     "print(power(2, 10), power(2, -1), power(-8, 0.5) == power(-8, 0.5))\r\n"
     "print(sin(0.5), cos(0), tan(0), atan(1), atan2(1, 0), atan2(0, -1))\r\n"
     "print(to_radian(180), to_degree(pi()), power(2, 8))\r\n"
     "print(to_string(3), \"|\", to_string(1.5), \"|\", to_string(-7))\r\nprint()\r\nprint(\"a=\", 3)\r\n"
     "string s = to_string(12)\r\nint i = truncate(2.5)\r\nprint(s + \"!\", i * 2)",
     {"P -2 3 3 2.500000 -2147483648 4 ", "P 1024.000000 0.500000 0 ",
      "P 0.479426 1.000000 0.000000 0.785398 1.570796 3.141593 ", "P 3.141593 180.000000 256.000000 ",
      "P 3|1.500000|-7", "P ", "P a=3 ", "P 12!4 "}},
    {"WaitingFunctionRerunsItsLineEachFrame",
     "print(\"before\")\nprint(wait(3))\nprint(\"after\")",
     {"@R", "P before", "P 1 ", "@R", "P 2 ", "@R", "P 3 ", "P after", "@R"},
     "R R R R"},
    {"WaitingOnTheFirstLine", "print(wait(2))\nprint(\"after\")", {"@R", "P 1 ", "@R", "P 2 ", "P after"}, "R R"},
};
INSTANTIATE_TEST_SUITE_P(Functions, LanguageTest, ::testing::ValuesIn(kFunctions), CaseName);

// ---- Inputs that once crashed or hung -----------------------------------------------------------

const std::vector<std::string> kTooLong = {"E string too long", "E type mismatch: s = 0", "S 2 error(s) in t.tvs(4)"};

const Case kRegressions[] = {
    {"Regression_DeepParentheses", "print(" + Repeat("(", 100000) + "1" + Repeat(")", 100000) + ")", SyntaxErrorAt(1)},
    {"Regression_DeepNot", "print(" + Repeat("!", 100000) + "0)", SyntaxErrorAt(1)},
    {"Regression_DeepParenthesesInACondition", "if " + Repeat("(", 100000) + "1 goto *a", SyntaxErrorAt(1)},
    {"NestingOf256IsAllowedAnd257IsNot",
     "print(" + Repeat("(", 256) + "1" + Repeat(")", 256) + ", " + Repeat("!", 256) + "0, " + Repeat("abs(", 256) +
         "-1" + Repeat(")", 256) + ")\nprint(" + Repeat("(", 257) + "1" + Repeat(")", 257) + ")\nprint(" +
         Repeat("!", 257) + "0)",
     Join({{"P 1 0 1 "}, SyntaxErrors(2, 3)})},
    {"Regression_DivisionByZero",
     "print(1 / 0, 1 % 0, -2147483648 / -1, -2147483648 % -1)",
     {"E division by zero", "E division by zero", "P 0 0 -2147483648 0 ", "S 2 error(s) in t.tvs(1)"}},
    {"Regression_LoopWithoutSleepEndsTheFrame", "*a\ngoto *a", {"@R"}, "R"},
    {"Regression_InterruptLoopWithoutReturn",
     "*OnInitialize\n*l\ngoto *l\n*main\nprint(1)",
     {"@I:OnInitialize", "E must return in interrupt mode", "S 1 error(s) in t.tvs(6)", "@G:main", "@R", "P 1 "},
     "I:OnInitialize G:main R"},
    {"Regression_ProgramCounterBelowTheScript", "print(jump(-5))\nprint(2)", {"@R", "P 1 ", "@R"}, "R R"},
    {"Regression_ProgramCounterAtIntMax", "print(jump(2147483647))\nprint(2)", {"@R", "P 1 ", "@R"}, "R R"},
    {"Regression_StringDoubling",
     "string s = \"0123456789abcdef\"\nint i = 0\n*l\ns = s + s\ni = i + 1\nif i < 20 goto *l\nprint(s == \"\")",
     Join({kTooLong, kTooLong, kTooLong, kTooLong, {"P 0 "}})},
    {"Regression_LoneClosingParenthesis", ")\n\"\n(\n!\n*", SyntaxErrors(1, 4)},
};
INSTANTIATE_TEST_SUITE_P(Regressions, LanguageTest, ::testing::ValuesIn(kRegressions), CaseName);

}  // namespace
}  // namespace script_test
