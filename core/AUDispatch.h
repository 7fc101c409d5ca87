#pragma once
// The three fast paths that kAudioUnitProperty_FastDispatch hands out (elements 6, 7 and 14).
// A host calls them with the instance's storage word (the unit) and the arguments in order,
// bypassing the selector block; each catches everything and returns a status, as the entry
// routine does. Their types are AudioUnitGetParameterProc, AudioUnitSetParameterProc and
// AudioUnitRenderProc.

#include "format/AudioUnitFastDispatch.h"

// [any thread] paramErr for a null unit or outValue.
OSStatus AudioUnitBaseGetParameter(void* inComponentStorage, AudioUnitParameterID inID,
                                   AudioUnitScope inScope, AudioUnitElement inElement,
                                   AudioUnitParameterValue* outValue);
// [any thread] paramErr for a null unit.
OSStatus AudioUnitBaseSetParameter(void* inComponentStorage, AudioUnitParameterID inID,
                                   AudioUnitScope inScope, AudioUnitElement inElement,
                                   AudioUnitParameterValue inValue, UInt32 inBufferOffsetInFrames);
// [render] paramErr for a null unit, time stamp or buffer list; null flags render with 0.
OSStatus AudioUnitBaseRender(void* inComponentStorage, AudioUnitRenderActionFlags* ioActionFlags,
                             const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                             UInt32 inNumberFrames, AudioBufferList* ioData);
