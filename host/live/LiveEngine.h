#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "format/AudioUnitHandle.h"
#include "host/PreparedTuner.h"
#include "host/PreparedUnitSwap.h"
#include "host/SignalConditioner.h"
#include "host/SpscQueue.h"
#include "host/live/LiveReading.h"

namespace marvex {

// The tuners behind a live client: one mono unit per input (the unit publishes one set of
// parameters, so two instruments need two units), each behind the signal conditioner and level
// gate `tune` uses. process() renders every input through its conditioner and unit and queues
// one reading per input and period for the control thread. A new reference pitch, Precision or
// sample rate, and a fresh start after a silence, come as units (and, for a new rate,
// conditioners) prepared on the control thread and taken up by process() between two periods.
class LiveEngine {
public:
    // Periods longer than this are rendered in slices.
    static constexpr std::uint32_t kMaxSliceFrames = 2048;

    // [control] Opens one unit per input from `component` for `setup` (its channels and maximum
    // slice are set here). Throws HostError when the unit refuses the setup.
    LiveEngine(Component component, TunerSetup setup, std::uint32_t inputs,
               const ConditioningSettings& conditioning);

    // [render] Renders `frames` frames of each input. No allocation, no lock, no system call.
    void process(std::span<const float* const> inputs, std::uint32_t frames) noexcept;

    // [control] The oldest reading not yet taken; false when there is none.
    bool nextReading(LiveReading& reading) noexcept { return mReadings.pop(reading); }
    // [control] Readings lost because the control thread fell behind.
    std::uint64_t droppedReadings() const { return mDropped.load(std::memory_order_relaxed); }

    const TunerSetup& setup() const { return mSetup; }
    std::uint32_t inputs() const { return static_cast<std::uint32_t>(mTuners.size()); }

    // [control] Prepares units for `setup` for every input and hands them over.
    void retune(TunerSetup setup);
    // [control] Hands input `input` a fresh unit with the current setup: the estimate of a
    // note that ended is not shown for the next one.
    void restart(std::uint32_t input);
    // [control] Releases the units process() let go; call regularly.
    void releaseRetired();

private:
    std::unique_ptr<PreparedTuner> prepare() const;
    std::unique_ptr<SignalConditioner> prepareConditioner() const;

    Component mComponent;
    TunerSetup mSetup;
    ConditioningSettings mConditioning;
    std::vector<std::unique_ptr<PreparedUnitSwap<PreparedTuner>>> mTuners;
    std::vector<std::unique_ptr<PreparedUnitSwap<SignalConditioner>>> mConditioners;
    SpscQueue<LiveReading> mReadings;
    std::atomic<std::uint64_t> mDropped{0};
    std::uint64_t mPeriod = 0;  // [render] thread only
};

}  // namespace marvex
