#pragma once

#include <cstdint>

// One captured positive half-wave lobe of a channel's waveform.
struct Bubble {
    float area;              // sum of the lobe's samples; 0 for a lobe too small to keep;
                             // the first sample while the lobe is open
    std::uint32_t startPos;  // position of the lobe's first sample
    std::uint32_t endPos;  // position of the first negative sample after it (= startPos while open)
    float matchRatio;      // -1 while unmatched, else smaller/larger area of the pair (> 0.9)
    float period;          // samples between this lobe and its partner; 0 until matched
    std::int32_t noteIndex;  // tone-grid bin the latest estimate put the lobe in; 0 at start
};
