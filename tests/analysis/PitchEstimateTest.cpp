#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "tests/analysis/KernelHarness.h"

namespace {

using namespace marvex::test;

constexpr float kSentinel = -7.0f;

void markResults(KernelHarness& unit) {
    for (std::uint32_t id = kParam_Frequency; id <= kParam_Deviation; ++id) unit.set(id, kSentinel);
}

struct Heard {
    float note, frequency, lower, central, upper, deviation;
};

Heard listen(double rate, float pitch, double hz) {
    KernelHarness unit(rate, pitch);
    auto kernel = unit.makeKernel();
    const auto frames = static_cast<std::size_t>(std::max(0.25 * rate, 40 * rate / hz));
    feed(*kernel, sine(hz, rate, frames, 0.5, 0.1), 512);
    return {unit.get(kParam_Note),           unit.get(kParam_Frequency),
            unit.get(kParam_LowerFrequency), unit.get(kParam_CentralFrequency),
            unit.get(kParam_UpperFrequency), unit.get(kParam_Deviation)};
}

// Tones on, below and above bin centres from 29 Hz to 4 kHz at two rates and four references.
// Tolerances follow the method: each pair measures whole or half samples, so the mean period
// holds to about 0.2 samples; that is 1.5 cents up to ~700 Hz but a quarter-tone near 4 kHz,
// where only tones on a bin centre are sure to land in their bin.
TEST(PitchEstimate, FindsSinesAcrossTheGrid) {
    const double quarterTone = std::pow(2.0, 1.0 / 24.0);
    for (double rate : {44100.0, 48000.0}) {
        for (float pitch : {400.0f, 440.0f, 466.2f, 480.0f}) {
            for (int bin = 1; bin <= 86; bin += bin < 71 ? 5 : 3) {
                for (double cents : {-25.0, 0.0, 25.0}) {
                    if (bin > 71 && cents != 0.0) continue;
                    const double centre = pitch * std::pow(2.0, (bin - 48) / 12.0);
                    const double hz = centre * std::pow(2.0, cents / 1200.0);
                    SCOPED_TRACE(testing::Message() << rate << " Hz rate, pitch " << pitch
                                                    << ", bin " << bin << ", " << cents);
                    const Heard heard = listen(rate, pitch, hz);
                    ASSERT_EQ(heard.note, bin);
                    EXPECT_NEAR(heard.central / centre, 1.0, 5e-6);
                    EXPECT_NEAR(heard.lower * quarterTone / centre, 1.0, 5e-6);
                    EXPECT_NEAR(heard.upper / quarterTone / centre, 1.0, 5e-6);
                    if (cents != 0.0) {
                        EXPECT_EQ(heard.deviation > 0, cents > 0);
                    }
                    if (bin > 56) {
                        EXPECT_NEAR(rate / heard.frequency, rate / hz, bin > 71 ? 0.25 : 0.2);
                        continue;
                    }
                    EXPECT_NEAR(1200.0 * std::log2(heard.frequency / hz), 0.0, 1.5);
                    // Linear in hertz across each half band: +-25 cents is about +-0.5.
                    const double expected = hz >= centre ? (hz - centre) / (heard.upper - centre)
                                                         : (hz - centre) / (centre - heard.lower);
                    EXPECT_NEAR(heard.deviation, expected, 0.06);
                }
            }
        }
    }
}

TEST(PitchEstimate, PairsOnlyWithALaterLobeOfNearlyEqualArea) {
    KernelHarness unit(44100.0, 440.0f, 0.0f);
    auto kernel = unit.makeKernel();
    markResults(unit);
    // A lone lobe: nothing to pair, nothing written.
    process(*kernel, spikes(200, {{10, 1.0f}}));
    for (std::uint32_t id = kParam_Frequency; id <= kParam_Deviation; ++id)
        EXPECT_EQ(unit.get(id), kSentinel) << id;
    // The second pairs the first (mean of the start and end distances); the second's own scan
    // wraps to the older first lobe and stops there, unmatched.
    process(*kernel, spikes(200, {{10, 1.0f}}));
    EXPECT_EQ(kernel->bubble(0).matchRatio, 1.0f);
    EXPECT_EQ(kernel->bubble(0).period, 200.0f);
    EXPECT_EQ(kernel->bubble(1).matchRatio, -1.0f);
    EXPECT_EQ(unit.get(kParam_Note), 36.0f);
    EXPECT_NEAR(unit.get(kParam_Frequency), 220.5f, 1e-3f);
    // A later estimate tries it again.
    process(*kernel, spikes(100, {{10, 0.95f}}));
    EXPECT_EQ(kernel->bubble(1).matchRatio, 0.95f);
    EXPECT_EQ(kernel->bubble(1).period, 200.0f);
}

// Exactly 0.9f apart does not pair, one float closer does; from either side and at any scale
// (powers of two keep the ratios exact).
TEST(PitchEstimate, RatioMustExceedTheSinglePrecisionThreshold) {
    const float justAbove = std::nextafter(0.9f, 1.0f);
    for (float scale : {1.0f, 0.125f, 0x1p100f}) {
        for (bool smallerFirst : {false, true}) {
            for (float ratio : {0.9f, justAbove}) {
                KernelHarness unit(44100.0, 440.0f, 0.0f);
                auto kernel = unit.makeKernel();
                const float first = (smallerFirst ? ratio : 1.0f) * scale;
                const float second = (smallerFirst ? 1.0f : ratio) * scale;
                process(*kernel, spikes(100, {{10, first}, {20, second}, {30, first}}));
                SCOPED_TRACE(testing::Message() << scale << " " << smallerFirst << " " << ratio);
                const bool pairs = ratio != 0.9f;
                // Otherwise the scan passes over the second lobe to the next equal one.
                EXPECT_EQ(kernel->bubble(0).matchRatio, pairs ? justAbove : 1.0f);
                EXPECT_EQ(kernel->bubble(0).period, pairs ? 10.0f : 20.0f);
                EXPECT_EQ(kernel->bubble(1).matchRatio, pairs ? justAbove : -1.0f);
                // Pairs just above the threshold weigh almost nothing, yet average right.
                if (pairs) {
                    EXPECT_NEAR(unit.get(kParam_Frequency), 4410.0f, 0.01f);
                }
            }
        }
    }
}

TEST(PitchEstimate, TiedVotesGoToTheLowerBinAndOnlyItsLobesAreAveraged) {
    KernelHarness unit(44100.0, 440.0f, 0.0f);
    auto kernel = unit.makeKernel();
    // Lobes of area 1 pair 200 samples apart (220.5 Hz, bin 36), lobes of area 2 pair 100
    // apart (441 Hz, bin 48): one vote each.
    process(*kernel, spikes(230, {{10, 1.0f}, {120, 2.0f}, {210, 1.0f}, {220, 2.0f}}));
    EXPECT_EQ(kernel->bubble(1).noteIndex, 48);
    EXPECT_EQ(unit.get(kParam_Note), 36.0f);
    EXPECT_NEAR(unit.get(kParam_Frequency), 220.5f, 1e-3f);
    // One more area-2 pair breaks the tie.
    process(*kernel, spikes(100, {{90, 2.0f}}));
    EXPECT_EQ(unit.get(kParam_Note), 48.0f);
    EXPECT_NEAR(unit.get(kParam_Frequency), 441.0f, 1e-3f);
}

// Bin 0 never wins by votes. When nothing else has votes, Note and LowerFrequency keep their
// values, the band below bin 0's centre counts as 1 Hz wide, and matched lobes above the top
// bin (which vote nowhere and keep noteIndex 0) join the average.
TEST(PitchEstimate, BinZeroPublishesWithoutNoteOrLowerBoundary) {
    KernelHarness unit(44100.0, 440.0f, 2.0f);
    auto kernel = unit.makeKernel();
    markResults(unit);
    feed(*kernel, sine(27.3, 44100.0, 88200), 512);
    EXPECT_EQ(unit.get(kParam_Note), kSentinel);
    EXPECT_EQ(unit.get(kParam_LowerFrequency), kSentinel);
    const float frequency = unit.get(kParam_Frequency);
    const float central = unit.get(kParam_CentralFrequency);
    EXPECT_NEAR(frequency, 27.3f, 0.02f);
    EXPECT_NEAR(central, 27.5f, 1e-4f);
    EXPECT_NEAR(unit.get(kParam_UpperFrequency), 27.5 * std::pow(2.0, 1.0 / 24.0), 1e-4);
    EXPECT_NEAR(unit.get(kParam_Deviation), frequency - central, 1e-5f);

    auto high = unit.makeKernel();
    // 11025 Hz in one call ending between lobes. (A call ending on a one-sample lobe leaves it
    // open holding its whole area, and the lobe before pairs with it early.)
    std::vector<float> signal(1998, -1.0f);
    for (std::size_t i = 3; i < signal.size(); i += 4) signal[i] = 1.0f;
    process(*high, signal);
    EXPECT_EQ(high->bubble(5).noteIndex, 0);
    EXPECT_EQ(unit.get(kParam_Note), kSentinel);
    EXPECT_EQ(unit.get(kParam_Frequency), 11025.0f);
    EXPECT_GT(unit.get(kParam_Deviation), 1000.0f);  // not clamped
}

TEST(PitchEstimate, LaterChannelsOverwriteEarlierOnes) {
    for (bool lowLast : {true, false}) {
        KernelHarness unit;
        auto first = unit.makeKernel(0, false);
        auto second = unit.makeKernel(1, true);
        const auto a = sine(lowLast ? 440.0 : 220.0, 44100.0, 22016);
        const auto b = sine(lowLast ? 220.0 : 440.0, 44100.0, 22016);
        std::vector<float> out(512);
        bool silence = false;
        for (std::size_t at = 0; at < a.size(); at += 512) {
            first->Process(a.data() + at, out.data(), 512, 1, silence);
            second->Process(b.data() + at, out.data(), 512, 1, silence);
        }
        EXPECT_EQ(unit.get(kParam_Note), lowLast ? 36.0f : 48.0f);
        EXPECT_NEAR(unit.get(kParam_Frequency), lowLast ? 220.0f : 440.0f, 0.1f);
    }
}

}  // namespace
