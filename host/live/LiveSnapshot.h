#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/LevelMeter.h"
#include "host/Temperament.h"
#include "host/TuneSegmenter.h"

namespace marvex {

// One input as a display shows it.
struct LiveChannelView {
    std::string port;  // "in_1"
    float levelDbfs = kLevelFloorDbfs;
    bool listening = true;    // the level gate is closed: nothing to tune
    std::optional<int> bin;   // the unit's note, while it has one
    std::string note;         // its name, or the name of the scale's nearest degree
    float frequencyHz = NAN;  // the unit's reading
    float centsOff = NAN;     // from the note's centre (the degree's, in a scale)
    float deviation = NAN;    // where the needle stands: the unit's Deviation, or cents / 50
};

// What every display of `marvex live` is fed, about 25 times a second.
struct LiveSnapshot {
    std::string client;
    double sampleRateHz = 0.0;
    std::uint32_t periodFrames = 0;
    float pitchHz = 440.0f;  // the reference in effect
    int precision = 2;
    std::string temperament;  // empty: the tuner's equal temperament
    std::string tonic;
    std::vector<LiveChannelView> channels;
};

// News of stable notes on one input, with the segment's times in seconds from the start.
struct LiveNews {
    std::uint32_t channel = 0;  // from 0
    TuneEvent event;
    std::optional<TemperedNote> degree;  // a note's nearest degree of the scale notes are named in
    double startSeconds = 0.0;
    double endSeconds = 0.0;
};

}  // namespace marvex
