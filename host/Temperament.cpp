#include "host/Temperament.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace marvex {
namespace {

double cents(double ratio) {
    return 1200.0 * std::log2(ratio);
}

// Twelve degrees from the tonic, in cents, then the octave.
std::vector<double> octaveOf(std::initializer_list<double> ratios) {
    std::vector<double> degrees;
    for (double ratio : ratios) degrees.push_back(cents(ratio));
    degrees.erase(degrees.begin());  // the tonic itself
    degrees.push_back(1200.0);
    return degrees;
}

std::vector<double> degreesOf(std::string_view name) {
    if (name == "equal") {
        std::vector<double> degrees;
        for (int i = 1; i <= 12; ++i) degrees.push_back(100.0 * i);
        return degrees;
    }
    if (name == "just")
        return octaveOf({1.0, 16.0 / 15, 9.0 / 8, 6.0 / 5, 5.0 / 4, 4.0 / 3, 45.0 / 32, 3.0 / 2,
                         8.0 / 5, 5.0 / 3, 9.0 / 5, 15.0 / 8});
    if (name == "pythagorean")
        return octaveOf({1.0, 256.0 / 243, 9.0 / 8, 32.0 / 27, 81.0 / 64, 4.0 / 3, 729.0 / 512,
                         3.0 / 2, 128.0 / 81, 27.0 / 16, 16.0 / 9, 243.0 / 128});
    if (name == "meantone") {
        // Quarter-comma: pure major thirds, fifths a quarter of a syntonic comma narrow, from
        // E-flat (three fifths down) to G-sharp (eight up).
        const double fifth = cents(1.5) - cents(81.0 / 80) / 4.0;
        std::vector<double> degrees(12);
        for (int step = -3; step <= 8; ++step) {
            const double raw = std::fmod(step * fifth, 1200.0);
            degrees[(step * 7 % 12 + 12) % 12] = raw < 0 ? raw + 1200.0 : raw;
        }
        degrees.erase(degrees.begin());
        degrees.push_back(1200.0);
        return degrees;
    }
    if (name == "werckmeister3") {
        const double q = std::pow(2.0, 0.25);  // the tempered fifths share the Pythagorean comma
        return octaveOf({1.0, 256.0 / 243, 64.0 * std::sqrt(2.0) / 81, 32.0 / 27, 256.0 * q / 243,
                         4.0 / 3, 1024.0 / 729, 8.0 * q * q * q / 9, 128.0 / 81, 1024.0 * q / 729,
                         16.0 / 9, 128.0 * q / 81});
    }
    return {};
}

}  // namespace

const std::vector<std::string>& Temperament::names() {
    static const std::vector<std::string> kNames = {"equal", "just", "pythagorean", "meantone",
                                                    "werckmeister3"};
    return kNames;
}

std::optional<Temperament> Temperament::named(std::string_view name) {
    if (std::find(names().begin(), names().end(), name) == names().end()) return {};
    return Temperament(std::string(name), degreesOf(name));
}

Temperament Temperament::fromScala(const ScalaScale& scale, std::string name) {
    return Temperament(std::move(name), scale.degreesCents);
}

TemperedNote Temperament::nearest(double frequencyHz, double referenceHz, int tonic) const {
    TemperedNote note;
    if (!(frequencyHz > 0.0) || !(referenceHz > 0.0) || mDegrees.empty()) return note;
    // The tonic in octave 4, as equal temperament places it (A4 is the reference).
    const double tonicHz = referenceHz * std::exp2((tonic - 9) / 12.0);
    const double period = mDegrees.back();
    const double above = cents(frequencyHz / tonicHz);
    double periods = std::floor(above / period);
    const double within = above - periods * period;
    // Degree 0 is the tonic; the period itself is the next period's tonic.
    std::size_t best = 0;
    double bestDistance = within;
    for (std::size_t d = 0; d < mDegrees.size(); ++d) {
        const double distance = std::abs(within - mDegrees[d]);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = d + 1;
        }
    }
    const double degreeCents = best == 0 ? 0.0 : mDegrees[best - 1];
    note.centsOff = within - degreeCents;
    note.frequencyHz = frequencyHz / std::exp2(note.centsOff / 1200.0);
    std::size_t degree = best;
    if (degree == mDegrees.size()) {
        degree = 0;
        periods += 1.0;
    }
    const auto period4 = static_cast<long long>(periods) + 4;
    if (mDegrees.size() == 12 && std::abs(period - 1200.0) < 1e-9) {
        const auto semitone = static_cast<long long>(tonic) + static_cast<long long>(degree);
        note.name = std::string(pitchClassName(static_cast<int>(semitone % 12))) +
                    std::to_string(period4 + semitone / 12);
    } else {
        note.name = "d" + std::to_string(degree) + "." + std::to_string(period4);
    }
    return note;
}

const char* pitchClassName(int pitchClass) {
    static const char* const kNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                           "F#", "G",  "G#", "A",  "A#", "B"};
    return kNames[((pitchClass % 12) + 12) % 12];
}

std::optional<int> pitchClassOf(std::string_view note) {
    static constexpr int kNatural[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (note.empty() || note.size() > 2) return {};
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(note[0])));
    if (letter < 'A' || letter > 'G') return {};
    int pitch = kNatural[letter - 'A'];
    if (note.size() == 2) {
        if (note[1] == '#')
            pitch += 1;
        else if (note[1] == 'b')
            pitch += 11;
        else
            return {};
    }
    return pitch % 12;
}

}  // namespace marvex
