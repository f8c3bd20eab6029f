// Weights stay numbers when every inverse distance power leaves the range of
// the reals: far stations and a high power.
#include <gtest/gtest.h>

#include <cmath>

#include "driver/dist_test_support.h"
#include "weighting/weight.h"

using namespace nimbex;
using nimbex::testing::TestRun;
using nimbex::testing::weigh;

TEST(RobustWeights, PowersBeyondTheRealRangeGiveNoWeightNotNaN) {
    TestRun t("robust_wt");
    t.grid(4, 3);
    t.gauges(2, 1, 1);
    // Stations 10^5 cells away: to the power 9 that is 10^45, beyond a float.
    t.station(1, 1.0e5f, 2.0f);
    t.station(2, 1.1e5f, 2.0f);
    t.rs.gauges.precip(1, 1) = 1.0f;
    t.rs.gauges.precip(2, 1) = 1.0f;
    t.rs.idw_power = 9;
    t.rs.radiusinflce = 1.0e6f;  // all in reach
    weigh(t, 1, 2, 4, 3);
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 4; ++j)
            for (int k = 1; k <= 2; ++k) EXPECT_EQ(t.rs.wts.weight_at(i, j, k), 0.0f) << i << j << k;
}
