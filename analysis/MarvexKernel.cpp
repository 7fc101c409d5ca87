#include "analysis/MarvexKernel.h"

#include <emmintrin.h>

#include <algorithm>
#include <bit>
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
    for (std::uint32_t& bits : mAreaBits) bits = 0;
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
    // Two loops that do exactly the same: one with branches, fast while lobes are long and
    // branches predictable (tones), one without, for input that changes sign every few samples
    // (noise), where the branches would be mispredicted about once per sample. The last call's
    // lobe count picks one.
    const std::uint32_t accepted =
        mDenseLobes ? captureDense(inSourceP, inDestP, inFramesToProcess, inNumChannels, n)
                    : captureSparse(inSourceP, inDestP, inFramesToProcess, inNumChannels, n);
    mDenseLobes = std::uint64_t{accepted} * 16 > inFramesToProcess;
    ++mBlockCount;
    // The estimate recounts only the records written since it last ran, which it can tell
    // only while the ring size stays the same.
    if (n != mCountedRecords) mCountedRecords = 0;
    constexpr std::uint32_t kMostAdvances = kBubbleCapacity;
    mAdvances = accepted > kMostAdvances - mAdvances ? kMostAdvances : mAdvances + accepted;
    if (accepted > 0) updateFrequency();
}

// Capture has two states, carried by the sign of the previous sample: inside a lobe (> 0) or
// outside (< 0); 0 and NaN are neither, so the sample after them can neither start, grow nor
// end a lobe. The area is a plain serial sum: its rounding is part of the result, so the order
// of the additions may not change.

[[gnu::always_inline]] inline void MarvexKernel::startLobe(float x, std::uint32_t pos,
                                                           std::int32_t writeIndex) {
    mBubbles[writeIndex] = Bubble{x, pos, pos, kUnmatched, 0.0f, 0};
    mPeriodBins[writeIndex] = mZeroPeriodBin;
    mAreaBits[writeIndex] = std::bit_cast<std::uint32_t>(x);
}

[[gnu::always_inline]] inline bool MarvexKernel::closeLobe(float area, std::uint32_t pos,
                                                           std::int32_t& writeIndex, int n) {
    Bubble& b = mBubbles[writeIndex];
    b.period = 0.0f;
    mPeriodBins[writeIndex] = mZeroPeriodBin;
    b.endPos = pos;
    b.area = area;
    const bool kept = area > kMinimumLobeArea;
    if (kept)
        ++writeIndex;
    else
        b.area = 0.0f;  // too small: the next lobe reuses the record
    mAreaBits[&b - mBubbles] = std::bit_cast<std::uint32_t>(b.area);
    if (writeIndex >= n) writeIndex = 0;
    return kept;
}

