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

namespace {

// Every test must give back what it made.
class Values : public ::testing::Test {
protected:
    void SetUp() override { mLiveBefore = marvex::LiveValueCount(); }
    void TearDown() override {
        EXPECT_EQ(marvex::LiveValueCount(), mLiveBefore) << "leaked values";
    }

    static CFStringRef Str(const char* text) {
        return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
    }
    static CFNumberRef Int(SInt32 v) { return CFNumberCreate(nullptr, kCFNumberSInt32Type, &v); }
    static CFNumberRef Float(Float32 v) { return CFNumberCreate(nullptr, kCFNumberFloatType, &v); }
    static CFMutableDictionaryRef Dict() {
        return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                         &kCFTypeDictionaryValueCallBacks);
    }

private:
    long mLiveBefore = 0;
};

}  // namespace

TEST_F(Values, RetainAndReleaseCountAndFree) {
    const long before = marvex::LiveValueCount();
    CFStringRef s = Str("Pitch");
    EXPECT_EQ(marvex::LiveValueCount(), before + 1);
    EXPECT_EQ(CFGetRetainCount(s), 1);
    EXPECT_EQ(CFRetain(s), s);
    EXPECT_EQ(CFGetRetainCount(s), 2);
    CFRelease(s);
    EXPECT_EQ(marvex::LiveValueCount(), before + 1);
    CFRelease(s);
    EXPECT_EQ(marvex::LiveValueCount(), before);

    CFRelease(nullptr);  // harmless
    EXPECT_EQ(CFRetain(nullptr), nullptr);
    EXPECT_EQ(CFGetTypeID(nullptr), 0u);
}

TEST_F(Values, ConstantsAreImmortalAndShared) {
    CFStringRef a = CFSTR("element-name");
    CFStringRef b = marvex::ConstantString("element-name");
    EXPECT_EQ(a, b);
    const long live = marvex::LiveValueCount();
    for (int i = 0; i < 3; ++i) CFRelease(a);
    CFRetain(kCFBooleanTrue);
    CFRelease(kCFBooleanTrue);
    CFRelease(kCFBooleanTrue);
    EXPECT_STREQ(CFStringGetCStringPtr(a, kCFStringEncodingUTF8), "element-name");
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
    EXPECT_FALSE(CFBooleanGetValue(kCFBooleanFalse));
    EXPECT_EQ(marvex::LiveValueCount(), live);
}

TEST_F(Values, StringsRefuseInvalidTextAndCutAtTheLimit) {
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "caf\xC3\xA9", kCFStringEncodingASCII), nullptr);
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xC3(", kCFStringEncodingUTF8), nullptr);
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "\xED\xA0\x80", kCFStringEncodingUTF8), nullptr);
    EXPECT_EQ(CFStringCreateWithCString(nullptr, "x", 0x1234), nullptr);
    EXPECT_EQ(CFStringCreateWithCString(nullptr, nullptr, kCFStringEncodingUTF8), nullptr);

    CFStringRef ascii = CFStringCreateWithCString(nullptr, "LowerFrequency", 0x0600);
    ASSERT_NE(ascii, nullptr);
    char buf[52];
    EXPECT_TRUE(CFStringGetCString(ascii, buf, sizeof buf, 0x08000100));
    EXPECT_STREQ(buf, "LowerFrequency");
    char small[6];
    EXPECT_FALSE(CFStringGetCString(ascii, small, sizeof small, kCFStringEncodingASCII));
    EXPECT_STREQ(small, "Lower");  // cut, still terminated
    CFRelease(ascii);

    // A cut never splits a character: "é" is two bytes.
    CFStringRef accented = Str("ab\xC3\xA9");
    EXPECT_EQ(CFStringGetLength(accented), 3);
    char four[4];
    EXPECT_FALSE(CFStringGetCString(accented, four, sizeof four, kCFStringEncodingUTF8));
    EXPECT_STREQ(four, "ab");
    char enough[5];
    EXPECT_TRUE(CFStringGetCString(accented, enough, sizeof enough, kCFStringEncodingUTF8));
    EXPECT_FALSE(CFStringGetCString(accented, enough, sizeof enough, kCFStringEncodingASCII));
    EXPECT_STREQ(enough, "");
    EXPECT_EQ(CFStringGetCStringPtr(accented, kCFStringEncodingASCII), nullptr);
    CFRelease(accented);
}

