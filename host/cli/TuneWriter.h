#pragma once

#include <cstdio>
#include <vector>

#include "host/TuneSegmenter.h"

namespace marvex {

// One line per segment: times, note name, mean frequency, cents off and a text needle.
void writeTuneText(std::FILE* out, const std::vector<TuneSegment>& segments, double sampleRateHz);
// One JSON object per segment.
void writeTuneJsonl(std::FILE* out, const std::vector<TuneSegment>& segments, double sampleRateHz);

}  // namespace marvex
