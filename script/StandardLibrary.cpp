#include "script/StandardLibrary.h"

#include "core/Saturate.h"

#include <cmath>
#include <cstdint>

#include "script/SimpleScriptEngine.h"

namespace trivale {
namespace type_a {
namespace simple_script {
namespace standard_library {

namespace {

std::shared_ptr<CCustomFunctionSet> g_standardLibrary;

// The constants are the float values scripts have always seen, not double-precision ones.
const float kPi = 3.14159274f;                // 0x40490FDB
const float kDegreeToRadian = 0.0174532924f;  // 0x3C8EFA35
const float kRadianToDegree = 57.2957764f;    // 0x42652EE0

CFactor MakeFloat(CSimpleScriptEngine& context, double value) {
    CFactor result(&context, TYPE_FLOAT);
    result.SetFloatValue(static_cast<float>(value));
    return result;
}

// A one-float function: maths in double, rounded once to the float result; 0.0 after a mismatch.
template <class Function>
CFactor CallUnary(CStandardCustomFunction& self, CSimpleScriptEngine& context, const std::deque<CFactor>& arguments,
                  Function function) {
    if (!self.CheckArgumentsOrReport(context, arguments, 1, {TYPE_FLOAT})) return CFactor(&context, TYPE_FLOAT);
    return MakeFloat(context, function(arguments[0].ToDouble()));
}

template <class Function>
CFactor CallBinary(CStandardCustomFunction& self, CSimpleScriptEngine& context, const std::deque<CFactor>& arguments,
                   Function function) {
    if (!self.CheckArgumentsOrReport(context, arguments, 2, {TYPE_FLOAT, TYPE_FLOAT}))
        return CFactor(&context, TYPE_FLOAT);
    return MakeFloat(context, function(arguments[0].ToDouble(), arguments[1].ToDouble()));
}

}  // namespace

CPrint::CPrint() : CStandardCustomFunction("print") {}

CFactor CPrint::Call(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments) {
    std::string text;
    for (const CFactor& argument : arguments) {
        context.ChargeWork(argument.GetStringLength());
        if (argument.IsNumeric())
            text += argument.ToString() + " ";
        else
            text += argument.GetStringValue();
    }
    context.Print(text);
    return CFactor(&context, TYPE_INT);
}

CToString::CToString() : CStandardCustomFunction("to_string") {}

CFactor CToString::Call(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments) {
    CFactor result(&context, TYPE_STRING);
    if (arguments.size() != 1 || !arguments[0].IsNumeric()) {
        ReportParameterMismatch(context);
        return result;
    }
    result.SetStringValue(arguments[0].ToString());
    return result;
}

CTruncate::CTruncate() : CStandardCustomFunction("truncate") {}

CFactor CTruncate::Call(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments) {
    CFactor result(&context, TYPE_INT);
    if (!CheckArgumentsOrReport(context, arguments, 1, {TYPE_FLOAT})) return result;
    result.SetIntValue(SaturateToInt(arguments[0].ToDouble()));
    return result;
}

CSin::CSin() : CStandardCustomFunction("sin") {}

CFactor CSin::Call(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments) {
    return CallUnary(*this, context, arguments, [](double x) { return std::sin(x); });
}

CCos::CCos() : CStandardCustomFunction("cos") {}

CFactor CCos::Call(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments) {
    return CallUnary(*this, context, arguments, [](double x) { return std::cos(x); });
}

CTan::CTan() : CStandardCustomFunction("tan") {}

CFactor CTan::Call(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments) {
    return CallUnary(*this, context, arguments, [](double x) { return std::tan(x); });
}

CAtan::CAtan() : CStandardCustomFunction("atan") {}

CFactor CAtan::Call(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments) {
    return CallUnary(*this, context, arguments, [](double x) { return std::atan(x); });
}

CAtan2::CAtan2() : CStandardCustomFunction("atan2") {}

CFactor CAtan2::Call(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments) {
    return CallBinary(*this, context, arguments, [](double y, double x) { return std::atan2(y, x); });
}

CToRadian::CToRadian() : CStandardCustomFunction("to_radian") {}

CFactor CToRadian::Call(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments) {
    return CallUnary(*this, context, arguments, [](double x) { return x * kDegreeToRadian; });
}

CToDegree::CToDegree() : CStandardCustomFunction("to_degree") {}

CFactor CToDegree::Call(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments) {
    return CallUnary(*this, context, arguments, [](double x) { return x * kRadianToDegree; });
}

CPi::CPi() : CStandardCustomFunction("pi") {}

CFactor CPi::Call(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments) {
    CFactor result(&context, TYPE_FLOAT);
    if (!arguments.empty()) {
        ReportParameterMismatch(context);
        return result;
    }
    result.SetFloatValue(kPi);
    return result;
}

CPower::CPower() : CStandardCustomFunction("power") {}

CFactor CPower::Call(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments) {
    return CallBinary(*this, context, arguments, [](double a, double b) { return std::pow(a, b); });
}

CAbs::CAbs() : CStandardCustomFunction("abs") {}

CFactor CAbs::Call(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments) {
    if (CheckArguments(arguments, 1, {TYPE_INT})) {
        // Two's complement: the smallest int stays as it is.
        const std::int32_t value = arguments[0].GetIntValue();
        const std::uint32_t magnitude =
            value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
        CFactor result(&context, TYPE_INT);
        result.SetIntValue(static_cast<std::int32_t>(magnitude));
        return result;
    }
    if (CheckArguments(arguments, 1, {TYPE_FLOAT})) return MakeFloat(context, std::fabs(arguments[0].ToDouble()));
    ReportParameterMismatch(context);
    return CFactor(&context, TYPE_INT);
}

void BuildStandardLibrary() {
    g_standardLibrary.reset(new CCustomFunctionSet());
    g_standardLibrary->Register(std::shared_ptr<ICustomFunction>(new CPrint()));
    g_standardLibrary->Register(std::shared_ptr<ICustomFunction>(new CToString()));
    g_standardLibrary->Register(std::shared_ptr<ICustomFunction>(new CTruncate()));
    g_standardLibrary->Register(std::shared_ptr<ICustomFunction>(new CSin()));
    g_standardLibrary->Register(std::shared_ptr<ICustomFunction>(new CCos()));
    g_standardLibrary->Register(std::shared_ptr<ICustomFunction>(new CTan()));
    g_standardLibrary->Register(std::shared_ptr<ICustomFunction>(new CAtan()));
    g_standardLibrary->Register(std::shared_ptr<ICustomFunction>(new CAtan2()));
    g_standardLibrary->Register(std::shared_ptr<ICustomFunction>(new CToRadian()));
    g_standardLibrary->Register(std::shared_ptr<ICustomFunction>(new CToDegree()));
    g_standardLibrary->Register(std::shared_ptr<ICustomFunction>(new CPi()));
    g_standardLibrary->Register(std::shared_ptr<ICustomFunction>(new CPower()));
    g_standardLibrary->Register(std::shared_ptr<ICustomFunction>(new CAbs()));
}

void RegisterStandardLibrary(CSimpleScriptEngine& engine) {
    if (!g_standardLibrary) BuildStandardLibrary();
    engine.AddCustomFunctionSet(g_standardLibrary);
}

}  // namespace standard_library
}  // namespace simple_script
}  // namespace type_a
}  // namespace trivale
