#pragma once
// The stream-format record exchanged with hosts: 40 bytes, native byte order.

#include "format/PlatformTypes.h"

struct AudioStreamBasicDescription {
    Float64 mSampleRate;
    UInt32 mFormatID;
    UInt32 mFormatFlags;
    UInt32 mBytesPerPacket;
    UInt32 mFramesPerPacket;
    UInt32 mBytesPerFrame;
    UInt32 mChannelsPerFrame;
    UInt32 mBitsPerChannel;
    UInt32 mReserved;
};

static_assert(sizeof(AudioStreamBasicDescription) == 40);

enum : UInt32 {
    kAudioFormatLinearPCM = 0x6C70636D,  // 'lpcm'
};

enum : UInt32 {
    kAudioFormatFlagIsFloat = 0x1,
    kAudioFormatFlagIsBigEndian = 0x2,
    kAudioFormatFlagIsSignedInteger = 0x4,
    kAudioFormatFlagIsPacked = 0x8,
    kAudioFormatFlagIsAlignedHigh = 0x10,
    kAudioFormatFlagIsNonInterleaved = 0x20,
    kAudioFormatFlagsAreAllClear = 0x80000000,
};
