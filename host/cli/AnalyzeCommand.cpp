#include "host/AudioFileReader.h"
#include "host/OutputFile.h"
#include "host/cli/Commands.h"
#include "host/cli/ProgressBar.h"
#include "host/cli/RecordWriter.h"

namespace marvex {

TunerSettings TunerOptions::settings(const GlobalOptions& global) const {
    TunerSettings settings;
    settings.bundleDirectory = global.bundleDirectory;
    settings.blockFrames = blockFrames;
    settings.pitchHz = pitchHz;
    settings.precision = precision;
    settings.stateFile = stateFile;
    return settings;
}

int runAnalyze(const GlobalOptions& global, const AnalyzeOptions& options) {
    RecordFormat format;
    if (!parseRecordFormat(options.format, format))
        throw CommandError(ExitCode::Usage, "unknown format '" + options.format + "'");
    AudioFileReader reader(options.input);
    TunerSession session(options.tuner.settings(global), reader.info().sampleRateHz,
                         reader.info().channels);
    OutputFile out(options.output);
    auto writer = makeRecordWriter(format, out.stream(), reader.info().sampleRateHz);
    writer->begin();
    ProgressBar bar(reader, global.progress);
    const auto onBlock = [&](const BlockRecord& record, auto) {
        writer->write(record);
        return true;
    };
    renderFile(reader, session, onBlock, bar.handler());
    bar.finish();
    writer->end();
    out.commit();
    return 0;
}

}  // namespace marvex
