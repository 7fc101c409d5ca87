#include <gtest/gtest.h>

#include <vector>

#include "tests/core/PropertiesTestUnit.h"

namespace {

using marvex::test::PassThroughUnit;
using marvex::test::StatusOf;

constexpr AudioUnitParameterID kGain = 7;
constexpr AudioUnitParameterID kOther = 8;

AudioUnitParameterEvent Immediate(UInt32 offset, float value, AudioUnitParameterID id = kGain,
                                  AudioUnitScope scope = kAudioUnitScope_Global,
                                  AudioUnitElement element = 0) {
    AudioUnitParameterEvent e{};
    e.scope = scope;
    e.element = element;
    e.parameter = id;
    e.eventType = kParameterEvent_Immediate;
    e.eventValues.immediate.bufferOffset = offset;
    e.eventValues.immediate.value = value;
    return e;
}

AudioUnitParameterEvent Ramp(SInt32 start, UInt32 duration, float from, float to,
                             AudioUnitParameterID id = kGain,
                             AudioUnitScope scope = kAudioUnitScope_Global) {
    AudioUnitParameterEvent e{};
    e.scope = scope;
    e.element = 0;
    e.parameter = id;
    e.eventType = kParameterEvent_Ramped;
    e.eventValues.ramp.startBufferOffset = start;
    e.eventValues.ramp.durationInFrames = duration;
    e.eventValues.ramp.startValue = from;
    e.eventValues.ramp.endValue = to;
    return e;
}

// What the element held for kGain when a slice was processed.
struct Slice {
    UInt32 start, frames, total;
    bool hasGain;
    UInt32 eventType;
    SInt32 bufferOffset;
    UInt32 sliceDuration;
    float value;
};

class SliceRecorder : public PassThroughUnit {
public:
    SliceRecorder() { PostConstructor(); }

    OSStatus ProcessScheduledSlice(void* userData, UInt32 start, UInt32 frames,
                                   UInt32 total) override {
        EXPECT_EQ(userData, this);
        Slice s{start, frames, total, false, 0, 0, 0, 0.0f};
        AUElement* global = Globals();
        if (global->GetNumberOfParameters() > 0) {
            try {
                const ParameterMapEvent& e = global->GetParamEvent(kGain);
                s = {start,
                     frames,
                     total,
                     true,
                     e.GetEventType(),
                     e.GetBufferOffset(),
                     e.GetSliceDurationFrames(),
                     e.GetValue()};
            } catch (OSStatus) {
            }
        }
        slices.push_back(s);
        return slices.size() == failAtSlice ? kAudioUnitErr_NoConnection : noErr;
    }

    OSStatus Slice512(ParameterEventList events, UInt32 frames = 512) {
        return ProcessForScheduledParams(events, frames, this);
    }

