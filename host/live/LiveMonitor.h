#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "host/TuneSegmenter.h"
#include "host/live/LiveReading.h"
#include "host/live/LiveSnapshot.h"

namespace marvex {

// The control thread's view of the readings: each input's latest reading for the display, and
// its stable notes cut by the same segmenter as `marvex tune`'s. It also says when an input has
// been quiet long enough that a fresh unit should take over, as `tune` restarts its unit.
class LiveMonitor {
public:
    // `pitchHz` and `precision` stand until the first reading tells what the units use. Notes
    // are named in `intonation` when there is one, else on the tuner's own grid.
    LiveMonitor(std::uint32_t inputs, const TuneSettings& settings, float pitchHz, int precision,
                std::optional<Intonation> intonation = {});

    void take(const LiveReading& reading);
    // Whatever is open ends (the run is over).
    void finish();

    const std::vector<LiveChannelView>& channels() const { return mViews; }
    // The reference and Precision the units last published.
    float pitchHz() const { return mPitchHz; }
    int precision() const { return mPrecision; }
    // News since the last call, oldest first.
    std::vector<LiveNews> takeNews();
    // Inputs that have been quiet for a while since the last call.
    std::vector<std::uint32_t> takeQuietInputs();

private:
    struct Input {
        std::unique_ptr<TuneSegmenter> segmenter;
        double sampleRateHz = 0.0;
        std::int64_t frames = 0;     // rendered at sampleRateHz
        double offsetSeconds = 0.0;  // time before the last change of rate
        std::int64_t quietFrames = 0;
        bool restarted = false;
    };

    void collect(std::uint32_t channel);

    TuneSettings mSettings;
    std::optional<Intonation> mIntonation;
    std::vector<Input> mInputs;
    std::vector<LiveChannelView> mViews;
    std::vector<LiveNews> mNews;
    std::vector<std::uint32_t> mQuiet;
    float mPitchHz = 440.0f;
    int mPrecision = 2;
};

}  // namespace marvex
