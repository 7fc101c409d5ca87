// `marvex live`'s process path without a server: LiveEngine::process, which the JACK process
// callback calls once per period, fed 256-frame periods at 48 kHz by the benchmark.
//
// BM_LiveLockTime: for each note from E2 to E6 played 7 cents sharp after a moment of silence,
// the time from the tone's first sample to the end of the first period whose reading names the
// right note within 1 cent of the tone; `lock_ms` is the median over the notes, `worst_ms` the
// slowest, per Precision (the argument). The time per iteration is only the simulation's cost.
// BM_LiveProcessPeriod: the CPU one period costs per input count (the period lasts 5.33 ms);
// `x_realtime` is audio seconds per second of processing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "host/HostedUnit.h"
#include "host/live/LiveEngine.h"

using namespace marvex;

namespace {

constexpr double kRateHz = 48000.0;
constexpr std::uint32_t kPeriod = 256;
constexpr double kSharpCents = 7.0;

TunerSetup setupFor(float precision) {
    TunerSetup setup;
    setup.sampleRateHz = kRateHz;
    setup.precision = precision;
    return setup;
}

// Seconds from the tone's onset to the first right reading; negative if none within 3 s.
double lockSeconds(Component component, float precision, int bin) {
    LiveEngine engine(component, setupFor(precision), 1, ConditioningSettings{});
    const double centreHz = 27.5 * std::pow(2.0, bin / 12.0);
    const double toneHz = centreHz * std::pow(2.0, kSharpCents / 1200.0);
    const std::uint32_t silentPeriods = 20;
    std::vector<float> period(kPeriod);
    double phase = 0.0;
    LiveReading reading;
    for (std::uint32_t p = 0; p < silentPeriods + 3 * kRateHz / kPeriod; ++p) {
        const bool sounding = p >= silentPeriods;
        for (float& sample : period) {
            sample = sounding ? static_cast<float>(0.5 * std::sin(phase)) : 0.0f;
            if (sounding) phase += 2.0 * std::numbers::pi * toneHz / kRateHz;
        }
        const float* const inputs[] = {period.data()};
        engine.process(inputs, kPeriod);
        while (engine.nextReading(reading)) {
            const float frequency = reading.value(kTunerFrequency);
            const float central = reading.value(kTunerCentralFrequency);
            const bool right =
                sounding && reading.rendered &&
                reading.value(kTunerNote) == static_cast<float>(bin) &&
                std::abs(1200.0 * std::log2(frequency / central) - kSharpCents) <= 1.0;
            if (right) return (p - silentPeriods + 1) * kPeriod / kRateHz;
        }
    }
    return -1.0;
}

void BM_LiveLockTime(benchmark::State& state) {
    const auto precision = static_cast<float>(state.range(0));
    const Component component = loadPluginComponent(MARVEX_BUILD_BUNDLE);
    std::vector<double> times;
    for (auto _ : state) {
        times.clear();
        for (int bin = 19; bin <= 67; ++bin) {  // E2 to E6
            const double seconds = lockSeconds(component, precision, bin);
            times.push_back(seconds < 0.0 ? 3.0 : seconds);
        }
    }
    std::sort(times.begin(), times.end());
    state.counters["lock_ms"] = 1000.0 * times[times.size() / 2];
    state.counters["worst_ms"] = 1000.0 * times.back();
    state.counters["unlocked"] = static_cast<double>(std::count(times.begin(), times.end(), 3.0));
}
BENCHMARK(BM_LiveLockTime)->DenseRange(0, 4)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_LiveProcessPeriod(benchmark::State& state) {
    const auto inputs = static_cast<std::uint32_t>(state.range(0));
    LiveEngine engine(loadPluginComponent(MARVEX_BUILD_BUNDLE), setupFor(2.0f), inputs,
                      ConditioningSettings{});
    // A second of an A2 string's worth of sine, looped period by period.
    std::vector<float> tone(static_cast<std::size_t>(kRateHz) + kPeriod);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.5f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 110.0 * i / kRateHz));
    std::size_t position = 0;
    LiveReading reading;
    for (auto _ : state) {
        std::vector<const float*> in(inputs, tone.data() + position);
        engine.process(in, kPeriod);
        while (engine.nextReading(reading)) benchmark::DoNotOptimize(reading);
        position = (position + kPeriod) % static_cast<std::size_t>(kRateHz);
    }
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kPeriod / kRateHz, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LiveProcessPeriod)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
