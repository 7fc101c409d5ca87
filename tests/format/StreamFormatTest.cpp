#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "format/CAStreamBasicDescription.h"

namespace {

CAStreamBasicDescription Canonical(UInt32 channels, bool interleaved) {
    CAStreamBasicDescription d;
    d.mSampleRate = 44100.0;
    d.mReserved = 7;  // not part of the layout: left alone
    d.SetCanonical(channels, interleaved);
    return d;
}

TEST(StreamFormat, CanonicalLayoutInterleavedAndNot) {
    auto d = Canonical(2, true);
    EXPECT_EQ(
        (std::array{d.mFormatID, d.mFormatFlags, d.mBytesPerPacket, d.mBytesPerFrame,
                    d.mFramesPerPacket, d.mBitsPerChannel, d.mReserved, d.NumberChannelStreams()}),
        (std::array<UInt32, 8>{0x6C70636D, 9, 8, 8, 1, 32, 7, 1}));
    d = Canonical(2, false);
    EXPECT_EQ((std::array{d.mFormatFlags, d.mBytesPerFrame, d.NumberChannelStreams()}),
              (std::array<UInt32, 3>{0x29, 4, 2}));
    d.mFormatID = marvex::FourCC("aac ");
    EXPECT_EQ(d.NumberChannelStreams(), 1u) << "only linear PCM is split into streams";
}

// Zero fields are wildcards on either side; every other field is compared, with the flag
// differences that mean nothing for the layout ignored.
TEST(StreamFormat, MatchesFieldByFieldWithWildcardsAndHarmlessFlags) {
    using Flags = std::pair<UInt32, UInt32>;  // added, removed
    const struct {
        UInt32 channels;
        void (*change)(CAStreamBasicDescription&);
        Flags flags;
        bool matches;
    } rows[] = {
        {2, [](auto& d) { d = CAStreamBasicDescription(); }, {}, true},
        {2, [](auto& d) { d.mSampleRate = 0; }, {}, true},
        {2, [](auto& d) { d.mReserved = 99; }, {}, true},
        {2, [](auto& d) { d.mSampleRate = 48000; }, {}, false},
        {2, [](auto& d) { d.mSampleRate = NAN; }, {}, false},
        {2, [](auto& d) { d.mSampleRate = std::nextafter(44100.0, 1e6); }, {}, false},
        {2, [](auto& d) { d.mChannelsPerFrame = 3; }, {}, false},
        {2, [](auto& d) { d.mBytesPerFrame += 1; }, {}, false},
        {2, [](auto& d) { d.mBytesPerPacket += 1; }, {}, false},
        {2, [](auto& d) { d.mFramesPerPacket += 1; }, {}, false},
        {2, [](auto& d) { d.mBitsPerChannel += 1; }, {}, false},
        {2, [](auto& d) { d.mFormatID += 1; }, {}, false},
        {2, nullptr, {kAudioFormatFlagIsAlignedHigh, 0}, true},
        {2, nullptr, {kAudioFormatFlagIsSignedInteger | kAudioFormatFlagsAreAllClear, 0}, true},
        {2, nullptr, {kAudioFormatFlagIsNonInterleaved, 0}, false},
        {1, nullptr, {kAudioFormatFlagIsNonInterleaved, 0}, true},
        {2, nullptr, {kAudioFormatFlagIsBigEndian, 0}, false},
    };
    for (const auto& row : rows) {
        const auto base = Canonical(row.channels, true);
        auto other = base;
        if (row.change != nullptr) row.change(other);
        other.mFormatFlags = (other.mFormatFlags | row.flags.first) & ~row.flags.second;
        EXPECT_EQ(base == other, row.matches) << &row - rows;
        EXPECT_EQ(other == base, row.matches) << &row - rows;
    }
    auto loose = Canonical(2, true);
    loose.mFormatFlags &= ~UInt32(kAudioFormatFlagIsPacked);
    auto looseHigh = loose;
    looseHigh.mFormatFlags |= kAudioFormatFlagIsAlignedHigh;
    EXPECT_FALSE(loose == looseHigh) << "alignment matters once a side is not packed";
}

}  // namespace
