#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "host/Biquad.h"
#include "host/LevelGate.h"
#include "host/RegisterEstimator.h"

namespace marvex {

struct ConditioningSettings {
    bool enabled = true;  // false: the tuner hears the input as it is (`--raw`)
    LevelGateSettings gate;
};

// What a front end puts between the sound and the tuner. Per channel, a register estimator
// (independent of the tuner) finds the fundamental; the tuner then hears the sound band-limited
// around it (high-pass an octave below, fourth-order low-pass half an octave above), which
// takes broadband noise out of the waveform the tuner cuts into half-waves, and brought to a
// steady level, so that a quiet instrument makes half-waves as large as a loud one. While the
// level gate is closed the tuner hears silence. The band moves only when the register does (a
// third of an octave, twice in a row), so a held note is filtered by one fixed filter and its
// periods are exact.
//
// The gate runs in both modes: with conditioning off the tuner hears the raw input, and the
// gate still says when there is a tone.
//
// The constructor allocates everything; process() allocates nothing and takes no lock.
class SignalConditioner {
public:
    // [control]
    SignalConditioner(double sampleRateHz, std::uint32_t channels, std::uint32_t maxFrames,
                      const ConditioningSettings& settings = {});
    ~SignalConditioner();
    SignalConditioner(const SignalConditioner&) = delete;
    SignalConditioner& operator=(const SignalConditioner&) = delete;

    // [render] Conditions `frames` (at most maxFrames) frames, one pointer per channel, and
    // returns what the tuner should hear: buffers this object owns, or `input` itself when
    // conditioning is off. Valid until the next call.
    std::span<const float* const> process(std::span<const float* const> input,
                                          std::uint32_t frames);

    bool gateOpen() const { return mGate.open(); }
    // The clearest channel's last reading.
    const RegisterReading& reading() const { return mReading; }
    const ConditioningSettings& settings() const { return mSettings; }
    // [control] Forgets everything heard: a fresh start for a new stream.
    void reset();

private:
    struct Channel;
    void follow(Channel& channel, bool opening);

    double mSampleRateHz;
    std::uint32_t mMaxFrames;
    ConditioningSettings mSettings;
    LevelGate mGate;
    RegisterReading mReading;
    std::vector<std::unique_ptr<Channel>> mChannels;
    std::vector<const float*> mOutputs;
};

}  // namespace marvex
