// `marvex` end to end: the built program runs on generated files with the build tree's plug-in
// bundle, and its results are checked against the unit driven directly through its entry
// routine.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "host/cli/PerformanceSynth.h"
#include "tests/host/cli/CommandRunner.h"
#include "tests/unit/TunerHost.h"

using namespace marvex::test;

namespace {

// The tuner opened straight from the bundle and driven through its selectors, the eight
// parameters read after every block: the reference `analyze` must agree with.
std::vector<std::array<float, 8>> directRecords(double rateHz, const Channels& audio,
                                                UInt32 block) {
    std::vector<std::array<float, 8>> records;
    marvex::AudioUnitHandle unit = OpenTuner();
    SignalSource source{audio};
    const auto channels = static_cast<UInt32>(audio.size());
    EXPECT_TRUE(unit && SetFormats(unit, channels, rateHz) == noErr &&
                unit.SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global,
                                 0, block) == noErr &&
                source.AttachTo(unit) == noErr && unit.Initialize() == noErr);
    std::vector<std::vector<float>> out(channels);
    const std::size_t total = audio[0].size();
    for (std::size_t at = 0; at < total && unit; at += block) {
        const auto frames = static_cast<UInt32>(std::min<std::size_t>(block, total - at));
        EXPECT_EQ(RenderInto(unit, out, at, frames), noErr);
        std::array<float, 8>& values = records.emplace_back();
        for (UInt32 id = 0; id < 8; ++id)
            EXPECT_EQ(unit.GetParameter(id, kAudioUnitScope_Global, 0, values[id]), noErr);
    }
    return records;
}

void expectRecordsMatch(const std::vector<json>& lines,
                        const std::vector<std::array<float, 8>>& direct, std::size_t block) {
    static const char* const kKeys[] = {"precision", "pitch", "frequency", "lower",
                                        "central",   "upper", "note",      "deviation"};
    ASSERT_EQ(lines.size(), direct.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i]["frame"], i * block);
        for (int id = 0; id < 8; ++id) {
            const json& value = lines[i][kKeys[id]];
            if (value.is_null())
                EXPECT_FALSE(std::isfinite(direct[i][id])) << i << " " << kKeys[id];
            else
                EXPECT_EQ(static_cast<float>(value.get<double>()), direct[i][id])
                    << "block " << i << " " << kKeys[id];
        }
    }
}

}  // namespace

TEST(Analyze, JsonlEqualsTheUnitsParametersReadDirectly) {
    TempDir dir;
    struct Case {
        const char* name;
        double rateHz;
        int subtype;
        Channels audio;
        UInt32 block;
    } cases[] = {
        {"mono16.wav", 44100.0, SF_FORMAT_PCM_16, tones(44100.0, {{220.0, 330.0, 98.0}}, 0.3), 512},
        {"stereo-float.wav", 48000.0, SF_FORMAT_FLOAT,
         tones(48000.0, {{196.0, 440.0}, {293.66, 82.41}}, 0.35), 300},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / c.name;
        writeAudio(path, c.rateHz, c.audio, c.subtype);
        const CommandRun run =
            runMarvex("analyze '" + path + "' --block " + std::to_string(c.block));
        ASSERT_EQ(run.status, 0) << run.err;
        double rateHz = 0.0;
        const Channels asRead = readAudio(path, rateHz);  // 16-bit files are quantised
        const auto lines = jsonLines(run.out);
        expectRecordsMatch(lines, directRecords(rateHz, asRead, c.block), c.block);
        ASSERT_FALSE(lines.empty());
        // The last block is the short remainder.
        EXPECT_EQ(lines.back()["frames"], asRead[0].size() - (lines.size() - 1) * c.block);
    }
}

TEST(Tune, FindsTheNotesOfAGeneratedSequence) {
    TempDir dir;
    using marvex::PlayedNote;
    // A2 +10 cents, E3 -20 cents, C4 in tune, with silences between; stereo, 48 kHz, float.
    const auto performance =
        marvex::synthesise({PlayedNote{24, 10.0, 0.2, 1.3}, PlayedNote{31, -20.0, 1.8, 1.3},
                            PlayedNote{39, 0.0, 3.4, 1.3}},
                           48000.0, 5.0);
    const std::string path = dir / "sequence.wav";
    writeAudio(path, 48000.0, {performance.samples, performance.samples}, SF_FORMAT_FLOAT);

    const CommandRun run = runMarvex("tune '" + path + "' --format jsonl");
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<json> notes;
    for (const json& segment : jsonLines(run.out))
        if (segment["kind"] == "note") notes.push_back(segment);
    ASSERT_EQ(notes.size(), 3u) << run.out;
    const char* names[] = {"A2", "E3", "C4"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(notes[i]["note_name"], names[i]);
        // Periods are averaged over many half-wave pairs: well within a cent of the truth.
        EXPECT_NEAR(notes[i]["cents"].get<double>(), performance.notes[i].centsOff, 1.0)
            << names[i];
        EXPECT_NEAR(notes[i]["start"].get<double>(), performance.notes[i].startSeconds, 0.1);
    }

    const CommandRun text = runMarvex("tune '" + path + "'");
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("(silence)"), std::string::npos);
    EXPECT_NE(text.out.find("E3"), std::string::npos);
}

