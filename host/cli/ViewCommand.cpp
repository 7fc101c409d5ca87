#include <cmath>

#include "host/AudioFileReader.h"
#include "host/CustomView.h"
#include "host/OutputFile.h"
#include "host/cli/Commands.h"
#include "host/cli/ProgressBar.h"

namespace marvex {
namespace {

bool wantsSvg(const ViewOptions& options) {
    if (!options.format.empty()) return options.format == "svg";
    const auto dot = options.output.rfind('.');
    return dot != std::string::npos && options.output.substr(dot) == ".svg";
}

void drawTo(HostedUnit& unit, const ViewOptions& options) {
    CustomView view = CustomView::create(unit);
    OutputFile out(options.output);
    if (out.isStandardOutput())
        throw CommandError(ExitCode::Usage,
                           "view writes a file: give --output FILE.png or FILE.svg");
    const std::string& path = out.closeForPathWrite();
    if (!view.write(path, wantsSvg(options) ? CustomView::Format::Svg : CustomView::Format::Png))
        throw CommandError(ExitCode::OutputError, options.output + ": the view could not be drawn");
    out.commit();
}

}  // namespace

int runView(const GlobalOptions& global, const ViewOptions& options) {
    if (options.format != "" && options.format != "png" && options.format != "svg")
        throw CommandError(ExitCode::Usage, "unknown format '" + options.format + "'");
    if (options.deviation) {
        if (!options.input.empty())
            throw CommandError(ExitCode::Usage, "give either --deviation or a FILE, not both");
        HostedUnit unit = HostedUnit::openFromBundle(
            global.bundleDirectory.empty() ? defaultBundleDirectory() : global.bundleDirectory);
        // The custom view shows what the unit publishes; a host may write the result itself.
        unit.setParameter(kTunerDeviation, *options.deviation);
        drawTo(unit, options);
        return 0;
    }
    if (options.input.empty())
        throw CommandError(ExitCode::Usage, "give --deviation D, or a FILE (with --at SECONDS)");
    AudioFileReader reader(options.input);
    const double rateHz = reader.info().sampleRateHz;
    TunerSession session(options.tuner.settings(global), rateHz, reader.info().channels);
    const double at = options.atSeconds.value_or(INFINITY);
    std::int64_t rendered = 0;
    ProgressBar bar(reader, global.progress);
    const auto onBlock = [&](const BlockRecord& record, auto) {
        rendered = record.frame + record.frames;
        // Stop with the block that holds the moment asked for.
        return static_cast<double>(rendered) <= at * rateHz;
    };
    renderFile(reader, session, onBlock, bar.handler());
    bar.finish();
    if (std::isfinite(at) && static_cast<double>(rendered) < at * rateHz) {
        char message[160];
        std::snprintf(message, sizeof message, "%s lasts only %.3f s; --at %.3f lies beyond it",
                      reader.displayName().c_str(), static_cast<double>(rendered) / rateHz, at);
        throw CommandError(ExitCode::Usage, message);
    }
    drawTo(session.unit(), options);
    return 0;
}

}  // namespace marvex
