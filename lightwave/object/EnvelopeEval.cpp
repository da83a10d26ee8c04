// Envelopes evaluated over time: the keys of an ENVL body with their curve shapes, slopes worked
// out once, and the value at any time including before the first and after the last key.
#include "lightwave/object/ChunkFields.h"

#include <cmath>

namespace {

constexpr LwId Id(const char (&s)[5]) { return LwMakeId(s[0], s[1], s[2], s[3]); }

// Quotient of two time differences; 0 when the keys share a time.
float Ratio(float num, float den) { return den != 0.0f ? num / den : 0.0f; }

float OutgoingTangent(const LwEvalKey* k0, const LwEvalKey* k1) {
    const float d = k1->Value - k0->Value;
    const LwEvalKey* p = k0->Prev;
    const float r = p ? Ratio(k1->Time - k0->Time, k1->Time - p->Time) : 1.0f;
    switch (k0->Shape) {
    case LW_SHAPE_TCB: {
        const float a = (1 - k0->P[0]) * (1 + k0->P[1]) * (1 + k0->P[2]);
        const float b = (1 - k0->P[0]) * (1 - k0->P[1]) * (1 - k0->P[2]);
        return p ? r * (a * (k0->Value - p->Value) + b * d) : b * d;
    }
    case LW_SHAPE_HERMITE:
    case LW_SHAPE_BEZIER:
        return k0->P[4] * r;  // the outgoing slope
    case LW_SHAPE_LINEAR:
        return p ? r * (k0->Value - p->Value + d) : d;
    case LW_SHAPE_BEZIER2D: {
        const float dt = k1->Time - k0->Time;
        return std::fabs(k0->P[2]) > 0.00001f ? dt * k0->P[3] / k0->P[2] : dt * k0->P[3] * 100000.0f;
    }
    default:
        return 0.0f;
    }
}

float IncomingTangent(const LwEvalKey* k0, const LwEvalKey* k1) {
    const float d = k1->Value - k0->Value;
    const LwEvalKey* q = k1->Next;
    const float r = q ? Ratio(k1->Time - k0->Time, q->Time - k0->Time) : 1.0f;
    switch (k1->Shape) {
    case LW_SHAPE_TCB: {
        const float a = (1 - k1->P[0]) * (1 - k1->P[1]) * (1 + k1->P[2]);
        const float b = (1 - k1->P[0]) * (1 + k1->P[1]) * (1 - k1->P[2]);
        return q ? r * (b * (q->Value - k1->Value) + a * d) : a * d;
    }
    case LW_SHAPE_HERMITE:
    case LW_SHAPE_BEZIER:
        return k1->P[3] * r;  // the incoming slope
    case LW_SHAPE_LINEAR:
        return q ? r * (q->Value - k1->Value + d) : d;
    case LW_SHAPE_BEZIER2D: {
        const float dt = k1->Time - k0->Time;
        return std::fabs(k0->P[0]) > 0.00001f ? dt * k0->P[1] / k0->P[0] : dt * k0->P[1] * 100000.0f;
    }
    default:
        return 0.0f;
    }
}

float Bezier(float e0, float e1, float e2, float e3, float s) {
    const float c = 3 * (e1 - e0);
    const float b = 3 * (e2 - e1) - c;
    const float a = e3 - e0 - c - b;
    return ((a * s + b) * s + c) * s + e0;
}

// The curve parameter at which the time curve reaches t, by bisection: the steps are bounded, as
// times far from 0 may never come within the tolerance in single precision.
float SolveBezierTime(float x0, float x1, float x2, float x3, float t) {
    float lo = 0.0f, hi = 1.0f, s = 0.5f;
    for (int step = 0; step < 64; ++step) {
        s = lo + (hi - lo) * 0.5f;
        const float x = Bezier(x0, x1, x2, x3, s);
        if (std::fabs(t - x) <= 0.0001f) break;
        if (x <= t)
            lo = s;
        else
            hi = s;
    }
    return s;
}

float EvaluateBezierSpan(const LwEvalKey* k0, const LwEvalKey* k1, float t) {
    const bool twoD = k0->Shape == LW_SHAPE_BEZIER2D;
    const float x1 = twoD ? k0->Time + k0->P[2] : k0->Time + (k1->Time - k0->Time) * 0.33333334f;
    const float s = SolveBezierTime(k0->Time, x1, k1->Time + k1->P[0], k1->Time, t);
    const float y1 = twoD ? k0->Value + k0->P[3] : k0->Value + OutgoingTangent(k0, k1) * 0.33333334f;
    return Bezier(k0->Value, y1, k1->Value + k1->P[1], k1->Value, s);
}

LwKeyShape ShapeOf(LwId type) {
    switch (type) {
    case Id("HERM"):
        return LW_SHAPE_HERMITE;
    case Id("BEZI"):
        return LW_SHAPE_BEZIER;
    case Id("LINE"):
        return LW_SHAPE_LINEAR;
    case Id("STEP"):
        return LW_SHAPE_STEPPED;
    case Id("BEZ2"):
        return LW_SHAPE_BEZIER2D;
    default:
        return LW_SHAPE_TCB;  // "TCB " and any other curve
    }
}

// Slopes of the span from k to its next key n that the tangent rules read.
void SetSlopes(LwEvalKey* k, const Lwo2EnvelopeSpan& kSpan, const Lwo2EnvelopeSpan& nSpan) {
    LwEvalKey* n = k->Next;
    const float d = n->Value - k->Value;
    if (n->Shape == LW_SHAPE_TCB) {
        const bool tcb = k->Shape == LW_SHAPE_TCB;
        const float t = tcb ? kSpan.Params[0] : 0, c = tcb ? kSpan.Params[1] : 0, b = tcb ? kSpan.Params[2] : 0;
        const float a0 = (1 + c) * (1 + b) * (1 - t), b0 = (1 - c) * (1 - b) * (1 - t);
        k->P[4] = k->Prev ? b0 * d + a0 * (k->Value - k->Prev->Value) : (a0 + b0) * d * 0.5f;
        const float t1 = nSpan.Params[0], c1 = nSpan.Params[1], b1 = nSpan.Params[2];
        const float a1 = (1 + b1) * (1 - c1) * (1 - t1), b2 = (1 + c1) * (1 - b1) * (1 - t1);
        n->P[3] = n->Next ? a1 * d + b2 * (n->Next->Value - n->Value) : (a1 + b2) * d * 0.5f;
    } else if (n->Shape == LW_SHAPE_LINEAR || n->Shape == LW_SHAPE_STEPPED) {
        k->P[4] = d;
        n->P[3] = d;
        const float span = n->Time - k->Time;
        if (span != 0.0f) {
            if (k->Prev) k->P[4] *= (n->Time - k->Prev->Time) / span;
            if (n->Next) n->P[3] *= (n->Next->Time - k->Time) / span;
        }
    }
}

// Moves t into the key range by whole periods; false when it cannot (no span, or no finite count).
bool Wrap(double* t, double first, double last, bool before, double* periods) {
    const double span = last - first;
    if (!(span > 0.0)) return false;
    const double m = before ? std::ceil((first - *t) / span) : std::ceil((*t - last) / span);
    if (!std::isfinite(m)) return false;
    *t = before ? *t + m * span : *t - m * span;
    *t = std::fmin(std::fmax(*t, first), last);  // rounding may leave it a hair outside
    *periods = m;
    return true;
}

// Looks at the keys once; a time that is no number stands out of order.
void FindKeyOrder(LwEvalEnvelope* envelope) {
    bool ascending = true;
    for (size_t i = 1; ascending && i < envelope->Keys.size(); ++i)
        ascending = envelope->Keys[i - 1].Time <= envelope->Keys[i].Time;
    envelope->KeyOrder = ascending ? LW_KEYS_ASCENDING : LW_KEYS_OUT_OF_ORDER;
}

// The slope per second of a tangent kept per span; the tangent itself when the span has no length.
double PerSecond(float tangent, float from, float to) {
    return to != from ? (double)tangent / ((double)to - from) : (double)tangent;
}

}  // namespace

