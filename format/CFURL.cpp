#include "format/CFURL.h"

#include <cstring>

#include "format/CFString.h"
#include "format/detail/CFValue.h"

using namespace marvex::detail;

extern "C" {

CFTypeID CFURLGetTypeID(void) {
    return CFTypeID(ValueKind::URL);
}

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const UInt8* buffer,
                                                 CFIndex length, Boolean isDirectory) {
    if (buffer == nullptr || length <= 0) return nullptr;
    const char* text = reinterpret_cast<const char*>(buffer);
    if (std::memchr(text, '\0', std::size_t(length)) != nullptr) return nullptr;
    try {
        return NewValue<MarvexCFURL>(std::string(text, std::size_t(length)), isDirectory != 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean, UInt8* buffer, CFIndex maxBufLen) {
    const MarvexCFURL* u = As<MarvexCFURL>(url);
    if (u == nullptr || buffer == nullptr || maxBufLen <= 0) return false;
    if (u->path.size() + 1 > std::size_t(maxBufLen)) return false;
    std::memcpy(buffer, u->path.c_str(), u->path.size() + 1);
    return true;
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle style) {
    const MarvexCFURL* u = As<MarvexCFURL>(url);
    if (u == nullptr || style != kCFURLPOSIXPathStyle) return nullptr;
    return CFStringCreateWithCString(nullptr, u->path.c_str(), kCFStringEncodingUTF8);
}

Boolean CFURLHasDirectoryPath(CFURLRef url) {
    const MarvexCFURL* u = As<MarvexCFURL>(url);
    return u && u->isDirectory;
}

}  // extern "C"
