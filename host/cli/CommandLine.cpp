#include "host/cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <exception>
#include <new>

#include "host/Temperament.h"
#include "host/cli/Commands.h"
#include "unit/MarvexParameters.h"

namespace marvex {
namespace {

constexpr const char* kFooter =
    "Exit status: 0 success, 1 the unit failed, 2 bad command line or number, 3 input file\n"
    "missing, unreadable or unsupported, 4 output cannot be written, 5 the tuner refused the\n"
    "file's format or a state file, 6 the plug-in bundle cannot be loaded; live: 7 no JACK\n"
    "server, 8 no such port to connect, 9 the JACK server went away, 128+N stopped by signal N.";

// Numbers must be finite: "nan" or "inf" would slip through range checks.
const CLI::Validator kFinite(
    [](std::string& text) {
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end != '\0' || !std::isfinite(value))
            return std::string("not a finite number: ") + text;
        return std::string();
    },
    "FINITE");

// The settings' defaults and ranges are the tuner's own.
constexpr MarvexParameterInfo kPitch = kMarvexParameters[kParam_Pitch];
constexpr MarvexParameterInfo kPrecision = kMarvexParameters[kParam_Precision];
const auto kPitchRange = CLI::Range(double{kPitch.minValue}, double{kPitch.maxValue});
const auto kPrecisionRange =
    CLI::Range(static_cast<int>(kPrecision.minValue), static_cast<int>(kPrecision.maxValue));

// The options that set the tuner up, shared by analyze, tune and view.
struct TunerFlags {
    CLI::Option* pitch = nullptr;
    CLI::Option* precision = nullptr;
    float pitchHz = kPitch.defaultValue;
    int precisionIndex = static_cast<int>(kPrecision.defaultValue);

    void add(CLI::App* command, TunerOptions& tuner, bool withBlock) {
        if (withBlock) {
            command
                ->add_option("--block", tuner.blockFrames,
                             "Frames per block; the parameters are read after each (default 512)")
                ->check(CLI::Range(1u, 65536u));
        }
        pitch = command->add_option("--pitch", pitchHz, "Reference pitch in Hz, the centre of A4")
                    ->check(kFinite & kPitchRange);
        precision = command
                        ->add_option("--precision", precisionIndex,
                                     "Analysis ring: 0 (16 half-waves), 1 (64), 2 (128), 3 (256) "
                                     "or 4 (512)")
                        ->check(kPrecisionRange);
        command->add_option("--state", tuner.stateFile,
                            "Start from a state saved with `marvex state save` (.plist)");
    }
    void apply(TunerOptions& tuner) const {
        if (pitch != nullptr && *pitch) tuner.pitchHz = pitchHz;
        if (precision != nullptr && *precision)
            tuner.precision = static_cast<float>(precisionIndex);
    }
};

// --temperament, --tonic and --scala: how `tune` and `live` name notes.
void addIntonationOptions(CLI::App* command, IntonationOptions& options) {
    auto* temperament =
        command
            ->add_option("--temperament", options.temperament,
                         "Read notes in this temperament: equal (default), just, pythagorean, "
                         "meantone or werckmeister3; names and cents are its nearest degree's")
            ->check(CLI::IsMember(Temperament::names()));
    command
        ->add_option("--tonic", options.tonic,
                     "Tonic of the temperament or scale, e.g. C, F#, Bb (default C); it sits "
                     "where equal temperament puts it")
        ->check(CLI::Validator(
            [](std::string& text) {
                return pitchClassOf(text) ? std::string() : "not a note name: " + text;
            },
            "NOTE"));
    command
        ->add_option("--scala", options.scalaFile,
                     "Read notes in the scale of this Scala file (.scl); degrees are named "
                     "d<degree>.<period> unless it has twelve to the octave")
        ->excludes(temperament);
}

int reportFailure(const std::string& message, ExitCode code) {
    std::fprintf(stderr, "marvex: %s\n", message.c_str());
    return static_cast<int>(code);
}

}  // namespace

