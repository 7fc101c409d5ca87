#pragma once

#include <string>
#include <vector>

#include "host/live/LiveSnapshot.h"

namespace marvex {

// The terminal display's lines for a snapshot, plain ASCII, one per input between a header and
// the keys:
//   marvex live   reference A4 = 440 Hz   precision 2   48000 Hz, 256 frames   client marvex
//   in_1  A4   +3.2 cents   440.81 Hz  [...|*...]  -18 dBFS [#######-------------]
//   in_2  listening                    [...|....]  -80 dBFS [--------------------]
//   + / - reference pitch   p precision   q quit
// While the level gate is closed an input shows "listening" rather than its last note.
std::vector<std::string> liveTextLines(const LiveSnapshot& snapshot);

// A level bar of `cells` cells from -60 dBFS (empty) to 0 dBFS (full).
std::string levelBar(float levelDbfs, int cells = 20);

}  // namespace marvex
