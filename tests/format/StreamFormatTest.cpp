#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "format/CAStreamBasicDescription.h"

namespace {

CAStreamBasicDescription Canonical(UInt32 channels, bool interleaved, Float64 rate = 44100.0) {
    CAStreamBasicDescription d;
    d.mSampleRate = rate;
    d.SetCanonical(channels, interleaved);
    return d;
}

CAStreamBasicDescription Integer8(UInt32 flags) {
    CAStreamBasicDescription d;
    d.mSampleRate = 8000;
    d.mFormatID = kAudioFormatLinearPCM;
    d.mFormatFlags = flags;
    d.mBytesPerPacket = d.mBytesPerFrame = 1;
    d.mFramesPerPacket = 1;
    d.mChannelsPerFrame = 1;
    d.mBitsPerChannel = 8;
    return d;
}

}  // namespace

TEST(StreamFormat, CanonicalLayoutInterleavedAndNot) {
    CAStreamBasicDescription d;
    d.mReserved = 7;
    d.SetCanonical(2, true);
    EXPECT_EQ(d.mFormatID, 0x6C70636Du);
    EXPECT_EQ(d.mFormatFlags, 9u);
    EXPECT_EQ(d.mBytesPerPacket, 8u);
    EXPECT_EQ(d.mBytesPerFrame, 8u);
    EXPECT_EQ(d.mFramesPerPacket, 1u);
    EXPECT_EQ(d.mChannelsPerFrame, 2u);
    EXPECT_EQ(d.mBitsPerChannel, 32u);
    EXPECT_EQ(d.mSampleRate, 0.0);  // untouched
    EXPECT_EQ(d.mReserved, 7u);     // untouched
    EXPECT_TRUE(d.IsInterleaved());
    EXPECT_EQ(d.NumberChannelStreams(), 1u);
    EXPECT_EQ(d.NumberInterleavedChannels(), 2u);

    d.SetCanonical(2, false);
    EXPECT_EQ(d.mFormatFlags, 0x29u);
    EXPECT_EQ(d.mBytesPerPacket, 4u);
    EXPECT_EQ(d.mBytesPerFrame, 4u);
    EXPECT_FALSE(d.IsInterleaved());
    EXPECT_EQ(d.NumberChannelStreams(), 2u);
    EXPECT_EQ(d.NumberInterleavedChannels(), 1u);
}

TEST(StreamFormat, NonPcmIsAlwaysInterleaved) {
    CAStreamBasicDescription d;
    d.mFormatID = marvex::FourCC("aac ");
    d.mFormatFlags = kAudioFormatFlagIsNonInterleaved;
    d.mChannelsPerFrame = 6;
    EXPECT_FALSE(d.IsPCM());
    EXPECT_TRUE(d.IsInterleaved());
    EXPECT_EQ(d.NumberChannelStreams(), 1u);
    EXPECT_EQ(d.NumberInterleavedChannels(), 6u);
    EXPECT_EQ(d.NumberChannels(), 6u);
}

TEST(StreamFormat, ZeroFieldsAreWildcards) {
    const CAStreamBasicDescription any;
    const auto stereo = Canonical(2, false);
    EXPECT_TRUE(any == stereo);
    EXPECT_TRUE(stereo == any);

    auto rateless = stereo;
    rateless.mSampleRate = 0.0;
    EXPECT_TRUE(rateless == stereo);

    auto noChannels = stereo;
    noChannels.mChannelsPerFrame = 0;
    EXPECT_TRUE(noChannels == Canonical(5, false));

    auto reserved = stereo;
    reserved.mReserved = 99;
    EXPECT_TRUE(reserved == stereo);  // never compared
}

