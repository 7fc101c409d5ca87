#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace marvex {

struct AudioFileInfo {
    double sampleRateHz = 0.0;
    std::uint32_t channels = 0;
    std::int64_t frames = -1;  // -1 when the source does not say
    std::string formatName;    // e.g. "WAV (Microsoft) / Signed 16 bit PCM"
};

// Audio read block by block as 32-bit floats, one buffer per channel. [control] throughout.
class AudioSource {
public:
    virtual ~AudioSource() = default;
    virtual const AudioFileInfo& info() const = 0;
    virtual const std::string& displayName() const = 0;
    // Reads up to `frames` frames into one buffer per channel (`channels.size()` must equal the
    // channel count, each buffer must hold `frames` floats). Returns the frames read; 0 at the
    // end.
    virtual std::size_t read(std::span<float* const> channels, std::size_t frames) = 0;
};

// Mono samples held in memory (the built-in performance).
class MemoryAudioSource final : public AudioSource {
public:
    MemoryAudioSource(std::string name, double sampleRateHz, std::vector<float> samples);
    const AudioFileInfo& info() const override { return mInfo; }
    const std::string& displayName() const override { return mName; }
    std::size_t read(std::span<float* const> channels, std::size_t frames) override;

private:
    std::string mName;
    AudioFileInfo mInfo;
    std::vector<float> mSamples;
    std::size_t mPosition = 0;
};

}  // namespace marvex
