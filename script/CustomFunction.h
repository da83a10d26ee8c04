// Everything a script calls by name is a custom function held in a function set.
#pragma once

#include <deque>
#include <string>

#include "core/Object.h"
#include "script/Factor.h"

namespace trivale {
namespace type_a {

class CSimpleScriptEngine;

namespace simple_script {

class ICustomFunction : public IInterface {
public:
    // The name scripts call (case-sensitive).
    virtual std::string GetName() const = 0;
    // context: the calling engine (listener of results and messages, and the host's user object);
    // arguments in source order.
    virtual CFactor Call(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments) = 0;
};

}  // namespace simple_script
}  // namespace type_a
}  // namespace trivale