TEST_F(Values, NumbersKeepIntegerAndFloatApart) {
    CFNumberRef i = Int(-7);
    CFNumberRef f = Float(2.5f);
    EXPECT_FALSE(CFNumberIsFloatType(i));
    EXPECT_TRUE(CFNumberIsFloatType(f));
    EXPECT_EQ(CFNumberGetType(f), kCFNumberFloatType);

    SInt32 iv = 0;
    Float32 fv = 0;
    EXPECT_TRUE(CFNumberGetValue(i, kCFNumberSInt32Type, &iv));
    EXPECT_EQ(iv, -7);
    EXPECT_TRUE(CFNumberGetValue(f, kCFNumberFloatType, &fv));
    EXPECT_EQ(fv, 2.5f);
    // Asked as the other kind: converted, exactness reported.
    EXPECT_TRUE(CFNumberGetValue(i, kCFNumberFloat32Type, &fv));
    EXPECT_EQ(fv, -7.0f);
    EXPECT_FALSE(CFNumberGetValue(f, kCFNumberSInt32Type, &iv));
    EXPECT_EQ(iv, 2);

    // Out of range and NaN are refused as inexact, never undefined.
    const SInt64 big = SInt64(1) << 40;
    CFNumberRef wide = CFNumberCreate(nullptr, kCFNumberSInt64Type, &big);
    EXPECT_FALSE(CFNumberGetValue(wide, kCFNumberSInt32Type, &iv));
    const Float64 nan = std::nan(""), huge = 1e300;
    CFNumberRef n = CFNumberCreate(nullptr, kCFNumberFloat64Type, &nan);
    CFNumberRef h = CFNumberCreate(nullptr, kCFNumberFloat64Type, &huge);
    EXPECT_FALSE(CFNumberGetValue(n, kCFNumberSInt32Type, &iv));
    EXPECT_EQ(iv, 0);
    EXPECT_FALSE(CFNumberGetValue(h, kCFNumberFloat32Type, &fv));
    EXPECT_TRUE(std::isinf(fv));
    EXPECT_FALSE(CFNumberGetValue(i, 99, &iv));
    EXPECT_EQ(CFNumberCreate(nullptr, 99, &iv), nullptr);

    // Equal values compare equal across kinds, with equal hashes.
    CFNumberRef seven = Float(-7.0f);
    EXPECT_TRUE(CFEqual(i, seven));
    EXPECT_EQ(CFHash(i), CFHash(seven));
    EXPECT_FALSE(CFEqual(f, seven));
    // Stored NaNs are the same value (a file round trip must compare equal).
    const Float64 otherNan = -std::nan("1");
    CFNumberRef n2 = CFNumberCreate(nullptr, kCFNumberFloat64Type, &otherNan);
    EXPECT_TRUE(CFEqual(n, n2));
    EXPECT_EQ(CFHash(n), CFHash(n2));
    CFRelease(n2);
    for (CFTypeRef v : {CFTypeRef(i), CFTypeRef(f), CFTypeRef(wide), CFTypeRef(n), CFTypeRef(h),
                        CFTypeRef(seven)})
        CFRelease(v);
}

