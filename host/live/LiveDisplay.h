#pragma once

#include <chrono>
#include <optional>

#include "host/live/LiveSnapshot.h"

namespace marvex {

// What a musician asks of `marvex live` while it runs.
enum class LiveRequest { RaisePitch, LowerPitch, NextPrecision, Quit };

// A front end of `marvex live`: a terminal, JSON lines, a window. The control thread feeds
// every display the same snapshots and news, and the display paces the loop: waitForRequest()
// returns after at most `timeout`, with whatever the user asked for meanwhile.
class LiveDisplay {
public:
    virtual ~LiveDisplay() = default;
    // The client runs with its ports connected.
    virtual void begin(const LiveSnapshot& snapshot) = 0;
    // About 25 times a second.
    virtual void show(const LiveSnapshot& snapshot) = 0;
    // A stable note started or ended, or a silence started.
    virtual void tell(const LiveNews& news) = 0;
    virtual std::optional<LiveRequest> waitForRequest(std::chrono::milliseconds timeout) = 0;
};

}  // namespace marvex
