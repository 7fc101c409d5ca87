#pragma once
// One call per selector of a unit's selector table. Each packs a selector block exactly as the
// entry routine expects (the last argument in params[0], pointer-sized words, a float as its
// bit pattern in the low 32 bits) and calls the instance's entry with its storage word. The
// result is the entry's. A null or closed instance gives badComponentInstance. The packing
// itself takes no lock and allocates nothing; each call's tag is the unit's promise for that
// selector (docs/THREADS.md).

#include "format/AudioBufferList.h"
#include "format/AudioTimeStamp.h"
#include "format/AudioUnitParameterEvent.h"
#include "format/AudioUnitProperties.h"
#include "format/AudioUnitScope.h"
#include "format/ComponentParameters.h"
#include "format/OSStatus.h"

extern "C" {

// [control]
OSStatus AudioUnitInitialize(AudioUnit unit);
OSStatus AudioUnitUninitialize(AudioUnit unit);

// [control]
OSStatus AudioUnitGetPropertyInfo(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                                  AudioUnitElement element, UInt32* outDataSize,
                                  Boolean* outWritable);
OSStatus AudioUnitGetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                              AudioUnitElement element, void* outData, UInt32* ioDataSize);
OSStatus AudioUnitSetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                              AudioUnitElement element, const void* inData, UInt32 inDataSize);

// [any thread]
OSStatus AudioUnitGetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope,
                               AudioUnitElement element, AudioUnitParameterValue* outValue);
OSStatus AudioUnitSetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope,
                               AudioUnitElement element, AudioUnitParameterValue value,
                               UInt32 bufferOffsetInFrames);
// [control, not rendering]
OSStatus AudioUnitScheduleParameters(AudioUnit unit, const AudioUnitParameterEvent* events,
                                     UInt32 numEvents);

// [control, not rendering]
OSStatus AudioUnitReset(AudioUnit unit, AudioUnitScope scope, AudioUnitElement element);

// [control]
OSStatus AudioUnitAddPropertyListener(AudioUnit unit, AudioUnitPropertyID id,
                                      AudioUnitPropertyListenerProc proc, void* refCon);
OSStatus AudioUnitRemovePropertyListener(AudioUnit unit, AudioUnitPropertyID id,
                                         AudioUnitPropertyListenerProc proc);
OSStatus AudioUnitRemovePropertyListenerWithUserData(AudioUnit unit, AudioUnitPropertyID id,
                                                     AudioUnitPropertyListenerProc proc,
                                                     void* refCon);

// [control, lock-free] They take effect at the start of the next render.
OSStatus AudioUnitAddRenderNotify(AudioUnit unit, AURenderCallback proc, void* refCon);
OSStatus AudioUnitRemoveRenderNotify(AudioUnit unit, AURenderCallback proc, void* refCon);

// [render]
OSStatus AudioUnitRender(AudioUnit unit, AudioUnitRenderActionFlags* ioActionFlags,
                         const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                         UInt32 inNumberFrames, AudioBufferList* ioData);

// [control]
ComponentResult CallComponentCanDo(ComponentInstance instance, SInt16 selector);
ComponentResult CallComponentVersion(ComponentInstance instance);

// Any selector with its arguments in call order (argsInCallOrder[0] is the first argument);
// they are reversed into the block. At most kMaxComponentCallArguments arguments (paramErr
// beyond). Callable from whichever thread the selector's own call above is tagged for.
ComponentResult CallComponentSelector(ComponentInstance instance, SInt16 what,
                                      const ComponentParameterWord* argsInCallOrder, UInt32 count);

}  // extern "C"

constexpr UInt32 kMaxComponentCallArguments = 8;
