#pragma once

#include "format/AudioChannelLayout.h"

// Questions about a channel layout record. Only the header (tag, bitmap, description count) is
// read, so a layout given as its 12-byte header alone is fine.
class CAAudioChannelLayout {
public:
    // [any thread] The number of channels the layout describes: the description count for
    // kAudioChannelLayoutTag_UseChannelDescriptions, the set bits of the bitmap for
    // kAudioChannelLayoutTag_UseChannelBitmap, else the tag's low 16 bits.
    static UInt32 NumberChannels(const AudioChannelLayout& inLayout);
};

// [any thread] The number of set bits, branch-free.
UInt32 CountOnes(UInt32 x);
