#pragma once

#include <optional>
#include <string>

namespace marvex {

// Number of semitone bins of the tuner's grid; bin 0 is the reference pitch four octaves down.
inline constexpr int kNoteBins = 96;

// [control] Name of a grid bin with its scientific octave: bin 0 "A0", bin 3 "C1", bin 48 "A4" (the
// reference pitch). Bins run from A upward, so the octave number changes at C.
std::string noteName(int bin);

// [any thread] The bin a published Note value stands for: an integer from 0 to 95; nothing for NaN,
// fractions and anything outside the grid.
std::optional<int> noteBin(float noteValue);

}  // namespace marvex
