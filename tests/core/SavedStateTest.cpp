#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
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

// A unit that also answers the two optional properties of the saved state.
class QualityUnit : public PassThroughUnit {
public:
    using PassThroughUnit::PassThroughUnit;
    OSStatus GetProperty(AudioUnitPropertyID id, AudioUnitScope s, AudioUnitElement e,
                         void* out) override {
        if (id == kAudioUnitProperty_RenderQuality) return std::memcpy(out, &quality, 4), noErr;
        if (id == kAudioUnitProperty_CPULoad) return std::memcpy(out, &load, 4), noErr;
        return PassThroughUnit::GetProperty(id, s, e, out);
    }
    OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope s, AudioUnitElement e,
                         const void* in, UInt32 size) override {
        if (id == kAudioUnitProperty_RenderQuality) return std::memcpy(&quality, in, 4), noErr;
        if (id == kAudioUnitProperty_CPULoad) return std::memcpy(&load, in, 4), noErr;
        return PassThroughUnit::SetProperty(id, s, e, in, size);
    }
    UInt32 quality = 0;
    Float32 load = 0.0f;
};

// Releases the reference it was given.
struct Owned {
    explicit Owned(CFTypeRef value) : ref(value) {}
    ~Owned() { CFRelease(ref); }
    CFTypeRef ref;
};

CFStringRef Key(const char* text) {
    return ConstantString(text);
}

void Put(CFMutableDictionaryRef dict, const char* key, CFTypeRef value) {
    CFDictionarySetValue(dict, Key(key), value);
    CFRelease(value);
}
CFNumberRef Int(SInt32 v) {
    return CFNumberCreate(nullptr, kCFNumberSInt32Type, &v);
}
CFStringRef Text(const char* text) {
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}
CFMutableDictionaryRef NewDict() {
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

struct Param {
    UInt32 id;
    Float32 value;
};
// One element record of the parameter blob, big-endian.
std::vector<UInt8> Record(UInt32 scope, UInt32 element, std::initializer_list<Param> params,
                          UInt32 count = ~0u) {
    std::vector<UInt8> out;
    auto word = [&](UInt32 w) {
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(UInt8(w >> shift));
    };
    word(scope), word(element), word(count == ~0u ? UInt32(params.size()) : count);
    for (const Param& p : params) {
        UInt32 bits;
        std::memcpy(&bits, &p.value, 4);
        word(p.id), word(bits);
    }
    return out;
}
std::vector<UInt8> Join(std::initializer_list<std::vector<UInt8>> parts) {
    std::vector<UInt8> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
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
    static CFMutableDictionaryRef Save(AUBase& unit) {
        CFPropertyListRef state = nullptr;
        EXPECT_EQ(unit.DispatchGetProperty(kAudioUnitProperty_ClassInfo, G, 0, &state), noErr);
        return CFDictionaryCreateMutableCopy(nullptr, 0,
                                             static_cast<CFDictionaryRef>(Owned(state).ref));
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
    a.GetElement(Out, 0)->SetParameter(2, 42.0f);
    a.quality = 96, a.load = 0.75f;
    Owned mic(Text("Mic")), warm(Text("Warm"));
    a.GetElement(In, 0)->SetName(static_cast<CFStringRef>(mic.ref));
    const AUPreset preset{-1, static_cast<CFStringRef>(warm.ref)};
    a.DispatchSetProperty(kAudioUnitProperty_PresentPreset, G, 0, &preset, sizeof preset);
    Owned saved(Save(a));

    QualityUnit& b = Open<QualityUnit>();
    ListenerLog log;
    log.ListenToAll(b);
    EXPECT_EQ(Restore(b, saved.ref), noErr);
    EXPECT_EQ(b.GetElement(G, 0)->GetParameter(7), -2.25f);
    EXPECT_EQ(b.GetElement(Out, 0)->GetParameter(2), 42.0f);
    EXPECT_TRUE(CFEqual(b.GetElement(In, 0)->GetName(), mic.ref));
    EXPECT_TRUE(CFEqual(PresetName(b), warm.ref));
    EXPECT_EQ(b.quality, 96u);
    EXPECT_EQ(b.load, 0.75f);
    EXPECT_EQ(log.events, (std::vector<Notification>{{kAudioUnitProperty_CurrentPreset, G, 0},
                                                     {kAudioUnitProperty_PresentPreset, G, 0},
                                                     {kAudioUnitProperty_RenderQuality, G, 0},
                                                     {kAudioUnitProperty_CPULoad, G, 0}}));

    Owned again(Save(b));
    EXPECT_TRUE(CFEqual(saved.ref, again.ref));
    auto blob = [](CFTypeRef dict) {
        auto data = static_cast<CFDataRef>(
            CFDictionaryGetValue(static_cast<CFDictionaryRef>(dict), Key("data")));
        return std::vector<UInt8>(CFDataGetBytePtr(data),
                                  CFDataGetBytePtr(data) + CFDataGetLength(data));
    };
    EXPECT_EQ(blob(saved.ref), blob(again.ref));
    EXPECT_EQ(blob(saved.ref), Join({Record(G, 0, {{1, 0.5f}, {7, -2.25f}}),
                                     Record(In, 0, {{3, 1.0f}}), Record(Out, 0, {{2, 42.0f}})}));
}

TEST_F(SavedState, HoldsTheInstanceDescriptionAndOnlyWhatTheUnitAnswers) {
    AUBase& unit = Open();
    Owned saved(Save(unit));
    const auto dict = static_cast<CFDictionaryRef>(saved.ref);
    SInt32 value = -1;
    const std::pair<const char*, SInt32> numbers[] = {{"version", 0},
                                                      {"type", SInt32(kAudioUnitType_Effect)},
                                                      {"subtype", SInt32(kTestSubtype)},
                                                      {"manufacturer", SInt32(kTestManufacturer)}};
    for (const auto& [key, expected] : numbers) {
        EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(dict, Key(key))),
                                     kCFNumberSInt32Type, &value));
        EXPECT_EQ(value, expected) << key;
    }
    EXPECT_EQ(CFDataGetLength(static_cast<CFDataRef>(CFDictionaryGetValue(dict, Key("data")))), 0);
    EXPECT_TRUE(CFEqual(CFDictionaryGetValue(dict, Key("name")), CFSTR("Untitled")));
    for (const char* absent : {"render-quality", "cpu-load", "element-name", "part"})
        EXPECT_FALSE(CFDictionaryContainsKey(dict, Key(absent))) << absent;
}

