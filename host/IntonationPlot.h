#pragma once

#include <span>
#include <string>

#include "host/Temperament.h"
#include "host/TuneSegmenter.h"

namespace marvex {

enum class PlotFormat { Png, Svg };

// A picture of intonation for a player practising: cents off over time, one shaded band per
// stable note with its name and mean cents above it, the reading of each block inside as a
// line, silences and sounds without a stable pitch left blank. The vertical axis runs from a
// quarter-tone flat to a quarter-tone sharp (readings beyond are drawn at the edge). Cents are
// from the tuner's equal-tempered note, or from the nearest degree of `intonation`.
//
// Writes `path` (PNG 1200 x 400 pixels, or SVG of the same size) whole or not at all; throws
// HostError (Output) when it cannot.
void writeIntonationPlot(const std::string& path, PlotFormat format,
                         std::span<const TuneBlock> blocks, std::span<const TuneSegment> segments,
                         double sampleRateHz, const Intonation* intonation = nullptr);

inline constexpr int kPlotWidth = 1200;
inline constexpr int kPlotHeight = 400;

}  // namespace marvex
