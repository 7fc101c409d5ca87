#include "unit/MarvexKernel.h"

#include "effect/AUEffectBase.h"
#include "unit/MarvexParameters.h"

Marvex::MarvexKernel::MarvexKernel(AUEffectBase* owner)
    : AUKernelBase(owner), mAnalysis(GetSampleRate(), GetParameter(kParam_Pitch)) {}

void Marvex::MarvexKernel::Process(const float* inSourceP, float* inDestP,
                                   std::uint32_t inFramesToProcess, std::uint32_t inNumChannels,
                                   bool& /*ioSilence*/) {
    const marvex::PitchResult result = mAnalysis.process(
        inSourceP, inDestP, inFramesToProcess, inNumChannels, GetParameter(kParam_Precision));
    if (result.hasNote) mEffectUnit->SetParameter(kParam_Note, static_cast<float>(result.note));
    if (!result.hasPitch) return;
    mEffectUnit->SetParameter(kParam_Frequency, result.frequencyHz);
    mEffectUnit->SetParameter(kParam_CentralFrequency, result.centralHz);
    if (result.hasNote) mEffectUnit->SetParameter(kParam_LowerFrequency, result.lowerHz);
    mEffectUnit->SetParameter(kParam_UpperFrequency, result.upperHz);
    mEffectUnit->SetParameter(kParam_Deviation, result.deviation);
}
