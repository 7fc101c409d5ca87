#include "format/CFBase.h"

#include <cstring>
#include <functional>

#include "format/detail/CFValue.h"

using namespace marvex::detail;

namespace {

std::atomic<long> gLiveValues{0};

void Destroy(Value* v) {
    switch (v->kind) {
        case ValueKind::String:
            delete static_cast<MarvexCFString*>(v);
            break;
        case ValueKind::Number:
            delete static_cast<MarvexCFNumber*>(v);
            break;
        case ValueKind::Data:
            delete static_cast<MarvexCFData*>(v);
            break;
        case ValueKind::Array: {
            auto* a = static_cast<MarvexCFArray*>(v);
            if (a->retains)
                for (const void* item : a->items) CFRelease(item);
            delete a;
            break;
        }
        case ValueKind::Dictionary: {
            auto* d = static_cast<MarvexCFDictionary*>(v);
            for (auto& [key, value] : d->pairs) {
                CFRelease(key);
                CFRelease(value);
            }
            delete d;
            break;
        }
        case ValueKind::URL:
            delete static_cast<MarvexCFURL*>(v);
            break;
        case ValueKind::Boolean:
        case ValueKind::Bundle:
            return;  // immortal: never reaches here
    }
    gLiveValues.fetch_sub(1, std::memory_order_relaxed);
}

std::size_t Mix(std::size_t h, std::size_t v) {
    return h ^ (v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2));
}

bool NumbersEqual(const MarvexCFNumber& a, const MarvexCFNumber& b) {
    if (!a.isFloat && !b.isFloat) return a.integer == b.integer;
    // NaN equals NaN here: equality of stored values must be reflexive (round trips, keys).
    if (a.isFloat && b.isFloat) return a.real == b.real || (a.real != a.real && b.real != b.real);
    const MarvexCFNumber& f = a.isFloat ? a : b;
    const MarvexCFNumber& i = a.isFloat ? b : a;
    // 2^63 bounds: an integral double inside them converts exactly.
    if (!(f.real >= -9223372036854775808.0 && f.real < 9223372036854775808.0)) return false;
    return SInt64(f.real) == i.integer && Float64(SInt64(f.real)) == f.real;
}

}  // namespace

void marvex::detail::CountNewValue() {
    gLiveValues.fetch_add(1, std::memory_order_relaxed);
}

void marvex::detail::MakeImmortal(CFTypeRef ref) {
    Value* v = const_cast<Value*>(AsValue(ref));
    if (v == nullptr || v->immortal) return;
    v->immortal = true;
    gLiveValues.fetch_sub(1, std::memory_order_relaxed);
    if (v->kind == ValueKind::Array) {
        auto* a = static_cast<MarvexCFArray*>(v);
        if (a->retains)
            for (const void* item : a->items) MakeImmortal(item);
    } else if (v->kind == ValueKind::Dictionary) {
        for (auto& [key, value] : static_cast<MarvexCFDictionary*>(v)->pairs) {
            MakeImmortal(key);
            MakeImmortal(value);
        }
    }
}

long marvex::LiveValueCount() {
    return gLiveValues.load(std::memory_order_relaxed);
}

