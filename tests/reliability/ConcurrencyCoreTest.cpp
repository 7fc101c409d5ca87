// Failing renders announce their error to the property listeners on the render thread, while a
// control thread grows and shrinks the listener array and reads the error (so the next one is
// announced), as a host's view does. ThreadSanitizer runs this suite in CI; without it the checks
// below still catch lost notifications and listeners called after their removal. (The tuner's
// suite covers parameters and render notifications under the same load.)

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>

#include "format/AudioUnitHandle.h"
#include "tests/core/PropertiesTestUnit.h"
#include "tests/support/HostBufferList.h"

namespace {

using namespace marvex;

void CountHeard(void* refCon, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
    static_cast<std::atomic<int>*>(refCon)->fetch_add(1, std::memory_order_relaxed);
}

// Renders go on until the first listener has heard kHeard errors; afterwards one more failure
// must reach exactly the listeners left registered.
TEST(ConcurrencyCore, FailingRendersCallListenersThatControlThreadsAddAndRemove) {
    test::OpenTestUnit<test::PassThroughUnit> opened;
    AudioUnitHandle unit(opened.Instance());  // handed back to its opener at the end
    ASSERT_EQ(unit.Initialize(), noErr);
    test::HostBufferList out(2, 64);
    auto fail = [&](Float64 time) {  // more frames than any slice holds
        AudioUnitRenderActionFlags flags = 0;
        return unit.Render(&flags, test::TimeStamp(time), 0, 1u << 20, &out.get());
    };
    const AudioUnitPropertyID error = kAudioUnitProperty_LastRenderError;
    constexpr int kHeard = 500;
    std::atomic<int> heard{0};
    std::array<std::atomic<int>, 6> others{};
    std::array<bool, 6> registered{};
    std::atomic<bool> done{false};
    ASSERT_EQ(unit.AddPropertyListener(error, &CountHeard, &heard), noErr);
    OSStatus last = noErr;

    std::thread render([&] {
        for (int i = 0; heard.load() < kHeard; ++i) {
            fail(i);
            std::this_thread::yield();
        }
        done.store(true);
    });
    std::thread control([&] {
        for (std::size_t i = 0; !done.load(); ++i) {
            const std::size_t k = i % others.size();
            registered[k] = (i / others.size()) % 2 == 0;
            ASSERT_EQ(registered[k] ? unit.AddPropertyListener(error, &CountHeard, &others[k])
                                    : unit.RemovePropertyListener(error, &CountHeard, &others[k]),
                      noErr);
            ASSERT_EQ(unit.GetProperty(error, kAudioUnitScope_Global, 0, last), noErr);
        }
    });
    render.join();
    control.join();

    ASSERT_EQ(unit.GetProperty(error, kAudioUnitScope_Global, 0, last), noErr);
    heard.store(0);
    for (auto& o : others) o.store(0);
    ASSERT_EQ(fail(-2), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(heard.load(), 1);
    for (std::size_t k = 0; k < others.size(); ++k)
        EXPECT_EQ(others[k].load(), registered[k] ? 1 : 0) << "listener " << k;
    unit.Release();
}

}  // namespace
