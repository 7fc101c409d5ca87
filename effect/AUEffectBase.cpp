#include "effect/AUEffectBase.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "effect/AUKernelBase.h"

namespace {

constexpr UInt32 kSampleBytes = sizeof(Float32);

// The walk state of one scheduled render: the flags and the two lists, plus how far the slices
// have moved the pointers, so that the lists can be put back exactly on every way out.
struct ScheduledProcessParams {
    AudioUnitRenderActionFlags* actionFlags;
    AudioBufferList* inputBufferList;
    AudioBufferList* outputBufferList;
    UInt32 framesWalked;
};

void MoveBuffers(AudioBufferList& ioList, UInt32 inFrames, bool inForward) {
    for (UInt32 i = 0; i < ioList.mNumberBuffers; ++i) {
        AudioBuffer& buffer = ioList.mBuffers[i];
        const std::size_t bytes =
            std::size_t(buffer.mNumberChannels) * std::size_t(inFrames) * kSampleBytes;
        char* data = static_cast<char*>(buffer.mData);
        buffer.mData = inForward ? data + bytes : data - bytes;
    }
}

void SetByteSizes(AudioBufferList& ioList, UInt32 inFrames) {
    for (UInt32 i = 0; i < ioList.mNumberBuffers; ++i) {
        AudioBuffer& buffer = ioList.mBuffers[i];
        buffer.mDataByteSize = buffer.mNumberChannels * inFrames * kSampleBytes;
    }
}

// Bytes that inFrames frames of inSamplesPerFrame samples take, in 64 bits so that nothing
// from the host can wrap it.
std::uint64_t BytesFor(UInt32 inFrames, UInt32 inSamplesPerFrame) {
    return std::uint64_t(inFrames) * inSamplesPerFrame * kSampleBytes;
}

bool BufferHolds(const AudioBuffer& inBuffer, std::uint64_t inBytes) {
    return inBuffer.mData != nullptr && inBuffer.mDataByteSize >= inBytes;
}

// Whether every buffer of the list holds inFrames frames of its channels: a scheduled render
// walks each buffer by its channel count, so a shorter buffer would be walked past its end.
bool ListHoldsFrames(const AudioBufferList& inList, UInt32 inFrames) {
    for (UInt32 i = 0; i < inList.mNumberBuffers; ++i) {
        const AudioBuffer& buffer = inList.mBuffers[i];
        if (!BufferHolds(buffer, BytesFor(inFrames, std::max<UInt32>(buffer.mNumberChannels, 1))))
            return false;
    }
    return true;
}

// Channels up to the last one that has a kernel; null kernels past it need no buffers.
std::size_t ChannelsWithKernels(const std::vector<AUKernelBase*>& inKernels) {
    std::size_t channels = inKernels.size();
    while (channels > 0 && inKernels[channels - 1] == nullptr) --channels;
    return channels;
}

// Whether every channel that has a kernel is in both lists with room for inFrames frames. The
// sizes checked are the unit's own or a producer's (a render caller's list arrives described by
// the output format), so a shortfall means the frames cannot be delivered: the render fails
// rather than hand back a channel that no kernel wrote.
bool ListsServeKernels(const std::vector<AUKernelBase*>& inKernels, const AudioBufferList& inList,
                       const AudioBufferList& outList, UInt32 inFrames) {
    const std::size_t channels = ChannelsWithKernels(inKernels);
    if (channels == 0) return true;
    if (inList.mNumberBuffers == 1) {
        // Interleaved: one buffer each, its channels those of the input buffer.
        const UInt32 stride = inList.mBuffers[0].mNumberChannels;
        const std::uint64_t bytes = BytesFor(inFrames, stride);
        return channels <= stride && outList.mNumberBuffers >= 1 &&
               BufferHolds(inList.mBuffers[0], bytes) && BufferHolds(outList.mBuffers[0], bytes);
    }
    if (channels > inList.mNumberBuffers || channels > outList.mNumberBuffers) return false;
    const std::uint64_t bytes = BytesFor(inFrames, 1);
    for (std::size_t c = 0; c < channels; ++c) {
        if (inKernels[c] == nullptr) continue;
        if (!BufferHolds(inList.mBuffers[c], bytes) || !BufferHolds(outList.mBuffers[c], bytes))
            return false;
    }
    return true;
}

}  // namespace

