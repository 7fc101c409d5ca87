#pragma once
// One scheduled parameter change, immediate or ramped (32 bytes).

#include "format/AudioUnitScope.h"

typedef UInt32 AUParameterEventType;

enum : AUParameterEventType {
    kParameterEvent_Immediate = 1,
    kParameterEvent_Ramped = 2,
};

struct AudioUnitParameterEvent {
    AudioUnitScope scope;
    AudioUnitElement element;
    AudioUnitParameterID parameter;
    AUParameterEventType eventType;
    union {
        struct {
            SInt32 startBufferOffset;  // may be negative: the ramp began before this buffer
            UInt32 durationInFrames;
            AudioUnitParameterValue startValue;
            AudioUnitParameterValue endValue;
        } ramp;
        struct {
            UInt32 bufferOffset;
            AudioUnitParameterValue value;
        } immediate;
    } eventValues;
};

static_assert(sizeof(AudioUnitParameterEvent) == 32);
