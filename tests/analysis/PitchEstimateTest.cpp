#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "tests/analysis/KernelHarness.h"

namespace {

using marvex::test::feed;
using marvex::test::KernelHarness;
using marvex::test::sine;

constexpr float kSentinel = -7.0f;

void process(MarvexKernel& kernel, std::vector<float> samples) {
    bool silence = false;
    kernel.Process(samples.data(), samples.data(), static_cast<std::uint32_t>(samples.size()), 1,
                   silence);
}

std::vector<float> spikes(std::size_t length, std::vector<std::pair<std::size_t, float>> at) {
    std::vector<float> out(length, -1.0f);
    for (auto [pos, area] : at) out[pos] = area;
    return out;
}

void markResults(KernelHarness& unit) {
    for (std::uint32_t id = kParam_Frequency; id <= kParam_Deviation; ++id) unit.set(id, kSentinel);
}

double cents(double hz, double reference) {
    return 1200.0 * std::log2(hz / reference);
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

// Tones on, below and above bin centres from 29 Hz to about 1.8 kHz: the note, the bin's
// boundaries and the deviation come out right.
TEST(PitchEstimate, FindsSinesAcrossTheGrid) {
    const double quarterTone = std::pow(2.0, 1.0 / 24.0);
    for (double rate : {44100.0, 48000.0}) {
        for (float pitch : {400.0f, 440.0f, 466.2f, 480.0f}) {
            for (int bin = 1; bin <= 71; bin += 5) {
                for (double offset : {-25.0, 0.0, 25.0}) {
                    const double centre = pitch * std::pow(2.0, (bin - 48) / 12.0);
                    const double hz = centre * std::pow(2.0, offset / 1200.0);
                    SCOPED_TRACE(testing::Message()
                                 << rate << " Hz rate, pitch " << pitch << ", bin " << bin << ", "
                                 << offset << " cents");
                    const Heard heard = listen(rate, pitch, hz);
                    ASSERT_EQ(heard.note, bin);
                    EXPECT_NEAR(heard.central / centre, 1.0, 5e-6);
                    EXPECT_NEAR(heard.lower * quarterTone / centre, 1.0, 5e-6);
                    EXPECT_NEAR(heard.upper / quarterTone / centre, 1.0, 5e-6);
                    if (offset != 0.0) {
                        EXPECT_EQ(heard.deviation > 0, offset > 0);
                    }
                    if (bin <= 56) {
                        EXPECT_NEAR(cents(heard.frequency, hz), 0.0, 1.5);
                        // Linear in hertz across each half band: +-25 cents is about +-0.5.
                        const double expected = hz >= centre
                                                    ? (hz - centre) / (heard.upper - centre)
                                                    : (hz - centre) / (centre - heard.lower);
                        EXPECT_NEAR(heard.deviation, expected, 0.06);
                    } else {
                        // Each pair measures whole or half samples; averaged over the ring the
                        // period holds to 0.2 samples (a few cents at 40 samples per period).
                        EXPECT_NEAR(rate / heard.frequency, rate / hz, 0.2);
                    }
                }
            }
        }
    }
}

// Up to about 4 kHz a tone on a bin centre is still placed in its bin, though with a dozen
// samples per period the measured period only holds to about a quarter of a sample.
TEST(PitchEstimate, PlacesHighTonesInTheirBins) {
    for (double rate : {44100.0, 48000.0}) {
        for (float pitch : {400.0f, 440.0f, 480.0f}) {
            for (int bin = 72; bin <= 86; ++bin) {
                const double hz = pitch * std::pow(2.0, (bin - 48) / 12.0);
                SCOPED_TRACE(testing::Message()
                             << rate << " Hz rate, pitch " << pitch << ", bin " << bin);
                const Heard heard = listen(rate, pitch, hz);
                EXPECT_EQ(heard.note, bin);
                EXPECT_NEAR(rate / heard.frequency, rate / hz, 0.25);
            }
        }
    }
}

TEST(PitchEstimate, SteadySinePairsEachLobeWithTheNext) {
    KernelHarness unit(44100.0, 440.0f, 2.0f);
    auto kernel = unit.makeKernel();
    feed(*kernel, sine(440.0, 44100.0, 44100), 512);
    int matched = 0;
    for (int i = 0; i < 128; ++i) {
        const Bubble& b = kernel->bubble(i);
        if (b.matchRatio == -1.0f) continue;
        ++matched;
        EXPECT_GT(b.matchRatio, 0.9f);
        EXPECT_LE(b.matchRatio, 1.0f);
        EXPECT_NEAR(b.period, 44100.0 / 440.0, 1.0);
        EXPECT_EQ(b.noteIndex, 48);
    }
    // Only the newest closed lobe may still wait for its partner.
    EXPECT_GE(matched, 127);
    EXPECT_EQ(unit.get(kParam_Note), 48.0f);
    EXPECT_NEAR(unit.get(kParam_Deviation), 0.0f, 0.01f);
}

TEST(PitchEstimate, PairsOnlyWithALaterLobeOfNearlyEqualArea) {
    KernelHarness unit(44100.0, 440.0f, 0.0f);
    auto kernel = unit.makeKernel();
    markResults(unit);
    // A lone lobe: nothing to pair, nothing written.
    process(*kernel, spikes(200, {{10, 1.0f}}));
    EXPECT_EQ(kernel->bubble(0).matchRatio, -1.0f);
    for (std::uint32_t id = kParam_Frequency; id <= kParam_Deviation; ++id)
        EXPECT_EQ(unit.get(id), kSentinel) << id;

    // The second pairs the first (mean of start and end distances, 200 samples); the second's
    // own scan wraps to the older first lobe and stops there unmatched.
    process(*kernel, spikes(200, {{10, 1.0f}}));
    EXPECT_EQ(kernel->bubble(0).matchRatio, 1.0f);
    EXPECT_EQ(kernel->bubble(0).period, 200.0f);
    EXPECT_EQ(kernel->bubble(1).matchRatio, -1.0f);
    EXPECT_EQ(unit.get(kParam_Note), 36.0f);
    EXPECT_NEAR(unit.get(kParam_Frequency), 220.5f, 1e-3f);

    // A later estimate tries it again, and a ratio of 0.95 is close enough.
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
                SCOPED_TRACE(testing::Message()
                             << scale << (smallerFirst ? " up " : " down ") << ratio);
                if (ratio == 0.9f) {
                    // The scan passes over the second lobe to the next equal one.
                    EXPECT_EQ(kernel->bubble(0).matchRatio, 1.0f);
                    EXPECT_EQ(kernel->bubble(0).period, 20.0f);
                    EXPECT_EQ(kernel->bubble(1).matchRatio, -1.0f);
                } else {
                    EXPECT_EQ(kernel->bubble(0).matchRatio, justAbove);
                    EXPECT_EQ(kernel->bubble(0).period, 10.0f);
                    EXPECT_EQ(kernel->bubble(1).matchRatio, justAbove);
                    // Pairs just above the threshold weigh almost nothing, yet their mean
                    // is still their period.
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
    EXPECT_EQ(kernel->bubble(0).noteIndex, 36);
    EXPECT_EQ(kernel->bubble(1).noteIndex, 48);
    EXPECT_EQ(unit.get(kParam_Note), 36.0f);
    EXPECT_NEAR(unit.get(kParam_Frequency), 220.5f, 1e-3f);

    // One more area-2 pair breaks the tie.
    process(*kernel, spikes(100, {{90, 2.0f}}));
    EXPECT_EQ(unit.get(kParam_Note), 48.0f);
    EXPECT_NEAR(unit.get(kParam_Frequency), 441.0f, 1e-3f);
}

// Bin 0 never wins by votes; when it is all there is, Note and LowerFrequency keep their
// values and the band below the centre counts as 1 Hz wide.
TEST(PitchEstimate, LowestBinPublishesWithoutNoteOrLowerBoundary) {
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
}

TEST(PitchEstimate, LobesAboveTheTopBinVoteNowhereButCountWhenBinZeroWins) {
    KernelHarness unit(44100.0, 440.0f, 0.0f);
    auto kernel = unit.makeKernel();
    markResults(unit);
    // 11025 Hz in one call that ends between lobes. (A call ending on a one-sample lobe would
    // leave it open with its whole area, and the lobe before would pair with it early.)
    std::vector<float> signal(1998, -1.0f);
    for (std::size_t i = 3; i < signal.size(); i += 4) signal[i] = 1.0f;
    process(*kernel, signal);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(kernel->bubble(i).noteIndex, 0);
    EXPECT_EQ(unit.get(kParam_Note), kSentinel);
    EXPECT_EQ(unit.get(kParam_LowerFrequency), kSentinel);
    EXPECT_EQ(unit.get(kParam_Frequency), 11025.0f);
    EXPECT_NEAR(unit.get(kParam_CentralFrequency), 27.5f, 1e-4f);
    EXPECT_GT(unit.get(kParam_Deviation), 1000.0f);  // not clamped
}

TEST(PitchEstimate, LaterChannelsOverwriteEarlierOnes) {
    for (bool lowLast : {true, false}) {
        KernelHarness unit;
        auto first = unit.makeKernel(0, false);
        auto second = unit.makeKernel(1, true);
        const auto high = sine(440.0, 44100.0, 22050);
        const auto low = sine(220.0, 44100.0, 22050);
        const auto& a = lowLast ? high : low;
        const auto& b = lowLast ? low : high;
        std::vector<float> out(512);
        bool silence = false;
        for (std::size_t at = 0; at + 512 <= a.size(); at += 512) {
            first->Process(a.data() + at, out.data(), 512, 1, silence);
            second->Process(b.data() + at, out.data(), 512, 1, silence);
        }
        EXPECT_EQ(unit.get(kParam_Note), lowLast ? 36.0f : 48.0f);
        EXPECT_NEAR(unit.get(kParam_Frequency), lowLast ? 220.0f : 440.0f, 0.1f);
    }
}

// Bins found by bisection agree with the first-bin-below definition, also for Pitch values a
// host may write that make the tables meaningless.
TEST(PitchEstimate, BinIsTheFirstWhoseUpperPeriodIsBelowThePeriod) {
    const float pitches[] = {440.0f, 0.0f,  -440.0f, std::numeric_limits<float>::quiet_NaN(),
                             1e38f,  1e-30f};
    for (float pitch : pitches) {
        KernelHarness unit(44100.0, pitch, 4.0f);
        auto kernel = unit.makeKernel();
        markResults(unit);
        std::vector<float> tones = sine(97.0, 44100.0, 20000);
        const auto more = sine(1234.0, 44100.0, 20000);
        tones.insert(tones.end(), more.begin(), more.end());
        feed(*kernel, tones, 512);
        const auto upper = kernel->upperPeriods();
        int votes = 0;
        for (int i = 0; i < 512; ++i) {
            const Bubble& b = kernel->bubble(i);
            if (!(b.matchRatio > -1.0f)) continue;
            int bin = 0;
            while (bin < 96 && !(b.period > upper[bin])) ++bin;
            if (bin < 96) {
                EXPECT_EQ(b.noteIndex, bin) << pitch << " record " << i;
                ++votes;
            }
        }
        if (pitch == 440.0f) {
            EXPECT_GT(votes, 100);
            EXPECT_EQ(unit.get(kParam_Note), 66.0f);  // 1234 Hz, the newer tone, wins
        }
    }
}

}  // namespace
