#pragma once

#include <bit>
#include <cstdint>

// The analysis constants, fixed by bit pattern: results are bit-exact in single precision and
// must not depend on how a compiler rounds a decimal literal.
namespace marvex {

// A lobe is kept only if its area exceeds this (0.05 in single precision).
inline constexpr float kMinimumLobeArea = std::bit_cast<float>(std::uint32_t{0x3D4CCCCD});
// Two lobes pair only if smaller/larger exceeds this (0.9 in single precision, just below 0.9).
inline constexpr float kMatchThreshold = std::bit_cast<float>(std::uint32_t{0x3F666666});
// A match at kMatchThreshold weighs 0; a perfect one weighs about 1.
inline constexpr float kMatchWeightScale = 10.0f;
// 2^(1/24): from a semitone's centre to its upper boundary.
inline constexpr float kQuarterTone = std::bit_cast<float>(std::uint32_t{0x3F83C02D});
// 2^(1/12): one equal-tempered semitone.
inline constexpr float kSemitone = std::bit_cast<float>(std::uint32_t{0x3F879C7D});
// matchRatio of a lobe without a partner.
inline constexpr float kUnmatched = -1.0f;

}  // namespace marvex
