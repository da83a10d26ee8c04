// Motion and envelope evaluation: envelopes of keys with curve shapes and pre/post behaviours,
// version 1 keyframe motion, conversion of keyframes to channels, and key insertion.
#include "lightwave/scene/LwScene.h"
#include "lightwave/scene/SceneInternal.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

// Envelope times closer than this are equal.
constexpr double kTimeEpsilon = 1.1920928955078125e-07;
// The single-precision constants of the handle and bisection tolerances.
constexpr double kHandleEpsilon = 9.99999974737875e-06;
constexpr double kBisectTolerance = 9.99999974737875e-05;
// An item's channels: position, rotation and scale, three each.
constexpr int32_t kChannelCount = 9;
// The bisection halves the bracket at most this often: enough for any double, and it always ends.
constexpr int kBisectSteps = 64;

inline bool After(double t, double keyTime) { return t - keyTime > kTimeEpsilon; }
inline bool Before(double t, double keyTime) { return keyTime - t > kTimeEpsilon; }

// num / den, or 1 when the denominator is zero (two keys at one time): no rescale then.
inline double Ratio(double num, double den) { return den != 0.0 ? num / den : 1.0; }

void Hermite(double u, double h[4]) {
    double u2 = u * u, u3 = u2 * u;
    h[0] = 2 * u3 - 3 * u2 + 1;
    h[1] = 3 * u2 - 2 * u3;
    h[2] = u3 - 2 * u2 + u;
    h[3] = u3 - u2;
}

double Bezier(double p0, double p1, double p2, double p3, double s) {
    double c = 3 * (p1 - p0);
    double b = 3 * (p2 - p1) - c;
    double a = p3 - p0 - c - b;
    return ((a * s + b) * s + c) * s + p0;
}

// Outgoing tangent of k0 on the segment to k1; p is k0's previous key (null for the first).
__attribute__((always_inline)) inline double OutTangent(const LwEnvelopeKey* p, const LwEnvelopeKey* k0,
                                                        const LwEnvelopeKey* k1) {
    double d = k1->Value - k0->Value;
    bool withPrev = p && (k1->Time - p->Time) != 0.0;
    double r = withPrev ? (k1->Time - k0->Time) / (k1->Time - p->Time) : 0.0;
    switch (k0->Shape) {
    case LW_SHAPE_TCB: {
        double a = (1 - k0->Tension) * (1 + k0->Continuity) * (1 + k0->Bias);
        double b = (1 - k0->Tension) * (1 - k0->Continuity) * (1 - k0->Bias);
        return withPrev ? r * (a * (k0->Value - p->Value) + b * d) : b * d;
    }
    case LW_SHAPE_HERMITE:
    case LW_SHAPE_BEZIER:
        return withPrev ? k0->Continuity * r : k0->Continuity;
    case LW_SHAPE_LINEAR:
        return withPrev ? r * (k0->Value - p->Value + d) : d;
    case LW_SHAPE_BEZIER2D:
        if (fabs(k0->Bias) <= kHandleEpsilon) return (k1->Time - k0->Time) * k0->Param0 * 100000.0;
        return (k1->Time - k0->Time) * k0->Param0 / k0->Bias;
    default:
        return 0.0;
    }
}

inline double OutTangent(const LwEnvelopeKey* k0, const LwEnvelopeKey* k1) { return OutTangent(k0->Prev, k0, k1); }

// Incoming tangent of k1 on the segment from k0; n is k1's next key (null for the last).
__attribute__((always_inline)) inline double InTangent(const LwEnvelopeKey* k0, const LwEnvelopeKey* k1,
                                                       const LwEnvelopeKey* n) {
    double d = k1->Value - k0->Value;
    bool withNext = n && (n->Time - k0->Time) != 0.0;
    double r = withNext ? (k1->Time - k0->Time) / (n->Time - k0->Time) : 0.0;
    switch (k1->Shape) {
    case LW_SHAPE_TCB: {
        double a = (1 - k1->Tension) * (1 - k1->Continuity) * (1 + k1->Bias);
        double b = (1 - k1->Tension) * (1 + k1->Continuity) * (1 - k1->Bias);
        return withNext ? r * (b * (n->Value - k1->Value) + a * d) : a * d;
    }
    case LW_SHAPE_HERMITE:
    case LW_SHAPE_BEZIER:
        return withNext ? k1->Tension * r : k1->Tension;
    default:
        return 0.0;
    }
}

// Curve parameter at which the time curve reaches t, by bounded bisection.
double SolveBezierTime(const double x[4], double t) {
    double lo = 0.0, hi = 1.0, s = 0.5;
    for (int i = 0; i < kBisectSteps; ++i) {
        s = 0.5 * (lo + hi);
        double v = Bezier(x[0], x[1], x[2], x[3], s);
        if (fabs(v - t) <= kBisectTolerance) break;
        if (v <= t)
            lo = s;
        else
            hi = s;
    }
    return s;
}

void BezierTimeControls(const LwEnvelopeKey* k0, const LwEnvelopeKey* k1, double x[4]) {
    x[0] = k0->Time;
    x[1] = k0->Shape == LW_SHAPE_BEZIER2D ? k0->Time + k0->Bias : k0->Time + (k1->Time - k0->Time) / 3.0;
    x[2] = k1->Time + k1->Tension;
    x[3] = k1->Time;
}

