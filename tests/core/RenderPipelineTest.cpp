#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "core/ProcessorModeGuard.h"
#include "tests/core/RenderHarness.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/LockCounter.h"

namespace {

using marvex::ProcessorModeGuard;
using marvex::test::HostBuffers;
using marvex::test::PassThroughUnit;
using marvex::test::RampInput;
using marvex::test::TimeStamp;

constexpr UInt32 kFrames = 512;

class RenderUnit : public PassThroughUnit {
public:
    RenderUnit(UInt32 outputs = 1) : PassThroughUnit(nullptr, 1, outputs) {
        PostConstructor();
        SetInputCallback(kAudioUnitProperty_SetRenderCallback, 0, RampInput, &pulls);
    }

    OSStatus Render(AudioUnitRenderActionFlags& flags, const AudioTimeStamp& ts,
                    UInt32 frames) override {
        ++renders;
        modeInRender = ProcessorModeGuard::Current();
        if (throwForeign) throw std::runtime_error("not a status");
        if (throwStatus != noErr) throw OSStatus(throwStatus);
        flags |= flagsToAdd;
        return PassThroughUnit::Render(flags, ts, frames);
    }

    int pulls = 0;
    int renders = 0;
    std::uint64_t modeInRender = 0;
    bool throwForeign = false;
    OSStatus throwStatus = noErr;
    AudioUnitRenderActionFlags flagsToAdd = 0;
};

// What the notifications and the last-render-error listener saw.
struct Observed {
    std::vector<AudioUnitRenderActionFlags> pre, post;
    int errorNotices = 0;
    // Each callback adds this to the local flags word it is given.
    AudioUnitRenderActionFlags mark = 0;
};

OSStatus Notify(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp*, UInt32,
                UInt32, AudioBufferList*) {
    auto* o = static_cast<Observed*>(refCon);
    if (*flags & kAudioUnitRenderAction_PreRender) o->pre.push_back(*flags);
    if (*flags & kAudioUnitRenderAction_PostRender) o->post.push_back(*flags);
    *flags |= o->mark;
    return kAudioUnitErr_InvalidProperty;  // ignored by the render
}

void ErrorListener(void* refCon, AudioUnit, AudioUnitPropertyID id, AudioUnitScope scope,
                   AudioUnitElement element) {
    EXPECT_EQ(id, kAudioUnitProperty_LastRenderError);
    EXPECT_EQ(scope, kAudioUnitScope_Global);
    EXPECT_EQ(element, 0u);
    ++static_cast<Observed*>(refCon)->errorNotices;
}

AudioUnitParameterEvent Event(SInt32 offset, AudioUnitScope scope, UInt32 type) {
    AudioUnitParameterEvent e{};
    e.scope = scope;
    e.parameter = 3;
    e.eventType = type;
    if (type == kParameterEvent_Ramped) {
        e.eventValues.ramp.startBufferOffset = offset;
        e.eventValues.ramp.durationInFrames = 10;
        e.eventValues.ramp.endValue = 1.0f;
    } else {
        e.eventValues.immediate.bufferOffset = UInt32(offset);
        e.eventValues.immediate.value = 0.5f;
    }
    return e;
}

// A unit rendering once successfully with a notification registered, so that the notification
// is active when the row's render runs.
struct Rig {
    explicit Rig(UInt32 outputs = 1) : unit(outputs) {
        unit.AddPropertyListener(kAudioUnitProperty_LastRenderError, ErrorListener, &seen);
        EXPECT_EQ(unit.DoInitialize(), noErr);
        EXPECT_EQ(unit.SetRenderNotification(Notify, &seen), noErr);
        HostBuffers out(2, kFrames);
        AudioUnitRenderActionFlags flags = 0;
        EXPECT_EQ(unit.DoRender(flags, TimeStamp(0), 0, kFrames, out.get()), noErr);
        seen = Observed{};
    }

    OSStatus Render(Float64 time, UInt32 bus, UInt32 frames, AudioBufferList& list,
                    AudioUnitRenderActionFlags flags = 0) {
        return unit.DoRender(flags, TimeStamp(time), bus, frames, list);
    }

