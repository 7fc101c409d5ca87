#include "host/AudioSource.h"

#include <algorithm>

namespace marvex {

MemoryAudioSource::MemoryAudioSource(std::string name, double sampleRateHz,
                                     std::vector<float> samples)
    : mName(std::move(name)), mSamples(std::move(samples)) {
    mInfo.sampleRateHz = sampleRateHz;
    mInfo.channels = 1;
    mInfo.frames = static_cast<std::int64_t>(mSamples.size());
    mInfo.formatName = "synthesised";
}

std::size_t MemoryAudioSource::read(std::span<float* const> channels, std::size_t frames) {
    if (channels.size() != 1) return 0;
    const std::size_t count = std::min(frames, mSamples.size() - mPosition);
    std::copy_n(mSamples.begin() + static_cast<std::ptrdiff_t>(mPosition), count, channels[0]);
    mPosition += count;
    return count;
}

}  // namespace marvex
