#pragma once

#include <stdexcept>
#include <string>

namespace marvex {

// What went wrong, in terms a host can act on: tell the user to fix an input, pick another
// output, change a setting the unit refused, or reinstall the plug-in.
enum class HostErrorKind {
    Failed,    // the unit failed a call that should have worked (render, parameter read)
    Input,     // an input file is missing, unreadable or unsupported
    Output,    // an output cannot be written
    Refused,   // the unit refused a stream format, a setting or a state
    Plugin,    // the plug-in bundle or its view factory cannot be found, loaded or used
    Internal,  // the library was asked for something impossible (a caller's mistake)
};

// A failure of the host library, with a message for the user naming what failed and why.
class HostError : public std::runtime_error {
public:
    HostError(HostErrorKind kind, const std::string& message)
        : std::runtime_error(message), mKind(kind) {}
    HostErrorKind kind() const { return mKind; }

private:
    HostErrorKind mKind;
};

}  // namespace marvex
