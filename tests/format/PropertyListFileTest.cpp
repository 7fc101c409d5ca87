#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "format/CFArray.h"
#include "format/CFBoolean.h"
#include "format/CFData.h"
#include "format/CFDictionary.h"
#include "format/CFNumber.h"
#include "format/CFString.h"
#include "format/PropertyListFile.h"

namespace {

class PlistFile : public ::testing::Test {
protected:
    void SetUp() override {
        mLiveBefore = marvex::LiveValueCount();
        char dir[] = "/tmp/marvex-plist-XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        mDir = dir;
    }
    void TearDown() override {
        std::system(("rm -rf '" + mDir + "'").c_str());
        EXPECT_EQ(marvex::LiveValueCount(), mLiveBefore) << "leaked values";
    }
    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = mDir + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // Parses text; expects a refusal with a message.
    static void ExpectRefused(const std::string& text, const char* why) {
        std::string error;
        CFPropertyListRef v = marvex::PropertyListFromBytes(text.data(), text.size(), &error);
        EXPECT_EQ(v, nullptr) << why;
        EXPECT_FALSE(error.empty()) << why;
        CFRelease(v);
    }
    static void Set(CFMutableDictionaryRef d, const char* key, CFTypeRef value) {
        CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
        CFDictionarySetValue(d, k, value);
        CFRelease(k);
        CFRelease(value);
    }
    static CFMutableDictionaryRef Dict() {
        return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                         &kCFTypeDictionaryValueCallBacks);
    }

    std::string mDir;

private:
    long mLiveBefore = 0;
};

const void* Get(CFTypeRef dict, const char* key) {
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    const void* v = CFDictionaryGetValue(static_cast<CFDictionaryRef>(dict), k);
    CFRelease(k);
    return v;
}

}  // namespace

TEST_F(PlistFile, NestedClassInfoRoundTrips) {
    // The shape a saved unit state takes: integers, a float, data, strings, nested names.
    CFMutableDictionaryRef root = Dict();
    SInt32 version = 0, type = 0x61756678, negative = -1;
    Float32 load = 0.1f;
    const UInt8 blob[] = {0, 0, 0, 0, 0, 0, 0, 8, 0x40, 0x00, 0x00, 0x00, 0xFF};
    Set(root, "version", CFNumberCreate(nullptr, kCFNumberSInt32Type, &version));
    Set(root, "type", CFNumberCreate(nullptr, kCFNumberSInt32Type, &type));
    Set(root, "part", CFNumberCreate(nullptr, kCFNumberSInt32Type, &negative));
    Set(root, "cpu-load", CFNumberCreate(nullptr, kCFNumberFloatType, &load));
    Set(root, "data", CFDataCreate(nullptr, blob, sizeof blob));
    Set(root, "name",
        CFStringCreateWithCString(nullptr, "Stimmung <&> \xC3\xA9", kCFStringEncodingUTF8));
    CFMutableDictionaryRef names = Dict();
    CFMutableDictionaryRef output = Dict();
    Set(output, "0", CFStringCreateWithCString(nullptr, "Left", kCFStringEncodingUTF8));
    Set(names, "2", output);
    Set(root, "element-name", names);
    CFMutableArrayRef list = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(list, kCFBooleanTrue);
    Set(root, "flags", list);

    const std::string path = mDir + "/state.plist";
    std::string error;
    ASSERT_TRUE(marvex::WritePropertyListFile(path.c_str(), root, &error)) << error;
    CFPropertyListRef back = marvex::ReadPropertyListFile(path.c_str(), &error);
    ASSERT_NE(back, nullptr) << error;
    EXPECT_TRUE(CFEqual(back, root));

    // Integers come back as integers, the float as a float with its exact 32-bit value.
    auto number = [&](const char* key) { return static_cast<CFNumberRef>(Get(back, key)); };
    EXPECT_FALSE(CFNumberIsFloatType(number("type")));
    SInt32 i = 0;
    EXPECT_TRUE(CFNumberGetValue(number("part"), kCFNumberSInt32Type, &i));
    EXPECT_EQ(i, -1);
    EXPECT_TRUE(CFNumberIsFloatType(number("cpu-load")));
    Float32 f = 0;
    EXPECT_TRUE(CFNumberGetValue(number("cpu-load"), kCFNumberFloatType, &f));
    EXPECT_EQ(f, 0.1f);
    auto data = static_cast<CFDataRef>(Get(back, "data"));
    ASSERT_EQ(CFDataGetLength(data), CFIndex(sizeof blob));
    EXPECT_EQ(std::memcmp(CFDataGetBytePtr(data), blob, sizeof blob), 0);

    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    EXPECT_EQ(text.str().find("DOCTYPE"), std::string::npos);
    CFRelease(back);
    CFRelease(root);
}

