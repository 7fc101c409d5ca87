#include "elements/AUScope.h"

#include <gtest/gtest.h>

#include <string>

#include "format/CFNumber.h"
#include "tests/elements/TestUnit.h"

namespace {

using marvex::test::TestUnit;
using marvex::test::ThrownStatus;

CFStringRef Str(const char* text) {
    return CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8);
}

// A dictionary of the given pairs; takes over one reference of each key and value.
CFDictionaryRef Dict(std::initializer_list<std::pair<CFTypeRef, CFTypeRef>> pairs) {
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    for (const auto& [key, value] : pairs) {
        CFDictionarySetValue(dict, key, value);
        CFRelease(key);
        CFRelease(value);
    }
    return dict;
}

std::string NameOf(const AUScope& scope, AudioUnitElement element) {
    char text[64] = "";
    CFStringGetCString(scope.GetElement(element)->GetName(), text, sizeof text,
                       kCFStringEncodingUTF8);
    return text;
}

// Every test ends with no property-list value left alive.
class ScopeTest : public ::testing::Test {
protected:
    void TearDown() override {
        scope.SetNumberOfElements(0);
        EXPECT_EQ(marvex::LiveValueCount(), live);
    }
    const long live = marvex::LiveValueCount();
    TestUnit unit;
    AUScope scope;
};

TEST_F(ScopeTest, CountChangesKeepTheElementsBelowIt) {
    scope.Initialize(&unit, kAudioUnitScope_Input, 1);
    AUElement* first = scope.GetElement(0);
    scope.SetNumberOfElements(3);
    EXPECT_EQ(scope.GetElement(0), first);
    EXPECT_NE(dynamic_cast<AUInputElement*>(scope.GetIOElement(2)), nullptr);  // from the creator
    scope.SetNumberOfElements(0);
    EXPECT_EQ(ThrownStatus([&] { scope.SafeGetElement(0); }), kAudioUnitErr_InvalidElement);
}

TEST_F(ScopeTest, HostileNameKeysAreSkippedWithoutTouchingTheCount) {
    scope.Initialize(&unit, kAudioUnitScope_Output, 2);
    SInt32 seven = 7;
    CFDictionaryRef hostile = Dict({
        {Str("4294967295"), Str("wrap")},  // largest + 1 would wrap to 0
        {Str("4096"), Str("limit")},
        {Str("-1"), Str("sign")},
        {Str("+1"), Str("plus")},
        {Str(" 1"), Str("space")},
        {Str("0x1"), Str("hex")},
        {Str(""), Str("empty")},
        {Str("\xD9\xA3"), Str("non-ASCII digit")},
        {Str("00000000000000000000000000000000001"), Str("longer than a key buffer")},
        {CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &seven), Str("number key")},
        {Str("1"), CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &seven)},
    });
    EXPECT_FALSE(scope.RestoreElementNames(hostile));
    EXPECT_EQ(scope.GetNumberOfElements(), 2u);
    EXPECT_FALSE(scope.HasElementWithName());
    CFRelease(hostile);

    CFDictionaryRef edge = Dict({{Str("4095"), Str("last")}, {Str("001"), Str("one")}});
    EXPECT_TRUE(scope.RestoreElementNames(edge));
    EXPECT_EQ(scope.GetNumberOfElements(), AUScope::kMaxRestoredElements);
    EXPECT_EQ(NameOf(scope, 1), "one");
    CFRelease(edge);

    AUScope global;  // holds element 0 and nothing else
    global.Initialize(&unit, kAudioUnitScope_Global, 1);
    CFDictionaryRef globalNames = Dict({{Str("0"), Str("G")}, {Str("1"), Str("extra")}});
    EXPECT_FALSE(global.RestoreElementNames(globalNames));
    EXPECT_EQ(global.GetNumberOfElements(), 1u);
    EXPECT_EQ(NameOf(global, 0), "G");
    global.SetNumberOfElements(0);
    CFRelease(globalNames);
}

}  // namespace
