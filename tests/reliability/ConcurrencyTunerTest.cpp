// The tuner rendering on one thread while control threads read its results and write a parameter
// it reads, read the last render error, change a property with listeners attached and add and
// remove render notifications, as a host with a meter and a view does. What the control threads
// do must not change the analysis: the results equal, bit for bit, those of the same render
// without them. ThreadSanitizer runs this suite in CI.

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "format/CFString.h"
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
        EXPECT_TRUE(unit);
        source.channels = {Sine(440.0, kRate, kFrames), Sine(196.0, kRate, kFrames, 0.3)};
        EXPECT_EQ(SetFormats(unit, 2, kRate), noErr);
        EXPECT_EQ(source.AttachTo(unit), noErr);
        EXPECT_EQ(unit.Initialize(), noErr);
    }

    std::array<UInt32, kNumberOfParameters> Results() {
        std::array<UInt32, kNumberOfParameters> bits{};
        for (AudioUnitParameterID id = 0; id < kNumberOfParameters; ++id) {
            const float v = Parameter(unit, id);
            std::memcpy(&bits[id], &v, sizeof v);
        }
        return bits;
    }
};

void Heard(void* refCon, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
    static_cast<std::atomic<int>*>(refCon)->fetch_add(1, std::memory_order_relaxed);
}

OSStatus Notified(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                  AudioBufferList*) {
    static_cast<std::atomic<int>*>(refCon)->fetch_add(1, std::memory_order_relaxed);
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
    ASSERT_NE(fast.getParameter, nullptr);
    std::atomic<bool> done{false};
    std::atomic<int> heard{0}, notified{0};
    bool notifying = false;  // whether the view's notification is registered

    std::thread render([&] {
        std::vector<std::vector<float>> out(2);
        const OSStatus status = RenderBlocks(busy.unit, out, kFrames, kBlock);
        EXPECT_EQ(status, noErr);
        EXPECT_EQ(out, quietOut) << "the audio did not pass through unchanged";
        done.store(true);
    });

    // A meter: every published value, as fast as it can, through the fast path; it also writes the
    // precision the render reads (the value it has, so the analysis stays the same).
    const float precision = Parameter(busy.unit, kParam_Precision);
    std::thread meter([&] {
        while (!done.load()) {
            for (AudioUnitParameterID id = 0; id < kNumberOfParameters; ++id) {
                AudioUnitParameterValue v;
                ASSERT_EQ(fast.getParameter(fast.storage, id, kAudioUnitScope_Global, 0, &v),
                          noErr);
            }
            ASSERT_EQ(fast.setParameter(fast.storage, kParam_Precision, kAudioUnitScope_Global, 0,
                                        precision, 0),
                      noErr);
        }
    });

    // A view: listens to a property it changes, adds and removes a render notification, reads the
    // last render error.
    std::thread view([&] {
        CFStringRef name = CFStringCreateWithCString(nullptr, "stage left", kCFStringEncodingUTF8);
        for (int round = 0; round == 0 || !done.load(); ++round) {
            ASSERT_EQ(busy.unit.AddPropertyListener(kAudioUnitProperty_ContextName, &Heard, &heard),
                      noErr);
            ASSERT_EQ(busy.unit.SetProperty(kAudioUnitProperty_ContextName, kAudioUnitScope_Global,
                                            0, name),
                      noErr);
            ASSERT_EQ(
                busy.unit.RemovePropertyListener(kAudioUnitProperty_ContextName, &Heard, &heard),
                noErr);
            notifying = (round & 1) == 0;
            ASSERT_EQ(notifying ? busy.unit.AddRenderNotify(&Notified, &notified)
                                : busy.unit.RemoveRenderNotify(&Notified, &notified),
                      noErr);
            OSStatus lastError = -1;
            ASSERT_EQ(busy.unit.GetProperty(kAudioUnitProperty_LastRenderError,
                                            kAudioUnitScope_Global, 0, lastError),
                      noErr);
            ASSERT_EQ(lastError, noErr);
        }
        CFRelease(name);
    });

    render.join();
    meter.join();
    view.join();
    EXPECT_EQ(busy.Results(), expected);
    EXPECT_GT(heard.load(), 0);

    // Quiet now: one more render calls the notification exactly when it is left registered, before
    // and after the render.
    notified.store(0);
    std::vector<std::vector<float>> out(2);
    ASSERT_EQ(RenderInto(busy.unit, out, kFrames, kBlock), noErr);
    EXPECT_EQ(notified.load(), notifying ? 2 : 0);
}

}  // namespace
