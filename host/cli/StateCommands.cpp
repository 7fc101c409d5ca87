#include <cstdio>
#include <vector>

#include "format/CFData.h"
#include "format/CFDictionary.h"
#include "format/CFNumber.h"
#include "format/CFString.h"
#include "format/PropertyListFile.h"
#include "host/StateFile.h"
#include "host/cli/Commands.h"

namespace marvex {
namespace {

std::string fourCharText(std::int64_t code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c =
            static_cast<unsigned char>((static_cast<std::uint32_t>(code) >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    return text;
}

const void* entry(CFDictionaryRef dictionary, const char* key) {
    CFStringRef keyString = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    const void* value = CFDictionaryGetValue(dictionary, keyString);
    CFRelease(keyString);
    return value;
}

std::string describeEntry(const void* value) {
    if (value == nullptr) return "(absent)";
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFNumberGetTypeID()) {
        auto number = static_cast<CFNumberRef>(value);
        if (CFNumberIsFloatType(number)) {
            double real = 0.0;
            CFNumberGetValue(number, kCFNumberFloat64Type, &real);
            char text[32];
            std::snprintf(text, sizeof text, "%g", real);
            return text;
        }
        std::int64_t integer = 0;
        CFNumberGetValue(number, kCFNumberSInt64Type, &integer);
        return std::to_string(integer);
    }
    if (type == CFStringGetTypeID()) {
        char text[256];
        if (CFStringGetCString(static_cast<CFStringRef>(value), text, sizeof text,
                               kCFStringEncodingUTF8))
            return std::string("\"") + text + "\"";
        return "(long string)";
    }
    if (type == CFDataGetTypeID())
        return std::to_string(CFDataGetLength(static_cast<CFDataRef>(value))) + " bytes";
    if (type == CFDictionaryGetTypeID())
        return std::to_string(CFDictionaryGetCount(static_cast<CFDictionaryRef>(value))) +
               " entries";
    return "(other value)";
}

std::int64_t integerEntry(CFDictionaryRef dictionary, const char* key) {
    const void* value = entry(dictionary, key);
    std::int64_t integer = 0;
    if (value != nullptr && CFGetTypeID(value) == CFNumberGetTypeID())
        CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &integer);
    return integer;
}

}  // namespace

int runStateSave(const GlobalOptions& global, const StateSaveOptions& options) {
    HostedUnit unit = HostedUnit::openFromBundle(
        global.bundleDirectory.empty() ? defaultBundleDirectory() : global.bundleDirectory);
    if (options.precision) unit.setParameter(kTunerPrecision, *options.precision);
    if (options.pitchHz) unit.setParameter(kTunerPitch, *options.pitchHz);
    saveStateFile(unit, options.output);
    return 0;
}

int runStateShow(const GlobalOptions& global, const std::string& path) {
    std::string error;
    CFPropertyListRef state = ReadPropertyListFile(path.c_str(), &error);
    if (state == nullptr) throw CommandError(ExitCode::InputError, path + ": " + error);
    struct Release {
        CFTypeRef value;
        ~Release() { CFRelease(value); }
    } release{state};
    if (CFGetTypeID(state) != CFDictionaryGetTypeID())
        throw CommandError(ExitCode::UnitRefused, path + ": not a class-info dictionary");
    auto dictionary = static_cast<CFDictionaryRef>(state);

    // The tuner itself judges the dictionary: a fresh unit restores it, then reports its values.
    HostedUnit unit = HostedUnit::openFromBundle(
        global.bundleDirectory.empty() ? defaultBundleDirectory() : global.bundleDirectory);
    try {
        unit.restoreClassInfo(state);
    } catch (const HostError& e) {
        throw HostError(e.kind(), path + ": " + e.what());
    }
    std::printf("%s: tuner state, format version %s\n", path.c_str(),
                describeEntry(entry(dictionary, "version")).c_str());
    std::printf("  unit           %s %s %s (type, subtype, manufacturer)\n",
                fourCharText(integerEntry(dictionary, "type")).c_str(),
                fourCharText(integerEntry(dictionary, "subtype")).c_str(),
                fourCharText(integerEntry(dictionary, "manufacturer")).c_str());
    std::printf("  preset name    %s\n", describeEntry(entry(dictionary, "name")).c_str());
    std::printf("  parameter data %s\n", describeEntry(entry(dictionary, "data")).c_str());
    if (const void* names = entry(dictionary, "element-name"))
        std::printf("  element names  %s\n", describeEntry(names).c_str());
    std::printf("  restored into a fresh tuner:\n");
    for (const ParameterDescription& parameter : unit.parameterTable()) {
        std::printf("    %-17s %g\n", parameter.name.c_str(),
                    static_cast<double>(unit.parameter(parameter.id)));
    }
    return std::fflush(stdout) == 0 ? 0 : static_cast<int>(ExitCode::OutputError);
}

}  // namespace marvex
