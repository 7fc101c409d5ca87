#pragma once

#include <span>
#include <string>
#include <vector>

#include "format/AURenderCallbackStruct.h"
#include "format/AudioUnitHandle.h"
#include "format/AudioUnitParameterInfo.h"
#include "format/CFBase.h"
#include "host/HostError.h"

namespace marvex {

// [control] The plug-in bundle of the build tree or installation this program belongs to:
// <directory of the executable>/../Marvex.bundle, or, installed, <prefix>/lib/marvex/Marvex.bundle.
std::string defaultBundleDirectory();

// [control, locks] Loads a plug-in bundle, registers its components and returns the first component
// its info file lists. Throws HostError(Plugin) saying what is missing.
Component loadPluginComponent(const std::string& bundleDirectory);

// One parameter as the unit describes it.
struct ParameterDescription {
    AudioUnitParameterID id = 0;
    std::string name;
    AudioUnitParameterUnit unit = 0;
    float minValue = 0.0f;
    float maxValue = 0.0f;
    float defaultValue = 0.0f;
    UInt32 flags = 0;
};

// An open instance of a unit, driven only through the entry routine and the fast paths it hands
// out, as any host would. Failures of control calls throw HostError with the status in words;
// the render and parameter-read calls return statuses and are fit for a render thread.
class HostedUnit {
public:
    // [control, locks]
    static HostedUnit open(Component component);
    static HostedUnit openFromBundle(const std::string& bundleDirectory);

    HostedUnit(HostedUnit&&) = default;
    HostedUnit& operator=(HostedUnit&&) = default;

    // [control]
    AudioUnitHandle& handle() { return mHandle; }
    // [any thread]
    AudioUnit get() const { return mHandle.Get(); }

    // [control, uninitialised] Canonical non-interleaved 32-bit float on input and output bus 0.
    // A refusal throws HostError(Refused).
    void setStreamFormat(double sampleRateHz, UInt32 channels);
    // [control, uninitialised]
    void setMaximumFramesPerSlice(UInt32 frames);
    // [control] The callback the unit pulls its input from (null disconnects).
    void setInputCallback(AURenderCallback proc, void* refCon);
    // [control] Initialise (kernels built, settings such as Pitch taken) and uninitialise.
    void initialize();
    void uninitialize();

    // [control] Global parameters through the fast paths; a refusal throws HostError with the
    // status in words. A render thread reads with readParameters instead.
    float parameter(AudioUnitParameterID id) const;
    void setParameter(AudioUnitParameterID id, float value);
    // [any thread] Reads global parameters 0..out.size()-1; no allocation, no lock.
    OSStatus readParameters(std::span<float> out) const noexcept;
    // [any thread] Sets a global parameter; no allocation, no lock.
    OSStatus writeParameter(AudioUnitParameterID id, float value) noexcept {
        return mFast.setParameter(mFast.storage, id, kAudioUnitScope_Global, 0, value, 0);
    }

    // [render] Renders output bus 0 through the fast path.
    OSStatus render(AudioUnitRenderActionFlags& flags, const AudioTimeStamp& timeStamp,
                    UInt32 frames, AudioBufferList& ioData) noexcept {
        return mFast.render(mFast.storage, &flags, &timeStamp, 0, frames, &ioData);
    }

    // [control] The class-info dictionary (a new reference the caller releases) and its
    // restoration; a refused dictionary throws HostError(Refused).
    CFPropertyListRef copyClassInfo();
    void restoreClassInfo(CFPropertyListRef state);

    // [control] The parameters of a scope, as the parameter list and info properties give them.
    std::vector<ParameterDescription> parameterTable(AudioUnitScope scope = kAudioUnitScope_Global);

private:
    explicit HostedUnit(AudioUnitHandle handle);

    AudioUnitHandle mHandle;
    AudioUnitHandle::FastPaths mFast;
};

// [control] Throws HostError(kind) with "what: <status in words>".
[[noreturn]] void throwStatus(HostErrorKind kind, const std::string& what, OSStatus status);

}  // namespace marvex
