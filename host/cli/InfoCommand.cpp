#include <cstdio>

#include <nlohmann/json.hpp>

#include "host/cli/Commands.h"

namespace marvex {
namespace {

const char* propertyName(AudioUnitPropertyID id) {
    switch (id) {
        case kAudioUnitProperty_ClassInfo:
            return "ClassInfo";
        case kAudioUnitProperty_MakeConnection:
            return "MakeConnection";
        case kAudioUnitProperty_SampleRate:
            return "SampleRate";
        case kAudioUnitProperty_ParameterList:
            return "ParameterList";
        case kAudioUnitProperty_ParameterInfo:
            return "ParameterInfo";
        case kAudioUnitProperty_FastDispatch:
            return "FastDispatch";
        case kAudioUnitProperty_CPULoad:
            return "CPULoad";
        case kAudioUnitProperty_StreamFormat:
            return "StreamFormat";
        case kAudioUnitProperty_ElementCount:
            return "ElementCount";
        case kAudioUnitProperty_Latency:
            return "Latency";
        case kAudioUnitProperty_SupportedNumChannels:
            return "SupportedNumChannels";
        case kAudioUnitProperty_MaximumFramesPerSlice:
            return "MaximumFramesPerSlice";
        case kAudioUnitProperty_SetExternalBuffer:
            return "SetExternalBuffer";
        case kAudioUnitProperty_ParameterValueStrings:
            return "ParameterValueStrings";
        case kAudioUnitProperty_GetUIComponentList:
            return "GetUIComponentList";
        case kAudioUnitProperty_AudioChannelLayout:
            return "AudioChannelLayout";
        case kAudioUnitProperty_TailTime:
            return "TailTime";
        case kAudioUnitProperty_BypassEffect:
            return "BypassEffect";
        case kAudioUnitProperty_LastRenderError:
            return "LastRenderError";
        case kAudioUnitProperty_SetRenderCallback:
            return "SetRenderCallback";
        case kAudioUnitProperty_FactoryPresets:
            return "FactoryPresets";
        case kAudioUnitProperty_ContextName:
            return "ContextName";
        case kAudioUnitProperty_RenderQuality:
            return "RenderQuality";
        case kAudioUnitProperty_HostCallbacks:
            return "HostCallbacks";
        case kAudioUnitProperty_CurrentPreset:
            return "CurrentPreset";
        case kAudioUnitProperty_InPlaceProcessing:
            return "InPlaceProcessing";
        case kAudioUnitProperty_ElementName:
            return "ElementName";
        case kAudioUnitProperty_CocoaUI:
            return "CocoaUI";
        case kAudioUnitProperty_SupportedChannelLayoutTags:
            return "SupportedChannelLayoutTags";
        case kAudioUnitProperty_PresentPreset:
            return "PresentPreset";
        case kAudioUnitProperty_IconLocation:
            return "IconLocation";
        default:
            return "";
    }
}

const char* unitName(AudioUnitParameterUnit unit) {
    switch (unit) {
        case kAudioUnitParameterUnit_Generic:
            return "generic";
        case kAudioUnitParameterUnit_Indexed:
            return "indexed";
        case kAudioUnitParameterUnit_Hertz:
            return "hertz";
        case kAudioUnitParameterUnit_Cents:
            return "cents";
        case kAudioUnitParameterUnit_Boolean:
            return "boolean";
        case kAudioUnitParameterUnit_Percent:
            return "percent";
        case kAudioUnitParameterUnit_Seconds:
            return "seconds";
        case kAudioUnitParameterUnit_Decibels:
            return "decibels";
        default:
            return "other";
    }
}

std::string flagsText(UInt32 flags) {
    std::string text;
    if (flags & kAudioUnitParameterFlag_IsReadable) text += "readable ";
    if (flags & kAudioUnitParameterFlag_IsWritable) text += "writable ";
    if (flags & kAudioUnitParameterFlag_HasCFNameString) text += "name-string ";
    if (!text.empty()) text.pop_back();
    return text;
}

std::string fourCharText(OSType code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<unsigned char>((code >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    return text;
}

struct AnsweredProperty {
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    UInt32 size;
    bool writable;
};

constexpr AudioUnitPropertyID kHighestPropertyAsked = 63;

}  // namespace

int runInfo(const GlobalOptions& global, const std::string& format) {
    if (format != "text" && format != "json")
        throw CommandError(ExitCode::Usage, "unknown format '" + format + "'");
    HostedUnit unit = HostedUnit::openFromBundle(
        global.bundleDirectory.empty() ? defaultBundleDirectory() : global.bundleDirectory);
    AudioUnitHandle& handle = unit.handle();

    ComponentDescription description{};
    const OSStatus status = GetComponentInfo(unit.get(), &description, nullptr, nullptr, nullptr);
    if (status != noErr) throwStatus(HostErrorKind::Failed, "cannot describe the unit", status);
    const std::string name = GetComponentName(GetComponentOfInstance(unit.get()));
    const auto version = static_cast<UInt32>(handle.Version());
    char versionText[32];
    std::snprintf(versionText, sizeof versionText, "%u.%u.%u (0x%08X)", version >> 16,
                  (version >> 8) & 0xFF, version & 0xFF, version);
    const auto parameters = unit.parameterTable();

    std::vector<AnsweredProperty> answered;
    for (AudioUnitScope scope :
         {kAudioUnitScope_Global, kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        for (AudioUnitPropertyID id = 0; id <= kHighestPropertyAsked; ++id) {
            UInt32 size = 0;
            Boolean writable = false;
            if (handle.GetPropertyInfo(id, scope, 0, &size, &writable) == noErr)
                answered.push_back({id, scope, size, writable != 0});
        }
    }
    static const char* const kScopeNames[] = {"global", "input", "output"};

    if (format == "json") {
        nlohmann::ordered_json json;
        json["name"] = name;
        json["type"] = fourCharText(description.componentType);
        json["subtype"] = fourCharText(description.componentSubType);
        json["manufacturer"] = fourCharText(description.componentManufacturer);
        json["version"] = version;
        for (const ParameterDescription& p : parameters) {
            json["parameters"].push_back({{"id", p.id},
                                          {"name", p.name},
                                          {"unit", unitName(p.unit)},
                                          {"min", p.minValue},
                                          {"max", p.maxValue},
                                          {"default", p.defaultValue},
                                          {"flags", p.flags}});
        }
        for (const AnsweredProperty& p : answered) {
            json["properties"].push_back({{"id", p.id},
                                          {"name", propertyName(p.id)},
                                          {"scope", kScopeNames[p.scope]},
                                          {"size", p.size},
                                          {"writable", p.writable}});
        }
        std::printf("%s\n", json.dump(2).c_str());
        return std::fflush(stdout) == 0 ? 0 : static_cast<int>(ExitCode::OutputError);
    }

    std::printf("%s\n  type %s, subtype %s, manufacturer %s, version %s\n\n", name.c_str(),
                fourCharText(description.componentType).c_str(),
                fourCharText(description.componentSubType).c_str(),
                fourCharText(description.componentManufacturer).c_str(), versionText);
    std::printf("Parameters (global scope)\n");
    std::printf("  id  name              unit         min       max   default  flags\n");
    for (const ParameterDescription& p : parameters) {
        std::printf("  %2u  %-16s  %-8s  %8g  %8g  %8g  0x%08X %s\n", p.id, p.name.c_str(),
                    unitName(p.unit), static_cast<double>(p.minValue),
                    static_cast<double>(p.maxValue), static_cast<double>(p.defaultValue), p.flags,
                    flagsText(p.flags).c_str());
    }
    std::printf("\nProperties answered on element 0\n");
    std::printf("  id  name                        scope    size  access\n");
    for (const AnsweredProperty& p : answered) {
        std::printf("  %2u  %-26s  %-7s  %4u  %s\n", p.id, propertyName(p.id), kScopeNames[p.scope],
                    p.size, p.writable ? "read/write" : "read");
    }
    return std::fflush(stdout) == 0 ? 0 : static_cast<int>(ExitCode::OutputError);
}

}  // namespace marvex
