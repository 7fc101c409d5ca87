#include "host/TuneRunner.h"

#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

#include "host/NoteName.h"
#include "host/TextNeedle.h"

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
                                    const TuneSettings& settings, bool progress) {
    const double sampleRateHz = source.info().sampleRateHz;
    const auto restartAfterFrames =
        static_cast<std::int64_t>(settings.minSilenceSeconds * sampleRateHz);
    std::vector<TuneBlock> blocks;
    std::int64_t silentFrames = 0;
    bool restarted = false;
    forgetEstimate(session);
    renderFile(source, session, progress, [&](const BlockRecord& record, auto input) {
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
    });
    return segmentTune(blocks, settings, sampleRateHz);
}

void writeTuneText(std::FILE* out, const std::vector<TuneSegment>& segments, double sampleRateHz) {
    std::fputs("    time (s)      note  frequency      cents  -50         0        +50\n", out);
    for (const TuneSegment& segment : segments) {
        std::fprintf(out, "%6.2f - %6.2f  ", static_cast<double>(segment.startFrame) / sampleRateHz,
                     static_cast<double>(segment.endFrame) / sampleRateHz);
        switch (segment.kind) {
            case TuneSegment::Kind::Silence:
                std::fputs("(silence)\n", out);
                break;
            case TuneSegment::Kind::Unclear:
                std::fputs("(no steady pitch)\n", out);
                break;
            case TuneSegment::Kind::Note:
                std::fprintf(out, "%-4s %9.2f Hz  %+6.1f  %s\n", noteName(segment.bin).c_str(),
                             segment.meanFrequencyHz, segment.centsOff,
                             textNeedle(segment.centsOff).c_str());
                break;
        }
    }
}

void writeTuneJsonl(std::FILE* out, const std::vector<TuneSegment>& segments, double sampleRateHz) {
    for (const TuneSegment& segment : segments) {
        nlohmann::ordered_json line;
        line["start"] = static_cast<double>(segment.startFrame) / sampleRateHz;
        line["end"] = static_cast<double>(segment.endFrame) / sampleRateHz;
        switch (segment.kind) {
            case TuneSegment::Kind::Silence:
                line["kind"] = "silence";
                break;
            case TuneSegment::Kind::Unclear:
                line["kind"] = "unclear";
                break;
            case TuneSegment::Kind::Note:
                line["kind"] = "note";
                line["note_name"] = noteName(segment.bin);
                line["note"] = segment.bin;
                line["frequency"] = segment.meanFrequencyHz;
                line["central"] = segment.centralHz;
                line["cents"] = segment.centsOff;
                break;
        }
        const std::string text = line.dump();
        std::fprintf(out, "%s\n", text.c_str());
    }
}

}  // namespace marvex