TEST_F(SavedState, OptionalEntriesMayBeMissingAndTheTypeIsNotCompared) {
    AUBase& source = Open();
    Owned named(Text("Named"));
    const AUPreset preset{-1, static_cast<CFStringRef>(named.ref)};
    source.DispatchSetProperty(kAudioUnitProperty_CurrentPreset, G, 0, &preset, sizeof preset);
    Owned state(Save(source));
    auto dict = (CFMutableDictionaryRef)state.ref;
    CFDictionaryRemoveValue(dict, Key("data"));
    CFDictionaryRemoveValue(dict, Key("name"));

    AUBase& other = Open(FourCC("aumf"));
    other.DispatchSetProperty(kAudioUnitProperty_CurrentPreset, G, 0, &preset, sizeof preset);
    EXPECT_EQ(Restore(other, dict), noErr);
    EXPECT_TRUE(CFEqual(PresetName(other), CFSTR("Untitled")));
}

TEST_F(SavedState, ElementNamesComeBackAndGrowTheirScope) {
    AUBase& unit = Open();
    Owned state(Save(unit));
    CFMutableDictionaryRef names = NewDict(), inputs = NewDict(), globals = NewDict();
    Put(inputs, "0", Text("Left")), Put(inputs, "2", Text("Side"));
    Put(globals, "3", Text("never"));
    Put(names, "1", inputs), Put(names, "0", globals);
    Put((CFMutableDictionaryRef)state.ref, "element-name", names);

    ListenerLog log;
    log.ListenToAll(unit);
    EXPECT_EQ(Restore(unit, state.ref), noErr);
    EXPECT_EQ(unit.Inputs().GetNumberOfElements(), 3u);
    EXPECT_EQ(unit.GlobalScope().GetNumberOfElements(), 1u);
    EXPECT_TRUE(CFEqual(unit.GetElement(In, 2)->GetName(), CFSTR("Side")));
    EXPECT_EQ(log.events.back(), (Notification{kAudioUnitProperty_ElementCount, In, 0}));

    EXPECT_FALSE(unit.Globals()->HasName()) << "the global scope holds element 0 only";
}

TEST_F(SavedState, TheBlobWalkStopsAtAMissingElementOrTheEndAndNeverReadsPastIt) {
    const auto full =
        Join({Record(G, 0, {{1, 0.25f}}), Record(In, 3, {{5, 1.0f}}), Record(Out, 0, {{2, 9.0f}})});
    const std::size_t firstRecord = 20;
    for (std::size_t length = 0; length <= full.size(); ++length) {
        AUBase& unit = Open();
        Owned state(Save(unit));
        Put((CFMutableDictionaryRef)state.ref, "data", Data(full, length));
        Put((CFMutableDictionaryRef)state.ref, "name", Text("After"));
        ASSERT_EQ(Restore(unit, state.ref), noErr) << "cut at " << length;
        EXPECT_EQ(unit.Globals()->GetNumberOfParameters(), length >= firstRecord ? 1u : 0u);
        EXPECT_EQ(unit.GetElement(Out, 0)->GetNumberOfParameters(), 0u) << "behind input 3";
        EXPECT_TRUE(CFEqual(PresetName(unit), CFSTR("After")));
    }
}

