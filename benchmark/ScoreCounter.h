// The run's score: while counting it grows by the ratio once per pass of the scene manager (in 32-bit
// floating point, as the show's scores were always made); a reset keeps the score as the previous one.
// The frame statistics beside it: triangles per second over windows of just over a second.
#pragma once

#include <cstdint>

class CScoreCounter {
public:
    void SetCounting(bool counting) { counting_ = counting; }
    bool IsCounting() const { return counting_; }
    void SetRatio(float ratio) { ratio_ = ratio; }
    // One pass: the ratio is added while counting.
    void Advance() {
        if (counting_) score_ = score_ + ratio_;
    }
    float GetScore() const { return score_; }
    float GetPrevious() const { return previous_; }
    void Reset() {
        previous_ = score_;
        score_ = 0.0f;
    }
    // A kept score is shown once it is above 1.0.
    bool ShowsPrevious() const { return previous_ > 1.0f; }

private:
    float score_ = 0.0f;
    float previous_ = 0.0f;
    float ratio_ = 1.0f;
    bool counting_ = false;
};

class CTriangleRate {
public:
    // Once per pass with the clock in milliseconds and the triangles the pass drew. A window closes
    // on the first pass more than 1000 ms after it opened; the rate is that window's.
    void Add(double nowMilliseconds, std::uint32_t triangles);
    // Triangles per second of the last closed window, at most INT32_MAX.
    std::int32_t GetRate() const { return rate_; }

private:
    std::uint64_t accumulated_ = 0;  // 64 bits: a long window of fast passes cannot overflow it
    std::int32_t rate_ = 0;
    double windowStart_ = 0.0;
};