__attribute__((noinline)) double Bezier2(const LwEnvelopeKey* k0, const LwEnvelopeKey* k1, double t) {
    double x[4];
    BezierTimeControls(k0, k1, x);
    double s = SolveBezierTime(x, t);
    double y1 = k0->Shape == LW_SHAPE_BEZIER2D ? k0->Value + k0->Param0 : k0->Value + OutTangent(k0, k1) / 3.0;
    return Bezier(k0->Value, y1, k1->Value + k1->Continuity, k1->Value, s);
}

// Number of whole key-range lengths that bring a time `distance` outside the range back into it: the
// fewest n for which outside(n), whether the time wrapped n times is still outside, is false; at least 1.
template <typename Outside>
double WrapCount(double distance, double span, Outside outside) {
    double n = ceil((distance - kTimeEpsilon) / span);
    if (!(n >= 1.0)) n = 1.0;
    // Correct the rounding of the division by the comparisons that define the range.
    for (int i = 0; i < 4 && n > 1.0 && !outside(n - 1.0); ++i) n -= 1.0;
    for (int i = 0; i < 4 && outside(n); ++i) n += 1.0;
    return n;
}

// t moved by n key-range lengths, rounded once: n x span rounded on its own would carry up to half a
// unit in the last place of t into the wrapped time, which far from the keys is much smaller than t.
inline double Wrapped(double t, double n, double span) { return std::fma(n, span, t); }

inline bool IsOdd(double n) { return fmod(n, 2.0) == 1.0; }

// The value on the segment from k0 to k1, k0's next key; p is k0's previous key and n k1's next
// key, as the links give them. Every evaluation comes here, reading the keys as they are now.
__attribute__((always_inline)) inline double SegmentValue(const LwEnvelopeKey* p, const LwEnvelopeKey* k0,
                                                          const LwEnvelopeKey* k1, const LwEnvelopeKey* n, double t,
                                                          double offset) {
    double length = k1->Time - k0->Time;
    if (fabs(length) <= kTimeEpsilon) return k1->Value + offset;  // a segment without length: the later key holds
    double u = (t - k0->Time) / length;
    switch (k1->Shape) {
    case LW_SHAPE_TCB:
    case LW_SHAPE_HERMITE:
    case LW_SHAPE_BEZIER: {
        double h[4];
        Hermite(u, h);
        return h[0] * k0->Value + h[1] * k1->Value + h[2] * OutTangent(p, k0, k1) + h[3] * InTangent(k0, k1, n) +
               offset;
    }
    case LW_SHAPE_LINEAR:
        return (k1->Value - k0->Value) * u + k0->Value + offset;
    case LW_SHAPE_STEPPED:
        return k0->Value + offset;
    case LW_SHAPE_BEZIER2D:
        return Bezier2(k0, k1, t) + offset;
    default:
        return offset;
    }
}

// The same for the segment from k0 to its next key.
inline double SegmentValue(const LwEnvelopeKey* k0, double t, double offset) {
    return SegmentValue(k0->Prev, k0, k0->Next, k0->Next->Next, t, offset);
}

// Where an envelope record lies (LwEnvelope::Placement). kInOrder marks the first record of an item's
// channel list in the scene's block when channels 0 to 8 follow it in order, one record each.
enum class Placement : int32_t { kOwn = 0, kSceneBlock = 1, kInOrder = 2 };

// Whether an envelope's keys stand in time order (LwEnvelope::KeyOrder). In order, every key before a
// key is no later than it, so a search may start from the current key; out of order (a file may give
// them so) only a search from the first key gives the value.
inline bool Ascending(const LwEnvelope* env) { return env->KeyOrder == LW_KEYS_ASCENDING; }

// Looks at the keys once; a time that is no number stands out of order.
__attribute__((noinline)) void FindKeyOrder(LwEnvelope* env) {
    bool ascending = true;
    for (const LwEnvelopeKey* k = env->FirstKey; ascending && k && k->Next; k = k->Next)
        ascending = k->Time <= k->Next->Time;
    env->KeyOrder = ascending ? LW_KEYS_ASCENDING : LW_KEYS_OUT_OF_ORDER;
}

// The same for keyframe steps, looking at no more keys than the count, as the evaluation does.
__attribute__((noinline)) void FindStepOrder(LwKeyframeMotion* motion) {
    bool ascending = true;
    int32_t seen = 1;
    for (const LwMotionKey* k = motion->FirstKey; ascending && k && k->Next && seen < motion->KeyCount;
         k = k->Next, ++seen)
        ascending = k->Step <= k->Next->Step;
    motion->KeyOrder = ascending ? LW_KEYS_ASCENDING : LW_KEYS_OUT_OF_ORDER;
}

// Whether t lies on the segment that starts at k (whose next key is k1), so that a search from the
// first key would end there when the keys stand in time order: such a t is inside the key range too.
inline bool OnSegment(const LwEnvelopeKey* k, const LwEnvelopeKey* k1, const LwEnvelopeKey* first, double t) {
    return (k == first ? !Before(t, k->Time) : After(t, k->Time)) && !After(t, k1->Time);
}

