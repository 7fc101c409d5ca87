#include "format/PropertyListFile.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "format/CFArray.h"
#include "format/CFBoolean.h"
#include "format/CFData.h"
#include "format/CFDictionary.h"
#include "format/CFNumber.h"
#include "format/CFString.h"
#include "format/detail/CFValue.h"

using namespace marvex::detail;

namespace marvex {
namespace {

void SetError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

struct PlistFree {
    void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

struct ValueRelease {
    void operator()(const void* v) const { CFRelease(v); }
};
using ValuePtr = std::unique_ptr<const void, ValueRelease>;

// Upper bound of the container nesting of XML text, found before the parser sees it so a
// hostile file cannot drive any recursion deep.
bool NestingWithin(const char* text, std::size_t size, int limit) {
    int depth = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (text[i] != '<') continue;
        const char* tag = text + i + 1;
        const std::size_t rest = size - i - 1;
        const bool closing = rest > 0 && tag[0] == '/';
        if (closing) {
            ++tag;
        }
        const std::size_t avail = rest - (closing ? 1 : 0);
        std::size_t nameLength = 0;
        if (avail >= 4 && std::memcmp(tag, "dict", 4) == 0)
            nameLength = 4;
        else if (avail >= 5 && std::memcmp(tag, "array", 5) == 0)
            nameLength = 5;
        if (nameLength == 0) continue;
        if (closing) {
            --depth;
            continue;
        }
        const char* end = static_cast<const char*>(std::memchr(tag, '>', avail));
        if (end == nullptr) return false;  // unterminated tag: malformed anyway
        if (end[-1] == '/') continue;      // <dict/> opens nothing
        if (++depth > limit) return false;
    }
    return true;
}

CFTypeRef FromNode(plist_t node, int depth, std::string* error);

CFTypeRef FromDict(plist_t node, int depth, std::string* error) {
    ValuePtr dict(CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                            &kCFTypeDictionaryValueCallBacks));
    if (!dict) return SetError(error, "out of memory"), nullptr;
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(node, &iter);
    if (iter == nullptr) return SetError(error, "out of memory"), nullptr;
    bool ok = true;
    for (;;) {
        char* keyText = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iter, &keyText, &item);
        if (item == nullptr) {
            std::free(keyText);
            break;
        }
        ValuePtr key(keyText ? CFStringCreateWithCString(nullptr, keyText, kCFStringEncodingUTF8)
                             : nullptr);
        std::free(keyText);
        if (!key) {
            SetError(error, "dictionary key is not valid UTF-8 text");
            ok = false;
            break;
        }
        ValuePtr value(FromNode(item, depth + 1, error));
        if (!value) {
            ok = false;
            break;
        }
        CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(const_cast<void*>(dict.get())),
                             key.get(), value.get());
    }
    std::free(iter);
    return ok ? dict.release() : nullptr;
}

CFTypeRef FromNode(plist_t node, int depth, std::string* error) {
    if (depth > kMaxPropertyListDepth)
        return SetError(error, "property list nested too deeply"), nullptr;
    switch (plist_get_node_type(node)) {
        case PLIST_DICT:
            return FromDict(node, depth, error);
        case PLIST_ARRAY: {
            ValuePtr array(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
            if (!array) return SetError(error, "out of memory"), nullptr;
            const uint32_t n = plist_array_get_size(node);
            for (uint32_t i = 0; i < n; ++i) {
                ValuePtr item(FromNode(plist_array_get_item(node, i), depth + 1, error));
                if (!item) return nullptr;
                auto* a = static_cast<CFMutableArrayRef>(const_cast<void*>(array.get()));
                CFArrayAppendValue(a, item.get());
                if (CFArrayGetCount(a) != CFIndex(i) + 1)
                    return SetError(error, "out of memory"), nullptr;
            }
            return array.release();
        }
        case PLIST_STRING: {
            uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            if (text == nullptr || std::strlen(text) != length)
                return SetError(error, "string holds a NUL character"), nullptr;
            CFStringRef s = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
            if (s == nullptr) SetError(error, "string is not valid UTF-8 text");
            return s;
        }
        case PLIST_UINT: {
            // Integers are signed 64-bit; the library hands them over as their bit pattern.
            uint64_t bits = 0;
            plist_get_uint_val(node, &bits);
            const SInt64 v = SInt64(bits);
            return CFNumberCreate(nullptr, kCFNumberSInt64Type, &v);
        }
        case PLIST_REAL: {
            double v = 0;
            plist_get_real_val(node, &v);
            return CFNumberCreate(nullptr, kCFNumberFloat64Type, &v);
        }
        case PLIST_BOOLEAN: {
            uint8_t v = 0;
            plist_get_bool_val(node, &v);
            return v ? kCFBooleanTrue : kCFBooleanFalse;
        }
        case PLIST_DATA: {
            uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            if (length > uint64_t(kMaxPropertyListFileBytes))
                return SetError(error, "data too large"), nullptr;
            CFDataRef d = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes),
                                       bytes ? CFIndex(length) : 0);
            if (d == nullptr) SetError(error, "out of memory");
            return d;
        }
        default:
            return SetError(error, "property list holds a value type that is not supported"),
                   nullptr;
    }
}

