// The tuner rendering as a host drives it: formats, initialisation, a tone played through an
// input callback in 512-frame blocks, the analysis read back. (That rendering allocates nothing
// and takes no lock is checked through the LV2 plug-in, which renders the same unit.)

#include <gtest/gtest.h>

#include <algorithm>

#include "format/AudioUnitConnection.h"
#include "tests/unit/TunerHost.h"

namespace marvex::test {
namespace {

constexpr double kRate = 44100.0;
constexpr std::size_t kHalfSecond = 22050;

// A two-channel tuner rendering out of place, fed by `source` (one 440 Hz sine per channel, at
// different levels), initialised.
AudioUnitHandle Prepared(SignalSource& source) {
    AudioUnitHandle unit = OpenTuner();
    const UInt32 outOfPlace = 0;
    for (double amplitude : {0.5, 0.3})
        source.channels.push_back(sine(440.0, kRate, kHalfSecond, amplitude));
    // -1 is no estimate's result, so a unit that never published shows.
    if (!unit || SetFormats(unit, 2, kRate) ||
        unit.SetProperty(kAudioUnitProperty_InPlaceProcessing, 0, 0, outOfPlace) ||
        unit.SetParameter(kParam_Frequency, 0, 0, -1.0f) || source.AttachTo(unit) ||
        unit.Initialize())
        return AudioUnitHandle();
    return unit;
}

// A host's chain: the second tuner pulls the first's output once a block, in place, where the
// first renders out of place. A steady 440 Hz tone at the default reference is bin 48, and whole
// periods pair up, so both estimates land within a few hundredths of a hertz.
TEST(TunerRender, PassesA440ThroughAChainAndBothFindIt) {
    SignalSource source;
    AudioUnitHandle first = Prepared(source);
    AudioUnitHandle second = OpenTuner();
    ASSERT_TRUE(first && second);
    const AudioUnitConnection connection{first.Get(), 0, 0};
    ASSERT_EQ(second.SetProperty(kAudioUnitProperty_MakeConnection, 1, 0, connection), noErr);
    ASSERT_EQ(second.SetParameter(kParam_Frequency, 0, 0, -1.0f), noErr);
    ASSERT_EQ(second.Initialize(), noErr);
    std::vector<std::vector<float>> out(2);
    ASSERT_EQ(RenderBlocks(second, out, kHalfSecond, 512), noErr);
    EXPECT_EQ(out, source.channels);
    for (AudioUnitHandle* unit : {&first, &second}) {
        EXPECT_EQ(Parameter(*unit, kParam_Note), 48.0f);
        EXPECT_NEAR(Parameter(*unit, kParam_Frequency), 440.0f, 0.5f);
    }
    EXPECT_EQ(Parameter(second, kParam_CentralFrequency), 440.0f);
    EXPECT_NEAR(Parameter(second, kParam_Deviation), 0.0f, 0.02f);
}

// What the kernels publish: every channel writes the same parameters, so the last channel's
// findings remain; a pitch in bin 0 comes without a note and a lower band edge, which keep
// their values.
TEST(TunerRender, PublishesTheLastChannelsFindings) {
    struct Case {
        std::vector<double> tones;  // one per channel
        float note, centralHz;      // -7: kept its earlier value
    };
    const Case cases[] = {{{220.0, 440.0}, 48.0f, 440.0f}, {{27.3}, -7.0f, 27.5f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tones.size() << " channels, last " << c.tones.back());
        AudioUnitHandle unit = OpenTuner();
        SignalSource source;
        for (double hz : c.tones) source.channels.push_back(sine(hz, kRate, 2 * kHalfSecond));
        const auto channels = UInt32(c.tones.size());
        ASSERT_TRUE(unit && !SetFormats(unit, channels, kRate) && !source.AttachTo(unit) &&
                    !unit.SetParameter(kParam_Note, 0, 0, -7.0f) &&
                    !unit.SetParameter(kParam_LowerFrequency, 0, 0, -7.0f) && !unit.Initialize());
        std::vector<std::vector<float>> out(channels);
        // Whole blocks: in the last one every channel of the two-channel cases publishes.
        ASSERT_EQ(RenderBlocks(unit, out, 80 * 512, 512), noErr);
        EXPECT_EQ(Parameter(unit, kParam_Note), c.note);
        EXPECT_NEAR(Parameter(unit, kParam_CentralFrequency), c.centralHz, 1e-3f);
        EXPECT_NEAR(Parameter(unit, kParam_Frequency), c.tones.back(), 0.1);
        EXPECT_EQ(Parameter(unit, kParam_LowerFrequency) == -7.0f, c.note < 0);
    }
}

// A host's list may state byte sizes left from an earlier, shorter render: they are no limit.
// Every frame asked for is handed over, sized, and analysed (a fuzzer found the
// copied channel skipped, zeroed, and the render reported as a success).
TEST(TunerRender, HandsOverEveryFrameWhateverSizesTheListStates) {
    SignalSource source;
    AudioUnitHandle unit = Prepared(source);
    ASSERT_TRUE(unit);
    std::vector<std::vector<float>> out(2, std::vector<float>(512, 9.0f));
    HostBufferList list(2, 0, false);
    for (UInt32 c = 0; c < 2; ++c) list[c] = AudioBuffer{1, 40, out[c].data()};
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(unit.Render(&flags, AudioTimeStamp{}, 0, 512, &list.get()), noErr);
    for (UInt32 c = 0; c < 2; ++c) {
        EXPECT_EQ(list[c].mDataByteSize, 512u * 4);
        EXPECT_TRUE(std::equal(out[c].begin(), out[c].end(), source.channels[c].begin()));
    }
    EXPECT_NE(Parameter(unit, kParam_Frequency), -1.0f) << "the analysis did not run";
}

}  // namespace
}  // namespace marvex::test
