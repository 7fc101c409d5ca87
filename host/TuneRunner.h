#pragma once

#include <cstdio>
#include <vector>

#include "host/AudioSource.h"
#include "host/TuneSegmenter.h"
#include "host/TunerSession.h"

namespace marvex {

// Renders a source through the tuner and cuts it into stable notes and silences. After every
// silence the tuner restarts with fresh analysis state, so a new note is not weighed against the
// half-waves of the last one; until it publishes again, its results count as no estimate.
std::vector<TuneSegment> tuneSource(AudioSource& source, TunerSession& session,
                                    const TuneSettings& settings, bool progress);

// One line per segment: times, note name, mean frequency, cents off and a text needle.
void writeTuneText(std::FILE* out, const std::vector<TuneSegment>& segments, double sampleRateHz);
// One JSON object per segment.
void writeTuneJsonl(std::FILE* out, const std::vector<TuneSegment>& segments, double sampleRateHz);

}  // namespace marvex
