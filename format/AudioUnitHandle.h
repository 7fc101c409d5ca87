#pragma once
// A move-only owner of an open unit instance for hosts: closes the instance on destruction
// and forwards the selector calls. The fast paths, once fetched, are called directly. Each
// forwarding call has the thread of the call it forwards to (AudioUnitCalls.h).

#include "format/AudioUnitCalls.h"
#include "format/AudioUnitFastDispatch.h"
#include "format/ComponentServices.h"

namespace marvex {

class AudioUnitHandle {
public:
    // The direct entries a unit hands out through kAudioUnitProperty_FastDispatch; a member is
    // null when the unit refused it. Call them with `storage`, from the threads their types are
    // tagged for (AudioUnitFastDispatch.h).
    struct FastPaths {
        AudioUnitGetParameterProc getParameter = nullptr;
        AudioUnitSetParameterProc setParameter = nullptr;
        AudioUnitRenderProc render = nullptr;
        void* storage = nullptr;
    };

    AudioUnitHandle() = default;
    // Takes ownership of an open instance.
    explicit AudioUnitHandle(AudioUnit adopted) : mUnit(adopted) {}
    ~AudioUnitHandle() { Close(); }
    AudioUnitHandle(AudioUnitHandle&& other) noexcept : mUnit(other.Release()) {}
    AudioUnitHandle& operator=(AudioUnitHandle&& other) noexcept;
    AudioUnitHandle(const AudioUnitHandle&) = delete;
    AudioUnitHandle& operator=(const AudioUnitHandle&) = delete;

    // [control, locks] Opens an instance of `component`; the handle is empty on failure.
    static OSStatus Open(Component component, AudioUnitHandle& out);
    // [control, locks] Closes the instance now (no-op when empty); the close selector's result.
    OSStatus Close();
    // [control] Gives up ownership without closing.
    AudioUnit Release() noexcept {
        AudioUnit u = mUnit;
        mUnit = nullptr;
        return u;
    }

    // [any thread]
    AudioUnit Get() const noexcept { return mUnit; }
    explicit operator bool() const noexcept { return mUnit != nullptr; }
    void* Storage() const { return GetComponentInstanceStorage(mUnit); }

    OSStatus Initialize() { return AudioUnitInitialize(mUnit); }
    OSStatus Uninitialize() { return AudioUnitUninitialize(mUnit); }
    OSStatus GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement el,
                             UInt32* outSize, Boolean* outWritable) {
        return AudioUnitGetPropertyInfo(mUnit, id, scope, el, outSize, outWritable);
    }
    OSStatus GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement el,
                         void* outData, UInt32* ioSize) {
        return AudioUnitGetProperty(mUnit, id, scope, el, outData, ioSize);
    }
    // Reads a fixed-size value; kAudioUnitErr_InvalidPropertyValue when the unit returned a
    // different size.
    template <typename T>
    OSStatus GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement el,
                         T& out) {
        UInt32 size = sizeof(T);
        OSStatus err = GetProperty(id, scope, el, &out, &size);
        if (err == noErr && size != sizeof(T)) err = kAudioUnitErr_InvalidPropertyValue;
        return err;
    }
    OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement el,
                         const void* data, UInt32 size) {
        return AudioUnitSetProperty(mUnit, id, scope, el, data, size);
    }
    template <typename T>
    OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement el,
                         const T& value) {
        return SetProperty(id, scope, el, &value, sizeof(T));
    }
    OSStatus GetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement el,
                          AudioUnitParameterValue& out) {
        return AudioUnitGetParameter(mUnit, id, scope, el, &out);
    }
    OSStatus SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement el,
                          AudioUnitParameterValue value, UInt32 offset = 0) {
        return AudioUnitSetParameter(mUnit, id, scope, el, value, offset);
    }
    OSStatus ScheduleParameters(const AudioUnitParameterEvent* events, UInt32 count) {
        return AudioUnitScheduleParameters(mUnit, events, count);
    }
    OSStatus Reset(AudioUnitScope scope = kAudioUnitScope_Global, AudioUnitElement el = 0) {
        return AudioUnitReset(mUnit, scope, el);
    }
    OSStatus AddPropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                 void* refCon) {
        return AudioUnitAddPropertyListener(mUnit, id, proc, refCon);
    }
    OSStatus RemovePropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                    void* refCon) {
        return AudioUnitRemovePropertyListenerWithUserData(mUnit, id, proc, refCon);
    }
    OSStatus AddRenderNotify(AURenderCallback proc, void* refCon) {
        return AudioUnitAddRenderNotify(mUnit, proc, refCon);
    }
    OSStatus RemoveRenderNotify(AURenderCallback proc, void* refCon) {
        return AudioUnitRemoveRenderNotify(mUnit, proc, refCon);
    }
    // [render]
    OSStatus Render(AudioUnitRenderActionFlags* flags, const AudioTimeStamp& timeStamp, UInt32 bus,
                    UInt32 frames, AudioBufferList* ioData) {
        return AudioUnitRender(mUnit, flags, &timeStamp, bus, frames, ioData);
    }
    ComponentResult CanDo(SInt16 selector) { return CallComponentCanDo(mUnit, selector); }
    ComponentResult Version() { return CallComponentVersion(mUnit); }

    // [control] Fetches the three fast paths (a refused one stays null); returns noErr when at
    // least the storage word could be read.
    OSStatus GetFastPaths(FastPaths& out);

private:
    AudioUnit mUnit = nullptr;
};

}  // namespace marvex
