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

// Bytes of a file, changed in place.
void Patch(const std::string& path, std::size_t offset, const std::vector<unsigned char>& bytes) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(std::streamoff(offset));
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void Truncate(const std::string& path, std::uintmax_t keep) {
    std::filesystem::resize_file(path, keep);
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A state file that passes for the tuner's in everything but `inner`.
std::string StatePlist(const std::string& inner) {
    return "<?xml version=\"1.0\"?><plist version=\"1.0\">" + inner + "</plist>";
}

std::string Nested(int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<array>";
    text += "<integer>0</integer>";
    for (int i = 0; i < depth; ++i) text += "</array>";
    return StatePlist(text);
}

struct Case {
    std::string args;
    int status;
    std::string says;  // a piece of the message
};

TEST(MarvexBadInput, EachCaseEndsWithItsStatusAndAMessage) {
    TempDir dir;
    const std::string bundle = std::string(" --bundle '") + MARVEX_BUNDLE + "' ";
    auto analyze = [&](const std::string& file, const std::string& more = "") {
        return "analyze '" + dir / file + "'" + bundle + more + " -o '" + dir / "out.jsonl" + "'";
    };

    const Channels second = tones(44100.0, {{440.0}}, 1.0);
    writeAudio(dir / "tone.wav", 44100.0, second, SF_FORMAT_FLOAT);
    const auto wavBytes = std::filesystem::file_size(dir / "tone.wav");

    // Damaged audio files.
    writeAudio(dir / "header-only.wav", 44100.0, second, SF_FORMAT_FLOAT);
    Truncate(dir / "header-only.wav", 30);
    writeAudio(dir / "no-channels.wav", 44100.0, second, SF_FORMAT_FLOAT);
    Patch(dir / "no-channels.wav", 22, {0, 0});  // fmt chunk: channel count 0
    writeAudio(dir / "no-rate.wav", 44100.0, second, SF_FORMAT_FLOAT);
    Patch(dir / "no-rate.wav", 24, {0, 0, 0, 0});  // fmt chunk: sample rate 0
    Write(dir / "riff-only.wav", "RIFF\x24\x00\x00\x00WAVEfmt ");

    // Odd but valid files: the tuner takes any rate and one kernel per channel, so these are
    // analysed whole (status 0, nothing on standard error).
    writeAudio(dir / "rate-1.wav", 1.0, tones(1.0, {{0.1}}, 64.0), SF_FORMAT_FLOAT);
    writeAudio(dir / "rate-2e9.wav", 2e9, Channels(1, std::vector<float>(600, 0.1f)),
               SF_FORMAT_FLOAT);
    writeAudio(dir / "many-channels.wav", 44100.0, Channels(300, std::vector<float>(64, 0.1f)),
               SF_FORMAT_FLOAT);

    // State files.
    Write(dir / "empty.plist", "");
    Write(dir / "binary-garbage.plist", std::string("bplist00\xff\xff\xff\xff\x00\x01", 14));
    Write(dir / "too-deep.plist", Nested(200));
    Write(dir / "array.plist", Nested(1));
    Write(dir / "version-text.plist",
          StatePlist("<dict><key>version</key><string>0</string></dict>"));
    Write(dir / "unclosed.plist", StatePlist("<dict><key>version</key><integer>0"));

    const std::vector<Case> cases = {
        {analyze("header-only.wav"), 3, "header-only.wav"},
        {analyze("no-channels.wav"), 3, "no-channels.wav"},
        {analyze("no-rate.wav"), 3, "no-rate.wav"},
        {analyze("riff-only.wav"), 3, "riff-only.wav"},
        {analyze("rate-1.wav"), 0, ""},
        {analyze("rate-2e9.wav"), 0, ""},
        {analyze("many-channels.wav"), 0, ""},
        {analyze("tone.wav", "--block 65537"), 2, "--block"},
        {analyze("tone.wav", "--block 4294967297"), 2, "--block"},
        {analyze("tone.wav", "--block -1"), 2, "--block"},
        {analyze("tone.wav", "--pitch nan"), 2, "--pitch"},
        {analyze("tone.wav", "--state '" + dir / "empty.plist" + "'"), 3, "empty.plist"},
        {analyze("tone.wav", "--state '" + dir / "binary-garbage.plist" + "'"), 3,
         "binary-garbage.plist"},
        {analyze("tone.wav", "--state '" + dir / "too-deep.plist" + "'"), 3, "too-deep.plist"},
        {analyze("tone.wav", "--state '" + dir / "unclosed.plist" + "'"), 3, "unclosed.plist"},
        {analyze("tone.wav", "--state '" + dir / "array.plist" + "'"), 5, "array.plist"},
        {analyze("tone.wav", "--state '" + dir / "version-text.plist" + "'"), 5,
         "version-text.plist"},
        {"state show '" + dir / "too-deep.plist" + "'" + bundle, 3, "too-deep.plist"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(dir / "out.jsonl");
        const CommandRun run = runMarvex(c.args);
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
        EXPECT_TRUE(run.out.empty()) << c.args;
        if (c.status == 0) {
            EXPECT_TRUE(run.err.empty()) << c.args << "\n" << run.err;
            EXPECT_FALSE(jsonLines(slurp(dir / "out.jsonl")).empty()) << c.args;
        } else {
            EXPECT_NE(run.err.find(c.says), std::string::npos) << c.args << "\n" << run.err;
            EXPECT_FALSE(std::filesystem::exists(dir / "out.jsonl")) << c.args;
        }
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos);
    EXPECT_GT(wavBytes, 44u);
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
