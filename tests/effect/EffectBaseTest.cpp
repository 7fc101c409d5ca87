// The effect base with kernels that record what they are given: channel configurations, the
// kernel array, bypass, slices, interleaving, silence and lists that disagree with the kernels.

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

// Copies its channel, records every call and optionally reports sound.
class RecordingKernel : public AUKernelBase {
public:
    explicit RecordingKernel(AUEffectBase* owner) : AUKernelBase(owner) { calls.reserve(16); }
    void Reset() override { ++resets; }
    void Process(const float* source, float* destination, std::uint32_t frames,
                 std::uint32_t stride, bool& silence) override {
        calls.push_back({source, frames});
        for (std::uint32_t i = 0; i < frames; ++i) destination[i * stride] = source[i * stride];
        if (makesSound) silence = false;
    }
    std::vector<KernelCall> calls;
    int resets = 0;
    bool makesSound = false;
};

class TestEffect : public AUEffectBase {
public:
    explicit TestEffect(UInt32 in = 1, UInt32 out = 1, bool inPlace = false)
        : AUEffectBase(nullptr, inPlace) {
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
    OSStatus ProcessBufferLists(AudioUnitRenderActionFlags& flags, const AudioBufferList& in,
                                AudioBufferList& out, UInt32 frames) override {
        if (++listCalls == failAtCall) return -333;
        return AUEffectBase::ProcessBufferLists(flags, in, out, frames);
    }
    RecordingKernel& Kernel(std::size_t c) {
        return *static_cast<RecordingKernel*>(GetKernelList().at(c));
    }

    // [render] Buffer b holds b * 1000 + frame; the input is marked silent when asked (the
    // samples stay, so that zeroing shows).
    static OSStatus Input(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp*,
                          UInt32, UInt32 frames, AudioBufferList* io) {
        const bool silent = static_cast<TestEffect*>(refCon)->silentInput;
        for (UInt32 b = 0; b < io->mNumberBuffers; ++b)
            for (UInt32 i = 0; i < frames; ++i)
                static_cast<float*>(io->mBuffers[b].mData)[i] = b * 1000.0f + i;
        if (silent) *flags |= kAudioUnitRenderAction_OutputIsSilence;
        return noErr;
    }

    std::vector<AUChannelInfo> table;
    bool silentInput = false;
    int listCalls = 0;
    int failAtCall = 0;
};

// A buffer list of any length over its own storage.
class ListOf {
public:
    ListOf(std::initializer_list<AudioBuffer> buffers) : mWords(2 + 2 * buffers.size()) {
        list().mNumberBuffers = static_cast<UInt32>(buffers.size());
        UInt32 i = 0;
        for (const AudioBuffer& buffer : buffers) list().mBuffers[i++] = buffer;
    }
    AudioBufferList& list() { return *reinterpret_cast<AudioBufferList*>(mWords.data()); }

private:
    std::vector<std::uint64_t> mWords;
};

OSStatus Render(TestEffect& unit, std::vector<float>& out, Float64 time,
                AudioUnitRenderActionFlags& flags) {
    ListOf host{{1, UInt32(out.size() * 4), out.data()}};
    AudioTimeStamp stamp{};
    stamp.mSampleTime = time;
    flags = 0;
    return unit.DoRender(flags, stamp, 0, UInt32(out.size()), host.list());
}

TEST(EffectChannels, ConfigurationsDecideAndKernelsFollow) {
    const struct {
        std::vector<AUChannelInfo> table;
        UInt32 in, out;
        bool accepted;
    } cases[] = {
        {{}, 2, 2, true},
        {{}, 1, 2, false},
        {{}, 0, 0, false},
        {{{-1, -1}}, 3, 3, true},
        {{{-1, -1}}, 2, 3, false},
        {{{-1, 2}}, 5, 2, true},
        {{{-1, 2}}, 1, 1, false},
        {{{-1, -2}}, 1, 3, true},
        {{{-2, -1}}, 4, 1, true},
        {{{-3, -3}}, 2, 2, false},
        {{{1, 1}, {2, -1}}, 2, 6, true},
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

    // Kernels are made once per channel and live until the clean-up.
    TestEffect unit(2, 2);
    ASSERT_EQ(unit.DoInitialize(), noErr);
    EXPECT_TRUE(unit.Kernel(1).IsLastKernel() && !unit.Kernel(0).IsLastKernel());
    const std::vector<AUKernelBase*> first = unit.GetKernelList();
    ASSERT_EQ(unit.Initialize(), noErr);
    EXPECT_EQ(unit.GetKernelList(), first);
    unit.DoCleanup();
    EXPECT_TRUE(unit.GetKernelList().empty());
}

TEST(EffectSwitches, BypassOffResetsKernelsOnSwitchingBack) {
    TestEffect unit(2, 2);
    ASSERT_EQ(unit.DoInitialize(), noErr);
    auto bypass = [&](UInt32 on, UInt32 size = 4) {
        return unit.SetProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &on,
                                size);
    };
    EXPECT_EQ(bypass(1, 2), kAudioUnitErr_InvalidPropertyValue);
    ASSERT_EQ(bypass(1), noErr);
    EXPECT_EQ(unit.Kernel(0).resets, 0);
    ASSERT_EQ(bypass(0), noErr);
    EXPECT_EQ(unit.Kernel(0).resets + unit.Kernel(1).resets, 2);
}

TEST(EffectRender, ScheduledSlicesWalkThePointersAndPutThemBack) {
    for (int failAt : {0, 2}) {
        SCOPED_TRACE(failAt ? "second slice fails" : "all slices succeed");
        TestEffect unit;
        ASSERT_EQ(unit.DoInitialize(), noErr);
        AudioUnitParameterEvent event{};
        event.parameter = 1;
        event.eventType = kParameterEvent_Immediate;
        event.eventValues.immediate = {128, 0.5f};
        ASSERT_EQ(unit.ScheduleParameter(&event, 1), noErr);
        unit.failAtCall = failAt;
        std::vector<float> out(512);
        AudioUnitRenderActionFlags flags;
        ASSERT_EQ(Render(unit, out, 0, flags), failAt ? -333 : noErr);

        const auto& calls = unit.Kernel(0).calls;
        ASSERT_EQ(calls.size(), failAt ? 1u : 2u);
        EXPECT_EQ(calls[0].frames, 128u);
        if (!failAt) {
            EXPECT_EQ(calls[1].frames, 384u);
            EXPECT_EQ(calls[1].source, calls[0].source + 128);
            EXPECT_EQ(out[300], 300.0f);
        }
        // Back at the start, sized for the whole render, also after a failed slice.
        const AudioBufferList& pulled = unit.GetInput(0)->GetBufferList();
        EXPECT_EQ(pulled.mBuffers[0].mData, calls[0].source);
        EXPECT_EQ(pulled.mBuffers[0].mDataByteSize, 512u * 4);
    }
}

TEST(EffectRender, InterleavedListsAndListsThatCannotServeEveryKernelFail) {
    TestEffect unit(2, 2);
    ASSERT_EQ(unit.DoInitialize(), noErr);
    AudioUnitRenderActionFlags flags = 0;
    // Interleaved pairs: kernel c starts at sample c with stride 2.
    std::vector<float> in(64), out(64);
    for (std::size_t i = 0; i < in.size(); ++i) in[i] = float(i);
    ListOf pair{{2, 256, in.data()}}, pairOut{{2, 256, out.data()}};
    ASSERT_EQ(unit.ProcessBufferLists(flags, pair.list(), pairOut.list(), 32), noErr);
    EXPECT_EQ(out, in);
    // A channel without a buffer, or a buffer short of the frames, fails before any kernel runs.
    ListOf mono{{1, 256, in.data()}}, two{{1, 128, in.data()}, {1, 128, in.data() + 32}},
        one{{1, 128, out.data()}};
    EXPECT_EQ(unit.ProcessBufferLists(flags, pair.list(), pairOut.list(), 33), paramErr);
    EXPECT_EQ(unit.ProcessBufferLists(flags, mono.list(), pairOut.list(), 32), paramErr);
    EXPECT_EQ(unit.ProcessBufferLists(flags, two.list(), one.list(), 32), paramErr);
    EXPECT_EQ(unit.Kernel(0).calls.size(), 1u);
}

TEST(EffectRender, SilenceZeroesACopiedOutputOnlyAndSoundClearsTheMark) {
    for (bool inPlace : {false, true}) {
        TestEffect unit(1, 1, inPlace);
        ASSERT_EQ(unit.DoInitialize(), noErr);
        std::vector<float> out(128, -7.0f);
        AudioUnitRenderActionFlags flags;
        for (bool sound : {false, true}) {
            unit.silentInput = !sound;
            unit.Kernel(0).makesSound = sound;
            ASSERT_EQ(Render(unit, out, sound * 128, flags), noErr);
            EXPECT_EQ(bool(flags & kAudioUnitRenderAction_OutputIsSilence), !sound);
            EXPECT_EQ(out[3], inPlace || sound ? 3.0f : 0.0f) << inPlace;
        }
    }
}

}  // namespace
