// What the signal conditioning and the level gate do for `tune`, on the generated set
// (tests/support/ToneSet.h), with conditioning on and off: per category the share of right
// answers (the note, or silence), the median and 95th-percentile absolute cents error of the
// right notes, and the median lock time (from the tone's start to the end of the first block
// from which 100 ms in a row carry the right note). Each benchmark runs its category once;
// the figures are counters. BM_TuneSpeed times the whole of `tune` per 512-frame block
// (conditioner, unit, records) on a mix of the set, as a multiple of real time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "host/AudioSource.h"
#include "host/TuneRunner.h"
#include "tests/support/ToneSet.h"

using namespace marvex;
using marvex::test::ToneCase;

namespace {

constexpr double kRateHz = 44100.0;

struct Outcome {
    bool right = false;
    double centsError = NAN;   // right notes only
    double lockSeconds = NAN;  // right notes only
};

Outcome measure(const ToneCase& tone, bool conditioned) {
    MemoryAudioSource source("tone", kRateHz, test::renderTone(tone, kRateHz));
    TunerSettings tuner;
    tuner.bundleDirectory = MARVEX_BUILD_BUNDLE;
    TunerSession session(tuner, kRateHz, 1);
    TuneSettings settings;
    settings.conditioning.enabled = conditioned;
    const auto blocks = tuneBlocks(source, session, settings);
    const auto segments = segmentTune(blocks, settings, kRateHz);
    const TuneSegment* longest = nullptr;
    for (const TuneSegment& segment : segments)
        if (segment.kind == TuneSegment::Kind::Note &&
            (!longest ||
             segment.endFrame - segment.startFrame > longest->endFrame - longest->startFrame))
            longest = &segment;
    Outcome outcome;
    if (tone.bin < 0) {
        outcome.right = longest == nullptr;
        return outcome;
    }
    if (longest == nullptr || longest->bin != tone.bin) return outcome;
    outcome.right = true;
    outcome.centsError = std::abs(longest->centsOff - tone.centsOff);
    const auto start = static_cast<std::int64_t>(test::kToneStartSeconds * kRateHz);
    const auto span = static_cast<std::int64_t>(0.1 * kRateHz);
    auto rightAt = [&](const TuneBlock& b) { return b.sounding && b.note == tone.bin; };
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (blocks[i].frame + blocks[i].frames <= start) continue;
        bool holds = true;
        for (std::size_t j = i; j < blocks.size() && blocks[j].frame < blocks[i].frame + span; ++j)
            holds = holds && rightAt(blocks[j]);
        if (holds) {
            outcome.lockSeconds =
                static_cast<double>(blocks[i].frame + blocks[i].frames - start) / kRateHz;
            break;
        }
    }
    return outcome;
}

double percentile(std::vector<double> values, double share) {
    std::erase_if(values, [](double v) { return std::isnan(v); });
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1) + 0.5)];
}

void BM_Quality(benchmark::State& state, const std::string& category, bool conditioned) {
    std::vector<ToneCase> cases;
    for (const ToneCase& tone : test::fullToneSet())
        if (tone.category == category) cases.push_back(tone);
    for (auto _ : state) {
        std::vector<double> errors, locks;
        int right = 0;
        for (const ToneCase& tone : cases) {
            const Outcome outcome = measure(tone, conditioned);
            right += outcome.right;
            errors.push_back(outcome.centsError);
            locks.push_back(outcome.lockSeconds);
        }
        state.counters["cases"] = static_cast<double>(cases.size());
        state.counters["right_%"] = 100.0 * right / static_cast<double>(cases.size());
        if (cases.front().bin >= 0) {
            state.counters["cents_median"] = percentile(errors, 0.5);
            state.counters["cents_p95"] = percentile(errors, 0.95);
            state.counters["lock_ms_median"] = 1000.0 * percentile(locks, 0.5);
        }
    }
}

void BM_TuneSpeed(benchmark::State& state) {
    const bool conditioned = state.range(0) != 0;
    // One of every fourth case: clean, noisy, quiet and plucked tones, silence and noise.
    std::vector<float> mix;
    const auto set = test::fullToneSet(4);
    for (std::size_t i = 0; i < set.size(); i += 4) {
        const auto samples = test::renderTone(set[i], kRateHz);
        mix.insert(mix.end(), samples.begin(), samples.end());
    }
    TunerSettings tuner;
    tuner.bundleDirectory = MARVEX_BUILD_BUNDLE;
    TuneSettings settings;
    settings.conditioning.enabled = conditioned;
    for (auto _ : state) {
        state.PauseTiming();  // opening the tuner and copying the sound are not tune's work
        MemoryAudioSource source("mix", kRateHz, mix);
        TunerSession session(tuner, kRateHz, 1);
        state.ResumeTiming();
        benchmark::DoNotOptimize(tuneSource(source, session, settings));
    }
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * mix.size() / kRateHz,
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TuneSpeed)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The conditioner alone (estimator, gate, band filter, level) on the same mix, in 512-frame
// blocks.
void BM_ConditionerSpeed(benchmark::State& state) {
    std::vector<float> mix;
    const auto set = test::fullToneSet(4);
    for (std::size_t i = 0; i < set.size(); i += 4) {
        const auto samples = test::renderTone(set[i], kRateHz);
        mix.insert(mix.end(), samples.begin(), samples.end());
    }
    SignalConditioner conditioner(kRateHz, 1, 512);
    for (auto _ : state) {
        for (std::size_t at = 0; at + 512 <= mix.size(); at += 512) {
            const float* input[1] = {mix.data() + at};
            benchmark::DoNotOptimize(conditioner.process(input, 512));
        }
    }
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * mix.size() / kRateHz,
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ConditionerSpeed)->Unit(benchmark::kMillisecond);

const int kRegistered = [] {
    std::vector<std::string> categories;
    for (const ToneCase& tone : test::fullToneSet())
        if (std::find(categories.begin(), categories.end(), tone.category) == categories.end())
            categories.push_back(tone.category);
    for (const std::string& category : categories)
        for (const bool conditioned : {false, true})
            benchmark::RegisterBenchmark(
                ("BM_Quality/" + category + (conditioned ? "/conditioned" : "/raw")).c_str(),
                BM_Quality, category, conditioned)
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
    return 0;
}();

}  // namespace

BENCHMARK_MAIN();
