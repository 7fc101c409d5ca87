#include <gtest/gtest.h>

#include "tests/core/PropertiesTestUnit.h"

namespace marvex::test {
namespace {

CAStreamBasicDescription Canonical(UInt32 channels, bool interleaved) {
    CAStreamBasicDescription f;
    f.SetCanonical(channels, interleaved);
    f.mSampleRate = 44100.0;
    return f;
}

// A source of a format the unit refuses is not connected; a connected input takes the source's
// format and is no longer writable, whatever the unit would say.
TEST(StreamFormat, AConnectedInputFollowsItsSourceAndARefusedSourceIsNotConnected) {
    OpenTestUnit<PassThroughUnit> unit, source;
    const AudioUnitConnection connection{source.Instance(), 0, 0};
    source->GetOutput(0)->SetStreamFormat(Canonical(2, true));
    EXPECT_EQ(unit->SetConnection(connection), kAudioUnitErr_FormatNotSupported);
    EXPECT_TRUE(unit->IsStreamFormatWritable(kAudioUnitScope_Input, 0));
    source->GetOutput(0)->SetStreamFormat(Canonical(1, false));
    EXPECT_EQ(unit->SetConnection(connection), noErr);
    EXPECT_FALSE(unit->IsStreamFormatWritable(kAudioUnitScope_Input, 0));
    EXPECT_EQ(unit->GetStreamFormat(kAudioUnitScope_Input, 0).mChannelsPerFrame, 1u);
}

}  // namespace
}  // namespace marvex::test
