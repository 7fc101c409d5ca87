#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>

namespace marvex {

// One second-order filter section (transposed direct form II), in double precision so that
// corners a few hertz above 0 at 96 kHz keep their poles. Coefficients may change between
// calls; the state carries over, which makes the change a small transient rather than a click.
// process() allocates nothing.
//
// Value is double, or DoublePair: two channels' sections side by side in the lanes of one
// vector, the same operations lane by lane (so each channel's output is exactly what it would
// be alone) in half the instructions.
template <typename Value>
class BasicBiquad {
public:
    // [render] Butterworth-style low-pass / high-pass at cornerHz with quality q.
    void setLowPass(double sampleRateHz, double cornerHz, double q) {
        set(sampleRateHz, cornerHz, q, false);
    }
    void setHighPass(double sampleRateHz, double cornerHz, double q) {
        set(sampleRateHz, cornerHz, q, true);
    }
    // [render]
    void reset() { mS1 = mS2 = Value{}; }

    // [render]
    Value process(Value x) {
        const Value y = mB0 * x + mS1;
        // Only one product and one subtraction wait for y: the filter is bound by this chain.
        mS1 = mB1 * x + mS2 - mA1 * y;
        mS2 = mB2 * x - mA2 * y;
        return y;
    }

    // [render] The two sections as one pair, and back.
    static BasicBiquad paired(const BasicBiquad<double>& a, const BasicBiquad<double>& b) {
        BasicBiquad pair;
        pair.mB0 = Value{a.mB0, b.mB0};
        pair.mB1 = Value{a.mB1, b.mB1};
        pair.mB2 = Value{a.mB2, b.mB2};
        pair.mA1 = Value{a.mA1, b.mA1};
        pair.mA2 = Value{a.mA2, b.mA2};
        pair.mS1 = Value{a.mS1, b.mS1};
        pair.mS2 = Value{a.mS2, b.mS2};
        return pair;
    }
    void split(BasicBiquad<double>& a, BasicBiquad<double>& b) const {
        a.mS1 = mS1[0];
        a.mS2 = mS2[0];
        b.mS1 = mS1[1];
        b.mS2 = mS2[1];
    }

private:
    template <typename>
    friend class BasicBiquad;

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

    // Unset, a section passes its input through.
    Value mB0 = Value{} + 1.0, mB1{}, mB2{}, mA1{}, mA2{};
    Value mS1{}, mS2{};
};

using Biquad = BasicBiquad<double>;
using DoublePair = double __attribute__((vector_size(2 * sizeof(double))));
using BiquadPair = BasicBiquad<DoublePair>;

// The quality factors of the two sections of a fourth-order Butterworth filter.
inline constexpr double kButterworth4Q1 = 0.5411961001461970;
inline constexpr double kButterworth4Q2 = 1.3065629648763766;
inline constexpr double kButterworth2Q = std::numbers::sqrt2 / 2.0;

}  // namespace marvex
