#include "elements/AUScope.h"

#include <gtest/gtest.h>

#include "format/CFNumber.h"
#include "tests/elements/TestUnit.h"
#include "tests/support/NoValueLeaks.h"

namespace {

using marvex::test::Str;
using marvex::test::TestUnit;
using marvex::test::ThrownStatus;

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

// Every test ends with no property-list value left alive.
class ScopeTest : public marvex::test::NoValueLeaks {
protected:
    void TearDown() override {
        scope.SetNumberOfElements(0);
        NoValueLeaks::TearDown();
    }
    TestUnit unit;
    AUScope scope;
};

TEST_F(ScopeTest, HostileNameKeysAreSkippedWithoutTouchingTheCount) {
    scope.Initialize(&unit, kAudioUnitScope_Output, 2);
    SInt32 seven = 7;
    CFDictionaryRef hostile = Dict({
        {Str("4294967295"), Str("wrap")},  // largest + 1 would wrap to 0
        {Str("4096"), Str("limit")},
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
    EXPECT_TRUE(CFEqual(scope.GetElement(1)->GetName(), CFSTR("one")));
    CFRelease(edge);
}

}  // namespace
