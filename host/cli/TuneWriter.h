#pragma once

#include <cstdio>
#include <vector>

#include "host/Temperament.h"
#include "host/TuneSegmenter.h"

namespace marvex {

// One line per segment: times, note name, mean frequency, cents off and a text needle. With an
// intonation, a first line names it, and names and cents are its nearest degree's.
void writeTuneText(std::FILE* out, const std::vector<TuneSegment>& segments, double sampleRateHz,
                   const Intonation* intonation = nullptr);
// One JSON object per segment. With an intonation, note segments also carry "temperament",
// "tonic", "degree_name", "degree_frequency" and "degree_cents".
void writeTuneJsonl(std::FILE* out, const std::vector<TuneSegment>& segments, double sampleRateHz,
                    const Intonation* intonation = nullptr);

}  // namespace marvex
