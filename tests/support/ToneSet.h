#pragma once

// Generated sounds with a known answer, for the conditioning tests and the quality benchmark:
// tones across the range, in noise, quiet, plucked, and sounds that are no note at all. Every
// sound is 2 s at the given rate: 0.1 s before the tone starts (silence, or the noise alone),
// the tone, 0.1 s after it. Noise comes from a fixed seed, so a sound is the same every run.
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace marvex::test {

enum class Wave { Sine, Sawtooth, Pluck, Nothing };

struct ToneCase {
    std::string category;
    Wave wave = Wave::Sine;
    int bin = -1;             // the note played (48 is A4 at 440 Hz); -1: nothing to find
    double centsOff = 0.0;    // how far it is played off the note
    double peakDbfs = -6.0;   // the tone's peak level
    double snrDb = INFINITY;  // tone RMS over white-noise RMS
    double noiseDbfs = -200;  // noise RMS when there is no tone (Wave::Nothing)
    std::uint32_t seed = 1;

    double frequencyHz() const { return 27.5 * std::exp2(bin / 12.0 + centsOff / 1200.0); }
};

inline constexpr double kToneStartSeconds = 0.1;
inline constexpr double kToneSeconds = 1.8;
inline constexpr double kSoundSeconds = 2.0;

inline std::vector<float> renderTone(const ToneCase& tone, double rateHz) {
    const auto frames = static_cast<std::size_t>(kSoundSeconds * rateHz);
    const auto start = static_cast<std::size_t>(kToneStartSeconds * rateHz);
    const auto length = static_cast<std::size_t>(kToneSeconds * rateHz);
    std::vector<double> wave(frames, 0.0);
    std::mt19937 random(tone.seed);
    const double amplitude = std::pow(10.0, tone.peakDbfs / 20.0);
    const double step = tone.wave == Wave::Nothing ? 0.0 : tone.frequencyHz() / rateHz;
    double phase = std::uniform_real_distribution<double>(0.0, 1.0)(random);
    double rms = amplitude / std::numbers::sqrt2;
    // A plucked string: harmonics at 1/n, the higher ones dying sooner, from random phases.
    double harmonicPhases[8];
    for (double& p : harmonicPhases) p = std::uniform_real_distribution<double>(0.0, 1.0)(random);
    const int harmonics = std::min(8, static_cast<int>(0.45 / std::max(step, 1e-9)));
    for (std::size_t i = 0; i < length && start + i < frames; ++i) {
        const double t = static_cast<double>(i) / rateHz;
        double x = 0.0;
        switch (tone.wave) {
            case Wave::Sine:
                x = std::sin(2.0 * std::numbers::pi * phase);
                break;
            case Wave::Sawtooth: {
                // Band-limited: the jump is smoothed over a sample either side (polyBLEP).
                auto blep = [&](double p) {
                    if (p < step) return (p /= step, p + p - p * p - 1.0);
                    if (p > 1.0 - step) return (p = (p - 1.0) / step, p * p + p + p + 1.0);
                    return 0.0;
                };
                x = 2.0 * phase - 1.0 - blep(phase);
                rms = amplitude / std::numbers::sqrt3;
                break;
            }
            case Wave::Pluck:
                for (int n = 1; n <= harmonics; ++n)
                    x += std::sin(2.0 * std::numbers::pi * (n * phase + harmonicPhases[n - 1])) /
                         n * std::exp(-t * std::pow(n, 0.7) / 0.8);
                x *= 0.6 * std::min(1.0, t / 0.005);
                break;
            case Wave::Nothing:
                break;
        }
        wave[start + i] = amplitude * x;
        phase += step;
        phase -= std::floor(phase);
    }
    const double noiseRms = tone.wave == Wave::Nothing  ? std::pow(10.0, tone.noiseDbfs / 20.0)
                            : std::isfinite(tone.snrDb) ? rms * std::pow(10.0, -tone.snrDb / 20.0)
                                                        : 0.0;
    std::normal_distribution<double> noise(0.0, noiseRms > 0.0 ? noiseRms : 1.0);
    std::vector<float> samples(frames);
    for (std::size_t i = 0; i < frames; ++i)
        samples[i] = static_cast<float>(wave[i] + (noiseRms > 0.0 ? noise(random) : 0.0));
    return samples;
}

// The set the benchmark measures: every semitone (or every `stride`-th) from E1 (bin 7) to C7
// (bin 75) per category, each played a little off by a seeded amount.
inline std::vector<ToneCase> fullToneSet(int stride = 1) {
    std::vector<ToneCase> set;
    std::mt19937 random(17);
    std::uniform_real_distribution<double> cents(-30.0, 30.0);
    struct Category {
        const char* name;
        Wave wave;
        double peakDbfs;
        double snrDb;
    };
    const Category categories[] = {
        {"sine", Wave::Sine, -6.0, INFINITY},
        {"sawtooth", Wave::Sawtooth, -6.0, INFINITY},
        {"sawtooth 20 dB SNR", Wave::Sawtooth, -6.0, 20.0},
        {"sawtooth 6 dB SNR", Wave::Sawtooth, -6.0, 6.0},
        {"sawtooth 0 dB SNR", Wave::Sawtooth, -6.0, 0.0},
        {"sine -20 dBFS", Wave::Sine, -20.0, INFINITY},
        {"sine -40 dBFS", Wave::Sine, -40.0, INFINITY},
        {"sine -60 dBFS", Wave::Sine, -60.0, INFINITY},
        {"plucked string", Wave::Pluck, -6.0, INFINITY},
    };
    std::uint32_t seed = 100;
    for (const Category& category : categories)
        for (int bin = 7; bin <= 75; bin += stride)
            set.push_back({category.name, category.wave, bin, cents(random), category.peakDbfs,
                           category.snrDb, -200.0, ++seed});
    set.push_back({"digital silence", Wave::Nothing, -1, 0.0, 0.0, INFINITY, -200.0, ++seed});
    // Room noise from barely audible to loud.
    for (int k = 0; k < 8; ++k)
        set.push_back(
            {"background noise", Wave::Nothing, -1, 0.0, 0.0, INFINITY, -80.0 + 8.0 * k, ++seed});
    return set;
}

}  // namespace marvex::test
