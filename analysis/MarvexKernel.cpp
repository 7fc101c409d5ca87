#include "analysis/MarvexKernel.h"

#include <cstddef>

#include "analysis/AnalysisConstants.h"
#include "analysis/MarvexParameterIDs.h"

using namespace marvex;

MarvexKernel::MarvexKernel(AUEffectBase* inAudioUnit)
    : AUKernelBase(inAudioUnit), mBlockCount(0), mWriteIndex(0) {
    for (Bubble& b : mBubbles) b = Bubble{0.0f, 0, 0, kUnmatched, 0.0f, 0};
    prepareTones();
    mZeroPeriodBin = static_cast<std::uint8_t>(binOfPeriod(0.0f));
    for (std::uint8_t& bin : mPeriodBins) bin = mZeroPeriodBin;
    mPrefixSums[0] = 0.0f;
    mPrefixWeights[0] = 0.0f;
}

MarvexKernel::~MarvexKernel() = default;

void MarvexKernel::Reset() {}

int MarvexKernel::getMaxBubbles() {
    const float precision = GetParameter(kParam_Precision);
    if (precision == 1.0f) return 64;
    if (precision == 2.0f) return 128;
    if (precision == 3.0f) return 256;
    if (precision == 4.0f) return 512;
    return 16;
}

void MarvexKernel::Process(const float* inSourceP, float* inDestP, std::uint32_t inFramesToProcess,
                           std::uint32_t inNumChannels, bool& /*ioSilence*/) {
    const int n = getMaxBubbles();
    std::uint32_t accepted = 0;

    // The state lives in locals for the loop. Capture has two states, carried by the sign of the
    // previous sample: inside a lobe (> 0) or outside (< 0); 0 and NaN are neither, so the
    // sample after them can neither start, grow nor end a lobe.
    float prev = mPrevSample;
    float area = mCurrentArea;
    std::int32_t writeIndex = mWriteIndex;
    std::uint32_t pos = mPosition;
    const std::size_t stride = inNumChannels;
    std::size_t offset = 0;

    for (std::uint32_t i = 0; i < inFramesToProcess; ++i, ++pos, offset += stride) {
        const float x = inSourceP[offset];
        inDestP[offset] = x;
        if (prev > 0.0f) {
            if (x >= 0.0f) {
                // The area is a plain serial sum: its rounding is part of the result, so the
                // order of the additions may not change.
                area += x;
            } else if (x < 0.0f) {
                Bubble& b = mBubbles[writeIndex];
                b.period = 0.0f;
                mPeriodBins[writeIndex] = mZeroPeriodBin;
                b.endPos = pos;
                b.area = area;
                if (area > kMinimumLobeArea) {
                    ++writeIndex;
                    ++accepted;
                } else {
                    b.area = 0.0f;  // too small: the next lobe reuses the record
                }
                area = 0.0f;
                if (writeIndex >= n) writeIndex = 0;
            }
        } else if (prev < 0.0f && x >= 0.0f) {
            area = x;
            mBubbles[writeIndex] = Bubble{x, pos, pos, kUnmatched, 0.0f, 0};
            mPeriodBins[writeIndex] = mZeroPeriodBin;
        }
        prev = x;
    }

    mPrevSample = prev;
    mCurrentArea = area;
    mWriteIndex = writeIndex;
    mPosition = pos;
    ++mBlockCount;
    // The estimate recounts only the records written since it last ran, which it can tell
    // only while the ring size stays the same.
    if (n != mCountedRecords) mCountedRecords = 0;
    constexpr std::uint32_t kMostAdvances = kBubbleCapacity;
    mAdvances = accepted > kMostAdvances - mAdvances ? kMostAdvances : mAdvances + accepted;
    if (accepted > 0) updateFrequency();
}
