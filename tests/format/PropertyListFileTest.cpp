#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "format/CFArray.h"
#include "format/CFDictionary.h"
#include "format/CFNumber.h"
#include "format/CFString.h"
#include "format/PropertyListFile.h"
#include "tests/support/NoValueLeaks.h"

namespace marvex::test {
namespace {

class PlistFile : public NoValueLeaks {
protected:
    static std::string Path(const std::string& name) {
        return testing::TempDir() + "marvex-plist-" + name;
    }
};

// Written to a file and read back, saved state keeps every value and the kind of each number.
TEST_F(PlistFile, ClassInfoShapedValuesRoundTripWithTheirKinds) {
    const std::string xml =
        "<plist><dict><key>part</key><integer>-1</integer><key>cpu-load</key><real>0.1</real>"
        "<key>data</key><data>AAAAAAAAAAhAAAAA/w==</data><key>name</key><string>&lt;&amp;&gt; "
        "\xC3\xA9</string><key>element-name</key><dict><key>0</key><string>Left</string></dict>"
        "<key>flags</key><array><true/><false/></array><key>empty</key><dict/></dict></plist>";
    std::string error;
    CFPropertyListRef value = PropertyListFromBytes(xml.data(), xml.size(), &error);
    ASSERT_NE(value, nullptr) << error;
    const std::string path = Path("state.plist");
    ASSERT_TRUE(WritePropertyListFile(path.c_str(), value, &error)) << error;
    CFPropertyListRef back = ReadPropertyListFile(path.c_str(), &error);
    ASSERT_NE(back, nullptr) << error;
    EXPECT_TRUE(CFEqual(back, value));
    const auto number = [&](const char* key) {
        return CFNumberRef(CFDictionaryGetValue(CFDictionaryRef(back), ConstantString(key)));
    };
    EXPECT_FALSE(CFNumberIsFloatType(number("part")));
    EXPECT_TRUE(CFNumberIsFloatType(number("cpu-load")));
    ReleaseAll({back, value});
    std::remove(path.c_str());
}

TEST_F(PlistFile, MalformedAndHostileInputIsRefusedWithAMessage) {
    auto nested = [](int depth, bool closed) {
        std::string text = "<plist>";
        for (int i = 0; i < depth; ++i) text += "<array>";
        for (int i = 0; closed && i < depth; ++i) text += "</array>";
        return text + (closed ? "</plist>" : "");
    };
    std::string empties = "<plist><array>";
    for (int i = 0; i < 2 * kMaxPropertyListDepth; ++i) empties += "<dict/>";
    const struct {
        std::string text;
        bool accepted;
    } rows[] = {
        {"<plist><dict><key>a</key><integer>1</integer>", false},
        {"bplist00\x01\x02\x03", false},
        {std::string("<plist><string>a\0b</string></plist>", 36), false},  // not cut short
        {nested(100000, false), false},
        {nested(kMaxPropertyListDepth + 1, true), false},
        {nested(kMaxPropertyListDepth, true), true},
        {empties + "</array></plist>", true},  // empty containers are not nesting
        {std::string(kMaxPropertyListFileBytes + 1, ' '), false},
    };
    for (const auto& row : rows) {
        std::string error;
        CFPropertyListRef value = PropertyListFromBytes(row.text.data(), row.text.size(), &error);
        EXPECT_EQ(value != nullptr, row.accepted) << row.text.substr(0, 60);
        if (value != nullptr)
            CFRelease(value);
        else
            EXPECT_FALSE(error.empty()) << row.text.substr(0, 60);
    }
}

TEST_F(PlistFile, AFailedWriteLeavesNothingBehind) {
    std::string error;
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