std::unique_ptr<LwEvalEnvelope> BuildEvalEnvelope(LwObject* object, int32_t position) {
    LwEnvelopeEntry* entry = object->Op.GetEnvelope(object, position);
    if (!entry) return nullptr;
    Lwo2Envelope parsed;
    ParseEnvelope(object, (uint32_t)entry->DataSize, entry->Data, &parsed);
    std::unique_ptr<LwEvalEnvelope> env(new LwEvalEnvelope());
    // Without PRE or POST the curve holds its end values.
    if (parsed.Pre) env->Pre = (LwEnvelopeBehavior)parsed.Pre->Int[0];
    if (parsed.Post) env->Post = (LwEnvelopeBehavior)parsed.Post->Int[0];
    const size_t count = parsed.Keys.size();
    env->Keys.resize(count);
    for (size_t i = 0; i < count; ++i) {
        LwEvalKey& key = env->Keys[i];
        const Lwo2EnvelopeKey& in = parsed.Keys[i];
        key = LwEvalKey();
        key.Value = in.Value;
        key.Time = in.Time;
        key.Prev = i > 0 ? &env->Keys[i - 1] : nullptr;
        key.Next = i + 1 < count ? &env->Keys[i + 1] : nullptr;
        key.Shape = in.Span.Count || in.Span.Type ? ShapeOf(in.Span.Type) : LW_SHAPE_TCB;
        const float* p = in.Span.Params;
        switch (key.Shape) {
        case LW_SHAPE_TCB:
            if (in.Span.Type == Id("TCB ")) {
                key.P[0] = p[0];
                key.P[1] = p[1];
                key.P[2] = p[2];
            }
            break;
        case LW_SHAPE_HERMITE:
        case LW_SHAPE_LINEAR:
            if (in.Span.Count >= 2) {
                key.P[3] = p[0];
                key.P[4] = p[1];
            } else if (i > 0) {
                key.P[3] = key.Value - parsed.Keys[i - 1].Value;
            }
            break;
        case LW_SHAPE_BEZIER:
            key.P[3] = p[0];
            key.P[4] = p[1];
            break;
        case LW_SHAPE_BEZIER2D:
            for (int j = 0; j < 4; ++j) key.P[j] = p[j];
            break;
        default:
            break;
        }
    }
    for (size_t i = 0; i + 1 < count; ++i) SetSlopes(&env->Keys[i], parsed.Keys[i].Span, parsed.Keys[i + 1].Span);
    env->SearchStart = count ? &env->Keys[0] : nullptr;
    FindKeyOrder(env.get());
    return env;
}

