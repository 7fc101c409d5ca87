#include "host/cli/PerformanceSynth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace marvex {

double PlayedNote::frequencyHz(double referenceHz) const {
    return referenceHz / 16.0 * std::exp2(bin / 12.0 + centsOff / 1200.0);
}

void addPluckedNote(std::span<float> out, double sampleRateHz, std::size_t startFrame,
                    double frequencyHz, double durationSeconds, float amplitude) {
    if (startFrame >= out.size() || sampleRateHz <= 0.0 || durationSeconds <= 0.0) return;
    const auto length = std::min<std::size_t>(
        static_cast<std::size_t>(durationSeconds * sampleRateHz), out.size() - startFrame);
    const double attack = 0.005 * sampleRateHz;
    const double release = 0.030 * sampleRateHz;
    const double decayPerFrame = 1.0 / (1.6 * sampleRateHz);
    const double omega = 2.0 * std::numbers::pi * frequencyHz / sampleRateHz;
    for (std::size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i);
        double envelope = std::exp(-t * decayPerFrame);
        if (t < attack) envelope *= t / attack;
        const double left = static_cast<double>(length - i);
        if (left < release) envelope *= left / release;
        const double phase = omega * t;
        const double wave =
            std::sin(phase) + 0.25 * std::sin(2.0 * phase) + 0.1 * std::sin(3.0 * phase);
        out[startFrame + i] += static_cast<float>(amplitude * envelope * wave);
    }
}

Performance synthesise(std::vector<PlayedNote> notes, double sampleRateHz, double totalSeconds) {
    Performance performance;
    performance.sampleRateHz = sampleRateHz;
    for (const PlayedNote& note : notes)
        totalSeconds = std::max(totalSeconds, note.startSeconds + note.durationSeconds);
    performance.samples.assign(static_cast<std::size_t>(std::ceil(totalSeconds * sampleRateHz)),
                               0.0f);
    for (const PlayedNote& note : notes) {
        addPluckedNote(performance.samples, sampleRateHz,
                       static_cast<std::size_t>(note.startSeconds * sampleRateHz),
                       note.frequencyHz(), note.durationSeconds, 0.5f);
    }
    performance.notes = std::move(notes);
    return performance;
}

Performance openStringsPerformance(double sampleRateHz) {
    // E2 A2 D3 G3 B3 E4 as grid bins, each string off by a few cents either way.
    static constexpr struct {
        int bin;
        double cents;
    } kStrings[] = {{19, +14.0}, {24, -9.0}, {29, +6.0}, {34, -17.0}, {38, +23.0}, {43, -4.0}};
    constexpr double kNoteSeconds = 1.8;
    constexpr double kGapSeconds = 0.4;
    std::vector<PlayedNote> notes;
    double start = 0.25;
    for (const auto& string : kStrings) {
        notes.push_back({string.bin, string.cents, start, kNoteSeconds});
        start += kNoteSeconds + kGapSeconds;
    }
    return synthesise(std::move(notes), sampleRateHz, start);
}

}  // namespace marvex
