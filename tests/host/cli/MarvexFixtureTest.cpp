// `marvex` end to end against a fixture bundle holding the pass-through unit: the command line,
// file and standard input, blocks, output files and every refusal, without the tuner.
#include <gtest/gtest.h>

#include <numeric>

#include "tests/host/cli/CommandRunner.h"

using namespace marvex::test;

namespace {

// Runs `marvex` with the fixture bundle.
CommandRun withFixture(const std::string& args, const std::string& input = "/dev/null") {
    return runMarvex("--bundle '" PASSTHROUGH_BUNDLE "' " + args, input);
}

Channels ramps(std::size_t frames, std::size_t channelCount) {
    Channels channels(channelCount);
    for (std::size_t c = 0; c < channelCount; ++c)
        for (std::size_t i = 0; i < frames; ++i)
            channels[c].push_back(static_cast<float>((i % 100) + c) / 256.0f);
    return channels;
}

}  // namespace

TEST(Fixture, EveryBlockReachesTheUnitInOrder) {
    TempDir dir;
    const std::string path = dir / "ramps.wav";
    const Channels audio = ramps(1000, 2);
    writeAudio(path, 48000.0, audio, SF_FORMAT_FLOAT);

    const CommandRun run = withFixture("analyze '" + path + "' --block 300");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = jsonLines(run.out);
    ASSERT_EQ(lines.size(), 4u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t first = i * 300;
        const std::size_t frames = std::min<std::size_t>(300, 1000 - first);
        EXPECT_EQ(lines[i]["frame"], first);
        EXPECT_EQ(lines[i]["frames"], frames);
        // The unit publishes the sum of the first channel's block, its length and its time.
        const float sum =
            std::accumulate(audio[0].begin() + first, audio[0].begin() + first + frames, 0.0f);
        EXPECT_EQ(static_cast<float>(lines[i]["frequency"].get<double>()), sum) << i;
        EXPECT_EQ(lines[i]["lower"], frames);
        EXPECT_EQ(lines[i]["central"], first);
    }
    EXPECT_EQ(withFixture("analyze - --block 300", path).out, run.out);
}

TEST(Fixture, OutputFilesAppearWholeOrNotAtAll) {
    TempDir dir;
    const std::string path = dir / "ramps.wav";
    writeAudio(path, 44100.0, ramps(2000, 1), SF_FORMAT_PCM_16);
    const std::string out = dir / "records.csv";
    const CommandRun run = withFixture("analyze '" + path + "' --format csv -o '" + out + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out.empty());
    std::istringstream rows(slurp(out));
    std::size_t count = 0;
    for (std::string row; std::getline(rows, row);) ++count;
    EXPECT_EQ(count, 1u + 4u);  // header and 2000 frames in blocks of 512

    // A device is written in place, as benchmarks do with /dev/null.
    EXPECT_EQ(withFixture("analyze '" + path + "' -o /dev/null").status, 0);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    // Nine channels are more than the unit takes: refused, and the old output stays.
    const std::string wide = dir / "wide.wav";
    writeAudio(wide, 44100.0, ramps(100, 9), SF_FORMAT_PCM_16);
    const std::string before = slurp(out);
    const CommandRun refused = withFixture("analyze '" + wide + "' -o '" + out + "'");
    EXPECT_EQ(refused.status, 5);
    EXPECT_NE(refused.err.find("refuses 9 channels at 44100 Hz"), std::string::npos) << refused.err;
    EXPECT_EQ(slurp(out), before);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 3u);
}

TEST(Fixture, BrokenBundlesAreReportedWithTheirReason) {
    TempDir dir;
    fs::create_directories(dir.path() / "Empty.bundle");
    fs::create_directories(dir.path() / "NoModule.bundle");
    fs::copy_file(fs::path(PASSTHROUGH_BUNDLE) / "Info.plist",
                  dir.path() / "NoModule.bundle" / "Info.plist");
    const std::string tone = dir / "tone.wav";
    writeAudio(tone, 44100.0, ramps(100, 1), SF_FORMAT_PCM_16);
    for (const char* bundle : {"Empty.bundle", "NoModule.bundle", "Nowhere.bundle"}) {
        const CommandRun run =
            runMarvex("analyze '" + tone + "' --bundle '" + (dir / bundle) + "'");
        EXPECT_EQ(run.status, 6) << bundle;
        EXPECT_NE(run.err.find(bundle), std::string::npos) << run.err;
    }
}

TEST(CommandLine, EveryCommandHasHelp) {
    for (const char* command :
         {"", "analyze", "tune", "view", "state", "state save", "state show", "info", "perform"}) {
        const CommandRun run = withFixture(std::string(command) + " --help");
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_NE(run.out.find("Usage:"), std::string::npos) << command;
    }
}

TEST(CommandLine, BadInputGetsAMessageAndItsExitStatus) {
    TempDir dir;
    const std::string tone = dir / "tone.wav";
    writeAudio(tone, 44100.0, tones(44100.0, {{440.0}}, 0.2), SF_FORMAT_PCM_16);
    std::ofstream(dir / "notes.txt") << "not audio at all\n";
    std::ofstream(dir / "empty.wav");
    std::ofstream(dir / "other.plist")
        << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>version</key>"
           "<integer>1</integer></dict></plist>";
    std::ofstream(dir / "broken.plist") << "<plist><dict><key>";
    struct Case {
        std::string args;
        int status;
        const char* says;
    } cases[] = {
        {"analyze '" + (dir / "missing.wav") + "'", 3, "No such file"},
        {"analyze '" + (dir / "notes.txt") + "'", 3, "not an audio file"},
        {"tune '" + (dir / "empty.wav") + "'", 3, "empty.wav"},
        {"analyze '" + dir.path().string() + "'", 3, "directory"},
        {"analyze - ", 3, "standard input"},
        {"analyze '" + tone + "' --pitch abc", 2, "--pitch"},
        {"analyze '" + tone + "' --pitch 1000", 2, "--pitch"},
        {"analyze '" + tone + "' --block 0", 2, "--block"},
        {"analyze '" + tone + "' --precision 1.5", 2, "--precision"},
        {"analyze '" + tone + "' --format xml", 2, "--format"},
        {"analyze", 2, "FILE"},
        {"frobnicate", 2, "frobnicate"},
        {"analyze '" + tone + "' -o '" + (dir / "no/such/dir/out.jsonl") + "'", 4, "out.jsonl"},
        {"analyze '" + tone + "' -o '" + dir.path().string() + "'", 4, "directory"},
        {"analyze '" + tone + "' --state '" + (dir / "other.plist") + "'", 5, "other.plist"},
        {"analyze '" + tone + "' --state '" + (dir / "broken.plist") + "'", 3, "broken.plist"},
        {"state show '" + (dir / "missing.plist") + "'", 3, "missing.plist"},
    };
    for (const Case& c : cases) {
        const CommandRun run = withFixture(c.args);
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.args << "\n" << run.err;
        EXPECT_TRUE(run.out.empty()) << c.args;
    }
    // Nothing half-written was left behind by the failures.
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos);
}
