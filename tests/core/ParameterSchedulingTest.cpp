#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "tests/core/PassThroughUnit.h"

namespace {

using marvex::test::PassThroughUnit;

constexpr AudioUnitParameterID kGain = 7, kOther = 8;

AudioUnitParameterEvent Immediate(UInt32 offset, float value) {
    AudioUnitParameterEvent e{kAudioUnitScope_Global, 0, kGain, kParameterEvent_Immediate, {}};
    e.eventValues.immediate = {offset, value};
    return e;
}

AudioUnitParameterEvent Ramp(SInt32 start, UInt32 duration, AudioUnitParameterID id = kGain) {
    AudioUnitParameterEvent e{kAudioUnitScope_Global, 0, id, kParameterEvent_Ramped, {}};
    e.eventValues.ramp = {start, duration, 0.0f, 1.0f};
    return e;
}

// What the global element held for kGain when each slice was processed.
struct Slice {
    UInt32 start, frames;
    std::optional<ParameterMapEvent> gain;
};

class SliceRecorder : public PassThroughUnit {
public:
    explicit SliceRecorder(std::vector<AudioUnitParameterEvent> events) {
        PostConstructor();
        EXPECT_EQ(ProcessForScheduledParams(events, 512, this), noErr);
    }
    OSStatus ProcessScheduledSlice(void* userData, UInt32 start, UInt32 frames,
                                   UInt32 total) override {
        EXPECT_EQ(userData, this);
        EXPECT_EQ(total, 512u);
        Slice s{start, frames, std::nullopt};
        try {
            s.gain = Globals()->GetParamEvent(kGain);
        } catch (OSStatus) {  // not set yet
        }
        slices.push_back(s);
        return noErr;
    }
    std::vector<Slice> slices;
};

TEST(ParameterScheduling, SlicesAtEventStartsAndRampEnds) {
    using Cuts = std::vector<std::pair<UInt32, UInt32>>;
    const struct {
        const char* name;
        std::vector<AudioUnitParameterEvent> events;
        Cuts cuts;
    } cases[] = {
        {"offsets sorted as signed",
         {Immediate(300, 3), Ramp(-20, 40, kOther), Immediate(100, 1)},
         {{0, 20}, {20, 80}, {100, 200}, {300, 212}}},
        {"ramp inside ramp",
         {Ramp(10, 100), Ramp(20, 10, kOther)},
         {{0, 10}, {10, 10}, {20, 10}, {30, 80}, {110, 402}}},
    };
    for (const auto& c : cases) {
        Cuts cuts;
        for (const Slice& s : SliceRecorder(c.events).slices) cuts.emplace_back(s.start, s.frames);
        EXPECT_EQ(cuts, c.cuts) << c.name;
    }
}

TEST(ParameterScheduling, EachEventReachesItsElementOnlyInTheSlicesWhereItHolds) {
    SliceRecorder ramp({Ramp(100, 200)});  // set up for slice 2 only, not given again in slice 3
    ASSERT_EQ(ramp.slices.size(), 3u);
    EXPECT_FALSE(ramp.slices[0].gain);
    EXPECT_EQ(ramp.slices[1].gain.value().GetBufferOffset(), 0);
    EXPECT_EQ(ramp.slices[1].gain.value().GetSliceDurationFrames(), 200u);
    EXPECT_EQ(ramp.slices[2].gain.value().GetSliceDurationFrames(), 200u);

    // Immediates at 0 and 200 hold from their slice's first frame on, in sorted order.
    SliceRecorder two({Immediate(200, 2.0f), Immediate(0, 1.0f), Immediate(512, 9.0f)});
    ASSERT_EQ(two.slices.size(), 2u);
    EXPECT_EQ(two.slices[0].gain.value().GetValue(), 1.0f);
    EXPECT_EQ(two.slices[1].gain.value().GetValue(), 2.0f) << "an event at the end is not applied";
}

}  // namespace