AUEffectBase::AUEffectBase(ComponentInstance inInstance, bool inProcessesInPlace)
    : AUBase(inInstance, 1, 1, 0, 0), mProcessesInPlace(inProcessesInPlace) {}

AUEffectBase::~AUEffectBase() {
    Cleanup();
}

OSStatus AUEffectBase::Initialize() {
    const UInt32 inChannels = GetInput(0)->GetStreamFormat().NumberChannels();
    const UInt32 outChannels = GetOutput(0)->GetStreamFormat().NumberChannels();
    // Configurations are 16-bit signed counts; a count that does not fit would compare equal to
    // a different one after truncation, so it is refused outright.
    if (inChannels > 0x7FFF || outChannels > 0x7FFF) return kAudioUnitErr_FormatNotSupported;
    const SInt16 in = static_cast<SInt16>(inChannels);
    const SInt16 out = static_cast<SInt16>(outChannels);

    const AUChannelInfo* table = nullptr;
    const UInt32 entries = SupportedNumChannels(&table);
    bool accepted = false;
    if (entries == 0 || table == nullptr) {
        accepted = in == out && out != 0;
    } else {
        for (UInt32 i = 0; i < entries && !accepted; ++i) {
            const SInt16 wantIn = table[i].inChannels;
            const SInt16 wantOut = table[i].outChannels;
            if (wantIn < 0 && wantOut < 0) {
                accepted = (wantIn == -1 && wantOut == -2) || (wantIn == -2 && wantOut == -1) ||
                           (wantIn == -1 && wantOut == -1 && in == out);
            } else {
                accepted = (wantIn == in || wantIn == -1) && (wantOut == out || wantOut == -1);
            }
        }
    }
    if (!accepted) return kAudioUnitErr_FormatNotSupported;

    MaintainKernels();
    return noErr;
}

void AUEffectBase::MaintainKernels() {
    const UInt32 channels = GetNumberOfChannels();
    if (mKernels.size() < channels) {
        mKernels.reserve(channels);
        while (mKernels.size() < channels) mKernels.push_back(NewKernel());
    } else {
        while (mKernels.size() > channels) {
            delete mKernels.back();
            mKernels.pop_back();
        }
    }
    for (UInt32 i = 0; i < channels; ++i) {
        if (AUKernelBase* kernel = mKernels[i]) {
            kernel->SetLastKernel(i == channels - 1);
            kernel->SetChannelNum(i);
        }
    }
}

void AUEffectBase::Cleanup() {
    for (AUKernelBase* kernel : mKernels) delete kernel;
    mKernels.clear();
}

OSStatus AUEffectBase::Reset(AudioUnitScope inScope, AudioUnitElement inElement) {
    for (AUKernelBase* kernel : mKernels) {
        if (kernel) kernel->Reset();
    }
    return AUBase::Reset(inScope, inElement);
}

UInt32 AUEffectBase::GetNumberOfChannels() {
    return GetOutput(0)->GetStreamFormat().NumberChannels();
}

Float64 AUEffectBase::GetSampleRate() {
    return GetOutput(0)->GetStreamFormat().mSampleRate;
}

AudioUnitParameterValue AUEffectBase::GetParameter(AudioUnitParameterID inID) {
    return Globals()->GetParameter(inID);
}

void AUEffectBase::SetParameter(AudioUnitParameterID inID, AudioUnitParameterValue inValue) {
    Globals()->SetParameter(inID, inValue);
}

bool AUEffectBase::StreamFormatWritable(AudioUnitScope, AudioUnitElement) {
    return !IsInitialized();
}

OSStatus AUEffectBase::ChangeStreamFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                                          const CAStreamBasicDescription& inPrevFormat,
                                          const CAStreamBasicDescription& inNewFormat) {
    const OSStatus result =
        AUBase::ChangeStreamFormat(inScope, inElement, inPrevFormat, inNewFormat);
    if (result == noErr && GetParamHasSampleRateDependency() &&
        inPrevFormat.mSampleRate != inNewFormat.mSampleRate) {
        PropertyChanged(kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0);
    }
    return result;
}

