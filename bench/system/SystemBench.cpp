// The whole plug-in as a host drives it: the unit opened from its bundle through MarvexEntry,
// rendered through the fast render path, its input pulled from a callback or from a second unit
// connected to it, whole renders and renders cut into slices by scheduled parameter events.
// The x_realtime counter is the multiple of real time at 44.1 kHz.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include "format/AudioBufferList.h"
#include "format/AudioUnitConnection.h"
#include "format/AudioUnitParameterEvent.h"
#include "format/AudioUnitProperties.h"
#include "host/HostedUnit.h"

using namespace marvex;

namespace {

constexpr double kRateHz = 44100.0;
constexpr UInt32 kMaxFrames = 1156;

// One second of a 440 Hz sine, looped by the input callback.
struct Source {
    Source() : samples(static_cast<std::size_t>(kRateHz)) {
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] =
                0.5f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 440.0 * i / kRateHz));
    }
    std::vector<float> samples;
    std::size_t at = 0;

    // Every channel gets the same samples.
    static OSStatus pull(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                         UInt32 frames, AudioBufferList* ioData) {
        auto* self = static_cast<Source*>(refCon);
        if (self->at + frames > self->samples.size()) self->at = 0;
        for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b) {
            AudioBuffer& buffer = ioData->mBuffers[b];
            if (buffer.mData == nullptr)
                buffer.mData = self->samples.data() + self->at;
            else
                std::memcpy(buffer.mData, self->samples.data() + self->at, frames * sizeof(float));
            buffer.mDataByteSize = frames * static_cast<UInt32>(sizeof(float));
        }
        self->at += frames;
        return noErr;
    }
};

// A non-interleaved output list with the caller's buffers.
struct Output {
    explicit Output(UInt32 channels) : block(8 + channels * 2), samples(channels * kMaxFrames) {
        list().mNumberBuffers = channels;
    }
    AudioBufferList& list() { return *reinterpret_cast<AudioBufferList*>(block.data()); }
    AudioBufferList& prepare(UInt32 frames) {
        for (UInt32 c = 0; c < list().mNumberBuffers; ++c) {
            list().mBuffers[c].mNumberChannels = 1;
            list().mBuffers[c].mDataByteSize = frames * static_cast<UInt32>(sizeof(float));
            list().mBuffers[c].mData = &samples[c * kMaxFrames];
        }
        return list();
    }
    std::vector<UInt64> block;
    std::vector<float> samples;
};

HostedUnit openTuner(UInt32 channels) {
    HostedUnit unit = HostedUnit::openFromBundle(MARVEX_BUILD_BUNDLE);
    unit.setStreamFormat(kRateHz, channels);
    unit.setMaximumFramesPerSlice(kMaxFrames);
    return unit;
}

// The CPU column gives the time per render; this gives the multiple of real time.
void countRealTime(benchmark::State& state, UInt32 frames) {
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * frames / kRateHz, benchmark::Counter::kIsRate);
}

// Renders `unit` in renders of `frames`, each cut into `slices` by scheduled Pitch events
// (Pitch is read only at initialisation, so the events slice the render without changing the
// analysis).
void renderLoop(benchmark::State& state, HostedUnit& unit, UInt32 channels, UInt32 frames,
                UInt32 slices) {
    Output out(channels);
    AudioTimeStamp timeStamp{};
    std::vector<AudioUnitParameterEvent> events(slices > 1 ? slices - 1 : 0);
    for (UInt32 k = 0; k < events.size(); ++k) {
        events[k] = AudioUnitParameterEvent{};
        events[k].scope = kAudioUnitScope_Global;
        events[k].parameter = 1;  // Pitch
        events[k].eventType = kParameterEvent_Immediate;
        events[k].eventValues.immediate.bufferOffset = (k + 1) * frames / slices;
        events[k].eventValues.immediate.value = 440.0f;
    }
    for (auto _ : state) {
        if (!events.empty()) unit.handle().ScheduleParameters(events.data(), events.size());
        AudioUnitRenderActionFlags flags = 0;
        const OSStatus status = unit.render(flags, timeStamp, frames, out.prepare(frames));
        if (status != noErr) {
            state.SkipWithError("render failed");
            break;
        }
        timeStamp.mSampleTime += frames;
    }
    countRealTime(state, frames);
}

void BM_RenderFromCallback(benchmark::State& state) {
    const auto channels = static_cast<UInt32>(state.range(0));
    const auto frames = static_cast<UInt32>(state.range(1));
    Source source;
    HostedUnit unit = openTuner(channels);
    unit.setInputCallback(&Source::pull, &source);
    unit.initialize();
    renderLoop(state, unit, channels, frames, 1);
}

// The tuner pulls its input from a second tuner (itself fed by the callback): two units' work.
void BM_RenderFromConnection(benchmark::State& state) {
    const auto channels = static_cast<UInt32>(state.range(0));
    const auto frames = static_cast<UInt32>(state.range(1));
    Source source;
    HostedUnit upstream = openTuner(channels);
    upstream.setInputCallback(&Source::pull, &source);
    upstream.initialize();
    HostedUnit unit = openTuner(channels);
    const AudioUnitConnection connection{upstream.get(), 0, 0};
    if (unit.handle().SetProperty(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0,
                                  connection) != noErr) {
        state.SkipWithError("connection refused");
        return;
    }
    unit.initialize();
    renderLoop(state, unit, channels, frames, 1);
}

// A 512-frame mono render cut into 1, 2, 4 or 8 slices by scheduled events.
void BM_RenderSliced(benchmark::State& state) {
    const auto slices = static_cast<UInt32>(state.range(0));
    Source source;
    HostedUnit unit = openTuner(1);
    unit.setInputCallback(&Source::pull, &source);
    unit.initialize();
    renderLoop(state, unit, 1, 512, slices);
}

void renderArgs(benchmark::internal::Benchmark* b) {
    for (int channels : {1, 2})
        for (int frames : {64, 512, 1156}) b->Args({channels, frames});
    b->ArgNames({"channels", "frames"});
}

BENCHMARK(BM_RenderFromCallback)->Apply(renderArgs);
BENCHMARK(BM_RenderFromConnection)->Apply(renderArgs);
BENCHMARK(BM_RenderSliced)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->ArgName("slices");

}  // namespace

BENCHMARK_MAIN();
