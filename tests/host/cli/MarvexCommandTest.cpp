// `marvex` end to end: the built program runs on generated files with the build tree's plug-in
// bundle.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "host/NoteName.h"
#include "host/cli/PerformanceSynth.h"
#include "tests/host/cli/CommandRunner.h"

using namespace marvex::test;

// The built-in performance, six open strings each a little out of tune, is heard string by
// string: by `tune` from the file `perform` writes, and in the default command's table.
TEST(Tune, HearsEachStringOfTheBuiltInPerformance) {
    TempDir dir;
    ASSERT_EQ(runMarvex("perform -o '" + dir / "strings.wav" + "'").status, 0);
    const CommandRun run = runMarvex("tune '" + dir / "strings.wav" + "' --format jsonl");
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<json> notes;
    for (const json& segment : jsonLines(run.out))
        if (segment["kind"] == "note") notes.push_back(segment);
    const std::vector<marvex::PlayedNote> played = marvex::openStringsPerformance().notes;
    ASSERT_EQ(notes.size(), played.size()) << run.out;
    const std::string table = runMarvex("").out;
    for (std::size_t i = 0; i < played.size(); ++i) {
        const std::string name = marvex::noteName(played[i].bin);
        EXPECT_EQ(notes[i]["note_name"], name);
        // Periods are averaged over many half-wave pairs: well within a cent of the truth.
        EXPECT_NEAR(notes[i]["cents"].get<double>(), played[i].centsOff, 1.0);
        EXPECT_NEAR(notes[i]["start"].get<double>(), played[i].startSeconds, 0.1);
        const std::size_t row = table.find("  " + name + " ");
        ASSERT_NE(row, std::string::npos) << table;
        EXPECT_EQ(table.substr(table.find("->  ", row) + 4, name.size() + 1), name + " ") << table;
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
    const std::string path = dir / "sharp.wav";
    writeAudio(path, 44100.0, tones(44100.0, {{220.0 * std::exp2(20.0 / 1200.0)}}, 1.0),
               SF_FORMAT_FLOAT);
    // The record of the block holding 0.5 s (frame 22050) is what the view must show.
    const json deviation =
        jsonLines(runMarvex("analyze '" + path + "'").out).at(22050 / 512)["deviation"];
    ASSERT_GT(deviation, 0.2);
    ASSERT_EQ(runMarvex("view '" + path + "' --at 0.5 -o '" + dir / "at.png" + "'").status, 0);
    const std::string given = "view --deviation " + deviation.dump() + " -o '" + dir / "given.png";
    ASSERT_EQ(runMarvex(given + "'").status, 0);
    EXPECT_EQ(slurp(dir / "at.png"), slurp(dir / "given.png"));
}
