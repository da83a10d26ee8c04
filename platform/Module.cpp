#include "platform/Module.h"

#include <dlfcn.h>

namespace plat {

Module::~Module() { Close(); }

bool Module::Open(const std::string& path) {
    Close();
    dlerror();
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        error_ = reason != nullptr ? reason : "cannot load " + path;
        return false;
    }
    error_.clear();
    return true;
}

void Module::Close() {
    if (handle_ != nullptr) dlclose(handle_);
    handle_ = nullptr;
}

void* Module::Symbol(const char* name) {
    if (handle_ == nullptr) {
        error_ = "no module loaded";
        return nullptr;
    }
    dlerror();
    void* symbol = dlsym(handle_, name);
    if (symbol == nullptr) {
        const char* reason = dlerror();
        error_ = reason != nullptr ? reason : std::string("no symbol ") + name;
    }
    return symbol;
}

}  // namespace plat
