#include "analysis/AnalysisConstants.h"
#include "analysis/MarvexKernel.h"
#include "analysis/MarvexParameterIDs.h"

using namespace marvex;

// Eight octaves of twelve semitones from Pitch/16 upward, as periods in samples. Each octave
// restarts from an exact doubling of the previous base, so rounding accumulates over at most
// eleven multiplications; every step rounds to single precision.
void MarvexKernel::prepareTones() {
    const float sr = static_cast<float>(GetSampleRate());
    float base = GetParameter(kParam_Pitch) / 16.0f;
    for (int octave = 0; octave < 8; ++octave) {
        const int first = 12 * octave;
        mCentralPeriods[first] = sr / base;
        mUpperPeriods[first] = sr / (kQuarterTone * base);
        float current = base;
        for (int semitone = 1; semitone < 12; ++semitone) {
            const float next = kSemitone * current;
            mCentralPeriods[first + semitone] = sr / next;
            mUpperPeriods[first + semitone] = sr / (kQuarterTone * next);
            current = next;
        }
        base = base + base;
    }

    mTablesDescending = true;
    for (int k = 1; k < kToneCount; ++k)
        if (!(mUpperPeriods[k] <= mUpperPeriods[k - 1])) mTablesDescending = false;
}

int MarvexKernel::binOfPeriod(float period) const {
    if (mTablesDescending) {
        // "period > mUpperPeriods[k]" is false up to some k and true from there on.
        int low = 0;
        int high = kToneCount;
        while (low < high) {
            const int mid = (low + high) / 2;
            if (period > mUpperPeriods[mid])
                high = mid;
            else
                low = mid + 1;
        }
        return low;
    }
    for (int k = 0; k < kToneCount; ++k)
        if (period > mUpperPeriods[k]) return k;
    return kToneCount;
}
