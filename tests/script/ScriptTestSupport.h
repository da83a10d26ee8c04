// Runs script text in an engine and records everything the engine tells its host.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

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
using trivale::type_a::simple_script::FactorType;
using trivale::type_a::simple_script::ICustomFunction;
using trivale::type_a::simple_script::TYPE_FLOAT;
using trivale::type_a::simple_script::TYPE_INT;
using trivale::type_a::simple_script::TYPE_STRING;

// "E " errors, "W " warnings, "P " prints, in the order the engine sent them.
class Recorder : public ISimpleScriptEngineListener {
public:
    void OnError(const std::string& text) override { lines.push_back("E " + text); }
    void OnWarning(const std::string& text) override { lines.push_back("W " + text); }
    void OnPrint(const std::string& text) override { lines.push_back("P " + text); }
    std::vector<std::string> lines;
};

// Only counts: for inputs that produce a flood of messages.
class Counter : public ISimpleScriptEngineListener {
public:
    void OnError(const std::string&) override { ++errors; }
    void OnWarning(const std::string&) override { ++warnings; }
    void OnPrint(const std::string&) override { ++prints; }
    long errors = 0;
    long warnings = 0;
    long prints = 0;
};

inline void LoadSource(CSimpleScriptSource& source, const std::string& text) {
    trivale::CMemoryStream stream;
    if (!text.empty()) stream.Write(text.data(), static_cast<std::uint32_t>(text.size()));
    source.Load(stream);
}

// A function of the test host, built from a lambda.
template <class Body>
class TestFunction : public CStandardCustomFunction {
public:
    TestFunction(const std::string& name, Body body) : CStandardCustomFunction(name), body_(body) {}
    CFactor Call(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments) override {
        return body_(*this, context, arguments);
    }

private:
    Body body_;
};

template <class Body>
boost::shared_ptr<ICustomFunction> MakeFunction(const std::string& name, Body body) {
    return boost::shared_ptr<ICustomFunction>(new TestFunction<Body>(name, body));
}

inline CFactor IntResult(CSimpleScriptEngine& context, std::int32_t value) {
    CFactor result(&context, TYPE_INT);
    result.SetIntValue(value);
    return result;
}

// An engine with a script "t.tvs", the standard library and two host sets:
//  first set:  f() -> 1; calls() -> how often calls() ran before; wait(n) waits by re-running its line
//              until it has been called n times; bits(x) -> the float's bit pattern;
//              needs_int(i) -> i; jump(n) -> sets the program counter to n; boom() throws EException
//  second set: f() -> 2 (never reached), g() -> "g", print() (shadowed by the standard library)
struct ScriptRig {
    explicit ScriptRig(const std::string& text, ISimpleScriptEngineListener* listener = nullptr) {
        LoadSource(source, text);
        source.SetName("t.tvs");
        engine.SetListener(listener ? listener : &recorder);
        trivale::type_a::simple_script::standard_library::RegisterStandardLibrary(engine);

        boost::shared_ptr<CCustomFunctionSet> first(new CCustomFunctionSet());
        first->Register(MakeFunction("f", [](CStandardCustomFunction&, CSimpleScriptEngine& c,
                                             const std::deque<CFactor>&) { return IntResult(c, 1); }));
        first->Register(MakeFunction("calls", [this](CStandardCustomFunction&, CSimpleScriptEngine& c,
                                                     const std::deque<CFactor>&) { return IntResult(c, calls++); }));
        first->Register(MakeFunction("wait", [this](CStandardCustomFunction& self, CSimpleScriptEngine& c,
                                                    const std::deque<CFactor>& a) {
            if (!self.CheckArgumentsOrReport(c, a, 1, {TYPE_INT})) return IntResult(c, 0);
            if (++waited < a[0].GetIntValue() && c.Sleep(1)) c.SetProgramCounter(c.GetProgramCounter() - 1);
            return IntResult(c, waited);
        }));
        first->Register(MakeFunction("bits", [](CStandardCustomFunction& self, CSimpleScriptEngine& c,
                                                const std::deque<CFactor>& a) {
            if (!self.CheckArgumentsOrReport(c, a, 1, {TYPE_FLOAT})) return IntResult(c, 0);
            const float value = a[0].GetFloatValue();
            std::int32_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            return IntResult(c, bits);
        }));
        first->Register(MakeFunction("needs_int", [](CStandardCustomFunction& self, CSimpleScriptEngine& c,
                                                     const std::deque<CFactor>& a) {
            if (!self.CheckArgumentsOrReport(c, a, 1, {TYPE_INT})) return IntResult(c, 0);
            return IntResult(c, a[0].GetIntValue());
        }));
        first->Register(MakeFunction("jump", [](CStandardCustomFunction& self, CSimpleScriptEngine& c,
                                                const std::deque<CFactor>& a) {
            if (!self.CheckArgumentsOrReport(c, a, 1, {TYPE_INT})) return IntResult(c, 0);
            return IntResult(c, c.SetProgramCounter(a[0].GetIntValue()) ? 1 : 0);
        }));
        first->Register(MakeFunction("boom", [](CStandardCustomFunction&, CSimpleScriptEngine&,
                                                const std::deque<CFactor>&) -> CFactor {
            throw trivale::EException("boom");
        }));
        engine.AddCustomFunctionSet(first);

        boost::shared_ptr<CCustomFunctionSet> second(new CCustomFunctionSet());
        second->Register(MakeFunction("f", [](CStandardCustomFunction&, CSimpleScriptEngine& c,
                                              const std::deque<CFactor>&) { return IntResult(c, 2); }));
        second->Register(MakeFunction("g", [](CStandardCustomFunction&, CSimpleScriptEngine& c,
                                              const std::deque<CFactor>&) {
            CFactor result(&c, TYPE_STRING);
            result.SetStringValue("g");
            return result;
        }));
        second->Register(MakeFunction("print", [](CStandardCustomFunction&, CSimpleScriptEngine& c,
                                                  const std::deque<CFactor>&) {
            c.Print("host print");
            return IntResult(c, 0);
        }));
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
    CSimpleScriptEngine engine;
    Recorder recorder;
    int calls = 0;
    int waited = 0;
};

}  // namespace script_test