OSStatus AUEffectBase::GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                       AudioUnitElement inElement, UInt32& outDataSize,
                                       Boolean& outWritable) {
    if (inScope == kAudioUnitScope_Global &&
        (inID == kAudioUnitProperty_BypassEffect || inID == kAudioUnitProperty_InPlaceProcessing)) {
        outWritable = true;
        outDataSize = sizeof(UInt32);
        return noErr;
    }
    return AUBase::GetPropertyInfo(inID, inScope, inElement, outDataSize, outWritable);
}

OSStatus AUEffectBase::GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                   AudioUnitElement inElement, void* outData) {
    if (inScope == kAudioUnitScope_Global) {
        if (inID == kAudioUnitProperty_BypassEffect ||
            inID == kAudioUnitProperty_InPlaceProcessing) {
            const bool on =
                inID == kAudioUnitProperty_BypassEffect ? IsBypassEffect() : ProcessesInPlace();
            const UInt32 value = on ? 1 : 0;
            std::memcpy(outData, &value, sizeof value);
            return noErr;
        }
    }
    return AUBase::GetProperty(inID, inScope, inElement, outData);
}

OSStatus AUEffectBase::SetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                   AudioUnitElement inElement, const void* inData,
                                   UInt32 inDataSize) {
    if (inScope == kAudioUnitScope_Global) {
        if (inID == kAudioUnitProperty_BypassEffect) {
            if (inDataSize < sizeof(UInt32)) return kAudioUnitErr_InvalidPropertyValue;
            UInt32 value;
            std::memcpy(&value, inData, sizeof value);
            const bool bypass = value != 0;
            if (bypass == IsBypassEffect()) return noErr;
            // Kernels start clean when processing resumes.
            if (!bypass && IsInitialized()) Reset(kAudioUnitScope_Global, 0);
            SetBypassEffect(bypass);
            return noErr;
        }
        if (inID == kAudioUnitProperty_InPlaceProcessing) {
            if (inDataSize < sizeof(UInt32)) return kAudioUnitErr_InvalidPropertyValue;
            UInt32 value;
            std::memcpy(&value, inData, sizeof value);
            SetProcessesInPlace(value != 0);
            return noErr;
        }
    }
    return AUBase::SetProperty(inID, inScope, inElement, inData, inDataSize);
}

OSStatus AUEffectBase::Render(AudioUnitRenderActionFlags& ioActionFlags,
                              const AudioTimeStamp& inTimeStamp, UInt32 inFramesToProcess) {
    if (!HasInput(0)) return kAudioUnitErr_NoConnection;

    AUInputElement* input = GetInput(0);
    OSStatus result = input->PullInput(ioActionFlags, inTimeStamp, 0, inFramesToProcess);
    if (result != noErr) return result;

    AUOutputElement* output = GetOutput(0);
    const bool inPlace = ProcessesInPlace();
    if (inPlace) output->SetBufferList(input->GetBufferList());

    AudioBufferList& inputList = input->GetBufferList();
    AudioBufferList& outputList = output->GetBufferList();

    if (ShouldBypassEffect()) {
        if (!inPlace) input->CopyBufferContentsTo(outputList);
    } else if (!mScheduledEvents.empty()) {
        // Slices walk every buffer by its full channel count; refuse lists that could not hold
        // the whole render rather than walk past their ends.
        if (!ListHoldsFrames(inputList, inFramesToProcess) ||
            !ListHoldsFrames(outputList, inFramesToProcess))
            return paramErr;
        ScheduledProcessParams params{&ioActionFlags, &inputList, &outputList, 0};
        // Put the lists back by exactly the distance walked, also when a slice fails or throws,
        // so the pointers never end up before the buffers' starts.
        struct Rewind {
            ScheduledProcessParams& params;
            UInt32 frames;
            ~Rewind() {
                MoveBuffers(*params.inputBufferList, params.framesWalked, false);
                MoveBuffers(*params.outputBufferList, params.framesWalked, false);
                SetByteSizes(*params.inputBufferList, frames);
                SetByteSizes(*params.outputBufferList, frames);
            }
        } rewind{params, inFramesToProcess};
        result = ProcessForScheduledParams(mScheduledEvents, inFramesToProcess, &params);
    } else {
        result = ProcessBufferLists(ioActionFlags, inputList, outputList, inFramesToProcess);
    }

    if ((ioActionFlags & kAudioUnitRenderAction_OutputIsSilence) && !inPlace) {
        AUBufferList::ZeroBuffer(outputList);
    }
    return result;
}