// The value of an envelope with at least two keys at t. Every result is the one a search from the
// first key defines; the current key only shortens the walk to it.
__attribute__((noinline)) double EnvelopeValue(LwEnvelope* env, LwEnvelopeKey* first, LwEnvelopeKey* last, double t) {
    if (env->KeyOrder == LW_KEYS_ORDER_UNKNOWN) FindKeyOrder(env);
    double offset = 0.0;
    if (Before(t, first->Time)) {
        const double span = last->Time - first->Time;
        switch (env->PreBehavior) {
        case LW_BEHAVIOR_RESET:
            return 0.0;
        case LW_BEHAVIOR_CONSTANT:
            return first->Value;
        case LW_BEHAVIOR_REPEAT:
        case LW_BEHAVIOR_OSCILLATE:
        case LW_BEHAVIOR_OFFSET_REPEAT: {
            if (span <= kTimeEpsilon) return first->Value;  // no range to wrap into
            double n =
                WrapCount(first->Time - t, span, [&](double m) { return Before(Wrapped(t, m, span), first->Time); });
            t = Wrapped(t, n, span);
            // Wrapping until t is no longer before the first key (times equal within 2^-23 count as on
            // it) can leave t up to 2^-23 outside the key range, where the segment search would find no
            // segment or stretch an end one. Clamped onto the range, t gives the end key's value, which
            // such a time stands for; the oscillate mirror below stays inside the range too.
            t = t < first->Time ? first->Time : t > last->Time ? last->Time : t;
            if (env->PreBehavior == LW_BEHAVIOR_OSCILLATE && IsOdd(n)) t = first->Time + last->Time - t;
            if (env->PreBehavior == LW_BEHAVIOR_OFFSET_REPEAT) offset -= n * (last->Value - first->Value);
            break;
        }
        case LW_BEHAVIOR_LINEAR: {
            LwEnvelopeKey* n = first->Next;
            if (first->Shape == LW_SHAPE_LINEAR && n && first->Time != n->Time)
                return (t - n->Time) * (first->Value - n->Value) / (first->Time - n->Time) + n->Value;
            // The stored tangent spans the first segment; per second it is divided by it.
            double slope = first->Param1;
            if (n && n->Time != first->Time) slope /= n->Time - first->Time;
            return (t - first->Time) * slope + first->Value;
        }
        default:
            break;  // the first segment is extended
        }
    } else if (After(t, last->Time)) {
        const double span = last->Time - first->Time;
        switch (env->PostBehavior) {
        case LW_BEHAVIOR_RESET:
            return 0.0;
        case LW_BEHAVIOR_REPEAT:
        case LW_BEHAVIOR_OSCILLATE:
        case LW_BEHAVIOR_OFFSET_REPEAT: {
            if (span <= kTimeEpsilon) return last->Value;
            double n =
                WrapCount(t - last->Time, span, [&](double m) { return After(Wrapped(t, -m, span), last->Time); });
            t = Wrapped(t, -n, span);
            // As before the first key: the wrap may stop up to 2^-23 past the last key; clamped onto it.
            t = t < first->Time ? first->Time : t > last->Time ? last->Time : t;
            if (env->PostBehavior == LW_BEHAVIOR_OSCILLATE && IsOdd(n)) t = first->Time + last->Time - t;
            if (env->PostBehavior == LW_BEHAVIOR_OFFSET_REPEAT) offset += n * (last->Value - first->Value);
            break;
        }
        case LW_BEHAVIOR_LINEAR: {
            LwEnvelopeKey* p = last->Prev;
            if (last->Shape == LW_SHAPE_LINEAR && p && last->Time != p->Time)
                return (t - p->Time) * (last->Value - p->Value) / (last->Time - p->Time) + p->Value;
            double slope = last->Param0;
            if (p && last->Time != p->Time) slope /= last->Time - p->Time;
            return (t - last->Time) * slope + last->Value;
        }
        default:  // constant, and any number without a meaning
            return last->Value;
        }
    }

    // The segment is the first whose end t is not after. With the keys in order the current key
    // holds when t is after it; one step back serves a time on or just before it.
    LwEnvelopeKey* k = Ascending(env) ? env->CurrentKey : nullptr;
    if (!k || !After(t, k->Time)) k = k && k->Prev && After(t, k->Prev->Time) ? k->Prev : first;
    while (k->Next && After(t, k->Next->Time)) k = k->Next;
    if (!k->Next) {
        if (!k->Prev) return k->Value + offset;
        k = k->Prev;
    }
    env->CurrentKey = k;
    return SegmentValue(k, t, offset);
}

// An envelope's value at t; the caller has checked the envelope.
double EnvelopeAt(LwEnvelope* env, double t) {
    LwEnvelopeKey* first = env->FirstKey;
    if (env->KeyCount <= 0 || !first) return 0.0;
    LwEnvelopeKey* last = env->LastKey;
    if (env->KeyCount == 1 || !last || first == last) return first->Value;
    // Most evaluations stay on the segment of the last one.
    if (LwEnvelopeKey* k = env->CurrentKey; k && k->Next && Ascending(env) && OnSegment(k, k->Next, first, t))
        return SegmentValue(k, t, 0.0);
    return EnvelopeValue(env, first, last, t);
}

