#pragma once
// XML property-list files for dictionaries, arrays, strings, numbers (integers and reals kept
// apart), data and booleans. Parsing and writing go through libplist. A malformed or hostile
// file is refused with a message, never trusted: nesting deeper than kMaxPropertyListDepth,
// files larger than kMaxPropertyListFileBytes, dictionary keys that are not strings, and types
// we do not represent (dates, UIDs, null) are refused.
//
// Threads: [control] throughout.

#include <cstddef>
#include <string>

#include "format/CFBase.h"

namespace marvex {

constexpr int kMaxPropertyListDepth = 64;
constexpr std::size_t kMaxPropertyListFileBytes = 64u << 20;

// A new value parsed from XML (or binary) property-list bytes; null with `error` set on
// failure. Integers become kCFNumberSInt64Type numbers, reals kCFNumberFloat64Type.
CFPropertyListRef PropertyListFromBytes(const void* bytes, std::size_t length, std::string* error);
// Serialises a value as XML property-list text; false with `error` set when it holds
// something that cannot be written (a raw-pointer array, a URL, a non-string key...).
bool PropertyListToXML(CFPropertyListRef value, std::string& xml, std::string* error);

// Reads a property-list file; null with `error` set on any failure.
CFPropertyListRef ReadPropertyListFile(const char* path, std::string* error);
// Writes a value as an XML property-list file (replacing it atomically).
bool WritePropertyListFile(const char* path, CFPropertyListRef value, std::string* error);

}  // namespace marvex
