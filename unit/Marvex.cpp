#include "unit/Marvex.h"

#include <cstring>

#include "format/CFBundle.h"
#include "format/CFString.h"
#include "format/CFURL.h"

namespace {

constexpr const char* kParameterOneName = "Precision";
constexpr const char* kParameterTwoName = "Pitch";
constexpr const char* kParameterThreeName = "Frequency";
constexpr const char* kParameterFourName = "LowerFrequency";
constexpr const char* kParameterFiveName = "CentralFrequency";
constexpr const char* kParameterSixName = "UpperFrequency";
constexpr const char* kParameterSevenName = "Note";
constexpr const char* kParameterEightName = "Deviation";

constexpr AudioUnitParameterValue kDefaultValue_ParamOne = 2.0f;
constexpr AudioUnitParameterValue kDefaultValue_ParamTwo = 440.0f;
constexpr AudioUnitParameterValue kDefaultValue_ParamThree = 440.0f;
constexpr AudioUnitParameterValue kDefaultValue_ParamFour = 440.0f;
constexpr AudioUnitParameterValue kDefaultValue_ParamFive = 440.0f;
constexpr AudioUnitParameterValue kDefaultValue_ParamSix = 440.0f;
constexpr AudioUnitParameterValue kDefaultValue_ParamSeven = 48.0f;
constexpr AudioUnitParameterValue kDefaultValue_ParamEight = 0.0f;

struct ParameterRow {
    const char* name;
    AudioUnitParameterUnit unit;
    AudioUnitParameterValue minValue;
    AudioUnitParameterValue maxValue;
    AudioUnitParameterValue defaultValue;
};

// Indexed by parameter id.
constexpr ParameterRow kParameterTable[kNumberOfParameters] = {
    {kParameterOneName, kAudioUnitParameterUnit_Indexed, 0, 4, kDefaultValue_ParamOne},
    {kParameterTwoName, kAudioUnitParameterUnit_Generic, 400, 480, kDefaultValue_ParamTwo},
    {kParameterThreeName, kAudioUnitParameterUnit_Hertz, 1, 20000, kDefaultValue_ParamThree},
    {kParameterFourName, kAudioUnitParameterUnit_Hertz, 1, 20000, kDefaultValue_ParamFour},
    {kParameterFiveName, kAudioUnitParameterUnit_Hertz, 1, 20000, kDefaultValue_ParamFive},
    {kParameterSixName, kAudioUnitParameterUnit_Hertz, 1, 20000, kDefaultValue_ParamSix},
    {kParameterSevenName, kAudioUnitParameterUnit_Indexed, 0, 84, kDefaultValue_ParamSeven},
    {kParameterEightName, kAudioUnitParameterUnit_Generic, -1, 1, kDefaultValue_ParamEight},
};

// The first two are settings; the six results are read-only and carry no name-string flag.
constexpr AudioUnitParameterID kFirstResultParameter = kParam_Frequency;

}  // namespace

Marvex::Marvex(ComponentInstance inComponentInstance) : AUEffectBase(inComponentInstance, true) {
    CreateElements();
    Globals()->UseIndexedParameters(kNumberOfParameters);
    // Deviation is not set: a new indexed parameter is already 0, its default.
    for (AudioUnitParameterID id = kParam_Precision; id <= kParam_Note; ++id)
        AUEffectBase::SetParameter(id, kParameterTable[id].defaultValue);
}

Marvex::~Marvex() = default;

OSStatus Marvex::GetParameterInfo(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                                  AudioUnitParameterInfo& outParameterInfo) {
    outParameterInfo.flags =
        kAudioUnitParameterFlag_IsWritable | kAudioUnitParameterFlag_IsReadable;
    if (inScope != kAudioUnitScope_Global || inParameterID >= kNumberOfParameters)
        return kAudioUnitErr_InvalidParameter;

    const ParameterRow& row = kParameterTable[inParameterID];
    AUBase::FillInParameterName(outParameterInfo, marvex::ConstantString(row.name), false);
    outParameterInfo.unit = row.unit;
    outParameterInfo.minValue = row.minValue;
    outParameterInfo.maxValue = row.maxValue;
    outParameterInfo.defaultValue = row.defaultValue;
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
