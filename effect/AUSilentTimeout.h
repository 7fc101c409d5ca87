#pragma once

#include <cstdint>

// Keeps reporting the input as not silent for a number of frames after it turns silent, so that
// a unit with latency or a tail still renders what it holds. [render] throughout.
class AUSilentTimeout {
public:
    // [render] May turn ioSilence from true to false while the countdown runs. The countdown
    // restarts from inTimeoutLimit at the first silent call after sound.
    void Process(std::uint32_t inFramesToProcess, std::uint32_t inTimeoutLimit, bool& ioSilence) {
        if (ioSilence) {
            if (mRestart) {
                // A limit of 2^31 or more reads as negative and holds nothing, as a signed
                // countdown of the original width does.
                mCountdown = static_cast<std::int32_t>(inTimeoutLimit);
                mRestart = false;
            }
            if (mCountdown > 0) {
                // Modular arithmetic on the 32-bit pattern: well defined and the same result.
                mCountdown = static_cast<std::int32_t>(static_cast<std::uint32_t>(mCountdown) -
                                                       inFramesToProcess);
                ioSilence = false;
            }
        } else {
            mRestart = true;
        }
    }

private:
    std::int32_t mCountdown = 0;
    bool mRestart = true;
};
