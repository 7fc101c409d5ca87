#pragma once
// Fixed-width integer and float names of the platform records, and the four-character code.

#include <cstddef>
#include <cstdint>

typedef std::uint8_t UInt8;
typedef std::int8_t SInt8;
typedef std::uint16_t UInt16;
typedef std::int16_t SInt16;
typedef std::uint32_t UInt32;
typedef std::int32_t SInt32;
typedef std::uint64_t UInt64;
typedef std::int64_t SInt64;
typedef float Float32;
typedef double Float64;
typedef unsigned char Boolean;
typedef UInt32 FourCharCode;
typedef FourCharCode OSType;
typedef SInt32 ComponentResult;

static_assert(sizeof(Float32) == 4 && sizeof(Float64) == 8, "IEEE single and double required");

namespace marvex {

// A four-character code: the first character is the most significant byte ("lpcm").
constexpr FourCharCode FourCC(const char (&text)[5]) {
    return (UInt32(UInt8(text[0])) << 24) | (UInt32(UInt8(text[1])) << 16) |
           (UInt32(UInt8(text[2])) << 8) | UInt32(UInt8(text[3]));
}

}  // namespace marvex
