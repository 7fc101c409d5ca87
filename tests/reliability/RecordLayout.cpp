// Pins every record that crosses the host boundary to its layout. On a 32-bit build each size and
// offset is the number hosts of that target were built against; on a 64-bit build only the fields
// that hold a pointer grow, so the same offsets hold with pointer-sized words. The build is the
// check: this file holds no run-time tests.

#include <cstddef>
#include <cstdint>

#include "format/AURenderCallbackStruct.h"
#include "format/AudioBufferList.h"
#include "format/AudioStreamBasicDescription.h"
#include "format/AudioTimeStamp.h"
#include "format/AudioUnitConnection.h"
#include "format/AudioUnitParameterEvent.h"
#include "format/AudioUnitParameterInfo.h"
#include "format/ComponentParameters.h"

namespace marvex::test {

constexpr std::size_t kPtr = sizeof(void*);
constexpr bool kIs32Bit = kPtr == 4;

// Records without pointers are the same on every build.
static_assert(sizeof(AudioStreamBasicDescription) == 40);
static_assert(sizeof(AudioUnitParameterEvent) == 32);
static_assert(offsetof(AudioUnitParameterEvent, eventValues.ramp.endValue) == 28);
static_assert(sizeof(ComponentDescription) == 20);
static_assert(sizeof(AudioTimeStamp) == 64);

// Records with pointer fields: the pointer takes kPtr bytes and everything after it moves.
static_assert(sizeof(AudioUnitConnection) == kPtr + 8);
// The last field ends the record, up to the padding to pointer alignment.
static_assert(sizeof(AudioUnitParameterInfo) ==
              (offsetof(AudioUnitParameterInfo, flags) + 4 + kPtr - 1) / kPtr * kPtr);
static_assert(sizeof(AudioBuffer) == 8 + kPtr);
static_assert(offsetof(AudioBufferList, mBuffers) == (kIs32Bit ? 4 : 8));
static_assert(sizeof(AURenderCallbackStruct) == 2 * kPtr);
static_assert(offsetof(ComponentParameters, params) == (kIs32Bit ? 4 : 8));
static_assert(sizeof(ComponentParameterWord) == kPtr);

#if UINTPTR_MAX == 0xFFFFFFFF
// The 32-bit target's numbers the pointer-sized rules above do not already pin.
static_assert(sizeof(AudioUnitParameterInfo) == 84);
static_assert(offsetof(AudioUnitParameterInfo, flags) == 80);
static_assert(sizeof(AudioBufferList) == 16);
#endif

}  // namespace marvex::test
