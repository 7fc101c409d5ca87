// Cost of the pitch analysis. Process per sample on four kinds of input beside the floor that any
// implementation pays on the same samples (the lobe area is a serial single-precision sum whose
// order is part of the result), and the pitch estimate at each Precision: typical (a steady
// tone: the difference between Process on a sine and on the same sine too quiet to keep a
// lobe) and worst (every record replaced by lobes that pair with nothing).

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "tests/analysis/AnalysisFixtures.h"

namespace {

using marvex::PitchAnalysis;

constexpr std::size_t kFrames = 512;
constexpr std::size_t kSignalFrames = 512 * 256;  // cycled through, 2.9 s at 44.1 kHz
constexpr double kRate = 44100.0;

enum class Input { Sine, Harmonic, Noise, Silence, QuietSine };

std::vector<float> makeSignal(Input input) {
    std::vector<float> out(kSignalFrames, 0.0f);
    switch (input) {
        case Input::Sine:
            return marvex::test::sine(440.0, kRate, kSignalFrames, 0.5);
        case Input::QuietSine:  // no lobe reaches the area threshold: capture alone
            return marvex::test::sine(440.0, kRate, kSignalFrames, 0.001);
        case Input::Harmonic:
            // 110 Hz with eight harmonics at 1/k and scattered phases: several lobes per period,
            // of unequal areas.
            for (int k = 1; k <= 8; ++k) {
                const auto partial =
                    marvex::test::sine(110.0 * k, kRate, kSignalFrames, 0.3 / k, k * k);
                for (std::size_t i = 0; i < out.size(); ++i) out[i] += partial[i];
            }
            return out;
        case Input::Noise: {
            std::mt19937 random(12345);
            std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
            for (float& x : out) x = uniform(random);
            return out;
        }
        case Input::Silence:
            return out;
    }
    return out;
}

const std::vector<float>& signal(Input input) {
    static const std::vector<float> signals[] = {
        makeSignal(Input::Sine), makeSignal(Input::Harmonic), makeSignal(Input::Noise),
        makeSignal(Input::Silence), makeSignal(Input::QuietSine)};
    return signals[static_cast<int>(input)];
}

void perSample(benchmark::State& state) {
    // Seconds per (1e-9 x samples): nanoseconds per sample.
    state.counters["ns/sample"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kFrames) * 1e-9,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The floor: a plain serial sum over the same 512-sample calls.
void BM_Floor(benchmark::State& state, Input input) {
    const auto& samples = signal(input);
    std::size_t at = 0;
    for (auto _ : state) {
        const float* p = samples.data() + at;
        float sum = 0.0f;
        for (std::size_t i = 0; i < kFrames; ++i) sum += p[i];
        benchmark::DoNotOptimize(sum);
        at = (at + kFrames) % kSignalFrames;
    }
    perSample(state);
}

void runProcess(benchmark::State& state, Input input, float precision) {
    const auto& samples = signal(input);
    PitchAnalysis analysis(kRate, 440.0f);
    std::vector<float> out(kFrames);
    // Start from a full ring, as in a running unit.
    for (std::size_t at = 0; at < kSignalFrames; at += kFrames)
        analysis.process(samples.data() + at, out.data(), kFrames, 1, precision);
    std::size_t at = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            analysis.process(samples.data() + at, out.data(), kFrames, 1, precision));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
        at = (at + kFrames) % kSignalFrames;
    }
}

// 512-frame calls at the default Precision (128 records).
void BM_Process(benchmark::State& state, Input input) {
    runProcess(state, input, 2.0f);
    perSample(state);
}

// A 512-frame call on a steady 440 Hz sine at Precision 0..4 (16..512 records); less the
// capture-only call, this is the typical estimate.
void BM_ProcessSineCall(benchmark::State& state) {
    runProcess(state, Input::Sine, static_cast<float>(state.range(0)));
}
void BM_CaptureOnlyCall(benchmark::State& state) {
    runProcess(state, Input::QuietSine, 2.0f);
}

// One call that replaces every record in use with a one-sample lobe whose area is 12% from
// every other's: all are unmatched and each scans the whole ring; the tallies are recounted
// from scratch. The capture of 2n samples is about 1% of it.
void BM_EstimateWorst(benchmark::State& state) {
    const auto precision = static_cast<float>(state.range(0));
    const int records = PitchAnalysis::recordsFor(precision);
    PitchAnalysis analysis(kRate, 440.0f);
    std::vector<float> lobes(2 * static_cast<std::size_t>(records), -1.0f);
    float area = 0.06f;
    for (int k = 0; k < records; ++k, area *= 1.12f) lobes[2 * k + 1] = area;
    std::vector<float> out(lobes.size());
    const auto frames = static_cast<std::uint32_t>(lobes.size());
    analysis.process(lobes.data(), out.data(), frames, 1, precision);
    for (auto _ : state) {
        benchmark::DoNotOptimize(analysis.process(lobes.data(), out.data(), frames, 1, precision));
        benchmark::ClobberMemory();
    }
    state.counters["records"] = records;
}

BENCHMARK_CAPTURE(BM_Floor, sine, Input::Sine);
BENCHMARK_CAPTURE(BM_Process, sine, Input::Sine);
BENCHMARK_CAPTURE(BM_Floor, harmonic, Input::Harmonic);
BENCHMARK_CAPTURE(BM_Process, harmonic, Input::Harmonic);
BENCHMARK_CAPTURE(BM_Floor, noise, Input::Noise);
BENCHMARK_CAPTURE(BM_Process, noise, Input::Noise);
BENCHMARK_CAPTURE(BM_Floor, silence, Input::Silence);
BENCHMARK_CAPTURE(BM_Process, silence, Input::Silence);
BENCHMARK(BM_CaptureOnlyCall);
BENCHMARK(BM_ProcessSineCall)->DenseRange(0, 4);
BENCHMARK(BM_EstimateWorst)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