TEST_F(SavedState, ABadScopeOrParameterEndsTheRestoreAfterWhatWasApplied) {
    AUBase& unit = Open();
    unit.GetElement(Out, 0)->UseIndexedParameters(2);
    const auto cases = {
        std::make_pair(Record(7, 0, {}), kAudioUnitErr_InvalidScope),
        std::make_pair(Record(Out, 0, {{9, 1.0f}}), kAudioUnitErr_InvalidParameter)};
    for (const auto& [bad, status] : cases) {
        unit.Globals()->SetParameter(4, 0.0f);
        Owned state(Save(unit));
        Put((CFMutableDictionaryRef)state.ref, "data",
            Data(Join({Record(G, 0, {{4, 0.5f}}), bad}), 20 + bad.size()));
        Put((CFMutableDictionaryRef)state.ref, "name", Text("not reached"));
        EXPECT_EQ(Restore(unit, state.ref), status);
        EXPECT_EQ(unit.Globals()->GetParameter(4), 0.5f);
        EXPECT_TRUE(CFEqual(PresetName(unit), CFSTR("Untitled")));
    }
}

// Each row breaks one thing of an otherwise valid dictionary; all are refused before anything
// changes, and nothing of them is left alive.
TEST_F(SavedState, HostileDictionariesAreRefusedWithoutChangingAnything) {
    using Break = std::function<void(CFMutableDictionaryRef)>;
    auto scopeNames = [](CFTypeRef inner) {
        CFMutableDictionaryRef names = NewDict();
        Put(names, "1", inner);
        return names;
    };
    auto stringKeyed = [](CFTypeRef value) {
        CFMutableDictionaryRef d = NewDict();
        Put(d, "0", value);
        return d;
    };
    const std::pair<const char*, Break> rows[] = {
        {"version is text", [](auto d) { Put(d, "version", Text("0")); }},
        {"version 1", [](auto d) { Put(d, "version", Int(1)); }},
        {"version 0.5",
         [](auto d) {
             Float32 half = 0.5f;
             Put(d, "version", CFNumberCreate(nullptr, kCFNumberFloatType, &half));
         }},
        {"no version", [](auto d) { CFDictionaryRemoveValue(d, Key("version")); }},
        {"other subtype", [](auto d) { Put(d, "subtype", Int(1)); }},
        {"subtype is text", [](auto d) { Put(d, "subtype", Text("ptst")); }},
        {"no manufacturer", [](auto d) { CFDictionaryRemoveValue(d, Key("manufacturer")); }},
        {"a part", [](auto d) { Put(d, "part", Int(0)); }},
        {"data is text", [](auto d) { Put(d, "data", Text("\x01")); }},
        {"name is a number", [](auto d) { Put(d, "name", Int(3)); }},
        {"render-quality is text", [](auto d) { Put(d, "render-quality", Text("max")); }},
        {"element-name is text", [](auto d) { Put(d, "element-name", Text("x")); }},
        {"scope names are text", [&](auto d) { Put(d, "element-name", scopeNames(Text("x"))); }},
        {"a name is a number",
         [&](auto d) { Put(d, "element-name", scopeNames(stringKeyed(Int(2)))); }},
        {"a key is a number",
         [&](auto d) {
             CFMutableDictionaryRef inner = NewDict();
             CFNumberRef key = Int(0);
             CFDictionarySetValue(inner, key, CFSTR("x"));
             CFRelease(key);
             Put(d, "element-name", scopeNames(inner));
         }},
    };
    AUBase& unit = Open();
    unit.Globals()->SetParameter(1, 0.5f);
    ListenerLog log;
    log.ListenToAll(unit);
    for (const auto& [what, breakIt] : rows) {
        Owned state(Save(unit));
        Put((CFMutableDictionaryRef)state.ref, "data", Data(Record(G, 0, {{1, 9.0f}}), 20));
        Put((CFMutableDictionaryRef)state.ref, "name", Text("changed"));
        breakIt((CFMutableDictionaryRef)state.ref);
        EXPECT_EQ(Restore(unit, state.ref), kAudioUnitErr_InvalidPropertyValue) << what;
    }
    EXPECT_EQ(Restore(unit, nullptr), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(Restore(unit, CFSTR("state")), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(unit.Globals()->GetParameter(1), 0.5f);
    EXPECT_TRUE(CFEqual(PresetName(unit), CFSTR("Untitled")));
    EXPECT_TRUE(log.events.empty());
}

}  // namespace
}  // namespace marvex::test
