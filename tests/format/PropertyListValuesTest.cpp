#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "format/CFArray.h"
#include "format/CFBoolean.h"
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
CFNumberRef Number(CFNumberType type, const void* value) {
    return CFNumberCreate(nullptr, type, value);
}

using Values = NoValueLeaks;

TEST_F(Values, CountedValuesFreeAtTheLastReleaseAndConstantsNever) {
    const long before = LiveValueCount();
    CFStringRef s = Str("Pitch");
    EXPECT_EQ(CFRetain(s), s);
    CFRelease(s);
    EXPECT_EQ(LiveValueCount(), before + 1);
    CFRelease(s);
    EXPECT_EQ(LiveValueCount(), before);
    CFRelease(nullptr);
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
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "x", 0x1234), nullptr);

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
    const SInt32 minusSeven = -7;
    const Float64 big32 = INT32_MAX;
    const SInt64 big = SInt64(1) << 40;
    const Float32 two5 = 2.5f, sevenF = -7.0f;
    const Float64 nan = std::nan(""), otherNan = -std::nan("1"), huge = 1e300;
    CFNumberRef i = Number(kCFNumberSInt32Type, &minusSeven),
                max = Number(kCFNumberFloat64Type, &big32);
    CFNumberRef f = Number(kCFNumberFloatType, &two5), seven = Number(kCFNumberFloatType, &sevenF);
    CFNumberRef wide = Number(kCFNumberSInt64Type, &big), h = Number(kCFNumberFloat64Type, &huge);
    CFNumberRef n = Number(kCFNumberFloat64Type, &nan),
                n2 = Number(kCFNumberFloat64Type, &otherNan);
    SInt32 iv = 0;
    Float32 fv = 0;
    EXPECT_TRUE(CFNumberGetValue(i, kCFNumberFloat32Type, &fv) && fv == -7.0f);
    EXPECT_TRUE(CFNumberGetValue(max, kCFNumberSInt32Type, &iv) && iv == INT32_MAX);
    EXPECT_FALSE(CFNumberGetValue(f, kCFNumberSInt32Type, &iv));
    EXPECT_EQ(iv, 2) << "truncated";
    EXPECT_FALSE(CFNumberGetValue(wide, kCFNumberSInt32Type, &iv));
    EXPECT_FALSE(CFNumberGetValue(n, kCFNumberSInt32Type, &iv));
    EXPECT_EQ(iv, 0);
    EXPECT_FALSE(CFNumberGetValue(h, kCFNumberFloat32Type, &fv));
    EXPECT_TRUE(std::isinf(fv));
    EXPECT_EQ(CFNumberCreate(nullptr, 99, &iv), nullptr);
    EXPECT_TRUE(CFEqual(i, seven) && CFHash(i) == CFHash(seven));
    EXPECT_FALSE(CFEqual(f, seven));
    EXPECT_TRUE(CFEqual(n, n2) && CFHash(n) == CFHash(n2)) << "a file round trip keeps NaN equal";
    ReleaseAll({i, max, f, seven, wide, h, n, n2});
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
    CFDataRef frozen = CFDataCreate(nullptr, a, sizeof a);
    CFDataAppendBytes(const_cast<CFMutableDataRef>(frozen), b, sizeof b);
    EXPECT_EQ(CFDataGetLength(frozen), 4);
    EXPECT_EQ(CFDataCreate(nullptr, a, -1), nullptr);
    CFRelease(d);
    CFRelease(frozen);
}

TEST_F(Values, DictionariesKeyByTextAndOwnWhatTheyHold) {
    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(
        nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFStringRef key1 = Str("name"), key2 = Str("name");
    CFStringRef one = Str("1"), two = Str("2");
    CFDictionarySetValue(dict, key1, one);
    EXPECT_EQ(CFDictionaryGetValue(dict, CFSTR("name")), one);
    CFDictionaryAddValue(dict, key2, two);
    EXPECT_EQ(CFDictionaryGetValue(dict, key1), one) << "adding keeps a present value";
    CFDictionarySetValue(dict, key2, two);
    EXPECT_EQ(CFDictionaryGetValue(dict, key1), two) << "setting replaces it";
    EXPECT_EQ(CFGetRetainCount(one), 1);
    static const int notAValue[4] = {};
    CFDictionarySetValue(dict, one, notAValue);
    CFDictionarySetValue((CFMutableDictionaryRef)one, key1, two);
    EXPECT_EQ(CFDictionaryGetCount(dict), 1);
    CFMutableDictionaryRef copy = CFDictionaryCreateMutableCopy(nullptr, 0, dict);
    EXPECT_TRUE(CFEqual(copy, dict));
    CFDictionaryRemoveValue(copy, key2);
    EXPECT_EQ(CFDictionaryGetCount(copy), 0);
    ReleaseAll({dict, copy, key1, key2, one, two});
}

TEST_F(Values, ArraysRetainValuesOrHoldRawPointersAndStopAtTheirEnds) {
    CFMutableArrayRef values = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFStringRef s = Str("x");
    CFArrayAppendValue(values, s);
    CFArrayAppendValue(values, s);
    EXPECT_EQ(CFGetRetainCount(s), 3);
    EXPECT_EQ(CFArrayGetValueAtIndex(values, 1), s);
    EXPECT_EQ(CFArrayGetValueAtIndex(values, 2), nullptr);
    EXPECT_EQ(CFArrayGetValueAtIndex(values, -1), nullptr);
    static int plain[2];
    const void* raw[] = {&plain[0], &plain[1]};
    CFArrayRef pointers = CFArrayCreate(nullptr, raw, 2, nullptr);
    EXPECT_EQ(CFArrayGetValueAtIndex(pointers, 1), &plain[1]);
    ReleaseAll({values, pointers, s});
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
