#include "format/PlugInBundle.h"

#include <dlfcn.h>

#include <cstring>
#include <string>
#include <vector>

#include "format/CFArray.h"
#include "format/CFBundle.h"
#include "format/CFDictionary.h"
#include "format/CFNumber.h"
#include "format/CFString.h"
#include "format/CFURL.h"
#include "format/ComponentServices.h"
#include "format/detail/BundleRegistry.h"

using marvex::detail::SetBundleError;

namespace {

const void* Lookup(CFDictionaryRef dict, const char* key) {
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    const void* v = CFDictionaryGetValue(dict, k);
    CFRelease(k);
    return v;
}

const char* StringField(CFDictionaryRef dict, const char* key) {
    const void* v = Lookup(dict, key);
    return CFGetTypeID(v) == CFStringGetTypeID()
               ? CFStringGetCStringPtr(static_cast<CFStringRef>(v), kCFStringEncodingUTF8)
               : nullptr;
}

bool FourCharField(CFDictionaryRef dict, const char* key, OSType& out) {
    const char* text = StringField(dict, key);
    if (text == nullptr || std::strlen(text) != 4) return false;
    out = (UInt32(UInt8(text[0])) << 24) | (UInt32(UInt8(text[1])) << 16) |
          (UInt32(UInt8(text[2])) << 8) | UInt32(UInt8(text[3]));
    return true;
}

struct PendingComponent {
    ComponentDescription description;
    std::string name;
    UInt32 version;
};

}  // namespace

extern "C" {

OSStatus RegisterComponentsInBundle(const char* directory, CFBundleRef* outBundle) {
    if (outBundle) *outBundle = nullptr;
    if (directory == nullptr || directory[0] == '\0')
        return SetBundleError("no bundle directory"), paramErr;
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>(directory), CFIndex(std::strlen(directory)), true);
    CFBundleRef bundle = CFBundleCreate(nullptr, url);
    CFRelease(url);
    if (bundle == nullptr) return fnfErr;  // the reason is already recorded
    const std::string where = directory;

    // Check the whole description before loading or registering anything.
    CFDictionaryRef info = CFBundleGetInfoDictionary(bundle);
    const char* entryName = StringField(info, "entry");
    if (entryName == nullptr)
        return SetBundleError(where + "/Info.plist: no \"entry\" string"), paramErr;
    const void* list = Lookup(info, "components");
    if (CFGetTypeID(list) != CFArrayGetTypeID())
        return SetBundleError(where + "/Info.plist: no \"components\" array"), paramErr;
    auto components = static_cast<CFArrayRef>(list);
    std::vector<PendingComponent> pending;
    for (CFIndex i = 0; i < CFArrayGetCount(components); ++i) {
        const void* item = CFArrayGetValueAtIndex(components, i);
        if (CFGetTypeID(item) != CFDictionaryGetTypeID())
            return SetBundleError(where + "/Info.plist: a component is not a dictionary"), paramErr;
        auto c = static_cast<CFDictionaryRef>(item);
        PendingComponent p{};
        SInt64 version = 0;
        const void* v = Lookup(c, "version");
        if (!FourCharField(c, "type", p.description.componentType) ||
            !FourCharField(c, "subtype", p.description.componentSubType) ||
            !FourCharField(c, "manufacturer", p.description.componentManufacturer) ||
            CFGetTypeID(v) != CFNumberGetTypeID() ||
            CFNumberIsFloatType(static_cast<CFNumberRef>(v)) ||
            !CFNumberGetValue(static_cast<CFNumberRef>(v), kCFNumberSInt64Type, &version) ||
            version < 0 || version > SInt64(UINT32_MAX))
            return SetBundleError(where +
                                  "/Info.plist: a component lacks four-character type, subtype, "
                                  "manufacturer or an integer version"),
                   paramErr;
        const char* name = StringField(c, "name");
        p.name = name ? name : "";
        p.version = UInt32(version);
        pending.push_back(std::move(p));
    }

    CFStringRef symbol = CFStringCreateWithCString(nullptr, entryName, kCFStringEncodingUTF8);
    void* entry = CFBundleGetFunctionPointerForName(bundle, symbol);
    CFRelease(symbol);
    if (entry == nullptr) return fnfErr;  // module or symbol missing; reason recorded

    if (marvex::detail::ClaimComponentRegistration(bundle)) {
        ComponentRoutineProcPtr routine;
        static_assert(sizeof routine == sizeof entry);
        std::memcpy(&routine, &entry, sizeof routine);
        for (const PendingComponent& p : pending)
            if (RegisterComponentEntry(&p.description, routine, p.name.c_str(), p.version) ==
                nullptr)
                return SetBundleError("out of memory"), memFullErr;
    }
    if (outBundle) *outBundle = bundle;
    return noErr;
}

}  // extern "C"
