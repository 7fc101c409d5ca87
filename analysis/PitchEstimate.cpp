#include <algorithm>
#include <bit>
#include <cfloat>
#include <cstdint>

#include "analysis/AnalysisConstants.h"
#include "analysis/PitchAnalysis.h"

// Two searches use x86 SSE2 intrinsics, which the benchmarks show paying (the partner search
// halves the worst-case estimate; the scan for unmatched records speeds up the estimate on
// steady tones). Each has a portable twin with the same results, taken for a CPU without SSE2
// or with MARVEX_PORTABLE_ANALYSIS (the CMake option of that name).
#if defined(__SSE2__) && !defined(MARVEX_PORTABLE_ANALYSIS)
#define MARVEX_ANALYSIS_SSE2 1
#include <emmintrin.h>
#else
#define MARVEX_ANALYSIS_SSE2 0
#endif

namespace marvex {
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

// The first index j in [from, to) with bits[j] - low <= width (unsigned), or -1. Four at a
// time: SSE2 compares only signed, and flipping the top bit of both sides turns an unsigned
// comparison into a signed one.
int firstInRange(const std::uint32_t* bits, int from, int to, std::uint32_t low,
                 std::uint32_t width) {
    int j = from;
#if MARVEX_ANALYSIS_SSE2
    const __m128i flip = _mm_set1_epi32(static_cast<int>(0x80000000u));
    const __m128i lows = _mm_set1_epi32(static_cast<int>(low));
    const __m128i limit = _mm_set1_epi32(static_cast<int>(width ^ 0x80000000u));
    for (; j + 4 <= to; j += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bits + j));
        const __m128i outside = _mm_cmpgt_epi32(_mm_xor_si128(_mm_sub_epi32(v, lows), flip), limit);
        const int inside = ~_mm_movemask_ps(_mm_castsi128_ps(outside)) & 0xF;
        if (inside != 0) return j + std::countr_zero(static_cast<unsigned>(inside));
    }
#endif
    for (; j < to; ++j)
        if (bits[j] - low <= width) return j;
    return -1;
}

}  // namespace

int PitchAnalysis::findPartner(int i, int n) const {
    const float area = mBubbles[i].area;
    // An area of 0 gives a ratio of 0 with any other: records that never held a lobe (and a
    // discarded one) pair with nothing. Under denormals-are-zero a subnormal area is 0 too.
    if (area == 0.0f) return -1;
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
    const int j = firstInRange(mAreaBits, i + 1, n, low, width);
    return j >= 0 ? j : firstInRange(mAreaBits, 0, i, low, width);
}

[[gnu::always_inline]] inline void PitchAnalysis::refreshRecord(int i) {
    Bubble& mine = mBubbles[i];
    // A matched lobe votes for the bin of its period. A period at or below the top bin's upper
    // boundary votes nowhere and keeps its noteIndex.
    const bool matched = mine.matchRatio > kUnmatched;
    const int bin = mPeriodBins[i];
    if (matched && bin < kToneCount) mine.noteIndex = bin;
    const int counter = matched ? bin : kToneCount;
    --mVotes[mVoteBins[i]];
    ++mVotes[counter];
    mVoteBins[i] = static_cast<std::uint8_t>(counter);
    mSumBins[i] = matched ? static_cast<std::uint8_t>(mine.noteIndex) : kNoSum;
}

// Pairs unmatched record i if its partner is a later lobe.
[[gnu::always_inline]] inline void PitchAnalysis::pairRecord(int i, int n, int& firstChanged) {
    Bubble& mine = mBubbles[i];
    // On noise, whether a partner turns up and whether it lies later are coin tosses: the
    // pair is formed in any case (with the record itself when there is no partner, which
    // is never later) and kept by selection rather than by branches.
    const int j = findPartner(i, n);
    const Bubble& other = mBubbles[j < 0 ? i : j];
    const bool later = other.startPos > mine.startPos && other.endPos > mine.endPos;
    const float ratio = areaRatio(mine.area, other.area);
    // Unsigned differences (positions wrap); the sum converts once, rounded.
    const std::uint32_t distance = (other.startPos - mine.startPos) + (other.endPos - mine.endPos);
    const float period = static_cast<float>(distance) / 2.0f;
    const int bin = mGrid.binOfPeriod(period);
    mine.matchRatio = later ? ratio : mine.matchRatio;
    mine.period = later ? period : mine.period;
    mPeriodBins[i] = static_cast<std::uint8_t>(later ? bin : mPeriodBins[i]);
    refreshRecord(i);
    firstChanged = later && i < firstChanged ? i : firstChanged;
}