plist_t ToNode(CFTypeRef value, int depth, std::string* error) {
    if (depth > kMaxPropertyListDepth)
        return SetError(error, "property list nested too deeply"), nullptr;
    const Value* v = AsValue(value);
    if (v == nullptr) return SetError(error, "not a property-list value"), nullptr;
    switch (v->kind) {
        case ValueKind::String:
            return plist_new_string(As<MarvexCFString>(value)->text.c_str());
        case ValueKind::Number: {
            const auto* n = As<MarvexCFNumber>(value);
            return n->isFloat ? plist_new_real(n->real) : plist_new_uint(uint64_t(n->integer));
        }
        case ValueKind::Boolean:
            return plist_new_bool(As<MarvexCFBoolean>(value)->truth ? 1 : 0);
        case ValueKind::Data: {
            const auto& bytes = As<MarvexCFData>(value)->bytes;
            return plist_new_data(bytes.empty() ? "" : reinterpret_cast<const char*>(bytes.data()),
                                  bytes.size());
        }
        case ValueKind::Array: {
            const auto* a = As<MarvexCFArray>(value);
            if (!a->retains)
                return SetError(error, "array of raw pointers cannot be written"), nullptr;
            PlistPtr node(plist_new_array());
            for (const void* item : a->items) {
                plist_t child = ToNode(item, depth + 1, error);
                if (child == nullptr) return nullptr;
                plist_array_append_item(node.get(), child);
            }
            return node.release();
        }
        case ValueKind::Dictionary: {
            PlistPtr node(plist_new_dict());
            for (const auto& [key, item] : As<MarvexCFDictionary>(value)->pairs) {
                const auto* k = As<MarvexCFString>(key);
                if (k == nullptr) return SetError(error, "dictionary key is not a string"), nullptr;
                plist_t child = ToNode(item, depth + 1, error);
                if (child == nullptr) return nullptr;
                plist_dict_set_item(node.get(), k->text.c_str(), child);
            }
            return node.release();
        }
        case ValueKind::URL:
        case ValueKind::Bundle:
            return SetError(error, "value type cannot be written to a property list"), nullptr;
    }
    return nullptr;
}

}  // namespace

CFPropertyListRef PropertyListFromBytes(const void* bytes, std::size_t length, std::string* error) {
    if (bytes == nullptr || length == 0) return SetError(error, "empty property list"), nullptr;
    if (length > kMaxPropertyListFileBytes)
        return SetError(error, "property list too large"), nullptr;
    const char* text = static_cast<const char*>(bytes);
    if (length >= 6 && std::memcmp(text, "bplist", 6) == 0)
        return SetError(error, "binary property lists are not accepted"), nullptr;
    if (!NestingWithin(text, length, kMaxPropertyListDepth))
        return SetError(error, "property list nested too deeply or malformed"), nullptr;
    plist_t root = nullptr;
    plist_from_memory(text, uint32_t(length), &root);
    if (root == nullptr) return SetError(error, "malformed property list"), nullptr;
    PlistPtr owner(root);
    return FromNode(root, 1, error);
}

bool PropertyListToXML(CFPropertyListRef value, std::string& xml, std::string* error) {
    PlistPtr node(ToNode(value, 1, error));
    if (!node) return false;
    char* text = nullptr;
    uint32_t length = 0;
    plist_to_xml(node.get(), &text, &length);
    if (text == nullptr) return SetError(error, "out of memory"), false;
    try {
        xml.assign(text, length);
    } catch (const std::bad_alloc&) {
        plist_to_xml_free(text);
        return SetError(error, "out of memory"), false;
    }
    plist_to_xml_free(text);
    // The document-type line is optional and names a foreign vendor's URL; leave it out.
    const std::size_t doctype = xml.find("<!DOCTYPE");
    if (doctype != std::string::npos) {
        const std::size_t end = xml.find('\n', doctype);
        xml.erase(doctype, end == std::string::npos ? std::string::npos : end - doctype + 1);
    }
    return true;
}

CFPropertyListRef ReadPropertyListFile(const char* path, std::string* error) {
    if (path == nullptr) return SetError(error, "no file name"), nullptr;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return SetError(error, std::string(path) + ": " + std::strerror(errno)), nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return SetError(error, std::string(path) + ": not a regular file"), nullptr;
    }
    if (std::uintmax_t(st.st_size) > kMaxPropertyListFileBytes) {
        ::close(fd);
        return SetError(error, std::string(path) + ": file too large"), nullptr;
    }
    std::string bytes;
    try {
        bytes.resize(std::size_t(st.st_size));
    } catch (const std::bad_alloc&) {
        ::close(fd);
        return SetError(error, "out of memory"), nullptr;
    }
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += std::size_t(n);
    }
    ::close(fd);
    if (got != bytes.size()) return SetError(error, std::string(path) + ": short read"), nullptr;
    std::string why;
    CFPropertyListRef value = PropertyListFromBytes(bytes.data(), bytes.size(), &why);
    if (value == nullptr) SetError(error, std::string(path) + ": " + why);
    return value;
}

bool WritePropertyListFile(const char* path, CFPropertyListRef value, std::string* error) {
    if (path == nullptr) return SetError(error, "no file name"), false;
    std::string xml;
    if (!PropertyListToXML(value, xml, error)) return false;
    std::string temp = std::string(path) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return SetError(error, std::string(path) + ": " + std::strerror(errno)), false;
    std::size_t put = 0;
    while (put < xml.size()) {
        const ssize_t n = ::write(fd, xml.data() + put, xml.size() - put);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        put += std::size_t(n);
    }
    // Class-info files are ordinary documents: readable by others, as a plain create would be.
    const bool written = put == xml.size() && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    const int saved = errno;
    ::close(fd);
    if (!written || ::rename(temp.c_str(), path) != 0) {
        const int why = written ? errno : saved;
        ::unlink(temp.c_str());
        return SetError(error, std::string(path) + ": " + std::strerror(why)), false;
    }
    return true;
}

}  // namespace marvex
