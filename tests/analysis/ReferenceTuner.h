#pragma once

// A second, deliberately plain rendering of the tuner's arithmetic (dividing for every ratio,
// scanning the tone table linearly, summing votes one by one), used to check the analysis's
// faster paths bit for bit.

#include <cstdint>
#include <span>

#include "analysis/AnalysisConstants.h"
#include "analysis/Bubble.h"
#include "analysis/PitchResult.h"

namespace marvex::test {

struct ReferenceTuner {
    Bubble ring[512];
    float prev = 0.0f, area = 0.0f;
    std::int32_t writeIndex = 0;
    std::uint32_t position = 0;

    ReferenceTuner() {
        for (Bubble& b : ring) b = Bubble{0.0f, 0, 0, -1.0f, 0.0f, 0};
    }

    static int records(float precision) {
        for (int p = 1; p <= 4; ++p)
            if (precision == static_cast<float>(p)) return 32 << p;
        return 16;
    }

    PitchResult process(std::span<const float> in, float precision, float sr,
                        std::span<const float, 96> upper, std::span<const float, 96> central) {
        const int n = records(precision);
        bool accepted = false;
        for (float x : in) {
            Bubble& b = ring[writeIndex];
            if (prev < 0.0f && x >= 0.0f) {
                area = x;
                b = Bubble{x, position, position, -1.0f, 0.0f, 0};
            } else if (prev > 0.0f && x >= 0.0f) {
                area = area + x;
            } else if (prev > 0.0f && x < 0.0f) {
                b.period = 0.0f;
                b.endPos = position;
                b.area = area;
                if (area > kMinimumLobeArea) {
                    ++writeIndex;
                    accepted = true;
                } else {
                    b.area = 0.0f;
                }
                area = 0.0f;
                if (writeIndex >= n) writeIndex = 0;
            }
            prev = x;
            ++position;
        }
        return accepted ? estimate(n, sr, upper, central) : PitchResult{};
    }

    PitchResult estimate(int n, float sr, std::span<const float, 96> upper,
                         std::span<const float, 96> central) {
        for (int i = 0; i < n; ++i) {
            Bubble& me = ring[i];
            if (me.matchRatio != -1.0f) continue;
            for (int j = (i + 1) % n; j != i; j = (j + 1) % n) {
                const Bubble& o = ring[j];
                const float larger = o.area > me.area ? o.area : me.area;
                const float smaller = o.area > me.area ? me.area : o.area;
                const float r = larger > 0.0f ? smaller / larger : 0.0f;
                if (!(r > kMatchThreshold)) continue;
                if (o.startPos > me.startPos && o.endPos > me.endPos) {
                    me.matchRatio = r;
                    me.period =
                        static_cast<float>((o.startPos - me.startPos) + (o.endPos - me.endPos)) /
                        2.0f;
                }
                break;
            }
        }
        int votes[96] = {};
        for (int i = 0; i < n; ++i) {
            if (!(ring[i].matchRatio > -1.0f)) continue;
            for (int k = 0; k < 96; ++k) {
                if (ring[i].period > upper[k]) {
                    ring[i].noteIndex = k;
                    ++votes[k];
                    break;
                }
            }
        }
        int best = 0;
        for (int k = 1, highest = 0; k < 96; ++k)
            if (votes[k] > highest) highest = votes[best = k];
        PitchResult result;
        result.hasNote = best > 0;
        result.note = best;
        float sum = 0.0f, weights = 0.0f;
        for (int i = 0; i < n; ++i) {
            if (ring[i].noteIndex != best || !(ring[i].matchRatio > -1.0f)) continue;
            const float w = kMatchWeightScale * (ring[i].matchRatio - kMatchThreshold);
            sum = sum + ring[i].period * w;
            weights = weights + w;
        }
        const float average = weights > 0.0f ? sum / weights : sum;
        if (!(average > 0.0f)) return result;
        const float f = sr / average;
        const float c = sr / central[best];
        const float lower = best > 0 ? sr / upper[best - 1] : c - 1.0f;
        const float u = sr / upper[best];
        result.hasPitch = true;
        result.frequencyHz = f;
        result.centralHz = c;
        result.lowerHz = lower;
        result.upperHz = u;
        result.deviation = f >= c ? (f - c) / (u - c) : (f - c) / (c - lower);
        return result;
    }
};

}  // namespace marvex::test
