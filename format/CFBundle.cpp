#include "format/CFBundle.h"

#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <map>

#include "format/CFDictionary.h"
#include "format/CFString.h"
#include "format/CFURL.h"
#include "format/PropertyListFile.h"
#include "format/detail/BundleRegistry.h"
#include "format/detail/CFValue.h"

using namespace marvex::detail;

namespace {

thread_local std::string tBundleError;

// Bundles live for the process: modules loaded from them are never unloaded, and references
// handed out stay valid.
struct BundleRegistry {
    std::mutex lock;
    std::map<std::string, MarvexCFBundle*> byDirectory;
    std::map<std::string, MarvexCFBundle*> byIdentifier;
};

BundleRegistry& Bundles() {
    static BundleRegistry* registry = new BundleRegistry;
    return *registry;
}

bool Canonical(const std::string& path, std::string& out) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return false;
    out = resolved;
    return true;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool SafeComponent(const char* text) {
    return text != nullptr && std::strchr(text, '/') == nullptr && std::strcmp(text, "..") != 0 &&
           std::strcmp(text, ".") != 0;
}

CFStringRef InfoString(CFDictionaryRef info, const char* key) {
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    const void* v = CFDictionaryGetValue(info, k);
    CFRelease(k);
    return CFGetTypeID(v) == CFStringGetTypeID() ? static_cast<CFStringRef>(v) : nullptr;
}

// Opens (or finds) the bundle in a canonical directory.
MarvexCFBundle* OpenBundle(const std::string& directory) {
    BundleRegistry& r = Bundles();
    std::lock_guard<std::mutex> guard(r.lock);
    auto known = r.byDirectory.find(directory);
    if (known != r.byDirectory.end()) return known->second;

    std::string why;
    CFPropertyListRef info =
        marvex::ReadPropertyListFile((directory + "/Info.plist").c_str(), &why);
    if (info == nullptr) {
        SetBundleError(why);
        return nullptr;
    }
    if (CFGetTypeID(info) != CFDictionaryGetTypeID()) {
        CFRelease(info);
        SetBundleError(directory + "/Info.plist: not a dictionary");
        return nullptr;
    }
    auto dict = static_cast<CFDictionaryRef>(info);
    CFStringRef identifier = InfoString(dict, "identifier");
    if (identifier == nullptr) {
        CFRelease(info);
        SetBundleError(directory + "/Info.plist: no \"identifier\" string");
        return nullptr;
    }
    const std::string id = CFStringGetCStringPtr(identifier, kCFStringEncodingUTF8);
    auto* bundle = new MarvexCFBundle(directory);
    // The bundle keeps its info for the process; its values are not leaks.
    MakeImmortal(dict);
    bundle->info = dict;
    bundle->identifier = identifier;
    r.byDirectory.emplace(directory, bundle);
    // A second directory with a known identifier is a bundle of its own, but lookups by
    // identifier keep finding the first one registered.
    r.byIdentifier.emplace(id, bundle);
    return bundle;
}

}  // namespace

void marvex::detail::SetBundleError(std::string text) {
    tBundleError = std::move(text);
}

const char* marvex::LastBundleError() {
    return tBundleError.c_str();
}

bool marvex::detail::LoadBundleModule(CFBundleRef ref) {
    MarvexCFBundle* bundle = As<MarvexCFBundle>(ref);
    if (bundle == nullptr) return SetBundleError("not a bundle"), false;
    std::lock_guard<std::mutex> guard(bundle->moduleLock);
    if (bundle->module != nullptr) return true;
    CFStringRef name = InfoString(bundle->info, "module");
    const char* file = CFStringGetCStringPtr(name, kCFStringEncodingUTF8);
    if (!SafeComponent(file)) {
        SetBundleError(bundle->directory + "/Info.plist: no valid \"module\" file name");
        return false;
    }
    const std::string path = bundle->directory + "/" + file;
    if (!Exists(path)) {
        SetBundleError(path + ": module not found");
        return false;
    }
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* why = ::dlerror();
        SetBundleError(why ? why : path + ": cannot load module");
        return false;
    }
    bundle->module = module;
    return true;
}

