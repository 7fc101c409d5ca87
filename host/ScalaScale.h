#pragma once

#include <string>
#include <vector>

namespace marvex {

// A scale in the Scala format (.scl): a description, the number of degrees, then each degree
// above the tonic as cents (a number with a '.') or a ratio ("3/2", "2"); lines starting with
// '!' are comments. The last degree is the period (usually 2/1, the octave). [control]
// throughout.
struct ScalaScale {
    std::string description;
    std::vector<double> degreesCents;  // ascending; the last is the period
};

// Reads a scale. Throws HostError (Input) naming the file and line for anything malformed: a
// missing or bad count, a degree that is no number or ratio, a ratio that is not positive, degrees
// that do not rise, fewer degrees than the count.
ScalaScale parseScala(const std::string& text, const std::string& fileName);
ScalaScale readScalaFile(const std::string& path);

}  // namespace marvex