void EvaluateEnvelope(LwScene*, LwEnvelope* env, double t, double* out) {
    if (env && out) *out = EnvelopeAt(env, t);
}

// EnvelopeAt for a channel evaluated every frame: a held channel, or one that stays on the segment
// of its current key, is evaluated here from its keys as they are now; the others go the full way.
__attribute__((always_inline)) inline double ChannelAt(LwEnvelope* env, double t) {
    LwEnvelopeKey* first = env->FirstKey;
    LwEnvelopeKey* last = env->LastKey;
    const LwEnvelopeKey* k0 = env->CurrentKey;
    if (env->KeyCount == 1 && first) return first->Value;
    if (env->KeyCount > 1 && first && last && first != last && k0) {
        const LwEnvelopeKey* k1 = k0->Next;
        if (k1 && Ascending(env) && OnSegment(k0, k1, first, t))
            return SegmentValue(k0->Prev, k0, k1, k1->Next, t, 0.0);
        return EnvelopeValue(env, first, last, t);
    }
    return EnvelopeAt(env, t);
}

// Asks for the memory that evaluating a channel on its current segment reads: the current key with
// the key before it and the two after it (up to the last one's value and time), or a held channel's
// one key. A hint: any record will do.
inline void PrefetchChannel(const LwEnvelope* env) {
    if (env->KeyCount == 1) {
        __builtin_prefetch(env->FirstKey);
        return;
    }
    const uintptr_t from = (uintptr_t)env->CurrentKey - sizeof(LwEnvelopeKey);
    constexpr uintptr_t kSpan = 3 * sizeof(LwEnvelopeKey) + 2 * sizeof(double);
    for (uintptr_t at = 0; at < kSpan; at += 64) __builtin_prefetch((const void*)(from + at));
    __builtin_prefetch((const void*)(from + kSpan - 1));
}

double* GroupValues(LwMotionKey* key, int32_t group) {
    switch (group) {
    case LW_MOTION_POSITION:
        return key->Position;
    case LW_MOTION_ROTATION:
        return key->Rotation;
    case LW_MOTION_SCALE:
        return key->Scale;
    default:
        return nullptr;
    }
}

// A key the evaluation reads, already aimed at the group (a list that does not hold together is aimed
// key by key as it is read).
inline const double* Use(LwMotionKey* key, int32_t group) { return key->Value = GroupValues(key, group); }

void EvaluateKeyframeMotion(LwScene*, LwKeyframeMotion* motion, int32_t group, double frame, double out[3]) {
    if (!motion || !out || motion->KeyCount <= 0 || !motion->FirstKey) return;
    if (!GroupValues(motion->FirstKey, group)) return;
    LwMotionKey* first = motion->FirstKey;
    // Every key's value pointer is aimed at the group, not only the keys read below: a caller reading a
    // key's Value afterwards gets the numbers of the group last evaluated. The walk stops at the key
    // count, so a list that loops cannot hold it.
    int32_t aimed = 0;
    for (LwMotionKey* key = first; key != nullptr && aimed < motion->KeyCount; key = key->Next, ++aimed)
        key->Value = GroupValues(key, group);
    LwMotionKey* last = motion->LastKey ? motion->LastKey : first;
    if (motion->KeyCount == 1 || first == last) {
        const double* v = Use(first, group);
        for (int i = 0; i < 3; ++i) out[i] = v[i];
        return;
    }
    if (frame >= (double)last->Step) {
        const double* v = Use(last, group);
        for (int i = 0; i < 3; ++i) out[i] = v[i];
        return;
    }
    // As for envelopes: the first segment whose end the frame is not above, searched from the current
    // key only while the steps stand in order.
    if (motion->KeyOrder == LW_KEYS_ORDER_UNKNOWN) FindStepOrder(motion);
    LwMotionKey* k = motion->KeyOrder == LW_KEYS_ASCENDING ? motion->CurrentKey : nullptr;
    if (!k || !(frame > (double)k->Step)) k = k && k->Prev && frame > (double)k->Prev->Step ? k->Prev : first;
    while (k->Next && frame > (double)k->Next->Step) k = k->Next;
    if (!k->Next) {
        const double* v = Use(k, group);
        for (int i = 0; i < 3; ++i) out[i] = v[i];
        return;
    }
    motion->CurrentKey = k;
    LwMotionKey* k0 = k;
    LwMotionKey* k1 = k->Next;
    const double* v0 = Use(k0, group);
    const double* v1 = Use(k1, group);
    double span = (double)k1->Step - (double)k0->Step;
    if (span == 0.0) {  // two keys on one frame: the later one holds
        for (int i = 0; i < 3; ++i) out[i] = v1[i];
        return;
    }
    double u = (frame - (double)k0->Step) / span;
    if (k1->Linear) {
        for (int i = 0; i < 3; ++i) out[i] = (v1[i] - v0[i]) * u + v0[i];
        return;
    }
    double h[4];
    Hermite(u, h);
    double a0 = (1 + k0->Continuity) * (1 + k0->Bias) * (1 - k0->Tension);
    double b0 = (1 - k0->Tension) * (1 - k0->Continuity) * (1 - k0->Bias);
    double a1 = (1 + k1->Bias) * (1 - k1->Continuity) * (1 - k1->Tension);
    double b1 = (1 - k1->Bias) * (1 + k1->Continuity) * (1 - k1->Tension);
    LwMotionKey* p = k0->Prev;
    LwMotionKey* n = k1->Next;
    double denP = p ? (double)k1->Step - (double)p->Step : 0.0;
    double denN = n ? (double)n->Step - (double)k0->Step : 0.0;
    const double* vp = denP != 0.0 ? Use(p, group) : nullptr;
    const double* vn = denN != 0.0 ? Use(n, group) : nullptr;
    for (int i = 0; i < 3; ++i) {
        double d = v1[i] - v0[i];
        double o = vp ? span / denP * ((v0[i] - vp[i]) * a0 + d * b0) : (b0 + a0) * d * 0.5;
        double in = vn ? span / denN * ((vn[i] - v1[i]) * b1 + d * a1) : (b1 + a1) * d * 0.5;
        out[i] = h[0] * v0[i] + h[1] * v1[i] + h[2] * o + h[3] * in;
    }
}

