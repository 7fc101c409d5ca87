#pragma once
// The plug-ins' identities and ports: one layout for the mono and the stereo plug-in, so one UI
// serves both. Hosts and sessions address ports by index and symbol: never renumber or rename.

#include <cstdint>
#include <optional>
#include <span>

#include "host/BlockRecord.h"

namespace marvex::lv2 {

inline constexpr const char* kMonoUri = "urn:marvex:tuner:mono";
inline constexpr const char* kStereoUri = "urn:marvex:tuner:stereo";
inline constexpr const char* kUiUri = "urn:marvex:tuner:ui";  // the X11 UI both plug-ins name
inline constexpr const char* kStateKeyUri = "urn:marvex:tuner:class-info";

enum Port : std::uint32_t {
    kPortPitch = 0,
    kPortPrecision = 1,
    kPortFrequency = 2,
    kPortLower = 3,
    kPortCentral = 4,
    kPortUpper = 5,
    kPortNote = 6,
    kPortDeviation = 7,
    kPortLevel = 8,
    kFirstAudioPort = 9,  // the inputs, then the outputs, one per channel each
};

// The level port's top: louder blocks (only samples beyond full scale make them) read this.
inline constexpr float kLevelPortMaxDbfs = 0.0f;

// A control port and the unit's parameter behind it (none for the level, which the wrapper
// measures itself).
struct ControlPort {
    Port index;
    const char* symbol;
    std::optional<TunerParameter> parameter;
    bool input;
};

inline constexpr ControlPort kControlPorts[] = {
    {kPortPitch, "pitch", kTunerPitch, true},
    {kPortPrecision, "precision", kTunerPrecision, true},
    {kPortFrequency, "frequency", kTunerFrequency, false},
    {kPortLower, "lower", kTunerLowerFrequency, false},
    {kPortCentral, "central", kTunerCentralFrequency, false},
    {kPortUpper, "upper", kTunerUpperFrequency, false},
    {kPortNote, "note", kTunerNote, false},
    {kPortDeviation, "deviation", kTunerDeviation, false},
    {kPortLevel, "level", std::nullopt, false},
};

// One of the two plug-ins.
struct PluginKind {
    const char* uri;
    const char* name;
    std::uint32_t channels;
    const char* const* inputSymbols;
    const char* const* outputSymbols;

    std::uint32_t audioIn(std::uint32_t channel) const { return kFirstAudioPort + channel; }
    std::uint32_t audioOut(std::uint32_t channel) const {
        return kFirstAudioPort + channels + channel;
    }
    std::uint32_t portCount() const { return kFirstAudioPort + 2 * channels; }
};

inline constexpr const char* kMonoInputs[] = {"in"};
inline constexpr const char* kMonoOutputs[] = {"out"};
inline constexpr const char* kStereoInputs[] = {"in_left", "in_right"};
inline constexpr const char* kStereoOutputs[] = {"out_left", "out_right"};

inline constexpr PluginKind kPluginKinds[] = {
    {kMonoUri, "Marvex Tuner (mono)", 1, kMonoInputs, kMonoOutputs},
    {kStereoUri, "Marvex Tuner (stereo)", 2, kStereoInputs, kStereoOutputs},
};

}  // namespace marvex::lv2
