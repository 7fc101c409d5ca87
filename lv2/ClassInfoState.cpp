#include "lv2/ClassInfoState.h"

#include <lv2/atom/atom.h>

#include <string>

#include "format/PropertyListFile.h"
#include "lv2/PortLayout.h"

namespace marvex::lv2 {

LV2_State_Status storeClassInfo(HostedUnit& unit, const HostFeatures& host,
                                LV2_State_Store_Function store, LV2_State_Handle handle) {
    const LV2_URID key = host.urid(kStateKeyUri);
    const LV2_URID type = host.urid(LV2_ATOM__String);
    if (key == 0 || type == 0) {
        host.logError("cannot save the tuner's state: the host maps no URIs\n");
        return LV2_STATE_ERR_NO_FEATURE;
    }
    CFPropertyListRef classInfo = unit.copyClassInfo();
    std::string xml, error;
    const bool written = PropertyListToXML(classInfo, xml, &error);
    CFRelease(classInfo);
    if (!written) {
        host.logError("cannot save the tuner's state: %s\n", error.c_str());
        return LV2_STATE_ERR_UNKNOWN;
    }
    // An atom:String's size counts its terminating null.
    return store(handle, key, xml.c_str(), xml.size() + 1, type,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

std::optional<HostedUnit> retrieveClassInfo(Component component, const HostFeatures& host,
                                            LV2_State_Retrieve_Function retrieve,
                                            LV2_State_Handle handle) {
    const LV2_URID key = host.urid(kStateKeyUri);
    if (key == 0) return std::nullopt;
    std::size_t size = 0;
    std::uint32_t type = 0, flags = 0;
    const void* value = retrieve(handle, key, &size, &type, &flags);
    if (value == nullptr) return std::nullopt;
    const auto* text = static_cast<const char*>(value);
    if (type != host.urid(LV2_ATOM__String) || size == 0 || size > kMaxStateBytes ||
        text[size - 1] != '\0') {
        host.logError("ignoring a saved state that is not the tuner's (wrong type or size)\n");
        return std::nullopt;
    }
    std::string error;
    CFPropertyListRef classInfo = PropertyListFromBytes(text, size - 1, &error);
    if (classInfo == nullptr) {
        host.logError("ignoring a damaged saved state: %s\n", error.c_str());
        return std::nullopt;
    }
    try {
        HostedUnit unit = HostedUnit::open(component);
        unit.restoreClassInfo(classInfo);
        CFRelease(classInfo);
        return unit;
    } catch (const std::exception& refusal) {
        CFRelease(classInfo);
        host.logError("ignoring a saved state the tuner refuses: %s\n", refusal.what());
        return std::nullopt;
    }
}

}  // namespace marvex::lv2
