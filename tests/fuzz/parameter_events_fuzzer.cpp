// Scheduled parameter events followed by renders: random event types, scopes, elements, ids,
// offsets (negative and past the buffer), durations and values, immediate parameter writes with
// offsets, renders of random frame counts into buffer lists of any shape, on a unit set up with
// a random channel count, sample rate and slice size. The audio must pass through unchanged
// whenever a render succeeds.

#include <cmath>
#include <vector>

#include "format/AudioUnitParameterEvent.h"
#include "tests/fuzz/FuzzHost.h"

namespace {

using namespace marvex;

float PickValue(FuzzedDataProvider& in) {
    static constexpr float kSpecial[] = {0.0f,   -0.0f,   1.0f,     -1.0f,     440.0f,
                                         1e-40f, 3.4e38f, INFINITY, -INFINITY, NAN};
    return in.ConsumeBool() ? in.PickValueInArray(kSpecial) : in.ConsumeFloatingPoint<float>();
}

AudioUnitParameterEvent PickEvent(FuzzedDataProvider& in, UInt32 frames) {
    AudioUnitParameterEvent e{};
    e.scope = in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeIntegral<UInt32>()
                                                   : in.ConsumeIntegralInRange<UInt32>(0, 4);
    e.element = in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeIntegral<UInt32>()
                                                     : in.ConsumeIntegralInRange<UInt32>(0, 2);
    e.parameter = in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeIntegral<UInt32>()
                                                       : in.ConsumeIntegralInRange<UInt32>(0, 8);
    e.eventType = in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeIntegral<UInt32>()
                                                       : in.ConsumeIntegralInRange<UInt32>(1, 2);
    if (e.eventType == kParameterEvent_Ramped) {
        e.eventValues.ramp.startBufferOffset =
            in.ConsumeBool() ? in.ConsumeIntegralInRange<SInt32>(-SInt32(frames), SInt32(frames))
                             : in.ConsumeIntegral<SInt32>();
        e.eventValues.ramp.durationInFrames = in.ConsumeBool()
                                                  ? in.ConsumeIntegralInRange<UInt32>(0, 2 * frames)
                                                  : in.ConsumeIntegral<UInt32>();
        e.eventValues.ramp.startValue = PickValue(in);
        e.eventValues.ramp.endValue = PickValue(in);
    } else {
        e.eventValues.immediate.bufferOffset = in.ConsumeBool()
                                                   ? in.ConsumeIntegralInRange<UInt32>(0, frames)
                                                   : in.ConsumeIntegral<UInt32>();
        e.eventValues.immediate.value = PickValue(in);
    }
    return e;
}

// Sets up formats, slice size and bypass from the input; returns the channel count in use.
UInt32 Configure(FuzzedDataProvider& in, AudioUnitHandle& unit, fuzz::InputSource& source,
                 UInt32& maxFrames) {
    static constexpr Float64 kRates[] = {44100.0, 48000.0, 8000.0,  96000.0, 192000.0,
                                         1.0,     22050.0, 11025.0, 384000.0};
    const UInt32 channels = in.ConsumeIntegralInRange<UInt32>(1, 4);
    const Float64 rate = in.ConsumeIntegralInRange(0, 7) == 0 ? in.ConsumeFloatingPoint<Float64>()
                                                              : in.PickValueInArray(kRates);
    const AudioStreamBasicDescription format = fuzz::FloatFormat(rate, channels);
    unit.SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, format);
    unit.SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, format);
    maxFrames = in.ConsumeIntegralInRange<UInt32>(1, 4096);
    unit.SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                     maxFrames);
    const UInt32 bypass = in.ConsumeIntegralInRange(0, 3) == 0;
    unit.SetProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, bypass);
    const UInt32 inPlace = in.ConsumeBool();
    unit.SetProperty(kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Global, 0, inPlace);
    unit.SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                     source.Callback());
    AudioStreamBasicDescription actual{};
    unit.GetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, actual);
    unit.GetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                     maxFrames);
    return actual.mChannelsPerFrame;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const fuzz::ValueLeakCheck leaks;
    {
        AudioUnitHandle unit = fuzz::OpenUnit();
        fuzz::InputSource source;
        UInt32 maxFrames = 0;
        const UInt32 channels = Configure(in, unit, source, maxFrames);
        if (unit.Initialize() != noErr) return 0;
        AudioUnitHandle::FastPaths fast;
        unit.GetFastPaths(fast);

        Float64 sampleTime = 0;
        for (int round = 0; round < 16 && in.remaining_bytes() > 0; ++round) {
            const UInt32 frames = in.ConsumeIntegralInRange(0, 15) == 0
                                      ? in.ConsumeIntegral<UInt32>()
                                      : in.ConsumeIntegralInRange<UInt32>(0, maxFrames);
            std::vector<AudioUnitParameterEvent> events(in.ConsumeIntegralInRange(0, 8));
            for (auto& e : events) e = PickEvent(in, frames > 4096 ? 4096 : frames);
            unit.ScheduleParameters(events.data(), UInt32(events.size()));
            for (int n = in.ConsumeIntegralInRange(0, 2); n > 0; --n)
                unit.SetParameter(in.ConsumeIntegralInRange<UInt32>(0, 8),
                                  in.ConsumeIntegralInRange<UInt32>(0, 3), 0, PickValue(in),
                                  in.ConsumeIntegral<UInt32>());

            // The list a host passes: usually one buffer per channel with room for the frames
            // and saying so, sometimes another count, stated size or null data.
            const UInt32 bounded = frames > 8192 ? 8192 : frames;
            const bool odd = in.ConsumeIntegralInRange(0, 7) == 0;
            const UInt32 buffers = odd ? in.ConsumeIntegralInRange<UInt32>(0, 6) : channels;
            std::vector<UInt32> sizes(buffers, bounded * 4);
            std::vector<bool> null(buffers, in.ConsumeBool());
            if (odd)
                for (auto& s : sizes) s = in.ConsumeIntegralInRange<UInt32>(0, bounded * 4 + 8);
            fuzz::HostBufferList out(buffers, sizes, null, 1, bounded * 4);

            AudioTimeStamp ts{};
            ts.mSampleTime = in.ConsumeIntegralInRange(0, 7) == 0
                                 ? in.ConsumeFloatingPoint<Float64>()
                                 : sampleTime;
            ts.mFlags = kAudioTimeStampSampleTimeValid;
            AudioUnitRenderActionFlags flags = 0;
            source.calls = 0;
            ++source.seed;
            const bool viaFast = fast.render != nullptr && in.ConsumeBool();
            const OSStatus err = viaFast
                                     ? fast.render(fast.storage, &flags, &ts, 0, frames, out.Get())
                                     : unit.Render(&flags, ts, 0, frames, out.Get());
            if (err == noErr) {
                if (frames > maxFrames) fuzz::Fail("rendered more frames than the slice allows");
                fuzz::CheckPassedThrough(source, *out.Get(), frames);
            }
            sampleTime += frames;
            for (AudioUnitParameterID id = 0; id < 9; ++id) {
                AudioUnitParameterValue v;
                unit.GetParameter(id, kAudioUnitScope_Global, 0, v);
            }
        }
        unit.Uninitialize();
    }
    leaks.Verify();
    return 0;
}