TEST(StreamFormat, EveryNonWildcardFieldIsCompared) {
    const auto base = Canonical(2, true);
    EXPECT_FALSE(base == Canonical(2, true, 48000.0));
    EXPECT_FALSE(base == Canonical(1, true));
    EXPECT_FALSE(base == Canonical(2, false));  // stereo: interleaving matters

    UInt32 AudioStreamBasicDescription::*fields[] = {
        &AudioStreamBasicDescription::mFormatID,
        &AudioStreamBasicDescription::mBytesPerPacket,
        &AudioStreamBasicDescription::mFramesPerPacket,
        &AudioStreamBasicDescription::mBytesPerFrame,
        &AudioStreamBasicDescription::mChannelsPerFrame,
        &AudioStreamBasicDescription::mBitsPerChannel,
    };
    for (auto field : fields) {
        auto other = base;
        other.*field += 1;
        EXPECT_FALSE(base == other);
    }
}

TEST(StreamFormat, NaNRateMatchesNothingButIsNotAWildcard) {
    auto nanRate = Canonical(1, true, std::numeric_limits<Float64>::quiet_NaN());
    EXPECT_FALSE(nanRate == Canonical(1, true));
    EXPECT_FALSE(nanRate == nanRate);
    EXPECT_TRUE(nanRate == Canonical(1, true, 0.0));  // the other side is the wildcard
    EXPECT_FALSE(fiszero(std::nan("")));
    EXPECT_TRUE(fiszero(-0.0));
    const Float64 a = 0.1, next = std::nextafter(0.1, 1.0);
    EXPECT_TRUE(fnotequal(a, next));  // no tolerance: one ulp apart is different
    EXPECT_FALSE(fnotequal(a, a));
}

TEST(StreamFormat, FlagEquivalences) {
    // Aligned-high means nothing once both sides are packed...
    auto packed = Canonical(2, true);
    auto packedHigh = packed;
    packedHigh.mFormatFlags |= kAudioFormatFlagIsAlignedHigh;
    EXPECT_TRUE(packed == packedHigh);
    // ...but it does when one side is not packed.
    auto loose = packedHigh;
    loose.mFormatFlags &= ~UInt32(kAudioFormatFlagIsPacked);
    auto looseLow = loose;
    looseLow.mFormatFlags &= ~UInt32(kAudioFormatFlagIsAlignedHigh);
    EXPECT_FALSE(loose == looseLow);

    // Mono is the same buffer either way; stereo is not.
    EXPECT_TRUE(Canonical(1, true) == [] {
        auto d = Canonical(1, true);
        d.mFormatFlags |= kAudioFormatFlagIsNonInterleaved;
        return d;
    }());

    // One byte has no byte order when packed.
    EXPECT_TRUE(Integer8(kAudioFormatFlagIsPacked) ==
                Integer8(kAudioFormatFlagIsPacked | kAudioFormatFlagIsBigEndian));
    auto wide = Integer8(kAudioFormatFlagIsPacked);
    auto wideBig = Integer8(kAudioFormatFlagIsPacked | kAudioFormatFlagIsBigEndian);
    wide.mBitsPerChannel = wideBig.mBitsPerChannel = 16;
    EXPECT_FALSE(wide == wideBig);
    EXPECT_FALSE(Integer8(kAudioFormatFlagIsSignedInteger) ==
                 Integer8(kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsBigEndian));

    // Floats are signed; the all-clear marker is ignored.
    auto signedFloat = Canonical(2, true);
    signedFloat.mFormatFlags |= kAudioFormatFlagIsSignedInteger | kAudioFormatFlagsAreAllClear;
    EXPECT_TRUE(signedFloat == Canonical(2, true));
}

TEST(StreamFormat, ForeignFormatFlagsCompareExactly) {
    CAStreamBasicDescription x, y;
    x.mFormatID = y.mFormatID = marvex::FourCC("ima4");
    x.mFormatFlags = kAudioFormatFlagIsPacked;
    y.mFormatFlags = kAudioFormatFlagIsPacked | kAudioFormatFlagIsAlignedHigh;
    EXPECT_FALSE(x == y);
    EXPECT_FALSE(MatchFormatFlags(x, y));
    y.mFormatFlags = 0;
    EXPECT_TRUE(MatchFormatFlags(x, y));
}
