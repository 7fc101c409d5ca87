#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "host/HostedUnit.h"

namespace marvex {

// Renders a unit block by block from audio the caller holds (one float buffer per channel),
// the way a live client would from its own audio callback: the unit pulls each block through
// an input callback and renders into buffers this object owns. Everything is allocated by the
// constructor; render() allocates nothing and takes no lock.
class BlockRenderer {
public:
    // [control] Installs the input callback on `unit` (which must outlive this object) and
    // prepares output buffers for `channels` x `maxFrames`. Call before the unit is initialised
    // or while it is, but not while rendering.
    BlockRenderer(HostedUnit& unit, std::uint32_t channels, std::uint32_t maxFrames);
    ~BlockRenderer();
    BlockRenderer(const BlockRenderer&) = delete;
    BlockRenderer& operator=(const BlockRenderer&) = delete;

    // [render] Renders `frames` frames of `input` (one pointer per channel). The sample time
    // advances by `frames` on success.
    OSStatus render(std::span<const float* const> input, std::uint32_t frames) noexcept;

    // [render] The rendered output of the last block, per channel, and the time line.
    const float* output(std::uint32_t channel) const { return mOutput[channel].data(); }
    double sampleTime() const { return mSampleTime; }

private:
    static OSStatus pullInput(void* refCon, AudioUnitRenderActionFlags* flags,
                              const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                              AudioBufferList* ioData);

    HostedUnit& mUnit;
    std::uint32_t mChannels;
    std::uint32_t mMaxFrames;
    std::vector<std::vector<float>> mOutput;
    std::vector<unsigned char> mOutputListBytes;  // AudioBufferList with mChannels buffers
    AudioBufferList* mOutputList = nullptr;
    std::span<const float* const> mInput;  // valid during render()
    double mSampleTime = 0.0;
};

}  // namespace marvex
