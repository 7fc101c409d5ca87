// Bad input to `marvex` with the tuner's own bundle: damaged audio files, absurd sample rates
// and channel counts, absurd block sizes and malformed state files. A refused case ends with its
// exit status and a message that names the problem and leaves no output file; an odd but valid
// file is analysed whole. None may crash or hang.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/host/cli/CommandRunner.h"

namespace {

using namespace marvex::test;

void Patch(const std::string& path, std::size_t offset, const std::vector<unsigned char>& bytes) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(std::streamoff(offset));
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void Truncate(const std::string& path, std::uintmax_t keep) {
    std::filesystem::resize_file(path, keep);
}

// Cases the pass-through fixture cannot show: the tuner's own refusals, and files that are odd
// for the tuner. A refused case leaves its exit status, a message naming the problem and no
// output file; an odd but valid file is analysed whole.
TEST(MarvexBadInput, EachCaseEndsWithItsStatusAndAMessage) {
    TempDir dir;
    const std::string bundle = std::string(" --bundle '") + MARVEX_BUNDLE + "' ";
    auto analyze = [&](const std::string& file, const std::string& more = "") {
        return "analyze '" + dir / file + "'" + bundle + more + " -o '" + dir / "out.jsonl" + "'";
    };
    const Channels second = tones(44100.0, {{440.0}}, 1.0);
    for (const char* name : {"tone.wav", "header-only.wav", "no-channels.wav"})
        writeAudio(dir / name, 44100.0, second, SF_FORMAT_FLOAT);
    Truncate(dir / "header-only.wav", 30);
    Patch(dir / "no-channels.wav", 22, {0, 0});  // fmt chunk: channel count 0
    writeAudio(dir / "rate-1.wav", 1.0, tones(1.0, {{0.1}}, 64.0), SF_FORMAT_FLOAT);
    writeAudio(dir / "many-channels.wav", 44100.0, Channels(300, std::vector<float>(64, 0.1f)),
               SF_FORMAT_FLOAT);
    auto state = [&](const char* name, const std::string& inner) {
        std::ofstream(dir / name) << "<?xml version=\"1.0\"?><plist version=\"1.0\">" << inner
                                  << "</plist>";
        return "--state '" + dir / name + "'";
    };
    const struct {
        std::string args;
        int status;
        std::string says;  // a piece of the message
    } cases[] = {
        {analyze("header-only.wav"), 3, "header-only.wav"},
        {analyze("no-channels.wav"), 3, "no-channels.wav"},
        {analyze("rate-1.wav"), 0, ""},
        {analyze("many-channels.wav"), 0, ""},
        {analyze("tone.wav", "--block 65537"), 2, "--block"},
        {analyze("tone.wav", "--pitch nan"), 2, "--pitch"},
        {analyze("tone.wav", state("array.plist", "<array/>")), 5, "array.plist"},
        {analyze("tone.wav",
                 state("version.plist", "<dict><key>version</key><string>0</string></dict>")),
         5, "version.plist"},
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

// A file cut short inside its audio: the header promises more frames than there are. The
// program reads what is there and says the file ended early, or refuses it; it never reports
// blocks past the end.
TEST(MarvexBadInput, AudioCutShortIsNotAnalysedPastItsEnd) {
    TempDir dir;
    writeAudio(dir / "cut.wav", 44100.0, tones(44100.0, {{440.0}}, 1.0), SF_FORMAT_FLOAT);
    const auto bytes = std::filesystem::file_size(dir / "cut.wav");
    Truncate(dir / "cut.wav", bytes / 2);
    const CommandRun run = runMarvex("analyze '" + dir / "cut.wav" + "' --bundle '" +
                                     MARVEX_BUNDLE + "' --block 1024");
    ASSERT_TRUE(run.status == 0 || run.status == 3) << run.err;
    const auto lines = jsonLines(run.out);
    const double framesPresent = double(bytes / 2 - 44) / 4.0;
    for (const auto& line : lines)
        EXPECT_LT(line["frame"].get<double>(), framesPresent) << line.dump();
    if (run.status == 3) {
        EXPECT_NE(run.err.find("cut.wav"), std::string::npos) << run.err;
    }
}

}  // namespace