void FreeEvalEnvelope(LwObject* object, std::unique_ptr<LwEvalEnvelope>* envelope) {
    (void)object;
    if (envelope) envelope->reset();
}

float EvaluateEnvelope(LwEvalEnvelope* envelope, float time) {
    if (!envelope || envelope->Keys.empty()) return 0.0f;
    const LwEvalKey* first = &envelope->Keys.front();
    const LwEvalKey* last = &envelope->Keys.back();
    if (first == last) return first->Value;
    double t = time, periods = 0.0;
    float offset = 0.0f;
    const float rise = last->Value - first->Value;
    if (t < first->Time) {
        switch (envelope->Pre) {
        case LW_BEHAVIOR_RESET:
            return 0.0f;
        case LW_BEHAVIOR_CONSTANT:
            return first->Value;
        case LW_BEHAVIOR_REPEAT:
        case LW_BEHAVIOR_OSCILLATE:
        case LW_BEHAVIOR_OFFSET_REPEAT:
            if (!Wrap(&t, first->Time, last->Time, true, &periods)) return first->Value;
            if (envelope->Pre == LW_BEHAVIOR_OSCILLATE && std::fmod(periods, 2.0) == 1.0)
                t = (double)first->Time + last->Time - t;  // mirrored within the key range
            if (envelope->Pre == LW_BEHAVIOR_OFFSET_REPEAT) offset = (float)(-periods * rise);
            break;
        case LW_BEHAVIOR_LINEAR: {
            const LwEvalKey* next = first->Next;
            if (first->Shape == LW_SHAPE_LINEAR)
                return first->Time == next->Time
                           ? first->Value
                           : (float)((first->Value - next->Value) / (first->Time - next->Time) * (t - next->Time) +
                                     next->Value);
            return (float)(first->Value + (t - first->Time) * PerSecond(first->P[4], first->Time, next->Time));
        }
        default:
            break;
        }
    } else if (t > last->Time) {
        switch (envelope->Post) {
        case LW_BEHAVIOR_RESET:
            return 0.0f;
        case LW_BEHAVIOR_CONSTANT:
            return last->Value;
        case LW_BEHAVIOR_REPEAT:
        case LW_BEHAVIOR_OSCILLATE:
        case LW_BEHAVIOR_OFFSET_REPEAT:
            if (!Wrap(&t, first->Time, last->Time, false, &periods)) return last->Value;
            if (envelope->Post == LW_BEHAVIOR_OSCILLATE && std::fmod(periods, 2.0) == 1.0)
                t = (double)first->Time + last->Time - t;
            if (envelope->Post == LW_BEHAVIOR_OFFSET_REPEAT) offset = (float)(periods * rise);
            break;
        case LW_BEHAVIOR_LINEAR: {
            const LwEvalKey* prev = last->Prev;
            if (last->Shape == LW_SHAPE_LINEAR)
                return last->Time == prev->Time
                           ? last->Value
                           : (float)((last->Value - prev->Value) / (last->Time - prev->Time) * (t - last->Time) +
                                     last->Value);
            return (float)(last->Value + (t - last->Time) * PerSecond(last->P[3], prev->Time, last->Time));
        }
        default:
            break;
        }
    }
    // The span is the first whose end t is not after, as a search from the first key finds it. With the
    // keys in order a key left by an earlier evaluation holds when t is after it; one step back serves a
    // time on or just before it.
    const float ft = (float)t;
    if (envelope->KeyOrder == LW_KEYS_ORDER_UNKNOWN) FindKeyOrder(envelope);
    LwEvalKey* k = envelope->KeyOrder == LW_KEYS_ASCENDING ? envelope->SearchStart : nullptr;
    if (!k || !(ft > k->Time)) k = k && k->Prev && ft > k->Prev->Time ? k->Prev : &envelope->Keys.front();
    while (k->Next && k->Next->Time < ft) k = k->Next;
    envelope->SearchStart = k;
    const LwEvalKey* n = k->Next;
    if (!n) return k->Value + offset;                    // past the last key (a time that is not a number)
    if (!(n->Time > k->Time)) return n->Value + offset;  // keys sharing a time: no span to cross
    const float u = (ft - k->Time) / (n->Time - k->Time);
    float result;
    switch (n->Shape) {
    case LW_SHAPE_TCB:
    case LW_SHAPE_HERMITE:
    case LW_SHAPE_BEZIER: {
        const float u2 = u * u, u3 = u2 * u;
        result = (3 * u2 - 2 * u3) * n->Value + (2 * u3 - 3 * u2 + 1) * k->Value + (u3 - u2) * IncomingTangent(k, n) +
                 (u3 - 2 * u2 + u) * OutgoingTangent(k, n);
        break;
    }
    case LW_SHAPE_LINEAR:
        result = k->Value + (n->Value - k->Value) * u;
        break;
    case LW_SHAPE_STEPPED:
        result = k->Value;
        break;
    case LW_SHAPE_BEZIER2D:
        result = EvaluateBezierSpan(k, n, ft);
        break;
    default:
        result = 0.0f;
        break;
    }
    return result + offset;
}
