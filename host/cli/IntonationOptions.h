#pragma once

#include <optional>
#include <string>

#include "host/Temperament.h"

namespace marvex {

// How `tune` and `live` name notes: a temperament or a Scala scale on a tonic.
struct IntonationOptions {
    std::string temperament = "equal";
    std::string tonic = "C";
    std::string scalaFile;  // a scale to read notes in, instead of a temperament
};

// The scale the notes are read in; nothing for the tuner's own equal temperament. Throws
// CommandError for an unknown name and HostError for a Scala file that cannot be used.
std::optional<Intonation> intonationOf(const IntonationOptions& options);

}  // namespace marvex
