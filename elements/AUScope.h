#pragma once
// The elements of one scope, numbered densely from 0, made through the scope's creator and
// owned by the scope. The count changes on the control thread only; the render thread reads
// elements by number.
//
// Threads: [control], unless a declaration says otherwise.

#include <memory>
#include <vector>

#include "elements/AUElement.h"
#include "elements/AUElementCreator.h"
#include "format/CFDictionary.h"

class AUIOElement;

class AUScope {
public:
    // Element numbers a saved name dictionary may bring into being; keys at or above it are
    // skipped, so hostile state cannot make a scope huge or wrap its count.
    static constexpr UInt32 kMaxRestoredElements = 4096;

    AUScope() = default;
    ~AUScope();
    AUScope(const AUScope&) = delete;
    AUScope& operator=(const AUScope&) = delete;

    // [control] Stores creator and scope number, then SetNumberOfElements(numElements).
    void Initialize(AUElementCreator* creator, AudioUnitScope scope, UInt32 numElements);

    // [control, not rendering] Grows by asking the creator for elements count, count+1, ...;
    // shrinks by deleting from the end. Elements below the new count are never recreated. An
    // exception from the creator propagates and the elements made before it stay.
    void SetNumberOfElements(UInt32 numElements);
    // [any thread]
    UInt32 GetNumberOfElements() const { return static_cast<UInt32>(mElements.size()); }

    // [any thread]
    AUElement* GetElement(AudioUnitElement element) const {
        return element < mElements.size() ? mElements[element].get() : nullptr;
    }
    // [any thread] Throws kAudioUnitErr_InvalidElement for a missing element.
    AUElement* SafeGetElement(AudioUnitElement element) const;
    // [any thread] Throws kAudioUnitErr_InvalidElement for a missing element and for one that is
    // not a bus.
    AUIOElement* GetIOElement(AudioUnitElement element) const;

    AUElementCreator* GetCreator() const { return mCreator; }
    AudioUnitScope GetScope() const { return mScope; }

    bool HasElementWithName() const;
    // [control] Adds "<scope>" -> {"<element>": name, ...} to the unit's name dictionary when
    // at least one element has a name.
    void AddElementNamesToDict(CFMutableDictionaryRef& inNameDict) const;
    // [control, not rendering] Names elements from a scope dictionary {"<element>": name};
    // grows the scope when a key lies beyond its last element and returns whether it did. Keys
    // that are not plain decimal numbers below kMaxRestoredElements, and values that are not
    // strings, are skipped; the global scope never grows beyond element 0. The count never
    // shrinks.
    bool RestoreElementNames(CFDictionaryRef& inNameDict);

private:
    AUElementCreator* mCreator = nullptr;
    AudioUnitScope mScope = 0;
    std::vector<std::unique_ptr<AUElement>> mElements;
};
