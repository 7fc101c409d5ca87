#include "host/HostedUnit.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "format/CAStreamBasicDescription.h"
#include "format/CFArray.h"
#include "format/CFBundle.h"
#include "format/CFDictionary.h"
#include "format/CFString.h"
#include "format/PlugInBundle.h"
#include "host/StatusText.h"

namespace marvex {
namespace {

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string stringValue(CFDictionaryRef dictionary, const char* key) {
    CFStringRef keyString = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    const void* value = CFDictionaryGetValue(dictionary, keyString);
    CFRelease(keyString);
    if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID()) return {};
    char text[256];
    if (!CFStringGetCString(static_cast<CFStringRef>(value), text, sizeof text,
                            kCFStringEncodingUTF8))
        return {};
    return text;
}

bool fourCharCode(const std::string& text, OSType& code) {
    if (text.size() != 4) return false;
    code = 0;
    for (unsigned char c : text) code = (code << 8) | c;
    return true;
}

}  // namespace

void throwStatus(HostErrorKind kind, const std::string& what, OSStatus status) {
    throw HostError(kind, what + ": " + describeStatus(status));
}

std::string defaultBundleDirectory() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "Marvex.bundle";
    const auto dir = exe.parent_path();
    const auto buildTree = (dir / ".." / "Marvex.bundle").lexically_normal();
    const auto installed = (dir / ".." / "lib" / "marvex" / "Marvex.bundle").lexically_normal();
    if (!isDirectory(buildTree.string()) && isDirectory(installed.string()))
        return installed.string();
    return buildTree.string();
}

Component loadPluginComponent(const std::string& bundleDirectory) {
    if (!isDirectory(bundleDirectory)) {
        throw HostError(HostErrorKind::Plugin, "no plug-in bundle at " + bundleDirectory +
                                                   " (give one with --bundle DIR)");
    }
    CFBundleRef bundle = nullptr;
    const OSStatus status = RegisterComponentsInBundle(bundleDirectory.c_str(), &bundle);
    if (status != noErr || bundle == nullptr) {
        const std::string why = LastBundleError();
        throw HostError(HostErrorKind::Plugin, "cannot load the plug-in bundle " + bundleDirectory +
                                                   ": " +
                                                   (why.empty() ? describeStatus(status) : why));
    }
    CFDictionaryRef info = CFBundleGetInfoDictionary(bundle);
    const void* components =
        info != nullptr ? CFDictionaryGetValue(info, CFSTR("components")) : nullptr;
    const void* first = nullptr;
    if (components != nullptr && CFGetTypeID(components) == CFArrayGetTypeID() &&
        CFArrayGetCount(static_cast<CFArrayRef>(components)) > 0)
        first = CFArrayGetValueAtIndex(static_cast<CFArrayRef>(components), 0);
    ComponentDescription description{};
    if (first == nullptr || CFGetTypeID(first) != CFDictionaryGetTypeID() ||
        !fourCharCode(stringValue(static_cast<CFDictionaryRef>(first), "type"),
                      description.componentType) ||
        !fourCharCode(stringValue(static_cast<CFDictionaryRef>(first), "subtype"),
                      description.componentSubType) ||
        !fourCharCode(stringValue(static_cast<CFDictionaryRef>(first), "manufacturer"),
                      description.componentManufacturer)) {
        throw HostError(HostErrorKind::Plugin,
                        "the plug-in bundle " + bundleDirectory + " lists no usable component");
    }
    Component component = FindNextComponent(nullptr, &description);
    if (component == nullptr) {
        throw HostError(HostErrorKind::Plugin,
                        "the plug-in bundle " + bundleDirectory + " registered no component");
    }
    return component;
}

HostedUnit::HostedUnit(AudioUnitHandle handle) : mHandle(std::move(handle)) {
    const OSStatus status = mHandle.GetFastPaths(mFast);
    if (status != noErr)
        throwStatus(HostErrorKind::Plugin, "the unit gives no direct entries", status);
    if (mFast.getParameter == nullptr || mFast.setParameter == nullptr || mFast.render == nullptr)
        throw HostError(HostErrorKind::Plugin, "the unit lacks a direct parameter or render entry");
}

HostedUnit HostedUnit::open(Component component) {
    AudioUnitHandle handle;
    const OSStatus status = AudioUnitHandle::Open(component, handle);
    if (status != noErr || !handle)
        throwStatus(HostErrorKind::Plugin, "cannot open the unit", status);
    return HostedUnit(std::move(handle));
}

HostedUnit HostedUnit::openFromBundle(const std::string& bundleDirectory) {
    return open(loadPluginComponent(bundleDirectory));
}

void HostedUnit::setStreamFormat(double sampleRateHz, UInt32 channels) {
    CAStreamBasicDescription format;
    format.mSampleRate = sampleRateHz;
    format.SetCanonical(channels, false);
    const AudioStreamBasicDescription& record = format;
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        const OSStatus status =
            mHandle.SetProperty(kAudioUnitProperty_StreamFormat, scope, 0, record);
        if (status != noErr) {
            char what[128];
            std::snprintf(what, sizeof what, "the tuner refuses %u channel%s at %g Hz", channels,
                          channels == 1 ? "" : "s", sampleRateHz);
            throwStatus(HostErrorKind::Refused, what, status);
        }
    }
}

