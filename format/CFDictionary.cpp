#include "format/CFDictionary.h"

#include "format/detail/CFValue.h"

using namespace marvex::detail;

namespace {

// Sets or replaces one pair; `onlyIfAbsent` keeps an existing pair. The new key and value
// are retained before the old ones are released, so replacing a pair by itself is safe.
void Store(MarvexCFDictionary* d, const void* key, const void* value, bool onlyIfAbsent) {
    if (AsValue(key) == nullptr || AsValue(value) == nullptr) return;
    auto it = d->pairs.find(key);
    if (it != d->pairs.end()) {
        if (onlyIfAbsent) return;
        CFRetain(value);
        CFRelease(it->second);
        it->second = value;
        return;
    }
    try {
        d->pairs.emplace(key, value);
    } catch (const std::bad_alloc&) {
        return;
    }
    CFRetain(key);
    CFRetain(value);
}

}  // namespace

extern "C" {

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0,       nullptr, nullptr,
                                                                nullptr, nullptr, nullptr};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, nullptr, nullptr, nullptr,
                                                                    nullptr};

CFTypeID CFDictionaryGetTypeID(void) {
    return CFTypeID(ValueKind::Dictionary);
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks*,
                                                 const CFDictionaryValueCallBacks*) {
    if (capacity < 0) return nullptr;
    return NewValue<MarvexCFDictionary>(true);
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values,
                                   CFIndex count, const CFDictionaryKeyCallBacks*,
                                   const CFDictionaryValueCallBacks*) {
    if (count < 0 || (count > 0 && (keys == nullptr || values == nullptr))) return nullptr;
    for (CFIndex i = 0; i < count; ++i)
        if (AsValue(keys[i]) == nullptr || AsValue(values[i]) == nullptr) return nullptr;
    MarvexCFDictionary* d = NewValue<MarvexCFDictionary>(false);
    if (d == nullptr) return nullptr;
    for (CFIndex i = 0; i < count; ++i) Store(d, keys[i], values[i], false);
    if (d->pairs.size() == 0 && count > 0) {  // memory ran out on every pair
        CFRelease(d);
        return nullptr;
    }
    return d;
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef, CFIndex capacity,
                                                     CFDictionaryRef source) {
    const MarvexCFDictionary* s = As<MarvexCFDictionary>(source);
    if (s == nullptr || capacity < 0) return nullptr;
    MarvexCFDictionary* d = NewValue<MarvexCFDictionary>(true);
    if (d == nullptr) return nullptr;
    for (const auto& [key, value] : s->pairs) Store(d, key, value, false);
    return d;
}

void CFDictionarySetValue(CFMutableDictionaryRef dict, const void* key, const void* value) {
    MarvexCFDictionary* d = As<MarvexCFDictionary>(dict);
    if (d && d->isMutable) Store(d, key, value, false);
}

void CFDictionaryAddValue(CFMutableDictionaryRef dict, const void* key, const void* value) {
    MarvexCFDictionary* d = As<MarvexCFDictionary>(dict);
    if (d && d->isMutable) Store(d, key, value, true);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef dict, const void* key) {
    MarvexCFDictionary* d = As<MarvexCFDictionary>(dict);
    if (d == nullptr || !d->isMutable || AsValue(key) == nullptr) return;
    auto it = d->pairs.find(key);
    if (it == d->pairs.end()) return;
    const void* k = it->first;
    const void* v = it->second;
    d->pairs.erase(it);
    CFRelease(k);
    CFRelease(v);
}

const void* CFDictionaryGetValue(CFDictionaryRef dict, const void* key) {
    const void* value = nullptr;
    CFDictionaryGetValueIfPresent(dict, key, &value);
    return value;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef dict, const void* key, const void** value) {
    const MarvexCFDictionary* d = As<MarvexCFDictionary>(dict);
    if (d == nullptr || AsValue(key) == nullptr) return false;
    auto it = d->pairs.find(key);
    if (it == d->pairs.end()) return false;
    if (value) *value = it->second;
    return true;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef dict, const void* key) {
    return CFDictionaryGetValueIfPresent(dict, key, nullptr);
}

CFIndex CFDictionaryGetCount(CFDictionaryRef dict) {
    const MarvexCFDictionary* d = As<MarvexCFDictionary>(dict);
    return d ? CFIndex(d->pairs.size()) : 0;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef dict, const void** keys, const void** values) {
    const MarvexCFDictionary* d = As<MarvexCFDictionary>(dict);
    if (d == nullptr) return;
    std::size_t i = 0;
    for (const auto& [key, value] : d->pairs) {
        if (keys) keys[i] = key;
        if (values) values[i] = value;
        ++i;
    }
}

}  // extern "C"
