#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "format/CFData.h"
#include "format/CFDictionary.h"
#include "format/CFNumber.h"
#include "format/CFString.h"
#include "tests/core/PropertiesTestUnit.h"

namespace marvex::test {
namespace {

constexpr AudioUnitScope G = kAudioUnitScope_Global, In = kAudioUnitScope_Input,
                         Out = kAudioUnitScope_Output;

// Also answers the two optional properties of the saved state, kept as raw 4-byte words.
class QualityUnit : public PassThroughUnit {
public:
    using PassThroughUnit::PassThroughUnit;
    OSStatus GetProperty(AudioUnitPropertyID id, AudioUnitScope, AudioUnitElement,
                         void* out) override {
        return Field(id) ? (std::memcpy(out, Field(id), 4), noErr) : kAudioUnitErr_InvalidProperty;
    }
    OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope, AudioUnitElement, const void* in,
                         UInt32) override {
        return Field(id) ? (std::memcpy(Field(id), in, 4), noErr) : kAudioUnitErr_InvalidProperty;
    }
    void* Field(AudioUnitPropertyID id) {
        if (id == kAudioUnitProperty_RenderQuality) return &quality;
        return id == kAudioUnitProperty_CPULoad ? &load : nullptr;
    }
    UInt32 quality = 0;
    Float32 load = 0.0f;
};

using Dict = CFMutableDictionaryRef;
CFNumberRef Int(SInt32 v) {
    return CFNumberCreate(nullptr, kCFNumberSInt32Type, &v);
}
CFStringRef Text(const char* text) {
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}
Dict NewDict() {
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}
// Stores a key and value created for it (constant keys are immortal), dropping the creator's
// references.
Dict Put(Dict dict, CFTypeRef key, CFTypeRef value) {
    CFDictionarySetValue(dict, key, value);
    CFRelease(key);
    CFRelease(value);
    return dict;
}
Dict Put(Dict dict, const char* key, CFTypeRef value) {
    return Put(dict, ConstantString(key), value);
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
    UInt32 bits;
    return std::memcpy(&bits, &f, 4), bits;
}
CFDataRef Data(const std::vector<UInt8>& bytes, std::size_t length) {
    return CFDataCreate(nullptr, bytes.data(), CFIndex(length));
}

class SavedState : public ::testing::Test {
protected:
    void TearDown() override {
        units.clear();
        EXPECT_EQ(LiveValueCount(), liveBefore) << "a property-list value leaked";
    }
    template <typename U = PassThroughUnit>
    U& Open(OSType type = kAudioUnitType_Effect) {
        auto unit = std::make_shared<OpenTestUnit<U>>(type);
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
    long liveBefore = LiveValueCount();
    std::vector<std::shared_ptr<void>> units;
};

TEST_F(SavedState, RestoresWhatItSavedAndSavesItAgainByteForByte) {
    QualityUnit& a = Open<QualityUnit>();
    a.Globals()->SetParameter(7, -2.25f);
    a.Globals()->SetParameter(1, 0.5f);
    a.GetElement(In, 0)->SetParameter(3, 1.0f);
    a.quality = 96, a.load = 0.75f;
    CFStringRef mic = Text("Mic"), warm = Text("Warm");
    a.GetElement(In, 0)->SetName(mic);
    const AUPreset preset{-1, warm};
    a.DispatchSetProperty(kAudioUnitProperty_PresentPreset, G, 0, &preset, sizeof preset);
    Dict saved = Save(a);
    const auto data = (CFDataRef)CFDictionaryGetValue(saved, ConstantString("data"));
    EXPECT_EQ(
        std::vector<UInt8>(CFDataGetBytePtr(data), CFDataGetBytePtr(data) + CFDataGetLength(data)),
        Blob({{G, 0, 2, 1, Bits(0.5f), 7, Bits(-2.25f)}, {In, 0, 1, 3, Bits(1.0f)}}));

    QualityUnit& b = Open<QualityUnit>();
    ListenerLog log(b);
    EXPECT_EQ(Restore(b, saved), noErr);
    EXPECT_EQ(b.GetElement(G, 0)->GetParameter(7), -2.25f);
    EXPECT_EQ(b.GetElement(In, 0)->GetParameter(3), 1.0f);
    EXPECT_TRUE(CFEqual(b.GetElement(In, 0)->GetName(), mic));
    EXPECT_TRUE(CFEqual(PresetName(b), warm));
    EXPECT_EQ(std::make_pair(b.quality, b.load), std::make_pair(96u, 0.75f));
    EXPECT_EQ(log.events, (Notifications{{kAudioUnitProperty_CurrentPreset, G, 0},
                                         {kAudioUnitProperty_PresentPreset, G, 0},
                                         {kAudioUnitProperty_RenderQuality, G, 0},
                                         {kAudioUnitProperty_CPULoad, G, 0}}));
    Dict again = Save(b);
    EXPECT_TRUE(CFEqual(saved, again));  // numbers, data bytes, names and all

    for (CFTypeRef owned : {(CFTypeRef)mic, (CFTypeRef)warm, (CFTypeRef)saved, (CFTypeRef)again})
        CFRelease(owned);
}

TEST_F(SavedState, TheBlobWalkStopsWhereTheSpecifiedWayEndsItAndNeverReadsPastTheData) {
    // Cut anywhere: complete records apply, the rest is ignored; a missing element (input 3)
    // ends the walk quietly, so output 0 is never reached.
    const auto blob =
        Blob({{G, 0, 1, 1, Bits(0.25f)}, {In, 3, 1, 5, Bits(1.0f)}, {Out, 0, 1, 2, Bits(9.0f)}});
    for (std::size_t length = 0; length <= blob.size(); ++length) {
        AUBase& unit = Open();
        Dict state = Put(Put(Save(unit), "data", Data(blob, length)), "name", Text("After"));
        ASSERT_EQ(Restore(unit, state), noErr) << "cut at " << length;
        CFRelease(state);
        EXPECT_EQ(unit.Globals()->GetNumberOfParameters(), length >= 20 ? 1u : 0u) << length;
        EXPECT_EQ(unit.GetElement(Out, 0)->GetNumberOfParameters(), 0u);
        EXPECT_TRUE(CFEqual(PresetName(unit), CFSTR("After")));
    }
    // A count far beyond the data is not believed; a bad scope or an unknown indexed parameter
    // ends the restore with its error after the records before it, and before the name.
    AUBase& unit = Open();
    unit.GetElement(Out, 0)->UseIndexedParameters(2);
    const std::pair<std::vector<UInt32>, OSStatus> cases[] = {
        {{7, 0, 0}, kAudioUnitErr_InvalidScope},
        {{Out, 0, 1, 9, Bits(1.0f)}, kAudioUnitErr_InvalidParameter},
        {{G, 0, 0xFFFFFFFF, 1, Bits(1.0f)}, noErr}};
    for (const auto& [last, status] : cases) {
        unit.Globals()->SetParameter(4, 0.0f);
        const auto blob = Blob({{G, 0, 1, 4, Bits(0.5f)}, last});
        Dict state = Put(Put(Save(unit), "data", Data(blob, blob.size())), "name", Text("late"));
        EXPECT_EQ(Restore(unit, state), status);
        CFRelease(state);
        EXPECT_EQ(unit.Globals()->GetParameter(4), 0.5f);
        EXPECT_EQ(bool(CFEqual(PresetName(unit), CFSTR("late"))), status == noErr);
    }
}

// Each row breaks one thing of an otherwise valid dictionary; all are refused before anything
// changes, and nothing of them is left alive.
TEST_F(SavedState, HostileDictionariesAreRefusedWithoutChangingAnything) {
    auto names = [](CFTypeRef scopeOne) { return Put(NewDict(), "1", scopeOne); };
    Float32 half = 0.5f;
    const std::pair<const char*, std::function<void(Dict)>> rows[] = {
        {"version is text", [](Dict d) { Put(d, "version", Text("0")); }},
        {"version 1", [](Dict d) { Put(d, "version", Int(1)); }},
        {"version -1", [](Dict d) { Put(d, "version", Int(-1)); }},
        {"version 0.5",
         [&](Dict d) { Put(d, "version", CFNumberCreate(nullptr, kCFNumberFloatType, &half)); }},
        {"no version", [](Dict d) { CFDictionaryRemoveValue(d, ConstantString("version")); }},
        {"other subtype", [](Dict d) { Put(d, "subtype", Int(1)); }},
        {"a part", [](Dict d) { Put(d, "part", Int(0)); }},
        {"data is text", [](Dict d) { Put(d, "data", Text("x")); }},
        {"name is a number", [](Dict d) { Put(d, "name", Int(3)); }},
        {"render-quality is text", [](Dict d) { Put(d, "render-quality", Text("max")); }},
        {"element-name is text", [](Dict d) { Put(d, "element-name", Text("x")); }},
        {"scope names are text", [&](Dict d) { Put(d, "element-name", names(Text("x"))); }},
        {"a name is a number",
         [&](Dict d) { Put(d, "element-name", names(Put(NewDict(), "0", Int(2)))); }},
        {"a key is a number",
         [&](Dict d) { Put(d, "element-name", names(Put(NewDict(), Int(0), Text("x")))); }},
    };
    AUBase& unit = Open();
    unit.Globals()->SetParameter(1, 0.5f);
    ListenerLog log(unit);
    for (const auto& [what, breakIt] : rows) {
        const auto blob = Blob({{G, 0, 1, 1, Bits(9.0f)}});
        Dict state = Put(Put(Save(unit), "data", Data(blob, blob.size())), "name", Text("new"));
        breakIt(state);
        EXPECT_EQ(Restore(unit, state), kAudioUnitErr_InvalidPropertyValue) << what;
        CFRelease(state);
    }
    EXPECT_EQ(Restore(unit, nullptr), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(Restore(unit, CFSTR("state")), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(unit.Globals()->GetParameter(1), 0.5f);
    EXPECT_TRUE(CFEqual(PresetName(unit), CFSTR("Untitled")));
    EXPECT_TRUE(log.events.empty());
}

}  // namespace
}  // namespace marvex::test
