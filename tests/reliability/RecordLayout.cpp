// Pins every record that crosses the host boundary to its layout. On a 32-bit build each size and
// offset is the number hosts of that target were built against; on a 64-bit build only the fields
// that hold a pointer grow, so the same offsets hold with pointer-sized words. The build is the
// check: this file holds no run-time tests.

#include <cstddef>
#include <cstdint>

#include "format/AURenderCallbackStruct.h"
#include "format/AudioBufferList.h"
#include "format/AudioUnitConnection.h"
#include "format/AudioUnitParameterEvent.h"
#include "format/AudioUnitParameterInfo.h"
#include "format/ComponentParameters.h"

namespace marvex::test {

constexpr std::size_t kPtr = sizeof(void*);
constexpr bool kIs32Bit = kPtr == 4;

// Records without pointers are the same on every build (their headers pin their sizes).
static_assert(offsetof(AudioUnitParameterEvent, eventValues.ramp.endValue) == 28);
static_assert(sizeof(ComponentDescription) == 20);

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
// The 32-bit target's number that neither the rules above nor the headers pin.
static_assert(offsetof(AudioUnitParameterInfo, flags) == 80);
#endif

}  // namespace marvex::test
