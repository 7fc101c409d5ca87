// Temperaments against degrees computed by hand, the nearest-degree reading, and Scala files:
// comments, ratios and cents read, malformed files refused with their line.
#include <gtest/gtest.h>

#include "host/HostError.h"
#include "host/Temperament.h"

using namespace marvex;

TEST(Temperament, DegreesAreTheTextbookOnes) {
    const struct {
        const char* name;
        int degree;  // semitones above the tonic
        double cents;
    } rows[] = {
        {"just", 4, 386.31},
        {"pythagorean", 6, 611.73},
        {"meantone", 7, 696.58},
        {"werckmeister3", 11, 1092.18},
    };
    for (const auto& row : rows) {
        const auto temperament = Temperament::named(row.name);
        ASSERT_TRUE(temperament) << row.name;
        ASSERT_EQ(temperament->degreesCents().size(), 12u);
        EXPECT_NEAR(temperament->degreesCents()[row.degree - 1], row.cents, 0.005)
            << row.name << " degree " << row.degree;
        EXPECT_DOUBLE_EQ(temperament->degreesCents().back(), 1200.0);
    }
    EXPECT_FALSE(Temperament::named("kirnberger"));
}

TEST(Temperament, ReadsTheNearestDegreeAndTheCentsFromIt) {
    const Temperament just = *Temperament::named("just");
    // Tonic C at A4 = 440: C4 = 261.626 Hz; the pure third above it, E4 = 327.03 Hz.
    const double c4 = 440.0 * std::exp2(-9.0 / 12.0);
    TemperedNote e = just.nearest(c4 * 1.25 * std::exp2(3.0 / 1200.0), 440.0, 0);
    EXPECT_EQ(e.name, "E4");
    EXPECT_NEAR(e.centsOff, 3.0, 1e-9);
    EXPECT_NEAR(e.frequencyHz, c4 * 1.25, 1e-9);
    // The octave above the tonic is C5; a tonic of A moves everything (A's fifth, E5).
    EXPECT_EQ(just.nearest(c4 * 2.0 * 0.999, 440.0, 0).name, "C5");
    EXPECT_EQ(just.nearest(660.0, 440.0, 9).name, "E5");
    EXPECT_NEAR(just.nearest(660.0, 440.0, 9).centsOff, 0.0, 1e-9);
}

TEST(ScalaScale, ReadsCommentsRatiosAndCents) {
    const ScalaScale scale = parseScala(
        "! meantone.scl\n!\n Quarter-comma meantone, 4 degrees \n 4\n! the degrees\n"
        "193.157\n5/4 the third\n 696.578\n 2  \n",
        "m.scl");
    EXPECT_EQ(scale.description, "Quarter-comma meantone, 4 degrees");
    ASSERT_EQ(scale.degreesCents.size(), 4u);
    EXPECT_NEAR(scale.degreesCents[0], 193.157, 1e-9);
    EXPECT_NEAR(scale.degreesCents[1], 386.3137, 1e-4);
    EXPECT_DOUBLE_EQ(scale.degreesCents[3], 1200.0);  // a whole number is a ratio over 1
}

TEST(ScalaScale, RefusesMalformedFilesNamingTheLine) {
    const struct {
        const char* text;
        const char* message;
    } rows[] = {
        {"desc\n1\n3/0\n", "x.scl:3: not a degree"},
        {"desc\n2\n700.0\n500.0\n", "x.scl:4: degrees must rise"},
        {"desc\n3\n700.0\n1200.0\n", "x.scl:4: the file ends after 2 of 3 degrees"},
    };
    for (const auto& row : rows) {
        try {
            parseScala(row.text, "x.scl");
            ADD_FAILURE() << "accepted: " << row.text;
        } catch (const HostError& e) {
            EXPECT_EQ(e.kind(), HostErrorKind::Input);
            EXPECT_NE(std::string(e.what()).find(row.message), std::string::npos) << e.what();
        }
    }
}
