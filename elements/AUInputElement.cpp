#include "elements/AUInputElement.h"

#include "format/AudioUnitCalls.h"
#include "format/ComponentServices.h"

AUInputElement::AUInputElement(marvex::AUElementOwner* unit) : AUIOElement(unit) {}

void AUInputElement::SetConnection(const AudioUnitConnection& connection) {
    if (connection.sourceAudioUnit == nullptr) {
        Disconnect();
        return;
    }
    SetInputType(kFromConnection);
    mConnection = connection;
    mConnRenderProc = nullptr;
    AllocateBuffer();

    AudioUnitRenderProc entry = nullptr;
    UInt32 size = sizeof(entry);
    const OSStatus result =
        AudioUnitGetProperty(connection.sourceAudioUnit, kAudioUnitProperty_FastDispatch,
                             kAudioUnitScope_Global, kAudioUnitRenderSelect, &entry, &size);
    // Anything but a whole procedure pointer means the source offers no direct entry.
    mConnRenderProc = (result == noErr && size == sizeof(entry)) ? entry : nullptr;
    mConnInstanceStorage = GetComponentInstanceStorage(connection.sourceAudioUnit);
}

void AUInputElement::SetInputCallback(AURenderCallback proc, void* refCon) {
    if (proc == nullptr) {
        Disconnect();
        return;
    }
    SetInputType(kFromCallback);
    mInputProc = proc;
    mInputProcRefCon = refCon;
    AllocateBuffer();
}

void AUInputElement::Disconnect() {
    SetInputType(kNoInput);
    mIOBuffer.Deallocate();
}

OSStatus AUInputElement::SetStreamFormat(const CAStreamBasicDescription& format) {
    const OSStatus result = AUIOElement::SetStreamFormat(format);
    if (result == noErr) AllocateBuffer();
    return result;
}

OSStatus AUInputElement::PullInput(AudioUnitRenderActionFlags& ioActionFlags,
                                   const AudioTimeStamp& inTimeStamp, AudioUnitElement inElement,
                                   UInt32 nFrames) {
    const UInt32 inputType = GetInputType();
    if (inputType == kNoInput) return kAudioUnitErr_NoConnection;

    if (NeedsBufferSpace() && mIOBuffer.GetAllocatedFrames() < nFrames) {
        mIOBuffer.Allocate(mStreamFormat, nFrames);
    }

    OSStatus result;
    if (inputType == kFromConnection) {
        AudioBufferList& list = mIOBuffer.PrepareNullBuffer(mStreamFormat, nFrames);
        if (mConnRenderProc != nullptr) {
            result = mConnRenderProc(mConnInstanceStorage, &ioActionFlags, &inTimeStamp,
                                     mConnection.sourceOutputNumber, nFrames, &list);
        } else {
            result = AudioUnitRender(mConnection.sourceAudioUnit, &ioActionFlags, &inTimeStamp,
                                     mConnection.sourceOutputNumber, nFrames, &list);
        }
    } else {
        AudioBufferList& list = mIOBuffer.PrepareBuffer(mStreamFormat, nFrames);
        result =
            mInputProc(mInputProcRefCon, &ioActionFlags, &inTimeStamp, inElement, nFrames, &list);
    }

    // Disconnected while it was being pulled: whatever arrived is not this input's any more.
    if (GetInputType() == kNoInput) return kAudioUnitErr_NoConnection;
    return result;
}
