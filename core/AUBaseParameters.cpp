// Parameter access and scheduled parameter events of AUBase.

#include <algorithm>
#include <cstdint>

#include "core/AUBase.h"

namespace {

// A ramp's start offset is signed (it may begin before the buffer). Ends are computed in 64 bits
// so that a start near the top of the range plus a long duration cannot wrap to a position
// before the buffer.
std::int64_t RampStart(const AudioUnitParameterEvent& event) {
    return event.eventValues.ramp.startBufferOffset;
}
std::int64_t RampEnd(const AudioUnitParameterEvent& event) {
    return RampStart(event) + static_cast<std::int64_t>(event.eventValues.ramp.durationInFrames);
}
// The 32-bit offset field read as signed, whatever the event type.
SInt32 SignedOffset(const AudioUnitParameterEvent& event) {
    return event.eventValues.ramp.startBufferOffset;
}

}  // namespace

OSStatus AUBase::GetParameter(AudioUnitParameterID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, AudioUnitParameterValue& outValue) {
    if (inScope == kAudioUnitScope_Group) return GetGroupParameter(inID, inElement, outValue);
    outValue = SafeGetElement(inScope, inElement)->GetParameter(inID);
    return noErr;
}

OSStatus AUBase::SetParameter(AudioUnitParameterID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, AudioUnitParameterValue inValue,
                              UInt32 inBufferOffsetInFrames) {
    if (inScope == kAudioUnitScope_Group)
        return SetGroupParameter(inID, inElement, inValue, inBufferOffsetInFrames);
    SafeGetElement(inScope, inElement)->SetParameter(inID, inValue);
    return noErr;
}

OSStatus AUBase::SetGroupParameter(AudioUnitParameterID, AudioUnitElement, AudioUnitParameterValue,
                                   UInt32) {
    return kAudioUnitErr_InvalidScope;
}

OSStatus AUBase::GetGroupParameter(AudioUnitParameterID, AudioUnitElement,
                                   AudioUnitParameterValue&) {
    return kAudioUnitErr_InvalidScope;
}

OSStatus AUBase::ScheduleParameter(const AudioUnitParameterEvent* inParameterEvent,
                                   UInt32 inNumEvents) {
    // Events promised but not given: refuse rather than read through a null pointer.
    if (inParameterEvent == nullptr && inNumEvents > 0) return paramErr;
    for (UInt32 i = 0; i < inNumEvents; ++i) {
        const AudioUnitParameterEvent& event = inParameterEvent[i];
        if (event.eventType == kParameterEvent_Immediate) {
            // A returned status is ignored; a thrown one ends the call here.
            SetParameter(event.parameter, event.scope, event.element,
                         event.eventValues.immediate.value,
                         event.eventValues.immediate.bufferOffset);
        }
        mScheduledEvents.push_back(event);
    }
    return noErr;
}

bool AUBase::SortParameterEventList(const AudioUnitParameterEvent& ev1,
                                    const AudioUnitParameterEvent& ev2) {
    return SignedOffset(ev1) < SignedOffset(ev2);
}

OSStatus AUBase::ProcessForScheduledParams(ParameterEventList& inParamList,
                                           UInt32 inFramesToProcess, void* inUserData) {
    // In place and without allocation: introsort never allocates.
    std::sort(inParamList.begin(), inParamList.end(), SortParameterEventList);

    const std::int64_t bufferEnd = inFramesToProcess;
    std::int64_t sliceStart = 0;
    UInt32 framesRemaining = inFramesToProcess;

    while (framesRemaining > 0) {
        // The nearest event start or ramp end strictly inside (sliceStart, bufferEnd).
        std::int64_t sliceEnd = bufferEnd;
        for (const AudioUnitParameterEvent& event : inParamList) {
            const std::int64_t offset = SignedOffset(event);
            if (offset > sliceStart && offset < sliceEnd) {
                sliceEnd = offset;
                break;  // sorted: no later start, and no later ramp end, comes sooner
            }
            if (event.eventType == kParameterEvent_Ramped) {
                const std::int64_t rampEnd = RampEnd(event);
                if (rampEnd > sliceStart && rampEnd < sliceEnd) sliceEnd = rampEnd;
            }
        }
        const auto sliceFrames = static_cast<UInt32>(sliceEnd - sliceStart);
        const auto sliceOffset = static_cast<UInt32>(sliceStart);

        for (const AudioUnitParameterEvent& event : inParamList) {
            bool holds;
            if (event.eventType == kParameterEvent_Ramped) {
                holds = RampStart(event) < sliceEnd && RampEnd(event) > sliceStart;
            } else {
                // Unsigned: an immediate event takes effect from its offset on, and is applied
                // again in every later slice.
                holds = event.eventValues.immediate.bufferOffset <= sliceOffset;
            }
            if (!holds) continue;
            // A missing element skips the event; a scope of 5 or more fails the render.
            if (event.scope >= kNumberOfScopes) return kAudioUnitErr_InvalidScope;
            AUElement* element = mScopes[event.scope].GetElement(event.element);
            if (element == nullptr) continue;
            element->SetScheduledEvent(event.parameter, event, sliceOffset, sliceFrames);
        }

        const OSStatus result =
            ProcessScheduledSlice(inUserData, sliceOffset, sliceFrames, inFramesToProcess);
        if (result != noErr) return result;

        framesRemaining -= sliceFrames;
        sliceStart = sliceEnd;
    }
    return noErr;
}

OSStatus AUBase::ProcessScheduledSlice(void*, UInt32, UInt32, UInt32) {
    return noErr;
}