TEST_F(Values, DataGrowsInOrderAndRefusesBadLengths) {
    CFMutableDataRef d = CFDataCreateMutable(nullptr, 0);
    EXPECT_EQ(CFDataGetLength(d), 0);
    EXPECT_EQ(CFDataGetBytePtr(d), nullptr);
    const UInt8 a[] = {0x00, 0x00, 0x00, 0x02}, b[] = {0x43, 0xDC};
    CFDataAppendBytes(d, a, sizeof a);
    CFDataAppendBytes(d, b, sizeof b);
    CFDataAppendBytes(d, b, -1);
    CFDataAppendBytes(d, nullptr, 4);
    ASSERT_EQ(CFDataGetLength(d), 6);
    EXPECT_EQ(std::memcmp(CFDataGetBytePtr(d), "\x00\x00\x00\x02\x43\xDC", 6), 0);

    CFDataRef frozen = CFDataCreate(nullptr, a, sizeof a);
    CFDataAppendBytes(const_cast<CFMutableDataRef>(frozen), b, sizeof b);  // immutable
    EXPECT_EQ(CFDataGetLength(frozen), 4);
    EXPECT_EQ(CFDataCreate(nullptr, a, -1), nullptr);

    CFMutableDataRef capped = CFDataCreateMutable(nullptr, 5);
    CFDataAppendBytes(capped, a, sizeof a);
    CFDataAppendBytes(capped, b, sizeof b);  // would pass the capacity
    EXPECT_EQ(CFDataGetLength(capped), 4);
    for (CFTypeRef v : {CFTypeRef(d), CFTypeRef(frozen), CFTypeRef(capped)}) CFRelease(v);
}

TEST_F(Values, DictionaryKeysCompareByText) {
    CFMutableDictionaryRef dict = Dict();
    CFStringRef key1 = Str("name");
    CFStringRef key2 = Str("name");  // a different object with the same text
    ASSERT_NE(key1, key2);
    CFNumberRef one = Int(1), two = Int(2);

    CFDictionarySetValue(dict, key1, one);
    EXPECT_EQ(CFGetRetainCount(key1), 2);
    EXPECT_EQ(CFGetRetainCount(one), 2);
    EXPECT_EQ(CFDictionaryGetValue(dict, key2), one);
    EXPECT_EQ(CFDictionaryGetValue(dict, CFSTR("name")), one);
    EXPECT_TRUE(CFDictionaryContainsKey(dict, key2));

    CFDictionarySetValue(dict, key2, two);  // replaces, keeps the first key
    EXPECT_EQ(CFDictionaryGetCount(dict), 1);
    EXPECT_EQ(CFGetRetainCount(one), 1);
    EXPECT_EQ(CFGetRetainCount(two), 2);
    EXPECT_EQ(CFGetRetainCount(key2), 1);
    CFDictionaryAddValue(dict, key2, one);  // present: no change
    EXPECT_EQ(CFDictionaryGetValue(dict, key1), two);

    const void* got = nullptr;
    EXPECT_FALSE(CFDictionaryGetValueIfPresent(dict, CFSTR("missing"), &got));
    EXPECT_EQ(got, nullptr);
    EXPECT_TRUE(CFDictionaryGetValueIfPresent(dict, key1, &got));
    EXPECT_EQ(got, two);
    EXPECT_EQ(CFGetRetainCount(two), 2);  // a get does not retain

    CFDictionaryRemoveValue(dict, key2);
    EXPECT_EQ(CFDictionaryGetCount(dict), 0);
    EXPECT_EQ(CFGetRetainCount(key1), 1);
    for (CFTypeRef v :
         {CFTypeRef(dict), CFTypeRef(key1), CFTypeRef(key2), CFTypeRef(one), CFTypeRef(two)})
        CFRelease(v);
}

TEST_F(Values, DictionaryReleasesEverythingItHoldsAndListsAllPairs) {
    CFMutableDictionaryRef outer = Dict();
    CFMutableDictionaryRef inner = Dict();
    const char* names[] = {"0", "1", "7", "4095"};
    for (const char* n : names) {
        CFStringRef k = Str(n), v = Str(n);
        CFDictionarySetValue(inner, k, v);
        CFRelease(k);
        CFRelease(v);
    }
    CFDictionarySetValue(outer, CFSTR("element-name"), inner);
    CFRelease(inner);

    ASSERT_EQ(CFDictionaryGetCount(inner), 4);
    const void* keys[4];
    const void* values[4];
    CFDictionaryGetKeysAndValues(inner, keys, values);
    int seen = 0;
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(CFEqual(keys[i], values[i]));
        for (int j = 0; j < 4; ++j)
            if (std::strcmp(
                    CFStringGetCStringPtr(static_cast<CFStringRef>(keys[i]), kCFStringEncodingUTF8),
                    names[j]) == 0)
                seen |= 1 << j;
    }
    EXPECT_EQ(seen, 0xF);

    CFMutableDictionaryRef copy = CFDictionaryCreateMutableCopy(nullptr, 0, outer);
    EXPECT_TRUE(CFEqual(copy, outer));
    EXPECT_EQ(CFGetRetainCount(inner), 2);
    CFRelease(copy);
    CFRelease(outer);  // the fixture proves inner and its pairs went with it
}