TEST_F(PlistFile, MalformedAndHostileInputIsRefused) {
    ExpectRefused("", "empty");
    ExpectRefused("not a property list at all", "garbage");
    ExpectRefused("<plist version=\"1.0\"><dict><key>a</key></plist>", "truncated");
    ExpectRefused("<plist><dict><key>a</key><integer>1</integer>", "unterminated");
    ExpectRefused("bplist00\x01\x02\x03", "binary");
    ExpectRefused("<plist><date>2026-01-01T00:00:00Z</date></plist>", "unsupported type");
    ExpectRefused("<plist><string>\xC3(</string></plist>", "invalid UTF-8");

    std::string deep = "<plist>";
    for (int i = 0; i < 100000; ++i) deep += "<array>";
    ExpectRefused(deep, "deep nesting");
    std::string closedDeep = "<plist>";
    for (int i = 0; i < 100; ++i) closedDeep += "<array>";
    for (int i = 0; i < 100; ++i) closedDeep += "</array>";
    ExpectRefused(closedDeep + "</plist>", "well-formed but deeper than the limit");
}

TEST_F(PlistFile, FileErrorsNameTheFile) {
    std::string error;
    const std::string missing = mDir + "/missing.plist";
    EXPECT_EQ(marvex::ReadPropertyListFile(missing.c_str(), &error), nullptr);
    EXPECT_NE(error.find("missing.plist"), std::string::npos);

    EXPECT_EQ(marvex::ReadPropertyListFile(mDir.c_str(), &error), nullptr);  // a directory

    const std::string bad = Write("bad.plist", "<plist><dict><key>x</key>");
    EXPECT_EQ(marvex::ReadPropertyListFile(bad.c_str(), &error), nullptr);
    EXPECT_NE(error.find("bad.plist"), std::string::npos);

    // Writing a value that has no file form fails without leaving a file behind.
    static int raw;
    const void* items[] = {&raw};
    CFArrayRef pointers = CFArrayCreate(nullptr, items, 1, nullptr);
    const std::string out = mDir + "/out.plist";
    EXPECT_FALSE(marvex::WritePropertyListFile(out.c_str(), pointers, &error));
    EXPECT_NE(::access(out.c_str(), F_OK), 0);
    CFRelease(pointers);
}

TEST_F(PlistFile, InfoFileWrittenByHandParses) {
    const std::string path = Write("Info.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
  <key>identifier</key><string>com.quillmoor.Marvex</string>
  <key>components</key>
  <array><dict><key>version</key><integer>66816</integer><key>ratio</key><real>0.5</real>
  <key>on</key><false/><key>empty</key><dict/></dict></array>
</dict>
</plist>
)");
    std::string error;
    CFPropertyListRef v = marvex::ReadPropertyListFile(path.c_str(), &error);
    ASSERT_NE(v, nullptr) << error;
    auto components = static_cast<CFArrayRef>(Get(v, "components"));
    ASSERT_EQ(CFArrayGetCount(components), 1);
    const void* c = CFArrayGetValueAtIndex(components, 0);
    SInt32 version = 0;
    EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(Get(c, "version")), kCFNumberSInt32Type,
                                 &version));
    EXPECT_EQ(version, 0x10500);
    EXPECT_TRUE(CFNumberIsFloatType(static_cast<CFNumberRef>(Get(c, "ratio"))));
    EXPECT_EQ(Get(c, "on"), kCFBooleanFalse);
    EXPECT_EQ(CFDictionaryGetCount(static_cast<CFDictionaryRef>(Get(c, "empty"))), 0);
    CFRelease(v);
}
