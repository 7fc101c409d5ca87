#include <gtest/gtest.h>

#include <cmath>

#include "tests/analysis/KernelHarness.h"

namespace {

using marvex::test::KernelHarness;

// Single-precision steps reached another way: in double, rounded once to float. A product of
// two floats is exact in double, and a quotient rounded to double and then to float is still
// correctly rounded (53 >= 2 x 24 + 2). The ratios come from pow, not from the kernel's bits.
float mul(float a, float b) {
    return static_cast<float>(static_cast<double>(a) * static_cast<double>(b));
}
float div(float a, float b) {
    return static_cast<float>(static_cast<double>(a) / static_cast<double>(b));
}

TEST(ToneGrid, TablesMatchIndependentlyRoundedSteps) {
    const float q = static_cast<float>(std::pow(2.0, 1.0 / 24.0));
    const float s = static_cast<float>(std::pow(2.0, 1.0 / 12.0));
    for (double rate : {44100.0, 48000.0, 96000.0, 22050.0}) {
        for (float pitch : {400.0f, 415.3f, 440.0f, 466.2f, 480.0f}) {
            KernelHarness unit(rate, pitch);
            const auto kernel = unit.makeKernel();
            const float sr = static_cast<float>(rate);
            float base = div(pitch, 16.0f);
            float tone = base;
            for (int k = 0; k < 96; ++k) {
                if (k % 12 == 0 && k > 0) base = mul(2.0f, base);
                tone = k % 12 == 0 ? base : mul(s, tone);
                SCOPED_TRACE(testing::Message() << rate << " Hz, pitch " << pitch << ", bin " << k);
                ASSERT_EQ(kernel->centralPeriods()[k], div(sr, tone));
                ASSERT_EQ(kernel->upperPeriods()[k], div(sr, mul(q, tone)));
            }
        }
    }
}

// Musical meaning, to a few parts per million: bin 48 is the reference, bins are semitones,
// the upper boundary is a quarter-tone above the centre; octaves halve exactly.
TEST(ToneGrid, BinsAreEqualTemperedSemitonesFromTheReference) {
    for (double rate : {44100.0, 48000.0}) {
        for (float pitch : {400.0f, 440.0f, 480.0f}) {
            KernelHarness unit(rate, pitch);
            const auto kernel = unit.makeKernel();
            const auto central = kernel->centralPeriods();
            const auto upper = kernel->upperPeriods();
            for (int k = 0; k < 96; ++k) {
                const double hz = pitch * std::pow(2.0, (k - 48) / 12.0);
                EXPECT_NEAR(rate / central[k] / hz, 1.0, 2e-6) << k;
                EXPECT_NEAR(rate / upper[k] / (hz * std::pow(2.0, 1.0 / 24.0)), 1.0, 2e-6) << k;
                if (k >= 12) {
                    EXPECT_EQ(central[k], central[k - 12] / 2.0f) << k;
                    EXPECT_EQ(upper[k], upper[k - 12] / 2.0f) << k;
                }
            }
            EXPECT_EQ(central[48], static_cast<float>(rate) / pitch);
        }
    }
}

// Pitch and rate are read when a kernel is built; later changes reach only newer kernels.
TEST(ToneGrid, BuiltOnceFromTheValuesAtConstruction) {
    KernelHarness unit(44100.0, 440.0f);
    const auto before = unit.makeKernel();
    unit.set(kParam_Pitch, 415.0f);
    unit.setSampleRate(48000.0);
    marvex::test::process(*before, {-1.0f, 1.0f, -1.0f});
    EXPECT_EQ(before->centralPeriods()[48], 44100.0f / 440.0f);
    EXPECT_EQ(unit.makeKernel()->centralPeriods()[48], 48000.0f / 415.0f);
}

}  // namespace
