#include "format/AudioUnitHandle.h"

#include <type_traits>

namespace marvex {

AudioUnitHandle& AudioUnitHandle::operator=(AudioUnitHandle&& other) noexcept {
    if (this != &other) {
        Close();
        mUnit = other.Release();
    }
    return *this;
}

OSStatus AudioUnitHandle::Open(Component component, AudioUnitHandle& out) {
    out.Close();
    AudioUnit unit = nullptr;
    const OSStatus err = OpenAComponent(component, &unit);
    if (err == noErr) out.mUnit = unit;
    return err;
}

OSStatus AudioUnitHandle::Close() {
    if (mUnit == nullptr) return noErr;
    return CloseComponent(Release());
}

OSStatus AudioUnitHandle::GetFastPaths(FastPaths& out) {
    out = FastPaths{};
    if (mUnit == nullptr) return badComponentInstance;
    auto fetch = [this](SInt16 selector, auto& slot) {
        UInt32 size = sizeof(slot);
        std::remove_reference_t<decltype(slot)> proc = nullptr;
        if (GetProperty(kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global,
                        AudioUnitElement(selector), &proc, &size) == noErr &&
            size == sizeof(proc))
            slot = proc;
    };
    fetch(kAudioUnitGetParameterSelect, out.getParameter);
    fetch(kAudioUnitSetParameterSelect, out.setParameter);
    fetch(kAudioUnitRenderSelect, out.render);
    out.storage = Storage();
    return noErr;
}

}  // namespace marvex
