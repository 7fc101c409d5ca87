#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <memory>
#include <vector>

#include "format/CFData.h"
#include "format/CFDictionary.h"
#include "format/CFNumber.h"
#include "format/CFString.h"
#include "tests/core/PropertiesTestUnit.h"
#include "tests/support/NoValueLeaks.h"

namespace marvex::test {
namespace {

constexpr AudioUnitScope G = kAudioUnitScope_Global, In = kAudioUnitScope_Input,
                         Out = kAudioUnitScope_Output;

using Dict = CFMutableDictionaryRef;
CFNumberRef Int(SInt32 v) {
    return CFNumberCreate(nullptr, kCFNumberSInt32Type, &v);
}
// Stores a value created for it under a constant key, dropping the creator's reference.
Dict Put(Dict dict, const char* key, CFTypeRef value) {
    CFDictionarySetValue(dict, ConstantString(key), value);
    CFRelease(value);
    return dict;
}

// Element records of the parameter blob, big-endian: {scope, element, count, id, value, ...}.
std::vector<UInt8> Blob(std::initializer_list<std::vector<UInt32>> records) {
    std::vector<UInt8> out;
    for (const auto& record : records)
        for (UInt32 w : record)
            for (int shift = 24; shift >= 0; shift -= 8) out.push_back(UInt8(w >> shift));
    return out;
}
UInt32 Bits(Float32 f) {
    return std::bit_cast<UInt32>(f);
}
CFDataRef Data(const std::vector<UInt8>& bytes, std::size_t length) {
    return CFDataCreate(nullptr, bytes.data(), CFIndex(length));
}

class SavedState : public NoValueLeaks {
protected:
    void TearDown() override {
        units.clear();
        NoValueLeaks::TearDown();
    }
    AUBase& Open() {
        auto unit = std::make_shared<OpenTestUnit<PassThroughUnit>>();
        units.push_back(unit);
        return **unit;
    }
    // A mutable copy of the unit's saved state, owned by the caller.
    static Dict Save(AUBase& unit) {
        CFPropertyListRef state = nullptr;
        EXPECT_EQ(unit.DispatchGetProperty(kAudioUnitProperty_ClassInfo, G, 0, &state), noErr);
        Dict copy = CFDictionaryCreateMutableCopy(nullptr, 0, (CFDictionaryRef)state);
        CFRelease(state);
        return copy;
    }
    static OSStatus Restore(AUBase& unit, CFTypeRef state) {
        return StatusOf([&] {
            return unit.DispatchSetProperty(kAudioUnitProperty_ClassInfo, G, 0, &state,
                                            sizeof state);
        });
    }
    static CFStringRef PresetName(AUBase& unit) {
        AUPreset preset{};
        unit.DispatchGetProperty(kAudioUnitProperty_CurrentPreset, G, 0, &preset);
        EXPECT_EQ(preset.presetNumber, -1);
        return preset.presetName;
    }
    std::vector<std::shared_ptr<void>> units;
};

TEST_F(SavedState, RestoresWhatItSavedAndSavesItAgainByteForByte) {
    AUBase& a = Open();
    a.Globals()->SetParameter(7, -2.25f);
    a.Globals()->SetParameter(1, 0.5f);
    a.GetElement(In, 0)->SetParameter(3, 1.0f);
    CFStringRef mic = Str("Mic"), warm = Str("Warm");
    a.GetElement(In, 0)->SetName(mic);
    const AUPreset preset{-1, warm};
    a.DispatchSetProperty(kAudioUnitProperty_PresentPreset, G, 0, &preset, sizeof preset);
    Dict saved = Save(a);
    const auto data = (CFDataRef)CFDictionaryGetValue(saved, ConstantString("data"));
    EXPECT_EQ(
        std::vector<UInt8>(CFDataGetBytePtr(data), CFDataGetBytePtr(data) + CFDataGetLength(data)),
        Blob({{G, 0, 2, 1, Bits(0.5f), 7, Bits(-2.25f)}, {In, 0, 1, 3, Bits(1.0f)}}));

    AUBase& b = Open();
    ListenerLog log(b);
    EXPECT_EQ(Restore(b, saved), noErr);
    EXPECT_EQ(b.GetElement(G, 0)->GetParameter(7), -2.25f);
    EXPECT_EQ(b.GetElement(In, 0)->GetParameter(3), 1.0f);
    EXPECT_TRUE(CFEqual(b.GetElement(In, 0)->GetName(), mic));
    EXPECT_TRUE(CFEqual(PresetName(b), warm));
    EXPECT_EQ(log.events, (Notifications{{kAudioUnitProperty_CurrentPreset, G, 0},
                                         {kAudioUnitProperty_PresentPreset, G, 0}}));
    Dict again = Save(b);
    EXPECT_TRUE(CFEqual(saved, again));  // numbers, data bytes, names and all

    ReleaseAll({mic, warm, saved, again});
}

TEST_F(SavedState, TheBlobWalkStopsAtWhatItCannotUseAndNeverReadsPastTheData) {
    // Cut anywhere: complete records apply, the rest is ignored; a missing element (input 3)
    // ends the walk quietly, so output 0 is never reached.
    const auto blob =
        Blob({{G, 0, 1, 1, Bits(0.25f)}, {In, 3, 1, 5, Bits(1.0f)}, {Out, 0, 1, 2, Bits(9.0f)}});
    for (std::size_t length = 0; length <= blob.size(); ++length) {
        AUBase& unit = Open();
        Dict state = Put(Save(unit), "data", Data(blob, length));
        ASSERT_EQ(Restore(unit, state), noErr) << "cut at " << length;
        CFRelease(state);
        EXPECT_EQ(unit.Globals()->GetNumberOfParameters(), length >= 20 ? 1u : 0u) << length;
        EXPECT_EQ(unit.GetElement(Out, 0)->GetNumberOfParameters(), 0u);
    }
    // A count far beyond the data is not believed.
    AUBase& unit = Open();
    const auto huge = Blob({{G, 0, 1, 4, Bits(0.5f)}, {G, 0, 0xFFFFFFFF, 1, Bits(1.0f)}});
    Dict state = Put(Save(unit), "data", Data(huge, huge.size()));
    EXPECT_EQ(Restore(unit, state), noErr);
    CFRelease(state);
    EXPECT_EQ(unit.Globals()->GetParameter(4), 0.5f);
}

// Each row breaks one thing of an otherwise valid dictionary; all are refused before anything
// changes, and nothing of them is left alive.
TEST_F(SavedState, HostileDictionariesAreRefusedWithoutChangingAnything) {
    const std::pair<const char*, std::function<void(Dict)>> rows[] = {
        {"version is text", [](Dict d) { Put(d, "version", Str("0")); }},
        {"version 1", [](Dict d) { Put(d, "version", Int(1)); }},
        {"version -1", [](Dict d) { Put(d, "version", Int(-1)); }},
        {"data is text", [](Dict d) { Put(d, "data", Str("x")); }},
    };
    AUBase& unit = Open();
    unit.Globals()->SetParameter(1, 0.5f);
    ListenerLog log(unit);
    for (const auto& [what, breakIt] : rows) {
        const auto blob = Blob({{G, 0, 1, 1, Bits(9.0f)}});
        Dict state = Put(Put(Save(unit), "data", Data(blob, blob.size())), "name", Str("new"));
        breakIt(state);
        EXPECT_EQ(Restore(unit, state), kAudioUnitErr_InvalidPropertyValue) << what;
        CFRelease(state);
    }
    EXPECT_EQ(Restore(unit, nullptr), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(unit.Globals()->GetParameter(1), 0.5f);
    EXPECT_TRUE(CFEqual(PresetName(unit), CFSTR("Untitled")));
    EXPECT_TRUE(log.events.empty());
}

}  // namespace
}  // namespace marvex::test
