// Cost of the tuner kernel: Process per sample beside the floor any implementation pays (the
// lobe area is a serial single-precision sum whose order is part of the result), and the pitch
// estimate in its worst and typical cases.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "tests/analysis/KernelHarness.h"

namespace {

using marvex::test::KernelHarness;

constexpr std::size_t kFrames = 512;
constexpr std::size_t kSignalFrames = 512 * 256;  // cycled through, 2.9 s at 44.1 kHz

std::vector<float> sineSignal() {
    return marvex::test::sine(440.0, 44100.0, kSignalFrames, 0.5);
}

std::vector<float> noiseSignal() {
    std::mt19937 random(12345);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> out(kSignalFrames);
    for (float& x : out) x = uniform(random);
    return out;
}

void perSample(benchmark::State& state) {
    // Seconds per (1e-9 x samples): nanoseconds per sample.
    state.counters["ns/sample"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kFrames) * 1e-9,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The floor: a plain serial sum over the same 512-sample calls.
void serialSum(benchmark::State& state, const std::vector<float>& signal) {
    std::size_t at = 0;
    for (auto _ : state) {
        const float* p = signal.data() + at;
        float sum = 0.0f;
        for (std::size_t i = 0; i < kFrames; ++i) sum += p[i];
        benchmark::DoNotOptimize(sum);
        at = (at + kFrames) % kSignalFrames;
    }
    perSample(state);
}

void process(benchmark::State& state, const std::vector<float>& signal) {
    KernelHarness unit(44100.0, 440.0f, 2.0f);
    auto kernel = unit.makeKernel();
    std::vector<float> out(kFrames);
    bool silence = false;
    std::size_t at = 0;
    for (auto _ : state) {
        kernel->Process(signal.data() + at, out.data(), kFrames, 1, silence);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
        at = (at + kFrames) % kSignalFrames;
    }
    perSample(state);
}

void BM_FloorSine(benchmark::State& state) {
    static const auto signal = sineSignal();
    serialSum(state, signal);
}
void BM_ProcessSine(benchmark::State& state) {
    static const auto signal = sineSignal();
    process(state, signal);
}
// The same sine too quiet for any lobe to be kept: capture alone, no estimate.
void BM_ProcessQuietSine(benchmark::State& state) {
    static const auto signal = marvex::test::sine(440.0, 44100.0, kSignalFrames, 0.001);
    process(state, signal);
}
void BM_FloorNoise(benchmark::State& state) {
    static const auto signal = noiseSignal();
    serialSum(state, signal);
}
void BM_ProcessNoise(benchmark::State& state) {
    static const auto signal = noiseSignal();
    process(state, signal);
}

// 512 records in use, none of which pairs: areas 12% apart, so every record scans the whole
// ring with a division per step. Nothing changes, so each call costs the same.
void BM_UpdateFrequencyWorst(benchmark::State& state) {
    KernelHarness unit(44100.0, 440.0f, 4.0f);
    auto kernel = unit.makeKernel();
    std::vector<float> signal(2 * 512, -1.0f);
    float area = 0.06f;
    for (std::size_t k = 0; k < 512; ++k, area *= 1.12f) signal[2 * k + 1] = area;
    marvex::test::feed(*kernel, signal, signal.size());
    for (auto _ : state) kernel->updateFrequency();
}

// A steady tone at the default Precision: all but the newest record are matched, so pairing
// is cheap and voting dominates.
void BM_UpdateFrequencyTypical(benchmark::State& state) {
    KernelHarness unit(44100.0, 440.0f, 2.0f);
    auto kernel = unit.makeKernel();
    marvex::test::feed(*kernel, marvex::test::sine(440.0, 44100.0, 44100), kFrames);
    for (auto _ : state) kernel->updateFrequency();
}

BENCHMARK(BM_FloorSine);
BENCHMARK(BM_ProcessSine);
BENCHMARK(BM_ProcessQuietSine);
BENCHMARK(BM_FloorNoise);
BENCHMARK(BM_ProcessNoise);
BENCHMARK(BM_UpdateFrequencyWorst)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UpdateFrequencyTypical)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
