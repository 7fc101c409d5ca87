#include "host/RegisterEstimator.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <new>

namespace marvex {
namespace {

constexpr std::size_t kWindow = 1024;  // decimated samples analysed
// Zero-padded past the window by the longest lag (half the window), so that no lag wraps.
constexpr std::size_t kTransform = kWindow + kWindow / 2;
constexpr std::size_t kHop = 512;  // decimated samples between analyses
constexpr double kTargetRateHz = 11025.0;
// Of the autocorrelation's peaks, the first at least this share of the highest gives the
// period: later ones are its multiples (octaves below), which noise may raise a little.
constexpr double kPeakShare = 0.9;

// FFTW's planner is not thread-safe; plans are made once per estimator.
std::mutex& plannerMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

struct RegisterEstimator::Transform {
    float* samples = nullptr;           // kTransform reals
    fftwf_complex* spectrum = nullptr;  // kTransform / 2 + 1
    fftwf_plan forward = nullptr;
    fftwf_plan backward = nullptr;
    std::unique_ptr<double[]> squares{new double[kWindow / 2 + 1]};

    Transform() {
        samples = fftwf_alloc_real(kTransform);
        spectrum = fftwf_alloc_complex(kTransform / 2 + 1);
        if (samples != nullptr && spectrum != nullptr) {
            const std::lock_guard lock(plannerMutex());
            forward = fftwf_plan_dft_r2c_1d(static_cast<int>(kTransform), samples, spectrum,
                                            FFTW_ESTIMATE);
            backward = fftwf_plan_dft_c2r_1d(static_cast<int>(kTransform), spectrum, samples,
                                             FFTW_ESTIMATE);
        }
        if (forward == nullptr || backward == nullptr) {
            release();
            throw std::bad_alloc();
        }
    }
    ~Transform() { release(); }
    void release() {
        const std::lock_guard lock(plannerMutex());
        if (forward != nullptr) fftwf_destroy_plan(forward);
        if (backward != nullptr) fftwf_destroy_plan(backward);
        fftwf_free(samples);
        fftwf_free(spectrum);
        forward = backward = nullptr;
        samples = nullptr;
        spectrum = nullptr;
    }
};

RegisterEstimator::RegisterEstimator(double sampleRateHz)
    : mDecimatedRateHz(sampleRateHz),
      mDecimation(std::max<std::size_t>(1, static_cast<std::size_t>(sampleRateHz / kTargetRateHz))),
      mHistory(new float[kWindow]()),
      mTransform(std::make_unique<Transform>()) {
    mDecimatedRateHz = sampleRateHz / static_cast<double>(mDecimation);
}

RegisterEstimator::~RegisterEstimator() = default;

void RegisterEstimator::reset() {
    mSum = 0.0f;
    std::fill(mHistory.get(), mHistory.get() + kWindow, 0.0f);
    mPhase = mWrite = mSinceAnalysis = 0;
    mReading = RegisterReading{};
}

bool RegisterEstimator::push(const float* samples, std::size_t frames) {
    // The mean of each run of mDecimation samples: for white noise as good as an ideal
    // low-pass at the new Nyquist (the noise power falls by the same factor), and cheap.
    const float scale = static_cast<float>(mDecimation);
    bool analysed = false;
    auto emit = [&](float sum) {
        mHistory[mWrite] = sum / scale;
        mWrite = mWrite + 1 == kWindow ? 0 : mWrite + 1;
        if (++mSinceAnalysis == kHop) {
            mSinceAnalysis = 0;
            analyse();
            analysed = true;
        }
    };
    std::size_t i = 0;
    // A run the last call left open.
    if (mPhase > 0) {
        for (; i < frames && mPhase < mDecimation; ++i, ++mPhase) mSum += samples[i];
        if (mPhase < mDecimation) return false;
        emit(mSum);
    }
    // Whole runs: each its own sum, so the runs' additions overlap.
    for (; i + mDecimation <= frames; i += mDecimation) {
        float sum = 0.0f;
        for (std::size_t k = 0; k < mDecimation; ++k) sum += samples[i + k];
        emit(sum);
    }
    // The start of a run the next call finishes.
    mSum = 0.0f;
    mPhase = frames - i;
    for (; i < frames; ++i) mSum += samples[i];
    return analysed;
}

void RegisterEstimator::analyse() {
    float* x = mTransform->samples;
    // Oldest first, then zeros.
    std::copy(mHistory.get() + mWrite, mHistory.get() + kWindow, x);
    std::copy(mHistory.get(), mHistory.get() + mWrite, x + (kWindow - mWrite));
    std::fill(x + kWindow, x + kTransform, 0.0f);

    // The level is the last hop's (46 ms), so that the gate closes soon after a note ends.
    // Both hops in one pass: two independent chains of additions overlap.
    static_assert(kWindow == 2 * kHop);
    double older = 0.0, recent = 0.0;
    for (std::size_t i = 0; i < kHop; ++i) {
        older += double{x[i]} * x[i];
        recent += double{x[kHop + i]} * x[kHop + i];
    }
    const double energy = older + recent;
    RegisterReading reading;
    reading.levelDbfs =
        recent > 0.0 ? 10.0 * std::log10(recent / static_cast<double>(kHop)) : -200.0;
    if (!(energy > 1e-20)) {
        mReading = reading;
        return;
    }
    // Squared differences m(lag) = sum x[j]^2 + x[j + lag]^2 over the overlap, kept as a
    // running sum, before the transform overwrites the samples.
    double* squares = mTransform->squares.get();
    const std::size_t maxLag =
        std::min(kWindow / 2, static_cast<std::size_t>(mDecimatedRateHz / kLowestHz));
    {
        double m = 2.0 * energy;
        for (std::size_t lag = 0; lag <= maxLag; ++lag) {
            squares[lag] = m;
            m -= double{x[lag]} * x[lag] + double{x[kWindow - 1 - lag]} * x[kWindow - 1 - lag];
        }
    }
    fftwf_execute(mTransform->forward);
    for (std::size_t k = 0; k <= kTransform / 2; ++k) {
        fftwf_complex& c = mTransform->spectrum[k];
        c[0] = c[0] * c[0] + c[1] * c[1];
        c[1] = 0.0f;
    }
    fftwf_execute(mTransform->backward);  // x now holds kTransform x the autocorrelation
    // The normalised autocorrelation, in place of the squares, in a loop of its own so that
    // its divisions run side by side.
    double* normalised = squares;
    for (std::size_t lag = 0; lag <= maxLag; ++lag)
        normalised[lag] = squares[lag] > 0.0 ? 2.0 * x[lag] / (kTransform * squares[lag]) : 0.0;
    auto nsdf = [&](std::size_t lag) { return normalised[lag]; };

    // Key maxima: the highest point between each upward and the next downward zero crossing,
    // after the first downward one (the peak at lag 0).
    const auto minLag = static_cast<std::size_t>(mDecimatedRateHz / kHighestHz);
    struct Peak {
        std::size_t lag;
        double value;
    };
    Peak peaks[64];
    std::size_t peakCount = 0;
    double highest = 0.0;
    bool pastZero = false;
    bool inPeak = false;
    for (std::size_t lag = 1; lag < maxLag && peakCount < 64; ++lag) {
        const double value = nsdf(lag);
        if (!pastZero) {
            pastZero = value < 0.0;
            continue;
        }
        if (value > 0.0 && lag >= minLag) {
            if (!inPeak) peaks[peakCount++] = {lag, value};
            inPeak = true;
            if (value > peaks[peakCount - 1].value) peaks[peakCount - 1] = {lag, value};
        } else if (value <= 0.0) {
            inPeak = false;
        }
    }
    for (std::size_t p = 0; p < peakCount; ++p) highest = std::max(highest, peaks[p].value);
    for (std::size_t p = 0; p < peakCount; ++p) {
        if (peaks[p].value < kPeakShare * highest) continue;
        // A parabola through the peak and its neighbours places it between samples.
        const std::size_t lag = peaks[p].lag;
        const double left = nsdf(lag - 1), mid = nsdf(lag), right = nsdf(lag + 1);
        const double bend = left - 2.0 * mid + right;
        const double shift = bend < 0.0 ? std::clamp(0.5 * (left - right) / bend, -0.5, 0.5) : 0.0;
        reading.frequencyHz = mDecimatedRateHz / (static_cast<double>(lag) + shift);
        reading.clarity = std::clamp(mid - 0.25 * (left - right) * shift, 0.0, 1.0);
        break;
    }
    mReading = reading;
}

}  // namespace marvex
