#include "format/CFData.h"

#include "format/detail/CFValue.h"

using namespace marvex::detail;

extern "C" {

CFTypeID CFDataGetTypeID(void) {
    return CFTypeID(ValueKind::Data);
}

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length) {
    if (length < 0 || (bytes == nullptr && length > 0)) return nullptr;
    MarvexCFData* d = NewValue<MarvexCFData>(false, 0);
    if (d == nullptr) return nullptr;
    try {
        d->bytes.assign(bytes, bytes + length);
    } catch (const std::bad_alloc&) {
        CFRelease(d);
        return nullptr;
    }
    return d;
}

CFMutableDataRef CFDataCreateMutable(CFAllocatorRef, CFIndex capacity) {
    if (capacity < 0) return nullptr;
    return NewValue<MarvexCFData>(true, capacity);
}

void CFDataAppendBytes(CFMutableDataRef data, const UInt8* bytes, CFIndex length) {
    MarvexCFData* d = As<MarvexCFData>(data);
    if (d == nullptr || !d->isMutable || length <= 0 || bytes == nullptr) return;
    const std::size_t have = d->bytes.size();
    if (std::size_t(length) > d->bytes.max_size() - have) return;
    if (d->capacity > 0 && have + std::size_t(length) > std::size_t(d->capacity)) return;
    try {
        d->bytes.insert(d->bytes.end(), bytes, bytes + length);
    } catch (const std::bad_alloc&) {
        d->bytes.resize(have);
    }
}

const UInt8* CFDataGetBytePtr(CFDataRef data) {
    const MarvexCFData* d = As<MarvexCFData>(data);
    return d && !d->bytes.empty() ? d->bytes.data() : nullptr;
}

UInt8* CFDataGetMutableBytePtr(CFMutableDataRef data) {
    MarvexCFData* d = As<MarvexCFData>(data);
    return d && d->isMutable && !d->bytes.empty() ? d->bytes.data() : nullptr;
}

CFIndex CFDataGetLength(CFDataRef data) {
    const MarvexCFData* d = As<MarvexCFData>(data);
    return d ? CFIndex(d->bytes.size()) : 0;
}

}  // extern "C"
