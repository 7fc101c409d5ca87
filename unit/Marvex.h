#pragma once

#include "effect/AUEffectBase.h"
#include "format/AudioUnitViewInfo.h"
#include "unit/MarvexIdentity.h"

// The tuner: an effect whose audio passes through unchanged while one MarvexKernel per channel
// analyses it and publishes the result in the eight global parameters (unit/MarvexParameters.h).
class Marvex : public AUEffectBase {
public:
    class MarvexKernel;  // unit/MarvexKernel.h

    // [control] Creates the elements and the eight parameters with their defaults.
    explicit Marvex(ComponentInstance inComponentInstance);
    ~Marvex() override;

    // [any thread]
    OSStatus Version() override { return kMarvexVersion; }

    // [control] The view property (31) in the global scope; the rest goes to the effect base.
    OSStatus GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                             AudioUnitElement inElement, UInt32& outDataSize,
                             Boolean& outWritable) override;
    OSStatus GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                         AudioUnitElement inElement, void* outData) override;

    // [control]
    OSStatus GetParameterInfo(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                              AudioUnitParameterInfo& outParameterInfo) override;
    // [control] No parameter has value names.
    OSStatus GetParameterValueStrings(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                                      CFArrayRef* outStrings) override;

    bool SupportsTail() override { return false; }

    // [control] One analysis kernel per channel.
    AUKernelBase* NewKernel() override;
};
