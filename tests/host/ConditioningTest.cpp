// What `tune` hears through the signal conditioner and the level gate, on generated sounds: the
// right note within the cents stated beside each row, or silence; a decaying string as one note.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "host/LevelGate.h"
#include "host/TuneRunner.h"
#include "tests/support/ToneSet.h"

using namespace marvex;
using test::ToneCase;
using test::Wave;

namespace {

constexpr double kRateHz = 44100.0;

struct Row {
    ToneCase tone;
    double toleranceCents;
};

ToneCase tone(Wave wave, int bin, double cents, double peakDbfs = -6.0, double snrDb = INFINITY) {
    return {"", wave, bin, cents, peakDbfs, snrDb, -200.0, static_cast<std::uint32_t>(bin + 7)};
}
ToneCase noiseAlone(double dbfs) {
    return {"", Wave::Nothing, -1, 0.0, 0.0, INFINITY, dbfs, 3};
}

std::vector<TuneSegment> tune(const ToneCase& sound, const TuneSettings& settings = {}) {
    MemoryAudioSource source("tone", kRateHz, test::renderTone(sound, kRateHz));
    TunerSettings tuner;
    tuner.bundleDirectory = MARVEX_BUNDLE;
    TunerSession session(tuner, kRateHz, 1);
    return tuneSource(source, session, settings);
}

}  // namespace

TEST(Conditioning, FindsTheNoteOrSilenceOfEachGeneratedSound) {
    const Row rows[] = {
        // Clean tones over the range: as exact as the tuner is on its own.
        {tone(Wave::Sine, 7, 12.0), 3.0},   // E1
        {tone(Wave::Sine, 75, 8.0), 12.0},  // C7: periods of 21 samples
        // In white noise.
        {tone(Wave::Sawtooth, 36, -25.0, -6.0, 6.0), 4.0},
        {tone(Wave::Sawtooth, 27, 15.0, -6.0, 0.0), 8.0},
        // Quiet: a distant microphone.
        {tone(Wave::Sine, 48, 20.0, -60.0), 0.5},
        {tone(Wave::Sine, 70, -5.0, -60.0), 8.0},  // periods of 27 samples
        // A plucked string that decays, heard as one note.
        {tone(Wave::Pluck, 19, 14.0), 1.0},
        // No note at all.
        {noiseAlone(-75.0), 0.0},
        {noiseAlone(-20.0), 0.0},
    };
    for (const Row& row : rows) {
        std::vector<TuneSegment> notes;
        for (const TuneSegment& segment : tune(row.tone))
            if (segment.kind == TuneSegment::Kind::Note) notes.push_back(segment);
        SCOPED_TRACE("bin " + std::to_string(row.tone.bin) + " at " +
                     std::to_string(row.tone.peakDbfs) + " dBFS, SNR " +
                     std::to_string(row.tone.snrDb));
        if (row.tone.bin < 0) {
            EXPECT_TRUE(notes.empty());
            continue;
        }
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_EQ(notes[0].bin, row.tone.bin);
        EXPECT_NEAR(notes[0].centsOff, row.tone.centsOff, row.toleranceCents);
    }
}

// A NaN or an infinity from a broken input must not poison the filters for the rest of the note.
TEST(Conditioning, KeepsNonFiniteSamplesFromTheTuner) {
    auto samples = test::renderTone(tone(Wave::Sine, 48, 0.0), kRateHz);
    samples[20000] = NAN;
    samples[20001] = INFINITY;
    SignalConditioner conditioner(kRateHz, 1, 512);
    std::size_t nonFinite = 0;
    for (std::size_t at = 0; at < 60000; at += 512) {  // to 1.4 s, the tone still sounding
        const float* input[] = {samples.data() + at};
        const float* heard = conditioner.process(input, 512)[0];
        nonFinite += std::count_if(heard, heard + 512, [](float x) { return !std::isfinite(x); });
    }
    EXPECT_TRUE(conditioner.gateOpen());
    EXPECT_EQ(nonFinite, 0u);
}

// Channels are filtered two at a time where they can be: each must come out exactly as the
// last, odd channel does through the filter of its own.
TEST(Conditioning, FiltersEachChannelAsItWouldAlone) {
    const auto a = test::renderTone(tone(Wave::Sawtooth, 31, 10.0, -6.0, 6.0), kRateHz);
    const auto b = test::renderTone(tone(Wave::Sine, 55, -20.0, -30.0), kRateHz);
    SignalConditioner conditioner(kRateHz, 5, 512);
    double differences = 0.0, heardA = 0.0;
    for (std::size_t at = 0; at < 60000; at += 512) {
        const float* input[] = {&a[at], &b[at], &b[at], &a[at], &a[at]};
        const auto heard = conditioner.process(input, 512);
        for (std::size_t i = 0; i < 512; ++i) {
            differences += std::abs(heard[0][i] - heard[4][i]) +
                           std::abs(heard[3][i] - heard[4][i]) +
                           std::abs(heard[1][i] - heard[2][i]);
            heardA += std::abs(heard[4][i]);
        }
    }
    EXPECT_GT(heardA, 0.0);
    EXPECT_EQ(differences, 0.0);
}

// The gate opens on a tone both loud and clear enough, holds through a decay within its
// hysteresis, and closes after two failing readings in a row.
TEST(LevelGate, OpensOnAClearToneAndClosesBelowItsHysteresis) {
    LevelGate gate;  // opens at -70 dBFS and clarity 0.5; closes below -76 or below clarity 0.3
    const struct {
        double dbfs, clarity;
        bool open;
    } readings[] = {
        {-71.0, 0.9, false}, {-69.0, 0.4, false}, {-69.0, 0.6, true},
        {-75.0, 0.9, true},  {-75.0, 0.9, true},  // a decaying string, still heard
        {-60.0, 0.2, true},  {-60.0, 0.9, true},  {-60.0, 0.2, true},  // failures not in a row
        {-77.0, 0.9, false},
    };
    for (const auto& r : readings)
        EXPECT_EQ(gate.update({0.0, r.clarity, r.dbfs}), r.open) << r.dbfs << " " << r.clarity;
}
