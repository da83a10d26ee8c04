// The engine's host interface, the function sets and the limits that keep a bad script harmless.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "ScriptTestSupport.h"
#include "tests/core/TestUtil.h"

namespace script_test {
namespace {

using trivale::type_a::simple_script::standard_library::RegisterStandardLibrary;

TEST(EngineTest, ProgramCounterGotoAndTheEnd) {
    ScriptRig rig("print(1)\n*here\nend\nprint(2)");
    EXPECT_TRUE(rig.engine.Goto("here"));
    EXPECT_EQ(rig.engine.GetProgramCounter(), 1);
    EXPECT_FALSE(rig.engine.Goto("Here"));  // a missing label leaves the counter
    EXPECT_EQ(rig.engine.GetProgramCounter(), 1);
    EXPECT_TRUE(rig.engine.SetProgramCounter(0));
    rig.engine.Run();
    EXPECT_EQ(rig.engine.GetProgramCounter(), 5);
    EXPECT_FALSE(rig.engine.SetProgramCounter(0));  // refused once ended
    EXPECT_EQ(rig.engine.GetProgramCounter(), 5);
    // The host's failed Goto is counted at the next report point, the start of Run.
    EXPECT_EQ(rig.recorder.lines,
              (std::vector<std::string>{"E label '*Here' not found", "S 1 error(s) in t.tvs(1)", "P 1 "}));
}

TEST(EngineTest, NoSourceDoesNothing) {
    CSimpleScriptEngine engine;
    Recorder recorder;
    engine.SetListener(&recorder);
    engine.Run();
    engine.Interrupt("x");
    EXPECT_FALSE(engine.SetProgramCounter(0));
    EXPECT_TRUE(recorder.lines.empty());
}

TEST(EngineTest, ResetKeepsTheReturnStack) {
    ScriptRig rig("gosub *s\nprint(\"back\")\nend\n*s\nsleep\nreturn");
    rig.engine.Run();
    rig.engine.Reset();
    EXPECT_TRUE(rig.engine.Return());
    EXPECT_EQ(rig.engine.GetProgramCounter(), 0);
}

// With a listener or without, every message reaches the log with the place it came from; without
// one, the per-line summaries too, as located errors.
TEST(EngineTest, EveryMessageGoesToTheLogWithItsFileAndLine) {
    for (bool listened : {false, true}) {
        tvtest::CapturedLog log;
        CSimpleScriptSource source;
        LoadSource(source, "print(\"hello\")\nx = 1\nint i = 1.5\n)(");
        source.SetName("quiet.tvs");
        CSimpleScriptEngine engine;
        Recorder recorder;
        if (listened) engine.SetListener(&recorder);
        RegisterStandardLibrary(engine);
        engine.SetSource(&source);
        engine.Run();
        const auto summary = [listened](const std::string& text) {
            return listened ? std::string() : "ERROR: \n\t" + text + "\n\tscript/SimpleScriptEngine.cpp(N)\n";
        };
        EXPECT_EQ(std::regex_replace(log.Text(), std::regex("\\.cpp\\(\\d+\\)"), ".cpp(N)"),
                  "INFO: hello\n"
                  "ERROR: script error: variable 'x' not found in quiet.tvs(2)\n"
                  "ERROR: script error: variable '' not found in quiet.tvs(2)\n" +
                      summary("2 error(s) in quiet.tvs(2)") +
                      "INFO: script warning: truncation from 'float' to 'int': Information may be lost. in "
                      "quiet.tvs(3)\n" +
                      summary("1 warning(s) in quiet.tvs(3)") + "ERROR: script error: syntax error in quiet.tvs(4)\n" +
                      summary("1 error(s) in quiet.tvs(4)"));
        EXPECT_EQ(recorder.lines.size(), listened ? 8u : 0u);
    }
}

TEST(EngineTest, AHostExceptionLeavesNothingBehind) {
    ScriptRig rig("*OnInitialize\nprint(1, boom())\nreturn\n*main\nsleep 0\nprint(2)\nreturn");
    rig.engine.Goto("main");
    EXPECT_THROW(rig.engine.Interrupt("OnInitialize"), trivale::EException);
    EXPECT_TRUE(rig.engine.GetFactorStack().IsEmpty());
    EXPECT_TRUE(rig.engine.GetStringBuffer().empty());
    // As if the subroutine had returned: the main flow goes on where it was, may sleep, and its
    // stray return finds no entry of the interrupt's.
    EXPECT_EQ(rig.engine.GetProgramCounter(), 3);
    rig.engine.Run();
    EXPECT_EQ(rig.recorder.lines, (std::vector<std::string>{"P 2 ", "E too match return", "S 1 error(s) in t.tvs(7)"}));
}

// ---- Limits -------------------------------------------------------------------------------------

TEST(EngineLimitTest, OneRunExecutesAtMostTheLineBudget) {
    ScriptRig rig("int i = 0\n*a\ni = i + 1\ngoto *a");
    rig.engine.SetLimits(1000, 1000);
    CFactor i(&rig.engine);
    rig.engine.Run();
    // int, *a, then pairs of (i = i + 1, goto *a): the label line itself runs only once.
    EXPECT_TRUE(rig.engine.GetVariableTable().Get("i", i));
    EXPECT_EQ(i.GetIntValue(), 499);
    // The last line run was the goto: the next frame goes on with the loop body.
    EXPECT_EQ(rig.engine.GetProgramCounter(), 2);
    rig.engine.Run();
    rig.engine.GetVariableTable().Get("i", i);
    EXPECT_EQ(i.GetIntValue(), 999);
    EXPECT_TRUE(rig.recorder.lines.empty());
}

// s, just below the length cap; what a script could build by doubling.
std::size_t DeclareLongString(CSimpleScriptEngine& engine) {
    const std::size_t length = (std::size_t{1} << 20) - 4096;
    CFactor s(&engine, TYPE_STRING);
    s.SetName("s");
    s.SetStringValue(std::string(length, 'a'));
    engine.GetVariableTable().Declare("s", s);
    return length;
}

std::size_t LengthOfS(CSimpleScriptEngine& engine) {
    CFactor s(&engine);
    engine.GetVariableTable().Get("s", s);
    return s.GetStringValue().size();
}

TEST(EngineLimitTest, Regression_AppendLoopNearTheCapEndsTheFrameByItsWork) {
    // Each pass once copied the string five times, and a frame ran the whole line budget of passes
    // (about 25 s). A pass now counts the string's length against the work budget, so 4 MiB allow
    // five passes; the frame then ends as when its lines run out.
    const struct {
        const char* script;
        const char* host;
        std::size_t growth;
        std::vector<std::string> expected;
    } cases[] = {
        {"*l\ns = s + \"x\"\ngoto *l", "R R", 10, {"@R", "@R"}},
        {"*OnInitialize\n*l\ns = s + \"x\"\ngoto *l",
         "I:OnInitialize",
         5,
         {"@I:OnInitialize", "E too much string work in interrupt mode", "S 1 error(s) in t.tvs(3)"}},
    };
    for (const auto& c : cases) {
        ScriptRig rig(c.script);
        rig.engine.SetLimits(1000000, 1000, std::size_t{4} << 20);
        const std::size_t length = DeclareLongString(rig.engine);
        rig.Host(c.host);
        EXPECT_EQ(LengthOfS(rig.engine), length + c.growth) << c.script;
        EXPECT_EQ(rig.recorder.lines, c.expected);
    }
}

// An initialisation that builds a string a kilobyte at a time until the work limit strikes: the
// interrupt has no later frame to go on in, so it stops there, and the limit is what is reported,
// under the line where it struck, in the log by file and line too; the main flow starts as usual.
TEST(EngineLimitTest, Regression_StringWorkInAnInterruptIsReportedAsSuch) {
    const std::string kilobyte(1024, 'k');
    ScriptRig rig("*OnInitialize\nstring k = \"" + kilobyte +
                  "\"\nstring s = \"\"\nint n = 0\n*grow\ns = s + k\nn = n + 1\nif n < 100000 goto *grow\n"
                  "print(\"done\")\nreturn\n*main\nprint(\"main\")");
    rig.engine.SetLimits(1000000, 1000, std::size_t{4} << 20);
    tvtest::CapturedLog log;
    rig.Host("I:OnInitialize G:main R");
    EXPECT_EQ(rig.recorder.lines,
              (std::vector<std::string>{"@I:OnInitialize", "E too much string work in interrupt mode",
                                        "S 1 error(s) in t.tvs(6)", "@G:main", "@R", "P main"}));
    EXPECT_EQ(log.Count("ERROR: script error: too much string work in interrupt mode in t.tvs(6)\n"), 1);
    EXPECT_EQ(log.Count("must return"), 0);
    // A line that alone overruns the work inside an interrupt is cut and reported once, as a line.
    ScriptRig single("*OnInitialize\nprint(s, s, s, s, s)\nreturn\n*main\nprint(\"main\")");
    single.engine.SetLimits(10000, 1000, std::size_t{4} << 20);
    DeclareLongString(single.engine);
    single.Host("I:OnInitialize G:main R");
    EXPECT_EQ(single.recorder.lines, (std::vector<std::string>{"@I:OnInitialize", "E too much string work in one line",
                                                               "S 1 error(s) in t.tvs(2)", "@G:main", "@R", "P main"}));
}

TEST(EngineLimitTest, ALineThatAloneOverrunsTheWorkIsCutThere) {
    ScriptRig rig("print(calls(), s, s, s, s, s)\nprint(\"next\")");
    rig.engine.SetLimits(10000, 1000, std::size_t{4} << 20);
    DeclareLongString(rig.engine);
    rig.Host("R R");
    // The call before the cut ran; the print did not, the cut is the line's error, and the next
    // frame goes on below the line.
    EXPECT_EQ(rig.calls, 1);
    EXPECT_EQ(rig.recorder.lines, (std::vector<std::string>{"@R", "E too much string work in one line",
                                                            "S 1 error(s) in t.tvs(1)", "@R", "P next"}));
}

TEST(EngineLimitTest, Regression_SeventyComparisonsOnHalfAMebibyteAreReported) {
    // Each comparison counts both sides, so the line wants 70 MiB of the 64 MiB a line may do.
    std::string line = "n = 0";
    for (int i = 0; i < 70; ++i) line += " + (s == s)";
    ScriptRig rig("string s = \"a\"\nint k = 0\nint n = 0\n*double\ns = s + s\nk = k + 1\nif k < 19 goto *double\n" +
                  line + "\nprint(n)");
    tvtest::CapturedLog log;
    rig.Host("R R");
    EXPECT_EQ(rig.recorder.lines, (std::vector<std::string>{"@R", "E too much string work in one line",
                                                            "S 1 error(s) in t.tvs(8)", "@R", "P 0 "}));
    EXPECT_EQ(log.Count("ERROR: script error: too much string work in one line in t.tvs(8)\n"), 1);
}

TEST(EngineLimitTest, Regression_GosubRecursionIsBounded) {
    ScriptRig rig("*a\ngosub *a\nprint(1)");
    rig.engine.Run();
    // The refused gosub is reported and the script goes on below it.
    EXPECT_EQ(rig.recorder.lines,
              (std::vector<std::string>{"E gosub nesting too deep", "S 1 error(s) in t.tvs(2)", "P 1 "}));
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(rig.engine.Return());
    EXPECT_FALSE(rig.engine.Return());
}

TEST(EngineLimitTest, Regression_DeepCallsFailWithoutExhaustingTheStack) {
    std::string line = "print(";
    for (int i = 0; i < 50000; ++i) line += "abs(";
    ScriptRig rig(line + "1" + std::string(50001, ')'));
    rig.engine.Run();
    // Each abandoned call level is retried as a variable of that name, as the grammar's ordered
    // choice does for any failing call; the nesting limit keeps that to 257 levels.
    const std::vector<std::string>& lines = rig.recorder.lines;
    ASSERT_EQ(lines.size(), 257u + 2u);
    for (std::size_t i = 0; i < 257; ++i) ASSERT_EQ(lines[i], "E variable 'abs' not found");
    EXPECT_EQ(lines[257], "E syntax error in t.tvs(1)");
    EXPECT_EQ(lines[258], "S 258 error(s) in t.tvs(1)");
}

// ---- Float literals -----------------------------------------------------------------------------

std::string Bits(const char* literal) {
    const float value = std::strtof(literal, nullptr);
    std::int32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return std::to_string(bits);
}

TEST(FloatLiteralTest, Regression_LiteralsAreCorrectlyRounded) {
    // Every literal 0.000 .. 2.999, against the C library's correctly rounded conversion; 0.021
    // (0x3CAC0831) is one that a digit-by-digit accumulation gets wrong.
    std::string script = "print(bits(3.4028235e38), bits(3.4028236e38), bits(1e-45), bits(-0.0))\n";
    std::vector<std::string> expected = {"P 2139095039 2139095040 1 " + Bits("-0.0") + " "};
    for (int i = 0; i < 3000; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "%d.%03d", i / 1000, i % 1000);
        script += "print(bits(" + std::string(text) + "))\n";
        expected.push_back("P " + Bits(text) + " ");
    }
    ScriptRig rig(script);
    rig.engine.Run();
    EXPECT_EQ(rig.recorder.lines, expected);
    EXPECT_EQ(Bits("0.021"), std::to_string(0x3CAC0831));
}

TEST(FloatLiteralTest, ProcessLocaleDoesNotMatter) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma installed";
    ScriptRig rig("print(1.5, 2.25 + 1)");
    rig.engine.Run();
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(rig.recorder.lines, std::vector<std::string>{"P 1.500000 3.250000 "});
}

