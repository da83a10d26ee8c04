// The 13 built-in script functions, held in one set that every engine shares.
#pragma once

#include <deque>

#include <memory>

#include "script/CustomFunctionSet.h"
#include "script/StandardCustomFunction.h"

namespace trivale {
namespace type_a {

class CSimpleScriptEngine;

namespace simple_script {
namespace standard_library {

#define TV_STANDARD_FUNCTION(name)                                                                 \
    class name : public CStandardCustomFunction {                                                  \
    public:                                                                                        \
        name();                                                                                    \
        CFactor Call(CSimpleScriptEngine& context, const std::deque<CFactor>& arguments) override; \
    }

// Any arguments: numbers as to_string plus a blank, strings as they are; prints the text.
TV_STANDARD_FUNCTION(CPrint);
TV_STANDARD_FUNCTION(CToString);
TV_STANDARD_FUNCTION(CTruncate);
TV_STANDARD_FUNCTION(CSin);
TV_STANDARD_FUNCTION(CCos);
TV_STANDARD_FUNCTION(CTan);
TV_STANDARD_FUNCTION(CAtan);
TV_STANDARD_FUNCTION(CAtan2);
TV_STANDARD_FUNCTION(CToRadian);
TV_STANDARD_FUNCTION(CToDegree);
TV_STANDARD_FUNCTION(CPi);
TV_STANDARD_FUNCTION(CPower);
TV_STANDARD_FUNCTION(CAbs);

#undef TV_STANDARD_FUNCTION

// Makes the program-wide set and registers the 13 functions in it.
void BuildStandardLibrary();
// Adds the program-wide set to the engine, building it on first use.
void RegisterStandardLibrary(CSimpleScriptEngine& engine);

}  // namespace standard_library
}  // namespace simple_script
}  // namespace type_a
}  // namespace trivale
