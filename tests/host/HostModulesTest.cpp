// Tests of the host's own pieces, without the plug-in: names, needle, record lines, tune
// segmentation, atomic output, file input and the synthesiser.
#include <gtest/gtest.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "host/NoteName.h"
#include "host/OutputFile.h"
#include "host/PerformanceSynth.h"
#include "host/RecordWriter.h"
#include "host/TextNeedle.h"
#include "host/TuneSegmenter.h"

namespace fs = std::filesystem;
using namespace marvex;

namespace {

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "marvex-host-XXXXXX").string();
        mPath = ::mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(mPath); }
    fs::path operator/(const std::string& name) const { return mPath / name; }
    const fs::path& path() const { return mPath; }

private:
    fs::path mPath;
};

}  // namespace

TEST(NoteName, NamesWholeBinsWithScientificOctaves) {
    // Octaves turn over at C, not at A; only whole bins of the grid are notes.
    const std::pair<int, const char*> names[] = {{0, "A0"},   {2, "B0"},  {3, "C1"},
                                                 {47, "G#4"}, {51, "C5"}, {95, "G#8"}};
    for (const auto& [bin, name] : names) EXPECT_EQ(noteName(bin), name) << bin;
    EXPECT_EQ(noteBin(95.0f), 95);
    for (float notABin : {96.0f, -1.0f, 47.5f, std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity()})
        EXPECT_FALSE(noteBin(notABin)) << notABin;
}

TEST(TextNeedle, PlacesTheMarkAcrossTheBand) {
    EXPECT_EQ(textNeedle(0.0), "[..........*..........]");
    EXPECT_EQ(textNeedle(-50.0), "[*.........|..........]");
    EXPECT_EQ(textNeedle(50.0), "[..........|.........*]");
    EXPECT_EQ(textNeedle(12.0), "[..........|.*........]");
    EXPECT_EQ(textNeedle(-23.0), "[.....*....|..........]");
    // Beyond the band at the edge; no reading, no mark.
    EXPECT_EQ(textNeedle(80.0), "[..........|.........>]");
    EXPECT_EQ(textNeedle(-80.0), "[<.........|..........]");
    EXPECT_EQ(textNeedle(std::nan("")), "[..........|..........]");
    EXPECT_EQ(textNeedle(20.0, 2), "[..|*.]");
}

TEST(RecordLine, KeysAndValuesFollowTheContract) {
    BlockRecord record;
    record.frame = 1024;
    record.frames = 300;
    record.values = {2.0f, 440.0f, 441.5f, 427.47f, 440.0f, 452.89f, 48.0f, 0.0625f};
    EXPECT_EQ(jsonlLine(record),
              "{\"frame\": 1024, \"frames\": 300, \"precision\": 2, \"pitch\": 440, "
              "\"frequency\": 441.5, \"lower\": 427.470001, \"central\": 440, "
              "\"upper\": 452.890015, \"note\": 48, \"deviation\": 0.0625, \"note_name\": \"A4\"}");

    // Values that are not finite numbers, and notes that are not bins, are null.
    record.values = {std::nanf(""),
                     std::numeric_limits<float>::infinity(),
                     -std::numeric_limits<float>::infinity(),
                     1.0f,
                     1.0f,
                     1.0f,
                     12.5f,
                     0.0f};
    const auto json = nlohmann::json::parse(jsonlLine(record));
    EXPECT_TRUE(json["precision"].is_null());
    EXPECT_TRUE(json["pitch"].is_null());
    EXPECT_TRUE(json["frequency"].is_null());
    EXPECT_EQ(json["note"], 12.5);
    EXPECT_TRUE(json["note_name"].is_null());
}

TEST(RecordLine, EveryValueReadsBackAsTheSameFloat) {
    const float hard[] = {0.1f,     1.0f / 3.0f, 1e-8f,     -0.0f, 3.4028235e38f, 1.17549435e-38f,
                          1.4e-45f, 27.5f,       19999.998f};
    for (float value : hard) {
        BlockRecord record;
        record.values.fill(value);
        record.values[kTunerNote] = 3.0f;
        const auto json = nlohmann::json::parse(jsonlLine(record));
        for (const char* key :
             {"precision", "pitch", "frequency", "lower", "central", "upper", "deviation"}) {
            EXPECT_EQ(static_cast<float>(json[key].get<double>()), value) << key << " " << value;
        }
        EXPECT_EQ(json["note_name"], "C1");
    }
}