// The first of a motion group's three channels; -1 for the pivot groups and unknown ones.
int32_t FirstChannelOf(int32_t group) {
    switch (group) {
    case LW_MOTION_POSITION:
        return LW_CHANNEL_POSITION_X;
    case LW_MOTION_ROTATION:
        return LW_CHANNEL_HEADING;
    case LW_MOTION_SCALE:
        return LW_CHANNEL_SCALE_X;
    default:
        return -1;
    }
}

// EvaluateMotion for every item and group.
__attribute__((noinline)) void EvaluateAnyMotion(LwScene* scene, LwSceneItem* item, int32_t group, double t,
                                                 double out[3]) {
    if (!scene || !item || !out) return;
    if (scene->Version != 1 && scene->Version != 3) return;
    if (group == LW_MOTION_PIVOT_POSITION) {
        for (int i = 0; i < 3; ++i) out[i] = item->PivotPosition[i];
        return;
    }
    if (group == LW_MOTION_PIVOT_ROTATION) {
        for (int i = 0; i < 3; ++i) out[i] = item->PivotRotation[i];
        return;
    }
    const int32_t base = FirstChannelOf(group);
    if (base < 0) return;
    if (scene->Version == 1) {
        EvaluateKeyframeMotion(scene, item->Motion, group, t * scene->FramesPerSecond, out);
        return;
    }
    // One walk of the channel list evaluates the group's three channels as it meets them; a channel
    // number met again is a later duplicate, which FindChannel would not return.
    unsigned done = 0;
    for (LwEnvelope* e = item->ChannelList; e; e = e->Next) {
        // Compared before subtracting: a channel number from the file may be any 32-bit value.
        if (e->Channel < base || e->Channel > base + 2) continue;
        unsigned bit = 1u << (e->Channel - base);
        if (done & bit) continue;
        done |= bit;
        out[e->Channel - base] = ChannelAt(e, t);
        if (done == 7u) break;
    }
}

// Whether an item's channel list is the scene block's in-order run up to channel kLast: records 0 to
// kLast carry their numbers and are linked in order, so that channel c is the record c places on,
// the one FindChannel finds.
template <int32_t kLast>
__attribute__((always_inline)) inline bool InOrderRun(const LwEnvelope* list) {
    if (!list || (Placement)list->Placement != Placement::kInOrder) return false;
    uintptr_t differ = 0;
    for (int32_t c = 0; c <= kLast; ++c) {
        differ |= (uint32_t)(list[c].Channel ^ c);
        if (c < kLast) differ |= (uintptr_t)list[c].Next ^ (uintptr_t)(list + c + 1);
    }
    return differ == 0;
}

// Items are evaluated in list order, frame after frame, and their records follow one another in the
// scene's block: while one item's group is worked out, the keys that the same group of the item
// kItemsAhead places on will read are asked for, so that they have arrived when it comes (its keys
// lie far from the records that name them, and a walk from record to key to key would wait for
// each in turn).
constexpr int kItemsAhead = 2;

template <int32_t kBase>
__attribute__((always_inline)) inline bool GroupInOrder(const LwScene* scene, LwSceneItem* item, double t,
                                                        double out[3]) {
    LwEnvelope* list = item->ChannelList;
    if (!InOrderRun<kBase + 2>(list)) return false;
    const uintptr_t ahead = (uintptr_t)list + (kItemsAhead * kChannelCount + kBase) * sizeof(LwEnvelope);
    if (ahead >= (uintptr_t)scene->ChannelBlock &&
        ahead + 3 * sizeof(LwEnvelope) <= (uintptr_t)scene->ChannelRecordsEnd)
        for (int i = 0; i < 3; ++i) PrefetchChannel((const LwEnvelope*)ahead + i);
    for (int i = 0; i < 3; ++i) out[i] = ChannelAt(list + kBase + i, t);
    return true;
}

