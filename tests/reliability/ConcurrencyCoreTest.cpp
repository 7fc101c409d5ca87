// A render thread and control threads on one unit, as a host runs them: the render thread
// renders through the fast path and publishes results as parameters, while control threads read
// those results, write a parameter the render reads, and add and remove render notifications and
// the property listeners that failing renders call.
// ThreadSanitizer runs this suite in CI; without it the checks below still catch torn or lost
// values and notifications called after their removal.

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "core/ComponentEntryPoint.h"
#include "format/AURenderCallbackStruct.h"
#include "format/AudioUnitHandle.h"
#include "tests/core/PassThroughUnit.h"
#include "tests/core/RenderHarness.h"

namespace {

using namespace marvex;

constexpr AudioUnitParameterID kRendered = 0;  // blocks rendered so far, written by the render
constexpr AudioUnitParameterID kGain = 1;      // written by the host, read by the render
constexpr AudioUnitParameterID kSeenGain = 2;  // the last gain the render read
constexpr float kGains[] = {0.25f, 0.5f, 2.0f, 4.0f};

bool IsOneOfTheGains(float v) {
    for (float g : kGains)
        if (v == g) return true;
    return false;
}

// Publishes a block count and the gain it read, like a meter or a tuner publishes its results.
class MeteringUnit : public test::PassThroughUnit {
public:
    explicit MeteringUnit(ComponentInstance instance) : PassThroughUnit(instance) {}

    void PostConstructor() override {
        PassThroughUnit::PostConstructor();
        Globals()->SetParameter(kRendered, 0.0f);
        Globals()->SetParameter(kGain, kGains[0]);
        Globals()->SetParameter(kSeenGain, kGains[0]);
    }

    // [render]
    OSStatus Render(AudioUnitRenderActionFlags& flags, const AudioTimeStamp& ts,
                    UInt32 frames) override {
        const OSStatus err = PassThroughUnit::Render(flags, ts, frames);
        AUElement* globals = Globals();
        globals->SetParameter(kSeenGain, globals->GetParameter(kGain));
        globals->SetParameter(kRendered, globals->GetParameter(kRendered) + 1.0f);
        return err;
    }
};

ComponentResult MeteringEntry(ComponentParameters* params, void* storage) {
    auto* unit = static_cast<MeteringUnit*>(static_cast<AUBase*>(storage));
    return ComponentEntryPoint<MeteringUnit>::Dispatch(params, unit);
}

Component MeteringComponent() {
    static const Component component = [] {
        const ComponentDescription desc{kAudioUnitType_Effect, FourCC("metr"), FourCC("Mrvx"), 0,
                                        0};
        return RegisterComponentEntry(&desc, &MeteringEntry, "metering unit", 1);
    }();
    return component;
}

// A notification's reference constant: counts the calls it receives.
struct NotifySlot {
    std::atomic<int> calls{0};
};

OSStatus CountNotify(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                     UInt32, AudioBufferList*) {
    auto* slot = static_cast<NotifySlot*>(refCon);
    slot->calls.fetch_add(1, std::memory_order_relaxed);
    return noErr;
}

TEST(ConcurrencyCore, RenderWhileControlThreadsReadWriteParametersAndChangeNotifications) {
    AudioUnitHandle unit;
    ASSERT_EQ(AudioUnitHandle::Open(MeteringComponent(), unit), noErr);
    const AURenderCallbackStruct input{&test::RampInput, nullptr};
    ASSERT_EQ(
        unit.SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, input),
        noErr);
    ASSERT_EQ(unit.Initialize(), noErr);
    AudioUnitHandle::FastPaths fast;
    ASSERT_EQ(unit.GetFastPaths(fast), noErr);
    ASSERT_NE(fast.render, nullptr);
    ASSERT_NE(fast.getParameter, nullptr);

    constexpr int kBlocks = 20000;
    std::atomic<bool> done{false};
    std::array<NotifySlot, 4> slots;

    std::thread render([&] {
        test::HostBuffers out(2, 64);
        for (int block = 0; block < kBlocks; ++block) {
            AudioUnitRenderActionFlags flags = 0;
            const AudioTimeStamp ts = test::TimeStamp(64.0 * block);
            const OSStatus err = fast.render(fast.storage, &flags, &ts, 0, 64, &out.get());
            if (err != noErr) ADD_FAILURE() << "render " << block << " failed: " << err;
        }
        done.store(true);
    });

