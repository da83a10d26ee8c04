#include "script/Factor.h"

#include <cmath>
#include <limits>
#include <utility>

#include "core/Exception.h"
#include "core/Saturate.h"
#include "core/Text.h"

namespace trivale {
namespace type_a {
namespace simple_script {

CFactor::CFactor(IFactorErrorListener* listener) : type_(TYPE_INT), textLength_(0), listener_(listener) {
    value_.i = 0;
}

CFactor::CFactor(IFactorErrorListener* listener, FactorType type) : type_(type), textLength_(0), listener_(listener) {
    value_.i = 0;
}

CFactor::CFactor(const CFactor& source)
    : CObject(source),
      type_(source.type_),
      name_(source.name_),
      text_(source.text_),
      textLength_(source.textLength_),
      value_(source.value_),
      listener_(source.listener_) {}

CFactor::CFactor(CFactor&& source) noexcept
    : CObject(source),
      type_(source.type_),
      name_(std::move(source.name_)),
      text_(std::move(source.text_)),
      textLength_(source.textLength_),
      value_(source.value_),
      listener_(source.listener_) {}

CFactor::~CFactor() {}

void CFactor::CopyFrom(const CFactor& source) {
    if (&source == this) return;
    type_ = source.type_;
    name_ = source.name_;
    text_ = source.text_;
    textLength_ = source.textLength_;
    value_ = source.value_;
    listener_ = source.listener_;
}

CFactor& CFactor::operator=(const CFactor& source) {
    if (&source == this) return *this;
    if (IsNumeric() && source.IsNumeric()) {
        if (type_ == TYPE_INT) {
            if (source.type_ == TYPE_FLOAT) {
                NotifyWarning("truncation from 'float' to 'int': Information may be lost.");
                value_.i = SaturateToInt(source.ToDouble());
            } else {
                value_.i = source.value_.i;
            }
        } else {
            value_.f = source.type_ == TYPE_INT ? static_cast<float>(source.value_.i) : source.value_.f;
        }
    } else if (IsNumeric() || source.IsNumeric()) {
        NotifyError("type mismatch: " + name_ + " = " + source.ToString());
    } else {
        text_ = source.text_;
        textLength_ = source.textLength_;
    }
    return *this;
}

const std::string& CFactor::GetStringValue() const {
    static const std::string kEmpty;
    if (!text_) return kEmpty;
    if (text_->size() != textLength_) text_ = std::make_shared<std::string>(*text_, 0, textLength_);
    return *text_;
}

void CFactor::SetStringValue(std::string value) {
    textLength_ = value.size();
    text_ = std::make_shared<std::string>(std::move(value));
}

void CFactor::AppendString(const std::string& tail) {
    if (text_ && text_->size() == textLength_) {
        text_->append(tail);
    } else {
        auto text = std::make_shared<std::string>();
        text->reserve(textLength_ + tail.size());
        if (text_) text->append(*text_, 0, textLength_);
        text->append(tail);
        text_ = std::move(text);
    }
    textLength_ += tail.size();
}

double CFactor::ToDouble() const {
    switch (type_) {
    case TYPE_INT:
        return value_.i;
    case TYPE_FLOAT:
        return value_.f;
    default:
        return 0.0;
    }
}

std::string CFactor::ToString() const {
    switch (type_) {
    case TYPE_INT:
        return IntToString(value_.i);
    case TYPE_FLOAT:
        return FloatToString(value_.f);
    case TYPE_STRING:
        return "\"" + GetStringValue() + "\"";
    default:
        return "unknown value type";
    }
}

void CFactor::NotifyError(const std::string& text) const {
    if (!listener_) throw EException(this, "error listener is NULL");
    listener_->OnError(text);
}

void CFactor::NotifyWarning(const std::string& text) const {
    if (!listener_) throw EException(this, "error listener is NULL");
    listener_->OnWarning(text);
}

}  // namespace simple_script
}  // namespace type_a
}  // namespace trivale