namespace {

// Blocks of 441 frames at 44.1 kHz (10 ms each).
struct BlockScript {
    std::vector<TuneBlock> blocks;
    void add(int count, float level, float note, float frequencyHz, float centralHz) {
        for (int i = 0; i < count; ++i) {
            const std::int64_t frame = blocks.empty() ? 0 : blocks.back().frame + 441;
            blocks.push_back({frame, 441, level, frequencyHz, centralHz, note});
        }
    }
    void silence(int count) { add(count, 0.0f, 48.0f, 440.0f, 440.0f); }
    void unclear(int count) { add(count, 0.3f, std::nanf(""), std::nanf(""), std::nanf("")); }
    void note(int count, int bin, float frequencyHz, float centralHz) {
        add(count, 0.3f, static_cast<float>(bin), frequencyHz, centralHz);
    }
};

std::vector<TuneSegment> segment(const BlockScript& script) {
    return segmentTune(script.blocks, TuneSettings{}, 44100.0);
}

}  // namespace

TEST(TuneSegmenter, CutsNotesAndSilencesWithMeansAndCents) {
    BlockScript script;
    script.silence(20);
    script.unclear(3);  // the attack, before the first estimate
    script.note(50, 48, 442.0f, 440.0f);
    script.note(50, 48, 444.0f, 440.0f);
    script.silence(30);
    script.note(60, 19, 83.0f, 82.406891f);

    const auto segments = segment(script);
    ASSERT_EQ(segments.size(), 4u);
    EXPECT_EQ(segments[0].kind, TuneSegment::Kind::Silence);
    EXPECT_EQ(segments[0].endFrame, 20 * 441);
    EXPECT_EQ(segments[1].kind, TuneSegment::Kind::Note);
    EXPECT_EQ(segments[1].bin, 48);
    EXPECT_EQ(segments[1].startFrame, 20 * 441);  // the attack belongs to the note
    EXPECT_EQ(segments[1].endFrame, 123 * 441);
    EXPECT_DOUBLE_EQ(segments[1].meanFrequencyHz, 443.0);
    EXPECT_NEAR(segments[1].centsOff, 1200.0 * std::log2(443.0 / 440.0), 1e-9);
    EXPECT_EQ(segments[2].kind, TuneSegment::Kind::Silence);
    EXPECT_EQ(segments[3].bin, 19);
    EXPECT_NEAR(segments[3].centsOff, 12.42, 0.01);
    EXPECT_EQ(segments.back().endFrame, script.blocks.back().frame + 441);
    EXPECT_TRUE(segmentTune({}, TuneSettings{}, 44100.0).empty());
}

TEST(TuneSegmenter, BriefGapsAndBriefPitchesDoNotMakeSegments) {
    BlockScript script;
    script.note(40, 24, 110.0f, 110.0f);
    script.silence(5);  // 50 ms: shorter than a silence must be
    script.note(40, 24, 111.0f, 110.0f);
    script.note(8, 26, 123.0f, 123.47f);  // 80 ms of another pitch: a transition
    script.note(40, 24, 112.0f, 110.0f);

    const auto segments = segment(script);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].bin, 24);
    // The blip's frequency is not part of the note's mean.
    EXPECT_DOUBLE_EQ(segments[0].meanFrequencyHz, 111.0);
}

TEST(TuneSegmenter, SoundWithoutAStablePitchIsReportedAsSuch) {
    BlockScript script;
    script.silence(20);
    script.unclear(40);
    script.note(5, 30, 150.0f, 146.83f);  // too short to count
    script.silence(20);

    const auto segments = segment(script);
    ASSERT_EQ(segments.size(), 3u);
    EXPECT_EQ(segments[1].kind, TuneSegment::Kind::Unclear);
    EXPECT_EQ(segments[1].startFrame, 20 * 441);
    EXPECT_EQ(segments[1].endFrame, 65 * 441);
}

TEST(OutputFile, AppearsOnlyWhenCommitted) {
    TempDir dir;
    const fs::path target = dir / "out.txt";
    {
        std::ofstream(target) << "old";
        OutputFile out(target.string());
        std::fputs("new", out.stream());
        // Not committed: as if the command failed half-way.
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator{}), 1);
    std::string content;
    std::ifstream(target) >> content;
    EXPECT_EQ(content, "old");
    {
        OutputFile out(target.string());
        std::fputs("new", out.stream());
        out.commit();
    }
    std::ifstream(target) >> content;
    EXPECT_EQ(content, "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator{}), 1);
}

TEST(PerformanceSynth, EachPeriodHasOnePositiveHalfWave) {
    // The tuner pairs positive half-waves; a second one per period would halve the period.
    const Performance performance = openStringsPerformance(44100.0);
    ASSERT_EQ(performance.notes.size(), 6u);
    for (const PlayedNote& note : performance.notes) {
        const auto first = static_cast<std::size_t>((note.startSeconds + 0.1) * 44100.0);
        const auto last = static_cast<std::size_t>((note.startSeconds + 1.1) * 44100.0);
        int upward = 0;
        for (std::size_t i = first; i < last; ++i)
            upward += performance.samples[i - 1] < 0.0f && performance.samples[i] >= 0.0f;
        EXPECT_NEAR(upward, note.frequencyHz(), 1.0) << note.bin;
    }
}
