#include "script/StandardCustomFunction.h"

#include <cstddef>

#include "script/SimpleScriptEngine.h"

namespace trivale {
namespace type_a {
namespace simple_script {

CStandardCustomFunction::CStandardCustomFunction(const std::string& name) : name_(name) {}

CStandardCustomFunction::~CStandardCustomFunction() {}

std::string CStandardCustomFunction::GetName() const { return name_; }

void CStandardCustomFunction::ReportParameterMismatch(CSimpleScriptEngine& context) {
    context.OnError("function call parameter mismatch");
}

bool CStandardCustomFunction::IsCompatibleType(FactorType required, FactorType given) {
    return required == given || (required == TYPE_FLOAT && given == TYPE_INT);
}

bool CStandardCustomFunction::CheckArgumentsV(const std::deque<CFactor>& arguments, int count,
                                              std::initializer_list<FactorType> types) {
    if (count < 0 || arguments.size() != static_cast<std::size_t>(count)) return false;
    if (types.size() < arguments.size()) return false;
    const FactorType* type = types.begin();
    for (const CFactor& argument : arguments) {
        if (!IsCompatibleType(*type++, argument.GetType())) return false;
    }
    return true;
}

bool CStandardCustomFunction::CheckArguments(const std::deque<CFactor>& arguments, int count,
                                             std::initializer_list<FactorType> types) {
    return CheckArgumentsV(arguments, count, types);
}

bool CStandardCustomFunction::CheckArgumentsOrReport(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments,
                                                     int count, std::initializer_list<FactorType> types) {
    if (CheckArgumentsV(arguments, count, types)) return true;
    ReportParameterMismatch(context);
    return false;
}

}  // namespace simple_script
}  // namespace type_a
}  // namespace trivale
