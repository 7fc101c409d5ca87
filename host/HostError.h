#pragma once

#include <stdexcept>
#include <string>

namespace marvex {

// Exit statuses of `marvex`; scripts may rely on them.
enum class ExitCode : int {
    Ok = 0,
    Failure = 1,      // the unit or the plug-in failed at run time
    Usage = 2,        // bad command line or bad number
    InputError = 3,   // missing, unreadable or unsupported input file
    OutputError = 4,  // output cannot be written
    UnitRefused = 5,  // the unit refused the file's sample rate, channel count or a state file
    PluginError = 6,  // the plug-in bundle could not be found or loaded
};

// A failure with a message for the user and the exit status it warrants. Thrown by the host's
// commands, caught once in main.
class HostError : public std::runtime_error {
public:
    HostError(ExitCode code, const std::string& message)
        : std::runtime_error(message), mCode(code) {}
    ExitCode code() const { return mCode; }

private:
    ExitCode mCode;
};

}  // namespace marvex
