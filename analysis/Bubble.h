#pragma once

#include <cstdint>

namespace marvex {

// One captured positive half-wave lobe of a channel's waveform.
struct Bubble {
    // Sum of the lobe's samples; 0 for a lobe too small to keep; its first sample while open.
    float area;
    // Position of the lobe's first sample.
    std::uint32_t startPos;
    // Position of the first negative sample after the lobe; equals startPos while it is open.
    std::uint32_t endPos;
    // -1 while unmatched; once paired, the smaller area over the larger (above 0.9).
    float matchRatio;
    // Samples between this lobe and its partner; 0 until matched.
    float period;
    // Tone-grid bin that the latest estimate placed the lobe in; 0 when the lobe starts.
    std::int32_t noteIndex;
};

}  // namespace marvex
