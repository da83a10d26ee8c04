// A set of script functions by name; an engine asks its sets in the order they were added.
#pragma once

#include <deque>
#include <map>
#include <string>

#include <memory>

#include "core/Object.h"
#include "script/CustomFunction.h"
#include "script/Factor.h"

namespace trivale {
namespace type_a {
namespace simple_script {

class CCustomFunctionSet : public virtual CNonCopyable {
public:
    CCustomFunctionSet();
    ~CCustomFunctionSet() override;

    // Stores the function under its name, replacing a function of the same name.
    virtual void Register(std::shared_ptr<ICustomFunction> function);
    virtual void Clear();
    // false (result untouched) when no function has the name. Otherwise the function runs and the
    // result becomes a full copy of its value; true even when the function reported a mismatch.
    virtual bool Call(CSimpleScriptEngine& context, CFactor& result, const std::string& name,
                      const std::deque<CFactor>& arguments);

private:
    std::map<std::string, std::shared_ptr<ICustomFunction>> functions_;
};

}  // namespace simple_script
}  // namespace type_a
}  // namespace trivale
