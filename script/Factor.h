// The one value type of the script language: literals, variables, operands, arguments and results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/Object.h"

namespace trivale {
namespace type_a {
namespace simple_script {

// The tag a value carries. Tags 0 and 1 are numeric; any other number counts as non-numeric.
enum FactorType : std::int32_t {
    TYPE_INT = 0,
    TYPE_FLOAT = 1,
    TYPE_STRING = 2,
    // Stands below a call's arguments on the factor stack; carries no value.
    TYPE_ARGUMENT_TERMINATOR = 3,
};

// Receives the errors and warnings of conversions and operations (the script engine).
class IFactorErrorListener : public IInterface {
public:
    virtual void OnError(const std::string& text) = 0;
    virtual void OnWarning(const std::string& text) = 0;
};

class CFactor : public CObject {
public:
    // int 0
    explicit CFactor(IFactorErrorListener* listener);
    // The zero of the given type: 0, 0.0 or "".
    CFactor(IFactorErrorListener* listener, FactorType type);
    CFactor(const CFactor& source);
    CFactor(CFactor&& source) noexcept;
    ~CFactor() override;

    // Plain copy of all five fields (function results, variable reads).
    void CopyFrom(const CFactor& source);
    // The language's converting assignment: the target keeps its tag, name and listener; int <- float
    // truncates with a warning, a number and a string do not mix (error, target unchanged).
    CFactor& operator=(const CFactor& source);

    bool IsNumeric() const { return type_ == TYPE_INT || type_ == TYPE_FLOAT; }
    // The number as a double; 0.0 for anything not numeric.
    double ToDouble() const;
    // Messages and to_string: int in decimal, float with "%f", string in double quotes.
    std::string ToString() const;

    // Forward to the listener; throw EException when there is none.
    void NotifyError(const std::string& text) const;
    void NotifyWarning(const std::string& text) const;

    FactorType GetType() const { return type_; }
    const std::string& GetName() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    // Valid until this value changes or a value sharing its text appends to it.
    const std::string& GetStringValue() const;
    void SetStringValue(std::string value);
    std::size_t GetStringLength() const { return textLength_; }
    // The string grows by tail: in place when this value holds the end of its text (how "s = s + x"
    // stays linear), otherwise into a text of its own.
    void AppendString(const std::string& tail);
    std::int32_t GetIntValue() const { return value_.i; }
    void SetIntValue(std::int32_t value) { value_.i = value; }
    float GetFloatValue() const { return value_.f; }
    void SetFloatValue(float value) { value_.f = value; }
    IFactorErrorListener* GetListener() const { return listener_; }
    void SetListener(IFactorErrorListener* listener) { listener_ = listener; }

private:
    FactorType type_;
    std::string name_;
    // Copies share one append-only text; this value is its first textLength_ bytes. Only the value
    // that holds the text's end may append to it, so no holder ever sees its bytes change. A holder
    // left behind takes a copy of its prefix when it is read (hence mutable).
    mutable std::shared_ptr<std::string> text_;
    std::size_t textLength_;
    union {
        std::int32_t i;
        float f;
    } value_;
    IFactorErrorListener* listener_;
};

}  // namespace simple_script
}  // namespace type_a
}  // namespace trivale
