// What `tune` hears through the signal conditioner and the level gate, on generated sounds: the
// right note within the cents stated beside each row, or silence; a decaying string as one note.
#include <gtest/gtest.h>

#include <cmath>

#include "host/TuneRunner.h"
#include "tests/support/AllocationCounter.h"
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

std::vector<TuneSegment> notesOf(const ToneCase& sound) {
    MemoryAudioSource source("tone", kRateHz, test::renderTone(sound, kRateHz));
    TunerSettings tuner;
    tuner.bundleDirectory = MARVEX_BUNDLE;
    TunerSession session(tuner, kRateHz, 1);
    std::vector<TuneSegment> notes;
    for (const TuneSegment& segment : tuneSource(source, session, TuneSettings{}))
        if (segment.kind == TuneSegment::Kind::Note) notes.push_back(segment);
    return notes;
}

}  // namespace

TEST(Conditioning, FindsTheNoteOrSilenceOfEachGeneratedSound) {
    const Row rows[] = {
        // Clean tones over the range: as exact as the tuner is on its own.
        {tone(Wave::Sine, 7, 12.0), 3.0},  // E1
        {tone(Wave::Sine, 48, -20.0), 0.2},
        {tone(Wave::Sine, 75, 8.0), 12.0},  // C7: periods of 21 samples
        {tone(Wave::Sawtooth, 19, -15.0), 0.5},
        {tone(Wave::Sawtooth, 63, 25.0), 3.0},
        // In white noise.
        {tone(Wave::Sawtooth, 24, 10.0, -6.0, 20.0), 1.0},
        {tone(Wave::Sawtooth, 36, -25.0, -6.0, 6.0), 4.0},
        {tone(Wave::Sawtooth, 55, 5.0, -6.0, 6.0), 10.0},
        {tone(Wave::Sawtooth, 27, 15.0, -6.0, 0.0), 8.0},
        // Quiet: a distant microphone.
        {tone(Wave::Sine, 60, 5.0, -20.0), 0.5},
        {tone(Wave::Sine, 31, -10.0, -40.0), 0.5},
        {tone(Wave::Sine, 48, 20.0, -60.0), 0.5},
        {tone(Wave::Sine, 70, -5.0, -60.0), 8.0},  // periods of 27 samples
        // Plucked strings that decay, each heard as one note.
        {tone(Wave::Pluck, 19, 14.0), 1.0},
        {tone(Wave::Pluck, 43, -4.0), 1.0},
        // No note at all.
        {noiseAlone(-200.0), 0.0},
        {noiseAlone(-75.0), 0.0},
        {noiseAlone(-50.0), 0.0},
        {noiseAlone(-20.0), 0.0},
    };
    for (const Row& row : rows) {
        const auto notes = notesOf(row.tone);
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

TEST(Conditioning, RawInputLeavesQuietHighTonesUnheard) {
    // What conditioning is for: at -60 dBFS the half-waves of a high tone are too small for the
    // tuner to keep; the gate still hears the tone, so it is a sound without a pitch.
    MemoryAudioSource source("tone", kRateHz,
                             test::renderTone(tone(Wave::Sine, 70, 0.0, -60.0), kRateHz));
    TunerSettings tuner;
    tuner.bundleDirectory = MARVEX_BUNDLE;
    TunerSession session(tuner, kRateHz, 1);
    TuneSettings settings;
    settings.conditioning.enabled = false;
    const auto segments = tuneSource(source, session, settings);
    ASSERT_EQ(segments.size(), 3u);
    EXPECT_EQ(segments[0].kind, TuneSegment::Kind::Silence);
    EXPECT_EQ(segments[1].kind, TuneSegment::Kind::Unclear);
    EXPECT_EQ(segments[2].kind, TuneSegment::Kind::Silence);
}

TEST(Conditioning, ConditionsWithoutAllocating) {
    const auto samples = test::renderTone(tone(Wave::Sawtooth, 40, 0.0, -30.0, 6.0), kRateHz);
    SignalConditioner conditioner(kRateHz, 2, 512);
    test::CountAllocations allocations;
    for (std::size_t at = 0; at + 512 <= samples.size(); at += 512) {
        const float* input[2] = {samples.data() + at, samples.data() + at};
        conditioner.process(input, 512);
    }
    EXPECT_EQ(allocations.count(), 0u);
    EXPECT_TRUE(conditioner.gateOpen());
}
