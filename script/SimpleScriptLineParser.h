// Parses one script line and executes it in the same pass.
#pragma once

#include <memory>
#include <string>

#include "core/Object.h"

namespace trivale {
namespace type_a {

class CSimpleScriptEngine;

namespace simple_script {
struct line_interpreter;
}

class CSimpleScriptLineParser : public virtual CObject {
public:
    // Binds the grammar to the engine whose state the actions change.
    explicit CSimpleScriptLineParser(CSimpleScriptEngine* engine);
    ~CSimpleScriptLineParser() override;

    // true only when the line (up to a NUL byte) matched to its end, trailing blanks allowed. A line
    // that fails keeps the effects of the actions that fired before the failure.
    virtual bool Parse(const std::string& line);

private:
    std::unique_ptr<simple_script::line_interpreter> grammar_;
};

}  // namespace type_a
}  // namespace trivale
