#pragma once
// An input bus and where its audio comes from: nothing, a connection to a source unit's
// output, or the host's render callback.
//
// Rewiring (SetConnection, SetInputCallback, Disconnect) frees or replaces what a pull uses:
// it runs on the control thread and must not overlap a render of the unit.

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

    // A null source disconnects. Otherwise keeps the connection, allocates (a list block only:
    // a connection renders into the source's buffers) and asks the source for its direct
    // render entry, falling back to AudioUnitRender when it has none.  [control]
    void SetConnection(const AudioUnitConnection& connection);
    // A null function disconnects.  [control]
    void SetInputCallback(AURenderCallback proc, void* refCon);
    // Forgets the source and frees the bus's sample memory.  [control]
    void Disconnect();

    // The base's, then AllocateBuffer() on success.  [control]
    OSStatus SetStreamFormat(const CAStreamBasicDescription& format) override;
    // Only a callback input owns sample memory.
    bool NeedsBufferSpace() const override { return IsCallback(); }

    bool IsActive() const { return GetInputType() != kNoInput; }
    bool HasConnection() const { return GetInputType() == kFromConnection; }
    bool IsCallback() const { return GetInputType() == kFromCallback; }
    // Relaxed: the type is read again after a pull only to notice a disconnect that happened
    // meanwhile; it orders nothing else.  [any thread]
    UInt32 GetInputType() const { return mInputType.load(std::memory_order_relaxed); }
    const AudioUnitConnection& GetConnection() const { return mConnection; }
    bool HasDirectRenderEntry() const { return mConnRenderProc != nullptr; }

    // Fetches one slice into this bus's buffer list (GetBufferList). A callback input meeting
    // a slice longer than it holds allocates here, on the render thread; nothing else does.
    // kAudioUnitErr_NoConnection without a source, or when it was lost during the pull.
    // [render]
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
