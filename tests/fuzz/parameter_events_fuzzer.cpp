// Scheduled parameter events followed by renders: random event types, scopes, elements, ids,
// offsets (negative and past the buffer), durations and values, immediate parameter writes with
// offsets, renders of random frame counts into buffer lists of any shape, on a unit set up with a
// random channel count, sample rate and slice size. The audio must pass through unchanged whenever
// a render succeeds.

#include <cmath>
#include <vector>

#include "format/AudioUnitParameterEvent.h"
#include "format/CAStreamBasicDescription.h"
#include "tests/fuzz/FuzzHarness.h"

namespace {

using namespace marvex;

float PickValue(FuzzedDataProvider& in) {
    static constexpr float kSpecial[] = {0.0f,   -0.0f,   1.0f,     -1.0f,     440.0f,
                                         1e-40f, 3.4e38f, INFINITY, -INFINITY, NAN};
    return in.ConsumeBool() ? in.PickValueInArray(kSpecial) : in.ConsumeFloatingPoint<float>();
}

AudioUnitParameterEvent PickEvent(FuzzedDataProvider& in, UInt32 frames) {
    AudioUnitParameterEvent e{};
    e.scope = fuzz::Near<UInt32>(in, 0, 4);
    e.element = fuzz::Near<UInt32>(in, 0, 2);
    e.parameter = fuzz::Near<UInt32>(in, 0, 8);
    e.eventType = fuzz::Near<UInt32>(in, 1, 2);
    if (e.eventType == kParameterEvent_Ramped) {
        e.eventValues.ramp.startBufferOffset =
            fuzz::Near<SInt32>(in, -SInt32(frames), SInt32(frames));
        e.eventValues.ramp.durationInFrames = fuzz::Near<UInt32>(in, 0, 2 * frames);
        e.eventValues.ramp.startValue = PickValue(in);
        e.eventValues.ramp.endValue = PickValue(in);
    } else {
        e.eventValues.immediate.bufferOffset = fuzz::Near<UInt32>(in, 0, frames);
        e.eventValues.immediate.value = PickValue(in);
    }
    return e;
}

// Sets up formats, slice size, bypass and in-place processing from the input; returns the channel
// count and slice size in use.
std::pair<UInt32, UInt32> Configure(FuzzedDataProvider& in, AudioUnitHandle& unit,
                                    fuzz::InputSource& source) {
    static constexpr Float64 kRates[] = {44100.0, 48000.0, 8000.0,  96000.0, 192000.0,
                                         1.0,     22050.0, 11025.0, 384000.0};
    CAStreamBasicDescription format;
    format.mSampleRate = in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeFloatingPoint<Float64>()
                                                              : in.PickValueInArray(kRates);
    format.SetCanonical(in.ConsumeIntegralInRange<UInt32>(1, 4), false);
    unit.SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, format);
    unit.SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, format);
    UInt32 maxFrames = in.ConsumeIntegralInRange<UInt32>(1, 4096);
    unit.SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                     maxFrames);
    const UInt32 bypass = in.ConsumeIntegralInRange(0, 3) == 0, inPlace = in.ConsumeBool();
    unit.SetProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, bypass);
    unit.SetProperty(kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Global, 0, inPlace);
    unit.SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                     source.Callback());
    unit.GetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, format);
    unit.GetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                     maxFrames);
    return {format.mChannelsPerFrame, maxFrames};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::RunInput(data, size, [](FuzzedDataProvider& in) {
        AudioUnitHandle unit = fuzz::OpenUnit();
        fuzz::InputSource source;
        const auto [channels, maxFrames] = Configure(in, unit, source);
        if (unit.Initialize() != noErr) return;
        Float64 sampleTime = 0;
        for (int round = 0; round < 16 && in.remaining_bytes() > 0; ++round) {
            const UInt32 frames = in.ConsumeIntegralInRange(0, 15) == 0
                                      ? in.ConsumeIntegral<UInt32>()
                                      : in.ConsumeIntegralInRange<UInt32>(0, maxFrames);
            std::vector<AudioUnitParameterEvent> events(in.ConsumeIntegralInRange(0, 8));
            for (auto& e : events) e = PickEvent(in, std::min<UInt32>(frames, 4096));
            unit.ScheduleParameters(events.data(), UInt32(events.size()));
            for (int n = in.ConsumeIntegralInRange(0, 2); n > 0; --n)
                unit.SetParameter(in.ConsumeIntegralInRange<UInt32>(0, 8),
                                  in.ConsumeIntegralInRange<UInt32>(0, 3), 0, PickValue(in),
                                  in.ConsumeIntegral<UInt32>());

            // The list a host passes: usually one buffer per channel with room for the frames and
            // saying so, sometimes another count, stated size or null data.
            const UInt32 room = std::min<UInt32>(frames, 8192) * 4;
            const bool odd = in.ConsumeIntegralInRange(0, 7) == 0;
            const UInt32 buffers = odd ? in.ConsumeIntegralInRange<UInt32>(0, 6) : channels;
            std::vector<UInt32> sizes(buffers, room);
            const bool null = in.ConsumeBool();
            if (odd)
                for (auto& s : sizes) s = in.ConsumeIntegralInRange<UInt32>(0, room + 8);
            fuzz::HostBufferList out(buffers, sizes, null, room);
            const Float64 time = in.ConsumeIntegralInRange(0, 7) == 0
                                     ? in.ConsumeFloatingPoint<Float64>()
                                     : sampleTime;
            if (fuzz::RenderChecked(unit, source, time, frames, *out.Get(), in.ConsumeBool()) ==
                    noErr &&
                frames > maxFrames)
                fuzz::Fail("rendered more frames than the slice allows");
            sampleTime += frames;
            for (AudioUnitParameterID id = 0; id < 9; ++id) {
                AudioUnitParameterValue v;
                unit.GetParameter(id, kAudioUnitScope_Global, 0, v);
            }
        }
        unit.Uninitialize();
    });
}
