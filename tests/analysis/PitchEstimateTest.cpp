#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "tests/analysis/AnalysisFixtures.h"

namespace marvex::test {
namespace {

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
                    PitchAnalysis analysis(rate, pitch);
                    const auto frames = std::size_t(std::max(0.25 * rate, 40 * rate / hz));
                    const PitchResult heard = feed(analysis, sine(hz, rate, frames, 0.5, 0.1));
                    ASSERT_TRUE(heard.hasNote && heard.hasPitch);
                    ASSERT_EQ(heard.note, bin);
                    EXPECT_NEAR(heard.centralHz / centre, 1.0, 5e-6);
                    EXPECT_NEAR(heard.lowerHz * quarterTone / centre, 1.0, 5e-6);
                    EXPECT_NEAR(heard.upperHz / quarterTone / centre, 1.0, 5e-6);
                    if (cents != 0.0) {
                        EXPECT_EQ(heard.deviation > 0, cents > 0);
                    }
                    if (bin > 56) {
                        EXPECT_NEAR(rate / heard.frequencyHz, rate / hz, bin > 71 ? 0.25 : 0.2);
                        continue;
                    }
                    EXPECT_NEAR(1200.0 * std::log2(heard.frequencyHz / hz), 0.0, 1.5);
                    // Linear in hertz across each half band: +-25 cents is about +-0.5.
                    const double expected = hz >= centre ? (hz - centre) / (heard.upperHz - centre)
                                                         : (hz - centre) / (centre - heard.lowerHz);
                    EXPECT_NEAR(heard.deviation, expected, 0.06);
                }
            }
        }
    }
}

// The comparison with the plain arithmetic (LobeCaptureTest) covers pairing and voting on noise;
// noise never meets an area ratio of exactly 0.9 or a tie, so those are set up here.
// Exactly 0.9f apart does not pair, one float closer does; from either side and at any scale
// (powers of two keep the ratios exact).
TEST(PitchEstimate, RatioMustExceedTheSinglePrecisionThreshold) {
    const float justAbove = std::nextafter(0.9f, 1.0f);
    for (float scale : {1.0f, 0.125f, 0x1p100f}) {
        for (bool smallerFirst : {false, true}) {
            for (float ratio : {0.9f, justAbove}) {
                PitchAnalysis analysis(44100.0, 440.0f);
                const float first = (smallerFirst ? ratio : 1.0f) * scale;
                const float second = (smallerFirst ? 1.0f : ratio) * scale;
                const PitchResult result =
                    process(analysis, spikes(100, {{10, first}, {20, second}, {30, first}}), 0.0f);
                SCOPED_TRACE(testing::Message() << scale << " " << smallerFirst << " " << ratio);
                const bool pairs = ratio != 0.9f;
                // Otherwise the scan passes over the second lobe to the next equal one.
                EXPECT_EQ(analysis.bubble(0).matchRatio, pairs ? justAbove : 1.0f);
                EXPECT_EQ(analysis.bubble(0).period, pairs ? 10.0f : 20.0f);
                EXPECT_EQ(analysis.bubble(1).matchRatio, pairs ? justAbove : -1.0f);
                // Pairs just above the threshold weigh almost nothing, yet average right.
                if (pairs) {
                    EXPECT_NEAR(result.frequencyHz, 4410.0f, 0.01f);
                }
            }
        }
    }
}

TEST(PitchEstimate, TiedVotesGoToTheLowerBinAndOnlyItsLobesAreAveraged) {
    PitchAnalysis analysis(44100.0, 440.0f);
    // Lobes of area 1 pair 200 samples apart (220.5 Hz, bin 36), lobes of area 2 pair 100
    // apart (441 Hz, bin 48): one vote each.
    const PitchResult tie =
        process(analysis, spikes(230, {{10, 1.0f}, {120, 2.0f}, {210, 1.0f}, {220, 2.0f}}), 0.0f);
    EXPECT_EQ(analysis.bubble(1).noteIndex, 48);
    EXPECT_EQ(tie.note, 36);
    EXPECT_NEAR(tie.frequencyHz, 220.5f, 1e-3f);
    // One more area-2 pair breaks the tie.
    const PitchResult broken = process(analysis, spikes(100, {{90, 2.0f}}), 0.0f);
    EXPECT_EQ(broken.note, 48);
    EXPECT_NEAR(broken.frequencyHz, 441.0f, 1e-3f);
}

// Bin 0 never wins by votes; a pitch found there has no note and no lower band edge, and the
// band below its centre counts as 1 Hz wide.
TEST(PitchEstimate, BinZeroFindsAPitchWithoutNoteOrLowerEdge) {
    PitchAnalysis analysis(44100.0, 440.0f);
    const PitchResult result = feed(analysis, sine(27.3, 44100.0, 88200));
    EXPECT_FALSE(result.hasNote);
    ASSERT_TRUE(result.hasPitch);
    EXPECT_NEAR(result.frequencyHz, 27.3f, 0.02f);
    EXPECT_NEAR(result.centralHz, 27.5f, 1e-4f);
    EXPECT_NEAR(result.deviation, result.frequencyHz - result.centralHz, 1e-5f);
}

}  // namespace
}  // namespace marvex::test
