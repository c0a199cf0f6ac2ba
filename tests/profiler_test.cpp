#include "tarn/profiler.h"

#include <vector>

#include <gtest/gtest.h>

namespace {

// Nearest rank, and the median of an even count halfway between the middle
// two, worked by hand.
TEST(ProfilerTest, QuantilesOfTheTable) {
    std::vector<double> hundred;
    for (int i = 100; i >= 1; --i)
        hundred.push_back(i);
    const struct {
        std::vector<double> values;
        double p, expected;
    } rows[] = {
        {{}, 0.5, 0.0},           {{3.0}, 0.95, 3.0},           {{5, 1, 3}, 0.5, 3.0},
        {{4, 1, 3, 2}, 0.5, 2.5}, {{1, 2}, 0.95, 2.0},          {hundred, 0.95, 95.0},
        {hundred, 0.5, 50.5},     {{2, 9, 4, 7, 1}, 0.95, 9.0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Tarn::Profiler::quantile(row.values, row.p), row.expected)
            << testing::PrintToString(row.values) << " at " << row.p;
}

}  // namespace
