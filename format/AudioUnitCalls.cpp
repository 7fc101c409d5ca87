#include "format/AudioUnitCalls.h"

#include <array>

#include "format/detail/ComponentRecords.h"

using marvex::PackFloat32;
using marvex::PackPointer;
using marvex::PackProc;
using marvex::PackUInt32;
using marvex::detail::LiveInstance;

namespace {

// A selector block with room for N argument words; its head is laid out as
// ComponentParameters, so the entry reads it through that type.
template <std::size_t N>
struct SelectorBlock {
    UInt8 flags;
    UInt8 paramSize;
    SInt16 what;
    ComponentParameterWord params[N == 0 ? 1 : N];
};
static_assert(offsetof(SelectorBlock<3>, params) == offsetof(ComponentParameters, params));

// Packs the arguments, given in call order, last one first, and calls the entry with the
// instance's storage. Lives on the stack: no allocation, no lock.
template <typename... Words>
ComponentResult Call(ComponentInstance instance, SInt16 what, Words... words) {
    ComponentInstanceRecord* inst = LiveInstance(instance);
    if (inst == nullptr) return badComponentInstance;
    constexpr std::size_t n = sizeof...(Words);
    const std::array<ComponentParameterWord, n == 0 ? 1 : n> inOrder{words...};
    SelectorBlock<n> block{};
    block.what = what;
    block.paramSize = UInt8(n * sizeof(ComponentParameterWord));
    for (std::size_t i = 0; i < n; ++i) block.params[i] = inOrder[n - 1 - i];
    try {
        return inst->entry(reinterpret_cast<ComponentParameters*>(&block),
                           inst->storage.load(std::memory_order_acquire));
    } catch (...) {
        return -1;  // an entry must not throw; never let it cross into the host
    }
}

}  // namespace

extern "C" {

OSStatus AudioUnitInitialize(AudioUnit unit) {
    return Call(unit, kAudioUnitInitializeSelect);
}

OSStatus AudioUnitUninitialize(AudioUnit unit) {
    return Call(unit, kAudioUnitUninitializeSelect);
}

OSStatus AudioUnitGetPropertyInfo(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                                  AudioUnitElement element, UInt32* outDataSize,
                                  Boolean* outWritable) {
    return Call(unit, kAudioUnitGetPropertyInfoSelect, PackUInt32(id), PackUInt32(scope),
                PackUInt32(element), PackPointer(outDataSize), PackPointer(outWritable));
}

OSStatus AudioUnitGetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                              AudioUnitElement element, void* outData, UInt32* ioDataSize) {
    return Call(unit, kAudioUnitGetPropertySelect, PackUInt32(id), PackUInt32(scope),
                PackUInt32(element), PackPointer(outData), PackPointer(ioDataSize));
}

OSStatus AudioUnitSetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                              AudioUnitElement element, const void* inData, UInt32 inDataSize) {
    return Call(unit, kAudioUnitSetPropertySelect, PackUInt32(id), PackUInt32(scope),
                PackUInt32(element), PackPointer(inData), PackUInt32(inDataSize));
}

OSStatus AudioUnitGetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope,
                               AudioUnitElement element, AudioUnitParameterValue* outValue) {
    return Call(unit, kAudioUnitGetParameterSelect, PackUInt32(id), PackUInt32(scope),
                PackUInt32(element), PackPointer(outValue));
}

OSStatus AudioUnitSetParameter(AudioUnit unit, AudioUnitParameterID id, AudioUnitScope scope,
                               AudioUnitElement element, AudioUnitParameterValue value,
                               UInt32 bufferOffsetInFrames) {
    return Call(unit, kAudioUnitSetParameterSelect, PackUInt32(id), PackUInt32(scope),
                PackUInt32(element), PackFloat32(value), PackUInt32(bufferOffsetInFrames));
}

OSStatus AudioUnitScheduleParameters(AudioUnit unit, const AudioUnitParameterEvent* events,
                                     UInt32 numEvents) {
    return Call(unit, kAudioUnitScheduleParametersSelect, PackPointer(events),
                PackUInt32(numEvents));
}

OSStatus AudioUnitReset(AudioUnit unit, AudioUnitScope scope, AudioUnitElement element) {
    return Call(unit, kAudioUnitResetSelect, PackUInt32(scope), PackUInt32(element));
}

OSStatus AudioUnitAddPropertyListener(AudioUnit unit, AudioUnitPropertyID id,
                                      AudioUnitPropertyListenerProc proc, void* refCon) {
    return Call(unit, kAudioUnitAddPropertyListenerSelect, PackUInt32(id), PackProc(proc),
                PackPointer(refCon));
}

OSStatus AudioUnitRemovePropertyListener(AudioUnit unit, AudioUnitPropertyID id,
                                         AudioUnitPropertyListenerProc proc) {
    return Call(unit, kAudioUnitRemovePropertyListenerSelect, PackUInt32(id), PackProc(proc));
}

OSStatus AudioUnitRemovePropertyListenerWithUserData(AudioUnit unit, AudioUnitPropertyID id,
                                                     AudioUnitPropertyListenerProc proc,
                                                     void* refCon) {
    return Call(unit, kAudioUnitRemovePropertyListenerWithUserDataSelect, PackUInt32(id),
                PackProc(proc), PackPointer(refCon));
}

OSStatus AudioUnitAddRenderNotify(AudioUnit unit, AURenderCallback proc, void* refCon) {
    return Call(unit, kAudioUnitAddRenderNotifySelect, PackProc(proc), PackPointer(refCon));
}

OSStatus AudioUnitRemoveRenderNotify(AudioUnit unit, AURenderCallback proc, void* refCon) {
    return Call(unit, kAudioUnitRemoveRenderNotifySelect, PackProc(proc), PackPointer(refCon));
}

OSStatus AudioUnitRender(AudioUnit unit, AudioUnitRenderActionFlags* ioActionFlags,
                         const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                         UInt32 inNumberFrames, AudioBufferList* ioData) {
    return Call(unit, kAudioUnitRenderSelect, PackPointer(ioActionFlags), PackPointer(inTimeStamp),
                PackUInt32(inOutputBusNumber), PackUInt32(inNumberFrames), PackPointer(ioData));
}

ComponentResult CallComponentCanDo(ComponentInstance instance, SInt16 selector) {
    // The asked selector travels sign-extended so -1...-4 read back as negative.
    return Call(instance, kComponentCanDoSelect, ComponentParameterWord(selector));
}

ComponentResult CallComponentVersion(ComponentInstance instance) {
    return Call(instance, kComponentVersionSelect);
}

ComponentResult CallComponentSelector(ComponentInstance instance, SInt16 what,
                                      const ComponentParameterWord* argsInCallOrder, UInt32 count) {
    if (count > kMaxComponentCallArguments || (count > 0 && argsInCallOrder == nullptr))
        return paramErr;
    ComponentInstanceRecord* inst = LiveInstance(instance);
    if (inst == nullptr) return badComponentInstance;
    SelectorBlock<kMaxComponentCallArguments> block{};
    block.what = what;
    block.paramSize = UInt8(count * sizeof(ComponentParameterWord));
    for (UInt32 i = 0; i < count; ++i) block.params[i] = argsInCallOrder[count - 1 - i];
    try {
        return inst->entry(reinterpret_cast<ComponentParameters*>(&block),
                           inst->storage.load(std::memory_order_acquire));
    } catch (...) {
        return -1;
    }
}

}  // extern "C"
