#pragma once
// The sample memory and the buffer list of one bus. In each render the list either points into
// this object's own memory (PrepareBuffer), or at memory that belongs to someone else or to
// nothing (SetBufferList, PrepareNullBuffer).
//
// Render-path contract: PrepareBuffer, PrepareNullBuffer, SetBufferList, the copies and
// ZeroBuffer only rewrite descriptors or copy samples; they never allocate. Memory is
// allocated by Allocate (control thread, or a callback input meeting a longer slice) and only
// ever grows, so a shorter slice or fewer channels later allocates nothing.
//
// Failures are thrown as OSStatus: -1 for a list used while none is valid or too many buffers
// for the room there is, kAudioUnitErr_FormatNotSupported for more streams than allocated,
// kAudioUnitErr_TooManyFramesToProcess for buffers that would reach past the memory or whose
// byte size does not fit 32 bits. Allocate throws std::bad_alloc when memory runs out or the
// total would not fit the 32-bit byte count (the entry points report it as memFullErr).
//
// Threads: [control], unless a declaration says otherwise.

#include "format/AudioBufferList.h"
#include "format/AudioUnitExternalBuffer.h"
#include "format/CAStreamBasicDescription.h"
#include "format/OSStatus.h"

class AUBufferList {
public:
    enum : UInt32 {
        kPtrsInvalid = 0,
        kPtrsToMyMemory = 1,
        kPtrsToExternalMemory = 2,  // someone else's memory, or none
    };

    AUBufferList() = default;
    ~AUBufferList();
    AUBufferList(const AUBufferList&) = delete;
    AUBufferList& operator=(const AUBufferList&) = delete;

    // [control] Room for the format's streams and nFrames frames each, every stream's share
    // rounded up to 16 bytes. Grows only; the pointer state becomes invalid.
    void Allocate(const CAStreamBasicDescription& format, UInt32 nFrames);
    // [control] Frees own memory (forgets external memory) and zeroes the counts; the list
    // block stays.
    void Deallocate();

    // [render] Lays the list over this object's memory for nFrames frames.
    AudioBufferList& PrepareBuffer(const CAStreamBasicDescription& format, UInt32 nFrames);
    // [render] As PrepareBuffer but every data pointer is null; a producer supplies its own
    // buffers.
    AudioBufferList& PrepareNullBuffer(const CAStreamBasicDescription& format, UInt32 nFrames);
    // [render] Adopts the descriptors of `abl` (the buffers stay the caller's).
    AudioBufferList& SetBufferList(const AudioBufferList& abl);
    // [render] Lays the list over a render caller's buffers for nFrames frames: the data
    // pointers are the caller's, channel counts and byte sizes the format's. A caller's stated
    // sizes are not limits: they are what the last render delivered, and hosts reuse lists
    // without resetting them; what the caller promises is room for the frames it asks for.
    // Returns paramErr (and changes nothing) when `abl` has fewer buffers than the format has
    // streams or a null data pointer among them, kAudioUnitErr_FormatNotSupported for more
    // streams than allocated, kAudioUnitErr_TooManyFramesToProcess when a buffer's size would
    // not fit 32 bits.
    OSStatus AdoptCallerBuffers(const CAStreamBasicDescription& format, UInt32 nFrames,
                                const AudioBufferList& abl);
    // [render]
    AudioBufferList& GetBufferList() const;
    // [render]
    void InvalidateBufferList() { mPtrState = kPtrsInvalid; }

    // [render] Gives `abl` this list's count and descriptors (data pointers, not samples). `abl`
    // must have room for this list's buffers: its own count says how many it has.
    void CopyBufferListTo(AudioBufferList& abl) const;
    // [render] Copies each buffer's samples, all mDataByteSize bytes of it, into the matching
    // buffer of `abl` (this list's last buffer feeds any surplus destination buffers) and sets
    // the destination's byte size to what it received. A destination's stated size is an
    // output, not a limit: the caller promises room for the frames it asked for. A null
    // destination (or source) data pointer is refused before anything is written.
    void CopyBufferContentsTo(AudioBufferList& abl) const;
    // [render] Zeroes mDataByteSize bytes of every buffer of `abl` that has data.
    static void ZeroBuffer(AudioBufferList& abl);

    // [control, not rendering] Takes a host buffer as the sample memory when it is at least as
    // large as the memory held now; ignores it otherwise (also when nothing was allocated yet).
    // The host's memory is never freed here.
    void UseExternalBuffer(const CAStreamBasicDescription& format,
                           const AudioUnitExternalBuffer& buf);

    // [render] What the memory holds and where the list points.
    UInt32 GetAllocatedFrames() const { return mAllocatedFrames; }
    UInt32 GetAllocatedStreams() const { return mAllocatedStreams; }
    UInt32 GetAllocatedBytes() const { return mAllocatedBytes; }
    UInt32 GetPtrState() const { return mPtrState; }
    bool UsesExternalMemory() const { return mExternalMemory; }
    const UInt8* GetMemory() const { return mMemory; }

private:
    AudioBufferList& PrepareDescriptors(const CAStreamBasicDescription& format, UInt32 nFrames,
                                        UInt8* memory, UInt32 stride);
    void FreeMemory();

    UInt32 mPtrState = kPtrsInvalid;
    bool mExternalMemory = false;
    AudioBufferList* mPtrs = nullptr;  // room for mListCapacity descriptors
    UInt8* mMemory = nullptr;
    UInt32 mAllocatedStreams = 0;
    UInt32 mAllocatedFrames = 0;
    UInt32 mAllocatedBytes = 0;
    UInt32 mListCapacity = 0;  // descriptors the list block really holds (kept by Deallocate)
};
