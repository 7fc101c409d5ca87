// Construction, lifecycle, buffers and element access of AUBase.

#include "core/AUBase.h"

#include <mutex>

#include "format/CFString.h"

CFStringRef AUBase::kUntitledString = nullptr;
CFStringRef AUBase::kVersionString = nullptr;
CFStringRef AUBase::kTypeString = nullptr;
CFStringRef AUBase::kSubtypeString = nullptr;
CFStringRef AUBase::kManufacturerString = nullptr;
CFStringRef AUBase::kDataString = nullptr;
CFStringRef AUBase::kNameString = nullptr;
CFStringRef AUBase::kRenderQualityString = nullptr;
CFStringRef AUBase::kCPULoadString = nullptr;
CFStringRef AUBase::kElementNameString = nullptr;
CFStringRef AUBase::kPartString = nullptr;
std::atomic<bool> AUBase::sAUBaseCFStringsInitialized{false};

namespace {

// Two units may be constructed at once on different threads; the strings are set exactly once
// and every constructor returns only after they are.
void InitializeKeyStrings() {
    static std::once_flag once;
    std::call_once(once, [] {
        AUBase::kUntitledString = CFSTR("Untitled");
        AUBase::kVersionString = CFSTR("version");
        AUBase::kTypeString = CFSTR("type");
        AUBase::kSubtypeString = CFSTR("subtype");
        AUBase::kManufacturerString = CFSTR("manufacturer");
        AUBase::kDataString = CFSTR("data");
        AUBase::kNameString = CFSTR("name");
        AUBase::kRenderQualityString = CFSTR("render-quality");
        AUBase::kCPULoadString = CFSTR("cpu-load");
        AUBase::kElementNameString = CFSTR("element-name");
        AUBase::kPartString = CFSTR("part");
        AUBase::sAUBaseCFStringsInitialized.store(true);
    });
}

}  // namespace

AUBase::AUBase(ComponentInstance inInstance, UInt32 numInputs, UInt32 numOutputs, UInt32 numGroups,
               UInt32 numParts)
    : ComponentBase(inInstance),
      mInitNumInputEls(numInputs),
      mInitNumOutputEls(numOutputs),
      mInitNumGroupEls(numGroups),
      mInitNumPartEls(numParts) {
    if (!sAUBaseCFStringsInitialized.load()) InitializeKeyStrings();

    mAudioUnitAPIVersion = kAUBaseAPIVersion;

    // Nothing is allocated yet, so this only stores the value and tells no listener.
    SetMaxFramesPerSlice(kDefaultMaxFramesPerSlice);

    // Inside the base's constructor the dynamic type is AUBase, so the global element is always
    // the base's plain AUElement whatever a subclass's CreateElement makes.
    mScopes[kAudioUnitScope_Global].Initialize(this, kAudioUnitScope_Global, 1);

    if (mAudioUnitAPIVersion > 1) mScheduledEvents.reserve(24);

    mCurrentPreset.presetNumber = -1;
    mCurrentPreset.presetName = kUntitledString;
    CFRetain(mCurrentPreset.presetName);
}

AUBase::~AUBase() {
    if (mCurrentPreset.presetName != nullptr) CFRelease(mCurrentPreset.presetName);
    if (mContextName != nullptr) CFRelease(mContextName);
    // Members go in reverse order of declaration: listeners, events, the notification list,
    // then the scopes from the part scope back to the global scope.
}

void AUBase::PostConstructor() {
    CreateElements();
}

void AUBase::PreDestructor() {
    DoCleanup();
}

OSStatus AUBase::Initialize() {
    return noErr;
}

void AUBase::Cleanup() {}

OSStatus AUBase::Reset(AudioUnitScope, AudioUnitElement) {
    mLastRenderedSampleTime = -1.0;
    return noErr;
}

