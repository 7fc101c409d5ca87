#pragma once
// Running the built `marvex` from tests, and the audio files they feed it.

#include <sndfile.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/host/TempDir.h"

namespace marvex::test {

namespace fs = std::filesystem;
using nlohmann::json;

struct CommandRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the built program with `args` (shell words), standard input from `input`.
inline CommandRun runMarvex(const std::string& args, const std::string& input = "/dev/null") {
    static const TempDir dir;  // for what the program writes to its standard output and error
    const std::string command = std::string("'") + MARVEX_EXE + "' " + args + " <'" + input +
                                "' >'" + dir / "out" + "' 2>'" + dir / "err" + "'";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir / "out"), slurp(dir / "err")};
}

inline std::vector<json> jsonLines(const std::string& text) {
    std::vector<json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
    return lines;
}

// Planar audio: one vector per channel.
using Channels = std::vector<std::vector<float>>;

inline Channels tones(double rateHz, std::initializer_list<std::vector<double>> channelNotesHz,
                      double secondsPerNote) {
    Channels channels;
    for (const auto& notes : channelNotesHz) {
        std::vector<float>& samples = channels.emplace_back();
        double phase = 0.0;
        for (double hz : notes) {
            for (int i = 0; i < static_cast<int>(secondsPerNote * rateHz); ++i) {
                samples.push_back(static_cast<float>(0.4 * std::sin(phase)));
                phase += 2.0 * std::numbers::pi * hz / rateHz;
            }
        }
    }
    return channels;
}

inline void writeAudio(const std::string& path, double rateHz, const Channels& channels,
                       int subtype) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(rateHz);
    info.channels = static_cast<int>(channels.size());
    info.format = SF_FORMAT_WAV | subtype;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> interleaved;
    for (std::size_t i = 0; i < channels[0].size(); ++i)
        for (const auto& channel : channels) interleaved.push_back(channel[i]);
    sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(channels[0].size()));
    sf_close(file);
}

}  // namespace marvex::test
