#include <algorithm>
#include <cstdio>

#include "host/AudioSource.h"
#include "host/NoteName.h"
#include "host/TextNeedle.h"
#include "host/TuneRunner.h"
#include "host/cli/Commands.h"
#include "host/cli/PerformanceSynth.h"
#include "host/cli/ProgressBar.h"

namespace marvex {
namespace {

// The note segment that overlaps a played note most.
const TuneSegment* heardAs(const PlayedNote& note, const std::vector<TuneSegment>& segments,
                           double sampleRateHz) {
    const auto start = static_cast<std::int64_t>(note.startSeconds * sampleRateHz);
    const auto end =
        static_cast<std::int64_t>((note.startSeconds + note.durationSeconds) * sampleRateHz);
    const TuneSegment* best = nullptr;
    std::int64_t bestOverlap = 0;
    for (const TuneSegment& segment : segments) {
        if (segment.kind != TuneSegment::Kind::Note) continue;
        const std::int64_t overlap =
            std::min(end, segment.endFrame) - std::max(start, segment.startFrame);
        if (overlap > bestOverlap) {
            bestOverlap = overlap;
            best = &segment;
        }
    }
    return best;
}

}  // namespace

int runDefault(const GlobalOptions& global) {
    constexpr double kSampleRateHz = 44100.0;
    Performance performance = openStringsPerformance(kSampleRateHz);
    const auto notes = performance.notes;
    MemoryAudioSource source("built-in performance", kSampleRateHz, std::move(performance.samples));
    TunerOptions tuner;
    TunerSession session(tuner.settings(global), kSampleRateHz, 1);
    ProgressBar bar(source, global.progress);
    const auto segments = tuneSource(source, session, TuneSettings{}, bar.handler());
    bar.finish();

    std::printf(
        "Marvex tunes its built-in performance: the six open strings of a guitar, low to high,\n"
        "each a little out of tune (%.1f s at %g Hz, reference A4 = 440 Hz).\n\n",
        static_cast<double>(source.info().frames) / kSampleRateHz, kSampleRateHz);
    std::printf("  played          heard   frequency      cents  -50         0        +50\n");
    for (const PlayedNote& note : notes) {
        std::printf("  %-4s %+6.1f  ->  ", noteName(note.bin).c_str(), note.centsOff);
        const TuneSegment* segment = heardAs(note, segments, kSampleRateHz);
        if (segment == nullptr) {
            std::printf("(no steady pitch)\n");
            continue;
        }
        std::printf("%-4s %9.2f Hz  %+6.1f  %s\n", noteName(segment->bin).c_str(),
                    segment->meanFrequencyHz, segment->centsOff,
                    textNeedle(segment->centsOff).c_str());
    }
    std::printf(
        "\nEach needle spans a quarter-tone either side of the note (-50 to +50 cents).\n"
        "Tune your own recording with `marvex tune FILE`; `marvex --help` lists every command.\n");
    return std::fflush(stdout) == 0 ? 0 : static_cast<int>(ExitCode::OutputError);
}

}  // namespace marvex
