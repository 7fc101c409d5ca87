#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "format/CFArray.h"
#include "format/CFData.h"
#include "format/CFDictionary.h"
#include "format/CFNumber.h"
#include "format/CFString.h"
#include "tests/support/NoValueLeaks.h"

namespace marvex::test {
namespace {

using Values = NoValueLeaks;

TEST_F(Values, StringsRefuseInvalidTextAndCopiesNeverSplitACharacter) {
    const char* refused[] = {"\xC3(", "\xED\xA0\x80" /* surrogate */,
                             "\xE0\x9F\xBF" /* overlong */};
    for (const char* text : refused) EXPECT_EQ(Str(text), nullptr) << text;

    CFStringRef accented = Str("ab\xC3\xA9");
    char four[4];
    EXPECT_FALSE(CFStringGetCString(accented, four, sizeof four, kCFStringEncodingUTF8));
    EXPECT_STREQ(four, "ab");
    CFRelease(accented);
}

TEST_F(Values, NumbersConvertReportingExactnessAndCompareAcrossKinds) {
    const Float32 minusSeven = -7.0f;
    const Float64 nan = std::nan(""), otherNan = -std::nan("1"), huge = 1e300;
    CFNumberRef h = CFNumberCreate(nullptr, kCFNumberFloat64Type, &huge);
    CFNumberRef n = CFNumberCreate(nullptr, kCFNumberFloat64Type, &nan);
    CFNumberRef n2 = CFNumberCreate(nullptr, kCFNumberFloat64Type, &otherNan);
    CFNumberRef seven = CFNumberCreate(nullptr, kCFNumberFloatType, &minusSeven);
    SInt32 iv = 0;
    Float32 fv = 0;
    EXPECT_TRUE(CFNumberGetValue(seven, kCFNumberSInt32Type, &iv) && iv == -7);
    EXPECT_FALSE(CFNumberGetValue(h, kCFNumberFloat32Type, &fv));
    EXPECT_TRUE(std::isinf(fv));
    const SInt32 minusSevenInt = -7;
    CFNumberRef i = CFNumberCreate(nullptr, kCFNumberSInt32Type, &minusSevenInt);
    EXPECT_TRUE(CFEqual(i, seven) && CFHash(i) == CFHash(seven));
    EXPECT_TRUE(CFEqual(n, n2) && CFHash(n) == CFHash(n2)) << "a file round trip keeps NaN equal";
    ReleaseAll({i, seven, h, n, n2});
}

TEST_F(Values, DataAppendsInOrderUpToItsCapacity) {
    const UInt8 a[] = {0, 0, 0, 2}, b[] = {0x43, 0xDC};
    CFMutableDataRef d = CFDataCreateMutable(nullptr, 6);
    CFDataAppendBytes(d, a, sizeof a);
    CFDataAppendBytes(d, b, -1);
    CFDataAppendBytes(d, b, sizeof b);
    ASSERT_EQ(CFDataGetLength(d), 6) << "filled exactly to its capacity";
    EXPECT_EQ(std::memcmp(CFDataGetBytePtr(d), "\x00\x00\x00\x02\x43\xDC", 6), 0);
    CFDataAppendBytes(d, b, 1);
    EXPECT_EQ(CFDataGetLength(d), 6) << "past the capacity";
    CFRelease(d);
}

TEST_F(Values, DictionariesKeyByTextAndArraysStopAtTheirEnds) {
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFStringRef key = Str("name"), one = Str("1"), two = Str("2");
    CFDictionarySetValue(dict, key, one);
    EXPECT_EQ(CFDictionaryGetValue(dict, CFSTR("name")), one) << "keyed by text";
    CFDictionaryAddValue(dict, key, two);
    EXPECT_EQ(CFDictionaryGetValue(dict, key), one) << "adding keeps a present value";
    CFDictionarySetValue(dict, key, two);
    EXPECT_EQ(CFDictionaryGetValue(dict, key), two) << "setting replaces it";
    EXPECT_EQ(CFGetRetainCount(one), 1);

    CFMutableArrayRef values = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(values, one);
    EXPECT_EQ(CFGetRetainCount(one), 2);
    EXPECT_EQ(CFArrayGetValueAtIndex(values, 1), nullptr);
    ReleaseAll({dict, values, key, one, two});
}

}  // namespace
}  // namespace marvex::test