// ---- Functions and sets -------------------------------------------------------------------------

TEST(FunctionSetTest, RegisterReplacesAndCallAnswersForKnownNamesOnly) {
    CSimpleScriptEngine engine;
    CCustomFunctionSet set;
    Add(set, "p", [](CStandardCustomFunction&, CSimpleScriptEngine& c, const Args&) { return IntResult(c, 1); });
    Add(set, "p", [](CStandardCustomFunction&, CSimpleScriptEngine& c, const Args&) { return IntResult(c, 2); });
    CFactor result(&engine, TYPE_STRING);
    result.SetStringValue("untouched");
    EXPECT_FALSE(set.Call(engine, result, "q", {}));
    EXPECT_EQ(result.GetStringValue(), "untouched");
    EXPECT_TRUE(set.Call(engine, result, "p", {}));
    EXPECT_EQ(result.GetIntValue(), 2);
}

// A function may replace the checks; callers holding the base reach the replacement.
TEST(FunctionSetTest, TheArgumentChecksCanBeReplaced) {
    using Types = std::initializer_list<trivale::type_a::simple_script::FactorType>;
    struct Lenient : CStandardCustomFunction {
        Lenient() : CStandardCustomFunction("lenient") {}
        CFactor Call(CSimpleScriptEngine& c, const Args&) override { return IntResult(c, 0); }
        bool CheckArguments(const Args&, int, Types) override { return true; }
        bool CheckArgumentsOrReport(CSimpleScriptEngine&, const Args&, int, Types) override { return true; }
    } lenient;
    CSimpleScriptEngine engine;
    CStandardCustomFunction& base = lenient;
    EXPECT_TRUE(base.CheckArguments({}, 1, {TYPE_INT}));
    EXPECT_TRUE(base.CheckArgumentsOrReport(engine, {}, 1, {TYPE_INT}));
}

TEST(FunctionSetTest, FewerTypesThanArgumentsIsAMismatchNotAnOverrun) {
    CSimpleScriptEngine engine;
    const auto body = [](CStandardCustomFunction&, CSimpleScriptEngine& c, const Args&) { return IntResult(c, 0); };
    TestFunction<decltype(body)> f("f", body);
    EXPECT_FALSE(f.CheckArguments({IntResult(engine, 1), IntResult(engine, 2)}, 2, {TYPE_FLOAT}));
}

}  // namespace
}  // namespace script_test
