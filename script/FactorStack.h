// The operand stack on which the line grammar's actions evaluate expressions and collect arguments.
#pragma once

#include <cstddef>
#include <deque>
#include <utility>

#include "core/Object.h"
#include "script/Factor.h"

namespace trivale {
namespace type_a {
namespace simple_script {

class CFactorStack : public virtual CNonCopyable {
public:
    // Values popped from an empty stack report through this listener (the engine), so that an
    // operation on them never meets a value without one.
    explicit CFactorStack(IFactorErrorListener* defaultListener = nullptr);
    ~CFactorStack() override;

    void Push(const CFactor& value) { values_.push_back(value); }
    void Push(CFactor&& value) { values_.push_back(std::move(value)); }
    // The top value; on an empty stack an int 0 and an internal-error log line.
    CFactor Pop();
    void Clear() { values_.clear(); }
    bool IsEmpty() const { return values_.empty(); }
    std::size_t GetSize() const { return values_.size(); }
    // The top value, which must exist.
    const CFactor& Top() const { return values_.back(); }

private:
    // The top is at the back. Elements are only ever copy-constructed: a CFactor's assignment
    // converts, so nothing here may assign one element onto another.
    std::deque<CFactor> values_;
    IFactorErrorListener* defaultListener_;
};

}  // namespace simple_script
}  // namespace type_a
}  // namespace trivale
