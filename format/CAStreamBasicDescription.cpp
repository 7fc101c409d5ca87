#include "format/CAStreamBasicDescription.h"

void CAStreamBasicDescription::SetCanonical(UInt32 channels, bool interleaved) {
    mFormatID = kAudioFormatLinearPCM;
    mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
    mBitsPerChannel = 32;
    mChannelsPerFrame = channels;
    mFramesPerPacket = 1;
    if (interleaved) {
        mBytesPerPacket = mBytesPerFrame = channels * UInt32(sizeof(Float32));
    } else {
        mBytesPerPacket = mBytesPerFrame = UInt32(sizeof(Float32));
        mFormatFlags |= kAudioFormatFlagIsNonInterleaved;
    }
}

bool MatchFormatFlags(const AudioStreamBasicDescription& x, const AudioStreamBasicDescription& y) {
    if (x.mFormatID == 0 || y.mFormatID == 0 || x.mFormatFlags == 0 || y.mFormatFlags == 0)
        return true;
    if (x.mFormatID != kAudioFormatLinearPCM) return x.mFormatFlags == y.mFormatFlags;

    UInt32 xf = x.mFormatFlags & ~UInt32(kAudioFormatFlagsAreAllClear);
    UInt32 yf = y.mFormatFlags & ~UInt32(kAudioFormatFlagsAreAllClear);
    // Alignment is meaningless when the bits fill the word.
    if (xf & yf & kAudioFormatFlagIsPacked) {
        xf &= ~UInt32(kAudioFormatFlagIsAlignedHigh);
        yf &= ~UInt32(kAudioFormatFlagIsAlignedHigh);
    }
    // Floats are signed by nature.
    if (xf & yf & kAudioFormatFlagIsFloat) {
        xf &= ~UInt32(kAudioFormatFlagIsSignedInteger);
        yf &= ~UInt32(kAudioFormatFlagIsSignedInteger);
    }
    // One byte has no byte order.
    if (x.mBitsPerChannel <= 8 && (xf & kAudioFormatFlagIsPacked))
        xf &= ~UInt32(kAudioFormatFlagIsBigEndian);
    if (y.mBitsPerChannel <= 8 && (yf & kAudioFormatFlagIsPacked))
        yf &= ~UInt32(kAudioFormatFlagIsBigEndian);
    // Mono is the same interleaved or not.
    if (x.mChannelsPerFrame <= 1 && y.mChannelsPerFrame <= 1) {
        xf &= ~UInt32(kAudioFormatFlagIsNonInterleaved);
        yf &= ~UInt32(kAudioFormatFlagIsNonInterleaved);
    }
    return xf == yf;
}

namespace {
bool WildcardDiffers(UInt32 a, UInt32 b) {
    return a != 0 && b != 0 && a != b;
}
}  // namespace

bool operator==(const AudioStreamBasicDescription& x, const AudioStreamBasicDescription& y) {
    if (!fiszero(x.mSampleRate) && !fiszero(y.mSampleRate) && !fequal(x.mSampleRate, y.mSampleRate))
        return false;
    if (WildcardDiffers(x.mFormatID, y.mFormatID)) return false;
    if (!MatchFormatFlags(x, y)) return false;
    if (WildcardDiffers(x.mBytesPerPacket, y.mBytesPerPacket)) return false;
    if (WildcardDiffers(x.mFramesPerPacket, y.mFramesPerPacket)) return false;
    if (WildcardDiffers(x.mBytesPerFrame, y.mBytesPerFrame)) return false;
    if (WildcardDiffers(x.mChannelsPerFrame, y.mChannelsPerFrame)) return false;
    if (WildcardDiffers(x.mBitsPerChannel, y.mBitsPerChannel)) return false;
    return true;
}
