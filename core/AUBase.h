#pragma once

#include <atomic>
#include <vector>

#include "core/ComponentBase.h"
#include "core/PropertyListenerList.h"
#include "core/TThreadSafeList.h"
#include "elements/AUElement.h"
#include "elements/AUElementCreator.h"
#include "elements/AUElementOwner.h"
#include "elements/AUIOElement.h"
#include "elements/AUInputElement.h"
#include "elements/AUOutputElement.h"
#include "elements/AUScope.h"
#include "format/AUChannelInfo.h"
#include "format/AUPreset.h"
#include "format/AudioBufferList.h"
#include "format/AudioChannelLayout.h"
#include "format/AudioTimeStamp.h"
#include "format/AudioUnitConnection.h"
#include "format/AudioUnitParameterEvent.h"
#include "format/AudioUnitParameterInfo.h"
#include "format/AudioUnitProperties.h"
#include "format/CAStreamBasicDescription.h"
#include "format/CFBase.h"
#include "format/ComponentParameters.h"
#include "format/HostCallbackInfo.h"
#include "format/OSStatus.h"

// The core of every unit instance: five scopes of elements, the lifecycle (construct, create
// elements, initialise, clean up), property and parameter access, property listeners, the
// render pipeline with its notification list, scheduled parameter events and saved state.
//
// Threads (docs/THREADS.md): everything runs on the host's control thread except the render
// path (DoRender and what it calls, tagged [render]), which allocates nothing and takes no lock,
// and the parameter values, which any thread reads and writes. The host must not initialise,
// clean up, reset, rewire inputs or schedule parameters while the unit renders. A tag in a
// section heading covers the section.
//
// Failures: lookups of scopes, elements and parameters throw a plain OSStatus; operations that
// face the host return one. Only the component entry point, the fast paths and DoRender catch.
//
// Where the members are defined:
//   AUBase.cpp            construction, lifecycle, buffers, scopes and elements, key strings
//   AUBaseListeners.cpp   property listeners and PropertyChanged
//   AUBaseParameters.cpp  parameter access, group hooks, scheduling and slicing
//   AUBaseRender.cpp      render pipeline, render notifications, connections, input callbacks
//   AUBaseProperties.cpp  the Dispatch* operations and the default bodies of the property
//                         hooks (GetPropertyInfo .. RemovePropertyValue, BusCountWritable,
//                         SetBusCount, GetParameterList, GetParameterInfo,
//                         GetParameterValueStrings, GetNumCustomUIComponents,
//                         GetUIComponentDescs, CopyIconLocation, GetLatency, GetTailTime,
//                         SupportsTail, SupportedNumChannels), HasIcon, FillInParameterName
//   AUBaseFormats.cpp     ValidFormat, FormatIsCanonical, GetStreamFormat,
//                         IsStreamFormatWritable, ChangeStreamFormat, the channel-layout hooks
//   AUBaseState.cpp       SaveState, RestoreState, GetPresets, NewFactoryPresetSet
//   AUDispatch.cpp        ComponentEntryDispatch (both) and the fast paths
class AUBase : public ComponentBase, public AUElementCreator, public marvex::AUElementOwner {
public:
    using ParameterEventList = std::vector<AudioUnitParameterEvent>;

    // A registered render notification; two are equal when procedure and context both are.
    struct RenderCallback {
        RenderCallback() = default;
        RenderCallback(AURenderCallback proc, void* refCon) : mProc(proc), mRefCon(refCon) {}
        bool operator==(const RenderCallback& other) const {
            return mProc == other.mProc && mRefCon == other.mRefCon;
        }

        AURenderCallback mProc = nullptr;
        void* mRefCon = nullptr;
    };

    static constexpr UInt32 kNumberOfScopes = 5;
    static constexpr UInt32 kDefaultMaxFramesPerSlice = 1156;
    static constexpr UInt8 kAUBaseAPIVersion = 2;

    // [control] The initial element counts of the input, output, group and part scopes; those
    // elements are made by CreateElements (PostConstructor), the global element here.
    AUBase(ComponentInstance inInstance, UInt32 numInputs, UInt32 numOutputs, UInt32 numGroups = 0,
           UInt32 numParts = 0);

    // ---- Virtual operations, in slot order -------------------------------------------------

    // Drops the held strings and destroys listeners, events, notifications and scopes. Does not
    // call Cleanup: PreDestructor does.
    ~AUBase() override;

