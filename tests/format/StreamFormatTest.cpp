#include <gtest/gtest.h>

#include <cmath>

#include "format/CAStreamBasicDescription.h"

namespace {

CAStreamBasicDescription Canonical(UInt32 channels) {
    CAStreamBasicDescription d;
    d.mSampleRate = 44100.0;
    d.SetCanonical(channels, true);
    return d;
}

// Zero fields are wildcards on either side; every other field is compared, with the flag
// differences that mean nothing for the layout ignored.
TEST(StreamFormat, MatchesFieldByFieldWithWildcardsAndHarmlessFlags) {
    const struct {
        UInt32 channels;
        void (*change)(CAStreamBasicDescription&);
        std::pair<UInt32, UInt32> flags;  // added, removed
        bool matches;
    } rows[] = {
        {2, [](auto& d) { d = CAStreamBasicDescription(); }, {}, true},
        {2, [](auto& d) { d.mSampleRate = 0; }, {}, true},
        {2, [](auto& d) { d.mSampleRate = 48000; }, {}, false},
        {2, [](auto& d) { d.mSampleRate = NAN; }, {}, false},
        {2, [](auto& d) { d.mChannelsPerFrame = 3; }, {}, false},
        {2, [](auto& d) { d.mBytesPerFrame += 1; }, {}, false},
        {2, nullptr, {kAudioFormatFlagIsAlignedHigh, 0}, true},
        {2, nullptr, {kAudioFormatFlagIsNonInterleaved, 0}, false},
        {1, nullptr, {kAudioFormatFlagIsNonInterleaved, 0}, true},
    };
    for (const auto& row : rows) {
        const auto base = Canonical(row.channels);
        auto other = base;
        if (row.change != nullptr) row.change(other);
        other.mFormatFlags = (other.mFormatFlags | row.flags.first) & ~row.flags.second;
        EXPECT_EQ(base == other, row.matches) << &row - rows;
        EXPECT_EQ(other == base, row.matches) << &row - rows;
    }
}

}  // namespace
