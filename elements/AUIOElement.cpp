#include "elements/AUIOElement.h"

AUIOElement::AUIOElement(marvex::AUElementOwner* unit) : AUElement(unit) {
    const bool interleaved = unit != nullptr && unit->AudioUnitAPIVersion() == 1;
    mStreamFormat.SetCanonical(2, interleaved);
    mStreamFormat.mSampleRate = 44100.0;
}

OSStatus AUIOElement::SetStreamFormat(const CAStreamBasicDescription& format) {
    mStreamFormat = format;
    return noErr;
}

UInt32 AUIOElement::GetChannelLayoutTags(AudioChannelLayoutTag* /*outLayoutTags*/) {
    return 0;
}

UInt32 AUIOElement::GetAudioChannelLayout(AudioChannelLayout* /*outLayout*/,
                                          Boolean& /*outWritable*/) {
    return 0;
}

OSStatus AUIOElement::SetAudioChannelLayout(const AudioChannelLayout& /*layout*/) {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUIOElement::RemoveAudioChannelLayout() {
    return kAudioUnitErr_InvalidPropertyValue;
}

void AUIOElement::AllocateBuffer(UInt32 frames) {
    marvex::AUElementOwner* unit = GetAudioUnit();
    if (unit == nullptr || !unit->IsInitialized()) return;
    if (frames == 0) frames = unit->GetMaxFramesPerSlice();
    mIOBuffer.Allocate(mStreamFormat, NeedsBufferSpace() ? frames : 0);
}
