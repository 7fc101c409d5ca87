#include "elements/AUElement.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace {

// 32-bit wrap-around arithmetic without signed overflow.
SInt32 WrapSub(SInt32 a, UInt32 b) {
    return static_cast<SInt32>(static_cast<UInt32>(a) - b);
}
SInt32 WrapNeg(SInt32 a) {
    return static_cast<SInt32>(0u - static_cast<UInt32>(a));
}

void PutBigEndian(UInt8* out, UInt32 word) {
    out[0] = UInt8(word >> 24);
    out[1] = UInt8(word >> 16);
    out[2] = UInt8(word >> 8);
    out[3] = UInt8(word);
}

UInt32 GetBigEndian(const UInt8* in) {
    return (UInt32(in[0]) << 24) | (UInt32(in[1]) << 16) | (UInt32(in[2]) << 8) | UInt32(in[3]);
}

}  // namespace

// ParameterMapEvent

ParameterMapEvent::ParameterMapEvent() noexcept
    : mEventType(kParameterEvent_Immediate),
      mBufferOffset(0),
      mDurationInFrames(0),
      mValue1(0.0f),
      mValue2(0.0f),
      mSliceDurationFrames(0) {}

ParameterMapEvent::ParameterMapEvent(AudioUnitParameterValue value) noexcept
    : mEventType(kParameterEvent_Immediate),
      mBufferOffset(0),
      mDurationInFrames(0),
      mValue1(value),
      mValue2(value),
      mSliceDurationFrames(0) {}

ParameterMapEvent::ParameterMapEvent(const AudioUnitParameterEvent& event,
                                     UInt32 sliceOffsetInBuffer,
                                     UInt32 sliceDurationFrames) noexcept
    : ParameterMapEvent() {
    SetScheduledEvent(event, sliceOffsetInBuffer, sliceDurationFrames);
}

ParameterMapEvent::ParameterMapEvent(const ParameterMapEvent& other) noexcept
    : mEventType(other.mEventType.load(kOrder)),
      mBufferOffset(other.mBufferOffset.load(kOrder)),
      mDurationInFrames(other.mDurationInFrames.load(kOrder)),
      mValue1(other.mValue1.load(kOrder)),
      mValue2(other.mValue2.load(kOrder)),
      mSliceDurationFrames(other.mSliceDurationFrames.load(kOrder)) {}

ParameterMapEvent& ParameterMapEvent::operator=(const ParameterMapEvent& other) noexcept {
    mEventType.store(other.mEventType.load(kOrder), kOrder);
    mBufferOffset.store(other.mBufferOffset.load(kOrder), kOrder);
    mDurationInFrames.store(other.mDurationInFrames.load(kOrder), kOrder);
    mValue1.store(other.mValue1.load(kOrder), kOrder);
    mValue2.store(other.mValue2.load(kOrder), kOrder);
    mSliceDurationFrames.store(other.mSliceDurationFrames.load(kOrder), kOrder);
    return *this;
}

void ParameterMapEvent::SetValue(AudioUnitParameterValue value) noexcept {
    mEventType.store(kParameterEvent_Immediate, kOrder);
    mValue1.store(value, kOrder);
    mValue2.store(value, kOrder);
}

void ParameterMapEvent::SetScheduledEvent(const AudioUnitParameterEvent& event,
                                          UInt32 sliceOffsetInBuffer,
                                          UInt32 sliceDurationFrames) noexcept {
    mEventType.store(event.eventType, kOrder);
    mSliceDurationFrames.store(sliceDurationFrames, kOrder);
    if (event.eventType == kParameterEvent_Immediate) {
        const AudioUnitParameterValue v = event.eventValues.immediate.value;
        mValue1.store(v, kOrder);
        mValue2.store(v, kOrder);
        mDurationInFrames.store(sliceDurationFrames, kOrder);
        mBufferOffset.store(0, kOrder);
    } else {
        // Every other type is taken as a ramp.
        mDurationInFrames.store(event.eventValues.ramp.durationInFrames, kOrder);
        mBufferOffset.store(WrapSub(event.eventValues.ramp.startBufferOffset, sliceOffsetInBuffer),
                            kOrder);
        mValue1.store(event.eventValues.ramp.startValue, kOrder);
        mValue2.store(event.eventValues.ramp.endValue, kOrder);
    }
}

void ParameterMapEvent::GetRampSliceStartEnd(float& outStart, float& outEnd,
                                             float& outDeltaPerFrame) const noexcept {
    const float start = mValue1.load(kOrder);
    const float end = mValue2.load(kOrder);
    if (mEventType.load(kOrder) != kParameterEvent_Ramped) {
        outDeltaPerFrame = 0.0f;
        outEnd = start;
        outStart = start;
        return;
    }
    const UInt32 duration = mDurationInFrames.load(kOrder);
    if (duration == 0) {
        // A ramp of no length has already arrived.
        outDeltaPerFrame = 0.0f;
        outStart = end;
        outEnd = end;
        return;
    }
    // Single precision, each step rounded before the next uses it.
    const float delta = (end - start) / static_cast<float>(duration);
    const float sliceStart =
        static_cast<float>(WrapNeg(mBufferOffset.load(kOrder))) * delta + start;
    const float sliceEnd =
        static_cast<float>(mSliceDurationFrames.load(kOrder)) * delta + sliceStart;
    outDeltaPerFrame = delta;
    outStart = sliceStart;
    outEnd = sliceEnd;
}

