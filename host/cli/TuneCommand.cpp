#include <optional>

#include "host/AudioFileReader.h"
#include "host/OutputFile.h"
#include "host/TuneRunner.h"
#include "host/cli/Commands.h"
#include "host/cli/ProgressBar.h"
#include "host/cli/TuneWriter.h"

namespace marvex {
namespace {

// The scale the notes are read in; nothing for the tuner's own equal temperament.
std::optional<Intonation> intonationOf(const TuneOptions& options) {
    const auto tonic = pitchClassOf(options.tonic);
    if (!tonic) throw CommandError(ExitCode::Usage, "unknown tonic '" + options.tonic + "'");
    if (!options.scalaFile.empty())
        return Intonation{
            Temperament::fromScala(readScalaFile(options.scalaFile), options.scalaFile), *tonic};
    const auto temperament = Temperament::named(options.temperament);
    if (!temperament)
        throw CommandError(ExitCode::Usage, "unknown temperament '" + options.temperament + "'");
    if (options.temperament == "equal") return {};
    return Intonation{*temperament, *tonic};
}

}  // namespace

int runTune(const GlobalOptions& global, const TuneOptions& options) {
    if (options.format != "text" && options.format != "jsonl")
        throw CommandError(ExitCode::Usage, "unknown format '" + options.format + "'");
    AudioFileReader reader(options.input);
    const double sampleRateHz = reader.info().sampleRateHz;
    TunerSession session(options.tuner.settings(global), sampleRateHz, reader.info().channels);
    const std::optional<Intonation> intonation = intonationOf(options);
    const Intonation* reading = intonation ? &*intonation : nullptr;
    OutputFile out(options.output);
    ProgressBar bar(reader, global.progress);
    const auto segments = tuneSource(reader, session, options.segmentation, bar.handler());
    bar.finish();
    if (options.format == "text")
        writeTuneText(out.stream(), segments, sampleRateHz, reading);
    else
        writeTuneJsonl(out.stream(), segments, sampleRateHz, reading);
    out.commit();
    return 0;
}

}  // namespace marvex
