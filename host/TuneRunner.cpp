#include "host/TuneRunner.h"

#include <cmath>
#include <limits>

namespace marvex {
namespace {

constexpr float kNoEstimate = std::numeric_limits<float>::quiet_NaN();

// Marks the published results as stale: the unit overwrites them with its next estimate.
void forgetEstimate(TunerSession& session) {
    session.unit().setParameter(kTunerFrequency, kNoEstimate);
    session.unit().setParameter(kTunerNote, kNoEstimate);
}

float loudestRms(std::span<const float* const> input, std::uint32_t frames) {
    float loudest = 0.0f;
    for (const float* channel : input) {
        double sum = 0.0;
        for (std::uint32_t i = 0; i < frames; ++i) sum += double{channel[i]} * channel[i];
        loudest = std::max(loudest, static_cast<float>(std::sqrt(sum / std::max(frames, 1u))));
    }
    return loudest;
}

}  // namespace

std::vector<TuneSegment> tuneSource(AudioSource& source, TunerSession& session,
                                    const TuneSettings& settings,
                                    const ProgressHandler& onProgress) {
    const double sampleRateHz = source.info().sampleRateHz;
    const auto restartAfterFrames =
        static_cast<std::int64_t>(settings.minSilenceSeconds * sampleRateHz);
    std::vector<TuneBlock> blocks;
    std::int64_t silentFrames = 0;
    bool restarted = false;
    forgetEstimate(session);
    const auto onBlock = [&](const BlockRecord& record, std::span<const float* const> input) {
        TuneBlock block;
        block.frame = record.frame;
        block.frames = record.frames;
        block.levelRms = loudestRms(input, record.frames);
        block.frequencyHz = record.value(kTunerFrequency);
        block.centralHz = record.value(kTunerCentralFrequency);
        block.note = record.value(kTunerNote);
        blocks.push_back(block);
        if (isSilentLevel(block.levelRms, settings)) {
            silentFrames += record.frames;
            if (!restarted && silentFrames >= restartAfterFrames) {
                session.restart();
                forgetEstimate(session);
                restarted = true;
            }
        } else {
            silentFrames = 0;
            restarted = false;
        }
        return true;
    };
    renderFile(source, session, onBlock, onProgress);
    return segmentTune(blocks, settings, sampleRateHz);
}

}  // namespace marvex
