#include "script/CustomFunctionSet.h"

namespace trivale {
namespace type_a {
namespace simple_script {

CCustomFunctionSet::CCustomFunctionSet() {}

CCustomFunctionSet::~CCustomFunctionSet() {}

void CCustomFunctionSet::Register(std::shared_ptr<ICustomFunction> function) {
    if (!function) return;
    functions_[function->GetName()] = function;
}

void CCustomFunctionSet::Clear() { functions_.clear(); }

bool CCustomFunctionSet::Call(CSimpleScriptEngine& context, CFactor& result, const std::string& name,
                              const std::deque<CFactor>& arguments) {
    auto found = functions_.find(name);
    if (found == functions_.end()) return false;
    // Held for the call: a function may clear its own set.
    std::shared_ptr<ICustomFunction> function = found->second;
    result.CopyFrom(function->Call(context, arguments));
    return true;
}

}  // namespace simple_script
}  // namespace type_a
}  // namespace trivale
