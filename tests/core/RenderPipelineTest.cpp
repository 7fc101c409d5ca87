#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

#include "core/ProcessorModeGuard.h"
#include "tests/core/RenderHarness.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/LockCounter.h"

namespace {

using marvex::ProcessorModeGuard;
using marvex::test::HostBuffers;
using marvex::test::PassThroughUnit;
using marvex::test::TimeStamp;

constexpr UInt32 kFrames = 512;

class RenderUnit : public PassThroughUnit {
public:
    RenderUnit() {
        PostConstructor();
        SetInputCallback(kAudioUnitProperty_SetRenderCallback, 0, marvex::test::RampInput, nullptr);
    }
    OSStatus Render(AudioUnitRenderActionFlags& flags, const AudioTimeStamp& ts,
                    UInt32 frames) override {
        ++renders;
        modeInRender = ProcessorModeGuard::Current();
        if (throwForeign) throw std::runtime_error("not a status");
        if (throwStatus != noErr) throw OSStatus(throwStatus);
        return PassThroughUnit::Render(flags, ts, frames);
    }
    int renders = 0;
    std::uint64_t modeInRender = 0;
    bool throwForeign = false;
    OSStatus throwStatus = noErr;
};

// What the render notifications and the last-render-error listener saw.
struct Observed {
    std::vector<AudioUnitRenderActionFlags> pre, post;
    int errorNotices = 0;
};

OSStatus Notify(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp*, UInt32,
                UInt32, AudioBufferList*) {
    auto* o = static_cast<Observed*>(refCon);
    (*flags & kAudioUnitRenderAction_PreRender ? o->pre : o->post).push_back(*flags);
    return kAudioUnitErr_InvalidProperty;  // ignored by the render
}

void ErrorListener(void* refCon, AudioUnit, AudioUnitPropertyID, AudioUnitScope scope,
                   AudioUnitElement element) {
    EXPECT_EQ(std::make_pair(scope, element),
              std::make_pair(AudioUnitScope(kAudioUnitScope_Global), 0u));
    ++static_cast<Observed*>(refCon)->errorNotices;
}

AudioUnitParameterEvent Event(SInt32 offset, AudioUnitScope scope, UInt32 type) {
    AudioUnitParameterEvent e{};
    e.scope = scope;
    e.parameter = 3;
    e.eventType = type;
    if (type == kParameterEvent_Ramped) {
        e.eventValues.ramp = {offset, 10, 0.0f, 1.0f};
    } else {
        e.eventValues.immediate = {UInt32(offset), 0.5f};
    }
    return e;
}

// An initialised unit that has rendered once with a notification registered, so that the
// notification is active when the test's render runs.
struct Rig {
    Rig() {
        unit.AddPropertyListener(kAudioUnitProperty_LastRenderError, ErrorListener, &seen);
        EXPECT_EQ(unit.DoInitialize(), noErr);
        EXPECT_EQ(unit.SetRenderNotification(Notify, &seen), noErr);
        EXPECT_EQ(Render(0, 0, kFrames, out.get()), noErr);
        seen = Observed{};
        seen.pre.reserve(64);
        seen.post.reserve(64);
    }
    OSStatus Render(Float64 time, UInt32 bus, UInt32 frames, AudioBufferList& list,
                    AudioUnitRenderActionFlags flags = 0) {
        return unit.DoRender(flags, TimeStamp(time), bus, frames, list);
    }
    RenderUnit unit;
    Observed seen;
    HostBuffers out{2, kFrames};
};

struct Request {
    UInt32 frames = kFrames, bus = 0, buffers = 2;
};

TEST(RenderPipeline, FailuresFollowTheTableAndAllocateNothing) {
    {
        // The counter must see what a thrown exception allocates, or the zeros below mean nothing.
        marvex::test::CountAllocations probe;
        try {
            throw OSStatus(-1);
        } catch (OSStatus) {
        }
        ASSERT_GT(probe.count(), 0u);
    }
    const struct {
        const char* what;
        std::function<void(Rig&, Request&)> setup;
        OSStatus status;
        std::size_t pre, post;
        bool eventsKept;
    } rows[] = {
        {"uninitialised", [](Rig& r, Request&) { r.unit.DoCleanup(); }, kAudioUnitErr_Uninitialized,
         0, 0, true},
        {"one frame too many",
         [](Rig& r, Request& s) { s.frames = r.unit.GetMaxFramesPerSlice() + 1; },
         kAudioUnitErr_TooManyFramesToProcess, 0, 0, true},
        {"no such bus", [](Rig&, Request& s) { s.bus = 1; }, kAudioUnitErr_InvalidElement, 0, 0,
         true},
        {"one buffer short", [](Rig&, Request& s) { s.buffers = 1; }, paramErr, 0, 0, true},
        {"thrown status",
         [](Rig& r, Request&) { r.unit.throwStatus = kAudioUnitErr_InvalidProperty; },
         kAudioUnitErr_InvalidProperty, 1, 0, true},
        {"event of a bad scope",
         [](Rig& r, Request&) {
             const AudioUnitParameterEvent bad = Event(0, 5, kParameterEvent_Ramped);
             r.unit.ScheduleParameter(&bad, 1);
         },
         kAudioUnitErr_InvalidScope, 1, 1, false},
        {"render error",
         [](Rig& r, Request&) {
             r.unit.SetInputCallback(kAudioUnitProperty_SetRenderCallback, 0, nullptr, nullptr);
         },
         kAudioUnitErr_NoConnection, 1, 1, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Rig rig;
        const AudioUnitParameterEvent kept =
            Event(600, kAudioUnitScope_Global, kParameterEvent_Immediate);
        rig.unit.ScheduleParameter(&kept, 1);
        Request s;
        row.setup(rig, s);
        const std::size_t scheduled = rig.unit.ScheduledEvents().size();
        HostBuffers out(s.buffers, s.frames);
        const std::uint64_t modeBefore = ProcessorModeGuard::Current();

        marvex::test::CountAllocations count;
        EXPECT_EQ(rig.Render(1, s.bus, s.frames, out.get(), 0x2), row.status);
        // A status thrown by a subclass is the subclass's allocation; the core's own exits return.
        if (row.status != kAudioUnitErr_InvalidProperty) {
            EXPECT_EQ(count.count(), 0u);
        }

        EXPECT_EQ(ProcessorModeGuard::Current(), modeBefore);
        EXPECT_EQ(rig.seen.errorNotices, 1);
        EXPECT_EQ(rig.unit.TakeLastRenderError(), row.status);
        EXPECT_EQ(rig.seen.pre, std::vector<AudioUnitRenderActionFlags>(
                                    row.pre, 0x2u | kAudioUnitRenderAction_PreRender));
        EXPECT_EQ(rig.seen.post, std::vector<AudioUnitRenderActionFlags>(
                                     row.post, 0x2u | kAudioUnitRenderAction_PostRender |
                                                   kAudioUnitRenderAction_PostRenderError));
        EXPECT_EQ(rig.unit.ScheduledEvents().size(), row.eventsKept ? scheduled : 0u);
    }
}

TEST(RenderPipeline, OnlyTheFirstErrorIsKeptUntilReadAndEachTimeStampRendersOnce) {
    Rig rig;
    const UInt32 max = rig.unit.GetMaxFramesPerSlice();
    HostBuffers two(2, max), one(1, max);
    EXPECT_EQ(rig.Render(1, 0, max, two.get()), noErr) << "the frame limit is inclusive";
    EXPECT_EQ(rig.Render(2, 0, max, one.get()), paramErr);
    EXPECT_EQ(rig.Render(3, 0, max + 1, two.get()), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(rig.seen.errorNotices, 1);
    EXPECT_EQ(rig.unit.TakeLastRenderError(), paramErr);
    EXPECT_EQ(rig.unit.TakeLastRenderError(), noErr) << "read-and-clear";
    EXPECT_EQ(rig.Render(4, 0, max, one.get()), paramErr);
    EXPECT_EQ(rig.seen.errorNotices, 2) << "once read, the next error is stored and announced";

    const int renders = rig.unit.renders;
    EXPECT_EQ(rig.Render(512, 0, kFrames, two.get()), noErr);
    EXPECT_EQ(rig.Render(512, 0, kFrames, two.get()), noErr);
    EXPECT_EQ(rig.unit.renders, renders + 1);
    EXPECT_EQ(rig.unit.Reset(kAudioUnitScope_Global, 0), noErr);
    EXPECT_EQ(rig.Render(512, 0, kFrames, two.get()), noErr);
    EXPECT_EQ(rig.unit.renders, renders + 2);
}

TEST(RenderPipeline, FlushesDenormalsDuringRenderAndRestoresTheModeOnEveryWayOut) {
    Rig rig;
    const std::uint64_t flush = ProcessorModeGuard::FlushBits();
    const std::uint64_t host = ProcessorModeGuard::Current() & ~flush;
    ProcessorModeGuard::Restore(host);
    EXPECT_EQ(rig.Render(1, 0, kFrames, rig.out.get()), noErr);
    EXPECT_EQ(rig.unit.modeInRender & flush, flush);
    EXPECT_EQ(ProcessorModeGuard::Current(), host);

    rig.unit.throwForeign = true;
    EXPECT_THROW(rig.Render(3, 0, kFrames, rig.out.get()), std::runtime_error);
    EXPECT_EQ(ProcessorModeGuard::Current(), host);
    EXPECT_EQ(rig.unit.GetLastRenderError(), noErr) << "only statuses are recorded";
}

TEST(RenderPipeline, SteadyStateRenderAllocatesNothingAndTakesNoLock) {
    {
        std::mutex probe;  // the counter must see an ordinary lock, or its zero below means nothing
        marvex::test::CountLocks locks;
        probe.lock();
        probe.unlock();
        ASSERT_EQ(locks.count(), 1u);
    }
    Rig rig;
    HostBuffers borrowed(2, kFrames, false);
    for (int i = 0; i < 4; ++i) {
        // Scheduling and changing notifications are control-thread steps; slicing, emptying the
        // events and taking up the new notification list are not.
        const AudioUnitParameterEvent events[] = {
            Event(100, kAudioUnitScope_Global, kParameterEvent_Immediate),
            Event(200, kAudioUnitScope_Global, kParameterEvent_Ramped)};
        rig.unit.ScheduleParameter(events, 2);
        rig.unit.RemoveRenderNotification(Notify, &rig.seen);
        rig.unit.SetRenderNotification(Notify, &rig.seen);
        for (UInt32 b = 0; b < 2; ++b) borrowed.get().mBuffers[b].mData = nullptr;

        marvex::test::CountAllocations count;
        marvex::test::CountLocks locks;
        EXPECT_EQ(rig.Render(2.0 + i * 2, 0, kFrames, rig.out.get()), noErr);
        EXPECT_EQ(rig.Render(3.0 + i * 2, 0, kFrames, borrowed.get()), noErr);
        EXPECT_EQ(rig.Render(3.0 + i * 2, 7, kFrames, rig.out.get()), kAudioUnitErr_InvalidElement);
        EXPECT_EQ(count.count(), 0u) << "round " << i;
        EXPECT_EQ(locks.count(), 0u) << "round " << i;
    }
    EXPECT_EQ(rig.seen.pre.size(), 8u);
}

}  // namespace
