// Float to integer conversions that cannot go undefined: values past either end of int give that end,
// and a value that is not a number gives 0 (scripts, scores, frame rates and fades all convert this way).
#pragma once

#include <climits>
#include <cstdint>

namespace trivale {

inline std::int32_t SaturateToInt(double value) {
    if (!(value == value)) return 0;
    if (value >= 2147483647.0) return INT_MAX;
    if (value <= -2147483648.0) return INT_MIN;
    return static_cast<int>(value);  // truncates toward zero
}

}  // namespace trivale
