#pragma once
// The factory through which a scope makes its elements. The unit is the creator of all five of
// its scopes.

#include "format/AudioUnitScope.h"

class AUElement;

class AUElementCreator {
public:
    // [control] A new element for `scope`, owned by the caller (the scope). May throw an
    // OSStatus.
    virtual AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement element) = 0;
    virtual ~AUElementCreator() = default;
};