void EvaluateMotion(LwScene* scene, LwSceneItem* item, int32_t group, double t, double out[3]) {
    // Every frame: a version 3 item whose channels lie in order, evaluated without a call while they
    // stay on their segments.
    if (scene && item && out && scene->Version == 3) {
        switch (group) {
        case LW_MOTION_POSITION:
            if (GroupInOrder<LW_CHANNEL_POSITION_X>(scene, item, t, out)) return;
            break;
        case LW_MOTION_ROTATION:
            if (GroupInOrder<LW_CHANNEL_HEADING>(scene, item, t, out)) return;
            break;
        case LW_MOTION_SCALE:
            if (GroupInOrder<LW_CHANNEL_SCALE_X>(scene, item, t, out)) return;
            break;
        default:
            break;
        }
    }
    EvaluateAnyMotion(scene, item, group, t, out);
}

// ---- channels from keyframes --------------------------------------------------------------------

LwEnvelope* MotionToChannels(LwScene* scene, LwKeyframeMotion* motion) {
    if (!scene || !motion) return nullptr;
    int32_t count = motion->KeyCount > 0 && motion->FirstKey ? motion->KeyCount : 0;
    LwEnvelope* head = nullptr;
    LwEnvelope** tail = &head;
    for (int32_t c = 0; c < kChannelCount; ++c) {
        LwEnvelope* env = LwNewEnvelope(count);
        if (!env) {
            LwFreeEnvelopes(head);
            return nullptr;
        }
        env->Channel = c;
        env->PreBehavior = LW_BEHAVIOR_CONSTANT;
        env->PostBehavior = motion->EndBehavior;
        LwMotionKey* mk = motion->FirstKey;
        for (LwEnvelopeKey* k = env->FirstKey; k && mk; k = k->Next, mk = mk->Next) {
            k->Time = (double)mk->Step / scene->FramesPerSecond;
            const double* values = c < 3 ? mk->Position : c < 6 ? mk->Rotation : mk->Scale;
            k->Value = values[c % 3];
            if (mk->Linear == 0) {
                k->Shape = LW_SHAPE_TCB;
                k->Tension = mk->Tension;
                k->Continuity = mk->Continuity;
                k->Bias = mk->Bias;
            } else {
                k->Shape = LW_SHAPE_LINEAR;
            }
        }
        ComputeEnvelopeTangents(env);  // the same tangents as a version 3 block's
        *tail = env;
        tail = &env->Next;
    }
    return head;
}

// ---- key insertion ------------------------------------------------------------------------------

void Split(const double c[4], double u, double p[7]) {
    double v = 1.0 - u;
    p[0] = c[0];
    p[1] = v * c[0] + u * c[1];
    p[2] = v * v * c[0] + 2 * u * v * c[1] + u * u * c[2];
    p[3] = v * v * v * c[0] + 3 * u * v * v * c[1] + 3 * u * u * v * c[2] + u * u * u * c[3];
    p[4] = v * v * c[1] + 2 * u * v * c[2] + u * u * c[3];
    p[5] = v * c[2] + u * c[3];
    p[6] = c[3];
}

LwEnvelopeKey* NewKey() { return (LwEnvelopeKey*)calloc(1, sizeof(LwEnvelopeKey)); }

