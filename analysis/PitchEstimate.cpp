#include <cstdint>

#include "analysis/AnalysisConstants.h"
#include "analysis/MarvexKernel.h"
#include "analysis/MarvexParameterIDs.h"
#include "effect/AUEffectBase.h"

using namespace marvex;

void MarvexKernel::updateFrequency() {
    const int n = getMaxBubbles();

    // Pairing: each unmatched lobe looks forward around the ring for the first record of nearly
    // equal area; only a later lobe makes a pair. Matched records are never paired again.
    for (int i = 0; i < n; ++i) {
        Bubble& mine = mBubbles[i];
        if (mine.matchRatio != kUnmatched) continue;
        for (int j = (i + 1 == n) ? 0 : i + 1; j != i; j = (j + 1 == n) ? 0 : j + 1) {
            const Bubble& other = mBubbles[j];
            float larger;
            float smaller;
            if (other.area > mine.area) {
                larger = other.area;
                smaller = mine.area;
            } else {
                larger = mine.area;
                smaller = other.area;
            }
            const float ratio = larger > 0.0f ? smaller / larger : 0.0f;
            if (!(ratio > kMatchThreshold)) continue;
            if (other.startPos > mine.startPos && other.endPos > mine.endPos) {
                mine.matchRatio = ratio;
                // Unsigned differences (positions wrap); the sum converts once, rounded.
                const std::uint32_t distance =
                    (other.startPos - mine.startPos) + (other.endPos - mine.endPos);
                mine.period = static_cast<float>(distance) / 2.0f;
            }
            break;
        }
    }

    // Voting: every matched lobe votes for the bin of its period. A period at or below the top
    // bin's upper boundary votes nowhere and keeps its noteIndex.
    std::int32_t votes[kToneCount] = {};
    for (int i = 0; i < n; ++i) {
        Bubble& b = mBubbles[i];
        if (!(b.matchRatio > kUnmatched)) continue;
        const int bin = binOfPeriod(b.period);
        if (bin < kToneCount) {
            b.noteIndex = bin;
            ++votes[bin];
        }
    }

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

    // Weighted mean period of the winning bin; a pair at the threshold weighs 0.
    float sum = 0.0f;
    float weights = 0.0f;
    for (int i = 0; i < n; ++i) {
        const Bubble& b = mBubbles[i];
        if (b.noteIndex != best || !(b.matchRatio > kUnmatched)) continue;
        const float weight = kMatchWeightScale * (b.matchRatio - kMatchThreshold);
        sum = sum + b.period * weight;
        weights = weights + weight;
    }
    const float average = weights > 0.0f ? sum / weights : sum;

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
