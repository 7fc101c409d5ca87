#pragma once

#include <deque>
#include <string>

#include "host/live/LiveDisplay.h"
#include "host/window/TunerWindow.h"

namespace marvex {

// `marvex live --window`: the tuner's needle view in a window of its own, with the terminal
// display's keys (`+`, `-`, `p`, `q`) and the panel's buttons; the close box quits. It shows the
// first input that has a note (the first input while all are quiet).
class WindowDisplay : public LiveDisplay {
public:
    // Throws HostError when the tuner's view cannot be used, std::runtime_error when no X
    // display can be opened.
    explicit WindowDisplay(const std::string& bundleDirectory);

    void begin(const LiveSnapshot& snapshot) override { show(snapshot); }
    void show(const LiveSnapshot& snapshot) override;
    void tell(const LiveNews&) override {}
    std::optional<LiveRequest> waitForRequest(std::chrono::milliseconds timeout) override;

private:
    std::deque<LiveRequest> mRequests;
    float mPitchHz = 0.0f;
    int mPrecision = 0;
    TunerWindow mWindow;
};

}  // namespace marvex
