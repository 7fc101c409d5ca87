// A full render through MarvexEntry as a host does it: the build tree's plug-in bundle, an
// input callback playing a 44.1 kHz sine, 512-frame blocks into host buffers. Reports the time
// per block and how many times faster than real time that is.

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "tests/unit/TunerHost.h"
#include "unit/MarvexParameters.h"

namespace {

using namespace marvex;
using namespace marvex::test;

constexpr double kRate = 44100.0;
constexpr UInt32 kBlock = 512;

void BM_MarvexRender(benchmark::State& state) {
    const auto channels = static_cast<UInt32>(state.range(0));
    AudioUnitHandle unit = OpenTuner();
    if (!unit || SetFormats(unit, channels, kRate) != noErr) {
        state.SkipWithError("the tuner could not be opened and set up");
        return;
    }
    // Ten seconds of tone, played in a loop by the callback's sample time.
    const std::size_t length = 10 * 44100;
    SignalSource source;
    for (UInt32 c = 0; c < channels; ++c) source.channels.push_back(sine(440.0, kRate, length));
    if (source.AttachTo(unit) != noErr || unit.Initialize() != noErr) {
        state.SkipWithError("initialise failed");
        return;
    }

    std::vector<std::vector<float>> out(channels, std::vector<float>(kBlock));
    HostBufferList list(channels, 0, false);
    AudioTimeStamp time{};
    std::size_t at = 0;
    for (auto _ : state) {
        for (UInt32 c = 0; c < channels; ++c) list[c] = AudioBuffer{1, kBlock * 4, out[c].data()};
        time.mSampleTime = static_cast<Float64>(at);
        AudioUnitRenderActionFlags flags = 0;
        if (unit.Render(&flags, time, 0, kBlock, &list.get()) != noErr) {
            state.SkipWithError("render failed");
            break;
        }
        benchmark::DoNotOptimize(out[0][kBlock - 1]);
        at = (at + kBlock) % (length - kBlock);
    }
    // Seconds of audio per second of rendering: items are blocks of 512 frames.
    state.SetItemsProcessed(state.iterations());
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kBlock / kRate, benchmark::Counter::kIsRate);
    state.counters["note"] = Parameter(unit, kParam_Note);
}
BENCHMARK(BM_MarvexRender)->Arg(1)->Arg(2)->ArgName("channels")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
