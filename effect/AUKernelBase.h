#pragma once

#include <cstdint>

class AUEffectBase;

// Base of the per-channel workers of an effect unit. A kernel reaches its unit's parameters and
// sample rate only through the owner, so it never needs to know how the unit stores them.
class AUKernelBase {
public:
    // [control] The owner is not owned; it outlives the kernel.
    explicit AUKernelBase(AUEffectBase* inAudioUnit);
    virtual ~AUKernelBase();

    AUKernelBase(const AUKernelBase&) = delete;
    AUKernelBase& operator=(const AUKernelBase&) = delete;

    // [control] Does nothing here.
    virtual void Reset();

    // [render] Processes one slice of one channel. inSourceP and inDestP point at the channel's
    // first sample; consecutive frames are inNumChannels samples apart. ioSilence comes in true
    // when the input is silent; a kernel that produces sound sets it false.
    virtual void Process(const float* inSourceP, float* inDestP, std::uint32_t inFramesToProcess,
                         std::uint32_t inNumChannels, bool& ioSilence) = 0;

    // [any thread] The owner's output sample rate.
    double GetSampleRate();
    // [any thread] The owner's global parameter paramID.
    float GetParameter(std::uint32_t paramID);

    // [control] Set by the owner after construction.
    void SetChannelNum(std::uint32_t inChannelNum) { mChannelNum = inChannelNum; }
    void SetLastKernel(bool inLast) { mLastKernel = inLast; }
    std::uint32_t GetChannelNum() const { return mChannelNum; }
    bool IsLastKernel() const { return mLastKernel; }

protected:
    AUEffectBase* mEffectUnit;
    bool mLastKernel;
    std::uint32_t mChannelNum;
};
