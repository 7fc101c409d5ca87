#include "host/AudioFileReader.h"
#include "host/Commands.h"
#include "host/OutputFile.h"
#include "host/TuneRunner.h"

namespace marvex {

int runTune(const GlobalOptions& global, const TuneOptions& options) {
    if (options.format != "text" && options.format != "jsonl")
        throw HostError(ExitCode::Usage, "unknown format '" + options.format + "'");
    AudioFileReader reader(options.input);
    const double sampleRateHz = reader.info().sampleRateHz;
    TunerSession session(options.tuner.settings(global), sampleRateHz, reader.info().channels);
    OutputFile out(options.output);
    const auto segments = tuneSource(reader, session, options.segmentation, global.progress);
    if (options.format == "text")
        writeTuneText(out.stream(), segments, sampleRateHz);
    else
        writeTuneJsonl(out.stream(), segments, sampleRateHz);
    out.commit();
    return 0;
}

}  // namespace marvex
