#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/LevelMeter.h"
#include "host/TuneSegmenter.h"

namespace marvex {

// One input as a display shows it.
struct LiveChannelView {
    std::string port;  // "in_1"
    float levelDbfs = kLevelFloorDbfs;
    bool listening = true;    // the level gate is closed: nothing to tune
    std::optional<int> bin;   // the unit's note, while it has one
    float frequencyHz = NAN;  // the unit's reading
    float centsOff = NAN;     // from the note's centre
    float deviation = NAN;    // the unit's Deviation: where the needle stands
};

// What every display of `marvex live` is fed, about 25 times a second.
struct LiveSnapshot {
    std::string client;
    double sampleRateHz = 0.0;
    std::uint32_t periodFrames = 0;
    float pitchHz = 440.0f;  // the reference in effect
    int precision = 2;
    std::vector<LiveChannelView> channels;
};

// News of stable notes on one input, with the segment's times in seconds from the start.
struct LiveNews {
    std::uint32_t channel = 0;  // from 0
    TuneEvent event;
    double startSeconds = 0.0;
    double endSeconds = 0.0;
};

}  // namespace marvex
