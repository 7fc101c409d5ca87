#include "host/BlockRenderer.h"

#include <cstring>

namespace marvex {

BlockRenderer::BlockRenderer(HostedUnit& unit, std::uint32_t channels, std::uint32_t maxFrames)
    : mUnit(unit), mChannels(channels), mMaxFrames(maxFrames) {
    std::size_t listBytes = 0;
    if (channels == 0 || maxFrames == 0 || !AudioBufferListByteSize(channels, listBytes) ||
        maxFrames > UINT32_MAX / sizeof(float))
        throw HostError(HostErrorKind::Internal, "internal: impossible block layout");
    mOutput.assign(channels, std::vector<float>(maxFrames, 0.0f));
    mOutputListBytes.assign(listBytes, 0);
    mOutputList = reinterpret_cast<AudioBufferList*>(mOutputListBytes.data());
    mUnit.setInputCallback(&BlockRenderer::pullInput, this);
}

BlockRenderer::~BlockRenderer() {
    try {
        mUnit.setInputCallback(nullptr, nullptr);
    } catch (const HostError&) {
        // The unit may already be gone with its bundle; nothing to undo then.
    }
}

OSStatus BlockRenderer::render(std::span<const float* const> input, std::uint32_t frames) noexcept {
    if (input.size() != mChannels || frames > mMaxFrames) return paramErr;
    mInput = input;
    mOutputList->mNumberBuffers = mChannels;
    for (std::uint32_t c = 0; c < mChannels; ++c) {
        mOutputList->mBuffers[c].mNumberChannels = 1;
        mOutputList->mBuffers[c].mDataByteSize = frames * static_cast<UInt32>(sizeof(float));
        mOutputList->mBuffers[c].mData = mOutput[c].data();
    }
    AudioTimeStamp timeStamp{};
    timeStamp.mSampleTime = mSampleTime;
    timeStamp.mFlags = kAudioTimeStampSampleTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    const OSStatus status = mUnit.render(flags, timeStamp, frames, *mOutputList);
    mInput = {};
    if (status == noErr) mSampleTime += frames;
    return status;
}

OSStatus BlockRenderer::pullInput(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                                  UInt32, UInt32 frames, AudioBufferList* ioData) {
    auto* self = static_cast<BlockRenderer*>(refCon);
    if (ioData == nullptr || self->mInput.size() != ioData->mNumberBuffers ||
        frames > self->mMaxFrames)
        return paramErr;
    const std::size_t bytes = std::size_t{frames} * sizeof(float);
    for (UInt32 c = 0; c < ioData->mNumberBuffers; ++c) {
        AudioBuffer& buffer = ioData->mBuffers[c];
        if (buffer.mNumberChannels != 1 || buffer.mDataByteSize < bytes) return paramErr;
        if (buffer.mData == nullptr)
            buffer.mData = const_cast<float*>(self->mInput[c]);  // the unit reads it as is
        else
            std::memcpy(buffer.mData, self->mInput[c], bytes);
        buffer.mDataByteSize = static_cast<UInt32>(bytes);
    }
    return noErr;
}

}  // namespace marvex
