#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "format/AudioUnitHandle.h"
#include "format/CFBundle.h"
#include "format/CFString.h"
#include "format/CFURL.h"
#include "format/ComponentServices.h"
#include "format/PlugInBundle.h"

namespace fs = std::filesystem;

namespace {

// Each test builds its own bundle directory: Info.plist, the module, Resources/.
class Bundle : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/marvex-bundle-XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        mRoot = dir;
        mLiveBefore = marvex::LiveValueCount();
    }
    void TearDown() override {
        fs::remove_all(mRoot);
        EXPECT_EQ(marvex::LiveValueCount(), mLiveBefore) << "leaked values";
    }

    // A bundle with a unique identifier (bundles stay registered for the process).
    std::string MakeBundle(const std::string& name, const std::string& identifier,
                           const std::string& components, bool withModule = true,
                           const std::string& entry = "TestPlugInEntry") {
        const fs::path dir = fs::path(mRoot) / name;
        fs::create_directories(dir / "Resources" / "View.bundle");
        std::ofstream(dir / "Resources" / "glass.png") << "png";
        if (withModule) fs::copy_file(MARVEX_TEST_PLUGIN_MODULE, dir / "Test.so");
        std::ofstream(dir / "Info.plist")
            << "<plist version=\"1.0\"><dict>"
            << "<key>identifier</key><string>" << identifier << "</string>"
            << "<key>module</key><string>Test.so</string>"
            << "<key>entry</key><string>" << entry << "</string>"
            << "<key>components</key><array>" << components << "</array>"
            << "</dict></plist>";
        return dir.string();
    }
    static std::string ComponentXml(const char* subtype, int version = 1) {
        return std::string("<dict><key>type</key><string>aufx</string><key>subtype</key><string>") +
               subtype +
               "</string><key>manufacturer</key><string>Test</string>"
               "<key>name</key><string>Test: Unit</string><key>version</key><integer>" +
               std::to_string(version) + "</integer></dict>";
    }

    std::string mRoot;

private:
    long mLiveBefore = 0;
};

std::string Path(CFURLRef url) {
    char buf[4096];
    if (!CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(buf), sizeof buf))
        return {};
    return buf;
}

}  // namespace

TEST_F(Bundle, LoadsModuleRegistersComponentsAndOpensThem) {
    const std::string dir =
        MakeBundle("Good.bundle", "test.bundle.good", ComponentXml("gd01", 0x10500));
    CFBundleRef bundle = nullptr;
    ASSERT_EQ(RegisterComponentsInBundle(dir.c_str(), &bundle), noErr) << marvex::LastBundleError();
    ASSERT_NE(bundle, nullptr);

    ComponentDescription looking{marvex::FourCC("aufx"), marvex::FourCC("gd01"),
                                 marvex::FourCC("Test"), 0, 0};
    Component c = FindNextComponent(nullptr, &looking);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(GetComponentVersionNumber(c), 0x10500u);
    EXPECT_STREQ(GetComponentName(c), "Test: Unit");
    {
        marvex::AudioUnitHandle unit;
        ASSERT_EQ(marvex::AudioUnitHandle::Open(c, unit), noErr);
        EXPECT_EQ(unit.Version(), 0x00020000);  // the module's own entry answered
    }

    // Loading again registers nothing new.
    EXPECT_EQ(RegisterComponentsInBundle(dir.c_str(), nullptr), noErr);
    EXPECT_EQ(CountComponents(&looking), 1);

    // Found by identifier; the module found the same bundle from its own address.
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("test.bundle.good")), bundle);
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("test.bundle.absent")), nullptr);
    auto own = reinterpret_cast<CFBundleRef (*)()>(
        CFBundleGetFunctionPointerForName(bundle, CFSTR("TestPlugInOwnBundle")));
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own(), bundle);
    EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle, CFSTR("NotExported")), nullptr);
}

