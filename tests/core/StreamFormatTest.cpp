#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/CAAudioChannelLayout.h"
#include "tests/core/PropertiesTestUnit.h"

namespace marvex::test {
namespace {

constexpr AudioUnitScope G = kAudioUnitScope_Global, In = kAudioUnitScope_Input,
                         Out = kAudioUnitScope_Output;
constexpr AudioChannelLayoutTag kStereo = 0x650002, kMono = 0x640001, kOtherStereo = 0x660002;

TEST(ChannelLayout, CountsChannelsByTagBitmapOrDescriptions) {
    const struct {
        AudioChannelLayoutTag tag;
        UInt32 bitmap, descriptions, channels;
    } rows[] = {{kAudioChannelLayoutTag_UseChannelBitmap, 0xB, 9, 3},
                {kAudioChannelLayoutTag_UseChannelBitmap, 0xFFFFFFFF, 0, 32},
                {kAudioChannelLayoutTag_UseChannelBitmap, 0, 4, 0},
                {kAudioChannelLayoutTag_UseChannelDescriptions, 0xFF, 5, 5},
                {kStereo, 0xFF, 7, 2},
                {0x12345678, 0, 0, 0x5678}};
    for (const auto& row : rows) {
        const AudioChannelLayout layout{row.tag, row.bitmap, row.descriptions, {}};
        EXPECT_EQ(CAAudioChannelLayout::NumberChannels(layout), row.channels) << row.tag;
    }
    EXPECT_EQ(CountOnes(0x80000001), 2u);
    EXPECT_EQ(CountOnes(0x55555555), 16u);
}

CAStreamBasicDescription Canonical(UInt32 channels) {
    CAStreamBasicDescription f;
    f.SetCanonical(channels, false);
    f.mSampleRate = 44100.0;
    return f;
}

TEST(StreamFormat, CanonicalIsNonInterleavedNativeFloatOfAnyRateAndChannelCount) {
    OpenTestUnit<PassThroughUnit> unit;
    using Edit = void (*)(CAStreamBasicDescription&);
    const struct {
        const char* what;
        Edit edit;
        bool canonical;
    } rows[] = {
        {"as built", [](CAStreamBasicDescription&) {}, true},
        {"any rate, 7 channels", [](auto& f) { f.mSampleRate = 3.0, f.mChannelsPerFrame = 7; },
         true},
        {"interleaved", [](auto& f) { f.SetCanonical(2, true); }, false},
        {"24 bits", [](auto& f) { f.mBitsPerChannel = 24; }, false},
        {"big-endian", [](auto& f) { f.mFormatFlags |= kAudioFormatFlagIsBigEndian; }, false},
        {"2 frames per packet", [](auto& f) { f.mFramesPerPacket = 2; }, false},
        {"integer", [](auto& f) { f.mFormatFlags &= ~UInt32(kAudioFormatFlagIsFloat); }, false},
        {"not lpcm", [](auto& f) { f.mFormatID = FourCC("aac "); }, false},
        {"packet != frame", [](auto& f) { f.mBytesPerPacket = 8; }, false},
        {"8 bytes per frame", [](auto& f) { f.mBytesPerPacket = f.mBytesPerFrame = 8; }, false},
    };
    for (const auto& row : rows) {
        CAStreamBasicDescription f = Canonical(2);
        row.edit(f);
        EXPECT_EQ(unit->FormatIsCanonical(f), row.canonical) << row.what;
    }
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
    using Asked = std::vector<std::pair<AudioUnitScope, AudioUnitElement>>;
    EXPECT_EQ(unit->asked, (Asked{{Out, 0}, {In, 0}}));

    // A connected input follows its source, whatever the unit would say.
    OpenTestUnit<PassThroughUnit> source;
    unit->GetInput(0)->SetConnection({source.Instance(), 0, 0});
    EXPECT_FALSE(unit->IsStreamFormatWritable(In, 0));

    // A change lands on the addressed bus and is announced with the request's own address.
    ListenerLog log;
    log.ListenToAll(*unit);
    EXPECT_EQ(unit->ChangeStreamFormat(G, 3, Canonical(1), Canonical(4)), noErr);
    EXPECT_EQ(unit->GetStreamFormat(Out, 0).mChannelsPerFrame, 4u);
    EXPECT_EQ(log.events, (std::vector<Notification>{{kAudioUnitProperty_StreamFormat, G, 3}}));
}

// An output bus that offers layouts and keeps the one it is given.
class LayoutOutput : public AUOutputElement {
public:
    using AUOutputElement::AUOutputElement;
    std::vector<AudioChannelLayoutTag> offered{kStereo};
    std::vector<UInt8> layout;
    UInt32 GetChannelLayoutTags(AudioChannelLayoutTag* out) override {
        if (out != nullptr) std::copy(offered.begin(), offered.end(), out);
        return UInt32(offered.size());
    }
    UInt32 GetAudioChannelLayout(AudioChannelLayout* out, Boolean& writable) override {
        if (out != nullptr) std::memcpy(out, layout.data(), layout.size());
        writable = true;
        return UInt32(layout.size());
    }
    OSStatus SetAudioChannelLayout(const AudioChannelLayout& in) override {
        const auto* bytes = reinterpret_cast<const UInt8*>(&in);
        layout.assign(bytes, bytes + AudioChannelLayoutByteSize(in.mNumberChannelDescriptions));
        return noErr;
    }
    OSStatus RemoveAudioChannelLayout() override {
        layout.clear();
        return noErr;
    }
};

class LayoutUnit : public PassThroughUnit {
public:
    using PassThroughUnit::PassThroughUnit;
    AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement element) override {
        if (scope == Out) return new LayoutOutput(this);
        return AUBase::CreateElement(scope, element);
    }
    LayoutOutput& Bus() { return *static_cast<LayoutOutput*>(GetOutput(0)); }
};

OSStatus SetLayout(AUBase& unit, AudioChannelLayoutTag tag, UInt32 bitmap = 0,
                   UInt32 descriptions = 0) {
    std::vector<UInt8> bytes(AudioChannelLayoutByteSize(descriptions) + 1);  // odd size, unaligned
    const AudioChannelLayout header{tag, bitmap, descriptions, {}};
    std::memcpy(bytes.data() + 1, &header, 12);
    return unit.DispatchSetProperty(kAudioUnitProperty_AudioChannelLayout, Out, 0, bytes.data() + 1,
                                    UInt32(bytes.size() - 1));
}

TEST(StreamFormat, LayoutsMustMatchTheChannelCountAndAnOfferedTag) {
    OpenTestUnit<LayoutUnit> unit;
    EXPECT_EQ(SetLayout(*unit, kMono), kAudioUnitErr_InvalidPropertyValue) << "count first";
    EXPECT_EQ(SetLayout(*unit, kOtherStereo), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_TRUE(unit->Bus().layout.empty());

    ListenerLog log;
    log.ListenToAll(*unit);
    EXPECT_EQ(SetLayout(*unit, kStereo), noErr);
    UInt32 size = 0;
    Boolean writable = false;
    EXPECT_EQ(unit->DispatchGetPropertyInfo(kAudioUnitProperty_AudioChannelLayout, Out, 0, size,
                                            writable),
              noErr);
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

    // A unit whose buses offer nothing refuses every layout of the right count.
    OpenTestUnit<PassThroughUnit> plain;
    EXPECT_EQ(SetLayout(*plain, kStereo), kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(SetLayout(*plain, kMono), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(plain->DispatchRemovePropertyValue(kAudioUnitProperty_AudioChannelLayout, Out, 0), 0)
        << "removing no layout succeeds";
}

}  // namespace
}  // namespace marvex::test
