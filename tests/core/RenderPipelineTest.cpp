#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <stdexcept>

#include "core/ProcessorModeGuard.h"
#include "tests/core/PassThroughUnit.h"
#include "tests/support/HostBufferList.h"

namespace {

using marvex::ProcessorModeGuard;
using marvex::test::HostBufferList;
using marvex::test::PassThroughUnit;
using marvex::test::TimeStamp;

constexpr UInt32 kFrames = 512;

OSStatus Silence(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                 AudioBufferList*) {
    return noErr;
}

class RenderUnit : public PassThroughUnit {
public:
    RenderUnit() {
        PostConstructor();
        SetInputCallback(kAudioUnitProperty_SetRenderCallback, 0, Silence, nullptr);
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

void ErrorListener(void* refCon, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
    ++*static_cast<int*>(refCon);
}

// An initialised unit that counts the announcements of its last render error.
struct Rig {
    Rig() {
        unit.AddPropertyListener(kAudioUnitProperty_LastRenderError, ErrorListener, &errorNotices);
        EXPECT_EQ(unit.DoInitialize(), noErr);
    }
    OSStatus Render(Float64 time, UInt32 bus, UInt32 frames, AudioBufferList& list) {
        AudioUnitRenderActionFlags flags = 0;
        return unit.DoRender(flags, TimeStamp(time), bus, frames, list);
    }
    RenderUnit unit;
    int errorNotices = 0;
    HostBufferList out{2, kFrames * 4};
};

TEST(RenderPipeline, FailuresAreRecordedAnnouncedAndDropThePendingEvents) {
    const struct {
        const char* what;
        std::function<void(Rig&)> setup;
        OSStatus status;
        bool eventsKept;
    } rows[] = {
        {"thrown status", [](Rig& r) { r.unit.throwStatus = kAudioUnitErr_InvalidProperty; },
         kAudioUnitErr_InvalidProperty, true},
        {"event of a bad scope",
         [](Rig& r) {
             AudioUnitParameterEvent bad{5, 0, 3, kParameterEvent_Ramped, {}};
             bad.eventValues.ramp = {0, 10, 0.0f, 1.0f};
             r.unit.ScheduleParameter(&bad, 1);
         },
         kAudioUnitErr_InvalidScope, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Rig rig;
        AudioUnitParameterEvent kept{kAudioUnitScope_Global, 0, 3, kParameterEvent_Immediate, {}};
        kept.eventValues.immediate = {600, 0.5f};
        rig.unit.ScheduleParameter(&kept, 1);
        row.setup(rig);
        EXPECT_EQ(rig.Render(1, 0, kFrames, rig.out.get()), row.status);
        EXPECT_EQ(rig.errorNotices, 1);
        EXPECT_EQ(rig.unit.TakeLastRenderError(), row.status);
        EXPECT_EQ(rig.unit.ScheduledEvents().size(), row.eventsKept ? 1u : 0u);
    }
}

TEST(RenderPipeline, OnlyTheFirstErrorIsKeptUntilReadAndEachTimeStampRendersOnce) {
    Rig rig;
    const UInt32 max = rig.unit.GetMaxFramesPerSlice();
    HostBufferList two(2, max * 4), one(1, max * 4);
    EXPECT_EQ(rig.Render(1, 0, max, two.get()), noErr) << "the frame limit is inclusive";
    EXPECT_EQ(rig.Render(2, 0, max, one.get()), paramErr);
    EXPECT_EQ(rig.Render(3, 0, max + 1, two.get()), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(rig.errorNotices, 1);
    EXPECT_EQ(rig.unit.TakeLastRenderError(), paramErr);
    EXPECT_EQ(rig.unit.TakeLastRenderError(), noErr) << "read-and-clear";

    const int renders = rig.unit.renders;
    EXPECT_EQ(rig.Render(512, 0, kFrames, two.get()), noErr);
    EXPECT_EQ(rig.Render(512, 0, kFrames, two.get()), noErr);
    EXPECT_EQ(rig.unit.renders, renders + 1);
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
}

}  // namespace