TEST(DefaultCommand, TunesTheSixOpenStrings) {
    const CommandRun run = runMarvex("");
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* note : {"E2", "A2", "D3", "G3", "B3", "E4"}) {
        // "  E2   +14.0  ->  E2 ..." : each string is heard as itself.
        const std::string played = std::string("  ") + note;
        const auto at = run.out.find(played);
        ASSERT_NE(at, std::string::npos) << run.out;
        const auto arrow = run.out.find("->  ", at);
        ASSERT_NE(arrow, std::string::npos);
        EXPECT_EQ(run.out.substr(arrow + 4, 2), note) << run.out;
    }
}

TEST(State, SavedStateShowsAndStartsTheTuner) {
    TempDir dir;
    const std::string state = dir / "a442.plist";
    const CommandRun save = runMarvex("state save '" + state + "' --pitch 442 --precision 3");
    ASSERT_EQ(save.status, 0) << save.err;
    EXPECT_NE(slurp(state).find("<plist"), std::string::npos);

    const CommandRun show = runMarvex("state show '" + state + "'");
    ASSERT_EQ(show.status, 0) << show.err;
    EXPECT_NE(show.out.find("Pitch             442"), std::string::npos) << show.out;
    EXPECT_NE(show.out.find("Precision         3"), std::string::npos) << show.out;

    const std::string path = dir / "tone.wav";
    writeAudio(path, 44100.0, tones(44100.0, {{442.0}}, 0.3), SF_FORMAT_FLOAT);
    const CommandRun analyze = runMarvex("analyze '" + path + "' --state '" + state + "'");
    ASSERT_EQ(analyze.status, 0) << analyze.err;
    const auto lines = jsonLines(analyze.out);
    EXPECT_EQ(lines.back()["pitch"], 442);
    EXPECT_EQ(lines.back()["precision"], 3);
    EXPECT_EQ(lines.back()["central"], 442);  // the grid follows the saved reference

    // An explicit setting overrides the state's.
    const CommandRun overridden =
        runMarvex("analyze '" + path + "' --state '" + state + "' --pitch 440");
    EXPECT_EQ(jsonLines(overridden.out).back()["pitch"], 440);
}

namespace {

// Width and height from a PNG file's header.
std::pair<std::uint32_t, std::uint32_t> pngSize(const std::string& path) {
    const std::string bytes = slurp(path);
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return {0, 0};
    auto word = [&](std::size_t at) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i) value = (value << 8) | std::uint8_t(bytes[at + i]);
        return value;
    };
    return {word(16), word(20)};
}

}  // namespace

TEST(View, DrawsWhatTheTunerPublishesAtTheGlassSize) {
    TempDir dir;
    const std::string path = dir / "sharp.wav";
    writeAudio(path, 44100.0, tones(44100.0, {{220.0 * std::exp2(20.0 / 1200.0)}}, 1.0),
               SF_FORMAT_FLOAT);
    // The record of the block holding 0.5 s (frame 22050) is what the view must show.
    const auto records = jsonLines(runMarvex("analyze '" + path + "'").out);
    const json& record = records.at(22050 / 512);
    ASSERT_GT(record["deviation"].get<double>(), 0.2);

    const std::string atMoment = dir / "at.png";
    const std::string asGiven = dir / "given.png";
    ASSERT_EQ(runMarvex("view '" + path + "' --at 0.5 -o '" + atMoment + "'").status, 0);
    char deviation[32];
    std::snprintf(deviation, sizeof deviation, "%.9g", record["deviation"].get<double>());
    ASSERT_EQ(
        runMarvex("view --deviation " + std::string(deviation) + " -o '" + asGiven + "'").status,
        0);
    EXPECT_EQ(slurp(atMoment), slurp(asGiven));
    const auto glass = pngSize(std::string(MARVEX_BUNDLE) +
                               "/Resources/QuillmoorMarvex_CocoaViewFactory.bundle/Resources/"
                               "glass.png");
    ASSERT_NE(glass.first, 0u);
    EXPECT_EQ(pngSize(atMoment), glass);
    const CommandRun late = runMarvex("view '" + path + "' --at 5 -o '" + (dir / "x.png") + "'");
    EXPECT_EQ(late.status, 2);
    EXPECT_NE(late.err.find("lasts only"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "x.png"));
}

TEST(Info, ListsIdentityParametersAndProperties) {
    const CommandRun run = runMarvex("info --format json");
    ASSERT_EQ(run.status, 0) << run.err;
    const json info = json::parse(run.out);
    EXPECT_EQ(info["version"], 0x00010500);
    ASSERT_EQ(info["parameters"].size(), 8u);
    EXPECT_EQ(info["parameters"][1]["name"], "Pitch");
    EXPECT_EQ(info["parameters"][7]["min"], -1);
    bool hasView = false;
    for (const json& property : info["properties"])
        hasView = hasView || (property["name"] == "CocoaUI" && property["scope"] == "global");
    EXPECT_TRUE(hasView);
}
