// Runs script text in an engine and records everything the engine tells its host.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <sstream>
#include <string>
#include <vector>

#include <memory>

#include "core/Exception.h"
#include "core/MemoryStream.h"
#include "script/CustomFunctionSet.h"
#include "script/SimpleScriptEngine.h"
#include "script/SimpleScriptSource.h"
#include "script/StandardCustomFunction.h"
#include "script/StandardLibrary.h"

namespace script_test {

using trivale::type_a::CSimpleScriptEngine;
using trivale::type_a::CSimpleScriptSource;
using trivale::type_a::ISimpleScriptEngineListener;
using trivale::type_a::simple_script::CCustomFunctionSet;
using trivale::type_a::simple_script::CFactor;
using trivale::type_a::simple_script::CStandardCustomFunction;
using trivale::type_a::simple_script::ICustomFunction;
using trivale::type_a::simple_script::TYPE_FLOAT;
using trivale::type_a::simple_script::TYPE_INT;
using trivale::type_a::simple_script::TYPE_STRING;
using Args = std::deque<CFactor>;

// In the order the engine sent them: "E " errors and "W " warnings (the "script error: " and
// "script warning: " prefixes checked and dropped), "S " the unprefixed summaries, "P " prints.
class Recorder : public ISimpleScriptEngineListener {
public:
    void OnError(const std::string& text) override { lines.push_back(Tag(text, "script error: ", "E ")); }
    void OnWarning(const std::string& text) override { lines.push_back(Tag(text, "script warning: ", "W ")); }
    void OnPrint(const std::string& text) override { lines.push_back("P " + text); }
    std::vector<std::string> lines;

private:
    static std::string Tag(const std::string& text, const std::string& prefix, const char* tag) {
        return text.compare(0, prefix.size(), prefix) == 0 ? tag + text.substr(prefix.size()) : "S " + text;
    }
};

// The engine with limits small enough for tests to reach them quickly.
class TestEngine : public CSimpleScriptEngine {
public:
    TestEngine() { SetLimits(10000, 1000); }
    void SetLimits(int lines, std::size_t returnDepth, std::size_t work = kWorkBudget) {
        lineBudget_ = lines;
        maxReturnDepth_ = returnDepth;
        workBudget_ = work;
    }
};

inline void LoadSource(CSimpleScriptSource& source, const std::string& text) {
    trivale::CMemoryStream stream;
    if (!text.empty()) stream.Write(text.data(), static_cast<std::uint32_t>(text.size()));
    source.Load(stream);
}

inline CFactor IntResult(CSimpleScriptEngine& context, std::int32_t value) {
    CFactor result(&context, TYPE_INT);
    result.SetIntValue(value);
    return result;
}

// A function of the test host, built from a lambda.
template <class Body>
class TestFunction : public CStandardCustomFunction {
public:
    TestFunction(const std::string& name, Body body) : CStandardCustomFunction(name), body_(body) {}
    CFactor Call(CSimpleScriptEngine& context, const Args& arguments) override {
        return body_(*this, context, arguments);
    }

private:
    Body body_;
};

template <class Body>
void Add(CCustomFunctionSet& set, const std::string& name, Body body) {
    set.Register(std::shared_ptr<ICustomFunction>(new TestFunction<Body>(name, body)));
}

// An engine with a script "t.tvs", the standard library and two host sets:
//  first set:  f() -> 1; calls() -> how often calls() ran before; wait(n) waits by re-running its line
//              until it has been called n times; bits(x) -> the float's bit pattern;
//              jump(n) -> sets the program counter to n; boom() throws EException
//  second set: f() -> 2 (never reached), g() -> "g", print() (shadowed by the standard library)
struct ScriptRig {
    explicit ScriptRig(const std::string& text) {
        LoadSource(source, text);
        source.SetName("t.tvs");
        engine.SetListener(&recorder);
        trivale::type_a::simple_script::standard_library::RegisterStandardLibrary(engine);
        typedef CStandardCustomFunction Self;
        typedef CSimpleScriptEngine Context;

        std::shared_ptr<CCustomFunctionSet> first(new CCustomFunctionSet());
        Add(*first, "f", [](Self&, Context& c, const Args&) { return IntResult(c, 1); });
        Add(*first, "calls", [this](Self&, Context& c, const Args&) { return IntResult(c, calls++); });
        Add(*first, "wait", [this](Self& self, Context& c, const Args& a) {
            if (!self.CheckArgumentsOrReport(c, a, 1, {TYPE_INT})) return IntResult(c, 0);
            if (++waited < a[0].GetIntValue() && c.Sleep(1)) c.SetProgramCounter(c.GetProgramCounter() - 1);
            return IntResult(c, waited);
        });
        Add(*first, "bits", [](Self& self, Context& c, const Args& a) {
            if (!self.CheckArgumentsOrReport(c, a, 1, {TYPE_FLOAT})) return IntResult(c, 0);
            const float value = a[0].GetFloatValue();
            std::int32_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            return IntResult(c, bits);
        });
        Add(*first, "jump", [](Self& self, Context& c, const Args& a) {
            if (!self.CheckArgumentsOrReport(c, a, 1, {TYPE_INT})) return IntResult(c, 0);
            return IntResult(c, c.SetProgramCounter(a[0].GetIntValue()) ? 1 : 0);
        });
        Add(*first, "boom", [](Self&, Context&, const Args&) -> CFactor { throw trivale::EException("boom"); });
        engine.AddCustomFunctionSet(first);

        std::shared_ptr<CCustomFunctionSet> second(new CCustomFunctionSet());
        Add(*second, "f", [](Self&, Context& c, const Args&) { return IntResult(c, 2); });
        Add(*second, "g", [](Self&, Context& c, const Args&) {
            CFactor result(&c, TYPE_STRING);
            result.SetStringValue("g");
            return result;
        });
        Add(*second, "print", [](Self&, Context& c, const Args&) {
            c.Print("host print");
            return IntResult(c, 0);
        });
        engine.AddCustomFunctionSet(second);

        engine.SetSource(&source);
        engine.Reset();
    }

    // Host steps separated by blanks: "R" Run, "I:label" Interrupt, "G:label" Goto, "X" Reset.
    // Every step leaves a marker "@<step>" in the record, so that timing shows.
    void Host(const std::string& steps) {
        std::istringstream in(steps);
        std::string step;
        while (in >> step) {
            recorder.lines.push_back("@" + step);
            if (step == "R")
                engine.Run();
            else if (step == "X")
                engine.Reset();
            else if (step.compare(0, 2, "I:") == 0)
                engine.Interrupt(step.substr(2));
            else if (step.compare(0, 2, "G:") == 0)
                engine.Goto(step.substr(2));
        }
    }

    CSimpleScriptSource source;
    TestEngine engine;
    Recorder recorder;
    int calls = 0;
    int waited = 0;
};

}  // namespace script_test
