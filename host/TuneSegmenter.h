#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "host/SignalConditioner.h"

namespace marvex {

// What `tune` and `live` keep of one rendered block.
struct TuneBlock {
    std::int64_t frame = 0;
    std::uint32_t frames = 0;
    bool sounding = false;     // the level gate was open after the block
    float frequencyHz = 0.0f;  // published Frequency; NaN while there is no estimate
    float centralHz = 0.0f;    // published CentralFrequency
    float note = 0.0f;         // published Note; NaN while there is no estimate
};

struct TuneSettings {
    ConditioningSettings conditioning;  // what the tuner hears; the gate decides silence
    double minNoteSeconds = 0.15;       // shorter note runs are not stable notes
    double minSilenceSeconds = 0.1;     // shorter quiet gaps do not split a note
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

// News from the segmenter. A segment Started as soon as it is certain to be a stable note or a
// silence (its extent and mean so far); it Ended once nothing later can change it (final).
// Unclear segments only ever end.
struct TuneEvent {
    enum class Kind { Started, Ended };
    Kind kind = Kind::Ended;
    TuneSegment segment;
};

// Cuts a stream of blocks into stable notes, silences and sounding stretches without a stable
// pitch, as the blocks arrive. Segments are in order and cover the blocks without gaps. Brief
// quiet gaps inside a sound and brief pitches (attacks, transitions) are not segments of their
// own: a stretch without a stable pitch belongs to the note before it, or else to the note
// after it. Fed a whole file, it gives the same segments as seeing the file at once. [control]
// throughout: it keeps the blocks of the segment in progress.
class TuneSegmenter {
public:
    TuneSegmenter(const TuneSettings& settings, double sampleRateHz);

    // Feeds the next block; it must start where the previous one ended.
    void add(const TuneBlock& block);
    // The stream ended: whatever is open ends.
    void finish();
    // Events settled since the last call, oldest first.
    std::vector<TuneEvent> takeEvents();

private:
    // Blocks in a row that carry one label: a bin, kUnclear or kSilence.
    struct Run {
        int label = 0;
        std::int64_t startFrame = 0;
        std::int64_t endFrame = 0;
        double weightedHz = 0.0;  // sum of frequency x frames, over the run's blocks
        double weight = 0.0;
        double centralHz = 0.0;
    };
    // A segment being built from runs; `parts` keeps an unclear segment's runs, one of which may
    // yet give a following note its frequencies.
    struct Open {
        int label = 0;
        std::int64_t startFrame = 0;
        std::int64_t endFrame = 0;
        double weightedHz = 0.0;
        double weight = 0.0;
        double centralHz = 0.0;
        std::vector<Run> parts;
    };

    int labelOf(const TuneBlock& block) const;
    double seconds(const Run& run) const;
    std::optional<int> certainLabel(const Run& run) const;
    int finalLabel(const Run& run, bool followed) const;
    void place(const Run& run, int label);
    static Open openAt(int label, std::int64_t frame);
    static void absorb(Open& open, const Run& run);
    void end(std::optional<Open>& open);
    static TuneSegment segmentOf(const Open& open);

    TuneSettings mSettings;
    double mSampleRateHz;
    std::optional<Run> mRun;     // the run the blocks are adding to
    bool mRunPlaced = false;     // its label is settled and it went into mCurrent or mPending
    bool mRunInPending = false;  // (into mPending)
    bool mFirstRun = true;
    std::optional<Open> mCurrent;  // a stable note or a silence
    std::optional<Open> mPending;  // unclear, after a silence or at the start
    std::vector<TuneEvent> mEvents;
};

// [control] The segments of a whole run of blocks.
std::vector<TuneSegment> segmentTune(std::span<const TuneBlock> blocks,
                                     const TuneSettings& settings, double sampleRateHz);

}  // namespace marvex
