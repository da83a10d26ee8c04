// Run-time loading of a shared module by path and lookup of its exported functions, over dlopen.
// No search path of its own (callers give the full path) and no unloading guarantees beyond dlclose.
#pragma once

#include <string>

namespace plat {

class Module {
public:
    Module() = default;
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // False, with the loader's reason in Error(), when the module cannot be loaded.
    bool Open(const std::string& path);
    void Close();
    // The exported symbol, or null (with the reason in Error()).
    void* Symbol(const char* name);
    const std::string& Error() const { return error_; }

private:
    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace plat
