#include "host/NoteName.h"

#include <cmath>

namespace marvex {

std::string noteName(int bin) {
    static const char* const kNames[12] = {"A",  "A#", "B", "C",  "C#", "D",
                                           "D#", "E",  "F", "F#", "G",  "G#"};
    if (bin < 0) return "?";
    // Bin 3 (C) opens octave 1, so the octave is counted from the C nine semitones below bin 0.
    return std::string(kNames[bin % 12]) + std::to_string((bin + 9) / 12);
}

std::optional<int> noteBin(float noteValue) {
    if (!std::isfinite(noteValue) || noteValue < 0.0f || noteValue >= kNoteBins) return {};
    if (std::floor(noteValue) != noteValue) return {};
    return static_cast<int>(noteValue);
}

}  // namespace marvex
