#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "core/AUDispatch.h"
#include "format/AURenderCallbackStruct.h"
#include "format/AudioUnitExternalBuffer.h"
#include "format/CFArray.h"
#include "format/CFString.h"
#include "format/CFURL.h"
#include "tests/core/PropertiesTestUnit.h"

namespace marvex::test {
namespace {

constexpr AudioUnitScope G = kAudioUnitScope_Global, In = kAudioUnitScope_Input,
                         Out = kAudioUnitScope_Output;
constexpr AudioUnitPropertyID kCustomProperty = 50;

// A unit that answers every optional hook, so the sizes and values the dispatch derives from
// them show.
class RichUnit : public PassThroughUnit {
public:
    using PassThroughUnit::PassThroughUnit;
    UInt32 SupportedNumChannels(const AUChannelInfo** out) override {
        static const AUChannelInfo kConfigs[] = {{1, 1}, {2, 2}};
        if (out != nullptr) *out = kConfigs;
        return 2;
    }
    int GetNumCustomUIComponents() override { return 1; }
    void GetUIComponentDescs(ComponentDescription* out) override { out[0] = {1, 2, 3, 0, 0}; }
    bool SupportsTail() override { return true; }
    Float64 GetTailTime() override { return 0.25; }
    Float64 GetLatency() override { return 0.125; }
    CFURLRef CopyIconLocation() override {
        return CFURLCreateFromFileSystemRepresentation(nullptr, (const UInt8*)"/i.png", 6, false);
    }
    OSStatus GetPresets(CFArrayRef* out) const override {
        if (out != nullptr) *out = CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks);
        return noErr;
    }
    UInt32 GetChannelLayoutTags(AudioUnitScope, AudioUnitElement,
                                AudioChannelLayoutTag* out) override {
        if (out != nullptr) out[0] = 0x650002, out[1] = 0x640001;
        return 2;
    }
    bool BusCountWritable(AudioUnitScope scope) override { return scope == In; }
    OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope, AudioUnitElement, const void*,
                         UInt32) override {
        return id == kCustomProperty ? noErr : kAudioUnitErr_InvalidProperty;
    }
};

struct InfoRow {
    bool rich;
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
    OSStatus status;
    UInt32 size = 0;  // checked only on success
    bool writable = false;
};

constexpr UInt32 kRef = sizeof(void*);

