#include "elements/AUElement.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/elements/TestUnit.h"

namespace {

AudioUnitParameterEvent Ramp(SInt32 startOffset, UInt32 duration, float from, float to) {
    AudioUnitParameterEvent event{};
    event.eventType = kParameterEvent_Ramped;
    event.eventValues.ramp = {startOffset, duration, from, to};
    return event;
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