OSStatus AUEffectBase::ProcessScheduledSlice(void* inUserData, UInt32 /*inStartFrameInBuffer*/,
                                             UInt32 inSliceFramesToProcess,
                                             UInt32 /*inTotalBufferFrames*/) {
    auto& params = *static_cast<ScheduledProcessParams*>(inUserData);
    AudioBufferList& inputList = *params.inputBufferList;
    AudioBufferList& outputList = *params.outputBufferList;

    SetByteSizes(inputList, inSliceFramesToProcess);
    SetByteSizes(outputList, inSliceFramesToProcess);
    const OSStatus result =
        ProcessBufferLists(*params.actionFlags, inputList, outputList, inSliceFramesToProcess);
    MoveBuffers(inputList, inSliceFramesToProcess, true);
    MoveBuffers(outputList, inSliceFramesToProcess, true);
    params.framesWalked += inSliceFramesToProcess;
    return result;
}

OSStatus AUEffectBase::ProcessBufferLists(AudioUnitRenderActionFlags& ioActionFlags,
                                          const AudioBufferList& inBuffer,
                                          AudioBufferList& outBuffer, UInt32 inFramesToProcess) {
    if (!ListsServeKernels(mKernels, inBuffer, outBuffer, inFramesToProcess)) return paramErr;

    const bool silentInput = IsInputSilent(ioActionFlags, inFramesToProcess);
    ioActionFlags |= kAudioUnitRenderAction_OutputIsSilence;
    auto run = [&](AUKernelBase* kernel, const Float32* source, Float32* destination,
                   UInt32 stride) {
        bool silence = silentInput;
        kernel->Process(source, destination, inFramesToProcess, stride, silence);
        if (!silence) ioActionFlags &= ~kAudioUnitRenderAction_OutputIsSilence;
    };

    const std::size_t channels = ChannelsWithKernels(mKernels);
    if (inBuffer.mNumberBuffers == 1) {
        // Interleaved: the input buffer's channel count is the stride of both lists.
        const UInt32 stride = inBuffer.mBuffers[0].mNumberChannels;
        const auto* source = static_cast<const Float32*>(inBuffer.mBuffers[0].mData);
        auto* destination = static_cast<Float32*>(outBuffer.mBuffers[0].mData);
        for (std::size_t c = 0; c < channels; ++c) {
            if (AUKernelBase* kernel = mKernels[c])
                run(kernel, source + c, destination + c, stride);
        }
    } else {
        for (std::size_t c = 0; c < channels; ++c) {
            if (AUKernelBase* kernel = mKernels[c])
                run(kernel, static_cast<const Float32*>(inBuffer.mBuffers[c].mData),
                    static_cast<Float32*>(outBuffer.mBuffers[c].mData), 1);
        }
    }
    return noErr;
}

bool AUEffectBase::IsInputSilent(AudioUnitRenderActionFlags inActionFlags,
                                 UInt32 inFramesToProcess) {
    bool silent = (inActionFlags & kAudioUnitRenderAction_OutputIsSilence) != 0;
    const double frames = (GetLatency() + GetTailTime()) * GetSampleRate();
    UInt32 limit = 0;
    if (frames >= 4294967295.0)
        limit = 4294967295u;
    else if (frames > 0)  // also false for NaN
        limit = static_cast<UInt32>(frames);
    mSilentTimeout.Process(inFramesToProcess, limit, silent);
    return silent;
}
