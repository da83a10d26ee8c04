#include "core/Object.h"

#include <cxxabi.h>
#include <cstdlib>
#include <memory>

namespace trivale {

std::string GetTypeName(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
    if (status == 0 && name) return name.get();
    return type.name();
}

}  // namespace trivale
