#include <unistd.h>

#include <cstdio>

#include "host/cli/Commands.h"
#include "host/live/JsonlDisplay.h"
#include "host/live/LiveError.h"
#include "host/live/TerminalDisplay.h"
#include "host/live/WindowDisplay.h"

namespace marvex {
namespace {

ExitCode exitCodeFor(LiveFailure failure) {
    switch (failure) {
        case LiveFailure::NoServer:
            return ExitCode::NoAudioServer;
        case LiveFailure::NoSuchPort:
            return ExitCode::NoSuchPort;
        case LiveFailure::ServerGone:
            break;
    }
    return ExitCode::AudioServerGone;
}

}  // namespace

int runLive(const GlobalOptions& global, const LiveOptions& options) {
    LiveSettings settings = options.session;
    settings.bundleDirectory = global.bundleDirectory;
    settings.intonation = intonationOf(options.intonation);
    if (settings.connect.size() > settings.inputs)
        throw CommandError(ExitCode::Usage,
                           "--connect names " + std::to_string(settings.connect.size()) +
                               " ports for " + std::to_string(settings.inputs) + " inputs");
    const bool text =
        options.format.empty() ? ::isatty(STDOUT_FILENO) != 0 : options.format == "text";
    const LiveDisplayFactory makeDisplay = [&]() -> std::unique_ptr<LiveDisplay> {
        if (options.window) {
            return std::make_unique<WindowDisplay>(settings.bundleDirectory.empty()
                                                       ? defaultBundleDirectory()
                                                       : settings.bundleDirectory);
        }
        if (text) return std::make_unique<TerminalDisplay>(stdout, STDIN_FILENO);
        return std::make_unique<JsonlDisplay>(stdout);
    };
    try {
        const int signal = runLiveSession(settings, makeDisplay);
        return signal == 0 ? 0 : 128 + signal;
    } catch (const LiveError& e) {
        throw CommandError(exitCodeFor(e.failure()), e.what());
    }
}

}  // namespace marvex
