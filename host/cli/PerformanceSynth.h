#pragma once

#include <span>
#include <string>
#include <vector>

namespace marvex {

// One note of a synthesised performance, as played (the truth a tuner should find).
struct PlayedNote {
    int bin = 0;            // grid bin at a 440 Hz reference (48 is A4)
    double centsOff = 0.0;  // how far the string is out of tune
    double startSeconds = 0.0;
    double durationSeconds = 0.0;

    double frequencyHz(double referenceHz = 440.0) const;
};

struct Performance {
    double sampleRateHz = 44100.0;
    std::vector<PlayedNote> notes;
    std::vector<float> samples;  // mono
};

// A plucked-string tone: fundamental with a little second and third harmonic (weak enough that
// each period has a single positive half-wave), a short attack and an exponential decay, faded
// out over its last 30 ms. Added into `out` from `startFrame`; samples past the end are dropped.
void addPluckedNote(std::span<float> out, double sampleRateHz, std::size_t startFrame,
                    double frequencyHz, double durationSeconds, float amplitude);

// Renders `notes` (their times decide where each sits) into a mono performance of
// `totalSeconds` (at least long enough for the last note).
Performance synthesise(std::vector<PlayedNote> notes, double sampleRateHz, double totalSeconds = 0);

// The built-in performance: the six open guitar strings, low E to high E, each slightly out of
// tune, one after another with a short silence between them.
Performance openStringsPerformance(double sampleRateHz = 44100.0);

}  // namespace marvex
