// Stream formats and channel layouts of AUBase: which formats a unit accepts, which element a
// format request addresses, when a format may change, and the routing of layout requests to
// the buses.

#include <vector>

#include "core/AUBase.h"
#include "core/CAAudioChannelLayout.h"

namespace {

// The bus a format request addresses: the global scope stands for output bus 0.
AUIOElement* FormatElement(AUBase& unit, AudioUnitScope scope, AudioUnitElement element) {
    switch (scope) {
        case kAudioUnitScope_Input:
            return unit.GetIOElement(kAudioUnitScope_Input, element);
        case kAudioUnitScope_Output:
            return unit.GetIOElement(kAudioUnitScope_Output, element);
        case kAudioUnitScope_Global:
            return unit.GetIOElement(kAudioUnitScope_Output, 0);
        default:
            throw OSStatus(kAudioUnitErr_InvalidScope);
    }
}

}  // namespace

bool AUBase::ValidFormat(AudioUnitScope, AudioUnitElement,
                         const CAStreamBasicDescription& inNewFormat) {
    return FormatIsCanonical(inNewFormat);
}

// The order of the tests is part of the contract (a format is refused at the first that fails);
// rate and channel count are deliberately not tested.
bool AUBase::FormatIsCanonical(const CAStreamBasicDescription& f) {
    if (f.mFormatID != kAudioFormatLinearPCM) return false;
    if (f.mFramesPerPacket != 1) return false;
    if (f.mBytesPerPacket != f.mBytesPerFrame) return false;
    if ((f.mFormatFlags & kAudioFormatFlagIsFloat) == 0) return false;
    const bool interleaved = (f.mFormatFlags & kAudioFormatFlagIsNonInterleaved) == 0;
    if (interleaved != (AudioUnitAPIVersion() == 1)) return false;
    if ((f.mFormatFlags & kAudioFormatFlagIsBigEndian) != 0) return false;
    if (f.mBitsPerChannel != 32) return false;
    // 64-bit product: a hostile channel count cannot wrap into a match.
    return UInt64(f.mBytesPerFrame) == 4 * UInt64(f.NumberInterleavedChannels());
}

const CAStreamBasicDescription& AUBase::GetStreamFormat(AudioUnitScope inScope,
                                                        AudioUnitElement inElement) {
    return FormatElement(*this, inScope, inElement)->GetStreamFormat();
}

bool AUBase::IsStreamFormatWritable(AudioUnitScope scope, AudioUnitElement element) {
    switch (scope) {
        case kAudioUnitScope_Global:
            return StreamFormatWritable(kAudioUnitScope_Output, 0);
        case kAudioUnitScope_Input:
            // A connected input takes the format of its source.
            if (GetInput(element)->HasConnection()) return false;
            return StreamFormatWritable(kAudioUnitScope_Input, element);
        case kAudioUnitScope_Output:
            return StreamFormatWritable(kAudioUnitScope_Output, element);
        default:
            return false;
    }
}

OSStatus AUBase::ChangeStreamFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                                    const CAStreamBasicDescription&,
                                    const CAStreamBasicDescription& inNewFormat) {
    // The base bus always takes the format; a subclass's bus that refuses is not announced.
    const OSStatus taken = FormatElement(*this, inScope, inElement)->SetStreamFormat(inNewFormat);
    if (taken != noErr) return taken;
    // Announced with the request's own address, also when the global scope stood for output 0.
    PropertyChanged(kAudioUnitProperty_StreamFormat, inScope, inElement);
    return noErr;
}

UInt32 AUBase::GetChannelLayoutTags(AudioUnitScope scope, AudioUnitElement element,
                                    AudioChannelLayoutTag* outLayoutTags) {
    return GetIOElement(scope, element)->GetChannelLayoutTags(outLayoutTags);
}

UInt32 AUBase::GetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element,
                                     AudioChannelLayout* outLayoutPtr, Boolean& outWritable) {
    return GetIOElement(scope, element)->GetAudioChannelLayout(outLayoutPtr, outWritable);
}

OSStatus AUBase::SetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element,
                                       const AudioChannelLayout* inLayout) {
    AUIOElement* io = GetIOElement(scope, element);
    if (inLayout == nullptr) return kAudioUnitErr_InvalidPropertyValue;
    if (io->GetStreamFormat().NumberChannels() != CAAudioChannelLayout::NumberChannels(*inLayout))
        return kAudioUnitErr_InvalidPropertyValue;

    const UInt32 numTags = GetChannelLayoutTags(scope, element, nullptr);
    if (numTags == 0) return kAudioUnitErr_InvalidProperty;
    std::vector<AudioChannelLayoutTag> tags(numTags);
    GetChannelLayoutTags(scope, element, tags.data());
    bool accepted = false;
    for (AudioChannelLayoutTag tag : tags) {
        // A unit offering "use descriptions" takes any layout.
        if (tag == inLayout->mChannelLayoutTag ||
            tag == kAudioChannelLayoutTag_UseChannelDescriptions) {
            accepted = true;
            break;
        }
    }
    if (!accepted) return kAudioUnitErr_InvalidPropertyValue;
    return io->SetAudioChannelLayout(*inLayout);
}

OSStatus AUBase::RemoveAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element) {
    AUIOElement* io = GetIOElement(scope, element);
    Boolean writable = false;
    if (io->GetAudioChannelLayout(nullptr, writable) == 0) return noErr;
    return io->RemoveAudioChannelLayout();
}
