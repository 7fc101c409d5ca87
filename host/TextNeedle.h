#pragma once

#include <string>

namespace marvex {

// A one-line needle for a terminal: `[.........|..*......]` spans -50 to +50 cents (a note's
// band is a quarter-tone either side of its centre); '*' marks the reading, '<' or '>' at an
// edge marks a reading beyond the band, and a reading on the centre mark shows as '*' there.
// `halfWidth` cells lie on either side of the centre. NaN draws the scale without a mark.
std::string textNeedle(double centsOff, int halfWidth = 10);

}  // namespace marvex
