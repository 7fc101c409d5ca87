#pragma once

#include <chrono>

namespace marvex {

// Lets a redraw through at most once per frame of the display, so a reading that changes on
// every audio block costs one drawing per frame, not one per block. [control]
class FramePacer {
public:
    using Clock = std::chrono::steady_clock;

    // `framesPerSecond` outside 1..1000 (NaN included) falls back to 60.
    explicit FramePacer(double framesPerSecond) {
        if (!(framesPerSecond >= 1.0 && framesPerSecond <= 1000.0)) framesPerSecond = 60.0;
        mInterval = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(1.0 / framesPerSecond));
    }

    // True when a frame may be drawn at `now`; counts it as drawn.
    bool take(Clock::time_point now) {
        if (mDrawn && now - mLast < mInterval) return false;
        mDrawn = true;
        mLast = now;
        return true;
    }
    // How long from `now` until the next frame may be drawn (zero when it may be now).
    Clock::duration untilNext(Clock::time_point now) const {
        if (!mDrawn || now - mLast >= mInterval) return Clock::duration::zero();
        return mInterval - (now - mLast);
    }
    Clock::duration interval() const { return mInterval; }

private:
    Clock::duration mInterval;
    Clock::time_point mLast;
    bool mDrawn = false;
};

}  // namespace marvex
