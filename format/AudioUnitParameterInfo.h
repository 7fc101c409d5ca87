#pragma once
// Description of one parameter (kAudioUnitProperty_ParameterInfo), its units and flags.

#include "format/AudioUnitScope.h"
#include "format/CFBase.h"

typedef UInt32 AudioUnitParameterUnit;

enum : AudioUnitParameterUnit {
    kAudioUnitParameterUnit_Generic = 0,
    kAudioUnitParameterUnit_Indexed = 1,
    kAudioUnitParameterUnit_Boolean = 2,
    kAudioUnitParameterUnit_Percent = 3,
    kAudioUnitParameterUnit_Seconds = 4,
    kAudioUnitParameterUnit_SampleFrames = 5,
    kAudioUnitParameterUnit_Phase = 6,
    kAudioUnitParameterUnit_Rate = 7,
    kAudioUnitParameterUnit_Hertz = 8,
    kAudioUnitParameterUnit_Cents = 9,
    kAudioUnitParameterUnit_RelativeSemiTones = 10,
    kAudioUnitParameterUnit_MIDINoteNumber = 11,
    kAudioUnitParameterUnit_MIDIController = 12,
    kAudioUnitParameterUnit_Decibels = 13,
    kAudioUnitParameterUnit_LinearGain = 14,
    kAudioUnitParameterUnit_Degrees = 15,
};

typedef UInt32 AudioUnitParameterOptions;

enum : AudioUnitParameterOptions {
    kAudioUnitParameterFlag_CFNameRelease = 0x10,
    kAudioUnitParameterFlag_HasCFNameString = 0x08000000,
    kAudioUnitParameterFlag_IsReadable = 0x40000000,
    kAudioUnitParameterFlag_IsWritable = 0x80000000,
};

struct AudioUnitParameterInfo {
    char name[52];
    CFStringRef unitName;
    UInt32 clumpID;
    CFStringRef cfNameString;
    AudioUnitParameterUnit unit;
    AudioUnitParameterValue minValue;
    AudioUnitParameterValue maxValue;
    AudioUnitParameterValue defaultValue;
    AudioUnitParameterOptions flags;
};

#if UINTPTR_MAX == 0xFFFFFFFF
static_assert(sizeof(AudioUnitParameterInfo) == 84);
#endif
