#pragma once
// The parameter store of one element (scope + element number) and its optional name.
//
// Values are read by the render thread while control threads write them. Every field of a
// record is a relaxed atomic: a reader sees each field either before or after a write, never
// torn, which is all the unit asks of a value shared without a lock. Inserting a new id in
// keyed mode changes the map's structure and must not happen while the unit renders (units
// that render parameters keep them in indexed mode, created before the first render).
//
// Threads: [control], unless a declaration says otherwise.

#include <atomic>
#include <map>
#include <vector>

#include "elements/AUElementOwner.h"
#include "format/AudioUnitParameterEvent.h"
#include "format/AudioUnitScope.h"
#include "format/CFData.h"
#include "format/CFString.h"
#include "format/OSStatus.h"

// One parameter's state: a constant, or a linear ramp placed relative to the current slice.
class ParameterMapEvent {
public:
    ParameterMapEvent() noexcept;
    explicit ParameterMapEvent(AudioUnitParameterValue value) noexcept;
    ParameterMapEvent(const AudioUnitParameterEvent& event, UInt32 sliceOffsetInBuffer,
                      UInt32 sliceDurationFrames) noexcept;
    ParameterMapEvent(const ParameterMapEvent& other) noexcept;
    ParameterMapEvent& operator=(const ParameterMapEvent& other) noexcept;

    // [any thread] Makes the record a constant; offset and durations stay as they were.
    void SetValue(AudioUnitParameterValue value) noexcept;
    // [any thread] The constant, or the ramp's start value.
    AudioUnitParameterValue GetValue() const noexcept { return mValue1.load(kOrder); }

    // [render] Takes over a scheduled event for the slice at `sliceOffsetInBuffer` of
    // `sliceDurationFrames` frames.
    void SetScheduledEvent(const AudioUnitParameterEvent& event, UInt32 sliceOffsetInBuffer,
                           UInt32 sliceDurationFrames) noexcept;

    // [render] The value at the slice's first frame, at its end, and the change per frame. A
    // constant gives delta 0. A ramp of zero frames gives its end value with delta 0.
    void GetRampSliceStartEnd(float& outStart, float& outEnd,
                              float& outDeltaPerFrame) const noexcept;

    // [any thread] The fields one by one.
    UInt32 GetEventType() const noexcept { return mEventType.load(kOrder); }
    SInt32 GetBufferOffset() const noexcept { return mBufferOffset.load(kOrder); }
    UInt32 GetDurationInFrames() const noexcept { return mDurationInFrames.load(kOrder); }
    AudioUnitParameterValue GetEndValue() const noexcept { return mValue2.load(kOrder); }
    UInt32 GetSliceDurationFrames() const noexcept { return mSliceDurationFrames.load(kOrder); }

private:
    // Each field stands alone; no reader relies on seeing two fields from the same write.
    static constexpr std::memory_order kOrder = std::memory_order_relaxed;

    std::atomic<UInt32> mEventType;
    std::atomic<SInt32> mBufferOffset;
    std::atomic<UInt32> mDurationInFrames;
    std::atomic<AudioUnitParameterValue> mValue1;  // constant, or ramp start
    std::atomic<AudioUnitParameterValue> mValue2;  // constant, or ramp end
    std::atomic<UInt32> mSliceDurationFrames;
};

// Lookups of unknown ids throw kAudioUnitErr_InvalidParameter as an OSStatus.
class AUElement {
public:
    explicit AUElement(marvex::AUElementOwner* unit);
    virtual ~AUElement();
    AUElement(const AUElement&) = delete;
    AUElement& operator=(const AUElement&) = delete;

    marvex::AUElementOwner* GetAudioUnit() const { return mAudioUnit; }

    // [control, not rendering] Switches (for good) to a table indexed by id holding ids
    // 0..number-1. Records that exist keep their contents; new ones are 0. A negative number
    // counts as 0.
    virtual void UseIndexedParameters(int number);

    // [any thread] The stored record; throws kAudioUnitErr_InvalidParameter for an unknown id.
    ParameterMapEvent& GetParamEvent(AudioUnitParameterID paramID);
    const ParameterMapEvent& GetParamEvent(AudioUnitParameterID paramID) const;

    // [any thread]
    AudioUnitParameterValue GetParameter(AudioUnitParameterID paramID) const;
    // [any thread] Indexed mode throws for an unknown id; keyed mode creates it, which grows
    // the map and so is [control, not rendering].
    void SetParameter(AudioUnitParameterID paramID, AudioUnitParameterValue value);
    // [render]
    void SetScheduledEvent(AudioUnitParameterID paramID, const AudioUnitParameterEvent& event,
                           UInt32 sliceOffsetInBuffer, UInt32 sliceDurationFrames);
    // [render]
    void GetRampSliceStartEnd(AudioUnitParameterID paramID, float& outStart, float& outEnd,
                              float& outDeltaPerFrame) const;

    bool UsesIndexedParameters() const { return mUseIndexedParameters; }
    UInt32 GetNumberOfParameters() const;
    // Writes GetNumberOfParameters() ids: 0..n-1 in indexed mode, ascending in keyed mode.
    void GetParameterList(AudioUnitParameterID* outList) const;

    // [control] Holds one reference on the name; null clears it.
    void SetName(CFStringRef name);
    // The held name (no reference added), or null.
    CFStringRef GetName() const { return mElementName; }
    bool HasName() const { return mElementName != nullptr; }

    // [control] Appends the parameter blob: big-endian count N, then N pairs of big-endian id
    // and float bits, in GetParameterList order. A ramp is saved as its start value.
    void SaveState(CFMutableDataRef data) const;
    // [control] Applies one blob and returns the address just past it. The caller guarantees
    // the whole blob is readable. In indexed mode an unknown id throws after the entries before
    // it were applied.
    const UInt8* RestoreState(const UInt8* state);
    // [control] As above, but reads nothing beyond `end`: returns null, applying nothing, when
    // the blob would extend past it (including a truncated count).
    const UInt8* RestoreState(const UInt8* state, const UInt8* end);

    // Bytes of a blob holding `count` parameters.
    static constexpr UInt64 StateByteSize(UInt32 count) { return 4 + 8 * UInt64(count); }

private:
    marvex::AUElementOwner* mAudioUnit;
    std::map<AudioUnitParameterID, ParameterMapEvent> mParameters;
    bool mUseIndexedParameters = false;
    std::vector<ParameterMapEvent> mIndexedParameters;
    CFStringRef mElementName = nullptr;
};
