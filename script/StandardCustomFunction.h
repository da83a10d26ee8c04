// Base of every script function: the script name, the argument checks and the one mismatch message.
#pragma once

#include <deque>
#include <initializer_list>
#include <string>

#include "core/Object.h"
#include "script/CustomFunction.h"
#include "script/Factor.h"

namespace trivale {
namespace type_a {
namespace simple_script {

// A function is written as: result = CFactor(&context, result type); if the arguments fail
// CheckArgumentsOrReport, return the result unchanged; otherwise compute and fill it.
class CStandardCustomFunction : public ICustomFunction, public CObject {
public:
    explicit CStandardCustomFunction(const std::string& name);
    ~CStandardCustomFunction() override;

    std::string GetName() const override;

    // "function call parameter mismatch" through the context's OnError.
    virtual void ReportParameterMismatch(CSimpleScriptEngine& context);
    // Equal types, or an int where a float is required.
    virtual bool IsCompatibleType(FactorType required, FactorType given);
    // Exactly count arguments, argument i compatible with types[i]. A list shorter than count
    // fails; count 0 asks for no arguments.
    virtual bool CheckArgumentsV(const std::deque<CFactor>& arguments, int count,
                                 std::initializer_list<FactorType> types);
    // The same check; reports nothing.
    virtual bool CheckArguments(const std::deque<CFactor>& arguments, int count,
                                std::initializer_list<FactorType> types);
    // The same check; on failure also ReportParameterMismatch.
    virtual bool CheckArgumentsOrReport(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments, int count,
                                        std::initializer_list<FactorType> types);

private:
    std::string name_;
};

}  // namespace simple_script
}  // namespace type_a
}  // namespace trivale
