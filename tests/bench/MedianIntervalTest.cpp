#include "bench/Alternate.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// 1, 2, ..., n in a shuffled order: the k-th smallest figure is k.
std::vector<double> Shuffled(int n) {
    std::vector<double> v;
    for (int i = 0; i < n; ++i) v.push_back(static_cast<double>((i * 17) % n + 1));
    return v;
}

// The order statistics of the sign test's 95% interval for the median, as the usual tables give them.
TEST(MedianInterval, OrderStatisticsOfTheSignTest) {
    struct Row {
        int n, lower, upper;
    };
    for (const Row& row : {Row{6, 1, 6}, Row{10, 2, 9}, Row{20, 6, 15}, Row{30, 10, 21}, Row{40, 14, 27}}) {
        const bench::Spread s = bench::MedianInterval(Shuffled(row.n));
        EXPECT_EQ(s.min, row.lower) << "n = " << row.n;
        EXPECT_EQ(s.max, row.upper) << "n = " << row.n;
        EXPECT_EQ(s.median, (row.n + 1) / 2.0) << "n = " << row.n;
    }
}

TEST(MedianInterval, TooFewFiguresGiveTheWholeRange) {
    for (int n = 1; n < 6; ++n) {
        const bench::Spread s = bench::MedianInterval(Shuffled(n));
        EXPECT_EQ(s.min, 1) << "n = " << n;
        EXPECT_EQ(s.max, n) << "n = " << n;
    }
    const bench::Spread none = bench::MedianInterval({});
    EXPECT_EQ(none.min, 0);
    EXPECT_EQ(none.max, 0);
}

// Many figures: the interval narrows round the median and never leaves the sample.
TEST(MedianInterval, NarrowsWithManyFigures) {
    const bench::Spread s = bench::MedianInterval(Shuffled(1001));
    EXPECT_EQ(s.median, 501);
    EXPECT_GT(s.min, 460);
    EXPECT_LT(s.max, 542);
    EXPECT_LE(s.min, s.median);
    EXPECT_GE(s.max, s.median);
}

}  // namespace
