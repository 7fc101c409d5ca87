#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>

#include "format/CAStreamBasicDescription.h"

namespace {

CAStreamBasicDescription Canonical(UInt32 channels, bool interleaved, Float64 rate = 44100.0) {
    CAStreamBasicDescription d;
    d.mSampleRate = rate;
    d.SetCanonical(channels, interleaved);
    return d;
}

TEST(StreamFormat, CanonicalLayoutInterleavedAndNot) {
    CAStreamBasicDescription d;
    d.mReserved = 7;
    d.SetCanonical(2, true);
    EXPECT_EQ((std::array{d.mFormatID, d.mFormatFlags, d.mBytesPerPacket, d.mBytesPerFrame,
                          d.mFramesPerPacket, d.mBitsPerChannel, d.mReserved}),
              (std::array<UInt32, 7>{0x6C70636D, 9, 8, 8, 1, 32, 7}));
    EXPECT_EQ(d.NumberChannelStreams(), 1u);
    d.SetCanonical(2, false);
    EXPECT_EQ((std::array{d.mFormatFlags, d.mBytesPerFrame, d.NumberChannelStreams()}),
              (std::array<UInt32, 3>{0x29, 4, 2}));
    d.mFormatID = marvex::FourCC("aac ");
    EXPECT_EQ(d.NumberChannelStreams(), 1u) << "only linear PCM is split into streams";
}

// Zero fields are wildcards on either side; every other field is compared, with the flag
// differences that mean nothing for the layout ignored.
TEST(StreamFormat, MatchesFieldByFieldWithWildcardsAndHarmlessFlags) {
    using Change = std::function<void(CAStreamBasicDescription&)>;
    const auto flags = [](UInt32 add, UInt32 remove = 0) -> Change {
        return
            [=](CAStreamBasicDescription& d) { d.mFormatFlags = (d.mFormatFlags | add) & ~remove; };
    };
    const struct {
        UInt32 channels;
        Change change;
        bool matches;
    } rows[] = {
        {2, [](auto& d) { d = CAStreamBasicDescription(); }, true},
        {2, [](auto& d) { d.mSampleRate = 0; }, true},
        {2, [](auto& d) { d.mReserved = 99; }, true},
        {2, [](auto& d) { d.mSampleRate = 48000; }, false},
        {2, [](auto& d) { d.mSampleRate = NAN; }, false},
        {2, [](auto& d) { d.mChannelsPerFrame = 3; }, false},
        {2, [](auto& d) { d.mBytesPerFrame += 1; }, false},
        {2, [](auto& d) { d.mBytesPerPacket += 1; }, false},
        {2, [](auto& d) { d.mFramesPerPacket += 1; }, false},
        {2, [](auto& d) { d.mBitsPerChannel += 1; }, false},
        {2, [](auto& d) { d.mFormatID += 1; }, false},
        {2, flags(kAudioFormatFlagIsAlignedHigh), true},
        {2, flags(kAudioFormatFlagIsSignedInteger | kAudioFormatFlagsAreAllClear), true},
        {2, flags(kAudioFormatFlagIsNonInterleaved), false},
        {1, flags(kAudioFormatFlagIsNonInterleaved), true},
        {2, flags(kAudioFormatFlagIsBigEndian), false},
    };
    for (const auto& row : rows) {
        const auto base = Canonical(row.channels, true);
        auto other = base;
        row.change(other);
        EXPECT_EQ(base == other, row.matches) << &row - rows;
        EXPECT_EQ(other == base, row.matches) << &row - rows;
    }
    auto loose = Canonical(2, true);
    loose.mFormatFlags &= ~UInt32(kAudioFormatFlagIsPacked);
    auto looseHigh = loose;
    looseHigh.mFormatFlags |= kAudioFormatFlagIsAlignedHigh;
    EXPECT_FALSE(loose == looseHigh) << "alignment matters once a side is not packed";
    EXPECT_TRUE(fnotequal(0.1, std::nextafter(0.1, 1.0))) << "rates compare without tolerance";
}

}  // namespace
