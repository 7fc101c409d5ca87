#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "format/CFArray.h"
#include "format/CFBoolean.h"
#include "format/CFData.h"
#include "format/CFDictionary.h"
#include "format/CFNumber.h"
#include "format/CFString.h"
#include "format/PropertyListFile.h"
#include "tests/support/NoValueLeaks.h"

namespace marvex::test {
namespace {

class PlistFile : public NoValueLeaks {
protected:
    void SetUp() override { ASSERT_NE(::mkdtemp(mDir.data()), nullptr); }
    void TearDown() override {
        std::system(("rm -rf '" + mDir + "'").c_str());
        NoValueLeaks::TearDown();
    }
    std::string Path(const std::string& name) const { return mDir + "/" + name; }
    std::string mDir = "/tmp/marvex-plist-XXXXXX";
};

void Set(CFMutableDictionaryRef d, const char* key, CFTypeRef value) {
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFDictionarySetValue(d, k, value);
    CFRelease(k);
    CFRelease(value);
}

CFMutableDictionaryRef Dict() {
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

TEST_F(PlistFile, ClassInfoShapedValuesRoundTripWithTheirKinds) {
    CFMutableDictionaryRef root = Dict();
    const SInt32 negative = -1;
    const Float32 load = 0.1f;
    const UInt8 blob[] = {0, 0, 0, 0, 0, 0, 0, 8, 0x40, 0x00, 0x00, 0x00, 0xFF};
    Set(root, "part", CFNumberCreate(nullptr, kCFNumberSInt32Type, &negative));
    Set(root, "cpu-load", CFNumberCreate(nullptr, kCFNumberFloatType, &load));
    Set(root, "data", CFDataCreate(nullptr, blob, sizeof blob));
    Set(root, "name", CFStringCreateWithCString(nullptr, "<&> \xC3\xA9", kCFStringEncodingUTF8));
    CFMutableDictionaryRef names = Dict();
    Set(names, "0", CFStringCreateWithCString(nullptr, "Left", kCFStringEncodingUTF8));
    Set(root, "element-name", names);
    CFMutableArrayRef list = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(list, kCFBooleanTrue);
    Set(root, "flags", list);

    const std::string path = Path("state.plist");
    std::string error;
    ASSERT_TRUE(WritePropertyListFile(path.c_str(), root, &error)) << error;
    CFPropertyListRef back = ReadPropertyListFile(path.c_str(), &error);
    ASSERT_NE(back, nullptr) << error;
    EXPECT_TRUE(CFEqual(back, root));
    auto number = [&](CFStringRef key) {
        return static_cast<CFNumberRef>(CFDictionaryGetValue((CFDictionaryRef)back, key));
    };
    EXPECT_FALSE(CFNumberIsFloatType(number(CFSTR("part"))));
    EXPECT_TRUE(CFNumberIsFloatType(number(CFSTR("cpu-load"))));
    std::string text((std::istreambuf_iterator<char>(std::ifstream(path).rdbuf())), {});
    EXPECT_EQ(text.find("DOCTYPE"), std::string::npos);
    CFRelease(back);
    CFRelease(root);
}

TEST_F(PlistFile, MalformedAndHostileInputIsRefusedWithAMessage) {
    auto nested = [](int depth, bool closed) {
        std::string text = "<plist>";
        for (int i = 0; i < depth; ++i) text += "<array>";
        for (int i = 0; closed && i < depth; ++i) text += "</array>";
        return text + (closed ? "</plist>" : "");
    };
    const std::string refused[] = {
        "",
        "not a property list at all",
        "<plist><dict><key>a</key><integer>1</integer>",
        "bplist00\x01\x02\x03",
        "<plist><date>2026-01-01T00:00:00Z</date></plist>",
        "<plist><string>\xC3(</string></plist>",
        std::string("<plist><string>a\0b</string></plist>", 36),
        nested(100000, false),
        nested(kMaxPropertyListDepth + 1, true),
        std::string(kMaxPropertyListFileBytes + 1, ' '),
    };
    for (const std::string& text : refused) {
        std::string error;
        EXPECT_EQ(PropertyListFromBytes(text.data(), text.size(), &error), nullptr)
            << text.substr(0, 60);
        EXPECT_FALSE(error.empty()) << text.substr(0, 60);
    }
    std::string empties = "<plist><array>";
    for (int i = 0; i < 2 * kMaxPropertyListDepth; ++i) empties += "<dict/>";
    for (const std::string& text :
         {nested(kMaxPropertyListDepth, true), empties + "</array></plist>"}) {
        CFPropertyListRef accepted = PropertyListFromBytes(text.data(), text.size(), nullptr);
        EXPECT_NE(accepted, nullptr) << text.substr(0, 60);
        CFRelease(accepted);
    }
}

TEST_F(PlistFile, FileErrorsNameTheFileAndLeaveNothingBehind) {
    std::string error;
    const std::string missing = Path("missing.plist"), bad = Path("bad.plist");
    EXPECT_EQ(ReadPropertyListFile(missing.c_str(), &error), nullptr);
    EXPECT_NE(error.find("missing.plist"), std::string::npos);
    EXPECT_EQ(ReadPropertyListFile(mDir.c_str(), &error), nullptr);
    std::ofstream(bad) << "<plist><dict><key>x</key>";
    EXPECT_EQ(ReadPropertyListFile(bad.c_str(), &error), nullptr);
    EXPECT_NE(error.find("bad.plist"), std::string::npos);

    static int raw;
    const void* items[] = {&raw};
    CFArrayRef pointers = CFArrayCreate(nullptr, items, 1, nullptr);
    const std::string out = Path("out.plist");
    EXPECT_FALSE(WritePropertyListFile(out.c_str(), pointers, &error));
    EXPECT_NE(::access(out.c_str(), F_OK), 0);
    CFRelease(pointers);
}

}  // namespace
}  // namespace marvex::test
