// Host-side costs. BM_AnalyzeBlock is what `marvex analyze` spends per block: render through the
// unit's direct render entry with the input pulled from the caller's buffers, the eight
// parameters read, one jsonl line formatted. Its time is per block; x_realtime is the multiple
// of real time (audio seconds per second of processing).
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "host/TuneSegmenter.h"
#include "host/TunerSession.h"
#include "host/cli/PerformanceSynth.h"
#include "host/cli/RecordWriter.h"

using namespace marvex;

namespace {

constexpr double kRateHz = 44100.0;

void BM_AnalyzeBlock(benchmark::State& state) {
    const auto channels = static_cast<std::uint32_t>(state.range(0));
    const auto block = static_cast<std::uint32_t>(state.range(1));
    TunerSettings settings;
    settings.bundleDirectory = MARVEX_BUILD_BUNDLE;
    settings.blockFrames = block;
    std::unique_ptr<TunerSession> session;
    try {
        session = std::make_unique<TunerSession>(settings, kRateHz, channels);
    } catch (const HostError& e) {
        state.SkipWithError(e.what());
        return;
    }
    // One second of a 440 Hz sine, looped.
    std::vector<float> sine(static_cast<std::size_t>(kRateHz) + block);
    for (std::size_t i = 0; i < sine.size(); ++i)
        sine[i] = 0.5f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 440.0 * i / kRateHz));
    BlockRecord record;
    std::size_t position = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::vector<const float*> input(channels, sine.data() + position);
        session->renderBlock(input, block, record);
        bytes += jsonlLine(record).size();
        position = (position + block) % static_cast<std::size_t>(kRateHz);
    }
    benchmark::DoNotOptimize(bytes);
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * block / kRateHz, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AnalyzeBlock)->Args({1, 512})->Args({2, 512})->Args({1, 64});

void BM_JsonlLine(benchmark::State& state) {
    BlockRecord record;
    record.values = {2.0f, 440.0f, 441.37f, 427.47f, 440.0f, 452.89f, 48.0f, 0.1075f};
    for (auto _ : state) {
        record.frame += 512;
        benchmark::DoNotOptimize(jsonlLine(record));
    }
}
BENCHMARK(BM_JsonlLine);

void BM_SegmentTenMinutes(benchmark::State& state) {
    // Ten minutes of 512-frame blocks alternating between notes and silences.
    std::vector<TuneBlock> blocks;
    for (std::int64_t i = 0; i < 10 * 60 * 44100 / 512; ++i) {
        const bool sounding = (i / 200) % 4 != 3;
        const float note = static_cast<float>(19 + (i / 800) % 24);
        blocks.push_back({i * 512, 512, sounding, 110.0f, 110.0f, note});
    }
    for (auto _ : state) benchmark::DoNotOptimize(segmentTune(blocks, TuneSettings{}, kRateHz));
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(blocks.size()));
}
BENCHMARK(BM_SegmentTenMinutes);

void BM_SynthesisePerformance(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(openStringsPerformance(kRateHz));
}
BENCHMARK(BM_SynthesisePerformance)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
