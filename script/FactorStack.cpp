#include "script/FactorStack.h"

#include "core/Log.h"

namespace trivale {
namespace type_a {
namespace simple_script {

CFactorStack::CFactorStack(IFactorErrorListener* defaultListener) : defaultListener_(defaultListener) {}

CFactorStack::~CFactorStack() {}

CFactor CFactorStack::Pop() {
    if (values_.empty()) {
        LogError("simple-script internal error: factor stack pop - stack empty");
        return CFactor(defaultListener_);
    }
    CFactor top(std::move(values_.back()));
    values_.pop_back();
    return top;
}

}  // namespace simple_script
}  // namespace type_a
}  // namespace trivale
