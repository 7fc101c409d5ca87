#include "format/OSStatus.h"

namespace marvex {
namespace {

struct StatusEntry {
    OSStatus code;
    const char* name;
    const char* text;
};

constexpr StatusEntry kStatusTable[] = {
    {noErr, "noErr", "success"},
    {-1, nullptr, "unexpected failure"},
    {fnfErr, "fnfErr", "file or resource not found"},
    {paramErr, "paramErr", "invalid argument"},
    {memFullErr, "memFullErr", "out of memory"},
    {kAudioUnitErr_Initialized, "kAudioUnitErr_Initialized", "not allowed while initialised"},
    {kAudioUnitErr_InvalidPropertyValue, "kAudioUnitErr_InvalidPropertyValue",
     "invalid property value"},
    {kAudioUnitErr_PropertyNotWritable, "kAudioUnitErr_PropertyNotWritable",
     "property not writable now"},
    {kAudioUnitErr_InvalidScope, "kAudioUnitErr_InvalidScope", "scope not accepted"},
    {kAudioUnitErr_Uninitialized, "kAudioUnitErr_Uninitialized", "unit not initialised"},
    {kAudioUnitErr_FormatNotSupported, "kAudioUnitErr_FormatNotSupported", "format not supported"},
    {kAudioUnitErr_TooManyFramesToProcess, "kAudioUnitErr_TooManyFramesToProcess",
     "more frames than the maximum per slice"},
    {kAudioUnitErr_NoConnection, "kAudioUnitErr_NoConnection", "input has no connection"},
    {kAudioUnitErr_InvalidElement, "kAudioUnitErr_InvalidElement", "no such element"},
    {kAudioUnitErr_InvalidParameter, "kAudioUnitErr_InvalidParameter", "no such parameter"},
    {kAudioUnitErr_InvalidProperty, "kAudioUnitErr_InvalidProperty", "property not supported"},
    {badComponentInstance, "badComponentInstance", "component instance not open"},
    {badComponentSelector, "badComponentSelector", "selector not handled"},
};

const StatusEntry* Find(OSStatus status) {
    for (const StatusEntry& e : kStatusTable)
        if (e.code == status) return &e;
    return nullptr;
}

}  // namespace

const char* StatusName(OSStatus status) {
    const StatusEntry* e = Find(status);
    return e ? e->name : nullptr;
}

const char* StatusText(OSStatus status) {
    const StatusEntry* e = Find(status);
    return e ? e->text : "unknown status";
}

}  // namespace marvex
