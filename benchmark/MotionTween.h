// A value that moves from a start to an end over a duration, after a delay, along an ease curve, at
// the time its owner gives it. The show fades its text lines with one.
#pragma once

#include <cmath>

#include "core/Object.h"

template <class T>
class CMotionTween : public trivale::CObject {
public:
    virtual void SetStart(T value) { start_ = value; }
    virtual T GetStart() const { return start_; }
    virtual void SetEnd(T value) { end_ = value; }
    virtual T GetEnd() const { return end_; }
    // Seconds from start to end; 0 or less jumps to the end once the delay has passed.
    virtual void SetDuration(T seconds) { duration_ = seconds; }
    virtual T GetDuration() const { return duration_; }
    virtual void SetDelay(T seconds) { delay_ = seconds; }
    virtual T GetDelay() const { return delay_; }
    // 1 is linear; above 1 starts slowly, below 1 mirrors the reciprocal (starts fast).
    virtual void SetExponent(T exponent) { exponent_ = exponent; }
    virtual T GetExponent() const { return exponent_; }
    virtual void SetTime(T seconds) { time_ = seconds; }
    virtual T GetTime() const { return time_; }
    virtual void Rewind() { time_ = 0; }
    virtual void JumpToEnd() { time_ = delay_ + duration_; }
    virtual void Advance(T seconds) { time_ += seconds; }

    virtual T GetValue() const {
        T t;
        if (duration_ > 0) {
            t = (time_ - delay_) / duration_;
            if (t < 0) t = 0;
            if (t > 1) t = 1;
        } else {
            // No length: a step at the delay rather than 0/0 there.
            t = time_ < delay_ ? T(0) : T(1);
        }
        const T p = exponent_ >= 1 ? std::pow(t, exponent_) : 1 - std::pow(1 - t, 1 / exponent_);
        return (end_ - start_) * p + start_;
    }

private:
    T start_ = 0;
    T end_ = 0;
    T exponent_ = 1;
    T duration_ = 1;
    T delay_ = 0;
    T time_ = 0;
};
