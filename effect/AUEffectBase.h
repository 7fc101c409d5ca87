#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/AUBase.h"
#include "effect/AUSilentTimeout.h"

class AUKernelBase;

// The base of an effect unit: one input bus, one output bus, one kernel per output channel.
// It checks the channel configuration at initialisation, renders by pulling the input and handing
// each channel to its kernel (slice by slice when parameter events are scheduled), and provides
// the bypass and in-place switches and silence detection.
//
// Render-path contract: Render, ProcessScheduledSlice, ProcessBufferLists and the kernels they
// call allocate nothing and take no lock; kernels are made only by Initialize.
class AUEffectBase : public AUBase {
public:
    // [control] One input and one output bus; no group or part elements.
    AUEffectBase(ComponentInstance inInstance, bool inProcessesInPlace = true);
    ~AUEffectBase() override;

    // [control, uninitialised] Checks the channel configuration, then creates missing kernels.
    OSStatus Initialize() override;
    // [control] Deletes every kernel.
    void Cleanup() override;
    // [control, not rendering] Resets every kernel in channel order, then the unit core.
    OSStatus Reset(AudioUnitScope inScope, AudioUnitElement inElement) override;

    // [control] Bypass (21) and in-place (29) in the global scope; the rest goes to AUBase.
    OSStatus GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                             AudioUnitElement inElement, UInt32& outDataSize,
                             Boolean& outWritable) override;
    OSStatus GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                         AudioUnitElement inElement, void* outData) override;
    OSStatus SetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                         AudioUnitElement inElement, const void* inData,
                         UInt32 inDataSize) override;

    // [render]
    OSStatus Render(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& inTimeStamp,
                    UInt32 inFramesToProcess) override;

    // [control] Formats are writable only while uninitialised.
    bool StreamFormatWritable(AudioUnitScope inScope, AudioUnitElement inElement) override;
    // [control] AUBase's change; announces the parameter list when parameters depend on the rate.
    OSStatus ChangeStreamFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                                const CAStreamBasicDescription& inPrevFormat,
                                const CAStreamBasicDescription& inNewFormat) override;

    // [render] One slice of a scheduled render; walks the buffer pointers forward.
    OSStatus ProcessScheduledSlice(void* inUserData, UInt32 inStartFrameInBuffer,
                                   UInt32 inSliceFramesToProcess,
                                   UInt32 inTotalBufferFrames) override;

    // Operations added by the effect base, after all of AUBase's.
    // [control] A new kernel for one channel, owned by the effect base; the base makes none.
    virtual AUKernelBase* NewKernel() { return nullptr; }
    // [render] Hands each channel to its kernel; one input buffer means interleaved audio.
    // Returns paramErr, running no kernel, when a channel that has a kernel is missing from
    // either list or its buffer cannot hold all the frames.
    virtual OSStatus ProcessBufferLists(AudioUnitRenderActionFlags& ioActionFlags,
                                        const AudioBufferList& inBuffer, AudioBufferList& outBuffer,
                                        UInt32 inFramesToProcess);
    // [render]
    virtual bool ShouldBypassEffect() { return IsBypassEffect(); }
    // [any thread]
    virtual void SetBypassEffect(bool inFlag) {
        mBypassEffect.store(inFlag, std::memory_order_relaxed);
    }

    // [control] Brings the kernel array to one entry per output channel.
    void MaintainKernels();

    // [any thread] What kernels ask of their owner: the output format and global parameters.
    UInt32 GetNumberOfChannels();
    Float64 GetSampleRate();
    AudioUnitParameterValue GetParameter(AudioUnitParameterID inID);
    // [any thread] A plain store into the global element: no listener is told.
    void SetParameter(AudioUnitParameterID inID, AudioUnitParameterValue inValue);
    using AUBase::GetParameter;
    using AUBase::SetParameter;

    // [any thread] The switches are read on the render thread and may be written on a control
    // thread; relaxed atomics suffice since each is one independent flag.
    bool IsBypassEffect() const { return mBypassEffect.load(std::memory_order_relaxed); }
    bool ProcessesInPlace() const { return mProcessesInPlace.load(std::memory_order_relaxed); }
    void SetProcessesInPlace(bool inFlag) {
        mProcessesInPlace.store(inFlag, std::memory_order_relaxed);
    }
    // [control]
    bool GetParamHasSampleRateDependency() const { return mParamHasSampleRateDependency; }

    // [control] The kernel array, for tests and tools (an entry may be null).
    const std::vector<AUKernelBase*>& GetKernelList() const { return mKernels; }

protected:
    // [control, uninitialised]
    void SetParamHasSampleRateDependency(bool inFlag) { mParamHasSampleRateDependency = inFlag; }
    // [render] Whether the input is silent once the silence hold has been applied.
    bool IsInputSilent(AudioUnitRenderActionFlags inActionFlags, UInt32 inFramesToProcess);

    std::vector<AUKernelBase*> mKernels;

private:
    std::atomic<bool> mBypassEffect{false};
    bool mParamHasSampleRateDependency = false;
    std::atomic<bool> mProcessesInPlace;
    AUSilentTimeout mSilentTimeout;
};
