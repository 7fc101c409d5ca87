#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

// Interim owner of kernels: only the three operations a kernel calls, served from a store of
// global parameters and an output sample rate. The full effect base takes its place with the
// same three operations, so kernels do not change.
class AUEffectBase {
public:
    // [control] Parameters 0 .. inParameterCount-1 start at 0.
    AUEffectBase(double inSampleRate, std::uint32_t inParameterCount);

    AUEffectBase(const AUEffectBase&) = delete;
    AUEffectBase& operator=(const AUEffectBase&) = delete;

    // [any thread] Throws kAudioUnitErr_InvalidParameter (-10878) for an id it does not hold.
    float GetParameter(std::uint32_t paramID) const;
    // [any thread] A plain store that notifies nobody; throws as GetParameter does.
    void SetParameter(std::uint32_t paramID, float inValue);

    // [any thread]
    double GetSampleRate() const { return mSampleRate; }
    // [control] Kernels read the rate when they are built.
    void SetSampleRate(double inSampleRate) { mSampleRate = inSampleRate; }

private:
    std::atomic<float>& Slot(std::uint32_t paramID) const;

    std::unique_ptr<std::atomic<float>[]> mParameters;
    std::uint32_t mParameterCount;
    double mSampleRate;
};
