#include "effect/AUEffectBase.h"

namespace {
constexpr std::int32_t kAudioUnitErr_InvalidParameter = -10878;
}

AUEffectBase::AUEffectBase(double inSampleRate, std::uint32_t inParameterCount)
    : mParameters(new std::atomic<float>[inParameterCount]),
      mParameterCount(inParameterCount),
      mSampleRate(inSampleRate) {
    for (std::uint32_t i = 0; i < inParameterCount; ++i)
        mParameters[i].store(0.0f, std::memory_order_relaxed);
}

std::atomic<float>& AUEffectBase::Slot(std::uint32_t paramID) const {
    if (paramID >= mParameterCount) throw kAudioUnitErr_InvalidParameter;
    return mParameters[paramID];
}

// Relaxed is enough: each value stands alone, and readers may see one estimate's values mixed
// with the next one's anyway.
float AUEffectBase::GetParameter(std::uint32_t paramID) const {
    return Slot(paramID).load(std::memory_order_relaxed);
}

void AUEffectBase::SetParameter(std::uint32_t paramID, float inValue) {
    Slot(paramID).store(inValue, std::memory_order_relaxed);
}
