#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/Temperament.h"
#include "host/TuneSegmenter.h"
#include "host/live/LiveDisplay.h"

namespace marvex {

// How `marvex live` runs. Explicit settings override a state file's.
struct LiveSettings {
    std::string bundleDirectory;  // empty: defaultBundleDirectory()
    std::string clientName = "marvex";
    std::uint32_t inputs = 1;
    std::vector<std::string> connect;  // sources of in_1, in_2, ...; empty: see autoConnect
    bool autoConnect = true;           // the first physical capture ports, when connect is empty
    std::optional<float> pitchHz;
    std::optional<float> precision;
    std::string stateFile;
    TuneSettings gate;  // the conditioning, the level gate and the stable-note rules
    std::optional<Intonation> intonation;  // the scale notes are named in; none: the tuner's grid
    std::optional<double> durationSeconds;
};

// The range the reference pitch moves in, by 1 Hz a key.
inline constexpr float kLowestPitchHz = 400.0f;
inline constexpr float kHighestPitchHz = 480.0f;
inline constexpr int kPrecisionSteps = 5;

// Builds the display once the client runs with its ports connected, so a failure to get there
// leaves the terminal untouched.
using LiveDisplayFactory = std::function<std::unique_ptr<LiveDisplay>()>;

// [control] Runs the JACK client until the user quits or the duration is over (returns 0) or a
// signal (SIGINT, SIGTERM, SIGHUP) stops it (returns the signal's number). The display is gone
// before this returns or throws. Throws LiveError when the server is missing or goes away or a
// port to connect does not exist, HostError when the plug-in cannot be used.
int runLiveSession(const LiveSettings& settings, const LiveDisplayFactory& makeDisplay);

}  // namespace marvex
