#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "host/AudioSource.h"
#include "host/BlockRecord.h"
#include "host/BlockRenderer.h"
#include "host/HostedUnit.h"
#include "host/SignalConditioner.h"

namespace marvex {

// How a session sets the tuner up. Explicit settings override a state file's.
struct TunerSettings {
    std::string bundleDirectory;  // empty: defaultBundleDirectory()
    std::uint32_t blockFrames = 512;
    std::optional<float> pitchHz;
    std::optional<float> precision;
    std::string stateFile;  // empty: none
};

// One tuner opened for one stream: state restored, settings applied, formats set for the
// stream's rate and channel count, the block length as the maximum slice, initialised.
class TunerSession {
public:
    // [control]
    TunerSession(const TunerSettings& settings, double sampleRateHz, std::uint32_t channels);
    TunerSession(const TunerSession&) = delete;
    TunerSession& operator=(const TunerSession&) = delete;

    // [control]
    HostedUnit& unit() { return mUnit; }
    std::uint32_t channels() const { return mChannels; }
    std::uint32_t blockFrames() const { return mBlockFrames; }

    // [control] Renders one block (at most blockFrames() frames) and reads the eight parameters
    // into `record`. Throws HostError, its message naming the frame, when the unit fails the
    // block: a render thread uses a BlockRenderer and HostedUnit::readParameters instead.
    void renderBlock(std::span<const float* const> input, std::uint32_t frames,
                     BlockRecord& record);

    // [control] Uninitialises and initialises the unit: fresh analysis kernels, parameters kept.
    void restart();

private:
    HostedUnit mUnit;
    std::uint32_t mChannels;
    std::uint32_t mBlockFrames;
    std::unique_ptr<BlockRenderer> mRenderer;
    std::int64_t mNextFrame = 0;
};

// Called after each block with the record and the block's input, on the rendering thread;
// returning false stops.
using BlockHandler =
    std::function<bool(const BlockRecord& record, std::span<const float* const> input)>;

// Told the number of frames rendered so far, after each block.
using ProgressHandler = std::function<void(std::int64_t framesDone)>;

// [control] Renders a whole source through the session block by block. With a conditioner (made for
// the session's channels and block length) the tuner hears what it makes of each block; the handler
// still sees the block as read. Returns the number of frames rendered.
std::int64_t renderFile(AudioSource& reader, TunerSession& session, const BlockHandler& onBlock,
                        const ProgressHandler& onProgress = {},
                        SignalConditioner* conditioner = nullptr);

}  // namespace marvex
