#include "host/TuneSegmenter.h"

#include <cmath>

#include "host/NoteName.h"

namespace marvex {
namespace {

constexpr int kSilence = -2;
constexpr int kUnclear = -1;

}  // namespace

TuneSegmenter::TuneSegmenter(const TuneSettings& settings, double sampleRateHz)
    : mSettings(settings), mSampleRateHz(sampleRateHz) {}

int TuneSegmenter::labelOf(const TuneBlock& block) const {
    if (!block.sounding) return kSilence;
    const auto bin = noteBin(block.note);
    const bool published = std::isfinite(block.frequencyHz) && block.frequencyHz > 0.0f &&
                           std::isfinite(block.centralHz) && block.centralHz > 0.0f;
    return (bin && published) ? *bin : kUnclear;
}

double TuneSegmenter::seconds(const Run& run) const {
    return static_cast<double>(run.endFrame - run.startFrame) / mSampleRateHz;
}

// A run's label is settled early when no later block can change it: a note once it lasted long
// enough, a silence once it did or when it opens the stream, anything unclear at once.
std::optional<int> TuneSegmenter::certainLabel(const Run& run) const {
    if (run.label == kUnclear) return kUnclear;
    if (run.label == kSilence) {
        if (mFirstRun || seconds(run) >= mSettings.minSilenceSeconds) return kSilence;
        return std::nullopt;
    }
    if (seconds(run) >= mSettings.minNoteSeconds) return run.label;
    return std::nullopt;
}

// The label of a run that ended: brief pitches and brief quiet gaps inside a sound are unclear.
int TuneSegmenter::finalLabel(const Run& run, bool followed) const {
    if (run.label == kSilence) {
        const bool inner = !mFirstRun && followed;
        return inner && seconds(run) < mSettings.minSilenceSeconds ? kUnclear : kSilence;
    }
    return certainLabel(run).value_or(kUnclear);
}

TuneSegmenter::Open TuneSegmenter::openAt(int label, std::int64_t frame) {
    Open open;
    open.label = label;
    open.startFrame = frame;
    open.endFrame = frame;
    return open;
}

void TuneSegmenter::absorb(Open& open, const Run& run) {
    open.endFrame = run.endFrame;
    if (run.label != open.label || run.weight == 0.0) return;
    open.weightedHz += run.weightedHz;
    open.weight += run.weight;
    open.centralHz = run.centralHz;
}

void TuneSegmenter::add(const TuneBlock& block) {
    const int label = labelOf(block);
    Run piece{label, block.frame, block.frame + block.frames};
    if (label >= 0) {
        piece.weightedHz = static_cast<double>(block.frequencyHz) * block.frames;
        piece.weight = block.frames;
        piece.centralHz = block.centralHz;
    }
    if (mRun && mRun->label == label) {
        mRun->endFrame = piece.endFrame;
        mRun->weightedHz += piece.weightedHz;
        mRun->weight += piece.weight;
        if (piece.weight > 0.0) mRun->centralHz = piece.centralHz;
        if (!mRunPlaced) {
            if (const auto settled = certainLabel(*mRun)) place(*mRun, *settled);
        } else if (mRunInPending) {
            mPending->parts.back() = *mRun;
            mPending->endFrame = piece.endFrame;
        } else {
            absorb(*mCurrent, piece);
        }
        return;
    }
    if (mRun) {
        if (!mRunPlaced) place(*mRun, finalLabel(*mRun, true));
        mFirstRun = false;
    }
    mRun = piece;
    mRunPlaced = false;
    if (const auto settled = certainLabel(*mRun)) place(*mRun, *settled);
}

void TuneSegmenter::place(const Run& run, int label) {
    mRunPlaced = true;
    mRunInPending = false;
    if (label == kUnclear) {
        if (mCurrent && mCurrent->label >= 0) {
            absorb(*mCurrent, run);
            return;
        }
        if (!mPending) mPending = openAt(kUnclear, run.startFrame);
        mPending->parts.push_back(run);
        mPending->endFrame = run.endFrame;
        mRunInPending = true;
        return;
    }
    if (mCurrent && mCurrent->label == label && !mPending) {
        absorb(*mCurrent, run);
        return;
    }
    Open next = openAt(label, run.startFrame);
    if (mPending && label >= 0) {
        // An unclear stretch after a silence is this note's attack.
        next.startFrame = mPending->startFrame;
        for (const Run& part : mPending->parts) absorb(next, part);
        mPending.reset();
    }
    end(mCurrent);
    end(mPending);
    absorb(next, run);
    mCurrent = next;
    mEvents.push_back({TuneEvent::Kind::Started, segmentOf(*mCurrent)});
}

TuneSegment TuneSegmenter::segmentOf(const Open& open) {
    TuneSegment segment;
    segment.startFrame = open.startFrame;
    segment.endFrame = open.endFrame;
    if (open.label == kSilence) {
        segment.kind = TuneSegment::Kind::Silence;
    } else if (open.label == kUnclear) {
        segment.kind = TuneSegment::Kind::Unclear;
    } else {
        segment.kind = TuneSegment::Kind::Note;
        segment.bin = open.label;
        segment.meanFrequencyHz = open.weight > 0.0 ? open.weightedHz / open.weight : 0.0;
        segment.centralHz = open.centralHz;
        segment.centsOff = 1200.0 * std::log2(segment.meanFrequencyHz / segment.centralHz);
    }
    return segment;
}

void TuneSegmenter::end(std::optional<Open>& open) {
    if (!open) return;
    mEvents.push_back({TuneEvent::Kind::Ended, segmentOf(*open)});
    open.reset();
}

void TuneSegmenter::finish() {
    if (mRun && !mRunPlaced) place(*mRun, finalLabel(*mRun, false));
    mRun.reset();
    end(mCurrent);
    end(mPending);
}

std::vector<TuneEvent> TuneSegmenter::takeEvents() {
    std::vector<TuneEvent> events;
    events.swap(mEvents);
    return events;
}

std::vector<TuneSegment> segmentTune(std::span<const TuneBlock> blocks,
                                     const TuneSettings& settings, double sampleRateHz) {
    TuneSegmenter segmenter(settings, sampleRateHz);
    for (const TuneBlock& block : blocks) segmenter.add(block);
    segmenter.finish();
    std::vector<TuneSegment> segments;
    for (const TuneEvent& event : segmenter.takeEvents())
        if (event.kind == TuneEvent::Kind::Ended) segments.push_back(event.segment);
    return segments;
}

}  // namespace marvex
