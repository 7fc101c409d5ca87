#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <sndfile.h>

#include "host/AudioSource.h"

namespace marvex {

// Reads an audio file of any format libsndfile knows, as 32-bit float samples, block by block.
// The path "-" reads standard input; it is taken into memory first because several formats need
// a seekable file. Failures throw HostError with a message naming the file. [control]
// throughout.
class AudioFileReader final : public AudioSource {
public:
    explicit AudioFileReader(const std::string& path);
    ~AudioFileReader();
    AudioFileReader(const AudioFileReader&) = delete;
    AudioFileReader& operator=(const AudioFileReader&) = delete;

    const AudioFileInfo& info() const override { return mInfo; }
    const std::string& displayName() const override { return mDisplayName; }
    std::size_t read(std::span<float* const> channels, std::size_t frames) override;

private:
    static sf_count_t vioLength(void* self);
    static sf_count_t vioSeek(sf_count_t offset, int whence, void* self);
    static sf_count_t vioRead(void* ptr, sf_count_t count, void* self);
    static sf_count_t vioWrite(const void* ptr, sf_count_t count, void* self);
    static sf_count_t vioTell(void* self);

    std::string mDisplayName;
    AudioFileInfo mInfo;
    SNDFILE* mFile = nullptr;
    std::vector<unsigned char> mMemory;  // standard input's bytes
    sf_count_t mMemoryPos = 0;
    std::vector<float> mInterleaved;
};

}  // namespace marvex
