// The three roots of the engine's class tree.
#pragma once

#include <string>
#include <typeinfo>

namespace trivale {

// Root of every concrete engine class; always inherited virtually so one object holds one CObject.
class CObject {
public:
    virtual ~CObject() {}
};

// Root of every interface.
class IInterface {
public:
    virtual ~IInterface() {}
};

// Every concrete engine class inherits this virtually: engine objects are never copied.
class CNonCopyable : public virtual CObject {
public:
    CNonCopyable() {}
    ~CNonCopyable() override {}
    CNonCopyable(const CNonCopyable&) = delete;
    CNonCopyable& operator=(const CNonCopyable&) = delete;
};

// Readable name of a type as run-time type information gives it ("trivale::CFileStream").
std::string GetTypeName(const std::type_info& type);

// Name of an object's dynamic class.
template <class T>
std::string GetClassName(const T& object) {
    return GetTypeName(typeid(object));
}

}  // namespace trivale
