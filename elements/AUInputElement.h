#pragma once
// An input bus and where its audio comes from: nothing, a connection to a source unit's
// output, or the host's render callback.
//
// Rewiring (SetConnection, SetInputCallback, Disconnect) frees or replaces what a pull uses:
// it runs on the control thread and must not overlap a render of the unit.
//
// Threads: [control], unless a declaration says otherwise.

#include <atomic>

#include "elements/AUIOElement.h"
#include "format/AudioUnitConnection.h"
#include "format/AudioUnitFastDispatch.h"
#include "format/AudioUnitProperties.h"

class AUInputElement : public AUIOElement {
public:
    enum : UInt32 {
        kNoInput = 0,
        kFromConnection = 1,
        kFromCallback = 2,
    };

    explicit AUInputElement(marvex::AUElementOwner* unit);
    ~AUInputElement() override = default;

    // [control, not rendering] A null source disconnects. Otherwise keeps the connection,
    // allocates (a list block only: a connection renders into the source's buffers) and asks
    // the source for its direct render entry, falling back to AudioUnitRender when it has none.
    void SetConnection(const AudioUnitConnection& connection);
    // [control, not rendering] A null function disconnects.
    void SetInputCallback(AURenderCallback proc, void* refCon);
    // [control, not rendering] Forgets the source and frees the bus's sample memory.
    void Disconnect();

    // [control, uninitialised] The base's, then AllocateBuffer() on success.
    OSStatus SetStreamFormat(const CAStreamBasicDescription& format) override;
    // Only a callback input owns sample memory.
    bool NeedsBufferSpace() const override { return IsCallback(); }

    // [any thread]
    bool IsActive() const { return GetInputType() != kNoInput; }
    bool HasConnection() const { return GetInputType() == kFromConnection; }
    bool IsCallback() const { return GetInputType() == kFromCallback; }
    // [any thread] Relaxed: the type is read again after a pull only to notice a disconnect
    // that happened meanwhile; it orders nothing else.
    UInt32 GetInputType() const { return mInputType.load(std::memory_order_relaxed); }
    // [render] Wiring, which changes only while the unit does not render.
    const AudioUnitConnection& GetConnection() const { return mConnection; }
    bool HasDirectRenderEntry() const { return mConnRenderProc != nullptr; }

    // [render] Fetches one slice into this bus's buffer list (GetBufferList).
    // kAudioUnitErr_NoConnection without a source, or when it was lost during the pull. One
    // exception to the render promise: a callback input meeting a slice longer than it holds
    // allocates here. Buses are sized for the unit's maximum slice, which no render exceeds, so
    // a unit set up in order never meets it.
    OSStatus PullInput(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& inTimeStamp,
                       AudioUnitElement inElement, UInt32 nFrames);

private:
    void SetInputType(UInt32 type) { mInputType.store(type, std::memory_order_relaxed); }

    std::atomic<UInt32> mInputType{kNoInput};
    AURenderCallback mInputProc = nullptr;
    void* mInputProcRefCon = nullptr;
    AudioUnitConnection mConnection{};
    AudioUnitRenderProc mConnRenderProc = nullptr;
    void* mConnInstanceStorage = nullptr;
};