    // Reads the published results: the block count never goes back and never tears, the gain the
    // render saw is always one the host wrote.
    std::thread reader([&] {
        float last = 0.0f;
        while (!done.load()) {
            AudioUnitParameterValue rendered = -1.0f, seen = -1.0f;
            ASSERT_EQ(
                fast.getParameter(fast.storage, kRendered, kAudioUnitScope_Global, 0, &rendered),
                noErr);
            ASSERT_EQ(unit.GetParameter(kSeenGain, kAudioUnitScope_Global, 0, seen), noErr);
            ASSERT_GE(rendered, last);
            ASSERT_EQ(rendered, std::floor(rendered));
            ASSERT_TRUE(IsOneOfTheGains(seen)) << seen;
            last = rendered;
        }
    });

    std::thread writer([&] {
        for (unsigned i = 0; !done.load(); ++i)
            ASSERT_EQ(
                fast.setParameter(fast.storage, kGain, kAudioUnitScope_Global, 0, kGains[i % 4], 0),
                noErr);
    });

    // Adds and removes notifications while the render walks the list; ends with slots 0 and 2
    // registered.
    std::thread notifier([&] {
        for (int round = 0;; ++round) {
            for (std::size_t s = 0; s < slots.size(); ++s) {
                const bool add = ((round + int(s)) & 1) == 0;
                const OSStatus err = add ? unit.AddRenderNotify(&CountNotify, &slots[s])
                                         : unit.RemoveRenderNotify(&CountNotify, &slots[s]);
                ASSERT_EQ(err, noErr);
            }
            if (round >= 8 && (round & 1) == 0 && done.load()) break;
        }
    });

    render.join();
    reader.join();
    writer.join();
    notifier.join();

    // Quiet now: one more render applies the queued changes and calls exactly the slots left
    // registered, before and after the render.
    for (auto& s : slots) s.calls.store(0);
    test::HostBuffers out(2, 64);
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(unit.Render(&flags, test::TimeStamp(64.0 * kBlocks), 0, 64, &out.get()), noErr);
    EXPECT_EQ(slots[0].calls.load(), 2);
    EXPECT_EQ(slots[1].calls.load(), 0);
    EXPECT_EQ(slots[2].calls.load(), 2);
    EXPECT_EQ(slots[3].calls.load(), 0);
    AudioUnitParameterValue rendered = 0;
    ASSERT_EQ(unit.GetParameter(kRendered, kAudioUnitScope_Global, 0, rendered), noErr);
    EXPECT_EQ(rendered, float(kBlocks + 1));
}

void CountHeard(void* refCon, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
    static_cast<std::atomic<int>*>(refCon)->fetch_add(1, std::memory_order_relaxed);
}

// Each failing render announces its error to the listeners on the render thread, while a control
// thread grows and shrinks the listener array and reads the error (so the next one is announced).
// Renders go on until the listener has heard kHeard errors; afterwards one more failure must reach
// exactly the listeners left registered.
TEST(ConcurrencyCore, FailingRendersCallListenersThatControlThreadsAddAndRemove) {
    AudioUnitHandle unit;
    ASSERT_EQ(AudioUnitHandle::Open(MeteringComponent(), unit), noErr);
    ASSERT_EQ(unit.Initialize(), noErr);
    UInt32 maxFrames = 0;
    ASSERT_EQ(unit.GetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                               maxFrames),
              noErr);
    const AudioUnitPropertyID error = kAudioUnitProperty_LastRenderError;
    test::HostBuffers out(2, 16);
    auto fail = [&](Float64 time) {
        AudioUnitRenderActionFlags flags = 0;
        const AudioTimeStamp ts = test::TimeStamp(time);
        return unit.Render(&flags, ts, 0, maxFrames + 1, &out.get());  // more than a slice
    };
    constexpr int kHeard = 500;
    std::atomic<int> heard{0};
    std::array<std::atomic<int>, 6> others{};
    std::array<bool, 6> registered{};
    std::atomic<bool> done{false};
    ASSERT_EQ(unit.AddPropertyListener(error, &CountHeard, &heard), noErr);

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
            const OSStatus err = registered[k]
                                     ? unit.AddPropertyListener(error, &CountHeard, &others[k])
                                     : unit.RemovePropertyListener(error, &CountHeard, &others[k]);
            ASSERT_EQ(err, noErr);
            OSStatus last = noErr;
            ASSERT_EQ(unit.GetProperty(error, kAudioUnitScope_Global, 0, last), noErr);
        }
    });
    render.join();
    control.join();

    OSStatus last = noErr;
    ASSERT_EQ(unit.GetProperty(error, kAudioUnitScope_Global, 0, last), noErr);
    heard.store(0);
    for (auto& o : others) o.store(0);
    ASSERT_EQ(fail(-2), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(heard.load(), 1);
    for (std::size_t k = 0; k < others.size(); ++k)
        EXPECT_EQ(others[k].load(), registered[k] ? 1 : 0) << "listener " << k;
}

}  // namespace
