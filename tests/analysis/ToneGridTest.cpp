#include <gtest/gtest.h>

#include <cmath>

#include "analysis/ToneGrid.h"

namespace marvex {
namespace {

// Single-precision steps reached another way: in double, rounded once to float. A product of
// two floats is exact in double, and a quotient rounded to double and then to float is still
// correctly rounded (53 >= 2 x 24 + 2). The ratios come from pow, not from the grid's bits.
float mul(float a, float b) {
    return static_cast<float>(static_cast<double>(a) * static_cast<double>(b));
}
float div(float a, float b) {
    return static_cast<float>(static_cast<double>(a) / static_cast<double>(b));
}

// Bin 48 is the reference pitch, bins are semitones and the upper edge a quarter-tone above.
TEST(ToneGrid, TablesMatchIndependentlyRoundedSteps) {
    const float q = static_cast<float>(std::pow(2.0, 1.0 / 24.0));
    const float s = static_cast<float>(std::pow(2.0, 1.0 / 12.0));
    const float rate = 96000.0f, pitch = 415.3f;
    const ToneGrid grid(rate, pitch);
    float base = div(pitch, 16.0f);
    float tone = base;
    for (int k = 0; k < 96; ++k) {
        if (k % 12 == 0 && k > 0) base = mul(2.0f, base);
        tone = k % 12 == 0 ? base : mul(s, tone);
        ASSERT_EQ(grid.centralPeriod(k), div(rate, tone)) << "bin " << k;
        ASSERT_EQ(grid.upperPeriod(k), div(rate, mul(q, tone))) << "bin " << k;
    }
    EXPECT_EQ(grid.centralPeriod(48), rate / pitch);
}

}  // namespace
}  // namespace marvex
