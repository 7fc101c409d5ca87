#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/CAAudioChannelLayout.h"
#include "tests/core/PropertiesTestUnit.h"

namespace marvex::test {
namespace {

constexpr AudioUnitScope G = kAudioUnitScope_Global, In = kAudioUnitScope_Input,
                         Out = kAudioUnitScope_Output;
constexpr AudioChannelLayoutTag kStereo = 0x650002, kMono = 0x640001;

TEST(ChannelLayout, CountsChannelsByTagBitmapOrDescriptions) {
    const UInt32 rows[][4] = {// tag, bitmap, descriptions, channels
                              {kAudioChannelLayoutTag_UseChannelBitmap, 0xB, 9, 3},
                              {kAudioChannelLayoutTag_UseChannelBitmap, 0xFFFFFFFF, 0, 32},
                              {kAudioChannelLayoutTag_UseChannelBitmap, 0x80000001, 0, 2},
                              {kAudioChannelLayoutTag_UseChannelDescriptions, 0xFF, 5, 5},
                              {0x12345678, 0xFF, 7, 0x5678}};
    for (const auto& row : rows) {
        const AudioChannelLayout layout{row[0], row[1], row[2], {}};
        EXPECT_EQ(CAAudioChannelLayout::NumberChannels(layout), row[3]) << row[0] << "/" << row[1];
    }
    EXPECT_EQ(CountOnes(0), 0u);
}

CAStreamBasicDescription Canonical(UInt32 channels) {
    CAStreamBasicDescription f;
    f.SetCanonical(channels, false);
    f.mSampleRate = 44100.0;
    return f;
}

TEST(StreamFormat, CanonicalIsNonInterleavedNativeFloatOfAnyRateAndChannelCount) {
    OpenTestUnit<PassThroughUnit> unit;
    const std::pair<const char*, void (*)(CAStreamBasicDescription&)> refused[] = {
        {"interleaved", [](auto& f) { f.SetCanonical(2, true); }},
        {"24 bits", [](auto& f) { f.mBitsPerChannel = 24; }},
        {"big-endian", [](auto& f) { f.mFormatFlags |= kAudioFormatFlagIsBigEndian; }},
        {"2 frames per packet", [](auto& f) { f.mFramesPerPacket = 2; }},
        {"integer", [](auto& f) { f.mFormatFlags &= ~UInt32(kAudioFormatFlagIsFloat); }},
        {"not lpcm", [](auto& f) { f.mFormatID = FourCC("aac "); }},
        {"packet != frame", [](auto& f) { f.mBytesPerPacket = 8; }},
        {"8 bytes per frame", [](auto& f) { f.mBytesPerPacket = f.mBytesPerFrame = 8; }},
    };
    for (const auto& [what, edit] : refused) {
        CAStreamBasicDescription f = Canonical(2);
        edit(f);
        EXPECT_FALSE(unit->FormatIsCanonical(f)) << what;
    }
    CAStreamBasicDescription f = Canonical(7);
    f.mSampleRate = 3.0;
    EXPECT_TRUE(unit->FormatIsCanonical(f));
}

// Records which bus the unit was asked about.
class AskingUnit : public PassThroughUnit {
public:
    using PassThroughUnit::PassThroughUnit;
    bool StreamFormatWritable(AudioUnitScope scope, AudioUnitElement element) override {
        asked.push_back({scope, element});
        return true;
    }
    std::vector<std::pair<AudioUnitScope, AudioUnitElement>> asked;
};

TEST(StreamFormat, RequestsAddressTheRightBus) {
    OpenTestUnit<AskingUnit> unit;
    unit->GetOutput(0)->SetStreamFormat(Canonical(1));
    EXPECT_EQ(unit->GetStreamFormat(G, 5).mChannelsPerFrame, 1u) << "global means output 0";
    EXPECT_EQ(unit->GetStreamFormat(In, 0).mChannelsPerFrame, 2u);
    EXPECT_EQ(StatusOf([&] { return unit->GetStreamFormat(kAudioUnitScope_Group, 0).mReserved; }),
              kAudioUnitErr_InvalidScope);
    EXPECT_EQ(StatusOf([&] { return unit->GetStreamFormat(In, 1).mReserved; }),
              kAudioUnitErr_InvalidElement);

    EXPECT_TRUE(unit->IsStreamFormatWritable(G, 7));
    EXPECT_TRUE(unit->IsStreamFormatWritable(In, 0));
    EXPECT_FALSE(unit->IsStreamFormatWritable(kAudioUnitScope_Part, 0));
    EXPECT_EQ(StatusOf([&] { return unit->IsStreamFormatWritable(In, 3); }),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(unit->asked, (decltype(unit->asked){{Out, 0}, {In, 0}}));

    // A connected input follows its source, whatever the unit would say.
    OpenTestUnit<PassThroughUnit> source;
    unit->GetInput(0)->SetConnection({source.Instance(), 0, 0});
    EXPECT_FALSE(unit->IsStreamFormatWritable(In, 0));

    // A change lands on the addressed bus and is announced with the request's own address.
    ListenerLog log(*unit);
    EXPECT_EQ(unit->ChangeStreamFormat(G, 3, Canonical(1), Canonical(4)), noErr);
    EXPECT_EQ(unit->GetStreamFormat(Out, 0).mChannelsPerFrame, 4u);
    EXPECT_EQ(log.events, (Notifications{{kAudioUnitProperty_StreamFormat, G, 3}}));
}

// An output bus that offers layouts and keeps the one it is given.
class LayoutOutput : public AUOutputElement {
public:
    using AUOutputElement::AUOutputElement;
    UInt32 GetChannelLayoutTags(AudioChannelLayoutTag* out) override {
        if (out != nullptr) std::copy(offered.begin(), offered.end(), out);
        return UInt32(offered.size());
    }
    UInt32 GetAudioChannelLayout(AudioChannelLayout*, Boolean& writable) override {
        writable = true;
        return UInt32(layout.size());
    }
    OSStatus SetAudioChannelLayout(const AudioChannelLayout& in) override {
        const auto* bytes = reinterpret_cast<const UInt8*>(&in);
        layout.assign(bytes, bytes + AudioChannelLayoutByteSize(in.mNumberChannelDescriptions));
        return noErr;
    }
    OSStatus RemoveAudioChannelLayout() override { return layout.clear(), noErr; }
    std::vector<AudioChannelLayoutTag> offered{kStereo};
    std::vector<UInt8> layout;
};

class LayoutUnit : public PassThroughUnit {
public:
    using PassThroughUnit::PassThroughUnit;
    AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement element) override {
        return scope == Out ? new LayoutOutput(this) : AUBase::CreateElement(scope, element);
    }
    LayoutOutput& Bus() { return *static_cast<LayoutOutput*>(GetOutput(0)); }
};

// Sent from an odd address, as a host may.
OSStatus SetLayout(AUBase& unit, AudioChannelLayoutTag tag, UInt32 bitmap = 0, UInt32 count = 0) {
    std::vector<UInt8> bytes(AudioChannelLayoutByteSize(count) + 1);
    const AudioChannelLayout header{tag, bitmap, count, {}};
    std::memcpy(bytes.data() + 1, &header, 12);
    return unit.DispatchSetProperty(kAudioUnitProperty_AudioChannelLayout, Out, 0, bytes.data() + 1,
                                    UInt32(bytes.size() - 1));
}

TEST(StreamFormat, LayoutsMustMatchTheChannelCountAndAnOfferedTag) {
    OpenTestUnit<LayoutUnit> unit;
    ListenerLog log(*unit);
    EXPECT_EQ(SetLayout(*unit, kMono), kAudioUnitErr_InvalidPropertyValue) << "count first";
    EXPECT_EQ(SetLayout(*unit, 0x660002), kAudioUnitErr_InvalidPropertyValue) << "not offered";
    EXPECT_TRUE(unit->Bus().layout.empty());
    EXPECT_EQ(SetLayout(*unit, kStereo), noErr);
    UInt32 size = 0;
    Boolean writable = false;
    unit->DispatchGetPropertyInfo(kAudioUnitProperty_AudioChannelLayout, Out, 0, size, writable);
    EXPECT_EQ(size, 12u);
    EXPECT_TRUE(writable);

    // Offering "use descriptions" accepts any layout of the right count.
    unit->Bus().offered = {kMono, kAudioChannelLayoutTag_UseChannelDescriptions};
    EXPECT_EQ(SetLayout(*unit, kAudioChannelLayoutTag_UseChannelBitmap, 0x3), noErr);
    EXPECT_EQ(SetLayout(*unit, kAudioChannelLayoutTag_UseChannelDescriptions, 0, 2), noErr);
    EXPECT_EQ(unit->Bus().layout.size(), 52u);
    EXPECT_EQ(unit->DispatchRemovePropertyValue(kAudioUnitProperty_AudioChannelLayout, Out, 0), 0);
    EXPECT_TRUE(unit->Bus().layout.empty());
    EXPECT_EQ(log.events.size(), 4u);

    // Buses that offer nothing refuse every layout of the right count; removing none succeeds.
    OpenTestUnit<PassThroughUnit> plain;
    EXPECT_EQ(SetLayout(*plain, kStereo), kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(SetLayout(*plain, kMono), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(plain->DispatchRemovePropertyValue(kAudioUnitProperty_AudioChannelLayout, Out, 0), 0);
}

}  // namespace
}  // namespace marvex::test