bool marvex::detail::ClaimComponentRegistration(CFBundleRef ref) {
    MarvexCFBundle* bundle = As<MarvexCFBundle>(ref);
    if (bundle == nullptr) return false;
    std::lock_guard<std::mutex> guard(bundle->moduleLock);
    if (bundle->componentsRegistered) return false;
    bundle->componentsRegistered = true;
    return true;
}

CFBundleRef marvex::BundleContainingAddress(const void* address) {
    Dl_info info{};
    if (address == nullptr || ::dladdr(address, &info) == 0 || info.dli_fname == nullptr) {
        SetBundleError("address is not inside a loaded module");
        return nullptr;
    }
    std::string module;
    if (!Canonical(info.dli_fname, module)) {
        SetBundleError(std::string(info.dli_fname) + ": cannot resolve module path");
        return nullptr;
    }
    const std::size_t slash = module.rfind('/');
    const std::string directory = slash == 0 ? "/" : module.substr(0, slash);
    return OpenBundle(directory);
}

extern "C" {

CFTypeID CFBundleGetTypeID(void) {
    return CFTypeID(ValueKind::Bundle);
}

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundleURL) {
    const MarvexCFURL* url = As<MarvexCFURL>(bundleURL);
    if (url == nullptr) return SetBundleError("not a URL"), nullptr;
    std::string directory;
    struct stat st {};
    if (!Canonical(url->path, directory) || ::stat(directory.c_str(), &st) != 0 ||
        !S_ISDIR(st.st_mode)) {
        SetBundleError(url->path + ": not a directory");
        return nullptr;
    }
    return OpenBundle(directory);
}

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID) {
    const char* id = CFStringGetCStringPtr(bundleID, kCFStringEncodingUTF8);
    if (id == nullptr) return nullptr;
    BundleRegistry& r = Bundles();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.byIdentifier.find(id);
    return it == r.byIdentifier.end() ? nullptr : it->second;
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle) {
    const MarvexCFBundle* b = As<MarvexCFBundle>(bundle);
    return b ? b->identifier : nullptr;
}

CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle) {
    const MarvexCFBundle* b = As<MarvexCFBundle>(bundle);
    return b ? b->info : nullptr;
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle) {
    const MarvexCFBundle* b = As<MarvexCFBundle>(bundle);
    if (b == nullptr) return nullptr;
    return CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>(b->directory.data()), CFIndex(b->directory.size()),
        true);
}

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName,
                                 CFStringRef resourceType, CFStringRef subDirName) {
    const MarvexCFBundle* b = As<MarvexCFBundle>(bundle);
    const char* name = CFStringGetCStringPtr(resourceName, kCFStringEncodingUTF8);
    if (b == nullptr || !SafeComponent(name) || name[0] == '\0') return nullptr;
    std::string path = b->directory + "/Resources/";
    if (subDirName != nullptr) {
        const char* sub = CFStringGetCStringPtr(subDirName, kCFStringEncodingUTF8);
        if (!SafeComponent(sub)) return nullptr;
        if (sub[0] != '\0') path += std::string(sub) + "/";
    }
    path += name;
    if (resourceType != nullptr) {
        const char* type = CFStringGetCStringPtr(resourceType, kCFStringEncodingUTF8);
        if (!SafeComponent(type)) return nullptr;
        if (type[0] != '\0') path += std::string(".") + type;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return nullptr;
    return CFURLCreateFromFileSystemRepresentation(nullptr,
                                                   reinterpret_cast<const UInt8*>(path.data()),
                                                   CFIndex(path.size()), S_ISDIR(st.st_mode));
}

Boolean CFBundleLoadExecutable(CFBundleRef bundle) {
    return LoadBundleModule(bundle);
}

void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName) {
    const char* symbol = CFStringGetCStringPtr(functionName, kCFStringEncodingUTF8);
    if (symbol == nullptr || !LoadBundleModule(bundle)) return nullptr;
    MarvexCFBundle* b = As<MarvexCFBundle>(bundle);
    std::lock_guard<std::mutex> guard(b->moduleLock);
    void* p = ::dlsym(b->module, symbol);
    if (p == nullptr) SetBundleError(b->directory + ": no exported symbol " + symbol);
    return p;
}

}  // extern "C"
