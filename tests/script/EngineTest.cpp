// The engine's host interface, the function sets and the limits that keep a bad script harmless.
#include <gtest/gtest.h>

#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ScriptTestSupport.h"
#include "core/Log.h"

namespace script_test {
namespace {

using trivale::type_a::simple_script::standard_library::GetStandardLibrary;
using trivale::type_a::simple_script::standard_library::RegisterStandardLibrary;

std::int32_t IntVariable(CSimpleScriptEngine& engine, const std::string& name) {
    CFactor out(&engine);
    EXPECT_TRUE(engine.GetVariableTable().Get(name, out)) << name;
    return out.GetIntValue();
}

TEST(EngineTest, SetProgramCounterIsRefusedOnceEnded) {
    ScriptRig rig("print(1)\nend\nprint(2)");
    EXPECT_TRUE(rig.engine.SetProgramCounter(1));
    rig.engine.Run();
    EXPECT_EQ(rig.engine.GetProgramCounter(), 4);
    EXPECT_FALSE(rig.engine.SetProgramCounter(0));
    EXPECT_EQ(rig.engine.GetProgramCounter(), 4);
    EXPECT_TRUE(rig.recorder.lines.empty());
    EXPECT_TRUE(rig.engine.Goto("x") == false);
    rig.engine.Reset();
    EXPECT_TRUE(rig.engine.SetProgramCounter(2));
}

TEST(EngineTest, GotoSetsThePcToTheLabelLine) {
    ScriptRig rig("\n\n*here\nprint(1)");
    EXPECT_TRUE(rig.engine.Goto("here"));
    EXPECT_EQ(rig.engine.GetProgramCounter(), 2);
    EXPECT_FALSE(rig.engine.Goto("Here"));
    EXPECT_EQ(rig.engine.GetProgramCounter(), 2);
    EXPECT_EQ(rig.recorder.lines, std::vector<std::string>{"E script error: label '*Here' not found"});
}

TEST(EngineTest, InterruptWithReturnLeavesThePcExactlyWhereItWas) {
    ScriptRig rig("print(1)\nsleep\nprint(2)\n*OnInitialize\nint n = 1\nreturn");
    rig.engine.Run();
    const std::int32_t pc = rig.engine.GetProgramCounter();
    rig.engine.Interrupt("OnInitialize");
    EXPECT_EQ(rig.engine.GetProgramCounter(), pc);
    EXPECT_EQ(IntVariable(rig.engine, "n"), 1);
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

TEST(EngineTest, WithoutListenerMessagesGoToTheLog) {
    const std::string path = (std::filesystem::temp_directory_path() / ("script-engine-" + std::to_string(getpid()))).string();
    trivale::OpenLogFileAt(path);
    {
        CSimpleScriptSource source;
        LoadSource(source, "print(\"hello\")\nx = 1\nint i = 1.5");
        source.SetName("quiet.tvs");
        CSimpleScriptEngine engine;
        RegisterStandardLibrary(engine);
        engine.SetSource(&source);
        engine.Run();
    }
    trivale::CloseLogFile();
    std::ifstream in(path);
    std::stringstream log;
    log << in.rdbuf();
    std::remove(path.c_str());
    const std::string text = log.str();
    EXPECT_NE(text.find("INFO: hello"), std::string::npos) << text;
    EXPECT_NE(text.find("ERROR: \n\tscript error: variable 'x' not found\n\tscript/"), std::string::npos) << text;
    EXPECT_NE(text.find("ERROR: \n\t2 error(s) in quiet.tvs(2)\n\tscript/"), std::string::npos) << text;
    EXPECT_NE(text.find("INFO: script warning: truncation from 'float' to 'int': Information may be lost."),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("ERROR: \n\t1 warning(s) in quiet.tvs(3)"), std::string::npos) << text;
}

TEST(EngineTest, AHostExceptionLeavesNothingBehind) {
    ScriptRig rig("*OnInitialize\nprint(1, boom())\nreturn\n*main\nsleep 2\nprint(2)");
    EXPECT_THROW(rig.engine.Interrupt("OnInitialize"), trivale::EException);
    EXPECT_TRUE(rig.engine.GetFactorStack().IsEmpty());
    EXPECT_TRUE(rig.engine.GetStringBuffer().empty());
    // Not stuck in interrupt mode: the main flow may sleep.
    rig.engine.Goto("main");
    EXPECT_TRUE(rig.engine.Sleep(0));
    rig.engine.Run();
    EXPECT_TRUE(rig.recorder.lines.empty());
}

// ---- Limits -------------------------------------------------------------------------------------

TEST(EngineLimitTest, OneRunExecutesAtMostTheLineBudget) {
    ScriptRig rig("int i = 0\n*a\ni = i + 1\ngoto *a");
    rig.engine.Run();
    // int, *a, then pairs of (i = i + 1, goto *a): the label line itself runs only once.
    EXPECT_EQ(IntVariable(rig.engine, "i"), (CSimpleScriptEngine::kLineBudget - 2) / 2);
    // The last line run was the goto: the next frame goes on with the loop body.
    EXPECT_EQ(rig.engine.GetProgramCounter(), 2);
    EXPECT_TRUE(rig.recorder.lines.empty());
}

TEST(EngineLimitTest, Regression_GosubRecursionIsBounded) {
    Counter counter;
    ScriptRig rig("*a\ngosub *a\nprint(1)", &counter);
    rig.engine.Run();
    // The refused gosub is reported (error and summary) and the script goes on below it.
    EXPECT_EQ(counter.errors, 2);
    EXPECT_EQ(counter.prints, 1);
    for (int i = 0; i < CSimpleScriptEngine::kMaxReturnDepth; ++i) ASSERT_TRUE(rig.engine.Return());
    EXPECT_FALSE(rig.engine.Return());
}

TEST(EngineLimitTest, Regression_DeepCallsFailWithoutExhaustingTheStack) {
    std::string line = "print(";
    for (int i = 0; i < 50000; ++i) line += "abs(";
    line += "1" + std::string(50001, ')');
    ScriptRig rig(line);
    rig.engine.Run();
    // Each abandoned call level is retried as a variable of that name, as the grammar's ordered
    // choice does for any failing call; the nesting limit keeps that to 257 levels.
    const std::vector<std::string>& lines = rig.recorder.lines;
    ASSERT_EQ(lines.size(), 257u + 2u);
    for (std::size_t i = 0; i < 257; ++i) ASSERT_EQ(lines[i], "E script error: variable 'abs' not found");
    EXPECT_EQ(lines[257], "E script error: syntax error in t.tvs(1)");
    EXPECT_EQ(lines[258], "E 258 error(s) in t.tvs(1)");
}

// ---- Float literals -----------------------------------------------------------------------------

std::int32_t Bits(float value) {
    std::int32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

TEST(FloatLiteralTest, ThreeDecimalLiteralsAreCorrectlyRounded) {
    // Every literal 0.000 .. 2.999 through the engine, against the C library's correctly rounded
    // conversion; 0.021 is one that a digit-by-digit accumulation gets wrong.
    std::string script;
    std::vector<std::string> texts;
    for (int i = 0; i < 3000; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "%d.%03d", i / 1000, i % 1000);
        texts.push_back(text);
        script += "print(bits(" + texts.back() + "))\n";
    }
    ScriptRig rig(script);
    rig.engine.Run();
    ASSERT_EQ(rig.recorder.lines.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i)
        ASSERT_EQ(rig.recorder.lines[i], "P " + std::to_string(Bits(std::strtof(texts[i].c_str(), nullptr))) + " ")
            << texts[i];
    ScriptRig exact("print(bits(0.021), bits(3.4028235e38), bits(3.4028236e38), bits(1e-45), bits(-0.0))");
    exact.engine.Run();
    EXPECT_EQ(exact.recorder.lines,
              std::vector<std::string>{"P " + std::to_string(0x3CAC0831) + " " + std::to_string(0x7F7FFFFF) + " " + std::to_string(0x7F800000) + " 1 " +
                                       std::to_string(Bits(-0.0f)) + " "});
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

class Probe : public CStandardCustomFunction {
public:
    Probe(const std::string& name, int value) : CStandardCustomFunction(name), value(value) {}
    CFactor Call(CSimpleScriptEngine& context, const std::deque<CFactor>&) override {
        return IntResult(context, value);
    }
    int value;
};

TEST(FunctionSetTest, RegisterReplacesAndCallAnswersForKnownNamesOnly) {
    CSimpleScriptEngine engine;
    CCustomFunctionSet set;
    set.Register(boost::shared_ptr<ICustomFunction>(new Probe("p", 1)));
    set.Register(boost::shared_ptr<ICustomFunction>(new Probe("p", 2)));
    CFactor result(&engine, TYPE_STRING);
    result.SetStringValue("untouched");
    EXPECT_FALSE(set.Call(engine, result, "q", {}));
    EXPECT_EQ(result.GetStringValue(), "untouched");
    EXPECT_TRUE(set.Call(engine, result, "p", {}));
    EXPECT_EQ(result.GetType(), TYPE_INT);
    EXPECT_EQ(result.GetIntValue(), 2);
    set.Clear();
    EXPECT_FALSE(set.Call(engine, result, "p", {}));
}

TEST(FunctionSetTest, TypeCompatibilityAndArgumentChecks) {
    CSimpleScriptEngine engine;
    Recorder recorder;
    engine.SetListener(&recorder);
    Probe f("f", 0);
    EXPECT_TRUE(f.IsCompatibleType(TYPE_FLOAT, TYPE_INT));
    EXPECT_FALSE(f.IsCompatibleType(TYPE_INT, TYPE_FLOAT));
    EXPECT_FALSE(f.IsCompatibleType(TYPE_STRING, TYPE_INT));
    EXPECT_FALSE(f.IsCompatibleType(TYPE_INT, TYPE_STRING));
    EXPECT_TRUE(f.IsCompatibleType(TYPE_STRING, TYPE_STRING));

    std::deque<CFactor> none;
    std::deque<CFactor> one{IntResult(engine, 1)};
    std::deque<CFactor> two{IntResult(engine, 1), IntResult(engine, 2)};
    EXPECT_TRUE(f.CheckArguments(none, 0, {}));
    EXPECT_FALSE(f.CheckArguments(one, 0, {}));
    EXPECT_TRUE(f.CheckArguments(one, 1, {TYPE_FLOAT}));
    EXPECT_FALSE(f.CheckArguments(two, 1, {TYPE_FLOAT}));
    EXPECT_FALSE(f.CheckArguments(two, 2, {TYPE_FLOAT}));  // fewer types than arguments
    EXPECT_TRUE(recorder.lines.empty());
    EXPECT_FALSE(f.CheckArgumentsOrReport(engine, two, 1, {TYPE_FLOAT}));
    EXPECT_EQ(recorder.lines, std::vector<std::string>{"E script error: function call parameter mismatch"});
}

TEST(StandardLibraryTest, BuiltOnceAndSharedByEveryEngine) {
    CSimpleScriptEngine first, second;
    RegisterStandardLibrary(first);
    const auto set = GetStandardLibrary();
    RegisterStandardLibrary(second);
    EXPECT_EQ(GetStandardLibrary(), set);
    EXPECT_GE(set.use_count(), 3);
    CFactor result(&first);
    for (const char* name : {"print", "to_string", "truncate", "sin", "cos", "tan", "atan", "atan2", "to_radian",
                             "to_degree", "pi", "power", "abs"})
        EXPECT_TRUE(set->Call(first, result, name, {IntResult(first, 1), IntResult(first, 1)})) << name;
}

}  // namespace
}  // namespace script_test
