#pragma once

#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/ScalaScale.h"

namespace marvex {

// The nearest degree of a temperament to a frequency.
struct TemperedNote {
    std::string name;  // "E4" for twelve-degree octave scales, else "d3.4": degree 3, period 4
    double frequencyHz = 0.0;
    double centsOff = 0.0;  // from the degree
};

// [control] A scale the host maps readings onto; the tuner's own grid stays equal-tempered. The
// tonic sits where equal temperament puts it from the reference pitch (C4 is 261.63 Hz at A4 =
// 440), and the degrees are laid out above it, period after period.
class Temperament {
public:
    // "equal", "just" (5-limit major), "pythagorean", "meantone" (quarter-comma),
    // "werckmeister3"; nothing for any other name.
    static std::optional<Temperament> named(std::string_view name);
    static Temperament fromScala(const ScalaScale& scale, std::string name);
    static const std::vector<std::string>& names();

    const std::string& name() const { return mName; }
    // Degrees in cents above the tonic, the period last.
    const std::vector<double>& degreesCents() const { return mDegrees; }

    // tonic: pitch class, 0 (C) to 11 (B).
    TemperedNote nearest(double frequencyHz, double referenceHz, int tonic) const;

private:
    Temperament(std::string name, std::vector<double> degrees)
        : mName(std::move(name)), mDegrees(std::move(degrees)) {}
    std::string mName;
    std::vector<double> mDegrees;
};

// A temperament with its tonic: how a front end reads notes when the tuner's grid is not the
// scale played in.
struct Intonation {
    Temperament temperament;
    int tonic = 0;  // pitch class, C = 0

    // The nearest degree to a frequency the tuner published for grid bin `bin` with centre
    // `centralHz` (which give the reference pitch the tuner was set to).
    TemperedNote read(double frequencyHz, int bin, double centralHz) const {
        return temperament.nearest(frequencyHz, centralHz * std::exp2((48 - bin) / 12.0), tonic);
    }
};

// "C", "c#", "Db", "F#", "Bb" as a pitch class (C = 0); nothing for anything else.
std::optional<int> pitchClassOf(std::string_view note);
// "C", "C#", ... "B" for pitch classes 0 to 11.
const char* pitchClassName(int pitchClass);

}  // namespace marvex