int runCommandLine(int argc, char** argv) {
    CLI::App app{
        "marvex: an instrument tuner. It loads the Marvex plug-in and tunes audio through it.\n"
        "Without a command it tunes a built-in performance: six open guitar strings, each a\n"
        "little out of tune.",
        "marvex"};
    app.footer(kFooter);
    app.fallthrough();
    app.require_subcommand(0, 1);

    GlobalOptions global;
    bool noProgress = false;
    app.add_option("--bundle", global.bundleDirectory,
                   "Plug-in bundle directory (default: Marvex.bundle beside the program's bin/)");
    app.add_flag("--no-progress", noProgress, "Never draw a progress bar");

    // analyze
    AnalyzeOptions analyze;
    TunerFlags analyzeFlags;
    CLI::App* analyzeCommand = app.add_subcommand(
        "analyze", "Print what the tuner publishes after each block of an audio file");
    analyzeCommand->add_option("FILE", analyze.input, "Audio file, or - for standard input")
        ->required();
    analyzeCommand->add_option("--format", analyze.format, "jsonl (default), csv or text")
        ->check(CLI::IsMember({"jsonl", "csv", "text"}));
    analyzeCommand->add_option("-o,--output", analyze.output,
                               "Write to this file instead of standard output");
    analyzeFlags.add(analyzeCommand, analyze.tuner, true);
    analyzeCommand->footer(kFooter);

    // tune
    TuneOptions tune;
    bool rawTune = false;
    TunerFlags tuneFlags;
    CLI::App* tuneCommand = app.add_subcommand(
        "tune", "Cut an audio file into stable notes: name, frequency, cents off, needle");
    tuneCommand->add_option("FILE", tune.input, "Audio file, or - for standard input")->required();
    tuneCommand->add_option("--format", tune.format, "text (default) or jsonl")
        ->check(CLI::IsMember({"text", "jsonl"}));
    tuneCommand->add_option("-o,--output", tune.output,
                            "Write to this file instead of standard output");
    tuneCommand
        ->add_option("--silence", tune.segmentation.conditioning.gate.openDbfs,
                     "Level gate: a tone must reach this RMS in dBFS to be heard (default -70); "
                     "it is heard until 6 dB below, and noise of any level is silence")
        ->check(kFinite & CLI::Range(-150.0, 0.0));
    tuneCommand->add_flag(
        "--raw", rawTune,
        "The tuner hears the file as it is, without the host's band-limiting and level "
        "normalisation (the gate still decides silence)");
    tuneCommand
        ->add_option("--min-note", tune.segmentation.minNoteSeconds,
                     "Shortest stable note in seconds (default 0.15)")
        ->check(kFinite & CLI::Range(0.0, 60.0));
    addIntonationOptions(tuneCommand, tune.intonation);
    tuneCommand->add_option("--plot", tune.plotFile,
                            "Also draw cents off over time, one band per stable note, as a .png "
                            "or .svg picture");
    tuneFlags.add(tuneCommand, tune.tuner, true);
    tuneCommand->footer(kFooter);

    // view
    ViewOptions view;
    TunerFlags viewFlags;
    float viewDeviation = 0.0f;
    double viewAt = 0.0;
    CLI::App* viewCommand = app.add_subcommand(
        "view", "Draw the tuner's own view (its needle) as PNG or SVG, through its view factory");
    viewCommand->add_option("FILE", view.input,
                            "Audio file: show what the tuner publishes at --at (default: its end)");
    CLI::Option* deviationOption =
        viewCommand
            ->add_option("--deviation", viewDeviation,
                         "Show this deviation, -1 (a quarter-tone flat) to 1 (sharp)")
            ->check(kFinite & CLI::Range(-1.0, 1.0));
    CLI::Option* atOption = viewCommand->add_option("--at", viewAt, "Moment in FILE, in seconds")
                                ->check(kFinite & CLI::Range(0.0, 1e7));
    viewCommand->add_option("-o,--output", view.output, "Picture to write (.png or .svg)")
        ->required();
    viewCommand->add_option("--format", view.format, "png or svg (default: from the file name)")
        ->check(CLI::IsMember({"png", "svg"}));
    viewFlags.add(viewCommand, view.tuner, true);
    viewCommand->footer(kFooter);

    // state save / state show
    CLI::App* stateCommand =
        app.add_subcommand("state", "Save or show the tuner's state as a property-list file");
    stateCommand->require_subcommand(1);
    StateSaveOptions stateSave;
    float savePitch = kPitch.defaultValue;
    int savePrecision = static_cast<int>(kPrecision.defaultValue);
    CLI::App* saveCommand =
        stateCommand->add_subcommand("save", "Save a fresh tuner's state, with settings");
    saveCommand->add_option("FILE", stateSave.output, "Property-list file to write")->required();
    CLI::Option* savePitchOption =
        saveCommand->add_option("--pitch", savePitch, "Reference pitch in Hz")
            ->check(kFinite & kPitchRange);
    CLI::Option* savePrecisionOption =
        saveCommand->add_option("--precision", savePrecision, "Analysis ring")
            ->check(kPrecisionRange);
    std::string showPath;
    CLI::App* showCommand =
        stateCommand->add_subcommand("show", "Show a saved state as the tuner reads it");
    showCommand->add_option("FILE", showPath, "Property-list file to read")->required();

    // info
    std::string infoFormat = "text";
    CLI::App* infoCommand = app.add_subcommand(
        "info", "The unit's identity, version, parameters and the properties it answers");
    infoCommand->add_option("--format", infoFormat, "text (default) or json")
        ->check(CLI::IsMember({"text", "json"}));

    // perform
    PerformOptions perform;
    CLI::App* performCommand = app.add_subcommand(
        "perform", "Write the built-in performance (six open strings) as a WAV file");
    performCommand->add_option("-o,--output", perform.output, "WAV file to write")->required();
    performCommand->add_option("--rate", perform.sampleRateHz, "Sample rate in Hz (default 44100)")
        ->check(CLI::IsMember({8000.0, 22050.0, 32000.0, 44100.0, 48000.0, 88200.0, 96000.0}));

    // live
    LiveOptions live;
    TunerOptions liveTuner;
    TunerFlags liveFlags;
    bool liveNoConnect = false;
    double liveDuration = 0.0;
    CLI::App* liveCommand = app.add_subcommand(
        "live", "Tune live: a JACK client showing the note, cents and level of its inputs");
    liveCommand->add_option("--channels", live.session.inputs, "Input ports in_1..in_N (default 1)")
        ->check(CLI::Range(1u, 16u));
    CLI::Option* connectOption = liveCommand->add_option(
        "--connect", live.session.connect,
        "Feed the next input from this JACK port (repeat for in_2...; default: the first "
        "physical capture ports)");
    CLI::Option* noConnectOption = liveCommand->add_flag(
        "--no-connect", liveNoConnect, "Leave the inputs unconnected (connect them yourself)");
    connectOption->excludes(noConnectOption);
    liveFlags.add(liveCommand, liveTuner, false);
    addIntonationOptions(liveCommand, live.intonation);
    liveCommand
        ->add_option("--silence", live.session.gate.conditioning.gate.openDbfs,
                     "Level gate: a tone must reach this RMS in dBFS to be heard (default -70); "
                     "below it an input is only listening")
        ->check(kFinite & CLI::Range(-150.0, 0.0));
    bool rawLive = false;
    liveCommand->add_flag(
        "--raw", rawLive,
        "The tuner hears the inputs as they are, without the host's band-limiting and level "
        "normalisation (the gate still decides silence)");
    liveCommand
        ->add_option("--format", live.format,
                     "text (redrawn in place) or jsonl (events); default: text on a terminal")
        ->check(CLI::IsMember({"text", "jsonl"}));
    liveCommand
        ->add_flag("--window", live.window,
                   "Show the needle in a window (keys + - p q as on the terminal)")
        ->excludes("--format");
    CLI::Option* durationOption =
        liveCommand->add_option("--duration", liveDuration, "Stop after this many seconds")
            ->check(kFinite & CLI::Range(0.0, 1e7));
    liveCommand->add_option("--name", live.session.clientName, "JACK client name (default marvex)")
        ->check([](const std::string& name) {
            return name.empty() ? std::string("the client name is empty") : std::string();
        });
    liveCommand->footer(kFooter);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return static_cast<int>(ExitCode::Usage);
    }
    global.progress = !noProgress;

    try {
        if (*analyzeCommand) {
            analyzeFlags.apply(analyze.tuner);
            return runAnalyze(global, analyze);
        }
        if (*tuneCommand) {
            tuneFlags.apply(tune.tuner);
            tune.segmentation.conditioning.enabled = !rawTune;
            return runTune(global, tune);
        }
        if (*viewCommand) {
            viewFlags.apply(view.tuner);
            if (*deviationOption) view.deviation = viewDeviation;
            if (*atOption) view.atSeconds = viewAt;
            return runView(global, view);
        }
        if (*saveCommand) {
            if (*savePitchOption) stateSave.pitchHz = savePitch;
            if (*savePrecisionOption) stateSave.precision = static_cast<float>(savePrecision);
            return runStateSave(global, stateSave);
        }
        if (*showCommand) return runStateShow(global, showPath);
        if (*infoCommand) return runInfo(global, infoFormat);
        if (*performCommand) return runPerform(perform);
        if (*liveCommand) {
            liveFlags.apply(liveTuner);
            live.session.pitchHz = liveTuner.pitchHz;
            live.session.precision = liveTuner.precision;
            live.session.stateFile = liveTuner.stateFile;
            live.session.autoConnect = !liveNoConnect;
            live.session.gate.conditioning.enabled = !rawLive;
            if (*durationOption) live.session.durationSeconds = liveDuration;
            return runLive(global, live);
        }
        return runDefault(global);
    } catch (const CommandError& e) {
        return reportFailure(e.what(), e.code());
    } catch (const HostError& e) {
        return reportFailure(e.what(), exitCodeFor(e.kind()));
    } catch (const std::bad_alloc&) {
        return reportFailure("out of memory", ExitCode::Failure);
    } catch (const std::exception& e) {
        return reportFailure(e.what(), ExitCode::Failure);
    }
}

}  // namespace marvex
