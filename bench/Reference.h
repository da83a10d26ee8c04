// A reference workload for a benchmark whose work has no plain equivalent: its figure is judged as a
// ratio to this piece timed beside it on the same thread, so that a machine whose load slows every
// processor time slows both sides of the ratio alike.
// The piece is compiled once, in Reference.cpp, apart from every program that times it: a caller's
// inlining cannot reach it, and its code and data lie where nothing else in the program moves them
// (see there), so that two builds of a program time the same piece alike.
#pragma once

namespace bench {

// A fixed piece of work of the kinds an engine frame is made of, on plain data of its own: matrix
// products over an array, text formatted into a hashed table by key, a small stack machine stepping
// through a program by a jump table (branchy work, which a busy machine slows more than arithmetic), a
// pass over memory beyond the first-level cache in order (a walk by dependent loads would time the
// memory's latency, which the other programs on a shared machine move far more than they move the
// engine's work). Some 0.1 ms.
class Reference {
public:
    Reference();
    ~Reference();
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;
    // This thread's processor seconds for one piece.
    double Run();
    double sink_ = 0;  // what every piece computed, added up: the same sum each piece
    struct Data;       // the piece's data, defined beside its code

private:
    Data* data_;
};

}  // namespace bench
