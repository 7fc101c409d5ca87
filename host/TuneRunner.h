#pragma once

#include <vector>

#include "host/AudioSource.h"
#include "host/TuneSegmenter.h"
#include "host/TunerSession.h"

namespace marvex {

// [control] Renders a source through the signal conditioner and the tuner and keeps what the tuner
// published after each block, and whether the level gate was open. After every silence the
// tuner restarts with fresh analysis state, so a new note is not weighed against the half-waves
// of the last one; until it publishes again, its results count as no estimate.
std::vector<TuneBlock> tuneBlocks(AudioSource& source, TunerSession& session,
                                  const TuneSettings& settings,
                                  const ProgressHandler& onProgress = {});

// [control] The same, cut into stable notes and silences.
std::vector<TuneSegment> tuneSource(AudioSource& source, TunerSession& session,
                                    const TuneSettings& settings,
                                    const ProgressHandler& onProgress = {});

}  // namespace marvex
