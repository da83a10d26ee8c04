// The thirteen two-operand operators and the prefix "!": one generic operation per family,
// applied with the standard function object that names the operator in mismatch reports.
#pragma once

#include <cstddef>
#include <functional>

#include "script/Factor.h"

namespace trivale {
namespace type_a {
namespace simple_script {

// A string longer than this is refused by "+": a doubling loop would otherwise eat the memory.
const std::size_t kMaxStringLength = 1u << 20;

// Every result is a new nameless value with the left operand's listener; it stays int 0 when the
// operation fails. Errors go to the left operand's listener.

// + - * / : ints wrap in two's complement, any float makes a float, "+" also joins two strings.
// Int division or remainder by zero gives 0 and "division by zero".
template <class Op>
CFactor ArithmeticOperation(const CFactor& left, const CFactor& right);
// % && || : ints only.
template <class Op>
CFactor IntegerOperation(const CFactor& left, const CFactor& right);
// == != < <= > >= : numbers with numbers, strings with strings (unsigned bytes); int 1 or 0.
template <class Op>
CFactor ComparisonOperation(const CFactor& left, const CFactor& right);
// Prefix "!": ints only.
CFactor LogicalNot(const CFactor& operand);

extern template CFactor ArithmeticOperation<std::plus<int>>(const CFactor&, const CFactor&);
extern template CFactor ArithmeticOperation<std::minus<int>>(const CFactor&, const CFactor&);
extern template CFactor ArithmeticOperation<std::multiplies<int>>(const CFactor&, const CFactor&);
extern template CFactor ArithmeticOperation<std::divides<int>>(const CFactor&, const CFactor&);
extern template CFactor IntegerOperation<std::modulus<int>>(const CFactor&, const CFactor&);
extern template CFactor IntegerOperation<std::logical_and<int>>(const CFactor&, const CFactor&);
extern template CFactor IntegerOperation<std::logical_or<int>>(const CFactor&, const CFactor&);
extern template CFactor ComparisonOperation<std::equal_to<int>>(const CFactor&, const CFactor&);
extern template CFactor ComparisonOperation<std::not_equal_to<int>>(const CFactor&, const CFactor&);
extern template CFactor ComparisonOperation<std::less<int>>(const CFactor&, const CFactor&);
extern template CFactor ComparisonOperation<std::less_equal<int>>(const CFactor&, const CFactor&);
extern template CFactor ComparisonOperation<std::greater<int>>(const CFactor&, const CFactor&);
extern template CFactor ComparisonOperation<std::greater_equal<int>>(const CFactor&, const CFactor&);

}  // namespace simple_script
}  // namespace type_a
}  // namespace trivale
