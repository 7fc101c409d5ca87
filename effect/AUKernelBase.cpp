#include "effect/AUKernelBase.h"

#include "effect/AUEffectBase.h"

AUKernelBase::AUKernelBase(AUEffectBase* inAudioUnit)
    : mEffectUnit(inAudioUnit), mLastKernel(false), mChannelNum(0) {}

AUKernelBase::~AUKernelBase() = default;

void AUKernelBase::Reset() {}

double AUKernelBase::GetSampleRate() {
    return mEffectUnit->GetSampleRate();
}

float AUKernelBase::GetParameter(std::uint32_t paramID) {
    return mEffectUnit->GetParameter(paramID);
}
