#include "script/ExpressionOperators.h"

#include <cstdint>
#include <limits>
#include <string>

namespace trivale {
namespace type_a {
namespace simple_script {

namespace {

static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "float results rely on IEEE rounding, infinities and NaN");

// The texts are fixed: they are what scripts' authors saw, not what this compiler's type
// information would spell.
template <class Op>
struct OperationTraits;

template <>
struct OperationTraits<std::plus<int>> {
    static const char* Name() { return "struct std::plus<int>"; }
    static double Real(double a, double b) { return a + b; }
    static std::int32_t Int(std::int32_t a, std::int32_t b, bool*) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
    }
};
template <>
struct OperationTraits<std::minus<int>> {
    static const char* Name() { return "struct std::minus<int>"; }
    static double Real(double a, double b) { return a - b; }
    static std::int32_t Int(std::int32_t a, std::int32_t b, bool*) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
    }
};
template <>
struct OperationTraits<std::multiplies<int>> {
    static const char* Name() { return "struct std::multiplies<int>"; }
    static double Real(double a, double b) { return a * b; }
    static std::int32_t Int(std::int32_t a, std::int32_t b, bool*) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
    }
};
template <>
struct OperationTraits<std::divides<int>> {
    static const char* Name() { return "struct std::divides<int>"; }
    static double Real(double a, double b) { return a / b; }
    static std::int32_t Int(std::int32_t a, std::int32_t b, bool* divisionByZero) {
        if (b == 0) {
            *divisionByZero = true;
            return 0;
        }
        if (b == -1) return static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(a));
        return a / b;
    }
};
template <>
struct OperationTraits<std::modulus<int>> {
    static const char* Name() { return "struct std::modulus<int>"; }
    static std::int32_t Int(std::int32_t a, std::int32_t b, bool* divisionByZero) {
        if (b == 0) {
            *divisionByZero = true;
            return 0;
        }
        if (b == -1) return 0;
        return a % b;
    }
};
template <>
struct OperationTraits<std::logical_and<int>> {
    static const char* Name() { return "struct std::logical_and<int>"; }
    static std::int32_t Int(std::int32_t a, std::int32_t b, bool*) { return (a != 0 && b != 0) ? 1 : 0; }
};
template <>
struct OperationTraits<std::logical_or<int>> {
    static const char* Name() { return "struct std::logical_or<int>"; }
    static std::int32_t Int(std::int32_t a, std::int32_t b, bool*) { return (a != 0 || b != 0) ? 1 : 0; }
};

#define TV_COMPARISON_TRAITS(op, text)             \
    template <>                                    \
    struct OperationTraits<std::op<int>> {         \
        static const char* Name() { return text; } \
        template <class T>                         \
        static bool Test(const T& a, const T& b) { \
            return std::op<T>()(a, b);             \
        }                                          \
    }

TV_COMPARISON_TRAITS(equal_to, "struct std::equal_to<int>");
TV_COMPARISON_TRAITS(not_equal_to, "struct std::not_equal_to<int>");
TV_COMPARISON_TRAITS(less, "struct std::less<int>");
TV_COMPARISON_TRAITS(less_equal, "struct std::less_equal<int>");
TV_COMPARISON_TRAITS(greater, "struct std::greater<int>");
TV_COMPARISON_TRAITS(greater_equal, "struct std::greater_equal<int>");

#undef TV_COMPARISON_TRAITS

template <class Op>
void ReportMismatch(const CFactor& left) {
    left.NotifyError(std::string("type mismatch: operation [") + OperationTraits<Op>::Name() + "]");
}

CFactor MakeInt(const CFactor& left, std::int32_t value) {
    CFactor result(left.GetListener());
    result.SetIntValue(value);
    return result;
}

}  // namespace