TEST_F(Values, OperationsRefuseTheWrongType) {
    CFStringRef s = Str("text");
    CFMutableDictionaryRef dict = Dict();
    CFNumberRef n = Int(3);
    SInt32 v = 0;
    EXPECT_FALSE(CFNumberGetValue(reinterpret_cast<CFNumberRef>(s), kCFNumberSInt32Type, &v));
    EXPECT_EQ(CFDictionaryGetCount(reinterpret_cast<CFDictionaryRef>(s)), 0);
    CFDictionarySetValue((CFMutableDictionaryRef)n, s, s);
    EXPECT_EQ(CFGetRetainCount(s), 1);
    EXPECT_EQ(CFStringGetCStringPtr(reinterpret_cast<CFStringRef>(n), kCFStringEncodingUTF8),
              nullptr);
    EXPECT_EQ(CFDataGetLength(reinterpret_cast<CFDataRef>(dict)), 0);
    // Keys and values must be values.
    static const int notAValue[4] = {};
    CFDictionarySetValue(dict, s, notAValue);
    CFDictionarySetValue(dict, nullptr, s);
    EXPECT_EQ(CFDictionaryGetCount(dict), 0);
    EXPECT_NE(CFGetTypeID(dict), CFGetTypeID(s));
    EXPECT_EQ(CFGetTypeID(dict), CFDictionaryGetTypeID());
    EXPECT_EQ(CFGetTypeID(notAValue), 0u);
    for (CFTypeRef x : {CFTypeRef(s), CFTypeRef(dict), CFTypeRef(n)}) CFRelease(x);
}

TEST_F(Values, ArraysRetainValuesOrHoldRawPointers) {
    CFMutableArrayRef values = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFStringRef s = Str("x");
    CFArrayAppendValue(values, s);
    CFArrayAppendValue(values, s);
    EXPECT_EQ(CFGetRetainCount(s), 3);
    EXPECT_EQ(CFArrayGetCount(values), 2);
    EXPECT_EQ(CFArrayGetValueAtIndex(values, 1), s);
    EXPECT_EQ(CFArrayGetValueAtIndex(values, 2), nullptr);
    EXPECT_EQ(CFArrayGetValueAtIndex(values, -1), nullptr);
    CFRelease(values);
    EXPECT_EQ(CFGetRetainCount(s), 1);

    static int plain[2];
    const void* raw[] = {&plain[0], &plain[1]};
    CFArrayRef pointers = CFArrayCreate(nullptr, raw, 2, nullptr);
    EXPECT_EQ(CFArrayGetValueAtIndex(pointers, 1), &plain[1]);
    CFRelease(pointers);
    CFRelease(s);
}

TEST_F(Values, UrlsCarryPathsBothWays) {
    const char path[] = "/tmp/Marvex.bundle/Resources/x.bundle";
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>(path), CFIndex(sizeof path - 1), true);
    UInt8 buf[64];
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(url, true, buf, sizeof buf));
    EXPECT_STREQ(reinterpret_cast<char*>(buf), path);
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(url, true, buf, 10));
    EXPECT_TRUE(CFURLHasDirectoryPath(url));
    CFStringRef text = CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle);
    EXPECT_STREQ(CFStringGetCStringPtr(text, kCFStringEncodingUTF8), path);
    const UInt8 withNul[] = {'/', 0, 'x'};
    EXPECT_EQ(CFURLCreateFromFileSystemRepresentation(nullptr, withNul, 3, false), nullptr);
    CFRelease(text);
    CFRelease(url);
}
