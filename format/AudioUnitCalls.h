#pragma once
// One call per selector of a unit's selector table. Each packs a selector block exactly as the
// entry routine expects (the last argument in params[0], pointer-sized words, a float as its
// bit pattern in the low 32 bits) and calls the instance's entry with its storage word. The
// result is the entry's. A null or closed instance gives badComponentInstance. None of these
// calls takes a lock or allocates.

#include "format/AudioBufferList.h"
#include "format/AudioTimeStamp.h"
#include "format/AudioUnitParameterEvent.h"
#include "format/AudioUnitProperties.h"
#include "format/AudioUnitScope.h"
#include "format/ComponentParameters.h"
#include "format/OSStatus.h"

extern "C" {

OSStatus AudioUnitInitialize(AudioUnit unit);    // [control]
OSStatus AudioUnitUninitialize(AudioUnit unit);  // [control]

OSStatus AudioUnitGetPropertyInfo(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                                  AudioUnitElement element, UInt32* outDataSize,
                                  Boolean* outWritable);  // [control]
OSStatus AudioUnitGetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                              AudioUnitElement element, void* outData,
                              UInt32* ioDataSize);  // [control]
OSStatus AudioUnitSetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                              AudioUnitElement element, const void* inData,
                              UInt32 inDataSize);  // [control]

OSStatus AudioUnitGetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope,
                               AudioUnitElement element,
                               AudioUnitParameterValue* outValue);  // [any thread]
OSStatus AudioUnitSetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope,
                               AudioUnitElement element, AudioUnitParameterValue value,
                               UInt32 bufferOffsetInFrames);  // [any thread]
OSStatus AudioUnitScheduleParameters(AudioUnit unit, const AudioUnitParameterEvent* events,
                                     UInt32 numEvents);  // [control, not while rendering]

OSStatus AudioUnitReset(AudioUnit unit, AudioUnitScope scope,
                        AudioUnitElement element);  // [control]

OSStatus AudioUnitAddPropertyListener(AudioUnit unit, AudioUnitPropertyID id,
                                      AudioUnitPropertyListenerProc proc,
                                      void* refCon);  // [control]
OSStatus AudioUnitRemovePropertyListener(AudioUnit unit, AudioUnitPropertyID id,
                                         AudioUnitPropertyListenerProc proc);  // [control]
OSStatus AudioUnitRemovePropertyListenerWithUserData(AudioUnit unit, AudioUnitPropertyID id,
                                                     AudioUnitPropertyListenerProc proc,
                                                     void* refCon);  // [control]

OSStatus AudioUnitAddRenderNotify(AudioUnit unit, AURenderCallback proc,
                                  void* refCon);  // [any thread]
OSStatus AudioUnitRemoveRenderNotify(AudioUnit unit, AURenderCallback proc,
                                     void* refCon);  // [any thread]

OSStatus AudioUnitRender(AudioUnit unit, AudioUnitRenderActionFlags* ioActionFlags,
                         const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                         UInt32 inNumberFrames, AudioBufferList* ioData);  // [render]

ComponentResult CallComponentCanDo(ComponentInstance instance, SInt16 selector);  // [any thread]
ComponentResult CallComponentVersion(ComponentInstance instance);                 // [any thread]

// Any selector with its arguments in call order (argsInCallOrder[0] is the first argument);
// they are reversed into the block. At most kMaxComponentCallArguments arguments (paramErr
// beyond).
ComponentResult CallComponentSelector(ComponentInstance instance, SInt16 what,
                                      const ComponentParameterWord* argsInCallOrder,
                                      UInt32 count);  // [any thread]

}  // extern "C"

constexpr UInt32 kMaxComponentCallArguments = 8;
