#include "analysis/ToneGrid.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "analysis/AnalysisConstants.h"

namespace marvex {

// Eight octaves of twelve semitones from Pitch/16 upward, as periods in samples. Each octave
// restarts from an exact doubling of the previous base, so rounding accumulates over at most
// eleven multiplications; every step rounds to single precision.
ToneGrid::ToneGrid(float sampleRate, float pitch) {
    const float sr = sampleRate;
    float* const upper = mGuardedUpperPeriods + 1;
    mGuardedUpperPeriods[0] = std::numeric_limits<float>::infinity();
    float base = pitch / 16.0f;
    for (int octave = 0; octave < 8; ++octave) {
        const int first = 12 * octave;
        mCentralPeriods[first] = sr / base;
        upper[first] = sr / (kQuarterTone * base);
        float current = base;
        for (int semitone = 1; semitone < 12; ++semitone) {
            const float next = kSemitone * current;
            mCentralPeriods[first + semitone] = sr / next;
            upper[first + semitone] = sr / (kQuarterTone * next);
            current = next;
        }
        base = base + base;
    }

    mTablesDescending = true;
    for (int k = 1; k < kToneCount; ++k)
        if (!(upper[k] <= upper[k - 1])) mTablesDescending = false;
    prepareBinBuckets();
}

void ToneGrid::prepareBinBuckets() {
    // Periods are 0 or at least 0.5, never subnormal. With no subnormal (or NaN) entry in the
    // table, every comparison a bucket stands for gives the same answer whether or not the render
    // thread treats subnormals as zero; otherwise every bin takes the search.
    bool usable = true;
    for (int k = 0; k < kToneCount; ++k) {
        const float u = upperPeriod(k);
        if (std::isnan(u) || (u != 0.0f && std::fabs(u) < FLT_MIN)) usable = false;
    }
    for (std::uint32_t bucket = 0; bucket < kBucketCount; ++bucket) {
        mBinBuckets[bucket] = kWideBucket;
        if (!usable) continue;
        const std::uint32_t first = bucket << kBucketShift;
        const int smallest = searchBin(std::bit_cast<float>(first));
        const int largest = searchBin(std::bit_cast<float>(first | ((1u << kBucketShift) - 1)));
        if (smallest - largest <= 1) mBinBuckets[bucket] = static_cast<std::uint8_t>(smallest);
    }
}

int ToneGrid::searchBin(float period) const {
    if (mTablesDescending) {
        // "period > upperPeriod(k)" is false up to some k and true from there on.
        int low = 0;
        int high = kToneCount;
        while (low < high) {
            const int mid = (low + high) / 2;
            if (period > upperPeriod(mid))
                high = mid;
            else
                low = mid + 1;
        }
        return low;
    }
    for (int k = 0; k < kToneCount; ++k)
        if (period > upperPeriod(k)) return k;
    return kToneCount;
}

}  // namespace marvex
