#pragma once
// The selector block of one call into a component's entry routine, the selector numbers, the
// component description and the opaque handles of the component registry.

#include <cstring>

#include "format/PlatformTypes.h"

// Opaque handles. A Component is a registered entry routine; a ComponentInstance one open
// instance of it (an AudioUnit is a ComponentInstance).
typedef struct ComponentRecord* Component;
typedef struct ComponentInstanceRecord* ComponentInstance;
typedef ComponentInstance AudioUnit;

// Argument words are pointer-sized so a pointer travels in one word on every build.
typedef std::intptr_t ComponentParameterWord;

// params[0] holds the LAST argument, params[1] the one before it, and so on. The array is
// declared with one word; the caller provides as many as the selector takes.
struct ComponentParameters {
    UInt8 flags;      // not read
    UInt8 paramSize;  // bytes of argument words; not read
    SInt16 what;      // the selector
    ComponentParameterWord params[1];
};

// The entry routine a component registers: selector block and the instance's storage word
// (null on open, before the unit has stored anything).
typedef ComponentResult (*ComponentRoutineProcPtr)(ComponentParameters* params, void* storage);

struct ComponentDescription {
    OSType componentType;
    OSType componentSubType;
    OSType componentManufacturer;
    UInt32 componentFlags;
    UInt32 componentFlagsMask;
};

enum : SInt16 {
    kComponentOpenSelect = -1,
    kComponentCloseSelect = -2,
    kComponentCanDoSelect = -3,
    kComponentVersionSelect = -4,
};

enum : SInt16 {
    kAudioUnitInitializeSelect = 1,
    kAudioUnitUninitializeSelect = 2,
    kAudioUnitGetPropertyInfoSelect = 3,
    kAudioUnitGetPropertySelect = 4,
    kAudioUnitSetPropertySelect = 5,
    kAudioUnitGetParameterSelect = 6,
    kAudioUnitSetParameterSelect = 7,
    kAudioUnitResetSelect = 9,
    kAudioUnitAddPropertyListenerSelect = 10,
    kAudioUnitRemovePropertyListenerSelect = 11,
    kAudioUnitRenderSelect = 14,
    kAudioUnitAddRenderNotifySelect = 15,
    kAudioUnitRemoveRenderNotifySelect = 16,
    kAudioUnitScheduleParametersSelect = 17,
    kAudioUnitRemovePropertyListenerWithUserDataSelect = 18,
};

// Four-character component types.
enum : OSType {
    kAudioUnitType_Effect = 0x61756678,  // 'aufx'
};

namespace marvex {

// Word packing shared by both sides of the entry routine.
inline ComponentParameterWord PackPointer(const void* p) {
    return reinterpret_cast<ComponentParameterWord>(p);
}
template <typename T>
inline T* UnpackPointer(ComponentParameterWord w) {
    return reinterpret_cast<T*>(w);
}
// Function pointers travel the same way (object and function pointers share a size on every
// target we build for).
template <typename F>
inline ComponentParameterWord PackProc(F proc) {
    static_assert(sizeof(F) == sizeof(ComponentParameterWord));
    ComponentParameterWord w;
    std::memcpy(&w, &proc, sizeof w);
    return w;
}
template <typename F>
inline F UnpackProc(ComponentParameterWord w) {
    static_assert(sizeof(F) == sizeof(ComponentParameterWord));
    F proc;
    std::memcpy(&proc, &w, sizeof proc);
    return proc;
}
// A 32-bit integer argument sits in the low 32 bits of its word.
inline ComponentParameterWord PackUInt32(UInt32 v) {
    return ComponentParameterWord(UInt32(v));
}
inline UInt32 UnpackUInt32(ComponentParameterWord w) {
    return UInt32(std::uintptr_t(w));
}
// A 32-bit float argument travels as its bit pattern in the low 32 bits of its word.
inline ComponentParameterWord PackFloat32(Float32 v) {
    UInt32 bits;
    std::memcpy(&bits, &v, sizeof bits);
    return PackUInt32(bits);
}
inline Float32 UnpackFloat32(ComponentParameterWord w) {
    UInt32 bits = UnpackUInt32(w);
    Float32 v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

}  // namespace marvex

#if UINTPTR_MAX == 0xFFFFFFFF
static_assert(sizeof(ComponentDescription) == 20);
static_assert(offsetof(ComponentParameters, params) == 4);
#endif
