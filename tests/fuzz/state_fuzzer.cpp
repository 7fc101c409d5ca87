// A state file as a host reads it and hands it to the tuner: property-list bytes (XML or binary).
// Parsing must refuse with a message or succeed without harm, and whatever parses must write back
// and parse again to an equal value. Restored as the tuner's saved state, whatever it holds, it
// must leave a unit that saves state which restores cleanly and saves again to the same thing, and
// that renders without harm.

#include <string>

#include "format/PropertyListFile.h"
#include "tests/fuzz/FuzzHarness.h"

namespace {

using namespace marvex;

CFPropertyListRef Save(AudioUnitHandle& unit) {
    CFPropertyListRef saved = nullptr;
    if (unit.GetProperty(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, saved) != noErr ||
        saved == nullptr)
        fuzz::Fail("the unit cannot save its state");
    return saved;
}

void Restore(CFPropertyListRef state, bool initialized) {
    AudioUnitHandle unit = fuzz::OpenUnit();
    if (initialized) unit.Initialize();
    unit.SetProperty(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, state);
    CFPropertyListRef saved = Save(unit);
    if (unit.SetProperty(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, saved) != noErr)
        fuzz::Fail("the unit refused the state it saved");
    CFPropertyListRef again = Save(unit);
    if (!CFEqual(saved, again)) fuzz::Fail("saved state changed across a restore");
    CFRelease(again);
    CFRelease(saved);

    unit.Uninitialize();
    unit.SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, fuzz::kInput);
    if (!fuzz::BuffersFitInMemory(unit) || unit.Initialize() != noErr) return;
    AudioStreamBasicDescription f{};
    unit.GetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, f);
    const UInt32 channels =
        f.mChannelsPerFrame >= 1 && f.mChannelsPerFrame <= 64 ? f.mChannelsPerFrame : 1;
    for (UInt32 i = 0; i < 2; ++i) {
        test::HostBufferList out(channels, 2048, i != 1);
        AudioUnitRenderActionFlags flags = 0;
        unit.Render(&flags, test::TimeStamp(512.0 * i), 0, 512, &out.get());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::RunInput(data, size, [&](FuzzedDataProvider&) {
        std::string error, xml;
        CFPropertyListRef value = PropertyListFromBytes(data, size, &error);
        if (value == nullptr) {
            if (error.empty()) fuzz::Fail("refused without a message");
            return;
        }
        if (PropertyListToXML(value, xml, &error)) {
            CFPropertyListRef again = PropertyListFromBytes(xml.data(), xml.size(), &error);
            if (again == nullptr) fuzz::Fail("written XML does not parse");
            if (!CFEqual(value, again)) fuzz::Fail("XML round trip changed the value");
            CFRelease(again);
        }
        Restore(value, size % 2 == 1);  // the input's length chooses whether the unit is running
        CFRelease(value);
    });
}