template <class Op>
CFactor ArithmeticOperation(const CFactor& left, const CFactor& right) {
    CFactor result(left.GetListener());
    if (std::is_same<Op, std::plus<int>>::value && !left.IsNumeric() && !right.IsNumeric()) {
        const std::string& a = left.GetStringValue();
        const std::string& b = right.GetStringValue();
        if (a.size() + b.size() > kMaxStringLength) {
            left.NotifyError("string too long");
            return result;
        }
        // Shares the left text: "s = s + x" appends to s's own text instead of copying it.
        CFactor joined(left);
        joined.SetName("");
        joined.AppendString(b);
        return joined;
    }
    if (!left.IsNumeric() || !right.IsNumeric()) {
        ReportMismatch<Op>(left);
        return result;
    }
    if (left.GetType() == TYPE_INT && right.GetType() == TYPE_INT) {
        bool divisionByZero = false;
        result.SetIntValue(OperationTraits<Op>::Int(left.GetIntValue(), right.GetIntValue(), &divisionByZero));
        if (divisionByZero) left.NotifyError("division by zero");
        return result;
    }
    CFactor real(left.GetListener(), TYPE_FLOAT);
    // Computed in double and rounded once; IEEE gives infinities and NaN for overflow and x/0.
    real.SetFloatValue(static_cast<float>(OperationTraits<Op>::Real(left.ToDouble(), right.ToDouble())));
    return real;
}

template <class Op>
CFactor IntegerOperation(const CFactor& left, const CFactor& right) {
    if (left.GetType() != TYPE_INT || right.GetType() != TYPE_INT) {
        ReportMismatch<Op>(left);
        return CFactor(left.GetListener());
    }
    bool divisionByZero = false;
    CFactor result = MakeInt(left, OperationTraits<Op>::Int(left.GetIntValue(), right.GetIntValue(), &divisionByZero));
    if (divisionByZero) left.NotifyError("division by zero");
    return result;
}

template <class Op>
CFactor ComparisonOperation(const CFactor& left, const CFactor& right) {
    if (left.IsNumeric() && right.IsNumeric()) {
        if (left.GetType() == TYPE_FLOAT || right.GetType() == TYPE_FLOAT)
            return MakeInt(left, OperationTraits<Op>::Test(left.ToDouble(), right.ToDouble()) ? 1 : 0);
        return MakeInt(left, OperationTraits<Op>::Test(left.GetIntValue(), right.GetIntValue()) ? 1 : 0);
    }
    if (!left.IsNumeric() && !right.IsNumeric()) {
        // std::string compares bytes as unsigned; a proper prefix sorts first.
        const int order = left.GetStringValue().compare(right.GetStringValue());
        return MakeInt(left, OperationTraits<Op>::Test(order, 0) ? 1 : 0);
    }
    ReportMismatch<Op>(left);
    return CFactor(left.GetListener());
}

CFactor LogicalNot(const CFactor& operand) {
    if (operand.GetType() != TYPE_INT) {
        operand.NotifyError("value type must be int when using operator '!'");
        return CFactor(operand.GetListener());
    }
    return MakeInt(operand, operand.GetIntValue() == 0 ? 1 : 0);
}

template CFactor ArithmeticOperation<std::plus<int>>(const CFactor&, const CFactor&);
template CFactor ArithmeticOperation<std::minus<int>>(const CFactor&, const CFactor&);
template CFactor ArithmeticOperation<std::multiplies<int>>(const CFactor&, const CFactor&);
template CFactor ArithmeticOperation<std::divides<int>>(const CFactor&, const CFactor&);
template CFactor IntegerOperation<std::modulus<int>>(const CFactor&, const CFactor&);
template CFactor IntegerOperation<std::logical_and<int>>(const CFactor&, const CFactor&);
template CFactor IntegerOperation<std::logical_or<int>>(const CFactor&, const CFactor&);
template CFactor ComparisonOperation<std::equal_to<int>>(const CFactor&, const CFactor&);
template CFactor ComparisonOperation<std::not_equal_to<int>>(const CFactor&, const CFactor&);
template CFactor ComparisonOperation<std::less<int>>(const CFactor&, const CFactor&);
template CFactor ComparisonOperation<std::less_equal<int>>(const CFactor&, const CFactor&);
template CFactor ComparisonOperation<std::greater<int>>(const CFactor&, const CFactor&);
template CFactor ComparisonOperation<std::greater_equal<int>>(const CFactor&, const CFactor&);

}  // namespace simple_script
}  // namespace type_a
}  // namespace trivale