LwEnvelopeKey* GetKeyValue(LwScene* scene, LwEnvelope* env, double t) {
    if (!env) return nullptr;
    LwEnvelopeKey* first = env->KeyCount > 0 ? env->FirstKey : nullptr;
    for (LwEnvelopeKey* k = first; k; k = k->Next)
        if (fabs(k->Time - t) < kTimeEpsilon) return k;

    LwEnvelopeKey* m = NewKey();
    if (!m) return nullptr;
    m->Time = t;
    if (!first) {  // the first key of an empty envelope
        env->FirstKey = env->LastKey = env->CurrentKey = m;
        env->KeyCount = 1;
        env->KeyOrder = LW_KEYS_ORDER_UNKNOWN;
        return m;
    }
    LwEnvelopeKey* last = env->LastKey ? env->LastKey : first;
    if (t > last->Time) {
        m->Value = last->Value;
        m->Shape = last->Shape;
        if (last->Shape != LW_SHAPE_BEZIER2D && last->Prev)
            last->Param0 *= Ratio(t - last->Prev->Time, last->Time - last->Prev->Time);
        last->Next = m;
        m->Prev = last;
        env->LastKey = m;
        env->KeyCount++;
        env->KeyOrder = LW_KEYS_ORDER_UNKNOWN;
        return m;
    }
    if (t < first->Time) {
        m->Value = first->Value;
        m->Shape = first->Shape;
        if (LwEnvelopeKey* n = first->Next) first->Param1 *= Ratio(n->Time - t, n->Time - first->Time);
        m->Next = first;
        first->Prev = m;
        env->FirstKey = m;
        env->CurrentKey = m;
        env->KeyCount++;
        env->KeyOrder = LW_KEYS_ORDER_UNKNOWN;
        return m;
    }
    LwEnvelopeKey* k0 = first;
    while (k0->Next && k0->Next->Time < t) k0 = k0->Next;
    LwEnvelopeKey* k1 = k0->Next;
    if (!k1) {  // keys out of time order in the file: no place to insert
        free(m);
        return nullptr;
    }
    LwEnvelopeKey* p = k0->Prev;
    LwEnvelopeKey* n = k1->Next;
    m->Shape = k1->Shape;
    double span = k1->Time - k0->Time;
    switch (k1->Shape) {
    case LW_SHAPE_TCB:
    case LW_SHAPE_HERMITE:
    case LW_SHAPE_BEZIER: {
        double u = Ratio(t - k0->Time, span);
        double o = k0->Param1, in = k1->Param0;
        if (p) o *= Ratio(span, k1->Time - p->Time);
        if (n) in *= Ratio(span, n->Time - k0->Time);
        double c[4] = {k0->Value, k0->Value + o / 3.0, k1->Value - in / 3.0, k1->Value};
        double q[7];
        Split(c, u, q);
        m->Value = q[3];
        k0->Param1 = 3 * (q[1] - q[0]);
        m->Param0 = 3 * (q[3] - q[2]);
        m->Param1 = 3 * (q[4] - q[3]);
        k1->Param0 = 3 * (q[6] - q[5]);
        break;
    }
    case LW_SHAPE_BEZIER2D: {
        double x[4];
        BezierTimeControls(k0, k1, x);
        double s = SolveBezierTime(x, t);
        double tx[7];
        Split(x, s, tx);
        if (k0->Shape == LW_SHAPE_BEZIER2D) k0->Bias = tx[1] - k0->Time;
        m->Tension = tx[2] - tx[3];
        m->Bias = tx[4] - tx[3];
        k1->Tension = tx[5] - k1->Time;
        double g = k0->Shape == LW_SHAPE_BEZIER2D ? k0->Param0 : OutTangent(k0, k1) / 3.0;
        double y[4] = {k0->Value, k0->Value + g, k1->Value + k1->Continuity, k1->Value};
        double v[7];
        Split(y, s, v);
        if (k0->Shape == LW_SHAPE_BEZIER2D) k0->Param0 = v[1] - k0->Value;
        m->Continuity = v[2] - v[3];
        m->Value = v[3];
        m->Param0 = v[4] - v[3];
        k1->Continuity = v[5] - k1->Value;
        break;
    }
    default:
        EvaluateEnvelope(scene, env, t, &m->Value);
        m->Param1 = k1->Value - m->Value;
        m->Param0 = m->Value - k0->Value;
        break;
    }
    if (k0->Shape != LW_SHAPE_BEZIER2D && p) {
        k0->Param1 *= Ratio(t - p->Time, t - k0->Time);
        k0->Param0 *= Ratio(t - p->Time, k1->Time - p->Time);
    }
    if (k1->Shape != LW_SHAPE_BEZIER2D) {
        if (n) {
            k1->Param0 *= Ratio(n->Time - t, k1->Time - t);
            k1->Param1 *= Ratio(n->Time - t, n->Time - k0->Time);
        }
        m->Param0 *= Ratio(span, t - k0->Time);
        m->Param1 *= Ratio(span, k1->Time - t);
    }
    m->Prev = k0;
    m->Next = k1;
    k0->Next = m;
    k1->Prev = m;
    env->KeyCount++;
    env->KeyOrder = LW_KEYS_ORDER_UNKNOWN;
    return m;
}

void SetMotion(LwScene* scene, LwSceneItem* item, int32_t group, double t, const double in[3]) {
    if (!scene || !item || !in) return;
    if (group == LW_MOTION_PIVOT_POSITION || group == LW_MOTION_PIVOT_ROTATION) {
        double* pivot = group == LW_MOTION_PIVOT_POSITION ? item->PivotPosition : item->PivotRotation;
        for (int i = 0; i < 3; ++i) pivot[i] = in[i];
        return;
    }
    const int32_t base = FirstChannelOf(group);
    if (base < 0) return;
    for (int i = 0; i < 3; ++i) {
        LwEnvelope* env = scene->Op.FindChannel(scene, item, base + i);
        if (!env) continue;
        if (LwEnvelopeKey* key = GetKeyValue(scene, env, t)) key->Value = in[i];
    }
}

}  // namespace

// The keys of an envelope follow its record in the same block, so that an evaluation reads one
// stretch of memory.
static LwEnvelopeKey* EmbeddedKeys(LwEnvelope* env) { return (LwEnvelopeKey*)(env + 1); }

LwEnvelope* LwNewEnvelope(int32_t keyCount) {
    if (keyCount < 0) keyCount = 0;
    size_t bytes = sizeof(LwEnvelope) + (size_t)keyCount * sizeof(LwEnvelopeKey);
    LwEnvelope* env = (LwEnvelope*)calloc(1, bytes);
    if (!env) return nullptr;
    env->PreBehavior = LW_BEHAVIOR_CONSTANT;
    env->PostBehavior = LW_BEHAVIOR_CONSTANT;
    if (keyCount > 0) {
        LwEnvelopeKey* keys = EmbeddedKeys(env);
        for (int32_t i = 0; i < keyCount; ++i) {
            keys[i].Prev = i > 0 ? &keys[i - 1] : nullptr;
            keys[i].Next = i + 1 < keyCount ? &keys[i + 1] : nullptr;
        }
        env->KeyArray = keys;
        env->KeyArraySize = keyCount;
        env->KeyCount = keyCount;
        env->FirstKey = env->CurrentKey = keys;
        env->LastKey = &keys[keyCount - 1];
    }
    return env;
}

