#include "host/TuneSegmenter.h"

#include <cmath>

#include "host/NoteName.h"

namespace marvex {
namespace {

constexpr int kSilence = -2;
constexpr int kUnclear = -1;

struct Run {
    int label;
    std::size_t first;  // block indices, inclusive
    std::size_t last;
};

int labelOf(const TuneBlock& block, const TuneSettings& settings) {
    if (isSilentLevel(block.levelRms, settings)) return kSilence;
    const auto bin = noteBin(block.note);
    const bool published = std::isfinite(block.frequencyHz) && block.frequencyHz > 0.0f &&
                           std::isfinite(block.centralHz) && block.centralHz > 0.0f;
    return (bin && published) ? *bin : kUnclear;
}

// Joins neighbouring runs that carry the same label.
std::vector<Run> collapse(const std::vector<Run>& runs) {
    std::vector<Run> out;
    for (const Run& run : runs) {
        if (!out.empty() && out.back().label == run.label)
            out.back().last = run.last;
        else
            out.push_back(run);
    }
    return out;
}

}  // namespace

bool isSilentLevel(float rms, const TuneSettings& settings) {
    if (!(rms > 0.0f)) return true;
    return 20.0 * std::log10(static_cast<double>(rms)) < settings.silenceDbfs;
}

std::vector<TuneSegment> segmentTune(std::span<const TuneBlock> blocks,
                                     const TuneSettings& settings, double sampleRateHz) {
    std::vector<Run> runs;
    for (std::size_t i = 0; i < blocks.size(); ++i)
        runs.push_back({labelOf(blocks[i], settings), i, i});
    runs = collapse(runs);

    auto seconds = [&](const Run& run) {
        const std::int64_t frames =
            blocks[run.last].frame + blocks[run.last].frames - blocks[run.first].frame;
        return static_cast<double>(frames) / sampleRateHz;
    };
    // Brief quiet gaps inside sounding stretches and brief pitches (attacks, transitions)
    // are not results of their own.
    for (std::size_t r = 0; r < runs.size(); ++r) {
        Run& run = runs[r];
        const bool inner = r > 0 && r + 1 < runs.size();
        if (run.label == kSilence && inner && seconds(run) < settings.minSilenceSeconds)
            run.label = kUnclear;
        else if (run.label >= 0 && seconds(run) < settings.minNoteSeconds)
            run.label = kUnclear;
    }
    runs = collapse(runs);
    // A stretch without a stable pitch belongs to the note it follows, or else to the note that
    // follows it (an attack after a silence).
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (runs[r].label != kUnclear) continue;
        if (r > 0 && runs[r - 1].label >= 0)
            runs[r].label = runs[r - 1].label;
        else if (r + 1 < runs.size() && runs[r + 1].label >= 0)
            runs[r].label = runs[r + 1].label;
    }
    runs = collapse(runs);

    std::vector<TuneSegment> segments;
    for (const Run& run : runs) {
        TuneSegment segment;
        segment.startFrame = blocks[run.first].frame;
        segment.endFrame = blocks[run.last].frame + blocks[run.last].frames;
        if (run.label == kSilence) {
            segment.kind = TuneSegment::Kind::Silence;
        } else if (run.label == kUnclear) {
            segment.kind = TuneSegment::Kind::Unclear;
        } else {
            double weightedSum = 0.0;
            double weight = 0.0;
            for (std::size_t i = run.first; i <= run.last; ++i) {
                if (labelOf(blocks[i], settings) != run.label) continue;
                weightedSum += static_cast<double>(blocks[i].frequencyHz) * blocks[i].frames;
                weight += blocks[i].frames;
                segment.centralHz = blocks[i].centralHz;
            }
            segment.kind = TuneSegment::Kind::Note;
            segment.bin = run.label;
            segment.meanFrequencyHz = weight > 0.0 ? weightedSum / weight : 0.0;
            segment.centsOff = 1200.0 * std::log2(segment.meanFrequencyHz / segment.centralHz);
        }
        segments.push_back(segment);
    }
    return segments;
}

}  // namespace marvex
