#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "format/CFArray.h"
#include "format/CFData.h"
#include "format/CFDictionary.h"
#include "format/CFNumber.h"
#include "format/CFString.h"
#include "format/CFURL.h"
#include "tests/support/NoValueLeaks.h"

namespace marvex::test {
namespace {

CFStringRef Str(const char* text) {
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}

using Values = NoValueLeaks;

TEST_F(Values, CountedValuesFreeAtTheLastReleaseAndConstantsNever) {
    const long before = LiveValueCount();
    CFStringRef s = Str("Pitch");
    CFRelease(CFRetain(s));
    EXPECT_EQ(LiveValueCount(), before + 1);
    CFRelease(s);
    EXPECT_EQ(LiveValueCount(), before);
    for (int i = 0; i < 3; ++i) CFRelease(CFSTR("element-name"));
    EXPECT_EQ(CFSTR("element-name"), ConstantString("element-name"));
    EXPECT_STREQ(CFStringGetCStringPtr(CFSTR("element-name"), kCFStringEncodingUTF8),
                 "element-name");
}

TEST_F(Values, StringsRefuseInvalidTextAndCopiesNeverSplitACharacter) {
    const char* refused[] = {"\xC3(", "\xED\xA0\x80" /* surrogate */, "\xE0\x9F\xBF" /* overlong */,
                             "\xF4\x90\x80\x80" /* past U+10FFFF */};
    for (const char* text : refused) EXPECT_EQ(Str(text), nullptr) << text;
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "caf\xC3\xA9", kCFStringEncodingASCII), nullptr);

    CFStringRef accented = Str("ab\xC3\xA9");
    EXPECT_EQ(CFStringGetLength(accented), 3);
    char four[4], five[5];
    EXPECT_FALSE(CFStringGetCString(accented, four, sizeof four, kCFStringEncodingUTF8));
    EXPECT_STREQ(four, "ab");
    EXPECT_TRUE(CFStringGetCString(accented, five, sizeof five, kCFStringEncodingUTF8));
    EXPECT_FALSE(CFStringGetCString(accented, five, sizeof five, kCFStringEncodingASCII));
    CFRelease(accented);
}

TEST_F(Values, NumbersConvertReportingExactnessAndCompareAcrossKinds) {
    const SInt64 big = SInt64(1) << 40;
    const Float32 two5 = 2.5f, minusSeven = -7.0f;
    const Float64 max32 = INT32_MAX, nan = std::nan(""), otherNan = -std::nan("1"), huge = 1e300;
    CFNumberRef wide = CFNumberCreate(nullptr, kCFNumberSInt64Type, &big);
    CFNumberRef f = CFNumberCreate(nullptr, kCFNumberFloatType, &two5);
    CFNumberRef h = CFNumberCreate(nullptr, kCFNumberFloat64Type, &huge);
    CFNumberRef n = CFNumberCreate(nullptr, kCFNumberFloat64Type, &nan);
    CFNumberRef n2 = CFNumberCreate(nullptr, kCFNumberFloat64Type, &otherNan);
    CFNumberRef seven = CFNumberCreate(nullptr, kCFNumberFloatType, &minusSeven);
    CFNumberRef max = CFNumberCreate(nullptr, kCFNumberFloat64Type, &max32);
    SInt32 iv = 0;
    Float32 fv = 0;
    EXPECT_TRUE(CFNumberGetValue(seven, kCFNumberSInt32Type, &iv) && iv == -7);
    EXPECT_TRUE(CFNumberGetValue(max, kCFNumberSInt32Type, &iv) && iv == INT32_MAX);
    EXPECT_FALSE(CFNumberGetValue(f, kCFNumberSInt32Type, &iv));
    EXPECT_EQ(iv, 2) << "truncated";
    EXPECT_FALSE(CFNumberGetValue(wide, kCFNumberSInt32Type, &iv));
    EXPECT_FALSE(CFNumberGetValue(n, kCFNumberSInt32Type, &iv));
    EXPECT_FALSE(CFNumberGetValue(h, kCFNumberFloat32Type, &fv));
    EXPECT_TRUE(std::isinf(fv));
    const SInt32 minusSevenInt = -7;
    CFNumberRef i = CFNumberCreate(nullptr, kCFNumberSInt32Type, &minusSevenInt);
    EXPECT_TRUE(CFEqual(i, seven) && CFHash(i) == CFHash(seven));
    EXPECT_FALSE(CFEqual(f, seven));
    EXPECT_TRUE(CFEqual(n, n2) && CFHash(n) == CFHash(n2)) << "a file round trip keeps NaN equal";
    ReleaseAll({i, f, seven, max, wide, h, n, n2});
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
    EXPECT_EQ(CFDataCreate(nullptr, a, -1), nullptr);
    CFRelease(d);
}

TEST_F(Values, DictionariesKeyByTextAndArraysStopAtTheirEnds) {
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFStringRef key = Str("name"), one = Str("1"), two = Str("2");
    CFDictionarySetValue(dict, key, one);
    EXPECT_EQ(CFDictionaryGetValue(dict, CFSTR("name")), one);
    CFDictionaryAddValue(dict, key, two);
    EXPECT_EQ(CFDictionaryGetValue(dict, key), one) << "adding keeps a present value";
    CFDictionarySetValue(dict, key, two);
    EXPECT_EQ(CFDictionaryGetValue(dict, key), two) << "setting replaces it";
    EXPECT_EQ(CFGetRetainCount(one), 1);
    CFDictionaryRemoveValue(dict, key);
    EXPECT_EQ(CFDictionaryGetCount(dict), 0);

    CFMutableArrayRef values = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(values, one);
    CFArrayAppendValue(values, two);
    EXPECT_EQ(CFGetRetainCount(one), 2);
    EXPECT_EQ(CFArrayGetValueAtIndex(values, 1), two);
    EXPECT_EQ(CFArrayGetValueAtIndex(values, 2), nullptr);
    EXPECT_EQ(CFArrayGetValueAtIndex(values, -1), nullptr);
    ReleaseAll({dict, values, key, one, two});
}

TEST_F(Values, UrlsCarryPathsBothWaysAndRefuseNulBytes) {
    const char path[] = "/tmp/Marvex.bundle/Resources/x.bundle";
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>(path), CFIndex(sizeof path - 1), true);
    UInt8 buf[64];
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(url, true, buf, sizeof buf));
    EXPECT_STREQ(reinterpret_cast<char*>(buf), path);
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(url, true, buf, 10));
    const UInt8 withNul[] = {'/', 0, 'x'};
    EXPECT_EQ(CFURLCreateFromFileSystemRepresentation(nullptr, withNul, 3, false), nullptr);
    CFRelease(url);
}

}  // namespace
}  // namespace marvex::test
