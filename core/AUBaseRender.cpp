// The render pipeline of AUBase: checks, processor mode, notifications, bus rendering, render
// errors, and the wiring of inputs.
//
// [render] Nothing on the render path allocates or locks: the notification list only relinks
// nodes, scheduled events are emptied keeping their storage, and bus buffers were allocated at
// initialisation.

#include "core/AUBase.h"
#include "core/ProcessorModeGuard.h"
#include "format/AudioUnitCalls.h"

namespace {

void CallNotifications(const TThreadSafeList<AUBase::RenderCallback>& list,
                       AudioUnitRenderActionFlags flags, const AudioTimeStamp& inTimeStamp,
                       UInt32 inBusNumber, UInt32 inNumberFrames, AudioBufferList& ioData) {
    // One local word for all callbacks: a change one makes is seen by those after it, never
    // by the caller.
    for (auto it = list.begin(); it != list.end(); ++it) {
        const AUBase::RenderCallback& rc = *it;
        rc.mProc(rc.mRefCon, &flags, &inTimeStamp, inBusNumber, inNumberFrames, &ioData);
    }
}

bool EveryBufferHasData(const AudioBufferList& list) {
    for (UInt32 i = 0; i < list.mNumberBuffers; ++i) {
        if (list.mBuffers[i].mData == nullptr) return false;
    }
    return true;
}

}  // namespace

OSStatus AUBase::DoRender(AudioUnitRenderActionFlags& ioActionFlags,
                          const AudioTimeStamp& inTimeStamp, UInt32 inBusNumber,
                          UInt32 inNumberFrames, AudioBufferList& ioData) {
    marvex::ProcessorModeGuard flushDenormals;
    // Refusals return before any notification and keep the scheduled events. They return
    // rather than throw: a thrown status allocates its exception object.
    if (!IsInitialized()) return SetRenderError(kAudioUnitErr_Uninitialized);
    if (inNumberFrames > GetMaxFramesPerSlice())
        return SetRenderError(kAudioUnitErr_TooManyFramesToProcess);
    auto* output = dynamic_cast<AUOutputElement*>(Outputs().GetElement(inBusNumber));
    if (output == nullptr) return SetRenderError(kAudioUnitErr_InvalidElement);
    if (ioData.mNumberBuffers != output->GetStreamFormat().NumberChannelStreams())
        return SetRenderError(paramErr);

    OSStatus result = noErr;
    try {
        mRenderCallbacks.update();

        CallNotifications(mRenderCallbacks, ioActionFlags | kAudioUnitRenderAction_PreRender,
                          inTimeStamp, inBusNumber, inNumberFrames, ioData);

        result =
            DoRenderBus(ioActionFlags, inTimeStamp, inBusNumber, output, inNumberFrames, ioData);

        AudioUnitRenderActionFlags postFlags = ioActionFlags | kAudioUnitRenderAction_PostRender;
        if (SetRenderError(result) != noErr) postFlags |= kAudioUnitRenderAction_PostRenderError;
        CallNotifications(mRenderCallbacks, postFlags, inTimeStamp, inBusNumber, inNumberFrames,
                          ioData);

        if (!mScheduledEvents.empty()) mScheduledEvents.clear();  // keeps the capacity
    } catch (OSStatus err) {
        // Thrown by a subclass's render; the base's own render path returns its statuses.
        result = SetRenderError(err);
    }
    return result;
}

OSStatus AUBase::DoRenderBus(AudioUnitRenderActionFlags& ioActionFlags,
                             const AudioTimeStamp& inTimeStamp, UInt32 inBusNumber,
                             AUOutputElement* theOutput, UInt32 inNumberFrames,
                             AudioBufferList& ioData) {
    // A list of no buffers has no first data pointer to hand samples to: treat it as asking for
    // the unit's own buffers, never read the descriptor it does not have.
    const bool callerHasBuffers = ioData.mNumberBuffers > 0 && ioData.mBuffers[0].mData != nullptr;
    // Samples are copied into every buffer of such a list, so each needs memory; refused before
    // the input is pulled for nothing.
    if (callerHasBuffers && !EveryBufferHasData(ioData)) return paramErr;
    if (!callerHasBuffers || Outputs().GetNumberOfElements() > 1) {
        theOutput->PrepareBuffer(inNumberFrames);
    } else {
        const OSStatus adopted = theOutput->AdoptCallerBuffers(ioData, inNumberFrames);
        if (adopted != noErr) return adopted;
    }

    const OSStatus result = RenderBus(ioActionFlags, inTimeStamp, inBusNumber, inNumberFrames);
    if (result != noErr) return result;

    if (callerHasBuffers) {
        theOutput->CopyBufferContentsTo(ioData);
        theOutput->InvalidateBufferList();
    } else {
        theOutput->CopyBufferListTo(ioData);
    }
    return noErr;
}

OSStatus AUBase::RenderBus(AudioUnitRenderActionFlags& ioActionFlags,
                           const AudioTimeStamp& inTimeStamp, UInt32, UInt32 inNumberFrames) {
    if (NeedsToRender(inTimeStamp.mSampleTime))
        return Render(ioActionFlags, inTimeStamp, inNumberFrames);
    return noErr;
}

OSStatus AUBase::Render(AudioUnitRenderActionFlags&, const AudioTimeStamp&, UInt32) {
    return noErr;
}

bool AUBase::NeedsToRender(Float64 inSampleTime) {
    const bool needs = fnotequal(inSampleTime, mLastRenderedSampleTime);
    mLastRenderedSampleTime = inSampleTime;
    return needs;
}

OSStatus AUBase::SetRenderError(OSStatus inErr) {
    if (inErr == noErr) return inErr;
    OSStatus expected = noErr;
    // Only the first error is kept until a control thread reads and clears it.
    if (mLastRenderError.compare_exchange_strong(expected, inErr))
        PropertyChanged(kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0);
    return inErr;
}

OSStatus AUBase::SetRenderNotification(AURenderCallback inProc, void* inRefCon) {
    if (inProc == nullptr) return paramErr;
    mRenderCallbacks.deferred_add(RenderCallback(inProc, inRefCon));
    return noErr;
}

OSStatus AUBase::RemoveRenderNotification(AURenderCallback inProc, void* inRefCon) {
    mRenderCallbacks.deferred_remove(RenderCallback(inProc, inRefCon));
    return noErr;
}

OSStatus AUBase::SetInputCallback(UInt32 inPropertyID, AudioUnitElement inElement,
                                  AURenderCallback inProc, void* inRefCon) {
    AUInputElement* input = GetInput(inElement);
    input->SetInputCallback(inProc, inRefCon);
    PropertyChanged(inPropertyID, kAudioUnitScope_Input, inElement);
    return noErr;
}

OSStatus AUBase::SetConnection(const AudioUnitConnection& inConnection) {
    AUInputElement* input = GetInput(inConnection.destInputNumber);
    if (inConnection.sourceAudioUnit != nullptr) {
        CAStreamBasicDescription sourceFormat;
        UInt32 size = sizeof(AudioStreamBasicDescription);
        OSStatus result = AudioUnitGetProperty(
            inConnection.sourceAudioUnit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output,
            inConnection.sourceOutputNumber, &sourceFormat, &size);
        if (result != noErr) return result;
        result = DispatchSetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input,
                                     inConnection.destInputNumber, &sourceFormat,
                                     sizeof(AudioStreamBasicDescription));
        if (result != noErr) return result;
    }
    input->SetConnection(inConnection);
    PropertyChanged(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input,
                    inConnection.destInputNumber);
    return noErr;
}