void AUBase::CreateElements() {
    if (mElementsCreated) return;
    Inputs().Initialize(this, kAudioUnitScope_Input, mInitNumInputEls);
    Outputs().Initialize(this, kAudioUnitScope_Output, mInitNumOutputEls);
    Groups().Initialize(this, kAudioUnitScope_Group, mInitNumGroupEls);
    Parts().Initialize(this, kAudioUnitScope_Part, mInitNumPartEls);
    mElementsCreated = true;
}

OSStatus AUBase::DoInitialize() {
    if (mInitialized) return noErr;
    const OSStatus result = Initialize();
    if (result != noErr) return result;
    mInitialized = true;
    ReallocateBuffers();
    return noErr;
}

void AUBase::DoCleanup() {
    if (mInitialized) Cleanup();
    mInitialized = false;
}

AUElement* AUBase::CreateElement(AudioUnitScope scope, AudioUnitElement) {
    switch (scope) {
        case kAudioUnitScope_Global:
        case kAudioUnitScope_Group:
        case kAudioUnitScope_Part:
            return new AUElement(this);
        case kAudioUnitScope_Input:
            return new AUInputElement(this);
        case kAudioUnitScope_Output:
            return new AUOutputElement(this);
        default:
            throw OSStatus(kAudioUnitErr_InvalidScope);
    }
}

void AUBase::ReallocateBuffers() {
    CreateElements();
    const UInt32 outputs = Outputs().GetNumberOfElements();
    for (UInt32 i = 0; i < outputs; ++i) Outputs().GetIOElement(i)->AllocateBuffer();
    const UInt32 inputs = Inputs().GetNumberOfElements();
    for (UInt32 i = 0; i < inputs; ++i) Inputs().GetIOElement(i)->AllocateBuffer();
    mBuffersAllocated = true;
}

void AUBase::SetMaxFramesPerSlice(UInt32 nFrames) {
    mMaxFramesPerSlice = nFrames;
    if (mBuffersAllocated) ReallocateBuffers();
    PropertyChanged(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0);
}

OSStatus AUBase::CanSetMaxFrames() const {
    return mInitialized ? OSStatus(kAudioUnitErr_Initialized) : OSStatus(noErr);
}

AUScope& AUBase::GetScope(AudioUnitScope inScope) {
    if (inScope >= kNumberOfScopes) throw OSStatus(kAudioUnitErr_InvalidScope);
    return mScopes[inScope];
}

AUElement* AUBase::GetElement(AudioUnitScope inScope, AudioUnitElement inElement) {
    return GetScope(inScope).GetElement(inElement);
}

AUElement* AUBase::SafeGetElement(AudioUnitScope inScope, AudioUnitElement inElement) {
    return GetScope(inScope).SafeGetElement(inElement);
}

AUIOElement* AUBase::GetIOElement(AudioUnitScope inScope, AudioUnitElement inElement) {
    return GetScope(inScope).GetIOElement(inElement);
}

// A subclass may make other element kinds; a bus that is not of the expected kind is treated as
// missing rather than cast blindly.
AUInputElement* AUBase::GetInput(AudioUnitElement inElement) {
    auto* input = dynamic_cast<AUInputElement*>(Inputs().SafeGetElement(inElement));
    if (input == nullptr) throw OSStatus(kAudioUnitErr_InvalidElement);
    return input;
}

AUOutputElement* AUBase::GetOutput(AudioUnitElement inElement) {
    auto* output = dynamic_cast<AUOutputElement*>(Outputs().SafeGetElement(inElement));
    if (output == nullptr) throw OSStatus(kAudioUnitErr_InvalidElement);
    return output;
}

bool AUBase::HasInput(AudioUnitElement inElement) {
    auto* input = dynamic_cast<AUInputElement*>(Inputs().GetElement(inElement));
    return input != nullptr && input->IsActive();
}

void AUBase::SetNumberOfElements(AudioUnitScope inScope, UInt32 numElements) {
    if (inScope == kAudioUnitScope_Global) {
        if (numElements != 1) throw OSStatus(kAudioUnitErr_InvalidScope);
        return;
    }
    GetScope(inScope).SetNumberOfElements(numElements);
}