PitchResult PitchAnalysis::estimate(float precision) {
    const int n = recordsFor(precision);

    // Records whose terms may differ from the last estimate's start at firstChanged.
    int firstChanged = 0;
    if (mCountedRecords != n || mChangedFrom >= n || mAdvances >= static_cast<std::uint32_t>(n)) {
        // Count everything afresh.
        for (std::int32_t& count : mVotes) count = 0;
        for (int i = 0; i < n; ++i) {
            mVoteBins[i] = kToneCount;
            ++mVotes[kToneCount];
            refreshRecord(i);
        }
        mPrefixBin = -1;
    } else {
        // Capture wrote records mChangedFrom .. mChangedFrom + mAdvances around the ring.
        int i = mChangedFrom;
        for (std::uint32_t k = 0; k <= mAdvances; ++k) {
            refreshRecord(i);
            i = i + 1 == n ? 0 : i + 1;
        }
        firstChanged = mChangedFrom + static_cast<int>(mAdvances) >= n ? 0 : mChangedFrom;
    }
    mCountedRecords = n;
    mChangedFrom = mWriteIndex;
    mAdvances = 0;

    // Pairing: an unmatched lobe looks forward around the ring for the first record of nearly
    // equal area; only a later lobe makes a pair. Matched records stay matched, and pairing a
    // record changes nothing but that record. The tallies are current for every record here,
    // and a record is unmatched exactly when it sums nowhere: sixteen records are looked at
    // in one comparison (the ring sizes are multiples of 16).
    static_assert(kBubbleCapacity % 16 == 0);
    for (int group = 0; group < n; group += 16) {
#if MARVEX_ANALYSIS_SSE2
        const __m128i sums = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mSumBins + group));
        auto unmatched = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(sums, _mm_set1_epi8(static_cast<char>(kNoSum)))));
#else
        unsigned unmatched = 0;
        for (int k = 0; k < 16; ++k)
            unmatched |= static_cast<unsigned>(mSumBins[group + k] == kNoSum) << k;
#endif
        for (; unmatched != 0; unmatched &= unmatched - 1)
            pairRecord(group + std::countr_zero(unmatched), n, firstChanged);
    }

    // Winner: bin 0 never wins by votes; ties go to the lowest bin. The highest count first
    // (a reduction the compiler vectorises), then the first bin that has it.
    std::int32_t highest = 0;
    for (int k = 1; k < kToneCount; ++k) highest = std::max(highest, mVotes[k]);
    int best = 0;
    if (highest > 0)
        while (mVotes[++best] != highest) {
        }
    PitchResult result;
    result.hasNote = best > 0;
    result.note = best;

    // Weighted period of the winning bin, a serial sum in record order; a pair at the threshold
    // weighs 0. The running sums before the first changed record are those of the last
    // estimate if the same bin won. Records of other bins add +0, which leaves the sums as they
    // are: every term is +0 or positive (periods are never negative, matched weights always
    // positive), so neither sum is ever -0, and neither is ever subnormal (the smallest positive
    // term is above 2^-22). Adding without a branch leaves the chain of additions the only
    // thing that waits.
    const int from = best == mPrefixBin ? firstChanged : 0;
    float sum = mPrefixSums[from];
    float weights = mPrefixWeights[from];
    for (int i = from; i < n; ++i) {
        const Bubble& mine = mBubbles[i];
        const float weight = kMatchWeightScale * (mine.matchRatio - kMatchThreshold);
        const float term = mine.period * weight;
        const std::uint32_t keep = mSumBins[i] == best ? ~0u : 0u;
        sum = sum + std::bit_cast<float>(std::bit_cast<std::uint32_t>(term) & keep);
        weights = weights + std::bit_cast<float>(std::bit_cast<std::uint32_t>(weight) & keep);
        mPrefixSums[i + 1] = sum;
        mPrefixWeights[i + 1] = weights;
    }
    mPrefixBin = best;

    const float average = weights > 0.0f ? sum / weights : sum;
    if (!(average > 0.0f)) return result;
    const float sr = mSampleRate;
    result.hasPitch = true;
    const float frequency = sr / average;
    const float central = sr / mGrid.centralPeriod(best);
    // Bin 0 has no lower neighbour: its band below the centre counts as 1 Hz wide (and no
    // lower edge is reported).
    const float lower = best > 0 ? sr / mGrid.upperPeriod(best - 1) : central - 1.0f;
    const float upper = sr / mGrid.upperPeriod(best);
    result.frequencyHz = frequency;
    result.centralHz = central;
    result.lowerHz = lower;
    result.upperHz = upper;
    // Not clamped. A NaN comparison takes the lower branch.
    result.deviation = frequency >= central ? (frequency - central) / (upper - central)
                                            : (frequency - central) / (central - lower);
    return result;
}

}  // namespace marvex
