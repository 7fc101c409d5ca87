#pragma once

#include <string>

#include "host/HostedUnit.h"

namespace marvex {

// [control] Reads a class-info dictionary from an XML property-list file and gives it to the
// unit through the class-info property. An unreadable file throws HostError(Input); a
// dictionary the unit refuses, HostError(Refused).
void restoreStateFile(HostedUnit& unit, const std::string& path);

// [control] Writes the unit's class-info dictionary as an XML property-list file, whole or not
// at all. Throws HostError(Output) when it cannot be written.
void saveStateFile(HostedUnit& unit, const std::string& path);

}  // namespace marvex
