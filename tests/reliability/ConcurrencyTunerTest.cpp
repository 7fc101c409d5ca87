// The tuner rendering on one thread while a control thread reads its results, writes a parameter
// it reads and adds and removes render notifications, as a host with a meter does. That must not
// change the analysis: the results equal, bit for bit, those of the same render without it.
// ThreadSanitizer runs this suite in CI.

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <bit>
#include <thread>
#include <vector>

#include "tests/unit/TunerHost.h"

namespace {

using namespace marvex;
using namespace marvex::test;

constexpr Float64 kRate = 44100.0;
constexpr UInt32 kBlock = 256;
constexpr std::size_t kFrames = 2 * 44100;

struct Tuner {
    AudioUnitHandle unit = OpenTuner();
    SignalSource source;

    Tuner() {
        source.channels = {sine(440.0, kRate, kFrames), sine(196.0, kRate, kFrames, 0.3)};
        EXPECT_EQ(SetFormats(unit, 2, kRate), noErr);
        EXPECT_EQ(source.AttachTo(unit), noErr);
        EXPECT_EQ(unit.Initialize(), noErr);
    }

    std::array<UInt32, kNumberOfParameters> Results() {
        std::array<UInt32, kNumberOfParameters> bits{};
        for (AudioUnitParameterID id = 0; id < kNumberOfParameters; ++id)
            bits[id] = std::bit_cast<UInt32>(Parameter(unit, id));
        return bits;
    }
};

OSStatus Notified(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                  AudioBufferList*) {
    return noErr;
}

TEST(ConcurrencyTuner, ControlThreadsDoNotChangeWhatTheRenderThreadFinds) {
    Tuner quiet;
    std::vector<std::vector<float>> quietOut(2);
    ASSERT_EQ(RenderBlocks(quiet.unit, quietOut, kFrames, kBlock), noErr);
    const auto expected = quiet.Results();
    ASSERT_GT(Parameter(quiet.unit, kParam_Frequency), 0.0f) << "the tone was not found at all";

    Tuner busy;
    AudioUnitHandle::FastPaths fast;
    ASSERT_EQ(busy.unit.GetFastPaths(fast), noErr);
    std::atomic<bool> done{false};

    std::thread render([&] {
        std::vector<std::vector<float>> out(2);
        const OSStatus status = RenderBlocks(busy.unit, out, kFrames, kBlock);
        EXPECT_EQ(status, noErr);
        EXPECT_EQ(out, quietOut) << "the audio did not pass through unchanged";
        done.store(true);
    });

    // A meter with a view: every published value, as fast as it can, through the fast path; it
    // also writes the precision the render reads (the value it has, so the analysis stays the
    // same) and adds or removes a render notification.
    const float precision = Parameter(busy.unit, kParam_Precision);
    std::thread meter([&] {
        for (int round = 0; round == 0 || !done.load(); ++round) {
            for (AudioUnitParameterID id = 0; id < kNumberOfParameters; ++id) {
                AudioUnitParameterValue v;
                ASSERT_EQ(fast.getParameter(fast.storage, id, kAudioUnitScope_Global, 0, &v),
                          noErr);
            }
            ASSERT_EQ(fast.setParameter(fast.storage, kParam_Precision, kAudioUnitScope_Global, 0,
                                        precision, 0),
                      noErr);
            ASSERT_EQ((round & 1) == 0 ? busy.unit.AddRenderNotify(&Notified, nullptr)
                                       : busy.unit.RemoveRenderNotify(&Notified, nullptr),
                      noErr);
        }
    });
    render.join();
    meter.join();
    EXPECT_EQ(busy.Results(), expected);
}

}  // namespace
