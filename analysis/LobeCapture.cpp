#include <algorithm>
#include <bit>
#include <cstddef>

#include "analysis/AnalysisConstants.h"
#include "analysis/PitchAnalysis.h"

namespace marvex {

PitchAnalysis::PitchAnalysis(double sampleRate, float pitch)
    : mGrid(static_cast<float>(sampleRate), pitch), mSampleRate(static_cast<float>(sampleRate)) {
    for (Bubble& b : mBubbles) b = Bubble{0.0f, 0, 0, kUnmatched, 0.0f, 0};
    mZeroPeriodBin = static_cast<std::uint8_t>(mGrid.binOfPeriod(0.0f));
    for (std::uint8_t& bin : mPeriodBins) bin = mZeroPeriodBin;
    for (std::uint32_t& bits : mAreaBits) bits = 0;
    mPrefixSums[0] = 0.0f;
    mPrefixWeights[0] = 0.0f;
}

int PitchAnalysis::recordsFor(float precision) {
    if (precision == 1.0f) return 64;
    if (precision == 2.0f) return 128;
    if (precision == 3.0f) return 256;
    if (precision == 4.0f) return 512;
    return 16;
}

PitchResult PitchAnalysis::process(const float* in, float* out, std::uint32_t frames,
                                   std::size_t stride, float precision) {
    const int n = recordsFor(precision);
    // Two loops that do exactly the same: one with branches, fast while lobes are long and
    // branches predictable (tones), one without, for input that changes sign every few samples
    // (noise), where the branches would be mispredicted about once per sample. The last call's
    // lobe count picks one.
    const std::uint32_t accepted = mDenseLobes ? captureDense(in, out, frames, stride, n)
                                               : captureSparse(in, out, frames, stride, n);
    mDenseLobes = std::uint64_t{accepted} * 16 > frames;
    // The estimate recounts only the records written since it last ran, which it can tell
    // only while the ring size stays the same.
    if (n != mCountedRecords) mCountedRecords = 0;
    constexpr std::uint32_t kMostAdvances = kBubbleCapacity;
    mAdvances = accepted > kMostAdvances - mAdvances ? kMostAdvances : mAdvances + accepted;
    return accepted > 0 ? estimate(precision) : PitchResult{};
}

// Capture has two states, carried by the sign of the previous sample: inside a lobe (> 0) or
// outside (< 0); 0 and NaN are neither, so the sample after them can neither start, grow nor
// end a lobe. The area is a plain serial sum: its rounding is part of the result, so the order
// of the additions may not change.

[[gnu::always_inline]] inline void PitchAnalysis::startLobe(float x, std::uint32_t pos,
                                                            std::int32_t writeIndex) {
    mBubbles[writeIndex] = Bubble{x, pos, pos, kUnmatched, 0.0f, 0};
    mPeriodBins[writeIndex] = mZeroPeriodBin;
    mAreaBits[writeIndex] = std::bit_cast<std::uint32_t>(x);
}

[[gnu::always_inline]] inline bool PitchAnalysis::closeLobe(float area, std::uint32_t pos,
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

std::uint32_t PitchAnalysis::captureDense(const float* in, float* out, std::uint32_t frames,
                                          std::size_t stride, int n) {
    // Chunks of samples in two passes: the first, without a branch, copies, keeps the area and
    // notes where lobes start and end; the second applies those notes to the ring in order.
    constexpr std::uint32_t kChunk = 256;
    std::uint32_t notePos[kChunk];
    float noteValue[kChunk];
    std::uint8_t noteStarts[kChunk];
    std::uint32_t accepted = 0;
    std::int32_t writeIndex = mWriteIndex;
    float prev = mPrevSample;
    float area = mCurrentArea;
    std::uint32_t pos = mPosition;
    std::size_t offset = 0;
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t chunk = std::min(kChunk, frames - done);
        std::uint32_t notes = 0;
        for (std::uint32_t i = 0; i < chunk; ++i, offset += stride) {
            const float x = in[offset];
            out[offset] = x;
            // Selection by all-ones or all-zero masks over the floats' bits, not by branches.
            const bool startBit = (prev < 0.0f) & (x >= 0.0f);
            const bool growBit = (prev > 0.0f) & (x >= 0.0f);
            const bool endBit = (prev > 0.0f) & (x < 0.0f);
            const std::uint32_t starts = 0u - std::uint32_t{startBit};
            const std::uint32_t grows = 0u - std::uint32_t{growBit};
            const std::uint32_t keep = ~(starts | grows | (0u - std::uint32_t{endBit}));
            const std::uint32_t xBits = std::bit_cast<std::uint32_t>(x);
            const std::uint32_t areaBits = std::bit_cast<std::uint32_t>(area);
            // A start notes its first sample, an end the finished area.
            notePos[notes] = pos + i;
            noteValue[notes] = std::bit_cast<float>((starts & xBits) | (~starts & areaBits));
            noteStarts[notes] = static_cast<std::uint8_t>(startBit);
            notes += static_cast<std::uint32_t>(startBit | endBit);
            // area <- x on a start, area + x inside, 0 at an end, unchanged otherwise.
            area = std::bit_cast<float>((starts & xBits) |
                                        (grows & std::bit_cast<std::uint32_t>(area + x)) |
                                        (keep & areaBits));
            prev = x;
        }
        for (std::uint32_t k = 0; k < notes; ++k) {
            if (noteStarts[k])
                startLobe(noteValue[k], notePos[k], writeIndex);
            else
                accepted += closeLobe(noteValue[k], notePos[k], writeIndex, n) ? 1 : 0;
        }
        pos += chunk;
        done += chunk;
    }
    mPrevSample = prev;
    mCurrentArea = area;
    mWriteIndex = writeIndex;
    mPosition = pos;
    return accepted;
}

std::uint32_t PitchAnalysis::captureSparse(const float* in, float* out, std::uint32_t frames,
                                           std::size_t stride, int n) {
    // Runs of samples that keep the state (positive inside a lobe, negative outside) go through
    // tight loops; only the sample that changes it takes the general step.
    std::uint32_t accepted = 0;
    float prev = mPrevSample;
    float area = mCurrentArea;
    std::int32_t writeIndex = mWriteIndex;
    const std::uint32_t base = mPosition;
    std::uint32_t i = 0;
    while (i < frames) {
        if (prev > 0.0f) {
            for (; i < frames; ++i) {
                const float x = in[i * stride];
                out[i * stride] = x;
                if (!(x > 0.0f)) break;
                area += x;
            }
            if (i == frames) break;
            // 0 still adds (and leaves neither state), a negative sample ends the lobe, NaN
            // does nothing but leave neither state.
            const float x = in[i * stride];
            if (x >= 0.0f) {
                area += x;
            } else if (x < 0.0f) {
                accepted += closeLobe(area, base + i, writeIndex, n) ? 1 : 0;
                area = 0.0f;
            }
            prev = x;
            ++i;
        } else if (prev < 0.0f) {
            for (; i < frames; ++i) {
                const float x = in[i * stride];
                out[i * stride] = x;
                if (!(x < 0.0f)) break;
            }
            if (i == frames) break;
            const float x = in[i * stride];
            if (x >= 0.0f) {
                area = x;
                startLobe(x, base + i, writeIndex);
            }
            prev = x;
            ++i;
        } else {
            // After 0, -0 or NaN a sample can neither start, grow nor end a lobe.
            prev = in[i * stride];
            out[i * stride] = prev;
            ++i;
        }
    }
    if (frames > 0) prev = in[std::size_t{frames - 1} * stride];

    mPrevSample = prev;
    mCurrentArea = area;
    mWriteIndex = writeIndex;
    mPosition = base + frames;
    return accepted;
}

}  // namespace marvex