// Scopes accepted and refused, sizes, writability and element validation of every id the
// dispatch answers itself, for a unit of one input and one output.
const InfoRow kInfoRows[] = {
    {false, kAudioUnitProperty_ClassInfo, G, 0, noErr, kRef, true},
    {false, kAudioUnitProperty_ClassInfo, In, 0, kAudioUnitErr_InvalidScope},
    {false, kAudioUnitProperty_ClassInfo, G, 1, kAudioUnitErr_InvalidElement},
    {false, kAudioUnitProperty_MakeConnection, In, 0, noErr, sizeof(AudioUnitConnection), true},
    {false, kAudioUnitProperty_MakeConnection, Out, 0, kAudioUnitErr_InvalidScope},
    {false, kAudioUnitProperty_SampleRate, Out, 0, noErr, 8, true},
    {false, kAudioUnitProperty_SampleRate, In, 1, kAudioUnitErr_InvalidElement},
    {false, kAudioUnitProperty_ParameterList, 4, 9, noErr, 0, false},
    {false, kAudioUnitProperty_ParameterList, 7, 0, kAudioUnitErr_InvalidScope},
    {false, kAudioUnitProperty_ParameterInfo, 9, 9, noErr, sizeof(AudioUnitParameterInfo), false},
    {false, kAudioUnitProperty_FastDispatch, G, 99, noErr, kRef, false},
    {false, kAudioUnitProperty_FastDispatch, Out, 0, kAudioUnitErr_InvalidScope},
    {false, kAudioUnitProperty_StreamFormat, In, 0, noErr, 40, true},
    {false, kAudioUnitProperty_StreamFormat, 7, 0, kAudioUnitErr_InvalidScope},
    {false, kAudioUnitProperty_ElementCount, In, 5, noErr, 4, false},
    {true, kAudioUnitProperty_ElementCount, In, 5, noErr, 4, true},
    {false, kAudioUnitProperty_Latency, G, 1, kAudioUnitErr_InvalidElement},
    {false, kAudioUnitProperty_Latency, In, 0, kAudioUnitErr_InvalidScope},
    {false, kAudioUnitProperty_SupportedNumChannels, G, 0, kAudioUnitErr_InvalidProperty},
    {true, kAudioUnitProperty_SupportedNumChannels, G, 0, noErr, 8, false},
    {false, kAudioUnitProperty_MaximumFramesPerSlice, G, 0, noErr, 4, true},
    {false, kAudioUnitProperty_ParameterValueStrings, G, 0, kAudioUnitErr_InvalidProperty},
    {false, kAudioUnitProperty_GetUIComponentList, G, 0, kAudioUnitErr_InvalidProperty},
    {true, kAudioUnitProperty_GetUIComponentList, G, 0, noErr, 20, false},
    {false, kAudioUnitProperty_AudioChannelLayout, Out, 0, kAudioUnitErr_InvalidProperty},
    {true, kAudioUnitProperty_AudioChannelLayout, Out, 0, kAudioUnitErr_InvalidPropertyValue},
    {false, kAudioUnitProperty_AudioChannelLayout, G, 0, kAudioUnitErr_InvalidElement},
    {false, kAudioUnitProperty_TailTime, G, 0, kAudioUnitErr_InvalidProperty},
    {true, kAudioUnitProperty_TailTime, G, 0, noErr, 8, false},
    {false, kAudioUnitProperty_LastRenderError, G, 0, noErr, 4, false},
    {false, kAudioUnitProperty_SetRenderCallback, In, 0, noErr, 2 * kRef, true},
    {false, kAudioUnitProperty_SetRenderCallback, Out, 0, kAudioUnitErr_InvalidScope},
    {false, kAudioUnitProperty_FactoryPresets, G, 0, kAudioUnitErr_InvalidProperty},
    {true, kAudioUnitProperty_FactoryPresets, G, 1, kAudioUnitErr_InvalidElement},
    {false, kAudioUnitProperty_ContextName, G, 0, noErr, kRef, true},
    {false, kAudioUnitProperty_HostCallbacks, G, 0, noErr, 4 * kRef, true},
    {false, kAudioUnitProperty_HostCallbacks, In, 0, kAudioUnitErr_InvalidScope},
    {false, kAudioUnitProperty_CurrentPreset, G, 0, noErr, sizeof(AUPreset), true},
    {false, kAudioUnitProperty_PresentPreset, Out, 0, kAudioUnitErr_InvalidScope},
    {false, kAudioUnitProperty_ElementName, Out, 0, noErr, kRef, true},
    {false, kAudioUnitProperty_ElementName, Out, 3, kAudioUnitErr_InvalidElement},
    {false, kAudioUnitProperty_ElementName, 9, 0, kAudioUnitErr_InvalidScope},
    {false, kAudioUnitProperty_SupportedChannelLayoutTags, Out, 0, kAudioUnitErr_InvalidProperty},
    {true, kAudioUnitProperty_SupportedChannelLayoutTags, Out, 0, noErr, 8, false},
    {false, kAudioUnitProperty_IconLocation, G, 0, kAudioUnitErr_InvalidProperty},
    {true, kAudioUnitProperty_IconLocation, G, 0, noErr, kRef, false},
    {false, kAudioUnitProperty_BypassEffect, G, 0, kAudioUnitErr_InvalidProperty},
    {false, 40, G, 0, kAudioUnitErr_InvalidProperty},
};

class Properties : public ::testing::Test {
protected:
    void TearDown() override {
        unit.reset();
        rich.reset();
        EXPECT_EQ(LiveValueCount(), liveBefore) << "a property-list value leaked";
    }
    long liveBefore = LiveValueCount();
    std::unique_ptr<OpenTestUnit<PassThroughUnit>> unit =
        std::make_unique<OpenTestUnit<PassThroughUnit>>();
    std::unique_ptr<OpenTestUnit<RichUnit>> rich = std::make_unique<OpenTestUnit<RichUnit>>();
};

