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

}  // namespace

std::vector<TuneBlock> tuneBlocks(AudioSource& source, TunerSession& session,
                                  const TuneSettings& settings, const ProgressHandler& onProgress) {
    const double sampleRateHz = source.info().sampleRateHz;
    const auto restartAfterFrames =
        static_cast<std::int64_t>(settings.minSilenceSeconds * sampleRateHz);
    std::vector<TuneBlock> blocks;
    std::int64_t silentFrames = 0;
    bool restarted = false;
    SignalConditioner conditioner(sampleRateHz, session.channels(), session.blockFrames(),
                                  settings.conditioning);
    forgetEstimate(session);
    const auto onBlock = [&](const BlockRecord& record, std::span<const float* const>) {
        TuneBlock block;
        block.frame = record.frame;
        block.frames = record.frames;
        block.sounding = conditioner.gateOpen();
        block.frequencyHz = record.value(kTunerFrequency);
        block.centralHz = record.value(kTunerCentralFrequency);
        block.note = record.value(kTunerNote);
        blocks.push_back(block);
        if (!block.sounding) {
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
    renderFile(source, session, onBlock, onProgress, &conditioner);
    return blocks;
}

std::vector<TuneSegment> tuneSource(AudioSource& source, TunerSession& session,
                                    const TuneSettings& settings,
                                    const ProgressHandler& onProgress) {
    return segmentTune(tuneBlocks(source, session, settings, onProgress), settings,
                       source.info().sampleRateHz);
}

}  // namespace marvex
