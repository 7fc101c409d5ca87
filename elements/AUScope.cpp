#include "elements/AUScope.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "elements/AUIOElement.h"
#include "format/CFString.h"

namespace {

// Element and scope numbers as dictionary keys: decimal ASCII text.
CFStringRef CreateNumberKey(UInt32 number) {
    char text[32];
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(number));
    CFStringRef key = CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingASCII);
    if (key == nullptr) throw std::bad_alloc();
    return key;
}

// Reads a key that must be one to five decimal digits (leading zeros allowed) naming a number
// below `limit`. Anything else (not a string, not ASCII, signs, spaces, other characters,
// too large) is refused.
bool ParseElementKey(const void* key, UInt32 limit, UInt32& outNumber) {
    if (key == nullptr || CFGetTypeID(key) != CFStringGetTypeID()) return false;
    char text[32];
    if (!CFStringGetCString(static_cast<CFStringRef>(key), text, sizeof text,
                            kCFStringEncodingASCII)) {
        return false;
    }
    if (text[0] == '\0') return false;
    UInt32 number = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        number = number * 10 + static_cast<UInt32>(*p - '0');
        if (number >= limit) return false;  // also keeps the product from overflowing
    }
    outNumber = number;
    return true;
}

}  // namespace

AUScope::~AUScope() {
    // First to last, as the elements were made.
    for (auto& element : mElements) element.reset();
}

void AUScope::Initialize(AUElementCreator* creator, AudioUnitScope scope, UInt32 numElements) {
    mCreator = creator;
    mScope = scope;
    SetNumberOfElements(numElements);
}

void AUScope::SetNumberOfElements(UInt32 numElements) {
    if (numElements > mElements.size()) {
        if (mCreator == nullptr) throw OSStatus(kAudioUnitErr_InvalidScope);
        mElements.reserve(numElements);
        while (mElements.size() < numElements) {
            const auto number = static_cast<AudioUnitElement>(mElements.size());
            std::unique_ptr<AUElement> element(mCreator->CreateElement(mScope, number));
            if (!element) throw OSStatus(kAudioUnitErr_InvalidElement);
            mElements.push_back(std::move(element));
        }
    } else {
        while (mElements.size() > numElements) mElements.pop_back();
    }
}

AUElement* AUScope::SafeGetElement(AudioUnitElement element) const {
    AUElement* found = GetElement(element);
    if (found == nullptr) throw OSStatus(kAudioUnitErr_InvalidElement);
    return found;
}

AUIOElement* AUScope::GetIOElement(AudioUnitElement element) const {
    auto* io = dynamic_cast<AUIOElement*>(GetElement(element));
    if (io == nullptr) throw OSStatus(kAudioUnitErr_InvalidElement);
    return io;
}

bool AUScope::HasElementWithName() const {
    for (const auto& element : mElements) {
        if (element && element->HasName()) return true;
    }
    return false;
}

void AUScope::AddElementNamesToDict(CFMutableDictionaryRef& inNameDict) const {
    if (!HasElementWithName()) return;
    CFMutableDictionaryRef names = CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    if (names == nullptr) throw std::bad_alloc();
    for (UInt32 i = 0; i < GetNumberOfElements(); ++i) {
        const AUElement* element = GetElement(i);
        if (element == nullptr || !element->HasName()) continue;
        CFStringRef key = CreateNumberKey(i);
        CFDictionarySetValue(names, key, element->GetName());
        CFRelease(key);
    }
    CFStringRef scopeKey = CreateNumberKey(mScope);
    CFDictionarySetValue(inNameDict, scopeKey, names);
    CFRelease(scopeKey);
    CFRelease(names);
}

bool AUScope::RestoreElementNames(CFDictionaryRef& inNameDict) {
    if (inNameDict == nullptr || CFGetTypeID(inNameDict) != CFDictionaryGetTypeID()) return false;
    const CFIndex count = CFDictionaryGetCount(inNameDict);
    if (count <= 0) return false;
    std::vector<const void*> keys(static_cast<std::size_t>(count));
    std::vector<const void*> values(static_cast<std::size_t>(count));
    CFDictionaryGetKeysAndValues(inNameDict, keys.data(), values.data());

    // The global scope holds element 0 and nothing else.
    const UInt32 limit = mScope == kAudioUnitScope_Global ? 1 : kMaxRestoredElements;
    auto usable = [&](std::size_t i, UInt32& outNumber) {
        return ParseElementKey(keys[i], limit, outNumber) && values[i] != nullptr &&
               CFGetTypeID(values[i]) == CFStringGetTypeID();
    };

    bool anyUsable = false;
    UInt32 largest = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        UInt32 number;
        if (!usable(i, number)) continue;
        anyUsable = true;
        largest = std::max(largest, number);
    }
    if (!anyUsable) return false;

    bool added = false;
    if (GetNumberOfElements() <= largest) {
        SetNumberOfElements(largest + 1);  // largest < kMaxRestoredElements: cannot wrap
        added = true;
    }
    for (std::size_t i = 0; i < keys.size(); ++i) {
        UInt32 number;
        if (!usable(i, number)) continue;
        if (AUElement* element = GetElement(number)) {
            element->SetName(static_cast<CFStringRef>(values[i]));
        }
    }
    return added;
}
