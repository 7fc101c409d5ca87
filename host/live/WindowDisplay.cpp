#include "host/live/WindowDisplay.h"

#include <poll.h>

#include "host/live/LiveSession.h"

namespace marvex {

WindowDisplay::WindowDisplay(const std::string& bundleDirectory)
    : mWindow(bundleDirectory, 0, 0,
              {[this](float pitchHz) {
                   mRequests.push_back(pitchHz > mPitchHz ? LiveRequest::RaisePitch
                                                          : LiveRequest::LowerPitch);
               },
               [this](float precision) {
                   // The live client steps Precision one way round; a step down is the rest of
                   // the round.
                   const int steps = (static_cast<int>(precision) - mPrecision + kPrecisionSteps) %
                                     kPrecisionSteps;
                   for (int i = 0; i < steps; ++i) mRequests.push_back(LiveRequest::NextPrecision);
               },
               [this] { mRequests.push_back(LiveRequest::Quit); }}) {}

void WindowDisplay::show(const LiveSnapshot& snapshot) {
    mPitchHz = snapshot.pitchHz;
    mPrecision = snapshot.precision;
    mWindow.showPitch(snapshot.pitchHz);
    mWindow.showPrecision(static_cast<float>(snapshot.precision));
    if (snapshot.channels.empty()) return;
    const LiveChannelView* shown = &snapshot.channels.front();
    for (const LiveChannelView& channel : snapshot.channels) {
        if (!channel.listening && channel.bin) {
            shown = &channel;
            break;
        }
    }
    PanelReading reading;
    reading.silent = shown->listening;
    if (shown->bin) {
        reading.note = shown->note;
        reading.centsOff = shown->centsOff;
        reading.frequencyHz = shown->frequencyHz;
    }
    mWindow.show(shown->deviation, std::move(reading));
}

std::optional<LiveRequest> WindowDisplay::waitForRequest(std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + timeout;
    for (;;) {
        mWindow.processEvents();
        if (!mRequests.empty()) {
            const LiveRequest request = mRequests.front();
            mRequests.pop_front();
            return request;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd events{mWindow.window().connectionNumber(), POLLIN, 0};
        ::poll(&events, 1, static_cast<int>(left.count()));
    }
}

}  // namespace marvex
