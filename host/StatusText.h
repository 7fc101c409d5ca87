#pragma once

#include <cstdint>
#include <string>

namespace marvex {

// [control] A status returned by the unit as text for messages, e.g.
// "kAudioUnitErr_FormatNotSupported (-10868): stream format refused".
std::string describeStatus(std::int32_t status);

}  // namespace marvex
