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
    for (float rate : {44100.0f, 48000.0f, 96000.0f, 22050.0f}) {
        for (float pitch : {400.0f, 415.3f, 440.0f, 466.2f, 480.0f}) {
            const ToneGrid grid(rate, pitch);
            float base = div(pitch, 16.0f);
            float tone = base;
            for (int k = 0; k < 96; ++k) {
                if (k % 12 == 0 && k > 0) base = mul(2.0f, base);
                tone = k % 12 == 0 ? base : mul(s, tone);
                SCOPED_TRACE(testing::Message() << rate << " Hz, pitch " << pitch << ", bin " << k);
                ASSERT_EQ(grid.centralPeriod(k), div(rate, tone));
                ASSERT_EQ(grid.upperPeriod(k), div(rate, mul(q, tone)));
            }
            EXPECT_EQ(grid.centralPeriod(48), rate / pitch);
        }
    }
}

}  // namespace
}  // namespace marvex
