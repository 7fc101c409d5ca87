#pragma once

#include <bit>
#include <cstdint>
#include <span>

namespace marvex {

// Ninety-six equal-tempered semitones from Pitch/16 upward (bin 48 is the reference pitch),
// as periods in samples at one sample rate: each bin's centre and its upper boundary, a
// quarter-tone above the centre. Built once; a different rate or reference needs a new grid.
class ToneGrid {
public:
    static constexpr int kToneCount = 96;

    // Any values are accepted: a rate or pitch of 0, NaN or below 0 gives meaningless tables,
    // in which periods still find a bin (the linear scan) without reading out of bounds.
    ToneGrid(float sampleRate, float pitch);

    float upperPeriod(int bin) const { return mGuardedUpperPeriods[bin + 1]; }
    float centralPeriod(int bin) const { return mCentralPeriods[bin]; }
    std::span<const float, kToneCount> upperPeriods() const {
        return std::span<const float, kToneCount>(mGuardedUpperPeriods + 1, kToneCount);
    }
    std::span<const float, kToneCount> centralPeriods() const { return mCentralPeriods; }

    // Smallest bin k with period > upperPeriod(k), or kToneCount if there is none.
    int binOfPeriod(float period) const {
        // Negative, infinite and NaN patterns lie above the last bucket.
        const std::uint32_t bucket = std::bit_cast<std::uint32_t>(period) >> kBucketShift;
        if (bucket < kBucketCount) {
            const int entry = mBinBuckets[bucket];
            if (!(entry & kWideBucket))
                return entry - (period > mGuardedUpperPeriods[entry] ? 1 : 0);
        }
        return searchBin(period);
    }

private:
    // The same by the definition alone (bisection on descending tables, else a linear scan).
    int searchBin(float period) const;
    void prepareBinBuckets();

    // Entry k + 1 is bin k's upper period; entry 0 is +infinity, which no period exceeds.
    float mGuardedUpperPeriods[kToneCount + 1];
    float mCentralPeriods[kToneCount];
    // The tables decrease for every sane rate and Pitch; only then may bins be found by
    // bisection. Host-written nonsense (Pitch 0, NaN, negative) falls back to a linear scan.
    bool mTablesDescending = false;
    // Bins by the bit pattern of the period. Non-negative finite floats order like their bits,
    // and a larger period never has a larger bin, so every period in a bucket (a run of 2^18
    // consecutive bit patterns, 1/32 of an octave) has a bin between those of the bucket's
    // ends. Each entry is the bin c of the bucket's smallest value; when the largest value's bin
    // is c or c - 1, the period's bin is c - 1 if it exceeds upperPeriod(c - 1), else c.
    // Entries with kWideBucket set span more bins and take the search.
    static constexpr int kBucketShift = 18;
    static constexpr int kBucketCount = 0x7F800000 >> kBucketShift;  // up to +infinity
    static constexpr std::uint8_t kWideBucket = 0x80;
    std::uint8_t mBinBuckets[kBucketCount];
};

}  // namespace marvex
