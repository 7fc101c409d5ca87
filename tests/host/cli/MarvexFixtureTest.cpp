// `marvex` end to end against a fixture bundle holding the pass-through unit: the command line,
// file and standard input, blocks, output files and refusals, without the tuner.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "tests/host/cli/CommandRunner.h"

using namespace marvex::test;

const std::string kFixture = "--bundle '" PASSTHROUGH_BUNDLE "' ";

// Every channel of every block reaches the unit in order, the last block short, from a file or
// from standard input; the records go to standard output or to a file.
TEST(Fixture, EveryBlockReachesTheUnitInOrder) {
    TempDir dir;
    const std::string path = dir / "tones.wav";
    const Channels audio = tones(48000.0, {{440.0}, {660.0}}, 0.0225);  // 1080 frames
    writeAudio(path, 48000.0, audio, SF_FORMAT_FLOAT);
    const std::string analyze = kFixture + "analyze '" + path + "' --block 300";
    const CommandRun run = runMarvex(analyze);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = jsonLines(run.out);
    ASSERT_EQ(lines.size(), 4u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t first = i * 300, frames = std::min<std::size_t>(300, 1080 - first);
        EXPECT_EQ(lines[i]["frame"], first);
        EXPECT_EQ(lines[i]["frames"], frames);
        // The unit publishes the sum of the last channel's block and its time.
        const auto block = audio.back().begin() + static_cast<std::ptrdiff_t>(first);
        const float sum = std::accumulate(block, block + static_cast<std::ptrdiff_t>(frames), 0.0f);
        EXPECT_EQ(static_cast<float>(lines[i]["frequency"].get<double>()), sum) << i;
        EXPECT_EQ(lines[i]["central"], first);
    }
    EXPECT_EQ(runMarvex(kFixture + "analyze - --block 300", path).out, run.out);
    // Into a file, a header and a row a block.
    EXPECT_EQ(runMarvex(analyze + " --format csv -o '" + dir / "r.csv" + "'").out, "");
    EXPECT_EQ(std::ranges::count(slurp(dir / "r.csv"), '\n'), 5);
}

TEST(CommandLine, BadInputGetsAMessageAndItsExitStatus) {
    TempDir dir;
    const std::string tone = dir / "tone.wav", kept = dir / "kept.txt";
    writeAudio(tone, 44100.0, tones(44100.0, {{440.0}}, 0.2), SF_FORMAT_PCM_16);
    writeAudio(dir / "wide.wav", 44100.0, Channels(9, std::vector<float>(100, 0.1f)),
               SF_FORMAT_PCM_16);
    std::ofstream(kept) << "old";
    std::ofstream(dir / "notes.txt") << "not audio at all\n";
    std::ofstream(dir / "other.plist")
        << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>version</key>"
           "<integer>1</integer></dict></plist>";
    fs::create_directories(dir.path() / "Empty.bundle");
    const std::string analyze = kFixture + "analyze '" + tone + "' ";
    const struct {
        std::string args;
        int status;
        std::string says;
    } cases[] = {
        {kFixture + "analyze '" + (dir / "missing.wav") + "'", 3, "No such file"},
        {kFixture + "analyze '" + (dir / "notes.txt") + "'", 3, "not an audio file"},
        {analyze + "--pitch nan", 2, "--pitch"},
        {analyze + "--block 0", 2, "--block"},
        {kFixture + "frobnicate", 2, "frobnicate"},
        {analyze + "-o '" + (dir / "no/such/dir/out.jsonl") + "'", 4, "out.jsonl"},
        {analyze + "--state '" + (dir / "other.plist") + "'", 5, "other.plist"},
        // More channels than the unit takes: refused, and the old output stays.
        {kFixture + "analyze '" + (dir / "wide.wav") + "' -o '" + kept + "'", 5,
         "refuses 9 channels at 44100 Hz"},
        {"analyze '" + tone + "' --bundle '" + (dir / "Empty.bundle") + "'", 6, "Empty.bundle"},
    };
    for (const auto& c : cases) {
        const CommandRun run = runMarvex(c.args);
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.args << "\n" << run.err;
        EXPECT_TRUE(run.out.empty()) << c.args;
    }
    EXPECT_EQ(slurp(kept), "old");
}
