#include "host/live/LiveMonitor.h"

#include <algorithm>
#include <cmath>

#include "host/NoteName.h"

namespace marvex {

LiveMonitor::LiveMonitor(std::uint32_t inputs, const TuneSettings& settings, float pitchHz,
                         int precision, std::optional<Intonation> intonation)
    : mSettings(settings),
      mIntonation(std::move(intonation)),
      mInputs(inputs),
      mViews(inputs),
      mPitchHz(pitchHz),
      mPrecision(precision) {
    for (std::uint32_t i = 0; i < inputs; ++i) mViews[i].port = "in_" + std::to_string(i + 1);
}

void LiveMonitor::take(const LiveReading& reading) {
    if (reading.channel >= mInputs.size() || !(reading.sampleRateHz > 0.0)) return;
    Input& input = mInputs[reading.channel];
    if (!input.segmenter || input.sampleRateHz != reading.sampleRateHz) {
        if (input.segmenter) {
            input.segmenter->finish();
            collect(reading.channel);
            input.offsetSeconds += static_cast<double>(input.frames) / input.sampleRateHz;
        }
        input.segmenter = std::make_unique<TuneSegmenter>(mSettings, reading.sampleRateHz);
        input.sampleRateHz = reading.sampleRateHz;
        input.frames = 0;
    }
    const float noEstimate = NAN;
    TuneBlock block;
    block.frame = input.frames;
    block.frames = reading.frames;
    block.sounding = reading.sounding;
    block.frequencyHz = reading.rendered ? reading.value(kTunerFrequency) : noEstimate;
    block.centralHz = reading.rendered ? reading.value(kTunerCentralFrequency) : noEstimate;
    block.note = reading.rendered ? reading.value(kTunerNote) : noEstimate;
    input.segmenter->add(block);
    collect(reading.channel);
    input.frames += reading.frames;

    LiveChannelView& view = mViews[reading.channel];
    view.levelDbfs = reading.levelDbfs;
    view.listening = !reading.sounding;
    view.bin = noteBin(block.note);
    view.frequencyHz = block.frequencyHz;
    view.deviation = reading.rendered ? reading.value(kTunerDeviation) : NAN;
    const bool measured = std::isfinite(block.frequencyHz) && block.frequencyHz > 0.0f &&
                          std::isfinite(block.centralHz) && block.centralHz > 0.0f;
    view.centsOff = measured ? 1200.0f * std::log2(block.frequencyHz / block.centralHz) : NAN;
    if (!view.bin || !measured) view.bin.reset();
    view.note = view.bin ? noteName(*view.bin) : std::string();
    if (view.bin && mIntonation) {
        const TemperedNote degree =
            mIntonation->read(block.frequencyHz, *view.bin, block.centralHz);
        view.note = degree.name;
        view.centsOff = static_cast<float>(degree.centsOff);
        // The band's edges stand a quarter-tone from its centre: the needle keeps that scale.
        view.deviation = std::clamp(view.centsOff / 50.0f, -1.0f, 1.0f);
    }
    if (reading.rendered) {
        mPitchHz = reading.value(kTunerPitch);
        mPrecision = static_cast<int>(reading.value(kTunerPrecision));
    }

    if (!view.listening) {
        input.quietFrames = 0;
        input.restarted = false;
        return;
    }
    input.quietFrames += reading.frames;
    if (!input.restarted && static_cast<double>(input.quietFrames) >=
                                mSettings.minSilenceSeconds * reading.sampleRateHz) {
        mQuiet.push_back(reading.channel);
        input.restarted = true;
    }
}

void LiveMonitor::collect(std::uint32_t channel) {
    const Input& input = mInputs[channel];
    for (const TuneEvent& event : input.segmenter->takeEvents()) {
        LiveNews news;
        news.channel = channel;
        news.event = event;
        if (mIntonation && event.segment.kind == TuneSegment::Kind::Note)
            news.degree = mIntonation->read(event.segment.meanFrequencyHz, event.segment.bin,
                                            event.segment.centralHz);
        news.startSeconds = input.offsetSeconds +
                            static_cast<double>(event.segment.startFrame) / input.sampleRateHz;
        news.endSeconds =
            input.offsetSeconds + static_cast<double>(event.segment.endFrame) / input.sampleRateHz;
        mNews.push_back(news);
    }
}

void LiveMonitor::finish() {
    for (std::uint32_t c = 0; c < mInputs.size(); ++c) {
        if (!mInputs[c].segmenter) continue;
        mInputs[c].segmenter->finish();
        collect(c);
    }
}

std::vector<LiveNews> LiveMonitor::takeNews() {
    std::vector<LiveNews> news;
    news.swap(mNews);
    return news;
}

std::vector<std::uint32_t> LiveMonitor::takeQuietInputs() {
    std::vector<std::uint32_t> quiet;
    quiet.swap(mQuiet);
    return quiet;
}

}  // namespace marvex
