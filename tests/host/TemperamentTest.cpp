// Temperaments against textbook degrees through the nearest-degree reading, and Scala files:
// comments, ratios and cents read, malformed files refused with their line.
#include <gtest/gtest.h>

#include "host/HostError.h"
#include "host/Temperament.h"

using namespace marvex;

// Each temperament's textbook degree is read as that note in tune, a pure third 3 cents sharp as
// 3 cents off it; the octave above the tonic is the next C; a tonic of A moves everything.
TEST(Temperament, ReadsTheNearestDegreeAndTheCentsFromIt) {
    const double c4 = 440.0 * std::exp2(-9.0 / 12.0);  // the tonic C at A4 = 440
    const struct {
        const char* temperament;
        int tonic;
        double frequencyHz;
        const char* name;
        double centsOff;
    } rows[] = {
        {"just", 0, c4 * std::exp2(386.31 / 1200.0), "E4", 0.0},
        {"pythagorean", 0, c4 * std::exp2(611.73 / 1200.0), "F#4", 0.0},
        {"meantone", 0, c4 * std::exp2(696.58 / 1200.0), "G4", 0.0},
        {"werckmeister3", 0, c4 * std::exp2(1092.18 / 1200.0), "B4", 0.0},
        {"just", 0, c4 * 1.25 * std::exp2(3.0 / 1200.0), "E4", 3.0},
        {"just", 0, c4 * 2.0 * 0.999, "C5", 1200.0 * std::log2(0.999)},
        {"just", 9, 660.0, "E5", 0.0},
    };
    for (const auto& row : rows) {
        const TemperedNote note =
            Temperament::named(row.temperament)->nearest(row.frequencyHz, 440.0, row.tonic);
        SCOPED_TRACE(::testing::Message() << row.temperament << " " << row.frequencyHz << " Hz");
        EXPECT_EQ(note.name, row.name);
        EXPECT_NEAR(note.centsOff, row.centsOff, 0.005);
        EXPECT_NEAR(note.frequencyHz, row.frequencyHz * std::exp2(-row.centsOff / 1200.0), 1e-3);
    }
    EXPECT_FALSE(Temperament::named("kirnberger"));
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