std::uint32_t MarvexKernel::captureDense(const float* inSourceP, float* inDestP,
                                         std::uint32_t inFramesToProcess, std::size_t stride,
                                         int n) {
    // Chunks of samples in two passes: the first, without a branch, copies, keeps the area and
    // notes where lobes start and end; the second applies those notes to the ring in order.
    constexpr std::uint32_t kChunk = 256;
    std::uint32_t notePos[kChunk];
    float noteValue[kChunk];
    std::uint8_t noteStarts[kChunk];
    std::uint32_t accepted = 0;
    std::int32_t writeIndex = mWriteIndex;
    __m128 prev = _mm_set_ss(mPrevSample);
    __m128 area = _mm_set_ss(mCurrentArea);
    const __m128 zero = _mm_setzero_ps();
    std::uint32_t pos = mPosition;
    std::size_t offset = 0;
    for (std::uint32_t done = 0; done < inFramesToProcess;) {
        const std::uint32_t frames = std::min(kChunk, inFramesToProcess - done);
        std::uint32_t notes = 0;
        for (std::uint32_t i = 0; i < frames; ++i, offset += stride) {
            const float sample = inSourceP[offset];
            inDestP[offset] = sample;
            const __m128 x = _mm_set_ss(sample);
            const __m128 nonNegative = _mm_cmpge_ss(x, zero);
            const __m128 negative = _mm_cmplt_ss(x, zero);
            const __m128 inside = _mm_cmpgt_ss(prev, zero);
            const __m128 starts = _mm_and_ps(_mm_cmplt_ss(prev, zero), nonNegative);
            const __m128 grows = _mm_and_ps(inside, nonNegative);
            const __m128 ends = _mm_and_ps(inside, negative);
            const int startBit = _mm_movemask_ps(starts) & 1;
            const int endBit = _mm_movemask_ps(ends) & 1;
            notePos[notes] = pos + i;
            // A start notes its first sample, an end the finished area.
            noteValue[notes] =
                _mm_cvtss_f32(_mm_or_ps(_mm_and_ps(starts, x), _mm_andnot_ps(starts, area)));
            noteStarts[notes] = static_cast<std::uint8_t>(startBit);
            notes += static_cast<std::uint32_t>(startBit | endBit);
            // area <- x on a start, area + x inside, 0 at an end, unchanged otherwise.
            const __m128 keep = _mm_andnot_ps(_mm_or_ps(_mm_or_ps(starts, grows), ends),
                                              _mm_castsi128_ps(_mm_set1_epi32(-1)));
            area =
                _mm_or_ps(_mm_or_ps(_mm_and_ps(starts, x), _mm_and_ps(grows, _mm_add_ss(area, x))),
                          _mm_and_ps(keep, area));
            prev = x;
        }
        for (std::uint32_t k = 0; k < notes; ++k) {
            if (noteStarts[k])
                startLobe(noteValue[k], notePos[k], writeIndex);
            else
                accepted += closeLobe(noteValue[k], notePos[k], writeIndex, n) ? 1 : 0;
        }
        pos += frames;
        done += frames;
    }
    mPrevSample = _mm_cvtss_f32(prev);
    mCurrentArea = _mm_cvtss_f32(area);
    mWriteIndex = writeIndex;
    mPosition = pos;
    return accepted;
}

std::uint32_t MarvexKernel::captureSparse(const float* inSourceP, float* inDestP,
                                          std::uint32_t inFramesToProcess, std::size_t stride,
                                          int n) {
    // Runs of samples that keep the state (positive inside a lobe, negative outside) go through
    // tight loops; only the sample that changes it takes the general step.
    std::uint32_t accepted = 0;
    float prev = mPrevSample;
    float area = mCurrentArea;
    std::int32_t writeIndex = mWriteIndex;
    const std::uint32_t base = mPosition;
    std::uint32_t i = 0;
    while (i < inFramesToProcess) {
        if (prev > 0.0f) {
            for (; i < inFramesToProcess; ++i) {
                const float x = inSourceP[i * stride];
                inDestP[i * stride] = x;
                if (!(x > 0.0f)) break;
                area += x;
            }
            if (i == inFramesToProcess) break;
            // 0 still adds (and leaves neither state), a negative sample ends the lobe, NaN
            // does nothing but leave neither state.
            const float x = inSourceP[i * stride];
            if (x >= 0.0f) {
                area += x;
            } else if (x < 0.0f) {
                accepted += closeLobe(area, base + i, writeIndex, n) ? 1 : 0;
                area = 0.0f;
            }
            prev = x;
            ++i;
        } else if (prev < 0.0f) {
            for (; i < inFramesToProcess; ++i) {
                const float x = inSourceP[i * stride];
                inDestP[i * stride] = x;
                if (!(x < 0.0f)) break;
            }
            if (i == inFramesToProcess) break;
            const float x = inSourceP[i * stride];
            if (x >= 0.0f) {
                area = x;
                startLobe(x, base + i, writeIndex);
            }
            prev = x;
            ++i;
        } else {
            // After 0, -0 or NaN a sample can neither start, grow nor end a lobe.
            prev = inSourceP[i * stride];
            inDestP[i * stride] = prev;
            ++i;
        }
    }
    if (inFramesToProcess > 0) prev = inSourceP[std::size_t{inFramesToProcess - 1} * stride];

    mPrevSample = prev;
    mCurrentArea = area;
    mWriteIndex = writeIndex;
    mPosition = base + inFramesToProcess;
    return accepted;
}
