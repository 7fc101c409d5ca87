#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "analysis/AnalysisConstants.h"
#include "tests/analysis/KernelHarness.h"

namespace {

using marvex::test::KernelHarness;

// Single-precision steps computed another way: in double, rounded once to float. A product of
// two floats is exact in double, and a quotient rounded to double and then to float is still
// correctly rounded (53 >= 2 x 24 + 2), so this reaches the same bits independently.
float mul(float a, float b) {
    return static_cast<float>(static_cast<double>(a) * static_cast<double>(b));
}
float div(float a, float b) {
    return static_cast<float>(static_cast<double>(a) / static_cast<double>(b));
}

TEST(ToneGrid, ConstantsAreTheSinglePrecisionRatios) {
    EXPECT_EQ(marvex::kQuarterTone, static_cast<float>(std::pow(2.0, 1.0 / 24.0)));
    EXPECT_EQ(marvex::kSemitone, static_cast<float>(std::pow(2.0, 1.0 / 12.0)));
    EXPECT_EQ(marvex::kMinimumLobeArea, 0.05f);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(marvex::kMatchThreshold), 0x3F666666u);
    EXPECT_LT(marvex::kMatchThreshold, 0.9);
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
            for (int octave = 0; octave < 8; ++octave) {
                float tone = base;
                for (int semitone = 0; semitone < 12; ++semitone) {
                    if (semitone > 0) tone = mul(s, tone);
                    const int k = 12 * octave + semitone;
                    SCOPED_TRACE(testing::Message()
                                 << rate << " Hz, pitch " << pitch << ", bin " << k);
                    ASSERT_EQ(kernel->centralPeriods()[k], div(sr, tone));
                    ASSERT_EQ(kernel->upperPeriods()[k], div(sr, mul(q, tone)));
                }
                base = mul(2.0f, base);
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
                EXPECT_LT(upper[k], central[k]) << k;
                if (k > 0) {
                    EXPECT_LT(central[k], upper[k - 1]) << k;
                }
                if (k >= 12) {
                    EXPECT_EQ(central[k], central[k - 12] / 2.0f) << k;
                    EXPECT_EQ(upper[k], upper[k - 12] / 2.0f) << k;
                }
            }
            EXPECT_EQ(central[48], static_cast<float>(rate) / pitch);
        }
    }
}

TEST(ToneGrid, BuiltOnceFromTheValuesAtConstruction) {
    KernelHarness unit(44100.0, 440.0f);
    const auto before = unit.makeKernel();
    unit.set(kParam_Pitch, 415.0f);
    unit.setSampleRate(48000.0);
    EXPECT_EQ(before->centralPeriods()[48], 44100.0f / 440.0f);
    bool silence = true;
    float sample = 0.0f;
    before->Process(&sample, &sample, 1, 1, silence);
    EXPECT_EQ(before->centralPeriods()[48], 44100.0f / 440.0f);

    const auto after = unit.makeKernel();
    EXPECT_EQ(after->centralPeriods()[48], 48000.0f / 415.0f);
}

}  // namespace
