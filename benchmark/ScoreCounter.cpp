#include "benchmark/ScoreCounter.h"

#include "core/Saturate.h"

void CTriangleRate::Add(double nowMilliseconds, std::uint32_t triangles) {
    const double span = nowMilliseconds - windowStart_;
    if (span > 1000.0) {
        rate_ = trivale::SaturateToInt(static_cast<double>(accumulated_) / (span * 0.001));
        windowStart_ = nowMilliseconds;
        accumulated_ = 0;
    }
    accumulated_ += triangles;
}
