// Plays a short built-in performance, a few notes each a little off, through one tuner kernel
// and prints what the tuner reports for each.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/analysis/KernelHarness.h"

namespace {

struct Tone {
    int bin;  // tone-grid bin, 48 = the reference pitch
    double centsOff;
};

// Open strings of a guitar from E2, then A4 and C5.
constexpr Tone kPerformance[] = {{19, -12.0}, {24, 0.0},  {29, 21.0}, {34, -30.0},
                                 {38, 8.0},   {43, -5.0}, {48, 0.0},  {51, 40.0}};

std::string noteName(int bin) {
    static const char* const kNames[] = {"A",  "A#", "B", "C",  "C#", "D",
                                         "D#", "E",  "F", "F#", "G",  "G#"};
    if (bin < 0 || bin > 95) return "?";
    return std::string(kNames[bin % 12]) + std::to_string((bin + 9) / 12);
}

int usage() {
    std::fprintf(stderr, "usage: marvex-tone-demo [--pitch HZ (400-480)] [--rate HZ]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    double pitch = 440.0;
    double rate = 44100.0;
    for (int i = 1; i < argc; ++i) {
        const bool isPitch = std::strcmp(argv[i], "--pitch") == 0;
        const bool isRate = std::strcmp(argv[i], "--rate") == 0;
        if ((!isPitch && !isRate) || i + 1 >= argc) return usage();
        char* end = nullptr;
        const double value = std::strtod(argv[++i], &end);
        if (*end != '\0' || !(value > 0.0) || !std::isfinite(value)) return usage();
        (isPitch ? pitch : rate) = value;
    }
    if (pitch < 400.0 || pitch > 480.0 || rate < 8000.0 || rate > 384000.0) return usage();

    marvex::test::KernelHarness unit(rate, static_cast<float>(pitch));
    auto kernel = unit.makeKernel();
    std::printf("reference %.1f Hz, %.0f Hz sample rate, 0.5 s per tone\n\n", pitch, rate);
    std::printf("%-16s %10s   %-5s %10s %10s\n", "played", "Hz", "heard", "Hz", "deviation");
    for (const Tone& tone : kPerformance) {
        const double hz = pitch / 16.0 * std::pow(2.0, (tone.bin + tone.centsOff / 100.0) / 12.0);
        const auto samples = marvex::test::sine(hz, rate, static_cast<std::size_t>(rate / 2));
        marvex::test::feed(*kernel, samples, 512);
        const int heard = static_cast<int>(unit.get(kParam_Note));
        char played[32];
        std::snprintf(played, sizeof played, "%s %+.0f cents", noteName(tone.bin).c_str(),
                      tone.centsOff);
        std::printf("%-16s %10.2f   %-5s %10.2f %+10.3f\n", played, hz, noteName(heard).c_str(),
                    unit.get(kParam_Frequency), unit.get(kParam_Deviation));
    }
    return 0;
}
