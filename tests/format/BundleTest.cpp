#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "format/AudioUnitHandle.h"
#include "format/CFBundle.h"
#include "format/CFString.h"
#include "format/ComponentServices.h"
#include "format/PlugInBundle.h"
#include "tests/support/NoValueLeaks.h"

namespace fs = std::filesystem;

namespace {

using marvex::FourCC;

// Each test builds its bundle directories (Info.plist, the module, Resources/) in its own temporary
// directory.
class Bundle : public marvex::test::NoValueLeaks {
protected:
    void SetUp() override { ASSERT_NE(::mkdtemp(mRoot.data()), nullptr); }
    void TearDown() override {
        fs::remove_all(mRoot);
        NoValueLeaks::TearDown();
    }

    // Bundles stay registered for the process: each test uses identifiers of its own.
    std::string MakeBundle(const std::string& name, const std::string& identifier,
                           const std::string& components,
                           const std::string& entry = "TestPlugInEntry") {
        const fs::path dir = fs::path(mRoot) / name;
        fs::create_directories(dir / "Resources" / "View.bundle");
        fs::copy_file(MARVEX_TEST_PLUGIN_MODULE, dir / "Test.so");
        std::ofstream(dir / "Info.plist")
            << "<plist><dict><key>identifier</key><string>" << identifier
            << "</string><key>module</key><string>Test.so</string><key>entry</key><string>" << entry
            << "</string><key>components</key><array>" << components << "</array></dict></plist>";
        return dir.string();
    }
    static std::string ComponentXml(const char* subtype, int version = 1) {
        return "<dict><key>type</key><string>aufx</string><key>subtype</key><string>" +
               std::string(subtype) +
               "</string><key>manufacturer</key><string>Test</string><key>name</key><string>Test: "
               "Unit</string><key>version</key><integer>" +
               std::to_string(version) + "</integer></dict>";
    }

    std::string mRoot = "/tmp/marvex-bundle-XXXXXX";
};

}  // namespace

TEST_F(Bundle, LoadsModulesRegistersComponentsAndFindsResources) {
    const std::string dir =
        MakeBundle("Good.bundle", "test.bundle.good", ComponentXml("gd01", 66816));
    CFBundleRef bundle = nullptr;
    ASSERT_EQ(RegisterComponentsInBundle(dir.c_str(), &bundle), noErr) << marvex::LastBundleError();
    ComponentDescription looking{FourCC("aufx"), FourCC("gd01"), FourCC("Test"), 0, 0};
    Component c = FindNextComponent(nullptr, &looking);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(GetComponentVersionNumber(c), 66816u);
    EXPECT_STREQ(GetComponentName(c), "Test: Unit");
    {
        marvex::AudioUnitHandle unit;
        ASSERT_EQ(marvex::AudioUnitHandle::Open(c, unit), noErr);
        EXPECT_EQ(unit.Version(), 0x00020000);  // the module's own entry answered
    }
    EXPECT_EQ(RegisterComponentsInBundle(dir.c_str(), nullptr), noErr);
    EXPECT_EQ(CountComponents(&looking), 1) << "loading again registers nothing new";

    // Nothing outside Resources/ is handed out.
    EXPECT_EQ(CFBundleCopyResourceURL(bundle, CFSTR("../Info"), CFSTR("plist"), nullptr), nullptr);
    EXPECT_EQ(CFBundleCopyResourceURL(bundle, CFSTR("View"), CFSTR("bundle"), CFSTR("..")),
              nullptr);
}

TEST_F(Bundle, BrokenBundlesFailWithAReason) {
    const std::string badInfo = mRoot + "/BadInfo.bundle";
    fs::create_directories(badInfo);
    std::ofstream(badInfo + "/Info.plist") << "<plist><dict><key>identifier</key>";
    const struct {
        std::string directory;
        OSStatus expected;
        const char* reason;
    } cases[] = {
        {badInfo, fnfErr, "malformed"},
        {MakeBundle("NoEntry.bundle", "test.bundle.noentry", ComponentXml("ne01"), "Missing"),
         fnfErr, "Missing"},
        {MakeBundle("BadComp.bundle", "test.bundle.badcomp",
                    "<dict><key>type</key><string>toolong</string></dict>"),
         paramErr, "four-character"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.directory);
        CFBundleRef bundle = reinterpret_cast<CFBundleRef>(&mRoot);
        EXPECT_EQ(RegisterComponentsInBundle(c.directory.c_str(), &bundle), c.expected);
        EXPECT_EQ(bundle, nullptr);
        EXPECT_NE(std::string(marvex::LastBundleError()).find(c.reason), std::string::npos)
            << marvex::LastBundleError();
    }
    ComponentDescription looking{0, FourCC("ne01"), 0, 0, 0};
    EXPECT_EQ(FindNextComponent(nullptr, &looking), nullptr);
}
