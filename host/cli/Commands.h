#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/TuneSegmenter.h"
#include "host/TunerSession.h"
#include "host/cli/ExitCode.h"
#include "host/cli/IntonationOptions.h"
#include "host/live/LiveSession.h"

namespace marvex {

// Options every command takes.
struct GlobalOptions {
    std::string bundleDirectory;  // empty: the build tree's or installed bundle
    bool progress = true;         // a progress bar when standard error is a terminal
};

// Where a command starts the tuner from: a state file, then explicit settings.
struct TunerOptions {
    std::uint32_t blockFrames = 512;
    std::optional<float> pitchHz;
    std::optional<float> precision;
    std::string stateFile;

    TunerSettings settings(const GlobalOptions& global) const;
};

struct AnalyzeOptions {
    std::string input;
    std::string output = "-";
    std::string format = "jsonl";
    TunerOptions tuner;
};

struct TuneOptions {
    std::string input;
    std::string output = "-";
    std::string format = "text";
    TunerOptions tuner;
    TuneSettings segmentation;
    IntonationOptions intonation;
    std::string plotFile;  // a picture of intonation to draw (.png or .svg)
};

struct ViewOptions {
    std::optional<float> deviation;
    std::string input;
    std::optional<double> atSeconds;
    std::string output;
    std::string format;  // "png" or "svg"; empty: from the output's extension
    TunerOptions tuner;
};

struct StateSaveOptions {
    std::string output;
    std::optional<float> pitchHz;
    std::optional<float> precision;
};

struct PerformOptions {
    std::string output;
    double sampleRateHz = 44100.0;
};

struct LiveOptions {
    LiveSettings session;
    IntonationOptions intonation;
    std::string format;   // "text" or "jsonl"; empty: text on a terminal, else jsonl
    bool window = false;  // the needle in a window instead
};

// Each returns the process's exit status and throws HostError or CommandError for failures.
int runDefault(const GlobalOptions& global);
int runAnalyze(const GlobalOptions& global, const AnalyzeOptions& options);
int runTune(const GlobalOptions& global, const TuneOptions& options);
int runView(const GlobalOptions& global, const ViewOptions& options);
int runStateSave(const GlobalOptions& global, const StateSaveOptions& options);
int runStateShow(const GlobalOptions& global, const std::string& path);
int runInfo(const GlobalOptions& global, const std::string& format);
int runPerform(const PerformOptions& options);
int runLive(const GlobalOptions& global, const LiveOptions& options);

}  // namespace marvex
