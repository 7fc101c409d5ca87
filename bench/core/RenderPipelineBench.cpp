// Cost of the unit core around a unit's own processing: DoRender around an empty Render, and
// cutting a 512-frame render into slices at scheduled parameter events.

#include <benchmark/benchmark.h>

#include <vector>

#include "core/AUBase.h"

namespace {

constexpr UInt32 kFrames = 512;

// Renders nothing; every slice costs only the call.
class EmptyUnit : public AUBase {
public:
    EmptyUnit() : AUBase(nullptr, 1, 1) {
        PostConstructor();
        Globals()->UseIndexedParameters(8);
        DoInitialize();
    }
    bool StreamFormatWritable(AudioUnitScope, AudioUnitElement) override { return true; }
};

OSStatus Notification(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                      AudioBufferList*) {
    return noErr;
}

// A stereo non-interleaved list of caller buffers.
struct Buffers {
    Buffers() : block(8), samples(2 * kFrames) {
        list.mNumberBuffers = 2;
        for (UInt32 b = 0; b < 2; ++b) {
            list.mBuffers[b].mNumberChannels = 1;
            list.mBuffers[b].mDataByteSize = kFrames * 4;
            list.mBuffers[b].mData = &samples[b * kFrames];
        }
    }
    std::vector<UInt64> block;  // room for the list record and two buffers
    AudioBufferList& list = *reinterpret_cast<AudioBufferList*>(block.data());
    std::vector<float> samples;
};

void RenderLoop(benchmark::State& state, EmptyUnit& unit) {
    Buffers out;
    AudioTimeStamp ts{};
    for (auto _ : state) {
        AudioUnitRenderActionFlags flags = 0;
        ts.mSampleTime += kFrames;
        benchmark::DoNotOptimize(unit.DoRender(flags, ts, 0, kFrames, out.list));
    }
}

void BM_DoRenderAroundEmptyRender(benchmark::State& state) {
    EmptyUnit unit;
    RenderLoop(state, unit);
}
BENCHMARK(BM_DoRenderAroundEmptyRender);

void BM_DoRenderWithTwoNotifications(benchmark::State& state) {
    EmptyUnit unit;
    int a = 0, b = 0;
    unit.SetRenderNotification(Notification, &a);
    unit.SetRenderNotification(Notification, &b);
    RenderLoop(state, unit);
}
BENCHMARK(BM_DoRenderWithTwoNotifications);

// Eight events spread over the buffer: four immediates and four ramps on the global element.
AUBase::ParameterEventList EightEvents() {
    AUBase::ParameterEventList events;
    for (UInt32 k = 0; k < 8; ++k) {
        AudioUnitParameterEvent e{};
        e.scope = kAudioUnitScope_Global;
        e.parameter = k;
        if (k % 2 == 0) {
            e.eventType = kParameterEvent_Immediate;
            e.eventValues.immediate.bufferOffset = 60 * k + 7;
            e.eventValues.immediate.value = float(k);
        } else {
            e.eventType = kParameterEvent_Ramped;
            e.eventValues.ramp.startBufferOffset = SInt32(60 * k);
            e.eventValues.ramp.durationInFrames = 90;
            e.eventValues.ramp.startValue = 0.0f;
            e.eventValues.ramp.endValue = 1.0f;
        }
        events.push_back(e);
    }
    return events;
}

void BM_SliceAtEightEvents(benchmark::State& state) {
    EmptyUnit unit;
    const AUBase::ParameterEventList scheduled = EightEvents();
    AUBase::ParameterEventList events = scheduled;
    for (auto _ : state) {
        // Scheduled in reverse offset order so every pass really sorts.
        for (std::size_t i = 0; i < events.size(); ++i)
            events[i] = scheduled[scheduled.size() - 1 - i];
        benchmark::DoNotOptimize(unit.ProcessForScheduledParams(events, kFrames, nullptr));
    }
}
BENCHMARK(BM_SliceAtEightEvents);

}  // namespace

BENCHMARK_MAIN();