bool marvex::detail::ValidUTF8(const char* s, std::size_t n, CFIndex* codePoints) {
    CFIndex count = 0;
    std::size_t i = 0;
    while (i < n) {
        const UInt8 c = UInt8(s[i]);
        std::size_t extra;
        UInt32 cp;
        if (c < 0x80) {
            extra = 0;
            cp = c;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (n - i - 1 < extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const UInt8 cc = UInt8(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not text.
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
        ++count;
    }
    if (codePoints) *codePoints = count;
    return true;
}

extern "C" {

CFTypeRef CFRetain(CFTypeRef ref) {
    const Value* v = AsValue(ref);
    if (v == nullptr) return ref;
    if (!v->immortal) const_cast<Value*>(v)->refs.fetch_add(1, std::memory_order_relaxed);
    return ref;
}

void CFRelease(CFTypeRef ref) {
    Value* v = const_cast<Value*>(AsValue(ref));
    if (v == nullptr || v->immortal) return;
    // acq_rel: the last releaser sees every write made through other references.
    if (v->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        v->magic = 0;
        Destroy(v);
    }
}

CFIndex CFGetRetainCount(CFTypeRef ref) {
    const Value* v = AsValue(ref);
    if (v == nullptr) return 0;
    return v->immortal ? 1 : v->refs.load(std::memory_order_relaxed);
}

CFTypeID CFGetTypeID(CFTypeRef ref) {
    const Value* v = AsValue(ref);
    return v ? CFTypeID(v->kind) : 0;
}

Boolean CFEqual(CFTypeRef a, CFTypeRef b) {
    if (a == b) return a != nullptr;
    const Value* va = AsValue(a);
    const Value* vb = AsValue(b);
    if (va == nullptr || vb == nullptr || va->kind != vb->kind) return false;
    switch (va->kind) {
        case ValueKind::String:
            return As<MarvexCFString>(a)->text == As<MarvexCFString>(b)->text;
        case ValueKind::Number:
            return NumbersEqual(*As<MarvexCFNumber>(a), *As<MarvexCFNumber>(b));
        case ValueKind::Data:
            return As<MarvexCFData>(a)->bytes == As<MarvexCFData>(b)->bytes;
        case ValueKind::URL:
            return As<MarvexCFURL>(a)->path == As<MarvexCFURL>(b)->path &&
                   As<MarvexCFURL>(a)->isDirectory == As<MarvexCFURL>(b)->isDirectory;
        case ValueKind::Array: {
            const auto& x = *As<MarvexCFArray>(a);
            const auto& y = *As<MarvexCFArray>(b);
            if (x.items.size() != y.items.size() || x.retains != y.retains) return false;
            for (std::size_t i = 0; i < x.items.size(); ++i) {
                const bool same =
                    x.retains ? CFEqual(x.items[i], y.items[i]) : x.items[i] == y.items[i];
                if (!same) return false;
            }
            return true;
        }
        case ValueKind::Dictionary: {
            const auto& x = *As<MarvexCFDictionary>(a);
            const auto& y = *As<MarvexCFDictionary>(b);
            if (x.pairs.size() != y.pairs.size()) return false;
            for (const auto& [key, value] : x.pairs) {
                auto it = y.pairs.find(key);
                if (it == y.pairs.end() || !CFEqual(value, it->second)) return false;
            }
            return true;
        }
        case ValueKind::Boolean:
        case ValueKind::Bundle:
            return false;  // identity only, handled above
    }
    return false;
}

CFHashCode CFHash(CFTypeRef ref) {
    const Value* v = AsValue(ref);
    if (v == nullptr) return 0;
    switch (v->kind) {
        case ValueKind::String:
            return std::hash<std::string>()(As<MarvexCFString>(ref)->text);
        case ValueKind::Number: {
            const auto& n = *As<MarvexCFNumber>(ref);
            if (!n.isFloat) return std::hash<SInt64>()(n.integer);
            if (n.real != n.real) return 0x7FF8;  // every NaN alike
            if (n.real >= -9223372036854775808.0 && n.real < 9223372036854775808.0 &&
                Float64(SInt64(n.real)) == n.real)
                return std::hash<SInt64>()(SInt64(n.real));  // equal to the integer's hash
            return std::hash<Float64>()(n.real);
        }
        case ValueKind::Data: {
            const auto& d = As<MarvexCFData>(ref)->bytes;
            return std::hash<std::string_view>()(
                std::string_view(reinterpret_cast<const char*>(d.data()), d.size()));
        }
        case ValueKind::URL:
            return std::hash<std::string>()(As<MarvexCFURL>(ref)->path);
        case ValueKind::Array:
            return Mix(7, As<MarvexCFArray>(ref)->items.size());
        case ValueKind::Dictionary:
            return Mix(11, As<MarvexCFDictionary>(ref)->pairs.size());
        case ValueKind::Boolean:
        case ValueKind::Bundle:
            return std::hash<const void*>()(ref);
    }
    return 0;
}

}  // extern "C"
