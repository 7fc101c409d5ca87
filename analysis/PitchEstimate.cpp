#include <bit>
#include <cfloat>
#include <cstdint>

#include "analysis/AnalysisConstants.h"
#include "analysis/MarvexKernel.h"
#include "analysis/MarvexParameterIDs.h"
#include "effect/AUEffectBase.h"

using namespace marvex;

namespace {

// A rounded quotient fl(q) exceeds the match threshold exactly when q exceeds the midpoint
// between the threshold and the next float up (a tie rounds to the threshold, whose last bit is
// even). The midpoint has 25 significant bits, so its product with any float is exact in
// double: pairs can be tested without dividing.
constexpr double kMatchMidpoint =
    (static_cast<double>(kMatchThreshold) +
     static_cast<double>(std::bit_cast<float>(std::bit_cast<std::uint32_t>(kMatchThreshold) + 1))) /
    2.0;
static_assert((std::bit_cast<std::uint32_t>(kMatchThreshold) & 1) == 0);

// The smaller of two areas over the larger, rounded, as the pairing defines it.
float areaRatio(float a, float b) {
    const float larger = b > a ? b : a;
    const float smaller = b > a ? a : b;
    return larger > 0.0f ? smaller / larger : 0.0f;
}

}  // namespace

int MarvexKernel::findPartner(int i, int n) const {
    const float area = mBubbles[i].area;
    if (!(area >= 2.0f * FLT_MIN)) {
        // Zero, subnormal (which flush-to-zero modes treat as zero) or NaN: the plain way.
        for (int j = (i + 1 == n) ? 0 : i + 1; j != i; j = (j + 1 == n) ? 0 : j + 1)
            if (areaRatio(area, mBubbles[j].area) > kMatchThreshold) return j;
        return -1;
    }
    // The areas b that pair with this one form the float interval [low, high]: b below the area
    // needs b > midpoint x area, b above it needs midpoint x b < area (both exact in double).
    const double exactArea = area;
    const double lowBound = kMatchMidpoint * exactArea;
    std::uint32_t low = std::bit_cast<std::uint32_t>(static_cast<float>(lowBound));
    if (!(static_cast<double>(std::bit_cast<float>(low)) > lowBound)) ++low;
    std::uint32_t high =
        std::bit_cast<std::uint32_t>(static_cast<float>(exactArea / kMatchMidpoint));
    if (!(kMatchMidpoint * static_cast<double>(std::bit_cast<float>(high)) < exactArea)) --high;
    if (low > high) return -1;  // an infinite area pairs with nothing

    // Areas are never negative, and non-negative floats order like their bit patterns, so one
    // unsigned comparison tests the interval without a branch that noise would mispredict.
    // (-0 and subnormals land outside it, as they do in a float comparison.)
    const std::uint32_t width = high - low;
    const auto inRange = [&](int j) {
        return std::bit_cast<std::uint32_t>(mBubbles[j].area) - low <= width;
    };
    for (int j = i + 1; j < n; ++j)
        if (inRange(j)) return j;
    for (int j = 0; j < i; ++j)
        if (inRange(j)) return j;
    return -1;
}

void MarvexKernel::updateFrequency() {
    const int n = getMaxBubbles();

    // One pass does, for each record in turn, what would otherwise take three: pairing,
    // voting and the weighted sums. Pairing record i changes only record i, and what record i
    // adds to the votes and sums depends only on record i after its pairing, so the results
    // equal pairing the whole ring first. Sums are kept for every bin, each in record order, so
    // the winner's sum is the same serial sum as if only its records had been added.
    std::int32_t votes[kToneCount + 1] = {};  // the extra counter takes lobes that vote nowhere
    float sums[kToneCount] = {};
    float weightSums[kToneCount] = {};
    // Runs of equal bins stay in registers: a steady tone would otherwise chain every step
    // through the same memory cell.
    int voteBin = kToneCount;
    std::int32_t voteRun = 0;
    int sumBin = 0;
    float sum = 0.0f;
    float weights = 0.0f;
    for (int i = 0; i < n; ++i) {
        Bubble& mine = mBubbles[i];
        // Pairing: an unmatched lobe looks forward around the ring for the first record of
        // nearly equal area; only a later lobe makes a pair. Matched records stay matched.
        if (mine.matchRatio == kUnmatched) {
            const int j = findPartner(i, n);
            if (j < 0) continue;
            const Bubble& other = mBubbles[j];
            if (!(other.startPos > mine.startPos && other.endPos > mine.endPos)) continue;
            mine.matchRatio = areaRatio(mine.area, other.area);
            // Unsigned differences (positions wrap); the sum converts once, rounded.
            const std::uint32_t distance =
                (other.startPos - mine.startPos) + (other.endPos - mine.endPos);
            mine.period = static_cast<float>(distance) / 2.0f;
            mPeriodBins[i] = static_cast<std::uint8_t>(binOfPeriod(mine.period));
        }
        if (!(mine.matchRatio > kUnmatched)) continue;

        // Voting: a matched lobe votes for the bin of its period. A period at or below the top
        // bin's upper boundary votes nowhere and keeps its noteIndex.
        const int bin = mPeriodBins[i];
        if (bin < kToneCount) mine.noteIndex = bin;
        if (bin != voteBin) {
            votes[voteBin] += voteRun;
            voteBin = bin;
            voteRun = 0;
        }
        ++voteRun;

        // Weighted period sums per noteIndex; a pair at the threshold weighs 0.
        const int note = mine.noteIndex;
        if (note != sumBin) {
            sums[sumBin] = sum;
            weightSums[sumBin] = weights;
            sumBin = note;
            sum = sums[note];
            weights = weightSums[note];
        }
        const float weight = kMatchWeightScale * (mine.matchRatio - kMatchThreshold);
        sum = sum + mine.period * weight;
        weights = weights + weight;
    }
    votes[voteBin] += voteRun;
    sums[sumBin] = sum;
    weightSums[sumBin] = weights;

    // Winner: bin 0 never wins by votes; ties go to the lowest bin.
    int best = 0;
    std::int32_t highest = 0;
    for (int k = 1; k < kToneCount; ++k) {
        if (votes[k] > highest) {
            highest = votes[k];
            best = k;
        }
    }
    if (best > 0) mEffectUnit->SetParameter(kParam_Note, static_cast<float>(best));

    const float average = weightSums[best] > 0.0f ? sums[best] / weightSums[best] : sums[best];
    const float sr = static_cast<float>(GetSampleRate());
    if (!(average > 0.0f)) return;
    const float frequency = sr / average;
    mEffectUnit->SetParameter(kParam_Frequency, frequency);
    const float central = sr / mCentralPeriods[best];
    mEffectUnit->SetParameter(kParam_CentralFrequency, central);
    // Bin 0 has no lower neighbour: its band below the centre counts as 1 Hz wide, and
    // LowerFrequency keeps its earlier value.
    float lower = central - 1.0f;
    if (best > 0) {
        lower = sr / mUpperPeriods[best - 1];
        mEffectUnit->SetParameter(kParam_LowerFrequency, lower);
    }
    const float upper = sr / mUpperPeriods[best];
    mEffectUnit->SetParameter(kParam_UpperFrequency, upper);
    // Not clamped. A NaN comparison takes the lower branch.
    const float deviation = frequency >= central ? (frequency - central) / (upper - central)
                                                 : (frequency - central) / (central - lower);
    mEffectUnit->SetParameter(kParam_Deviation, deviation);
}
