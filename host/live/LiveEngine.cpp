#include "host/live/LiveEngine.h"

#include <algorithm>
#include <limits>

namespace marvex {
namespace {

// Several seconds of readings at the shortest periods: the control thread drains them 25 times
// a second.
constexpr std::size_t kQueuedReadings = 4096;

}  // namespace

LiveEngine::LiveEngine(Component component, TunerSetup setup, std::uint32_t inputs,
                       const ConditioningSettings& conditioning)
    : mComponent(component),
      mConditioning(conditioning),
      mReadings(kQueuedReadings * std::max<std::uint32_t>(inputs, 1)) {
    setup.channels = 1;
    setup.maxFrames = kMaxSliceFrames;
    mSetup = setup;
    for (std::uint32_t i = 0; i < inputs; ++i) {
        mTuners.push_back(std::make_unique<PreparedUnitSwap<PreparedTuner>>(prepare()));
        mConditioners.push_back(
            std::make_unique<PreparedUnitSwap<SignalConditioner>>(prepareConditioner()));
    }
}

std::unique_ptr<SignalConditioner> LiveEngine::prepareConditioner() const {
    return std::make_unique<SignalConditioner>(mSetup.sampleRateHz, 1, kMaxSliceFrames,
                                               mConditioning);
}

std::unique_ptr<PreparedTuner> LiveEngine::prepare() const {
    auto tuner = std::make_unique<PreparedTuner>(mComponent, mSetup);
    // No estimate until the unit makes one: a fresh unit's defaults are not a reading.
    constexpr float kNoEstimate = std::numeric_limits<float>::quiet_NaN();
    tuner->unit().setParameter(kTunerFrequency, kNoEstimate);
    tuner->unit().setParameter(kTunerNote, kNoEstimate);
    return tuner;
}

void LiveEngine::process(std::span<const float* const> inputs, std::uint32_t frames) noexcept {
    const std::uint64_t period = mPeriod++;
    const std::size_t count = std::min(inputs.size(), mTuners.size());
    for (std::size_t i = 0; i < count; ++i) {
        PreparedTuner& tuner = mTuners[i]->current();
        SignalConditioner& conditioner = mConditioners[i]->current();
        LiveReading reading;
        reading.period = period;
        reading.channel = static_cast<std::uint32_t>(i);
        reading.frames = frames;
        reading.sampleRateHz = tuner.setup().sampleRateHz;
        OSStatus status = noErr;
        for (std::uint32_t done = 0; done < frames && status == noErr;) {
            const std::uint32_t slice = std::min(frames - done, kMaxSliceFrames);
            const float* const slices[] = {inputs[i] + done};
            status = tuner.render(conditioner.process(slices, slice), slice);
            done += slice;
        }
        reading.sounding = conditioner.gateOpen();
        reading.levelDbfs = channelLevelDbfs({inputs[i], frames});
        reading.rendered = status == noErr && tuner.readParameters(reading.values) == noErr;
        if (!mReadings.push(reading)) mDropped.fetch_add(1, std::memory_order_relaxed);
    }
}

void LiveEngine::retune(TunerSetup setup) {
    setup.channels = 1;
    setup.maxFrames = kMaxSliceFrames;
    const bool newRate = setup.sampleRateHz != mSetup.sampleRateHz;
    mSetup = setup;
    for (auto& tuner : mTuners) tuner->offer(prepare());
    // The conditioner keeps what it heard across a new reference: the gate stays open.
    if (newRate)
        for (auto& conditioner : mConditioners) conditioner->offer(prepareConditioner());
}

void LiveEngine::restart(std::uint32_t input) {
    if (input < mTuners.size()) mTuners[input]->offer(prepare());
}

void LiveEngine::releaseRetired() {
    for (auto& tuner : mTuners) tuner->releaseRetired();
    for (auto& conditioner : mConditioners) conditioner->releaseRetired();
}

}  // namespace marvex
