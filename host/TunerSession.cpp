#include "host/TunerSession.h"

#include <algorithm>
#include <vector>

#include "host/StateFile.h"

namespace marvex {

TunerSession::TunerSession(const TunerSettings& settings, double sampleRateHz,
                           std::uint32_t channels)
    : mUnit(HostedUnit::openFromBundle(
          settings.bundleDirectory.empty() ? defaultBundleDirectory() : settings.bundleDirectory)),
      mChannels(channels),
      mBlockFrames(settings.blockFrames) {
    if (!settings.stateFile.empty()) restoreStateFile(mUnit, settings.stateFile);
    if (settings.precision) mUnit.setParameter(kTunerPrecision, *settings.precision);
    if (settings.pitchHz) mUnit.setParameter(kTunerPitch, *settings.pitchHz);
    mUnit.setStreamFormat(sampleRateHz, channels);
    mUnit.setMaximumFramesPerSlice(mBlockFrames);
    mRenderer = std::make_unique<BlockRenderer>(mUnit, channels, mBlockFrames);
    mUnit.initialize();
}

void TunerSession::renderBlock(std::span<const float* const> input, std::uint32_t frames,
                               BlockRecord& record) {
    const OSStatus status = mRenderer->render(input, frames);
    if (status != noErr)
        throwStatus(HostErrorKind::Failed,
                    "the tuner failed at frame " + std::to_string(mNextFrame), status);
    record.frame = mNextFrame;
    record.frames = frames;
    const OSStatus readStatus = mUnit.readParameters(record.values);
    if (readStatus != noErr)
        throwStatus(HostErrorKind::Failed, "cannot read the tuner", readStatus);
    mNextFrame += frames;
}

void TunerSession::restart() {
    mUnit.uninitialize();
    mUnit.initialize();
}

std::int64_t renderFile(AudioSource& reader, TunerSession& session, const BlockHandler& onBlock,
                        const ProgressHandler& onProgress, SignalConditioner* conditioner) {
    const std::uint32_t channels = session.channels();
    const std::uint32_t block = session.blockFrames();
    // The source is read in large chunks (a read costs far more than the frames it carries)
    // and handed to the unit in blocks cut from them. A chunk is a whole number of blocks, so
    // the blocks are the same as if each were read alone: full ones, then a short last one.
    constexpr std::size_t kChunkSamples = std::size_t{1} << 16;
    const std::size_t blocksPerChunk =
        std::max<std::size_t>(1, kChunkSamples / (std::size_t{block} * channels));
    const std::size_t chunk = blocksPerChunk * block;
    std::vector<std::vector<float>> buffers(channels, std::vector<float>(chunk));
    std::vector<float*> writable;
    for (auto& buffer : buffers) writable.push_back(buffer.data());
    std::vector<const float*> readable(channels);
    BlockRecord record;
    std::int64_t done = 0;
    for (bool more = true; more;) {
        const std::size_t got = reader.read(writable, chunk);
        if (got == 0) break;
        for (std::size_t offset = 0; offset < got && more; offset += block) {
            const std::size_t frames = std::min<std::size_t>(block, got - offset);
            for (std::uint32_t c = 0; c < channels; ++c) readable[c] = writable[c] + offset;
            const std::span<const float* const> input(readable.data(), readable.size());
            const auto count = static_cast<std::uint32_t>(frames);
            session.renderBlock(conditioner ? conditioner->process(input, count) : input, count,
                                record);
            done += static_cast<std::int64_t>(frames);
            if (onProgress) onProgress(done);
            more = onBlock(record, input);
        }
    }
    return done;
}

}  // namespace marvex
