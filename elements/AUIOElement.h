#pragma once
// A bus: an element with a stream format and the buffer list its audio passes through.
//
// Threads: [control], unless a declaration says otherwise.

#include "elements/AUBufferList.h"
#include "elements/AUElement.h"
#include "format/AudioChannelLayout.h"
#include "format/CAStreamBasicDescription.h"

class AUIOElement : public AUElement {
public:
    // Default format: canonical 2-channel float at 44100 Hz, interleaved only for units of
    // API version 1.
    explicit AUIOElement(marvex::AUElementOwner* unit);
    ~AUIOElement() override = default;

    // [render] The format changes only while the unit is uninitialised.
    const CAStreamBasicDescription& GetStreamFormat() const { return mStreamFormat; }
    // [control, uninitialised] Takes the whole description; validation is the unit's. Returns
    // noErr.
    virtual OSStatus SetStreamFormat(const CAStreamBasicDescription& format);
    virtual bool NeedsBufferSpace() const = 0;

    // Channel layouts: the defaults offer no tags, hold no layout and refuse changes.
    virtual UInt32 GetChannelLayoutTags(AudioChannelLayoutTag* outLayoutTags);
    virtual UInt32 GetAudioChannelLayout(AudioChannelLayout* outLayout, Boolean& outWritable);
    virtual OSStatus SetAudioChannelLayout(const AudioChannelLayout& layout);
    virtual OSStatus RemoveAudioChannelLayout();

    // [control, not rendering] Only while the unit is initialised: room for `frames` frames
    // (0: the unit's maximum per slice), or a list block alone when the bus needs no buffer
    // space. Does nothing before.
    void AllocateBuffer(UInt32 frames = 0);
    // [control, not rendering]
    void DeallocateBuffer() { mIOBuffer.Deallocate(); }

    // [render]
    AudioBufferList& PrepareBuffer(UInt32 nFrames) {
        return mIOBuffer.PrepareBuffer(mStreamFormat, nFrames);
    }
    AudioBufferList& PrepareNullBuffer(UInt32 nFrames) {
        return mIOBuffer.PrepareNullBuffer(mStreamFormat, nFrames);
    }
    AudioBufferList& SetBufferList(AudioBufferList& abl) { return mIOBuffer.SetBufferList(abl); }
    OSStatus AdoptCallerBuffers(const AudioBufferList& abl, UInt32 nFrames) {
        return mIOBuffer.AdoptCallerBuffers(mStreamFormat, nFrames, abl);
    }
    AudioBufferList& GetBufferList() const { return mIOBuffer.GetBufferList(); }
    void InvalidateBufferList() { mIOBuffer.InvalidateBufferList(); }
    void CopyBufferListTo(AudioBufferList& abl) const { mIOBuffer.CopyBufferListTo(abl); }
    void CopyBufferContentsTo(AudioBufferList& abl) const { mIOBuffer.CopyBufferContentsTo(abl); }

    // [control, not rendering]
    void UseExternalBuffer(const AudioUnitExternalBuffer& buf) {
        mIOBuffer.UseExternalBuffer(mStreamFormat, buf);
    }

    // [render]
    const AUBufferList& GetAUBufferList() const { return mIOBuffer; }

protected:
    CAStreamBasicDescription mStreamFormat;
    AUBufferList mIOBuffer;
};
