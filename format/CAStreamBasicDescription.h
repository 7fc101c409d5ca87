#pragma once
// The stream format inside the system: the platform record with a constructor, queries, the
// canonical-format rule and wildcard-aware equality. Adds no fields and no virtual operations,
// so a pointer to one is a pointer to the record.

#include "format/AudioStreamBasicDescription.h"

// Exact comparisons of 64-bit floats (no tolerance anywhere: formats and sample times compare
// exactly). NaN is neither zero nor equal to anything.
inline bool fiszero(Float64 f) {
    return f == 0.0;
}
inline bool fequal(const Float64& a, const Float64& b) {
    return a == b;
}
inline bool fnotequal(const Float64& a, const Float64& b) {
    return !fequal(a, b);
}

class CAStreamBasicDescription : public AudioStreamBasicDescription {
public:
    // All 40 bytes zero: every field a wildcard.
    CAStreamBasicDescription() : AudioStreamBasicDescription{} {}
    CAStreamBasicDescription(const AudioStreamBasicDescription& desc)
        : AudioStreamBasicDescription(desc) {}
    CAStreamBasicDescription& operator=(const AudioStreamBasicDescription& desc) {
        static_cast<AudioStreamBasicDescription&>(*this) = desc;
        return *this;
    }

    bool IsPCM() const { return mFormatID == kAudioFormatLinearPCM; }
    bool IsInterleaved() const {
        return !IsPCM() || (mFormatFlags & kAudioFormatFlagIsNonInterleaved) == 0;
    }
    // Channels sharing one buffer.
    UInt32 NumberInterleavedChannels() const { return IsInterleaved() ? mChannelsPerFrame : 1; }
    // Buffers a buffer list of this format needs.
    UInt32 NumberChannelStreams() const { return IsInterleaved() ? 1 : mChannelsPerFrame; }
    UInt32 NumberChannels() const { return mChannelsPerFrame; }

    // Native packed 32-bit float; leaves the sample rate and mReserved alone. The byte counts
    // wrap for channel counts above 2^30, as the 32-bit fields do.
    void SetCanonical(UInt32 channels, bool interleaved);
};

static_assert(sizeof(CAStreamBasicDescription) == sizeof(AudioStreamBasicDescription));

// Whether two flag words describe the same encoding (zero fields are wildcards).
bool MatchFormatFlags(const AudioStreamBasicDescription& x, const AudioStreamBasicDescription& y);

// Wildcard-aware equality: a field that is zero on either side matches; mReserved is ignored.
bool operator==(const AudioStreamBasicDescription& x, const AudioStreamBasicDescription& y);
