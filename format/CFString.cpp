#include "format/CFString.h"

#include <cstring>
#include <memory>

#include "format/detail/CFValue.h"

using namespace marvex::detail;

namespace {

bool IsAscii(const std::string& s) {
    for (char c : s)
        if (UInt8(c) > 0x7F) return false;
    return true;
}

}  // namespace

CFStringRef marvex::ConstantString(const char* utf8) {
    if (utf8 == nullptr) return nullptr;
    // Reachable from a never-destroyed pointer: constants outlive every static destructor.
    static std::mutex* lock = new std::mutex;
    static auto* table = new std::unordered_map<std::string, MarvexCFString*>;
    std::lock_guard<std::mutex> guard(*lock);
    auto it = table->find(utf8);
    if (it != table->end()) return it->second;
    CFIndex length = 0;
    std::string text(utf8);
    if (!ValidUTF8(text.data(), text.size(), &length)) return nullptr;
    auto* s = new MarvexCFString(text, length, true);
    table->emplace(std::move(text), s);
    return s;
}

extern "C" {

CFTypeID CFStringGetTypeID(void) {
    return CFTypeID(ValueKind::String);
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
    if (cStr == nullptr) return nullptr;
    const std::size_t size = std::strlen(cStr);
    CFIndex length = 0;
    switch (encoding) {
        case kCFStringEncodingASCII:
            for (std::size_t i = 0; i < size; ++i)
                if (UInt8(cStr[i]) > 0x7F) return nullptr;
            length = CFIndex(size);
            break;
        case kCFStringEncodingUTF8:
            if (!ValidUTF8(cStr, size, &length)) return nullptr;
            break;
        default:
            return nullptr;
    }
    try {
        return NewValue<MarvexCFString>(std::string(cStr, size), length, false);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

Boolean CFStringGetCString(CFStringRef str, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding) {
    if (buffer == nullptr || bufferSize <= 0) return false;
    buffer[0] = '\0';
    const MarvexCFString* s = As<MarvexCFString>(str);
    if (s == nullptr) return false;
    if (encoding != kCFStringEncodingUTF8 && encoding != kCFStringEncodingASCII) return false;
    if (encoding == kCFStringEncodingASCII && !IsAscii(s->text)) return false;
    const std::size_t room = std::size_t(bufferSize) - 1;
    std::size_t n = s->text.size();
    bool whole = true;
    if (n > room) {
        n = room;
        // Never split a character: back off over continuation bytes.
        while (n > 0 && (UInt8(s->text[n]) & 0xC0) == 0x80) --n;
        whole = false;
    }
    std::memcpy(buffer, s->text.data(), n);
    buffer[n] = '\0';
    return whole;
}

const char* CFStringGetCStringPtr(CFStringRef str, CFStringEncoding encoding) {
    const MarvexCFString* s = As<MarvexCFString>(str);
    if (s == nullptr) return nullptr;
    if (encoding == kCFStringEncodingUTF8) return s->text.c_str();
    if (encoding == kCFStringEncodingASCII && IsAscii(s->text)) return s->text.c_str();
    return nullptr;
}

CFIndex CFStringGetLength(CFStringRef str) {
    const MarvexCFString* s = As<MarvexCFString>(str);
    return s ? s->length : 0;
}

}  // extern "C"
