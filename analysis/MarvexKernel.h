#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "analysis/Bubble.h"
#include "effect/AUKernelBase.h"

// The tuner's per-channel worker. It passes audio through unchanged, cuts the waveform into
// positive half-wave lobes kept in a ring, and after every call that kept a lobe estimates the
// pitch over the whole ring and publishes it in the owner's global parameters.
//
// Process allocates nothing and takes no lock; all memory is inside the object.
class MarvexKernel : public AUKernelBase {
public:
    static constexpr int kBubbleCapacity = 512;
    static constexpr int kToneCount = 96;

    // [control] Builds the tone tables from the owner's sample rate and Pitch, read now: later
    // changes of either reach only kernels built afterwards.
    explicit MarvexKernel(AUEffectBase* inAudioUnit);
    ~MarvexKernel() override;

    // [control] Keeps everything: ring, write index, counters, previous sample and tables.
    void Reset() override;

    // [render] Copies the samples to inDestP (which may equal inSourceP) and captures lobes.
    // ioSilence is neither read nor written.
    void Process(const float* inSourceP, float* inDestP, std::uint32_t inFramesToProcess,
                 std::uint32_t inNumChannels, bool& ioSilence) override;

    // [render] Ring records in use, from the Precision parameter (exact comparisons):
    // 1 -> 64, 2 -> 128, 3 -> 256, 4 -> 512, anything else (NaN included) -> 16.
    int getMaxBubbles();

    // [render] The pitch estimate over the records in use; writes Note, Frequency,
    // CentralFrequency, LowerFrequency, UpperFrequency and Deviation (some of them, some times).
    void updateFrequency();

    // Read-only views of the state, for tests and tools.
    const Bubble& bubble(int index) const { return mBubbles[index]; }
    std::int32_t writeIndex() const { return mWriteIndex; }
    std::uint32_t blockCount() const { return mBlockCount; }
    // Position that the next call's first frame gets.
    std::uint32_t nextPosition() const { return mPosition; }
    float previousSample() const { return mPrevSample; }
    float currentArea() const { return mCurrentArea; }
    std::span<const float, kToneCount> upperPeriods() const {
        return std::span<const float, kToneCount>(mGuardedUpperPeriods + 1, kToneCount);
    }
    std::span<const float, kToneCount> centralPeriods() const { return mCentralPeriods; }

private:
    // Capture loops: copy the samples, capture lobes, return how many lobes were kept.
    std::uint32_t captureSparse(const float* inSourceP, float* inDestP,
                                std::uint32_t inFramesToProcess, std::size_t stride, int n);
    std::uint32_t captureDense(const float* inSourceP, float* inDestP,
                               std::uint32_t inFramesToProcess, std::size_t stride, int n);
    void startLobe(float x, std::uint32_t pos, std::int32_t writeIndex);
    // Returns whether the lobe was kept (and the write index moved on).
    bool closeLobe(float area, std::uint32_t pos, std::int32_t& writeIndex, int n);
    void prepareTones();
    float upperPeriod(int bin) const { return mGuardedUpperPeriods[bin + 1]; }
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
    // The same by the definition alone (bisection on descending tables, else a linear scan).
    int searchBin(float period) const;
    void prepareBinBuckets();
    // Record i's partner: the first record after it around the ring whose area and its own
    // have a ratio above the match threshold; -1 if none.
    int findPartner(int i, int n) const;
    // Brings record i's noteIndex and its place in the estimate's tallies up to date.
    void refreshRecord(int i);
    // Pairs unmatched record i with its partner if that is a later lobe.
    void pairRecord(int i, int n, int& firstChanged);

    float mPrevSample = 0.0f;
    float mCurrentArea = 0.0f;
    std::uint32_t mBlockCount;  // Process calls so far
    // Running sample position of the next call's first frame. Positions come from this counter,
    // not from mBlockCount x frames, so that calls of different lengths keep them consistent.
    std::uint32_t mPosition = 0;
    // The last call kept more than one lobe per 16 samples: capture without branches.
    bool mDenseLobes = false;
    // Records that never held a lobe look like discarded ones: unmatched, area 0, which can
    // never pair.
    Bubble mBubbles[kBubbleCapacity];
    std::int32_t mWriteIndex;
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
    // binOfPeriod of each record's period, kept wherever a period is written, so that voting
    // does not search the table again for every record at every estimate.
    std::uint8_t mPeriodBins[kBubbleCapacity];
    // Each record's area as a bit pattern, kept wherever an area is written, so that the
    // search for a partner compares four records at a time.
    alignas(16) std::uint32_t mAreaBits[kBubbleCapacity];
    std::uint8_t mZeroPeriodBin = kToneCount;  // binOfPeriod(0)

    // The estimate's tallies carry over from one estimate to the next, and only records that
    // changed in between are counted again: on a steady tone a call changes a handful of the
    // ring's records. What a record adds depends on nothing but the record, so the tallies
    // equal counting the whole ring afresh.
    static constexpr std::uint8_t kNoSum = 0xFF;
    std::int32_t mVotes[kToneCount + 1];      // the last counter takes lobes that vote nowhere
    std::uint8_t mVoteBins[kBubbleCapacity];  // the counter each record is counted in
    alignas(16) std::uint8_t mSumBins[kBubbleCapacity];  // noteIndex if matched, else kNoSum
    // Records in use at the last estimate; 0 makes the next one count everything.
    int mCountedRecords = 0;
    // Capture has written records only from this one onwards, over the ring, through the write
    // index; mAdvances is how often the write index moved since.
    std::int32_t mChangedFrom = 0;
    std::uint32_t mAdvances = 0;
    // Running weighted sums of bin mPrefixBin over records 0 .. i - 1, entry i; entry 0 is 0.
    // Valid while records before the first changed one keep their terms.
    int mPrefixBin = -1;
    float mPrefixSums[kBubbleCapacity + 1];
    float mPrefixWeights[kBubbleCapacity + 1];
};
