#include "host/AudioFileReader.h"
#include "host/Commands.h"
#include "host/OutputFile.h"
#include "host/RecordWriter.h"

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
        throw HostError(ExitCode::Usage, "unknown format '" + options.format + "'");
    AudioFileReader reader(options.input);
    TunerSession session(options.tuner.settings(global), reader.info().sampleRateHz,
                         reader.info().channels);
    OutputFile out(options.output);
    auto writer = makeRecordWriter(format, out.stream(), reader.info().sampleRateHz);
    writer->begin();
    renderFile(reader, session, global.progress, [&](const BlockRecord& record, auto) {
        writer->write(record);
        return true;
    });
    writer->end();
    out.commit();
    return 0;
}

}  // namespace marvex
