#include "unit/Marvex.h"

#include <cstring>

#include "format/CFBundle.h"
#include "format/CFString.h"
#include "format/CFURL.h"
#include "unit/MarvexKernel.h"
#include "unit/MarvexParameters.h"

Marvex::Marvex(ComponentInstance inComponentInstance) : AUEffectBase(inComponentInstance, true) {
    CreateElements();
    Globals()->UseIndexedParameters(kNumberOfParameters);
    // Deviation is not set: a new indexed parameter is already 0, its default.
    for (AudioUnitParameterID id = kParam_Precision; id <= kParam_Note; ++id)
        AUEffectBase::SetParameter(id, kMarvexParameters[id].defaultValue);
}

Marvex::~Marvex() = default;

AUKernelBase* Marvex::NewKernel() {
    return new MarvexKernel(this);
}

OSStatus Marvex::GetParameterInfo(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                                  AudioUnitParameterInfo& outParameterInfo) {
    outParameterInfo.flags =
        kAudioUnitParameterFlag_IsWritable | kAudioUnitParameterFlag_IsReadable;
    if (inScope != kAudioUnitScope_Global || inParameterID >= kNumberOfParameters)
        return kAudioUnitErr_InvalidParameter;

    const MarvexParameterInfo& row = kMarvexParameters[inParameterID];
    AUBase::FillInParameterName(outParameterInfo, marvex::ConstantString(row.name), false);
    outParameterInfo.unit = row.unit;
    outParameterInfo.minValue = row.minValue;
    outParameterInfo.maxValue = row.maxValue;
    outParameterInfo.defaultValue = row.defaultValue;
    // The results are read-only and carry no name-string flag.
    if (inParameterID >= kFirstResultParameter)
        outParameterInfo.flags = kAudioUnitParameterFlag_IsReadable;
    return noErr;
}

OSStatus Marvex::GetParameterValueStrings(AudioUnitScope, AudioUnitParameterID, CFArrayRef*) {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus Marvex::GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                 AudioUnitElement inElement, UInt32& outDataSize,
                                 Boolean& outWritable) {
    if (inID == kAudioUnitProperty_CocoaUI && inScope == kAudioUnitScope_Global) {
        outWritable = false;
        outDataSize = sizeof(AudioUnitViewInfo);
        return noErr;
    }
    return AUEffectBase::GetPropertyInfo(inID, inScope, inElement, outDataSize, outWritable);
}

OSStatus Marvex::GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                             AudioUnitElement inElement, void* outData) {
    if (inID == kAudioUnitProperty_CocoaUI && inScope == kAudioUnitScope_Global) {
        CFBundleRef bundle = CFBundleGetBundleWithIdentifier(CFSTR(kMarvexBundleIdentifier));
        if (bundle == nullptr) return fnfErr;
        CFURLRef factoryURL = CFBundleCopyResourceURL(bundle, CFSTR(kMarvexViewFactoryName),
                                                      CFSTR("bundle"), nullptr);
        if (factoryURL == nullptr) return fnfErr;
        // The URL's reference passes to the caller; the class name is a constant.
        const AudioUnitViewInfo info{factoryURL, {CFSTR(kMarvexViewFactoryName)}};
        std::memcpy(outData, &info, sizeof info);
        return noErr;
    }
    return AUEffectBase::GetProperty(inID, inScope, inElement, outData);
}
