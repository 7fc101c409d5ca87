#include "format/CFArray.h"

#include "format/detail/CFValue.h"

using namespace marvex::detail;

extern "C" {

const CFArrayCallBacks kCFTypeArrayCallBacks = {0, nullptr, nullptr, nullptr, nullptr};

CFTypeID CFArrayGetTypeID(void) {
    return CFTypeID(ValueKind::Array);
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex count,
                         const CFArrayCallBacks* callBacks) {
    if (count < 0 || (values == nullptr && count > 0)) return nullptr;
    const bool retains = callBacks != nullptr;
    if (retains)
        for (CFIndex i = 0; i < count; ++i)
            if (AsValue(values[i]) == nullptr) return nullptr;
    MarvexCFArray* a = NewValue<MarvexCFArray>(retains, false);
    if (a == nullptr) return nullptr;
    try {
        a->items.assign(values, values + count);
    } catch (const std::bad_alloc&) {
        CFRelease(a);
        return nullptr;
    }
    if (retains)
        for (const void* v : a->items) CFRetain(v);
    return a;
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex capacity,
                                       const CFArrayCallBacks* callBacks) {
    if (capacity < 0) return nullptr;
    return NewValue<MarvexCFArray>(callBacks != nullptr, true);
}

void CFArrayAppendValue(CFMutableArrayRef array, const void* value) {
    MarvexCFArray* a = As<MarvexCFArray>(array);
    if (a == nullptr || !a->isMutable) return;
    if (a->retains && AsValue(value) == nullptr) return;
    try {
        a->items.push_back(value);
    } catch (const std::bad_alloc&) {
        return;
    }
    if (a->retains) CFRetain(value);
}

CFIndex CFArrayGetCount(CFArrayRef array) {
    const MarvexCFArray* a = As<MarvexCFArray>(array);
    return a ? CFIndex(a->items.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index) {
    const MarvexCFArray* a = As<MarvexCFArray>(array);
    if (a == nullptr || index < 0 || std::size_t(index) >= a->items.size()) return nullptr;
    return a->items[std::size_t(index)];
}

}  // extern "C"
