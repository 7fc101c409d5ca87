// The effect base with kernels that record what they are given: channel configurations, bypass,
// slices and lists that disagree with the kernels.

#include <gtest/gtest.h>

#include <vector>

#include "effect/AUEffectBase.h"
#include "effect/AUKernelBase.h"
#include "format/AudioUnitParameterEvent.h"

namespace {

struct KernelCall {
    const float* source;
    UInt32 frames;
};

// Copies its channel and records every call.
class RecordingKernel : public AUKernelBase {
public:
    explicit RecordingKernel(AUEffectBase* owner) : AUKernelBase(owner) { calls.reserve(16); }
    void Reset() override { ++resets; }
    void Process(const float* source, float* destination, std::uint32_t frames,
                 std::uint32_t stride, bool&) override {
        calls.push_back({source, frames});
        for (std::uint32_t i = 0; i < frames; ++i) destination[i * stride] = source[i * stride];
    }
    std::vector<KernelCall> calls;
    int resets = 0;
};

class TestEffect : public AUEffectBase {
public:
    explicit TestEffect(UInt32 in = 1, UInt32 out = 1) : AUEffectBase(nullptr, false) {
        CreateElements();
        Globals()->UseIndexedParameters(2);
        CAStreamBasicDescription format;
        format.SetCanonical(in, false);
        GetInput(0)->SetStreamFormat(format);
        format.SetCanonical(out, false);
        GetOutput(0)->SetStreamFormat(format);
        SetInputCallback(kAudioUnitProperty_SetRenderCallback, 0, &Input, this);
    }
    UInt32 SupportedNumChannels(const AUChannelInfo** outInfo) override {
        if (outInfo) *outInfo = table.data();
        return static_cast<UInt32>(table.size());
    }
    AUKernelBase* NewKernel() override { return new RecordingKernel(this); }
    RecordingKernel& Kernel(std::size_t c) {
        return *static_cast<RecordingKernel*>(GetKernelList().at(c));
    }

    // [render] Buffer b holds b * 1000 + frame.
    static OSStatus Input(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                          UInt32 frames, AudioBufferList* io) {
        for (UInt32 b = 0; b < io->mNumberBuffers; ++b)
            for (UInt32 i = 0; i < frames; ++i)
                static_cast<float*>(io->mBuffers[b].mData)[i] = b * 1000.0f + i;
        return noErr;
    }

    std::vector<AUChannelInfo> table;
};

TEST(EffectChannels, ConfigurationsDecideAndKernelsFollow) {
    const struct {
        std::vector<AUChannelInfo> table;
        UInt32 in, out;
        bool accepted;
    } cases[] = {
        {{}, 2, 2, true},
        {{}, 0, 0, false},
        {{{-1, 2}}, 5, 2, true},
        // 65538 would pass for 2 once cut to the table's 16 bits.
        {{}, 2, 65538, false},
    };
    for (const auto& c : cases) {
        TestEffect unit(c.in, c.out);
        unit.table = c.table;
        EXPECT_EQ(unit.DoInitialize(), c.accepted ? noErr : kAudioUnitErr_FormatNotSupported)
            << c.in << " in, " << c.out << " out, " << c.table.size() << " entries";
        EXPECT_EQ(unit.GetKernelList().size(), c.accepted ? c.out : 0u);
    }
}

TEST(EffectRender, ScheduledSlicesWalkThePointersAndPutThemBack) {
    TestEffect unit;
    ASSERT_EQ(unit.DoInitialize(), noErr);
    AudioUnitParameterEvent event{kAudioUnitScope_Global, 0, 1, kParameterEvent_Immediate, {}};
    event.eventValues.immediate = {128, 0.5f};
    ASSERT_EQ(unit.ScheduleParameter(&event, 1), noErr);
    std::vector<float> out(512);
    AudioBufferList host{1, {{1, 512 * 4, out.data()}}};
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(unit.DoRender(flags, AudioTimeStamp{}, 0, 512, host), noErr);

    const auto& calls = unit.Kernel(0).calls;
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].frames, 384u);
    EXPECT_EQ(calls[1].source, calls[0].source + 128);
    EXPECT_EQ(out[300], 300.0f);
    // Back at the start, sized for the whole render.
    const AudioBufferList& pulled = unit.GetInput(0)->GetBufferList();
    EXPECT_EQ(pulled.mBuffers[0].mData, calls[0].source);
    EXPECT_EQ(pulled.mBuffers[0].mDataByteSize, 512u * 4);
}

TEST(EffectStereo, BypassOffResetsKernelsAndListsMustServeEveryKernel) {
    TestEffect unit(2, 2);
    ASSERT_EQ(unit.DoInitialize(), noErr);
    auto bypass = [&](UInt32 on) {
        return unit.SetProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &on, 4);
    };
    ASSERT_EQ(bypass(1), noErr);
    EXPECT_EQ(unit.Kernel(0).resets, 0);
    ASSERT_EQ(bypass(0), noErr);
    EXPECT_EQ(unit.Kernel(0).resets + unit.Kernel(1).resets, 2);

    AudioUnitRenderActionFlags flags = 0;
    std::vector<float> in(64), out(64);
    // Interleaved pairs serve both kernels; one mono buffer does not.
    AudioBufferList pair{1, {{2, 256, in.data()}}}, pairOut{1, {{2, 256, out.data()}}},
        mono{1, {{1, 256, in.data()}}};
    ASSERT_EQ(unit.ProcessBufferLists(flags, pair, pairOut, 32), noErr);
    // A buffer short of the frames, or a channel without a buffer, fails before any kernel runs.
    EXPECT_EQ(unit.ProcessBufferLists(flags, pair, pairOut, 33), paramErr);
    EXPECT_EQ(unit.ProcessBufferLists(flags, mono, pairOut, 32), paramErr);
    EXPECT_EQ(unit.Kernel(0).calls.size(), 1u);
}

}  // namespace