// AUElement

AUElement::AUElement(marvex::AUElementOwner* unit) : mAudioUnit(unit) {}

AUElement::~AUElement() {
    if (mElementName != nullptr) CFRelease(mElementName);
}

void AUElement::UseIndexedParameters(int number) {
    mIndexedParameters.resize(static_cast<std::size_t>(std::max(number, 0)));
    mUseIndexedParameters = true;
}

ParameterMapEvent& AUElement::GetParamEvent(AudioUnitParameterID paramID) {
    return const_cast<ParameterMapEvent&>(std::as_const(*this).GetParamEvent(paramID));
}

const ParameterMapEvent& AUElement::GetParamEvent(AudioUnitParameterID paramID) const {
    if (mUseIndexedParameters) {
        if (paramID >= mIndexedParameters.size()) throw OSStatus(kAudioUnitErr_InvalidParameter);
        return mIndexedParameters[paramID];
    }
    const auto it = mParameters.find(paramID);
    if (it == mParameters.end()) throw OSStatus(kAudioUnitErr_InvalidParameter);
    return it->second;
}

AudioUnitParameterValue AUElement::GetParameter(AudioUnitParameterID paramID) const {
    return GetParamEvent(paramID).GetValue();
}

void AUElement::SetParameter(AudioUnitParameterID paramID, AudioUnitParameterValue value) {
    if (mUseIndexedParameters) {
        GetParamEvent(paramID).SetValue(value);
        return;
    }
    const auto it = mParameters.find(paramID);
    if (it != mParameters.end()) {
        it->second.SetValue(value);
    } else {
        mParameters.emplace(paramID, ParameterMapEvent(value));
    }
}

void AUElement::SetScheduledEvent(AudioUnitParameterID paramID,
                                  const AudioUnitParameterEvent& event, UInt32 sliceOffsetInBuffer,
                                  UInt32 sliceDurationFrames) {
    if (mUseIndexedParameters) {
        GetParamEvent(paramID).SetScheduledEvent(event, sliceOffsetInBuffer, sliceDurationFrames);
        return;
    }
    const auto it = mParameters.find(paramID);
    if (it != mParameters.end()) {
        it->second.SetScheduledEvent(event, sliceOffsetInBuffer, sliceDurationFrames);
    } else {
        mParameters.emplace(paramID,
                            ParameterMapEvent(event, sliceOffsetInBuffer, sliceDurationFrames));
    }
}

void AUElement::GetRampSliceStartEnd(AudioUnitParameterID paramID, float& outStart, float& outEnd,
                                     float& outDeltaPerFrame) const {
    GetParamEvent(paramID).GetRampSliceStartEnd(outStart, outEnd, outDeltaPerFrame);
}

UInt32 AUElement::GetNumberOfParameters() const {
    return static_cast<UInt32>(mUseIndexedParameters ? mIndexedParameters.size()
                                                     : mParameters.size());
}

void AUElement::GetParameterList(AudioUnitParameterID* outList) const {
    if (mUseIndexedParameters) {
        const UInt32 n = GetNumberOfParameters();
        for (UInt32 i = 0; i < n; ++i) outList[i] = i;
    } else {
        for (const auto& entry : mParameters) *outList++ = entry.first;
    }
}

void AUElement::SetName(CFStringRef name) {
    if (name != nullptr) CFRetain(name);
    if (mElementName != nullptr) CFRelease(mElementName);
    mElementName = name;
}

void AUElement::SaveState(CFMutableDataRef data) const {
    const UInt32 count = GetNumberOfParameters();
    UInt8 word[4];
    PutBigEndian(word, count);
    CFDataAppendBytes(data, word, 4);

    auto appendEntry = [data](AudioUnitParameterID id, const ParameterMapEvent& event) {
        UInt8 entry[8];
        PutBigEndian(entry, id);
        PutBigEndian(entry + 4, std::bit_cast<UInt32>(event.GetValue()));
        CFDataAppendBytes(data, entry, 8);
    };
    if (mUseIndexedParameters) {
        for (UInt32 i = 0; i < count; ++i) appendEntry(i, mIndexedParameters[i]);
    } else {
        for (const auto& [id, event] : mParameters) appendEntry(id, event);
    }
}

const UInt8* AUElement::RestoreState(const UInt8* state) {
    const UInt32 count = GetBigEndian(state);
    const UInt8* entry = state + 4;
    for (UInt32 k = 0; k < count; ++k, entry += 8) {
        SetParameter(GetBigEndian(entry),
                     std::bit_cast<AudioUnitParameterValue>(GetBigEndian(entry + 4)));
    }
    return entry;
}

const UInt8* AUElement::RestoreState(const UInt8* state, const UInt8* end) {
    if (state == nullptr || end < state || end - state < 4) return nullptr;
    const UInt64 available = static_cast<UInt64>(end - state);
    if (StateByteSize(GetBigEndian(state)) > available) return nullptr;
    return RestoreState(state);
}
