#include <optional>

#include "host/AudioFileReader.h"
#include "host/IntonationPlot.h"
#include "host/OutputFile.h"
#include "host/TuneRunner.h"
#include "host/cli/Commands.h"
#include "host/cli/ProgressBar.h"
#include "host/cli/TuneWriter.h"

namespace marvex {
namespace {

PlotFormat plotFormatOf(const std::string& path) {
    const auto dot = path.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : path.substr(dot);
    if (extension == ".png") return PlotFormat::Png;
    if (extension == ".svg") return PlotFormat::Svg;
    throw CommandError(ExitCode::Usage, "--plot: '" + path + "' is neither .png nor .svg");
}

}  // namespace

int runTune(const GlobalOptions& global, const TuneOptions& options) {
    if (options.format != "text" && options.format != "jsonl")
        throw CommandError(ExitCode::Usage, "unknown format '" + options.format + "'");
    AudioFileReader reader(options.input);
    const double sampleRateHz = reader.info().sampleRateHz;
    TunerSession session(options.tuner.settings(global), sampleRateHz, reader.info().channels);
    if (!options.plotFile.empty()) plotFormatOf(options.plotFile);  // refused before the work
    const std::optional<Intonation> intonation = intonationOf(options.intonation);
    const Intonation* reading = intonation ? &*intonation : nullptr;
    OutputFile out(options.output);
    ProgressBar bar(reader, global.progress);
    const auto blocks = tuneBlocks(reader, session, options.segmentation, bar.handler());
    bar.finish();
    const auto segments = segmentTune(blocks, options.segmentation, sampleRateHz);
    if (!options.plotFile.empty())
        writeIntonationPlot(options.plotFile, plotFormatOf(options.plotFile), blocks, segments,
                            sampleRateHz, reading);
    if (options.format == "text")
        writeTuneText(out.stream(), segments, sampleRateHz, reading);
    else
        writeTuneJsonl(out.stream(), segments, sampleRateHz, reading);
    out.commit();
    return 0;
}

}  // namespace marvex
