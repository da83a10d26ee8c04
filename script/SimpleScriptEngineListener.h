// The host's receiver of a script's errors, warnings and prints.
#pragma once

#include <string>

#include "core/Object.h"

namespace trivale {
namespace type_a {

class ISimpleScriptEngineListener : public IInterface {
public:
    // "script error: " + message, and the per-line summaries "%d error(s) in %s(%d)".
    virtual void OnError(const std::string& text) = 0;
    // "script warning: " + message, and "%d warning(s) in %s(%d)".
    virtual void OnWarning(const std::string& text) = 0;
    // The joined arguments of the script function print.
    virtual void OnPrint(const std::string& text) = 0;
};

}  // namespace type_a
}  // namespace trivale
