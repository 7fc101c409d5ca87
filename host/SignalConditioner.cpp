#include "host/SignalConditioner.h"

#include <algorithm>
#include <cmath>

namespace marvex {
namespace {

constexpr double kHighPassRatio = 0.5;  // an octave below the fundamental
constexpr double kLowPassRatio = 1.41;  // half an octave above it
constexpr double kIdleBandHz = 440.0;   // before any tone: the middle of the range
constexpr double kMoveRatio = 1.26;     // a third of an octave: the register has moved
constexpr int kMoveReadings = 2;
constexpr double kTargetPeak = 0.5;       // what the tuner hears, whatever the input level
constexpr double kMostGain = 1e4;         // +80 dB
constexpr double kEnvelopeSeconds = 0.3;  // release of the level the gain follows
constexpr float kLargest = 1e6f;          // anything beyond is no audio; clamped for analysis

}  // namespace

struct SignalConditioner::Channel {
    RegisterEstimator estimator;
    Biquad highPass;
    Biquad lowPass[2];
    double bandHz = 0.0;
    int movedReadings = 0;
    double envelope = 0.0;
    double gain = 1.0;
    std::vector<float> clean;   // the input with non-finite samples as 0
    std::vector<float> output;  // what the tuner hears
    float peak = 0.0f;          // of the last block filtered

    Channel(double sampleRateHz, std::uint32_t maxFrames)
        : estimator(sampleRateHz), clean(maxFrames), output(maxFrames) {}

    void setBand(double sampleRateHz, double fundamentalHz) {
        bandHz = fundamentalHz;
        highPass.setHighPass(sampleRateHz, kHighPassRatio * fundamentalHz, kButterworth2Q);
        lowPass[0].setLowPass(sampleRateHz, kLowPassRatio * fundamentalHz, kButterworth4Q1);
        lowPass[1].setLowPass(sampleRateHz, kLowPassRatio * fundamentalHz, kButterworth4Q2);
        movedReadings = 0;
    }

    // The band filter over a block, taking its peak on the way: in a loop of its own, the
    // peak could not be vectorised and cost a sixth of the conditioning.
    void filter(std::uint32_t frames) {
        float top = 0.0f;
        for (std::uint32_t i = 0; i < frames; ++i) {
            const auto y = static_cast<float>(
                lowPass[1].process(lowPass[0].process(highPass.process(clean[i]))));
            output[i] = y;
            top = std::max(top, std::abs(y));
        }
        peak = top;
    }

