#include "host/AudioFileReader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "host/HostError.h"

namespace marvex {
namespace {

std::string formatName(int format) {
    auto describe = [](int value, int command) -> std::string {
        SF_FORMAT_INFO formatInfo{};
        formatInfo.format = value;
        if (sf_command(nullptr, command, &formatInfo, sizeof formatInfo) != 0 ||
            formatInfo.name == nullptr)
            return "unknown";
        return formatInfo.name;
    };
    return describe(format & SF_FORMAT_TYPEMASK, SFC_GET_FORMAT_INFO) + " / " +
           describe(format & SF_FORMAT_SUBMASK, SFC_GET_FORMAT_INFO);
}

[[noreturn]] void failInput(const std::string& name, const std::string& why) {
    throw HostError(HostErrorKind::Input, name + ": " + why);
}

}  // namespace

AudioFileReader::AudioFileReader(const std::string& path)
    : mDisplayName(path == "-" ? std::string("standard input") : path) {
    SF_INFO sfInfo{};
    if (path == "-") {
        unsigned char chunk[65536];
        for (;;) {
            std::size_t got = std::fread(chunk, 1, sizeof chunk, stdin);
            mMemory.insert(mMemory.end(), chunk, chunk + got);
            if (got < sizeof chunk) break;
        }
        if (std::ferror(stdin)) failInput(mDisplayName, std::strerror(errno));
        if (mMemory.empty()) failInput(mDisplayName, "no audio data (empty input)");
        SF_VIRTUAL_IO io{vioLength, vioSeek, vioRead, vioWrite, vioTell};
        mFile = sf_open_virtual(&io, SFM_READ, &sfInfo, this);
    } else {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) failInput(mDisplayName, std::strerror(errno));
        if (S_ISDIR(st.st_mode)) failInput(mDisplayName, "is a directory, not an audio file");
        if (::access(path.c_str(), R_OK) != 0) failInput(mDisplayName, std::strerror(errno));
        mFile = sf_open(path.c_str(), SFM_READ, &sfInfo);
    }
    if (mFile == nullptr) {
        failInput(mDisplayName, std::string("not an audio file in a supported format (") +
                                    sf_strerror(nullptr) + ")");
    }
    if (sfInfo.channels <= 0 || sfInfo.samplerate <= 0) {
        sf_close(mFile);
        mFile = nullptr;
        failInput(mDisplayName, "the file declares no channels or no sample rate");
    }
    mInfo.sampleRateHz = sfInfo.samplerate;
    mInfo.channels = static_cast<std::uint32_t>(sfInfo.channels);
    mInfo.frames = (sfInfo.frames >= 0 && sfInfo.frames < std::numeric_limits<sf_count_t>::max())
                       ? static_cast<std::int64_t>(sfInfo.frames)
                       : -1;
    mInfo.formatName = formatName(sfInfo.format);
}

AudioFileReader::~AudioFileReader() {
    if (mFile != nullptr) sf_close(mFile);
}

std::size_t AudioFileReader::read(std::span<float* const> channels, std::size_t frames) {
    const std::size_t channelCount = mInfo.channels;
    if (channels.size() != channelCount)
        throw HostError(HostErrorKind::Internal, "internal: channel buffers do not match the file");
    if (frames == 0) return 0;
    if (frames > std::numeric_limits<std::size_t>::max() / channelCount ||
        frames > static_cast<std::size_t>(std::numeric_limits<sf_count_t>::max()))
        throw HostError(HostErrorKind::Internal, "internal: read request too large");
    // One channel needs no deinterleaving: it is read straight into the caller's buffer.
    float* target = channels[0];
    if (channelCount > 1) {
        if (mInterleaved.size() < frames * channelCount) mInterleaved.resize(frames * channelCount);
        target = mInterleaved.data();
    }

    sf_count_t got = sf_readf_float(mFile, target, static_cast<sf_count_t>(frames));
    if (got < 0) got = 0;
    if (got == 0 && sf_error(mFile) != SF_ERR_NO_ERROR)
        failInput(mDisplayName, std::string("read error: ") + sf_strerror(mFile));
    const auto count = static_cast<std::size_t>(got);
    if (channelCount == 1) return count;
    for (std::size_t c = 0; c < channelCount; ++c) {
        float* out = channels[c];
        const float* in = mInterleaved.data() + c;
        for (std::size_t i = 0; i < count; ++i) out[i] = in[i * channelCount];
    }
    return count;
}

sf_count_t AudioFileReader::vioLength(void* self) {
    return static_cast<sf_count_t>(static_cast<AudioFileReader*>(self)->mMemory.size());
}

sf_count_t AudioFileReader::vioSeek(sf_count_t offset, int whence, void* self) {
    auto* reader = static_cast<AudioFileReader*>(self);
    const auto size = static_cast<sf_count_t>(reader->mMemory.size());
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = reader->mMemoryPos;
    if (whence == SEEK_END) base = size;
    // Offsets come from the file's own header fields: keep the position inside the buffer.
    sf_count_t target = base;
    if (offset > 0) target = (offset > size - base) ? size : base + offset;
    if (offset < 0) target = (-offset > base) ? 0 : base + offset;
    reader->mMemoryPos = target;
    return target;
}

sf_count_t AudioFileReader::vioRead(void* ptr, sf_count_t count, void* self) {
    auto* reader = static_cast<AudioFileReader*>(self);
    const auto size = static_cast<sf_count_t>(reader->mMemory.size());
    if (count <= 0 || reader->mMemoryPos >= size) return 0;
    const sf_count_t n = std::min(count, size - reader->mMemoryPos);
    std::memcpy(ptr, reader->mMemory.data() + reader->mMemoryPos, static_cast<std::size_t>(n));
    reader->mMemoryPos += n;
    return n;
}

sf_count_t AudioFileReader::vioWrite(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t AudioFileReader::vioTell(void* self) {
    return static_cast<AudioFileReader*>(self)->mMemoryPos;
}

}  // namespace marvex
