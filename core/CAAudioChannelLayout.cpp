#include "core/CAAudioChannelLayout.h"

UInt32 CAAudioChannelLayout::NumberChannels(const AudioChannelLayout& inLayout) {
    switch (inLayout.mChannelLayoutTag) {
        case kAudioChannelLayoutTag_UseChannelDescriptions:
            return inLayout.mNumberChannelDescriptions;
        case kAudioChannelLayoutTag_UseChannelBitmap:
            return CountOnes(inLayout.mChannelBitmap);
        default:
            return inLayout.mChannelLayoutTag & 0xFFFFu;
    }
}

UInt32 CountOnes(UInt32 x) {
    x = x - ((x >> 1) & 0x55555555u);                  // 2-bit counts
    x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);  // 4-bit counts
    x = (x + (x >> 4)) & 0x0F0F0F0Fu;                  // byte counts
    return (x * 0x01010101u) >> 24;                    // sum of the bytes in the top byte
}
