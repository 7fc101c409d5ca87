#pragma once
// The tuner's parameters as hosts see them: eight, all in the global scope, element 0. The
// first two are settings a host writes; the analysis publishes the other six, which hosts only
// read. The unit answers its parameter-info requests from this table; hosts, front ends and
// tests take ids, names, units, ranges and defaults from here too.

#include <cstdint>

#include "format/AudioUnitParameterInfo.h"

enum : std::uint32_t {
    kParam_Precision = 0,         // ring size selector: 0..4 -> 16, 64, 128, 256, 512 lobes
    kParam_Pitch = 1,             // reference pitch, hertz: the centre of bin 48
    kParam_Frequency = 2,         // detected frequency, hertz
    kParam_LowerFrequency = 3,    // lower boundary of the detected note's band, hertz
    kParam_CentralFrequency = 4,  // centre of the detected note, hertz
    kParam_UpperFrequency = 5,    // upper boundary of the detected note's band, hertz
    kParam_Note = 6,              // tone-grid bin; 48 is the reference pitch
    kParam_Deviation = 7,         // -1 at the lower boundary, 0 at the centre, +1 at the upper
    kNumberOfParameters = 8
};

// The first parameter the analysis publishes; those before it are settings.
inline constexpr std::uint32_t kFirstResultParameter = kParam_Frequency;

struct MarvexParameterInfo {
    const char* name;
    AudioUnitParameterUnit unit;
    AudioUnitParameterValue minValue;
    AudioUnitParameterValue maxValue;
    AudioUnitParameterValue defaultValue;
};

// Indexed by parameter id.
inline constexpr MarvexParameterInfo kMarvexParameters[kNumberOfParameters] = {
    {"Precision", kAudioUnitParameterUnit_Indexed, 0, 4, 2},
    {"Pitch", kAudioUnitParameterUnit_Generic, 400, 480, 440},
    {"Frequency", kAudioUnitParameterUnit_Hertz, 1, 20000, 440},
    {"LowerFrequency", kAudioUnitParameterUnit_Hertz, 1, 20000, 440},
    {"CentralFrequency", kAudioUnitParameterUnit_Hertz, 1, 20000, 440},
    {"UpperFrequency", kAudioUnitParameterUnit_Hertz, 1, 20000, 440},
    {"Note", kAudioUnitParameterUnit_Indexed, 0, 84, 48},
    {"Deviation", kAudioUnitParameterUnit_Generic, -1, 1, 0},
};