    std::vector<Slice> slices;
    std::size_t failAtSlice = 0;
};

struct Cut {
    UInt32 start, frames;
    bool operator==(const Cut& o) const { return start == o.start && frames == o.frames; }
};
std::vector<Cut> Cuts(const std::vector<Slice>& slices) {
    std::vector<Cut> out;
    for (const Slice& s : slices) out.push_back({s.start, s.frames});
    return out;
}
void PrintTo(const Cut& c, std::ostream* os) {
    *os << "(" << c.start << ", " << c.frames << ")";
}

TEST(ParameterScheduling, ScheduleAppliesImmediatesAndKeepsEveryEvent) {
    PassThroughUnit unit;
    unit.PostConstructor();
    EXPECT_EQ(unit.ScheduleParameter(nullptr, 0), noErr);
    EXPECT_EQ(unit.ScheduleParameter(nullptr, 3), paramErr);
    EXPECT_TRUE(unit.ScheduledEvents().empty());

    const AudioUnitParameterEvent batch[] = {
        Immediate(10, 0.5f),
        Ramp(0, 100, 0.0f, 1.0f, kOther),
        Immediate(0, 1.0f, kGain, kAudioUnitScope_Group),  // refused with a status: still kept
        Immediate(20, 0.75f, kGain, 9),                    // throws: ends the call
        Immediate(30, 0.9f),
    };
    EXPECT_EQ(StatusOf([&] { unit.ScheduleParameter(batch, 5); }), kAudioUnitErr_InvalidScope);
    ASSERT_EQ(unit.ScheduledEvents().size(), 3u);
    EXPECT_EQ(unit.Globals()->GetParameter(kGain), 0.5f);
    EXPECT_EQ(StatusOf([&] { unit.Globals()->GetParameter(kOther); }),
              kAudioUnitErr_InvalidParameter)
        << "a ramp is not applied when scheduled";
}

TEST(ParameterScheduling, SlicesAtEventStartsAndRampEnds) {
    struct Case {
        const char* name;
        std::vector<AudioUnitParameterEvent> events;
        std::vector<Cut> cuts;
    };
    const std::vector<Case> cases = {
        {"immediate at 100", {Immediate(100, 1.0f)}, {{0, 100}, {100, 412}}},
        {"ramp at 100 for 200", {Ramp(100, 200, 0, 1)}, {{0, 100}, {100, 200}, {300, 212}}},
        {"ramp from -50 for 100", {Ramp(-50, 100, 0, 1)}, {{0, 50}, {50, 462}}},
        {"ramp that ended", {Ramp(-300, 100, 0, 1)}, {{0, 512}}},
        {"immediates at 200 and 0", {Immediate(200, 2), Immediate(0, 1)}, {{0, 200}, {200, 312}}},
        {"offsets at and beyond the end", {Immediate(512, 1), Immediate(600, 1)}, {{0, 512}}},
        {"ramp beyond the end", {Ramp(400, 1000, 0, 1)}, {{0, 400}, {400, 112}}},
        {"offsets sorted as signed",
         {Immediate(300, 3), Ramp(-20, 40, 0, 1, kOther), Immediate(100, 1)},
         {{0, 20}, {20, 80}, {100, 200}, {300, 212}}},
        {"ramp inside ramp",
         {Ramp(10, 100, 0, 1), Ramp(20, 10, 0, 1, kOther)},
         {{0, 10}, {10, 10}, {20, 10}, {30, 80}, {110, 402}}},
    };
    for (const Case& c : cases) {
        SliceRecorder unit;
        EXPECT_EQ(unit.Slice512(c.events), noErr) << c.name;
        EXPECT_EQ(Cuts(unit.slices), c.cuts) << c.name;
        for (const Slice& s : unit.slices) EXPECT_EQ(s.total, 512u) << c.name;
    }
}

TEST(ParameterScheduling, EachEventReachesItsElementOnlyInTheSlicesWhereItHolds) {
    SliceRecorder ramp;  // a ramp in the middle: the record is set up for slice 2 only
    ramp.Slice512({Ramp(100, 200, 0.0f, 1.0f)});
    ASSERT_EQ(ramp.slices.size(), 3u);
    EXPECT_FALSE(ramp.slices[0].hasGain);
    EXPECT_EQ(ramp.slices[1].eventType, UInt32(kParameterEvent_Ramped));
    EXPECT_EQ(ramp.slices[1].bufferOffset, 0);
    EXPECT_EQ(ramp.slices[1].sliceDuration, 200u);
    EXPECT_EQ(ramp.slices[2].sliceDuration, 200u) << "not given again in slice 3";

    SliceRecorder early;  // a ramp that began before the buffer holds in the first slice
    early.Slice512({Ramp(-50, 100, 0.0f, 1.0f)});
    ASSERT_EQ(early.slices.size(), 2u);
    EXPECT_EQ(early.slices[0].bufferOffset, -50);
    EXPECT_EQ(early.slices[0].sliceDuration, 50u);

    SliceRecorder two;  // immediates at 0 and 200: both hold later, in sorted order
    two.Slice512({Immediate(200, 2.0f), Immediate(0, 1.0f), Immediate(512, 9.0f)});
    ASSERT_EQ(two.slices.size(), 2u);
    EXPECT_EQ(two.slices[0].value, 1.0f);
    EXPECT_EQ(two.slices[1].value, 2.0f) << "an event at the end is not applied while slicing";
}

}  // namespace