    // Two channels' filters at once, one in each lane: the filter is bound by how many
    // operations it issues, and the pair issues the same number as one channel.
    static void filter(Channel& a, Channel& b, std::uint32_t frames) {
        BiquadPair high = BiquadPair::paired(a.highPass, b.highPass);
        BiquadPair low0 = BiquadPair::paired(a.lowPass[0], b.lowPass[0]);
        BiquadPair low1 = BiquadPair::paired(a.lowPass[1], b.lowPass[1]);
        float topA = 0.0f, topB = 0.0f;
        for (std::uint32_t i = 0; i < frames; ++i) {
            const DoublePair y =
                low1.process(low0.process(high.process(DoublePair{a.clean[i], b.clean[i]})));
            a.output[i] = static_cast<float>(y[0]);
            b.output[i] = static_cast<float>(y[1]);
            topA = std::max(topA, std::abs(a.output[i]));
            topB = std::max(topB, std::abs(b.output[i]));
        }
        high.split(a.highPass, b.highPass);
        low0.split(a.lowPass[0], b.lowPass[0]);
        low1.split(a.lowPass[1], b.lowPass[1]);
        a.peak = topA;
        b.peak = topB;
    }
};

SignalConditioner::SignalConditioner(double sampleRateHz, std::uint32_t channels,
                                     std::uint32_t maxFrames, const ConditioningSettings& settings)
    : mSampleRateHz(sampleRateHz),
      mMaxFrames(maxFrames),
      mSettings(settings),
      mGate(settings.gate),
      mOutputs(channels) {
    for (std::uint32_t c = 0; c < channels; ++c) {
        mChannels.push_back(std::make_unique<Channel>(sampleRateHz, maxFrames));
        mChannels.back()->setBand(sampleRateHz, kIdleBandHz);
        mOutputs[c] = mChannels.back()->output.data();
    }
}

SignalConditioner::~SignalConditioner() = default;

void SignalConditioner::reset() {
    for (auto& channel : mChannels) {
        channel->estimator.reset();
        channel->highPass.reset();
        for (Biquad& section : channel->lowPass) section.reset();
        channel->setBand(mSampleRateHz, kIdleBandHz);
        channel->envelope = 0.0;
        channel->gain = 1.0;
    }
    mGate.close();
    mReading = RegisterReading{};
}

// Moves the channel's band to its estimator's register: at once when the gate opens, else
// only when the register has clearly moved.
void SignalConditioner::follow(Channel& channel, bool opening) {
    const RegisterReading& reading = channel.estimator.reading();
    if (!(reading.frequencyHz > 0.0) || reading.clarity < mSettings.gate.openClarity) {
        channel.movedReadings = 0;
        return;
    }
    const double ratio = reading.frequencyHz / channel.bandHz;
    const bool moved = ratio > kMoveRatio || ratio < 1.0 / kMoveRatio;
    if (opening || (moved && ++channel.movedReadings >= kMoveReadings))
        channel.setBand(mSampleRateHz, reading.frequencyHz);
    else if (!moved)
        channel.movedReadings = 0;
}

std::span<const float* const> SignalConditioner::process(std::span<const float* const> input,
                                                         std::uint32_t frames) {
    frames = std::min(frames, mMaxFrames);
    bool analysed = false;
    for (std::size_t c = 0; c < mChannels.size(); ++c) {
        Channel& channel = *mChannels[c];
        for (std::uint32_t i = 0; i < frames; ++i) {
            const float x = input[c][i];
            channel.clean[i] = std::isfinite(x) ? std::clamp(x, -kLargest, kLargest) : 0.0f;
        }
        analysed |= channel.estimator.push(channel.clean.data(), frames);
    }
    bool opening = false;
    if (analysed) {
        // The clearest channel speaks for the stream.
        const RegisterReading* clearest = &mChannels.front()->estimator.reading();
        for (const auto& channel : mChannels)
            if (channel->estimator.reading().clarity > clearest->clarity)
                clearest = &channel->estimator.reading();
        mReading = *clearest;
        const bool wasOpen = mGate.open();
        opening = mGate.update(mReading) && !wasOpen;
    }
    if (!mSettings.enabled) return input;

    if (analysed)
        for (const auto& channel : mChannels) follow(*channel, opening);
    std::size_t c = 0;
    for (; c + 1 < mChannels.size(); c += 2)
        Channel::filter(*mChannels[c], *mChannels[c + 1], frames);
    if (c < mChannels.size()) mChannels[c]->filter(frames);

    const double release = std::exp(-1.0 / (kEnvelopeSeconds * mSampleRateHz));
    for (const auto& channelPointer : mChannels) {
        Channel& channel = *channelPointer;
        float* out = channel.output.data();
        // The level the gain follows: the block's peak, or the last level released.
        const double envelope =
            std::max<double>(channel.peak, channel.envelope * std::pow(release, frames));
        channel.envelope = envelope;
        if (!mGate.open()) {
            std::fill(out, out + frames, 0.0f);
            continue;
        }
        // The gain glides over the block to where the level now asks it to be.
        const double target =
            envelope > kTargetPeak / kMostGain ? kTargetPeak / envelope : kMostGain;
        const double start = opening ? target : channel.gain;
        const double step = frames > 0 ? (target - start) / frames : 0.0;
        for (std::uint32_t i = 0; i < frames; ++i)
            out[i] = static_cast<float>(out[i] * (start + step * (i + 1)));
        channel.gain = target;
    }
    return mOutputs;
}

}  // namespace marvex
