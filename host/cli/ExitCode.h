#pragma once

#include <stdexcept>
#include <string>

#include "host/HostError.h"

namespace marvex {

// Exit statuses of `marvex`; scripts may rely on them.
enum class ExitCode : int {
    Ok = 0,
    Failure = 1,          // the unit or the plug-in failed at run time
    Usage = 2,            // bad command line or bad number
    InputError = 3,       // missing, unreadable or unsupported input file
    OutputError = 4,      // output cannot be written
    UnitRefused = 5,      // the unit refused the file's sample rate, channel count or a state file
    PluginError = 6,      // the plug-in bundle could not be found or loaded
    NoAudioServer = 7,    // live: no JACK server is running
    NoSuchPort = 8,       // live: a port to connect does not exist or is not an audio output
    AudioServerGone = 9,  // live: the JACK server went away while the client ran
};

// The exit status a failure of the host library warrants.
ExitCode exitCodeFor(HostErrorKind kind);

// A failure of the command line itself (a bad option, an output only a command writes), with
// the exit status it warrants. Thrown by the commands, caught once in runCommandLine.
class CommandError : public std::runtime_error {
public:
    CommandError(ExitCode code, const std::string& message)
        : std::runtime_error(message), mCode(code) {}
    ExitCode code() const { return mCode; }

private:
    ExitCode mCode;
};

}  // namespace marvex
