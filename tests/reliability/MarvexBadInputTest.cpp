// Bad input to `marvex` with the tuner's own bundle: a damaged audio file, an absurd channel
// count, a number option that is not a number. None may crash or hang.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/host/cli/CommandRunner.h"

namespace {

using namespace marvex::test;

// Cases the pass-through fixture cannot show: the tuner's own refusals, and files that are odd
// for the tuner. A refused case leaves its exit status, a message naming the problem and no
// output file; an odd but valid file is analysed whole.
TEST(MarvexBadInput, EachCaseEndsWithItsStatusAndAMessage) {
    TempDir dir;
    auto analyze = [&](const std::string& file, const std::string& more = "") {
        return "analyze '" + dir / file + "' --bundle '" + MARVEX_BUNDLE + "' " + more + " -o '" +
               dir / "out.jsonl" + "'";
    };
    for (const char* name : {"tone.wav", "header-only.wav"})
        writeAudio(dir / name, 44100.0, tones(44100.0, {{440.0}}, 1.0), SF_FORMAT_FLOAT);
    std::filesystem::resize_file(dir / "header-only.wav", 30);
    writeAudio(dir / "many-channels.wav", 44100.0, Channels(300, std::vector<float>(64, 0.1f)),
               SF_FORMAT_FLOAT);
    const struct {
        std::string args;
        int status;
        std::string says;  // a piece of the message
    } cases[] = {
        {analyze("header-only.wav"), 3, "header-only.wav"},
        {analyze("many-channels.wav"), 0, ""},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(dir / "out.jsonl");
        const CommandRun run = runMarvex(c.args);
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
        if (c.status == 0) {
            EXPECT_TRUE(run.err.empty()) << c.args << "\n" << run.err;
            EXPECT_FALSE(jsonLines(slurp(dir / "out.jsonl")).empty()) << c.args;
        } else {
            EXPECT_NE(run.err.find(c.says), std::string::npos) << c.args << "\n" << run.err;
            EXPECT_FALSE(std::filesystem::exists(dir / "out.jsonl")) << c.args;
        }
    }
}

}  // namespace
