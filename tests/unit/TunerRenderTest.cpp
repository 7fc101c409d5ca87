// The tuner rendering as a host drives it: formats, initialisation, a tone played through an
// input callback (or a connected tuner) in 512-frame blocks, the analysis read back.

#include <gtest/gtest.h>

#include <cmath>

#include "format/AudioUnitConnection.h"
#include "format/AudioUnitParameterEvent.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/LockCounter.h"
#include "tests/unit/TunerHost.h"

namespace marvex::test {
namespace {

constexpr double kRate = 44100.0;
constexpr std::size_t kHalfSecond = 22050;

// A steady 440 Hz tone at the default reference: bin 48, and whole periods pair up, so the
// estimate lands within a few hundredths of a hertz (tolerances below leave room).
void ExpectA440(AudioUnitHandle& unit) {
    EXPECT_EQ(Parameter(unit, kParam_Note), 48.0f);
    EXPECT_NEAR(Parameter(unit, kParam_Frequency), 440.0f, 0.5f);
    EXPECT_EQ(Parameter(unit, kParam_CentralFrequency), 440.0f);
    EXPECT_NEAR(Parameter(unit, kParam_Deviation), 0.0f, 0.02f);
}

// A tuner with `channels` channels, fed by `source` (one 440 Hz sine per channel, at
// different levels), switches set, initialised.
AudioUnitHandle Prepared(SignalSource& source, UInt32 channels, bool inPlace = true,
                         bool bypass = false) {
    AudioUnitHandle unit = OpenTuner();
    const UInt32 inPlaceValue = inPlace, bypassValue = bypass;
    for (UInt32 c = 0; c < channels; ++c)
        source.channels.push_back(Sine(440.0, kRate, kHalfSecond, 0.5 - 0.2 * c));
    // -1 is no estimate's result, so a unit that never published shows.
    if (!unit || SetFormats(unit, channels, kRate) ||
        unit.SetProperty(kAudioUnitProperty_InPlaceProcessing, 0, 0, inPlaceValue) ||
        unit.SetProperty(kAudioUnitProperty_BypassEffect, 0, 0, bypassValue) ||
        unit.SetParameter(kParam_Frequency, 0, 0, -1.0f) || source.AttachTo(unit) ||
        unit.Initialize())
        return AudioUnitHandle();
    return unit;
}

TEST(TunerRender, PassesA440ThroughAndFindsIt) {
    for (UInt32 channels : {1u, 2u}) {
        for (bool inPlace : {true, false}) {
            for (bool bypass : {false, true}) {
                SCOPED_TRACE(testing::Message() << channels << " channels, in place " << inPlace
                                                << ", bypassed " << bypass);
                SignalSource source;
                AudioUnitHandle unit = Prepared(source, channels, inPlace, bypass);
                ASSERT_TRUE(unit);
                std::vector<std::vector<float>> out(channels);
                ASSERT_EQ(RenderBlocks(unit, out, kHalfSecond, 512), noErr);
                for (UInt32 c = 0; c < channels; ++c) EXPECT_EQ(out[c], source.channels[c]);
                if (bypass)
                    EXPECT_EQ(Parameter(unit, kParam_Frequency), -1.0f) << "kernels ran";
                else
                    ExpectA440(unit);
            }
        }
    }
}

// What the kernels publish: every channel writes the same parameters, so the last channel's
// findings remain; a pitch in bin 0 comes without a note and a lower band edge, which keep
// their values; Pitch is read when the kernels are built, at initialisation.
TEST(TunerRender, PublishesTheLastChannelsFindingsAtTheInitialisedPitch) {
    struct Case {
        std::vector<double> tones;  // one per channel
        float note, centralHz;      // -7: kept its earlier value
    };
    const Case cases[] = {
        {{440.0, 220.0}, 36.0f, 220.0f}, {{220.0, 440.0}, 48.0f, 440.0f}, {{27.3}, -7.0f, 27.5f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tones.size() << " channels, last " << c.tones.back());
        AudioUnitHandle unit = OpenTuner();
        SignalSource source;
        for (double hz : c.tones) source.channels.push_back(Sine(hz, kRate, 2 * kHalfSecond));
        const auto channels = UInt32(c.tones.size());
        ASSERT_TRUE(unit && !SetFormats(unit, channels, kRate) && !source.AttachTo(unit) &&
                    !unit.SetParameter(kParam_Note, 0, 0, -7.0f) &&
                    !unit.SetParameter(kParam_LowerFrequency, 0, 0, -7.0f) && !unit.Initialize());
        // Too late for these kernels.
        ASSERT_EQ(unit.SetParameter(kParam_Pitch, 0, 0, 415.0f), noErr);
        std::vector<std::vector<float>> out(channels);
        // Whole blocks: in the last one every channel of the two-channel cases publishes.
        ASSERT_EQ(RenderBlocks(unit, out, 80 * 512, 512), noErr);
        EXPECT_EQ(Parameter(unit, kParam_Note), c.note);
        EXPECT_NEAR(Parameter(unit, kParam_CentralFrequency), c.centralHz, 1e-3f);
        EXPECT_NEAR(Parameter(unit, kParam_Frequency), c.tones.back(), 0.1);
        if (c.note < 0) {
            EXPECT_EQ(Parameter(unit, kParam_LowerFrequency), -7.0f);
            continue;
        }
        // Initialised again, the kernels take the new Pitch: the tone is a semitone above a bin
        // centre of 415 Hz's grid.
        ASSERT_EQ(unit.Uninitialize(), noErr);
        ASSERT_EQ(unit.Initialize(), noErr);
        ASSERT_EQ(RenderBlocks(unit, out, 40 * 512, 512), noErr);
        EXPECT_EQ(Parameter(unit, kParam_Note), c.note + 1.0f);
        EXPECT_NEAR(Parameter(unit, kParam_CentralFrequency),
                    415.0 * std::pow(2.0, (c.note + 1.0 - 48.0) / 12.0), 1e-3);
    }
}

// A host's list states byte sizes left from an earlier render, or none that fit: they are no
// limit. Success means every frame asked for handed over, sized, and analysed; what cannot be
// delivered fails with its status, kept as the last render error.
TEST(TunerRender, HandsOverEveryFrameAskedForOrFails) {
    struct Row {
        const char* what;
        bool inPlace;
        UInt32 warmUpFrames, statedBytes, buffers, frames;
        bool secondNull;
        OSStatus status;
    };
    const Row rows[] = {
        {"reused after a shorter render, in place", true, 100, 400, 2, 700, false, noErr},
        {"reused after a shorter render, copied", false, 100, 400, 2, 700, false, noErr},
        {"stated size short, in place", true, 0, 40, 2, 512, false, noErr},
        // What parameter_events_fuzzer found: the channel was skipped, zeroed, and succeeded.
        {"stated size short, copied", false, 0, 40, 2, 512, false, noErr},
        {"a null buffer to copy into", false, 0, 2048, 2, 512, true, paramErr},
        {"fewer buffers than channels", true, 0, 2048, 1, 512, false, paramErr},
        {"more frames than a slice", true, 0, 2048, 2, 1157, false,
         kAudioUnitErr_TooManyFramesToProcess},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SignalSource source;
        AudioUnitHandle unit = Prepared(source, 2, row.inPlace);
        ASSERT_TRUE(unit);
        std::vector<std::vector<float>> out(2, std::vector<float>(row.frames, 9.0f));
        BufferList list(row.buffers);
        for (UInt32 c = 0; c < row.buffers; ++c)
            list[c] = AudioBuffer{1, row.statedBytes, out[c].data()};
        if (row.secondNull) list[1].mData = nullptr;
        AudioTimeStamp time{};
        AudioUnitRenderActionFlags flags = 0;
        if (row.warmUpFrames > 0) {
            ASSERT_EQ(unit.Render(&flags, time, 0, row.warmUpFrames, list.list()), noErr);
        }
        ASSERT_EQ(Parameter(unit, kParam_Frequency), -1.0f);
        time.mSampleTime = row.warmUpFrames;
        const OSStatus status = unit.Render(&flags, time, 0, row.frames, list.list());
        EXPECT_EQ(status, row.status);
        OSStatus lastError = noErr;
        ASSERT_EQ(unit.GetProperty(kAudioUnitProperty_LastRenderError, 0, 0, lastError), noErr);
        EXPECT_EQ(lastError, row.status);
        if (row.status != noErr) continue;
        for (UInt32 c = 0; c < 2; ++c) {
            EXPECT_EQ(list[c].mDataByteSize, row.frames * 4);
            const auto& played = source.channels[c];
            EXPECT_TRUE(
                std::equal(out[c].begin(), out[c].end(), played.begin() + row.warmUpFrames));
        }
        EXPECT_NE(Parameter(unit, kParam_Frequency), -1.0f) << "the analysis did not run";
    }
}

// The tuner takes as many channels out as in; a refused initialisation leaves it uninitialised.
TEST(TunerRender, RefusesUnequalChannelCounts) {
    AudioUnitHandle unit = OpenTuner();
    ASSERT_TRUE(unit);
    ASSERT_EQ(unit.SetProperty(kAudioUnitProperty_StreamFormat, 1, 0, CanonicalFormat(1, kRate)),
              noErr);
    EXPECT_EQ(unit.Initialize(), kAudioUnitErr_FormatNotSupported);
    std::vector<std::vector<float>> out(2);
    EXPECT_EQ(RenderInto(unit, out, 0, 512), kAudioUnitErr_Uninitialized);
    ASSERT_EQ(SetFormats(unit, 2, kRate), noErr);
    EXPECT_EQ(unit.Initialize(), noErr);
}

TEST(TunerRender, SecondTunerRendersFromTheFirst) {
    SignalSource source;
    AudioUnitHandle first = Prepared(source, 2);
    AudioUnitHandle second = OpenTuner();
    ASSERT_TRUE(first && second);
    const AudioUnitConnection connection{first.Get(), 0, 0};
    ASSERT_EQ(second.SetProperty(kAudioUnitProperty_MakeConnection, 1, 0, connection), noErr);
    ASSERT_EQ(second.SetParameter(kParam_Frequency, 0, 0, -1.0f), noErr);
    ASSERT_EQ(second.Initialize(), noErr);

    std::vector<std::vector<float>> out(2);
    ASSERT_EQ(RenderBlocks(second, out, kHalfSecond, 512), noErr);
    EXPECT_EQ(out[0], source.channels[0]);
    EXPECT_EQ(out[1], source.channels[1]);
    EXPECT_EQ(source.calls, (kHalfSecond + 511) / 512) << "one pull of the first per block";
    ExpectA440(first);
    ExpectA440(second);

    const AudioUnitConnection none{nullptr, 0, 0};
    ASSERT_EQ(second.SetProperty(kAudioUnitProperty_MakeConnection, 1, 0, none), noErr);
    EXPECT_EQ(RenderInto(second, out, kHalfSecond, 512), kAudioUnitErr_NoConnection);
}

// Precision steps through 1..4, changing at frame 200 of every fourth block: the analysis stays
// right, and once running no block allocates or takes a lock.
TEST(TunerRender, PrecisionChangedMidBlockRendersRightWithoutAllocatingOrLocking) {
    SignalSource source;
    std::size_t allocations = 0, locks = 0;
    AudioUnitHandle unit;
    {
        CountAllocations counter;
        CountLocks lockCounter;
        unit = Prepared(source, 2);
        allocations = counter.count();
        locks = lockCounter.count();
    }
    ASSERT_TRUE(unit);
    ASSERT_GT(allocations, 0u) << "the counter must see the module's allocations";
    ASSERT_GT(locks, 0u) << "the counter must see locks taken in the shared libraries";
    allocations = locks = 0;
    std::vector<std::vector<float>> out(2, std::vector<float>(kHalfSecond));
    BufferList list(2);
    float lastPrecision = 2.0f;
    for (std::size_t at = 0, block = 0; at < kHalfSecond; at += 512, ++block) {
        if (block % 4 == 1) {
            AudioUnitParameterEvent event{};
            event.parameter = kParam_Precision;
            event.eventType = kParameterEvent_Immediate;
            lastPrecision = float(1 + (block / 4) % 4);
            event.eventValues.immediate = {200, lastPrecision};
            ASSERT_EQ(unit.ScheduleParameters(&event, 1), noErr);
        }
        const auto frames = UInt32(std::min<std::size_t>(512, kHalfSecond - at));
        for (UInt32 c = 0; c < 2; ++c) list[c] = AudioBuffer{1, frames * 4, out[c].data() + at};
        AudioTimeStamp time{};
        time.mSampleTime = Float64(at);
        AudioUnitRenderActionFlags flags = 0;
        OSStatus status = noErr;
        {
            CountAllocations counter;
            CountLocks lockCounter;
            status = unit.Render(&flags, time, 0, frames, list.list());
            if (block > 0) {  // the first render may set up what rendering needs
                allocations += counter.count();
                locks += lockCounter.count();
            }
        }
        ASSERT_EQ(status, noErr) << "block " << block;
    }
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(locks, 0u);
    EXPECT_EQ(out, source.channels);
    EXPECT_EQ(Parameter(unit, kParam_Precision), lastPrecision);
    ExpectA440(unit);
}

}  // namespace
}  // namespace marvex::test
