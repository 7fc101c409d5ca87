// Property listeners of AUBase. The registry is walked without a lock, so a render error can
// be announced from the render thread while control threads add and remove listeners.

#include "core/AUBase.h"

OSStatus AUBase::AddPropertyListener(AudioUnitPropertyID inID, AudioUnitPropertyListenerProc inProc,
                                     void* inProcRefCon) {
    mPropertyListeners.Add(inID, inProc, inProcRefCon);
    return noErr;
}

OSStatus AUBase::RemovePropertyListener(AudioUnitPropertyID inID,
                                        AudioUnitPropertyListenerProc inProc, void* inProcRefCon,
                                        bool refConSpecified) {
    mPropertyListeners.Remove(inID, inProc, inProcRefCon, refConSpecified);
    return noErr;
}

void AUBase::PropertyChanged(AudioUnitPropertyID inID, AudioUnitScope inScope,
                             AudioUnitElement inElement) {
    mPropertyListeners.Notify(GetComponentInstance(), inID, inScope, inElement);
}
