// Writes a long test recording for the end-to-end and comparison benchmarks: a plucked-string
// like tone (fundamental and three harmonics, decaying, slight vibrato) that changes note every
// two seconds over the guitar's range, with a little noise, as 16-bit mono WAV.
//   marvex_long_tone OUTPUT.wav [SECONDS=3600] [RATE=44100]

#include <sndfile.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.wav [SECONDS=3600] [RATE=44100]\n", argv[0]);
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 3600.0;
    const int rate = argc > 3 ? std::atoi(argv[3]) : 44100;
    if (!(seconds > 0.0) || rate < 8000 || rate > 192000) {
        std::fprintf(stderr, "seconds must be positive and the rate 8000..192000\n");
        return 2;
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(argv[1], SFM_WRITE, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "%s: %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    const auto total = static_cast<long long>(seconds * rate);
    const auto noteFrames = static_cast<long long>(2.0 * rate);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.002f, 0.002f);
    std::vector<float> block;
    constexpr double kHarmonics[] = {1.0, 0.5, 0.3, 0.15};
    for (long long start = 0, note = 0; start < total; start += noteFrames, ++note) {
        const long long frames = std::min(noteFrames, total - start);
        // Guitar range E2 .. E5, a pseudo-random walk, each note a few cents off.
        const int semitone = static_cast<int>((note * 7 + note / 5) % 37);
        const double cents = static_cast<double>(static_cast<int>(note % 41) - 20);
        const double hz = 82.407 * std::pow(2.0, (semitone + cents / 100.0) / 12.0);
        block.assign(static_cast<std::size_t>(frames), 0.0f);
        for (int h = 0; h < 4; ++h) {
            // A rotating phasor, renormalised now and then, instead of a sine per sample.
            const double step = 2.0 * std::numbers::pi * hz * (h + 1) / rate;
            if (step >= std::numbers::pi) break;
            std::complex<double> phasor(1.0, 0.0);
            for (long long i = 0; i < frames; ++i) {
                // Vibrato of 5 Hz and +-4 cents, applied by rotating by a slightly varying step.
                const double wobble =
                    1.0 + 0.0023 * std::sin(2.0 * std::numbers::pi * 5.0 * i / rate);
                if (i % 64 == 0) phasor /= std::abs(phasor);
                phasor *= std::polar(1.0, step * wobble);
                const double envelope = 0.6 * std::exp(-1.2 * static_cast<double>(i) / rate);
                block[static_cast<std::size_t>(i)] +=
                    static_cast<float>(envelope * kHarmonics[h] * phasor.imag());
            }
        }
        for (float& x : block) x += noise(random);
        if (sf_writef_float(file, block.data(), frames) != frames) {
            std::fprintf(stderr, "%s: %s\n", argv[1], sf_strerror(file));
            sf_close(file);
            return 1;
        }
    }
    return sf_close(file) == 0 ? 0 : 1;
}