    // Lifecycle [control]
    void PostConstructor() override;
    void PreDestructor() override;
    virtual OSStatus Initialize();
    virtual void Cleanup();
    virtual OSStatus Reset(AudioUnitScope inScope, AudioUnitElement inElement);

    // Property hooks for ids the dispatch does not handle itself [control]
    virtual OSStatus GetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                     AudioUnitElement inElement, UInt32& outDataSize,
                                     Boolean& outWritable);
    virtual OSStatus GetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                 AudioUnitElement inElement, void* outData);
    virtual OSStatus SetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                 AudioUnitElement inElement, const void* inData, UInt32 inDataSize);
    virtual OSStatus RemovePropertyValue(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                         AudioUnitElement inElement);

    // Property listeners [control, locks]
    virtual OSStatus AddPropertyListener(AudioUnitPropertyID inID,
                                         AudioUnitPropertyListenerProc inProc, void* inProcRefCon);
    virtual OSStatus RemovePropertyListener(AudioUnitPropertyID inID,
                                            AudioUnitPropertyListenerProc inProc,
                                            void* inProcRefCon, bool refConSpecified);

    // Render notifications [control]; they take effect at the start of the next render.
    virtual OSStatus SetRenderNotification(AURenderCallback inProc, void* inRefCon);
    virtual OSStatus RemoveRenderNotification(AURenderCallback inProc, void* inRefCon);

    // Parameters [any thread]
    virtual OSStatus GetParameter(AudioUnitParameterID inID, AudioUnitScope inScope,
                                  AudioUnitElement inElement, AudioUnitParameterValue& outValue);
    virtual OSStatus SetParameter(AudioUnitParameterID inID, AudioUnitScope inScope,
                                  AudioUnitElement inElement, AudioUnitParameterValue inValue,
                                  UInt32 inBufferOffsetInFrames);
    virtual OSStatus SetGroupParameter(AudioUnitParameterID inID, AudioUnitElement inElement,
                                       AudioUnitParameterValue inValue,
                                       UInt32 inBufferOffsetInFrames);
    virtual OSStatus GetGroupParameter(AudioUnitParameterID inID, AudioUnitElement inElement,
                                       AudioUnitParameterValue& outValue);
    // [control, not rendering]
    virtual OSStatus ScheduleParameter(const AudioUnitParameterEvent* inParameterEvent,
                                       UInt32 inNumEvents);

    // Render [render]
    virtual OSStatus RenderBus(AudioUnitRenderActionFlags& ioActionFlags,
                               const AudioTimeStamp& inTimeStamp, UInt32 inBusNumber,
                               UInt32 inNumberFrames);
    virtual OSStatus Render(AudioUnitRenderActionFlags& ioActionFlags,
                            const AudioTimeStamp& inTimeStamp, UInt32 inNumberFrames);

    // Bus counts [control]
    virtual bool BusCountWritable(AudioUnitScope inScope);
    virtual OSStatus SetBusCount(AudioUnitScope inScope, UInt32 inCount);

    // Input wiring [control]; an input must not be rewired while the unit renders.
    virtual OSStatus SetConnection(const AudioUnitConnection& inConnection);
    virtual OSStatus SetInputCallback(UInt32 inPropertyID, AudioUnitElement inElement,
                                      AURenderCallback inProc, void* inRefCon);

    // Parameter descriptions [control]
    virtual OSStatus GetParameterList(AudioUnitScope inScope,
                                      AudioUnitParameterID* outParameterList,
                                      UInt32& outNumParameters);
    virtual OSStatus GetParameterInfo(AudioUnitScope inScope, AudioUnitParameterID inParameterID,
                                      AudioUnitParameterInfo& outParameterInfo);

    // Saved state [control]
    virtual OSStatus SaveState(CFPropertyListRef* outData);
    virtual OSStatus RestoreState(CFPropertyListRef inData);

    // [control]
    virtual OSStatus GetParameterValueStrings(AudioUnitScope inScope,
                                              AudioUnitParameterID inParameterID,
                                              CFArrayRef* outStrings);

    // Presets [control]
    virtual OSStatus GetPresets(CFArrayRef* outData) const;
    virtual OSStatus NewFactoryPresetSet(const AUPreset& inNewFactoryPreset);

    // Descriptive properties [control]
    virtual int GetNumCustomUIComponents();
    virtual void GetUIComponentDescs(ComponentDescription* inDescArray);
    virtual CFURLRef CopyIconLocation();
    virtual Float64 GetLatency();
    virtual Float64 GetTailTime();
    virtual bool SupportsTail();

    // Stream formats [control]
    virtual bool StreamFormatWritable(AudioUnitScope scope, AudioUnitElement element) = 0;
    virtual UInt32 SupportedNumChannels(const AUChannelInfo** outInfo);
    virtual bool ValidFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                             const CAStreamBasicDescription& inNewFormat);
    virtual const CAStreamBasicDescription& GetStreamFormat(AudioUnitScope inScope,
                                                            AudioUnitElement inElement);
    virtual OSStatus ChangeStreamFormat(AudioUnitScope inScope, AudioUnitElement inElement,
                                        const CAStreamBasicDescription& inPrevFormat,
                                        const CAStreamBasicDescription& inNewFormat);

    // Elements and buffers [control]
    AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement element) override;
    virtual void ReallocateBuffers();
    virtual void SetMaxFramesPerSlice(UInt32 nFrames);
    virtual OSStatus CanSetMaxFrames() const;

    // Channel layouts [control]
    virtual UInt32 GetChannelLayoutTags(AudioUnitScope scope, AudioUnitElement element,
                                        AudioChannelLayoutTag* outLayoutTags);
    virtual UInt32 GetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element,
                                         AudioChannelLayout* outLayoutPtr, Boolean& outWritable);
    virtual OSStatus SetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element,
                                           const AudioChannelLayout* inLayout);
    virtual OSStatus RemoveAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element);

    // Scheduled parameters [render]
    virtual OSStatus ProcessForScheduledParams(ParameterEventList& inParamList,
                                               UInt32 inFramesToProcess, void* inUserData);
    virtual OSStatus ProcessScheduledSlice(void* inUserData, UInt32 inStartFrameInBuffer,
                                           UInt32 inSliceFramesToProcess,
                                           UInt32 inTotalBufferFrames);

    // ---- AUElementOwner: the questions elements ask [any thread] ----------------------------
    bool IsInitialized() const override { return mInitialized; }
    UInt32 GetMaxFramesPerSlice() const override { return mMaxFramesPerSlice; }
    UInt8 AudioUnitAPIVersion() const override { return mAudioUnitAPIVersion; }

    // ---- Lifecycle [control] -----------------------------------------------------------------
    void CreateElements();
    OSStatus DoInitialize();
    void DoCleanup();

    // ---- Scopes and elements [any thread] ----------------------------------------------------
    // Lookups throw kAudioUnitErr_InvalidScope for a scope of 5 or more and (the Safe and IO
    // forms) kAudioUnitErr_InvalidElement for a missing element.
    AUScope& GetScope(AudioUnitScope inScope);
    AUScope& GlobalScope() { return mScopes[kAudioUnitScope_Global]; }
    AUScope& Inputs() { return mScopes[kAudioUnitScope_Input]; }
    AUScope& Outputs() { return mScopes[kAudioUnitScope_Output]; }
    AUScope& Groups() { return mScopes[kAudioUnitScope_Group]; }
    AUScope& Parts() { return mScopes[kAudioUnitScope_Part]; }
    AUElement* Globals() { return mScopes[kAudioUnitScope_Global].GetElement(0); }
    AUElement* GetElement(AudioUnitScope inScope, AudioUnitElement inElement);
    AUElement* SafeGetElement(AudioUnitScope inScope, AudioUnitElement inElement);
    AUIOElement* GetIOElement(AudioUnitScope inScope, AudioUnitElement inElement);
    AUInputElement* GetInput(AudioUnitElement inElement);
    AUOutputElement* GetOutput(AudioUnitElement inElement);
    // Never throws: false for a missing input as for an unconnected one.
    bool HasInput(AudioUnitElement inElement);
    // [control, not rendering]
    void SetNumberOfElements(AudioUnitScope inScope, UInt32 numElements);

    // ---- Property dispatch [control] ---------------------------------------------------------
    OSStatus DispatchGetPropertyInfo(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                     AudioUnitElement inElement, UInt32& outDataSize,
                                     Boolean& outWritable);
    OSStatus DispatchGetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                 AudioUnitElement inElement, void* outData);
    OSStatus DispatchSetProperty(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                 AudioUnitElement inElement, const void* inData, UInt32 inDataSize);
    OSStatus DispatchRemovePropertyValue(AudioUnitPropertyID inID, AudioUnitScope inScope,
                                         AudioUnitElement inElement);

    // [any thread] Calls the listeners of inID in registration order, on the calling thread. A
    // listener may add or remove listeners: additions are heard from the next change on, removals
    // at once.
    void PropertyChanged(AudioUnitPropertyID inID, AudioUnitScope inScope,
                         AudioUnitElement inElement);

    // ---- Stream formats [control] ------------------------------------------------------------
    bool IsStreamFormatWritable(AudioUnitScope scope, AudioUnitElement element);
    bool FormatIsCanonical(const CAStreamBasicDescription& format);

    // ---- Helpers for subclasses [control] ----------------------------------------------------
    bool HasIcon();
    static void FillInParameterName(AudioUnitParameterInfo& ioInfo, CFStringRef inName,
                                    bool inShouldRelease);

    // ---- Render pipeline [render] ------------------------------------------------------------
    // Checks the request, renders the bus with flush-to-zero and denormals-are-zero set (the
    // caller's processor mode is restored on every way out) and calls the notifications.
    OSStatus DoRender(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& inTimeStamp,
                      UInt32 inBusNumber, UInt32 inNumberFrames, AudioBufferList& ioData);
    OSStatus DoRenderBus(AudioUnitRenderActionFlags& ioActionFlags,
                         const AudioTimeStamp& inTimeStamp, UInt32 inBusNumber,
                         AUOutputElement* theOutput, UInt32 inNumberFrames,
                         AudioBufferList& ioData);
    // True when inSampleTime differs from the last rendered sample time, which it then becomes.
    bool NeedsToRender(Float64 inSampleTime);
    // Keeps the first error until it is read; returns inErr unchanged.
    OSStatus SetRenderError(OSStatus inErr);
    // [any thread] Reads the stored render error and clears it in one step.
    OSStatus TakeLastRenderError() { return mLastRenderError.exchange(0); }
    // [any thread]
    OSStatus GetLastRenderError() const { return mLastRenderError.load(); }
    Float64 GetLastRenderSampleTime() const { return mLastRenderedSampleTime; }
    // [control] The reset selector forgets the last rendered time before calling Reset.
    void SetLastRenderedSampleTime(Float64 inSampleTime) { mLastRenderedSampleTime = inSampleTime; }

    // [any thread] Ascending start offset, read as signed whatever the event type.
    static bool SortParameterEventList(const AudioUnitParameterEvent& ev1,
                                       const AudioUnitParameterEvent& ev2);

    // ---- Dispatch entry (selector table): each selector from the thread its call is tagged for
    // (format/AudioUnitCalls.h).
    static OSStatus ComponentEntryDispatch(ComponentParameters* params, AUBase* This);

    // ---- Process-wide key strings of the saved-state dictionary ------------------------------
    static CFStringRef kUntitledString;
    static CFStringRef kVersionString;
    static CFStringRef kTypeString;
    static CFStringRef kSubtypeString;
    static CFStringRef kManufacturerString;
    static CFStringRef kDataString;
    static CFStringRef kNameString;
    static CFStringRef kRenderQualityString;
    static CFStringRef kCPULoadString;
    static CFStringRef kElementNameString;
    static CFStringRef kPartString;
    static std::atomic<bool> sAUBaseCFStringsInitialized;

protected:
    bool mElementsCreated = false;
    bool mInitialized = false;
    UInt8 mAudioUnitAPIVersion = 0;
    const UInt32 mInitNumInputEls;
    const UInt32 mInitNumOutputEls;
    const UInt32 mInitNumGroupEls;
    const UInt32 mInitNumPartEls;
    AUScope mScopes[5];
    TThreadSafeList<RenderCallback> mRenderCallbacks;
    Float64 mLastRenderedSampleTime = -1.0;
    UInt32 mMaxFramesPerSlice = 0;
    // Written on the render thread, read and cleared on a control thread.
    std::atomic<OSStatus> mLastRenderError{0};
    AUPreset mCurrentPreset{};
    ParameterEventList mScheduledEvents;
    PropertyListenerList mPropertyListeners;
    HostCallbackInfo mHostCallbackInfo{};
    CFStringRef mContextName = nullptr;
    bool mBuffersAllocated = false;
};