namespace {

bool InKeyArray(const LwEnvelope* env, const LwEnvelopeKey* k) {
    uintptr_t begin = (uintptr_t)env->KeyArray;
    uintptr_t end = begin + (uintptr_t)env->KeyArraySize * sizeof(LwEnvelopeKey);
    return (uintptr_t)k >= begin && (uintptr_t)k < end;
}

// Frees an envelope's own memory, not its plug-ins.
void FreeEnvelopeMemory(LwEnvelope* env) {
    for (LwEnvelopeKey* k = env->FirstKey; k;) {
        LwEnvelopeKey* after = k->Next;
        if (!InKeyArray(env, k)) free(k);  // inserted on its own
        k = after;
    }
    if ((Placement)env->Placement != Placement::kOwn) return;  // freed with the scene
    if (env->KeyArray != EmbeddedKeys(env)) free(env->KeyArray);
    free(env);
}

// Whether an envelope's keys are its key array in order, as the readers leave them.
bool KeysArePlaceable(const LwEnvelope* env) {
    if ((Placement)env->Placement != Placement::kOwn || env->KeyArraySize < 0) return false;
    int32_t n = env->KeyArraySize;
    const LwEnvelopeKey* a = env->KeyArray;
    if (n == 0) return !env->FirstKey && !env->LastKey && !env->CurrentKey;
    if (env->FirstKey != a || env->LastKey != a + (n - 1)) return false;
    if (env->CurrentKey && !InKeyArray(env, env->CurrentKey)) return false;
    for (int32_t i = 0; i < n; ++i)
        if (a[i].Prev != (i > 0 ? a + i - 1 : nullptr) || a[i].Next != (i + 1 < n ? a + i + 1 : nullptr)) return false;
    return true;
}

}  // namespace

void LwPlaceChannels(LwScene* scene) {
    if (!scene || scene->ChannelBlock) return;
    size_t records = 0, keyCount = 0;
    for (LwSceneItem* item = scene->FirstItem; item; item = item->Next) {
        for (LwEnvelope* e = item->ChannelList; e; e = e->Next) {
            if (!KeysArePlaceable(e)) return;  // never after a load; nothing is moved then
            ++records;
            keyCount += (size_t)e->KeyArraySize;
        }
    }
    if (records == 0) return;
    char* block = (char*)malloc(records * sizeof(LwEnvelope) + keyCount * sizeof(LwEnvelopeKey));
    if (!block) return;  // the records stay where they are
    // Every item's envelope records in item order, then their keys in the same order: a frame that
    // stays on its segments reads the records alone, one stretch of memory.
    LwEnvelope* d = (LwEnvelope*)block;
    LwEnvelopeKey* keys = (LwEnvelopeKey*)(block + records * sizeof(LwEnvelope));
    for (LwSceneItem* item = scene->FirstItem; item; item = item->Next) {
        if (item->ChannelList) {
            LwEnvelope* e = item->ChannelList;
            LwEnvelope* head = d;
            item->ChannelList = d;
            for (; e; ++d) {
                LwEnvelope* next = e->Next;
                *d = *e;
                int32_t n = e->KeyArraySize;
                for (int32_t j = 0; j < n; ++j) {
                    keys[j] = e->KeyArray[j];
                    keys[j].Prev = j > 0 ? &keys[j - 1] : nullptr;
                    keys[j].Next = j + 1 < n ? &keys[j + 1] : nullptr;
                }
                d->KeyArray = n > 0 ? keys : nullptr;
                d->FirstKey = n > 0 ? keys : nullptr;
                d->LastKey = n > 0 ? &keys[n - 1] : nullptr;
                d->CurrentKey = e->CurrentKey ? keys + (e->CurrentKey - e->KeyArray) : nullptr;
                d->Placement = (int32_t)Placement::kSceneBlock;
                d->Next = next ? d + 1 : nullptr;
                keys += n;
                FreeEnvelopeMemory(e);
                e = next;
            }
            bool inOrder = d - head >= kChannelCount;
            for (int32_t c = 0; inOrder && c < kChannelCount; ++c) inOrder = head[c].Channel == c;
            if (inOrder) head->Placement = (int32_t)Placement::kInOrder;
        }
    }
    scene->ChannelBlock = block;
    scene->ChannelRecordsEnd = (LwEnvelope*)(block + records * sizeof(LwEnvelope));
}

void LwFreeEnvelopes(LwEnvelope* env) {
    while (env) {
        LwEnvelope* next = env->Next;
        LwFreePlugins(env->Plugins);
        FreeEnvelopeMemory(env);
        env = next;
    }
}

void LwFreeKeyframeMotion(LwKeyframeMotion* motion) {
    if (!motion) return;
    free(motion->FirstKey);
    free(motion);
}

void LwFillMotionOperations(LwSceneOperations* op) {
    op->EvaluateMotion = EvaluateMotion;
    op->SetMotion = SetMotion;
    op->EvaluateKeyframeMotion = EvaluateKeyframeMotion;
    op->EvaluateEnvelope = EvaluateEnvelope;
    op->MotionToChannels = MotionToChannels;
    op->GetKeyValue = GetKeyValue;
}
