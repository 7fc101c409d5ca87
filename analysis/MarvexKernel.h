#pragma once

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
    std::span<const float, kToneCount> upperPeriods() const { return mUpperPeriods; }
    std::span<const float, kToneCount> centralPeriods() const { return mCentralPeriods; }

private:
    void prepareTones();
    // Smallest bin k with period > mUpperPeriods[k], or kToneCount if there is none.
    int binOfPeriod(float period) const;
    // Record i's partner: the first record after it around the ring whose area and its own
    // have a ratio above the match threshold; -1 if none.
    int findPartner(int i, int n) const;

    float mPrevSample = 0.0f;
    float mCurrentArea = 0.0f;
    std::uint32_t mBlockCount;  // Process calls so far
    // Running sample position of the next call's first frame. Positions come from this counter,
    // not from mBlockCount x frames, so that calls of different lengths keep them consistent.
    std::uint32_t mPosition = 0;
    // Records that never held a lobe look like discarded ones: unmatched, area 0, which can
    // never pair.
    Bubble mBubbles[kBubbleCapacity];
    std::int32_t mWriteIndex;
    float mUpperPeriods[kToneCount];
    float mCentralPeriods[kToneCount];
    // The tables decrease for every sane rate and Pitch; only then may bins be found by
    // bisection. Host-written nonsense (Pitch 0, NaN, negative) falls back to a linear scan.
    bool mTablesDescending = false;
    // binOfPeriod of each record's period, kept wherever a period is written, so that voting
    // does not search the table again for every record at every estimate.
    std::uint8_t mPeriodBins[kBubbleCapacity];
    std::uint8_t mZeroPeriodBin = kToneCount;  // binOfPeriod(0)
};
