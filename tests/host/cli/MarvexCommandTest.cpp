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
    for (std::size_t at = 0; at < audio[0].size() && unit; at += block) {
        const auto frames = static_cast<UInt32>(std::min<std::size_t>(block, audio[0].size() - at));
        EXPECT_EQ(RenderInto(unit, out, at, frames), noErr);
        std::array<float, 8>& values = records.emplace_back();
        for (UInt32 id = 0; id < 8; ++id) values[id] = Parameter(unit, id);
    }
    return records;
}

}  // namespace

TEST(Analyze, JsonlEqualsTheUnitsParametersReadDirectly) {
    TempDir dir;
    const struct {
        const char* name;
        double rateHz;
        Channels audio;
        UInt32 block;
    } cases[] = {
        {"mono.wav", 44100.0, tones(44100.0, {{220.0, 330.0, 98.0}}, 0.3), 512},
        {"stereo.wav", 48000.0, tones(48000.0, {{196.0, 440.0}, {293.66, 82.41}}, 0.35), 300},
    };
    static const char* const kKeys[] = {"precision", "pitch", "frequency", "lower",
                                        "central",   "upper", "note",      "deviation"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeAudio(dir / c.name, c.rateHz, c.audio, SF_FORMAT_FLOAT);
        const CommandRun run =
            runMarvex("analyze '" + dir / c.name + "' --block " + std::to_string(c.block));
        ASSERT_EQ(run.status, 0) << run.err;
        const auto direct = directRecords(c.rateHz, c.audio, c.block);
        const auto lines = jsonLines(run.out);
        ASSERT_EQ(lines.size(), direct.size());
        for (std::size_t i = 0; i < lines.size(); ++i) {
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
        EXPECT_NEAR(notes[i]["cents"].get<double>(), performance.notes[i].centsOff, 1.0);
        EXPECT_NEAR(notes[i]["start"].get<double>(), performance.notes[i].startSeconds, 0.1);
    }
}

TEST(DefaultCommand, TunesTheSixOpenStrings) {
    const CommandRun run = runMarvex("");
    ASSERT_EQ(run.status, 0) << run.err;
    for (const std::string note : {"E2", "A2", "D3", "G3", "B3", "E4"}) {
        // "  E2   +14.0  ->  E2 ..." : each string is heard as itself.
        const auto played = run.out.find("  " + note);
        ASSERT_NE(played, std::string::npos) << run.out;
        EXPECT_EQ(run.out.substr(run.out.find("->  ", played) + 4, 2), note) << run.out;
    }
}

TEST(State, SavedStateStartsTheTuner) {
    TempDir dir;
    const std::string state = dir / "a442.plist", tone = dir / "tone.wav";
    ASSERT_EQ(runMarvex("state save '" + state + "' --pitch 442 --precision 3").status, 0);

    writeAudio(tone, 44100.0, tones(44100.0, {{442.0}}, 0.3), SF_FORMAT_FLOAT);
    const std::string analyze = "analyze '" + tone + "' --state '" + state + "'";
    const json last = jsonLines(runMarvex(analyze).out).back();
    EXPECT_EQ(last["pitch"], 442);
    EXPECT_EQ(last["precision"], 3);
    EXPECT_EQ(last["central"], 442);  // the grid follows the saved reference
    // An explicit setting overrides the state's.
    EXPECT_EQ(jsonLines(runMarvex(analyze + " --pitch 440").out).back()["pitch"], 440);
}

TEST(View, DrawsWhatTheTunerPublishesAtAMoment) {
    TempDir dir;
    const std::string path = dir / "sharp.wav", atMoment = dir / "at.png";
    writeAudio(path, 44100.0, tones(44100.0, {{220.0 * std::exp2(20.0 / 1200.0)}}, 1.0),
               SF_FORMAT_FLOAT);
    // The record of the block holding 0.5 s (frame 22050) is what the view must show.
    const double deviation =
        jsonLines(runMarvex("analyze '" + path + "'").out).at(22050 / 512)["deviation"];
    ASSERT_GT(deviation, 0.2);
    ASSERT_EQ(runMarvex("view '" + path + "' --at 0.5 -o '" + atMoment + "'").status, 0);
    char given[32];
    std::snprintf(given, sizeof given, "%.9g", deviation);
    ASSERT_EQ(
        runMarvex("view --deviation " + std::string(given) + " -o '" + dir / "given.png" + "'")
            .status,
        0);
    EXPECT_EQ(slurp(atMoment), slurp(dir / "given.png"));
}
