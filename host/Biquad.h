#pragma once

#include <cmath>
#include <numbers>

namespace marvex {

// One second-order filter section (transposed direct form II), in double precision so that
// corners a few hertz above 0 at 96 kHz keep their poles. Coefficients may change between
// calls; the state carries over, which makes the change a small transient rather than a click.
// process() allocates nothing.
class Biquad {
public:
    // [render] Butterworth-style low-pass / high-pass at cornerHz with quality q.
    void setLowPass(double sampleRateHz, double cornerHz, double q) {
        set(sampleRateHz, cornerHz, q, false);
    }
    void setHighPass(double sampleRateHz, double cornerHz, double q) {
        set(sampleRateHz, cornerHz, q, true);
    }
    // [render]
    void reset() { mS1 = mS2 = 0.0; }

    // [render]
    double process(double x) {
        const double y = mB0 * x + mS1;
        // Only one product and one subtraction wait for y: the filter is bound by this chain.
        mS1 = mB1 * x + mS2 - mA1 * y;
        mS2 = mB2 * x - mA2 * y;
        return y;
    }

private:
    void set(double sampleRateHz, double cornerHz, double q, bool highPass) {
        // The corner stays below Nyquist so the section stays stable for any register.
        const double corner = std::min(cornerHz, 0.45 * sampleRateHz);
        const double w = 2.0 * std::numbers::pi * corner / sampleRateHz;
        const double alpha = std::sin(w) / (2.0 * q);
        const double cosW = std::cos(w);
        const double a0 = 1.0 + alpha;
        const double edge = highPass ? (1.0 + cosW) / 2.0 : (1.0 - cosW) / 2.0;
        mB0 = edge / a0;
        mB1 = (highPass ? -2.0 : 2.0) * edge / a0;
        mB2 = edge / a0;
        mA1 = -2.0 * cosW / a0;
        mA2 = (1.0 - alpha) / a0;
    }

    double mB0 = 1.0, mB1 = 0.0, mB2 = 0.0, mA1 = 0.0, mA2 = 0.0;
    double mS1 = 0.0, mS2 = 0.0;
};

// The quality factors of the two sections of a fourth-order Butterworth filter.
inline constexpr double kButterworth4Q1 = 0.5411961001461970;
inline constexpr double kButterworth4Q2 = 1.3065629648763766;
inline constexpr double kButterworth2Q = std::numbers::sqrt2 / 2.0;

}  // namespace marvex
