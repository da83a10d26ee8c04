#include <gtest/gtest.h>

#include "bench/Alternate.h"
#include "bench/Reference.h"

namespace {

void ForgetVerdicts() { bench::g_judged = bench::g_missed = bench::g_unmeasured = 0; }

// A benchmark program's exit status follows its targets: a missed one fails the run, a met one or an
// experiment's finding does not.
TEST(Verdict, AMissedTargetFailsTheProgramAndAFindingDoesNot) {
    ForgetVerdicts();
    EXPECT_TRUE(bench::Verdict("a target", true));
    bench::Finding("an experiment", "no gain: not adopted");
    EXPECT_EQ(bench::Status(), 0);
    EXPECT_FALSE(bench::Verdict("another target", false));
    EXPECT_TRUE(bench::Verdict("a third", true));
    EXPECT_NE(bench::Status(), 0);
    ForgetVerdicts();
}

// A target that could not be measured is not met, whatever else was met; a program that judged
// nothing at all, an experiment's finding aside, has not succeeded either. Each tells its own status
// apart from a miss.
TEST(Verdict, ATargetNotMeasuredOrNothingJudgedFailsTheProgram) {
    ForgetVerdicts();
    bench::Verdict("a target", true);
    bench::Unmeasured("a target needing a GL device", "no GL device");
    EXPECT_EQ(bench::Status(), bench::kNotMeasured);
    bench::Verdict("another target", false);
    EXPECT_EQ(bench::Status(), bench::kMissed);

    ForgetVerdicts();
    bench::Unmeasured("the only target", "no encoder");
    EXPECT_EQ(bench::Status(), bench::kNotMeasured);

    ForgetVerdicts();
    bench::Finding("an experiment", "no gain: not adopted");
    EXPECT_EQ(bench::Status(), bench::kNotMeasured);

    ForgetVerdicts();
    bench::Verdict("a target", true);
    EXPECT_EQ(bench::Status(), bench::kAllMet);
    ForgetVerdicts();
}

// Work timed in parts is judged on the sum of the parts' floors: a repetition disturbed in one part and
// another disturbed in the other do not raise it, as they raise the floor of the repetitions' sums.
TEST(Floor, APartedFigureSumsThePartsFloors) {
    // Twenty repetitions: the first ten disturbed in one part, the last ten in the other.
    std::vector<double> a(20, 1.0), b(20, 1.0), sums;
    for (int i = 0; i < 10; ++i) a[i] = b[10 + i] = 5;
    for (std::size_t i = 0; i < a.size(); ++i) sums.push_back(a[i] + b[i]);
    EXPECT_DOUBLE_EQ(bench::Floor(sums), 6);
    EXPECT_DOUBLE_EQ(bench::FloorSum({&a, &b}), 2);
    const std::vector<double> half(20, 0.5), none(20, 0.0);
    EXPECT_DOUBLE_EQ(bench::FloorSumRatio({&a, &b}, {&half, &half}), 2);
    EXPECT_EQ(bench::FloorSumRatio({&a}, {&none}), HUGE_VAL);  // no bound is met against nothing
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
