#pragma once
// Property identifiers, render action flags and the procedure types of listeners, input
// callbacks and render notifications.

#include "format/AudioBufferList.h"
#include "format/AudioTimeStamp.h"
#include "format/AudioUnitScope.h"
#include "format/ComponentParameters.h"
#include "format/OSStatus.h"

enum : AudioUnitPropertyID {
    kAudioUnitProperty_ClassInfo = 0,
    kAudioUnitProperty_MakeConnection = 1,
    kAudioUnitProperty_SampleRate = 2,
    kAudioUnitProperty_ParameterList = 3,
    kAudioUnitProperty_ParameterInfo = 4,
    kAudioUnitProperty_FastDispatch = 5,
    kAudioUnitProperty_CPULoad = 6,
    kAudioUnitProperty_StreamFormat = 8,
    kAudioUnitProperty_ElementCount = 11,
    kAudioUnitProperty_Latency = 12,
    kAudioUnitProperty_SupportedNumChannels = 13,
    kAudioUnitProperty_MaximumFramesPerSlice = 14,
    kAudioUnitProperty_SetExternalBuffer = 15,
    kAudioUnitProperty_ParameterValueStrings = 16,
    kAudioUnitProperty_GetUIComponentList = 18,
    kAudioUnitProperty_AudioChannelLayout = 19,
    kAudioUnitProperty_TailTime = 20,
    kAudioUnitProperty_BypassEffect = 21,
    kAudioUnitProperty_LastRenderError = 22,
    kAudioUnitProperty_SetRenderCallback = 23,
    kAudioUnitProperty_FactoryPresets = 24,
    kAudioUnitProperty_ContextName = 25,
    kAudioUnitProperty_RenderQuality = 26,
    kAudioUnitProperty_HostCallbacks = 27,
    kAudioUnitProperty_CurrentPreset = 28,
    kAudioUnitProperty_InPlaceProcessing = 29,
    kAudioUnitProperty_ElementName = 30,
    kAudioUnitProperty_CocoaUI = 31,
    kAudioUnitProperty_SupportedChannelLayoutTags = 32,
    kAudioUnitProperty_PresentPreset = 36,
    kAudioUnitProperty_IconLocation = 39,
};

typedef UInt32 AudioUnitRenderActionFlags;

enum : AudioUnitRenderActionFlags {
    kAudioUnitRenderAction_PreRender = 0x4,
    kAudioUnitRenderAction_PostRender = 0x8,
    kAudioUnitRenderAction_OutputIsSilence = 0x10,
    kAudioUnitRenderAction_PostRenderError = 0x100,
};

// Called as proc(refCon, unit instance, property, scope, element) after a property changed.
typedef void (*AudioUnitPropertyListenerProc)(void* inRefCon, AudioUnit inUnit,
                                              AudioUnitPropertyID inID, AudioUnitScope inScope,
                                              AudioUnitElement inElement);

// Input callbacks and render notifications share this shape.
typedef OSStatus (*AURenderCallback)(void* inRefCon, AudioUnitRenderActionFlags* ioActionFlags,
                                     const AudioTimeStamp* inTimeStamp, UInt32 inBusNumber,
                                     UInt32 inNumberFrames, AudioBufferList* ioData);
