#pragma once

#include <cstddef>
#include <cstdint>

#include "analysis/Bubble.h"
#include "analysis/PitchResult.h"
#include "analysis/ToneGrid.h"

namespace marvex {

// The pitch analysis of one channel. It passes audio through unchanged, cuts the waveform into
// positive half-wave lobes kept in a ring of records, and after every call that kept a lobe
// pairs lobes of nearly equal area, lets each pair vote for the tone-grid bin of its period and
// averages the periods of the winning bin.
//
// process and estimate allocate nothing, take no lock and depend on nothing but their
// arguments and the object: all memory is inside it.
class PitchAnalysis {
public:
    static constexpr int kBubbleCapacity = 512;
    static constexpr int kToneCount = ToneGrid::kToneCount;

    // The tone grid is built from these, once.
    PitchAnalysis(double sampleRate, float pitch);

    // Ring records in use for a Precision value (exact comparisons): 1 -> 64, 2 -> 128,
    // 3 -> 256, 4 -> 512, anything else (NaN included) -> 16.
    static int recordsFor(float precision);

    // Copies `frames` samples, `stride` apart, from `in` to `out` (which may equal `in`) and
    // captures lobes into the ring of recordsFor(precision) records; if a lobe was kept, the
    // result is an estimate over the ring, otherwise empty.
    PitchResult process(const float* in, float* out, std::uint32_t frames, std::size_t stride,
                        float precision);

    // The estimate over the ring of recordsFor(precision) records.
    PitchResult estimate(float precision);

    // Read-only views of the state, for tests and tools.
    const Bubble& bubble(int index) const { return mBubbles[index]; }
    std::int32_t writeIndex() const { return mWriteIndex; }
    // Position that the next call's first frame gets.
    std::uint32_t nextPosition() const { return mPosition; }
    const ToneGrid& grid() const { return mGrid; }

private:
    // Capture loops: copy the samples, capture lobes, return how many lobes were kept.
    std::uint32_t captureSparse(const float* in, float* out, std::uint32_t frames,
                                std::size_t stride, int n);
    std::uint32_t captureDense(const float* in, float* out, std::uint32_t frames,
                               std::size_t stride, int n);
    void startLobe(float x, std::uint32_t pos, std::int32_t writeIndex);
    // Returns whether the lobe was kept (and the write index moved on).
    bool closeLobe(float area, std::uint32_t pos, std::int32_t& writeIndex, int n);
    // Record i's partner: the first record after it around the ring whose area and its own
    // have a ratio above the match threshold; -1 if none.
    int findPartner(int i, int n) const;
    // Brings record i's noteIndex and its place in the estimate's tallies up to date.
    void refreshRecord(int i);
    // Pairs unmatched record i with its partner if that is a later lobe.
    void pairRecord(int i, int n, int& firstChanged);

    const ToneGrid mGrid;
    const float mSampleRate;

    float mPrevSample = 0.0f;
    float mCurrentArea = 0.0f;
    // Running sample position of the next call's first frame. Positions come from this counter,
    // not from a call count x frames, so that calls of different lengths keep them consistent.
    std::uint32_t mPosition = 0;
    // The last call kept more than one lobe per 16 samples: capture without branches.
    bool mDenseLobes = false;
    // Records that never held a lobe look like discarded ones: unmatched, area 0, which can
    // never pair.
    Bubble mBubbles[kBubbleCapacity];
    std::int32_t mWriteIndex = 0;
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

}  // namespace marvex