void HostedUnit::setMaximumFramesPerSlice(UInt32 frames) {
    const OSStatus status = mHandle.SetProperty(kAudioUnitProperty_MaximumFramesPerSlice,
                                                kAudioUnitScope_Global, 0, frames);
    if (status != noErr)
        throwStatus(HostErrorKind::Refused,
                    "the tuner refuses blocks of " + std::to_string(frames) + " frames", status);
}

void HostedUnit::setInputCallback(AURenderCallback proc, void* refCon) {
    const AURenderCallbackStruct callback{proc, refCon};
    const OSStatus status = mHandle.SetProperty(kAudioUnitProperty_SetRenderCallback,
                                                kAudioUnitScope_Input, 0, callback);
    if (status != noErr) throwStatus(HostErrorKind::Failed, "the tuner refuses its input", status);
}

void HostedUnit::initialize() {
    const OSStatus status = mHandle.Initialize();
    if (status != noErr) throwStatus(HostErrorKind::Refused, "the tuner cannot start", status);
}

void HostedUnit::uninitialize() {
    const OSStatus status = mHandle.Uninitialize();
    if (status != noErr) throwStatus(HostErrorKind::Failed, "the tuner cannot stop", status);
}

float HostedUnit::parameter(AudioUnitParameterID id) const {
    AudioUnitParameterValue value = 0.0f;
    const OSStatus status =
        mFast.getParameter(mFast.storage, id, kAudioUnitScope_Global, 0, &value);
    if (status != noErr)
        throwStatus(HostErrorKind::Failed, "cannot read parameter " + std::to_string(id), status);
    return value;
}

void HostedUnit::setParameter(AudioUnitParameterID id, float value) {
    const OSStatus status =
        mFast.setParameter(mFast.storage, id, kAudioUnitScope_Global, 0, value, 0);
    if (status != noErr)
        throwStatus(HostErrorKind::Failed, "cannot set parameter " + std::to_string(id), status);
}

OSStatus HostedUnit::readParameters(std::span<float> out) const noexcept {
    for (std::size_t id = 0; id < out.size(); ++id) {
        const OSStatus status =
            mFast.getParameter(mFast.storage, static_cast<AudioUnitParameterID>(id),
                               kAudioUnitScope_Global, 0, &out[id]);
        if (status != noErr) return status;
    }
    return noErr;
}

CFPropertyListRef HostedUnit::copyClassInfo() {
    CFPropertyListRef state = nullptr;
    const OSStatus status =
        mHandle.GetProperty(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, state);
    if (status != noErr || state == nullptr)
        throwStatus(HostErrorKind::Failed, "the tuner cannot save its state", status);
    return state;
}

void HostedUnit::restoreClassInfo(CFPropertyListRef state) {
    const OSStatus status =
        mHandle.SetProperty(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, state);
    if (status != noErr)
        throwStatus(HostErrorKind::Refused, "the tuner refuses this state", status);
}

std::vector<ParameterDescription> HostedUnit::parameterTable(AudioUnitScope scope) {
    UInt32 size = 0;
    OSStatus status =
        mHandle.GetPropertyInfo(kAudioUnitProperty_ParameterList, scope, 0, &size, nullptr);
    if (status != noErr) throwStatus(HostErrorKind::Failed, "cannot list the parameters", status);
    std::vector<AudioUnitParameterID> ids(size / sizeof(AudioUnitParameterID));
    if (!ids.empty()) {
        size = static_cast<UInt32>(ids.size() * sizeof(AudioUnitParameterID));
        status = mHandle.GetProperty(kAudioUnitProperty_ParameterList, scope, 0, ids.data(), &size);
        if (status != noErr)
            throwStatus(HostErrorKind::Failed, "cannot list the parameters", status);
        ids.resize(size / sizeof(AudioUnitParameterID));
    }
    std::vector<ParameterDescription> table;
    for (AudioUnitParameterID id : ids) {
        AudioUnitParameterInfo info{};
        status = mHandle.GetProperty(kAudioUnitProperty_ParameterInfo, scope, id, info);
        if (status != noErr)
            throwStatus(HostErrorKind::Failed, "cannot describe parameter " + std::to_string(id),
                        status);
        ParameterDescription description;
        description.id = id;
        char name[sizeof info.name + 1] = {};
        std::memcpy(name, info.name, sizeof info.name);
        description.name = name;
        if ((info.flags & kAudioUnitParameterFlag_HasCFNameString) != 0 &&
            info.cfNameString != nullptr) {
            char cfName[256];
            if (CFStringGetCString(info.cfNameString, cfName, sizeof cfName, kCFStringEncodingUTF8))
                description.name = cfName;
            if ((info.flags & kAudioUnitParameterFlag_CFNameRelease) != 0)
                CFRelease(info.cfNameString);
        }
        description.unit = info.unit;
        description.minValue = info.minValue;
        description.maxValue = info.maxValue;
        description.defaultValue = info.defaultValue;
        description.flags = info.flags;
        table.push_back(description);
    }
    return table;
}

}  // namespace marvex
