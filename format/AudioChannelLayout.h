#pragma once
// Channel layouts: a tag, a bitmap and a variable number of channel descriptions.

#include <cstddef>

#include "format/PlatformTypes.h"

typedef UInt32 AudioChannelLayoutTag;
typedef UInt32 AudioChannelLabel;
typedef UInt32 AudioChannelFlags;

enum : AudioChannelLayoutTag {
    kAudioChannelLayoutTag_UseChannelDescriptions = 0,
    kAudioChannelLayoutTag_UseChannelBitmap = 0x10000,
};

struct AudioChannelDescription {
    AudioChannelLabel mChannelLabel;
    AudioChannelFlags mChannelFlags;
    Float32 mCoordinates[3];
};

// Declared with one description; a layout of n descriptions takes
// AudioChannelLayoutByteSize(n) bytes.
struct AudioChannelLayout {
    AudioChannelLayoutTag mChannelLayoutTag;
    UInt32 mChannelBitmap;
    UInt32 mNumberChannelDescriptions;
    AudioChannelDescription mChannelDescriptions[1];
};

static_assert(sizeof(AudioChannelDescription) == 20);
static_assert(offsetof(AudioChannelLayout, mChannelDescriptions) == 12);

namespace marvex {

// The channel count a tag carries in its low 16 bits (0 for the two special tags).
constexpr UInt32 ChannelLayoutTagChannels(AudioChannelLayoutTag tag) {
    return (tag == kAudioChannelLayoutTag_UseChannelDescriptions ||
            tag == kAudioChannelLayoutTag_UseChannelBitmap)
               ? 0
               : (tag & 0xFFFFu);
}

// 12 + 20 × descriptions, computed in 64 bits so a hostile count cannot wrap.
constexpr UInt64 AudioChannelLayoutByteSize(UInt32 descriptions) {
    return UInt64(offsetof(AudioChannelLayout, mChannelDescriptions)) +
           UInt64(descriptions) * sizeof(AudioChannelDescription);
}

}  // namespace marvex
