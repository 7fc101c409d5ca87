// Property listeners of AUBase.

#include "core/AUBase.h"

#include <algorithm>

namespace {

// Keeps the walk depth right even when a listener throws.
class WalkDepth {
public:
    explicit WalkDepth(int& depth) : mDepth(depth) { ++mDepth; }
    ~WalkDepth() { --mDepth; }
    WalkDepth(const WalkDepth&) = delete;
    WalkDepth& operator=(const WalkDepth&) = delete;

private:
    int& mDepth;
};

}  // namespace

OSStatus AUBase::AddPropertyListener(AudioUnitPropertyID inID, AudioUnitPropertyListenerProc inProc,
                                     void* inProcRefCon) {
    if (mPropertyListeners.empty()) mPropertyListeners.reserve(32);
    mPropertyListeners.push_back(PropertyListener{inID, inProc, inProcRefCon});
    return noErr;
}

OSStatus AUBase::RemovePropertyListener(AudioUnitPropertyID inID,
                                        AudioUnitPropertyListenerProc inProc, void* inProcRefCon,
                                        bool refConSpecified) {
    // Backwards, so that erasing keeps the positions still to visit valid.
    for (auto i = mPropertyListeners.size(); i-- > 0;) {
        PropertyListener& entry = mPropertyListeners[i];
        if (entry.propertyID != inID || entry.listenerProc != inProc) continue;
        if (refConSpecified && entry.listenerRefCon != inProcRefCon) continue;
        if (mListenerWalkDepth > 0) {
            // A walk is in progress above us: mark the entry (it is never called again) and
            // leave the positions alone; the outermost walk sweeps it.
            entry.listenerProc = nullptr;
            mListenersRemovedDuringWalk = true;
        } else {
            mPropertyListeners.erase(mPropertyListeners.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    return noErr;
}

void AUBase::PropertyChanged(AudioUnitPropertyID inID, AudioUnitScope inScope,
                             AudioUnitElement inElement) {
    {
        WalkDepth depth(mListenerWalkDepth);
        // Listeners added during the walk sit past `count` and hear from the next change on.
        // Entries are read by index and copied before the call, since an addition may move the
        // array.
        const auto count = mPropertyListeners.size();
        for (std::size_t i = 0; i < count && i < mPropertyListeners.size(); ++i) {
            const PropertyListener entry = mPropertyListeners[i];
            if (entry.propertyID != inID || entry.listenerProc == nullptr) continue;
            entry.listenerProc(entry.listenerRefCon, GetComponentInstance(), inID, inScope,
                               inElement);
        }
    }
    if (mListenerWalkDepth == 0 && mListenersRemovedDuringWalk) SweepRemovedListeners();
}

void AUBase::SweepRemovedListeners() {
    mListenersRemovedDuringWalk = false;
    mPropertyListeners.erase(
        std::remove_if(mPropertyListeners.begin(), mPropertyListeners.end(),
                       [](const PropertyListener& l) { return l.listenerProc == nullptr; }),
        mPropertyListeners.end());
}
