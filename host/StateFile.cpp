#include "host/StateFile.h"

#include "format/PropertyListFile.h"
#include "host/OutputFile.h"

namespace marvex {
namespace {

// Releases a property-list value when the scope ends.
struct ReleaseOnExit {
    CFTypeRef value;
    ~ReleaseOnExit() { CFRelease(value); }
};

}  // namespace

void restoreStateFile(HostedUnit& unit, const std::string& path) {
    std::string error;
    CFPropertyListRef state = ReadPropertyListFile(path.c_str(), &error);
    if (state == nullptr) throw HostError(HostErrorKind::Input, path + ": " + error);
    ReleaseOnExit release{state};
    try {
        unit.restoreClassInfo(state);
    } catch (const HostError& e) {
        throw HostError(e.kind(), path + ": " + e.what());
    }
}

void saveStateFile(HostedUnit& unit, const std::string& path) {
    CFPropertyListRef state = unit.copyClassInfo();
    ReleaseOnExit release{state};
    std::string xml;
    std::string error;
    if (!PropertyListToXML(state, xml, &error))
        throw HostError(HostErrorKind::Failed, "cannot write the tuner's state: " + error);
    OutputFile out(path);
    std::fwrite(xml.data(), 1, xml.size(), out.stream());
    out.commit();
}

}  // namespace marvex
