#include <gtest/gtest.h>

#include "core/CAAudioChannelLayout.h"
#include "tests/core/PropertiesTestUnit.h"

namespace marvex::test {
namespace {

constexpr AudioUnitScope G = kAudioUnitScope_Global, In = kAudioUnitScope_Input,
                         Out = kAudioUnitScope_Output;

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

TEST(StreamFormat, RequestsAddressTheRightBus) {
    OpenTestUnit<PassThroughUnit> unit;
    unit->GetOutput(0)->SetStreamFormat(Canonical(1));
    EXPECT_EQ(unit->GetStreamFormat(G, 5).mChannelsPerFrame, 1u) << "global means output 0";
    EXPECT_EQ(unit->GetStreamFormat(In, 0).mChannelsPerFrame, 2u);
    EXPECT_EQ(StatusOf([&] { return unit->GetStreamFormat(kAudioUnitScope_Group, 0).mReserved; }),
              kAudioUnitErr_InvalidScope);
    EXPECT_EQ(StatusOf([&] { return unit->IsStreamFormatWritable(In, 3); }),
              kAudioUnitErr_InvalidElement);
    EXPECT_FALSE(unit->IsStreamFormatWritable(kAudioUnitScope_Part, 0));

    // A connected input follows its source, whatever the unit would say.
    OpenTestUnit<PassThroughUnit> source;
    EXPECT_TRUE(unit->IsStreamFormatWritable(In, 0));
    unit->GetInput(0)->SetConnection({source.Instance(), 0, 0});
    EXPECT_FALSE(unit->IsStreamFormatWritable(In, 0));

    // A change lands on the addressed bus and is announced with the request's own address.
    ListenerLog log(*unit);
    EXPECT_EQ(unit->ChangeStreamFormat(G, 3, Canonical(1), Canonical(4)), noErr);
    EXPECT_EQ(unit->GetStreamFormat(Out, 0).mChannelsPerFrame, 4u);
    EXPECT_EQ(log.events, (Notifications{{kAudioUnitProperty_StreamFormat, G, 3}}));
}

}  // namespace
}  // namespace marvex::test
