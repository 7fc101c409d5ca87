#pragma once

#include <cstddef>
#include <memory>

namespace marvex {

// What the estimator last heard over its window (about 93 ms).
struct RegisterReading {
    double frequencyHz = 0.0;   // rough fundamental; 0 when nothing periodic was found
    double clarity = 0.0;       // 0 (noise, silence) to 1 (perfectly periodic)
    double levelDbfs = -200.0;  // RMS of the last 46 ms below about 5.5 kHz (full-scale square: 0)
};

// Finds the played register and how clearly periodic the sound is, independently of the
// tuner: the sound is averaged down to about 11 kHz, and every 46 ms the normalised
// autocorrelation of the last 1024 decimated samples is taken through the FFT. The first of its
// peaks that comes near the highest gives the period, its height the clarity. It is coarse (a
// few cents to a semitone) and robust in broadband noise; it chooses the band the tuner hears
// and tells the level gate whether there is a tone at all.
//
// The constructor allocates everything; push() allocates nothing and takes no lock.
class RegisterEstimator {
public:
    static constexpr double kLowestHz = 30.0;
    static constexpr double kHighestHz = 2400.0;

    // [control]
    explicit RegisterEstimator(double sampleRateHz);
    ~RegisterEstimator();
    RegisterEstimator(const RegisterEstimator&) = delete;
    RegisterEstimator& operator=(const RegisterEstimator&) = delete;

    // [render] Feeds samples (finite ones: the caller replaces others). Returns whether a new
    // reading was made.
    bool push(const float* samples, std::size_t frames);
    const RegisterReading& reading() const { return mReading; }
    // [control] Forgets the sound heard so far.
    void reset();

private:
    void analyse();

    struct Transform;
    double mDecimatedRateHz;
    std::size_t mDecimation;
    std::size_t mPhase = 0;
    float mSum = 0.0f;                  // of the samples since the last decimated one
    std::unique_ptr<float[]> mHistory;  // ring of the last kWindow decimated samples
    std::size_t mWrite = 0;
    std::size_t mSinceAnalysis = 0;
    std::unique_ptr<Transform> mTransform;
    RegisterReading mReading;
};

}  // namespace marvex
