#pragma once
// What the tuner's tests share: the plug-in bundle of the build tree registered once, units
// opened through MarvexEntry like any host does, formats, an input callback playing generated
// signals (the analysis tests' sine()) and block renders into host buffers. No test framework
// in here.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "format/AURenderCallbackStruct.h"
#include "format/AudioUnitHandle.h"
#include "format/CAStreamBasicDescription.h"
#include "format/CFBundle.h"
#include "format/ComponentServices.h"
#include "format/PlugInBundle.h"
#include "tests/analysis/AnalysisFixtures.h"
#include "tests/support/HostBufferList.h"
#include "unit/MarvexIdentity.h"
#include "unit/MarvexParameters.h"

#ifndef MARVEX_TEST_BUNDLE_DIR
#error "MARVEX_TEST_BUNDLE_DIR must name the plug-in bundle to load"
#endif

namespace marvex::test {

// A new tuner instance from the build tree's bundle (registered on first use), empty when it
// could not be opened.
inline AudioUnitHandle OpenTuner() {
    static const Component component = []() -> Component {
        if (RegisterComponentsInBundle(MARVEX_TEST_BUNDLE_DIR, nullptr) != noErr) return nullptr;
        const ComponentDescription tuner{kMarvexComponentType, kMarvexComponentSubType,
                                         kMarvexComponentManufacturer, 0, 0};
        return FindNextComponent(nullptr, &tuner);
    }();
    AudioUnitHandle unit;
    if (component != nullptr) AudioUnitHandle::Open(component, unit);
    return unit;
}

// Sets the same canonical format on input 0 and output 0.
inline OSStatus SetFormats(AudioUnitHandle& unit, UInt32 channels, Float64 sampleRate) {
    CAStreamBasicDescription format;
    format.SetCanonical(channels, false);
    format.mSampleRate = sampleRate;
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output})
        if (OSStatus status = unit.SetProperty(kAudioUnitProperty_StreamFormat, scope, 0, format))
            return status;
    return noErr;
}

inline float Parameter(AudioUnitHandle& unit, AudioUnitParameterID id) {
    AudioUnitParameterValue value = NAN;
    unit.GetParameter(id, kAudioUnitScope_Global, 0, value);
    return value;
}

// The input callback's signal: one vector per channel, read at the render's sample time.
struct SignalSource {
    std::vector<std::vector<float>> channels;

    // [render] Fills the input's buffers, one per channel.
    static OSStatus Render(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp* time,
                           UInt32, UInt32 frames, AudioBufferList* io) {
        auto& source = *static_cast<SignalSource*>(refCon);
        const auto start = static_cast<std::size_t>(time->mSampleTime);
        for (UInt32 b = 0; b < io->mNumberBuffers; ++b) {
            const auto& channel = source.channels[b % source.channels.size()];
            auto* out = static_cast<float*>(io->mBuffers[b].mData);
            for (UInt32 i = 0; i < frames; ++i)
                out[i] = start + i < channel.size() ? channel[start + i] : 0.0f;
        }
        return noErr;
    }

    OSStatus AttachTo(AudioUnitHandle& unit) {
        const AURenderCallbackStruct callback{&SignalSource::Render, this};
        return unit.SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                                callback);
    }
};

// Renders `frames` frames starting at sample time `start` into `out` (one vector per channel,
// resized to hold them), through the caller's buffers.
inline OSStatus RenderInto(AudioUnitHandle& unit, std::vector<std::vector<float>>& out,
                           std::size_t start, UInt32 frames) {
    HostBufferList list(static_cast<UInt32>(out.size()), 0, false);
    for (UInt32 c = 0; c < out.size(); ++c) {
        if (out[c].size() < start + frames) out[c].resize(start + frames);
        list[c] = AudioBuffer{1, frames * UInt32(sizeof(float)), out[c].data() + start};
    }
    AudioUnitRenderActionFlags flags = 0;
    return unit.Render(&flags, TimeStamp(static_cast<Float64>(start)), 0, frames, &list.get());
}

// Renders consecutive blocks covering `total` frames; stops at the first error.
inline OSStatus RenderBlocks(AudioUnitHandle& unit, std::vector<std::vector<float>>& out,
                             std::size_t total, UInt32 block) {
    for (std::size_t at = 0; at < total; at += block) {
        const auto frames = static_cast<UInt32>(std::min<std::size_t>(block, total - at));
        if (const OSStatus status = RenderInto(unit, out, at, frames)) return status;
    }
    return noErr;
}

}  // namespace marvex::test
