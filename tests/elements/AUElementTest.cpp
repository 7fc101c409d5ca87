#include "elements/AUElement.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/elements/TestUnit.h"

namespace {

using marvex::test::ThrownStatus;
using Bytes = std::vector<UInt8>;

AudioUnitParameterEvent Ramp(SInt32 startOffset, UInt32 duration, float from, float to) {
    AudioUnitParameterEvent event{};
    event.eventType = kParameterEvent_Ramped;
    event.eventValues.ramp = {startOffset, duration, from, to};
    return event;
}

Bytes Saved(const AUElement& element) {
    CFMutableDataRef data = CFDataCreateMutable(kCFAllocatorDefault, 0);
    element.SaveState(data);
    Bytes out(CFDataGetBytePtr(data), CFDataGetBytePtr(data) + CFDataGetLength(data));
    CFRelease(data);
    return out;
}

TEST(ParameterStore, KeyedIdsComeIntoBeingBySettingAndSaveAscending) {
    AUElement element(nullptr);
    EXPECT_EQ(Saved(element), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(ThrownStatus([&] { element.GetParameter(1); }), kAudioUnitErr_InvalidParameter);
    element.SetParameter(1, 1.0f);
    EXPECT_EQ(Saved(element), (Bytes{0, 0, 0, 1, 0, 0, 0, 1, 0x3F, 0x80, 0, 0}));

    // Ascending ids whatever the order of setting; a ramp saves its start value.
    element.SetParameter(0x01020304, -2.0f);
    element.SetScheduledEvent(0, Ramp(0, 8, 0.5f, 1.0f), 0, 8);
    EXPECT_EQ(element.GetParameter(0), 0.5f);
    EXPECT_EQ(Saved(element), (Bytes{0, 0, 0,    3,    0, 0, 0, 0, 0x3F, 0, 0,    0, 0, 0,
                                     0, 1, 0x3F, 0x80, 0, 0, 1, 2, 3,    4, 0xC0, 0, 0, 0}));

    const Bytes blob = Saved(element);
    AUElement copy(nullptr);
    copy.SetParameter(9, 4.0f);
    EXPECT_EQ(copy.RestoreState(blob.data()), blob.data() + 28);
    EXPECT_EQ(copy.GetParameter(0x01020304), -2.0f);
    EXPECT_EQ(copy.GetParameter(9), 4.0f);  // ids the blob does not name are kept
}

// Restoring into an indexed table is covered by the saved-state suite's blob walk.
TEST(ParameterStore, IndexedTableKeepsValuesAcrossResizeAndRefusesIdsBeyondIt) {
    AUElement element(nullptr);
    element.UseIndexedParameters(2);
    element.SetParameter(1, 1.5f);
    EXPECT_EQ(element.GetParameter(0), 0.0f);
    EXPECT_EQ(ThrownStatus([&] { element.SetScheduledEvent(2, Ramp(0, 1, 0, 1), 0, 1); }),
              kAudioUnitErr_InvalidParameter);
    element.UseIndexedParameters(4);  // growing keeps the values below
    EXPECT_EQ(element.GetParameter(1), 1.5f);
    EXPECT_EQ(element.GetParameter(3), 0.0f);
}

TEST(RampQuery, GivesValuesAtTheSliceEdgesAndConstantsOtherwise) {
    AUElement element(nullptr);
    // 0 -> 1 over 100 frames from frame 22, seen from the 32-frame slice at frame 32.
    element.SetScheduledEvent(0, Ramp(22, 100, 0.0f, 1.0f), 32, 32);
    EXPECT_EQ(element.GetParamEvent(0).GetBufferOffset(), -10);
    float start, end, delta;
    element.GetRampSliceStartEnd(0, start, end, delta);
    EXPECT_FLOAT_EQ(delta, 0.01f);
    EXPECT_FLOAT_EQ(start, 0.1f);
    EXPECT_FLOAT_EQ(end, 0.42f);

    element.SetParameter(0, 0.6f);  // a constant again
    element.GetRampSliceStartEnd(0, start, end, delta);
    EXPECT_EQ((std::vector<float>{start, end, delta}), (std::vector<float>{0.6f, 0.6f, 0.0f}));

    // A ramp of no frames has arrived: no division by zero.
    element.SetScheduledEvent(0, Ramp(0, 0, 0.2f, 0.9f), 0, 16);
    element.GetRampSliceStartEnd(0, start, end, delta);
    EXPECT_EQ((std::vector<float>{start, end, delta}), (std::vector<float>{0.9f, 0.9f, 0.0f}));
}

}  // namespace