TEST_F(Bundle, ResourceUrlsPointIntoResources) {
    const std::string dir = MakeBundle("Res.bundle", "test.bundle.res", "", false);
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>(dir.data()), CFIndex(dir.size()), true);
    CFBundleRef bundle = CFBundleCreate(nullptr, url);
    CFRelease(url);
    ASSERT_NE(bundle, nullptr) << marvex::LastBundleError();
    EXPECT_TRUE(CFEqual(CFBundleGetIdentifier(bundle), CFSTR("test.bundle.res")));

    CFURLRef view = CFBundleCopyResourceURL(bundle, CFSTR("View"), CFSTR("bundle"), nullptr);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(Path(view), fs::canonical(dir).string() + "/Resources/View.bundle");
    EXPECT_TRUE(CFURLHasDirectoryPath(view));
    CFRelease(view);
    CFURLRef glass = CFBundleCopyResourceURL(bundle, CFSTR("glass"), CFSTR("png"), nullptr);
    EXPECT_NE(glass, nullptr);
    CFRelease(glass);

    EXPECT_EQ(CFBundleCopyResourceURL(bundle, CFSTR("Missing"), CFSTR("bundle"), nullptr), nullptr);
    EXPECT_EQ(CFBundleCopyResourceURL(bundle, CFSTR(".."), nullptr, nullptr), nullptr);
    EXPECT_EQ(CFBundleCopyResourceURL(bundle, CFSTR("../Info"), CFSTR("plist"), nullptr), nullptr);
    EXPECT_EQ(CFBundleCopyResourceURL(bundle, CFSTR("glass"), CFSTR("png"), CFSTR("..")), nullptr);
    // Without a module nothing can be called.
    EXPECT_FALSE(CFBundleLoadExecutable(bundle));
    EXPECT_NE(std::string(marvex::LastBundleError()).find("module not found"), std::string::npos);
}

TEST_F(Bundle, BrokenBundlesFailWithAReason) {
    struct Case {
        const char* name;
        std::string directory;
        OSStatus expected;
        const char* reason;
    };
    const std::string noInfo = mRoot + "/NoInfo.bundle";
    fs::create_directories(noInfo);
    const std::string badInfo = mRoot + "/BadInfo.bundle";
    fs::create_directories(badInfo);
    std::ofstream(badInfo + "/Info.plist") << "<plist><dict><key>identifier</key>";
    const Case cases[] = {
        {"missing directory", mRoot + "/Nowhere.bundle", fnfErr, "not a directory"},
        {"no info file", noInfo, fnfErr, "Info.plist"},
        {"malformed info file", badInfo, fnfErr, "malformed"},
        {"no module",
         MakeBundle("NoModule.bundle", "test.bundle.nomodule", ComponentXml("nm01"), false), fnfErr,
         "module not found"},
        {"no entry symbol",
         MakeBundle("NoEntry.bundle", "test.bundle.noentry", ComponentXml("ne01"), true, "Missing"),
         fnfErr, "Missing"},
        {"bad component",
         MakeBundle("BadComp.bundle", "test.bundle.badcomp",
                    "<dict><key>type</key><string>toolong</string></dict>"),
         paramErr, "four-character"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFBundleRef bundle = reinterpret_cast<CFBundleRef>(&mRoot);
        EXPECT_EQ(RegisterComponentsInBundle(c.directory.c_str(), &bundle), c.expected);
        EXPECT_EQ(bundle, nullptr);
        EXPECT_NE(std::string(marvex::LastBundleError()).find(c.reason), std::string::npos)
            << marvex::LastBundleError();
    }
    ComponentDescription looking{0, marvex::FourCC("ne01"), 0, 0, 0};
    EXPECT_EQ(FindNextComponent(nullptr, &looking), nullptr);
    EXPECT_EQ(RegisterComponentsInBundle(nullptr, nullptr), paramErr);
}

TEST_F(Bundle, SameIdentifierInTwoDirectoriesKeepsBothApart) {
    const std::string first = MakeBundle("First.bundle", "test.bundle.twice", ComponentXml("tw01"));
    const std::string second =
        MakeBundle("Second.bundle", "test.bundle.twice", ComponentXml("tw02"));
    CFBundleRef a = nullptr, b = nullptr;
    ASSERT_EQ(RegisterComponentsInBundle(first.c_str(), &a), noErr) << marvex::LastBundleError();
    ASSERT_EQ(RegisterComponentsInBundle(second.c_str(), &b), noErr) << marvex::LastBundleError();
    EXPECT_NE(a, b);
    EXPECT_EQ(CFBundleGetBundleWithIdentifier(CFSTR("test.bundle.twice")), a);
    CFURLRef url = CFBundleCopyBundleURL(b);
    EXPECT_EQ(Path(url), fs::canonical(second).string());
    CFRelease(url);
    ComponentDescription looking{0, marvex::FourCC("tw02"), 0, 0, 0};
    EXPECT_NE(FindNextComponent(nullptr, &looking), nullptr);
}
