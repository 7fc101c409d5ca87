// A plug-in bundle without the view factory resource: the view property answers fnfErr. Its own
// process, since a bundle identifier is registered once per process and the complete bundle
// must not be the one found.

#include <gtest/gtest.h>

#include <filesystem>

#include "format/AudioUnitViewInfo.h"
#include "tests/unit/TunerHost.h"

namespace marvex::test {
namespace {

namespace fs = std::filesystem;

// A copy of the build tree's bundle with its Resources/ left out.
fs::path StrippedBundle() {
    const fs::path source = MARVEX_TEST_BUNDLE_DIR;
    const fs::path copy = fs::path(testing::TempDir()) / "marvex-no-factory" / "Marvex.bundle";
    fs::remove_all(copy);
    fs::create_directories(copy / "Resources");
    fs::copy_file(source / "Info.plist", copy / "Info.plist");
    fs::copy_file(source / "Marvex.so", copy / "Marvex.so");
    return copy;
}

TEST(MissingViewFactory, ViewPropertyAnswersFileNotFound) {
    const fs::path bundle = StrippedBundle();
    ASSERT_NE(TunerComponent(bundle.c_str()), nullptr);
    AudioUnitHandle unit = OpenTuner();
    ASSERT_TRUE(unit);

    AudioUnitViewInfo info{};
    UInt32 size = sizeof info;
    EXPECT_EQ(unit.GetProperty(kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, &info, &size),
              fnfErr);
    EXPECT_EQ(info.mViewBundleLocation, nullptr);
}

}  // namespace
}  // namespace marvex::test
