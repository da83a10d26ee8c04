#include <gtest/gtest.h>

#include "bench/Alternate.h"
#include "bench/Reference.h"

namespace {

// A benchmark program's exit status follows its targets: a missed one fails the run, a met one or an
// experiment's finding does not.
TEST(Verdict, AMissedTargetFailsTheProgramAndAFindingDoesNot) {
    bench::g_missed = 0;
    EXPECT_TRUE(bench::Verdict("a target", true));
    bench::Finding("an experiment", "no gain: not adopted");
    EXPECT_EQ(bench::Status(), 0);
    EXPECT_FALSE(bench::Verdict("another target", false));
    EXPECT_TRUE(bench::Verdict("a third", true));
    EXPECT_NE(bench::Status(), 0);
    bench::g_missed = 0;
}

// The reference workload does the same work every time and takes time on the clock a ratio divides by.
TEST(Reference, EveryPieceDoesTheSameWork) {
    bench::Reference reference;
    ASSERT_GT(reference.Run(), 0.0);
    const double once = reference.sink_;
    reference.Run();
    EXPECT_DOUBLE_EQ(reference.sink_, 2 * once);
}

}  // namespace