    RenderUnit unit;
    Observed seen;
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
    enum Row {
        Uninitialized,
        TooManyFrames,
        NoSuchBus,
        BufferCount,
        Thrown,
        BadEvent,
        RenderError
    };
    struct Expect {
        Row row;
        OSStatus status;
        std::size_t pre, post;
        bool eventsKept;
    };
    const Expect table[] = {
        {Uninitialized, kAudioUnitErr_Uninitialized, 0, 0, true},
        {TooManyFrames, kAudioUnitErr_TooManyFramesToProcess, 0, 0, true},
        {NoSuchBus, kAudioUnitErr_InvalidElement, 0, 0, true},
        {BufferCount, paramErr, 0, 0, true},
        {Thrown, kAudioUnitErr_InvalidProperty, 1, 0, true},
        {BadEvent, kAudioUnitErr_InvalidScope, 1, 1, false},
        {RenderError, kAudioUnitErr_NoConnection, 1, 1, false},
    };
    for (const Expect& e : table) {
        SCOPED_TRACE(testing::Message() << "row " << e.row);
        Rig rig;
        UInt32 frames = kFrames, bus = 0, buffers = 2;
        const AudioUnitParameterEvent kept =
            Event(600, kAudioUnitScope_Global, kParameterEvent_Immediate);
        rig.unit.ScheduleParameter(&kept, 1);
        switch (e.row) {
            case Uninitialized:
                rig.unit.DoCleanup();
                break;
            case TooManyFrames:
                frames = rig.unit.GetMaxFramesPerSlice() + 1;
                break;
            case NoSuchBus:
                bus = 1;
                break;
            case BufferCount:
                buffers = 1;
                break;
            case Thrown:
                rig.unit.throwStatus = kAudioUnitErr_InvalidProperty;
                break;
            case BadEvent: {
                const AudioUnitParameterEvent bad = Event(0, 5, kParameterEvent_Ramped);
                rig.unit.ScheduleParameter(&bad, 1);
                break;
            }
            case RenderError:
                rig.unit.SetInputCallback(kAudioUnitProperty_SetRenderCallback, 0, nullptr,
                                          nullptr);
                break;
        }
        const std::size_t scheduled = rig.unit.ScheduledEvents().size();
        HostBuffers out(buffers, frames);
        const std::uint64_t modeBefore = ProcessorModeGuard::Current();
        rig.seen.pre.reserve(4);
        rig.seen.post.reserve(4);

        std::size_t allocations = 0;
        OSStatus status = noErr;
        {
            marvex::test::CountAllocations count;
            status = rig.Render(1, bus, frames, out.get(), 0x2);
            allocations = count.count();
        }
        EXPECT_EQ(status, e.status);
        // A status thrown by a subclass is the subclass's allocation; the core's own exits return.
        if (e.row != Thrown) EXPECT_EQ(allocations, 0u);

        EXPECT_EQ(ProcessorModeGuard::Current(), modeBefore);
        EXPECT_EQ(rig.seen.errorNotices, 1);
        EXPECT_EQ(rig.unit.TakeLastRenderError(), e.status);
        EXPECT_EQ(rig.unit.TakeLastRenderError(), noErr) << "read-and-clear";
        ASSERT_EQ(rig.seen.pre.size(), e.pre);
        ASSERT_EQ(rig.seen.post.size(), e.post);
        if (e.pre) {
            EXPECT_EQ(rig.seen.pre[0], 0x2u | kAudioUnitRenderAction_PreRender);
        }
        if (e.post) {
            EXPECT_EQ(rig.seen.post[0], 0x2u | kAudioUnitRenderAction_PostRender |
                                            kAudioUnitRenderAction_PostRenderError);
        }
        EXPECT_EQ(rig.unit.ScheduledEvents().size(), e.eventsKept ? scheduled : 0u);
    }
}

TEST(RenderPipeline, FrameLimitIsInclusiveAndOnlyTheFirstErrorIsKeptUntilRead) {
    Rig rig;
    const UInt32 max = rig.unit.GetMaxFramesPerSlice();
    HostBuffers two(2, max + 1), one(1, max);
    EXPECT_EQ(rig.Render(1, 0, max, two.get()), noErr);
    EXPECT_EQ(rig.Render(2, 0, max + 1, two.get()), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(rig.Render(3, 0, max, one.get()), paramErr);
    EXPECT_EQ(rig.seen.errorNotices, 1);
    EXPECT_EQ(rig.unit.TakeLastRenderError(), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(rig.Render(4, 0, max, one.get()), paramErr);
    EXPECT_EQ(rig.seen.errorNotices, 2) << "once read, the next error is stored and announced";
}

TEST(RenderPipeline, RendersOncePerTimeStampUntilReset) {
    Rig rig;
    const int renders = rig.unit.renders;
    HostBuffers out(2, kFrames);
    EXPECT_EQ(rig.Render(512, 0, kFrames, out.get()), noErr);
    EXPECT_EQ(rig.Render(512, 0, kFrames, out.get()), noErr);
    EXPECT_EQ(rig.unit.renders, renders + 1);
    EXPECT_EQ(rig.seen.pre.size(), 2u) << "notifications run for every call";

    EXPECT_EQ(rig.unit.Reset(kAudioUnitScope_Global, 0), noErr);
    EXPECT_EQ(rig.Render(512, 0, kFrames, out.get()), noErr);
    EXPECT_EQ(rig.unit.renders, renders + 2);
}

TEST(RenderPipeline, FlushesDenormalsDuringRenderAndRestoresTheModeOnEveryWayOut) {
    Rig rig;
    const std::uint64_t flush = ProcessorModeGuard::FlushBits();
    const std::uint64_t host = ProcessorModeGuard::Current() & ~flush;
    ProcessorModeGuard::Restore(host);
    HostBuffers out(2, kFrames);

    EXPECT_EQ(rig.Render(1, 0, kFrames, out.get()), noErr);
    EXPECT_EQ(rig.unit.modeInRender & flush, flush);
    EXPECT_EQ(ProcessorModeGuard::Current(), host);

    rig.unit.throwForeign = true;
    EXPECT_THROW(rig.Render(3, 0, kFrames, out.get()), std::runtime_error);
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
    Observed other;
    rig.unit.SetRenderNotification(Notify, &other);
    HostBuffers out(2, kFrames);
    HostBuffers borrowed(2, kFrames, false);
    rig.Render(1, 0, kFrames, out.get());      // applies the queued notification
    for (Observed* o : {&rig.seen, &other}) {  // the test's own callbacks must not allocate
        o->pre.reserve(64);
        o->post.reserve(64);
    }

    for (int i = 0; i < 4; ++i) {
        // Scheduling is a control-thread step; slicing and emptying the events are not.
        const AudioUnitParameterEvent events[] = {
            Event(100, kAudioUnitScope_Global, kParameterEvent_Immediate),
            Event(200, kAudioUnitScope_Global, kParameterEvent_Ramped)};
        rig.unit.ScheduleParameter(events, 2);
        rig.unit.RemoveRenderNotification(Notify, &other);
        rig.unit.SetRenderNotification(Notify, &other);
        for (UInt32 b = 0; b < 2; ++b) borrowed.get().mBuffers[b].mData = nullptr;

        marvex::test::CountAllocations count;
        marvex::test::CountLocks locks;
        EXPECT_EQ(rig.Render(2.0 + i * 2, 0, kFrames, out.get()), noErr);
        EXPECT_EQ(rig.Render(3.0 + i * 2, 0, kFrames, borrowed.get()), noErr);
        EXPECT_EQ(rig.Render(3.0 + i * 2, 7, kFrames, out.get()), kAudioUnitErr_InvalidElement);
        EXPECT_EQ(count.count(), 0u) << "round " << i;
        EXPECT_EQ(locks.count(), 0u) << "round " << i;
    }
    EXPECT_EQ(other.pre.size(), 9u);
}

}  // namespace
