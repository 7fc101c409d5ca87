#include "host/AudioFileReader.h"
#include "host/OutputFile.h"
#include "host/TuneRunner.h"
#include "host/cli/Commands.h"
#include "host/cli/ProgressBar.h"
#include "host/cli/TuneWriter.h"

namespace marvex {

int runTune(const GlobalOptions& global, const TuneOptions& options) {
    if (options.format != "text" && options.format != "jsonl")
        throw CommandError(ExitCode::Usage, "unknown format '" + options.format + "'");
    AudioFileReader reader(options.input);
    const double sampleRateHz = reader.info().sampleRateHz;
    TunerSession session(options.tuner.settings(global), sampleRateHz, reader.info().channels);
    OutputFile out(options.output);
    ProgressBar bar(reader, global.progress);
    const auto segments = tuneSource(reader, session, options.segmentation, bar.handler());
    bar.finish();
    if (options.format == "text")
        writeTuneText(out.stream(), segments, sampleRateHz);
    else
        writeTuneJsonl(out.stream(), segments, sampleRateHz);
    out.commit();
    return 0;
}

}  // namespace marvex
