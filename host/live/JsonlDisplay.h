#pragma once

#include <cstdio>

#include "host/live/LiveDisplay.h"

namespace marvex {

// `marvex live` for scripts: one JSON object per line, flushed as it is written.
//   {"event": "ready", "client": "marvex", "sample_rate": 48000, "period": 256, "inputs": 1, ...}
//   {"event": "silence", "channel": 1, "time": 0.0}
//   {"event": "note", "channel": 1, "time": 0.52, "note_name": "A4", "note": 48,
//    "frequency": 440.1, "cents": 0.4}                       (the note became stable)
//   {"event": "note_end", "channel": 1, "time": 1.71, "start": 0.52, "note_name": "A4", ...}
// Times are seconds of audio since the client started; channels count from 1 like the ports.
// Notes come from the same segmenter as `marvex tune`'s: a note is stable after --min-note, a
// silence once the level stayed under the gate long enough.
class JsonlDisplay : public LiveDisplay {
public:
    explicit JsonlDisplay(std::FILE* out) : mOut(out) {}

    void begin(const LiveSnapshot& snapshot) override;
    void show(const LiveSnapshot&) override {}
    void tell(const LiveNews& news) override;
    std::optional<LiveRequest> waitForRequest(std::chrono::milliseconds timeout) override;

private:
    void write(const std::string& line);

    std::FILE* mOut;
};

}  // namespace marvex
