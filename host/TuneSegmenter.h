#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace marvex {

// What `tune` keeps of one rendered block.
struct TuneBlock {
    std::int64_t frame = 0;
    std::uint32_t frames = 0;
    float levelRms = 0.0f;     // loudest channel's RMS over the block
    float frequencyHz = 0.0f;  // published Frequency; NaN while there is no estimate
    float centralHz = 0.0f;    // published CentralFrequency
    float note = 0.0f;         // published Note; NaN while there is no estimate
};

struct TuneSettings {
    double silenceDbfs = -45.0;      // blocks quieter than this are silence
    double minNoteSeconds = 0.15;    // shorter note runs are not stable notes
    double minSilenceSeconds = 0.1;  // shorter quiet gaps do not split a note
};

struct TuneSegment {
    enum class Kind { Note, Silence, Unclear };
    Kind kind = Kind::Silence;
    std::int64_t startFrame = 0;
    std::int64_t endFrame = 0;     // one past the last frame
    int bin = -1;                  // Note only
    double meanFrequencyHz = 0.0;  // Note only: frame-weighted mean of the published frequency
    double centralHz = 0.0;        // Note only: the bin's centre as the unit published it
    double centsOff = 0.0;         // Note only: 1200 * log2(mean / central)
};

bool isSilentLevel(float rms, const TuneSettings& settings);

// Cuts a run of blocks into stable notes, silences and sounding stretches without a stable
// pitch. Segments are in order and cover the blocks without gaps.
std::vector<TuneSegment> segmentTune(std::span<const TuneBlock> blocks,
                                     const TuneSettings& settings, double sampleRateHz);

}  // namespace marvex
