#pragma once
// Internal representation of the property-list values. Not for use outside format/.
//
// Threads: [control], as for the values themselves (CFBase.h).

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "format/CFBase.h"
#include "format/CFNumber.h"

namespace marvex::detail {

enum class ValueKind : UInt32 {
    String = 1,
    Number,
    Boolean,
    Data,
    Array,
    Dictionary,
    URL,
    Bundle,
};

constexpr UInt32 kValueMagic = 0x4D565856;  // "MVXV"

// Common head of every value. Not polymorphic: the kind selects the destructor, so the head
// sits at offset 0 and a stray pointer's first word can be checked before anything else.
struct Value {
    UInt32 magic;
    ValueKind kind;
    bool immortal;
    std::atomic<long> refs;
    constexpr Value(ValueKind k, bool isImmortal)
        : magic(kValueMagic), kind(k), immortal(isImmortal), refs(1) {}
};

// The value behind a reference, or null when it is null or not one of ours.
inline const Value* AsValue(CFTypeRef ref) {
    if (ref == nullptr) return nullptr;
    const Value* v = static_cast<const Value*>(ref);
    return v->magic == kValueMagic ? v : nullptr;
}

// Counts a new mortal value as live. Called by every factory.
void CountNewValue();

// Allocates a mortal value; null when memory runs out.
template <typename T, typename... Args>
T* NewValue(Args&&... args) {
    T* v = new (std::nothrow) T(std::forward<Args>(args)...);
    if (v) CountNewValue();
    return v;
}

}  // namespace marvex::detail

struct MarvexCFString : marvex::detail::Value {
    std::string text;  // UTF-8, no embedded NUL
    CFIndex length;    // code points
    MarvexCFString(std::string t, CFIndex n, bool isImmortal)
        : Value(marvex::detail::ValueKind::String, isImmortal), text(std::move(t)), length(n) {}
};

struct MarvexCFNumber : marvex::detail::Value {
    CFNumberType type;
    bool isFloat;
    SInt64 integer;
    Float64 real;
    MarvexCFNumber(CFNumberType t, bool f, SInt64 i, Float64 r)
        : Value(marvex::detail::ValueKind::Number, false),
          type(t),
          isFloat(f),
          integer(i),
          real(r) {}
};

struct MarvexCFBoolean : marvex::detail::Value {
    bool truth;
    constexpr explicit MarvexCFBoolean(bool t)
        : Value(marvex::detail::ValueKind::Boolean, true), truth(t) {}
};

struct MarvexCFData : marvex::detail::Value {
    std::vector<UInt8> bytes;
    bool isMutable;
    CFIndex capacity;  // 0: unlimited
    MarvexCFData(bool m, CFIndex cap)
        : Value(marvex::detail::ValueKind::Data, false), isMutable(m), capacity(cap) {}
};

struct MarvexCFArray : marvex::detail::Value {
    std::vector<const void*> items;
    bool retains;
    bool isMutable;
    MarvexCFArray(bool r, bool m)
        : Value(marvex::detail::ValueKind::Array, false), retains(r), isMutable(m) {}
};

namespace marvex::detail {
struct KeyHash {
    std::size_t operator()(CFTypeRef k) const { return std::size_t(CFHash(k)); }
};
struct KeyEqual {
    bool operator()(CFTypeRef a, CFTypeRef b) const { return CFEqual(a, b) != 0; }
};
}  // namespace marvex::detail

struct MarvexCFDictionary : marvex::detail::Value {
    std::unordered_map<CFTypeRef, CFTypeRef, marvex::detail::KeyHash, marvex::detail::KeyEqual>
        pairs;
    bool isMutable;
    explicit MarvexCFDictionary(bool m)
        : Value(marvex::detail::ValueKind::Dictionary, false), isMutable(m) {}
};

struct MarvexCFURL : marvex::detail::Value {
    std::string path;
    bool isDirectory;
    MarvexCFURL(std::string p, bool dir)
        : Value(marvex::detail::ValueKind::URL, false), path(std::move(p)), isDirectory(dir) {}
};

struct MarvexCFBundle : marvex::detail::Value {
    std::string directory;  // canonical, no trailing slash
    CFStringRef identifier = nullptr;
    CFDictionaryRef info = nullptr;
    std::mutex moduleLock;
    void* module = nullptr;
    bool componentsRegistered = false;
    explicit MarvexCFBundle(std::string dir)
        : Value(marvex::detail::ValueKind::Bundle, true), directory(std::move(dir)) {}
};

namespace marvex::detail {

template <typename T>
struct KindOf;
template <>
struct KindOf<MarvexCFString> {
    static constexpr ValueKind value = ValueKind::String;
};
template <>
struct KindOf<MarvexCFNumber> {
    static constexpr ValueKind value = ValueKind::Number;
};
template <>
struct KindOf<MarvexCFBoolean> {
    static constexpr ValueKind value = ValueKind::Boolean;
};
template <>
struct KindOf<MarvexCFData> {
    static constexpr ValueKind value = ValueKind::Data;
};
template <>
struct KindOf<MarvexCFArray> {
    static constexpr ValueKind value = ValueKind::Array;
};
template <>
struct KindOf<MarvexCFDictionary> {
    static constexpr ValueKind value = ValueKind::Dictionary;
};
template <>
struct KindOf<MarvexCFURL> {
    static constexpr ValueKind value = ValueKind::URL;
};
template <>
struct KindOf<MarvexCFBundle> {
    static constexpr ValueKind value = ValueKind::Bundle;
};

// The value as type T, or null when it is not a T: the type check of every operation.
template <typename T>
T* As(const void* ref) {
    const Value* v = AsValue(ref);
    if (v == nullptr || v->kind != KindOf<T>::value) return nullptr;
    return const_cast<T*>(static_cast<const T*>(v));
}

// Turns a freshly built value (and everything it holds) into one that lives for the process,
// for values a process-wide record keeps forever. Only for values no other thread can see yet.
void MakeImmortal(CFTypeRef value);

// Whether UTF-8 text is well formed; counts its code points.
bool ValidUTF8(const char* text, std::size_t size, CFIndex* codePoints);

}  // namespace marvex::detail
