#pragma once

#include <cstdint>

// The tuner's eight parameters, all in the global scope, element 0. The first two are
// settings; the kernels write the other six.
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
