#pragma once

#include <stdexcept>
#include <string>

namespace marvex {

// Why `marvex live` cannot go on, each with its own exit status in the command line.
enum class LiveFailure {
    NoServer,    // no JACK server to connect to
    NoSuchPort,  // a port to connect to does not exist or cannot feed an input
    ServerGone,  // the server shut down or threw the client out while it ran
};

class LiveError : public std::runtime_error {
public:
    LiveError(LiveFailure failure, const std::string& message)
        : std::runtime_error(message), mFailure(failure) {}
    LiveFailure failure() const { return mFailure; }

private:
    LiveFailure mFailure;
};

}  // namespace marvex
