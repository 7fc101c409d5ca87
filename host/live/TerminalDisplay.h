#pragma once

#include <termios.h>

#include <cstdio>

#include "host/live/LiveDisplay.h"

namespace marvex {

// `marvex live` on a terminal: the lines of liveTextLines() redrawn in place, keys read one at a
// time without echo. The constructor takes the terminal over (no echo, no line buffering, cursor
// hidden); the destructor gives it back as it was, on every way out that unwinds. Ctrl-C still
// raises SIGINT.
class TerminalDisplay : public LiveDisplay {
public:
    // `out` is the terminal written to, `keys` the descriptor keys are read from.
    TerminalDisplay(std::FILE* out, int keys);
    ~TerminalDisplay() override;
    TerminalDisplay(const TerminalDisplay&) = delete;
    TerminalDisplay& operator=(const TerminalDisplay&) = delete;

    void begin(const LiveSnapshot& snapshot) override { show(snapshot); }
    void show(const LiveSnapshot& snapshot) override;
    void tell(const LiveNews&) override {}
    std::optional<LiveRequest> waitForRequest(std::chrono::milliseconds timeout) override;

private:
    std::FILE* mOut;
    int mKeys;
    bool mKeysOpen = true;  // false once the key input reached its end
    bool mRestore = false;
    termios mSaved{};
    std::size_t mDrawnLines = 0;
};

}  // namespace marvex