TEST_F(Properties, InfoTableScopesSizesWritabilityAndElements) {
    for (const InfoRow& row : kInfoRows) {
        AUBase& target = row.rich ? static_cast<AUBase&>(**rich) : **unit;
        UInt32 size = 0;
        Boolean writable = false;
        const OSStatus status = StatusOf([&] {
            return target.DispatchGetPropertyInfo(row.id, row.scope, row.element, size, writable);
        });
        SCOPED_TRACE(testing::Message() << "id " << row.id << " scope " << row.scope << " element "
                                        << row.element << (row.rich ? " (rich)" : ""));
        EXPECT_EQ(status, row.status);
        if (row.status != noErr) continue;
        EXPECT_EQ(size, row.size);
        EXPECT_EQ(bool(writable), row.writable);
    }
}

TEST_F(Properties, FormatInfoOfAMissingBusFailsAfterItsWritabilityWasComputed) {
    UInt32 size = 0;
    Boolean writable = false;
    EXPECT_EQ(StatusOf([&] {
                  return (*unit)->DispatchGetPropertyInfo(kAudioUnitProperty_StreamFormat, Out, 1,
                                                          size, writable);
              }),
              kAudioUnitErr_InvalidElement);
    EXPECT_TRUE(writable);
}

TEST_F(Properties, ReadsHandOutValuesAndReferencesAsDocumented) {
    AUBase& u = **unit;
    void* proc = nullptr;
    ASSERT_EQ(u.DispatchGetProperty(kAudioUnitProperty_FastDispatch, G, 14, &proc), noErr);
    EXPECT_EQ(proc, reinterpret_cast<void*>(&AudioUnitBaseRender));
    ASSERT_EQ(u.DispatchGetProperty(kAudioUnitProperty_FastDispatch, G, 6, &proc), noErr);
    EXPECT_EQ(proc, reinterpret_cast<void*>(&AudioUnitBaseGetParameter));
    EXPECT_EQ(u.DispatchGetProperty(kAudioUnitProperty_FastDispatch, G, 9, &proc),
              kAudioUnitErr_InvalidProperty);

    // The last render error reads once, then it is gone.
    u.SetRenderError(paramErr);
    OSStatus error = 1;
    u.DispatchGetProperty(kAudioUnitProperty_LastRenderError, G, 0, &error);
    EXPECT_EQ(error, paramErr);
    u.DispatchGetProperty(kAudioUnitProperty_LastRenderError, G, 0, &error);
    EXPECT_EQ(error, noErr);

    // The present preset's name comes retained for the caller, the current preset's does not.
    CFStringRef name = CFStringCreateWithCString(nullptr, "Lead", kCFStringEncodingASCII);
    AUPreset user{-1, name};
    ASSERT_EQ(u.DispatchSetProperty(kAudioUnitProperty_CurrentPreset, G, 0, &user, sizeof user), 0);
    AUPreset current{};
    u.DispatchGetProperty(kAudioUnitProperty_CurrentPreset, G, 0, &current);
    EXPECT_EQ(current.presetName, name);
    EXPECT_EQ(current.presetNumber, -1);
    EXPECT_EQ(CFGetRetainCount(name), 2);  // ours and the unit's
    AUPreset present{};
    u.DispatchGetProperty(kAudioUnitProperty_PresentPreset, G, 0, &present);
    EXPECT_EQ(CFGetRetainCount(name), 3);  // and now the reader's
    CFRelease(present.presetName);
    CFRelease(name);

    // No context name and no element name: refused, and nothing written for the element name.
    CFStringRef out = CFSTR("sentinel");
    EXPECT_EQ(u.DispatchGetProperty(kAudioUnitProperty_ContextName, G, 0, &out),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(out, nullptr);
    out = CFSTR("sentinel");
    EXPECT_EQ(u.DispatchGetProperty(kAudioUnitProperty_ElementName, In, 0, &out),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(out, CFSTR("sentinel"));

    // The scope's parameter list is that of its element with the most parameters.
    u.Outputs().SetNumberOfElements(2);
    u.GetElement(Out, 0)->SetParameter(9, 1.0f);
    u.GetElement(Out, 1)->SetParameter(4, 1.0f);
    u.GetElement(Out, 1)->SetParameter(2, 1.0f);
    std::array<AudioUnitParameterID, 2> ids{};
    ASSERT_EQ(u.DispatchGetProperty(kAudioUnitProperty_ParameterList, Out, 0, ids.data()), 0);
    EXPECT_EQ(ids, (std::array<AudioUnitParameterID, 2>{2, 4}));
}

TEST_F(Properties, RichHooksFillTheirValues) {
    AUBase& u = **rich;
    std::array<AUChannelInfo, 2> configs{};
    u.DispatchGetProperty(kAudioUnitProperty_SupportedNumChannels, G, 0, configs.data());
    EXPECT_EQ(configs[1].outChannels, 2);
    Float64 seconds = 0;
    u.DispatchGetProperty(kAudioUnitProperty_TailTime, G, 0, &seconds);
    EXPECT_EQ(seconds, 0.25);
    CFArrayRef presets = nullptr;
    ASSERT_EQ(u.DispatchGetProperty(kAudioUnitProperty_FactoryPresets, G, 0, &presets), noErr);
    CFRelease(presets);
    CFURLRef icon = nullptr;
    ASSERT_EQ(u.DispatchGetProperty(kAudioUnitProperty_IconLocation, G, 0, &icon), noErr);
    CFRelease(icon);
}

struct RefusedWrite {
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
    UInt32 size;
    bool initialized;
    OSStatus status;
};

// Each write check in its order: the first one failing decides, and nothing is announced.
const RefusedWrite kRefusedWrites[] = {
    {kAudioUnitProperty_ClassInfo, In, 0, kRef - 1, false, kAudioUnitErr_InvalidPropertyValue},
    {kAudioUnitProperty_ClassInfo, In, 0, kRef, false, kAudioUnitErr_InvalidScope},
    {kAudioUnitProperty_MakeConnection, In, 0, sizeof(AudioUnitConnection) - 1, false,
     kAudioUnitErr_InvalidPropertyValue},
    {kAudioUnitProperty_SampleRate, Out, 9, 4, false, kAudioUnitErr_InvalidPropertyValue},
    {kAudioUnitProperty_SampleRate, Out, 9, 8, false, kAudioUnitErr_InvalidElement},
    {kAudioUnitProperty_StreamFormat, Out, 0, 32, false, kAudioUnitErr_InvalidPropertyValue},
    {kAudioUnitProperty_StreamFormat, 7, 0, 36, false, kAudioUnitErr_InvalidScope},
    {kAudioUnitProperty_ElementCount, In, 0, 2, false, kAudioUnitErr_InvalidPropertyValue},
    {kAudioUnitProperty_ElementCount, Out, 0, 4, false, kAudioUnitErr_PropertyNotWritable},
    {kAudioUnitProperty_MaximumFramesPerSlice, G, 0, 8, false, kAudioUnitErr_InvalidPropertyValue},
    {kAudioUnitProperty_MaximumFramesPerSlice, G, 0, 4, true, kAudioUnitErr_Initialized},
    {kAudioUnitProperty_SetExternalBuffer, Out, 0, 4, true, kAudioUnitErr_InvalidPropertyValue},
    {kAudioUnitProperty_SetExternalBuffer, Out, 0, sizeof(AudioUnitExternalBuffer), false,
     kAudioUnitErr_Uninitialized},
    {kAudioUnitProperty_AudioChannelLayout, Out, 0, 11, false, kAudioUnitErr_InvalidPropertyValue},
    {kAudioUnitProperty_AudioChannelLayout, Out, 0, 12, false, kAudioUnitErr_InvalidPropertyValue},
    {kAudioUnitProperty_SetRenderCallback, In, 0, kRef, false, kAudioUnitErr_InvalidPropertyValue},
    {kAudioUnitProperty_ContextName, G, 0, 3, false, kAudioUnitErr_InvalidPropertyValue},
    {kAudioUnitProperty_ContextName, In, 0, kRef, false, kAudioUnitErr_InvalidScope},
    {kAudioUnitProperty_HostCallbacks, Out, 0, 8, false, kAudioUnitErr_InvalidScope},
    {kAudioUnitProperty_CurrentPreset, G, 0, 4, false, kAudioUnitErr_InvalidPropertyValue},
    {kAudioUnitProperty_PresentPreset, Out, 0, sizeof(AUPreset), false, kAudioUnitErr_InvalidScope},
    {kAudioUnitProperty_ElementName, In, 4, 1, false, kAudioUnitErr_InvalidElement},
    {kAudioUnitProperty_ElementName, In, 0, 1, false, kAudioUnitErr_InvalidPropertyValue},
    {kAudioUnitProperty_ParameterList, G, 0, 4, false, kAudioUnitErr_InvalidProperty},
};

TEST_F(Properties, RefusedWritesFollowTheCheckOrderAndAnnounceNothing) {
    for (const RefusedWrite& row : kRefusedWrites) {
        OpenTestUnit<PassThroughUnit> fresh;
        if (row.initialized) {
            ASSERT_EQ(fresh->DoInitialize(), noErr);
        }
        ListenerLog log;
        log.ListenToAll(*fresh);
        // Bytes that pass every value check (a huge description count for the layout rows).
        alignas(16) std::array<UInt8, 64> value{};
        value[8] = 0xFF, value[9] = 0xFF, value[10] = 0xFF, value[11] = 0xFF;
        const OSStatus status = StatusOf([&] {
            return fresh->DispatchSetProperty(row.id, row.scope, row.element, value.data(),
                                              row.size);
        });
        EXPECT_EQ(status, row.status) << "id " << row.id << " size " << row.size;
        EXPECT_TRUE(log.events.empty()) << "id " << row.id;
    }
}

TEST_F(Properties, FormatWritesValidateBeforeWritabilityAndAnnounceOnlyChanges) {
    AUBase& u = **unit;
    ListenerLog log;
    log.ListenToAll(u);
    Float64 rate = 44100.0;
    EXPECT_EQ(u.DispatchSetProperty(kAudioUnitProperty_SampleRate, Out, 0, &rate, 8), noErr);
    EXPECT_TRUE(log.events.empty()) << "the same rate changes nothing";

    rate = 48000.0;
    EXPECT_EQ(u.DispatchSetProperty(kAudioUnitProperty_SampleRate, G, 0, &rate, 8), noErr);
    EXPECT_EQ(u.GetStreamFormat(Out, 0).mSampleRate, 48000.0);
    EXPECT_EQ(log.events, (std::vector<Notification>{{kAudioUnitProperty_StreamFormat, G, 0}}));

    // 36 bytes are enough and the reserved word is never taken from the host.
    CAStreamBasicDescription format = u.GetStreamFormat(In, 0);
    format.mChannelsPerFrame = 1;
    format.mReserved = 77;
    EXPECT_EQ(u.DispatchSetProperty(kAudioUnitProperty_StreamFormat, In, 0, &format, 36), noErr);
    EXPECT_EQ(u.DispatchSetProperty(kAudioUnitProperty_StreamFormat, In, 0, &format, 40), noErr);
    EXPECT_EQ(u.GetStreamFormat(In, 0).mChannelsPerFrame, 1u);
    EXPECT_EQ(u.GetStreamFormat(In, 0).mReserved, 0u);

    ASSERT_EQ(u.DoInitialize(), noErr);
    EXPECT_EQ(u.DispatchSetProperty(kAudioUnitProperty_StreamFormat, In, 0, &format, 40), noErr)
        << "an equal format is accepted even when formats are not writable";
    EXPECT_EQ(u.DispatchSetProperty(kAudioUnitProperty_SampleRate, G, 0, &rate, 8), noErr);
    rate = 96000.0;
    EXPECT_EQ(u.DispatchSetProperty(kAudioUnitProperty_SampleRate, G, 0, &rate, 8),
              kAudioUnitErr_PropertyNotWritable);
    format.mChannelsPerFrame = 2;
    EXPECT_EQ(u.DispatchSetProperty(kAudioUnitProperty_StreamFormat, In, 0, &format, 40),
              kAudioUnitErr_PropertyNotWritable);
    format.mBitsPerChannel = 24;
    EXPECT_EQ(u.DispatchSetProperty(kAudioUnitProperty_StreamFormat, In, 0, &format, 40),
              kAudioUnitErr_FormatNotSupported);
}

TEST_F(Properties, HostCallbacksStoreWhatWasGivenAndAnnounceOnlyDifferences) {
    AUBase& u = **unit;
    ListenerLog log;
    log.ListenToAll(u);
    HostCallbackInfo info;
    std::memset(&info, 0xAB, sizeof info);
    ASSERT_EQ(u.DispatchSetProperty(kAudioUnitProperty_HostCallbacks, G, 0, &info, sizeof info), 0);
    ASSERT_EQ(u.DispatchSetProperty(kAudioUnitProperty_HostCallbacks, G, 0, &info, sizeof info), 0);
    EXPECT_EQ(log.events.size(), 1u) << "the same record twice is one change";

    const std::array<UInt8, 8> head{1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(u.DispatchSetProperty(kAudioUnitProperty_HostCallbacks, G, 0, head.data(), 8), 0);
    std::array<UInt8, sizeof(HostCallbackInfo)> stored{};
    u.DispatchGetProperty(kAudioUnitProperty_HostCallbacks, G, 0, stored.data());
    std::array<UInt8, sizeof(HostCallbackInfo)> expected{1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(stored, expected) << "the rest of the record is zeroed";

    EXPECT_EQ(u.DispatchRemovePropertyValue(kAudioUnitProperty_HostCallbacks, G, 0), noErr);
    EXPECT_EQ(u.DispatchRemovePropertyValue(kAudioUnitProperty_HostCallbacks, G, 0), noErr);
    EXPECT_EQ(log.events.size(), 3u) << "removing an empty record announces nothing";
}

TEST_F(Properties, NamesAndPresetsAreKeptWithOneReferenceEach) {
    AUBase& u = **unit;
    ListenerLog log;
    log.ListenToAll(u);
    CFStringRef name = CFStringCreateWithCString(nullptr, "Stage", kCFStringEncodingASCII);
    EXPECT_EQ(u.DispatchSetProperty(kAudioUnitProperty_ContextName, G, 0, &name, kRef), noErr);
    EXPECT_EQ(u.DispatchSetProperty(kAudioUnitProperty_ElementName, Out, 0, &name, kRef), noErr);
    EXPECT_EQ(CFGetRetainCount(name), 3);

    // A null user-preset name, or a value that is not a string, is refused and changes nothing.
    AUPreset bad{-1, nullptr};
    EXPECT_EQ(u.DispatchSetProperty(kAudioUnitProperty_CurrentPreset, G, 0, &bad, sizeof bad),
              kAudioUnitErr_InvalidPropertyValue);
    CFArrayRef notAString = CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks);
    bad.presetName = reinterpret_cast<CFStringRef>(notAString);
    EXPECT_EQ(u.DispatchSetProperty(kAudioUnitProperty_PresentPreset, G, 0, &bad, sizeof bad),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(u.DispatchSetProperty(kAudioUnitProperty_ContextName, G, 0, &notAString, kRef),
              kAudioUnitErr_InvalidPropertyValue);
    CFRelease(notAString);
    AUPreset factory{3, name};
    EXPECT_EQ(
        u.DispatchSetProperty(kAudioUnitProperty_CurrentPreset, G, 0, &factory, sizeof factory),
        kAudioUnitErr_InvalidProperty);
    AUPreset kept{};
    u.DispatchGetProperty(kAudioUnitProperty_CurrentPreset, G, 0, &kept);
    EXPECT_TRUE(CFEqual(kept.presetName, CFSTR("Untitled")));

    EXPECT_EQ(u.DispatchRemovePropertyValue(kAudioUnitProperty_ContextName, G, 0), noErr);
    EXPECT_EQ(u.DispatchRemovePropertyValue(kAudioUnitProperty_ContextName, G, 0), noErr);
    EXPECT_EQ(CFGetRetainCount(name), 2);
    CFRelease(name);
    EXPECT_EQ(log.events, (std::vector<Notification>{{kAudioUnitProperty_ContextName, G, 0},
                                                     {kAudioUnitProperty_ElementName, Out, 0}}));
}

TEST_F(Properties, WritesThatNotifyThemselvesAreAnnouncedOnce) {
    AUBase& u = **unit;
    ListenerLog log;
    log.ListenToAll(u);
    UInt32 frames = 512;
    EXPECT_EQ(u.DispatchSetProperty(kAudioUnitProperty_MaximumFramesPerSlice, G, 0, &frames, 4), 0);
    AURenderCallbackStruct callback{
        [](void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
           AudioBufferList*) -> OSStatus { return noErr; },
        nullptr};
    EXPECT_EQ(u.DispatchSetProperty(kAudioUnitProperty_SetRenderCallback, G, 0, &callback,
                                    sizeof callback),
              noErr);
    EXPECT_TRUE(u.HasInput(0));
    EXPECT_EQ(log.events,
              (std::vector<Notification>{{kAudioUnitProperty_MaximumFramesPerSlice, G, 0},
                                         {kAudioUnitProperty_SetRenderCallback, In, 0}}));
    EXPECT_EQ(u.GetMaxFramesPerSlice(), 512u);
}

TEST_F(Properties, ExternalBufferMustBeAlignedAndNamesAnExistingBus) {
    AUBase& u = **unit;
    ASSERT_EQ(u.DoInitialize(), noErr);
    alignas(16) static UInt8 memory[2 * 1156 * 4 + 32];
    AudioUnitExternalBuffer buffer{memory + 8, sizeof memory - 8};
    EXPECT_EQ(
        u.DispatchSetProperty(kAudioUnitProperty_SetExternalBuffer, Out, 0, &buffer, sizeof buffer),
        paramErr);
    buffer = {nullptr, sizeof memory};
    EXPECT_EQ(
        u.DispatchSetProperty(kAudioUnitProperty_SetExternalBuffer, Out, 0, &buffer, sizeof buffer),
        paramErr);
    buffer = {memory, sizeof memory};
    EXPECT_EQ(StatusOf([&] {
                  return u.DispatchSetProperty(kAudioUnitProperty_SetExternalBuffer, Out, 4,
                                               &buffer, sizeof buffer);
              }),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(
        u.DispatchSetProperty(kAudioUnitProperty_SetExternalBuffer, Out, 0, &buffer, sizeof buffer),
        noErr);
    EXPECT_TRUE(u.GetOutput(0)->GetAUBufferList().UsesExternalMemory());
}

TEST_F(Properties, UnitHooksAndBusCountsReachTheUnitAndAreAnnounced) {
    RichUnit& u = **rich;
    ListenerLog log;
    log.ListenToAll(u);
    const UInt32 value = 3;
    EXPECT_EQ(u.DispatchSetProperty(kCustomProperty, Out, 1, &value, 4), noErr);
    EXPECT_EQ(u.DispatchSetProperty(kAudioUnitProperty_ElementCount, In, 0, &value, 4), noErr);
    EXPECT_EQ(u.Inputs().GetNumberOfElements(), 3u);
    ASSERT_EQ(u.DoInitialize(), noErr);
    EXPECT_EQ(u.DispatchSetProperty(kAudioUnitProperty_ElementCount, In, 0, &value, 4),
              kAudioUnitErr_Initialized);
    EXPECT_EQ(u.DispatchRemovePropertyValue(kCustomProperty, G, 0),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(log.events, (std::vector<Notification>{{kCustomProperty, Out, 1},
                                                     {kAudioUnitProperty_ElementCount, In, 0}}));
}

TEST(ParameterName, FillsTheNameFieldWithoutTouchingItsNeighbour) {
    AudioUnitParameterInfo info{};
    info.unitName = CFSTR("Hz");
    const std::string longName(80, 'x');
    CFStringRef name = CFStringCreateWithCString(nullptr, longName.c_str(), kCFStringEncodingUTF8);
    AUBase::FillInParameterName(info, name, true);
    EXPECT_EQ(std::string(info.name), longName.substr(0, 51));
    EXPECT_EQ(info.unitName, CFSTR("Hz"));
    EXPECT_EQ(info.cfNameString, name);
    EXPECT_EQ(info.flags,
              kAudioUnitParameterFlag_HasCFNameString | kAudioUnitParameterFlag_CFNameRelease);
    CFRelease(name);
}

}  // namespace
}  // namespace marvex::test
