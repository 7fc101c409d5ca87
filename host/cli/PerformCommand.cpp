#include <sndfile.h>

#include "host/OutputFile.h"
#include "host/cli/Commands.h"
#include "host/cli/PerformanceSynth.h"

namespace marvex {

int runPerform(const PerformOptions& options) {
    const Performance performance = openStringsPerformance(options.sampleRateHz);
    OutputFile out(options.output);
    if (out.isStandardOutput())
        throw CommandError(ExitCode::Usage, "perform writes a file: give --output FILE.wav");
    const std::string path = out.closeForPathWrite();
    SF_INFO info{};
    info.samplerate = static_cast<int>(options.sampleRateHz);
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr)
        throw CommandError(ExitCode::OutputError, options.output + ": " + sf_strerror(nullptr));
    const auto frames = static_cast<sf_count_t>(performance.samples.size());
    const sf_count_t written = sf_writef_float(file, performance.samples.data(), frames);
    const int closeError = sf_close(file);
    if (written != frames || closeError != 0)
        throw CommandError(ExitCode::OutputError, options.output + ": write failed");
    out.commit();
    return 0;
}

}  // namespace marvex
