#include "format/CFNumber.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "format/detail/CFValue.h"

using namespace marvex::detail;

namespace {

// Size and kind of each number type on this build.
struct TypeShape {
    std::size_t bytes;
    bool isFloat;
};

bool Shape(CFNumberType type, TypeShape& out) {
    switch (type) {
        case kCFNumberSInt8Type:
        case kCFNumberCharType:
            out = {1, false};
            return true;
        case kCFNumberSInt16Type:
        case kCFNumberShortType:
            out = {2, false};
            return true;
        case kCFNumberSInt32Type:
        case kCFNumberIntType:
            out = {4, false};
            return true;
        case kCFNumberSInt64Type:
        case kCFNumberLongLongType:
            out = {8, false};
            return true;
        case kCFNumberLongType:
        case kCFNumberCFIndexType:
            out = {sizeof(long), false};
            return true;
        case kCFNumberFloat32Type:
        case kCFNumberFloatType:
            out = {4, true};
            return true;
        case kCFNumberFloat64Type:
        case kCFNumberDoubleType:
            out = {8, true};
            return true;
        default:
            return false;
    }
}

SInt64 ReadInteger(const void* p, std::size_t bytes) {
    switch (bytes) {
        case 1: {
            SInt8 v;
            std::memcpy(&v, p, 1);
            return v;
        }
        case 2: {
            SInt16 v;
            std::memcpy(&v, p, 2);
            return v;
        }
        case 4: {
            SInt32 v;
            std::memcpy(&v, p, 4);
            return v;
        }
        default: {
            SInt64 v;
            std::memcpy(&v, p, 8);
            return v;
        }
    }
}

// Writes `v` narrowed to `bytes`; returns whether it fit.
bool WriteInteger(SInt64 v, std::size_t bytes, void* p) {
    switch (bytes) {
        case 1: {
            const SInt8 n = SInt8(v);
            std::memcpy(p, &n, 1);
            return n == v;
        }
        case 2: {
            const SInt16 n = SInt16(v);
            std::memcpy(p, &n, 2);
            return n == v;
        }
        case 4: {
            const SInt32 n = SInt32(v);
            std::memcpy(p, &n, 4);
            return n == v;
        }
        default:
            std::memcpy(p, &v, 8);
            return true;
    }
}

}  // namespace

extern "C" {

CFTypeID CFNumberGetTypeID(void) {
    return CFTypeID(ValueKind::Number);
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* valuePtr) {
    TypeShape shape;
    if (valuePtr == nullptr || !Shape(type, shape)) return nullptr;
    if (shape.isFloat) {
        Float64 r;
        if (shape.bytes == 4) {
            Float32 f;
            std::memcpy(&f, valuePtr, 4);
            r = f;
        } else {
            std::memcpy(&r, valuePtr, 8);
        }
        return NewValue<MarvexCFNumber>(type, true, 0, r);
    }
    return NewValue<MarvexCFNumber>(type, false, ReadInteger(valuePtr, shape.bytes), 0.0);
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* valuePtr) {
    const MarvexCFNumber* n = As<MarvexCFNumber>(number);
    TypeShape shape;
    if (n == nullptr || valuePtr == nullptr || !Shape(type, shape)) return false;
    if (shape.isFloat) {
        Float64 r;
        bool exact = true;
        if (n->isFloat) {
            r = n->real;
        } else {
            r = Float64(n->integer);
            exact = r < 9223372036854775808.0 && SInt64(r) == n->integer;
        }
        if (shape.bytes == 4) {
            Float32 f;
            if (std::isfinite(r) && std::fabs(r) > std::numeric_limits<Float32>::max()) {
                f = std::copysign(std::numeric_limits<Float32>::infinity(),
                                  Float32(r > 0 ? 1 : -1));
                exact = false;
            } else {
                f = Float32(r);
                exact = exact && (Float64(f) == r || std::isnan(r));
            }
            std::memcpy(valuePtr, &f, 4);
            return exact;
        }
        std::memcpy(valuePtr, &r, 8);
        return exact;
    }
    if (!n->isFloat) return WriteInteger(n->integer, shape.bytes, valuePtr);
    // Floats truncate toward zero; NaN becomes 0, out-of-range values saturate. Exact only
    // for an integral value in range.
    const Float64 r = n->real;
    SInt64 v;
    bool exact;
    if (std::isnan(r)) {
        v = 0;
        exact = false;
    } else if (r >= 9223372036854775808.0) {
        v = std::numeric_limits<SInt64>::max();
        exact = false;
    } else if (r < -9223372036854775808.0) {
        v = std::numeric_limits<SInt64>::min();
        exact = false;
    } else {
        v = SInt64(r);
        exact = Float64(v) == r;
    }
    if (shape.bytes < 8) {
        const SInt64 lo = -(SInt64(1) << (shape.bytes * 8 - 1));
        const SInt64 hi = (SInt64(1) << (shape.bytes * 8 - 1)) - 1;
        if (v < lo || v > hi) {
            v = v < lo ? lo : hi;
            exact = false;
        }
    }
    WriteInteger(v, shape.bytes, valuePtr);
    return exact;
}

CFNumberType CFNumberGetType(CFNumberRef number) {
    const MarvexCFNumber* n = As<MarvexCFNumber>(number);
    return n ? n->type : 0;
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
    const MarvexCFNumber* n = As<MarvexCFNumber>(number);
    return n && n->isFloat;
}

}  // extern "C"
