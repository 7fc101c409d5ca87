// The view property and the factory it leads to, as a host finds and uses them.

#include <gtest/gtest.h>

#include <filesystem>

#include "format/AudioUnitViewInfo.h"
#include "format/CFDictionary.h"
#include "format/CFString.h"
#include "format/CFURL.h"
#include "tests/unit/TunerHost.h"
#include "unit/viewfactory/MarvexViewFactory.h"
#include "view/NSView.h"

namespace marvex::test {
namespace {

TEST(ViewProperty, ReadOnlyGlobalPropertyPointingAtTheFactory) {
    const long liveBefore = LiveValueCount();
    AudioUnitHandle unit = OpenTuner();
    ASSERT_TRUE(unit);
    UInt32 size = 0;
    Boolean writable = 1;  // any element answers
    EXPECT_EQ(unit.GetPropertyInfo(kAudioUnitProperty_CocoaUI, 0, 5, &size, &writable), noErr);
    EXPECT_EQ(size, sizeof(AudioUnitViewInfo));
    EXPECT_FALSE(writable);
    EXPECT_EQ(unit.GetPropertyInfo(kAudioUnitProperty_CocoaUI, 1, 0, nullptr, nullptr),
              kAudioUnitErr_InvalidProperty);

    AudioUnitViewInfo info{};
    ASSERT_EQ(unit.GetProperty(kAudioUnitProperty_CocoaUI, 0, 3, info), noErr);
    char path[4096] = {};
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(info.mViewBundleLocation, true,
                                                 reinterpret_cast<UInt8*>(path), sizeof path));
    EXPECT_EQ(std::filesystem::path(path).filename(), "QuillmoorMarvex_CocoaViewFactory.bundle");
    EXPECT_STREQ(CFStringGetCStringPtr(info.mViewClass[0], kCFStringEncodingUTF8),
                 "QuillmoorMarvex_CocoaViewFactory");
    // The URL is the caller's to release; nothing else was retained for it.
    CFRelease(info.mViewBundleLocation);
    unit.Close();
    EXPECT_EQ(LiveValueCount(), liveBefore);
}

TEST(ViewProperty, FactoryViewFollowsTheDeviation) {
    AudioUnitHandle unit = OpenTuner();
    ASSERT_TRUE(unit);
    // Found the way a host finds it: view property, bundle, the entry its info file names.
    AudioUnitViewInfo info{};
    ASSERT_EQ(unit.GetProperty(kAudioUnitProperty_CocoaUI, 0, 0, info), noErr);
    CFBundleRef bundle = CFBundleCreate(kCFAllocatorDefault, info.mViewBundleLocation);
    CFRelease(info.mViewBundleLocation);
    ASSERT_NE(bundle, nullptr);
    auto entry = reinterpret_cast<MarvexViewFactoryEntryProc>(CFBundleGetFunctionPointerForName(
        bundle, static_cast<CFStringRef>(
                    CFDictionaryGetValue(CFBundleGetInfoDictionary(bundle), CFSTR("entry")))));
    ASSERT_NE(entry, nullptr);
    const MarvexViewFactory& factory = *entry();
    EXPECT_EQ(factory.version, kMarvexViewFactoryVersion);

    // 445 Hz is above A4's centre: the published deviation, and the needle, lean right.
    ASSERT_EQ(SetFormats(unit, 1, 44100.0), noErr);
    SignalSource source{{Sine(445.0, 44100.0, 22050)}};
    ASSERT_EQ(source.AttachTo(unit), noErr);
    ASSERT_EQ(unit.Initialize(), noErr);
    std::vector<std::vector<float>> out(1);
    ASSERT_EQ(RenderBlocks(unit, out, 22050, 512), noErr);
    MarvexCustomView* view = factory.createView(unit.Get(), 0, 0);
    ASSERT_NE(view, nullptr);
    EXPECT_GT(factory.deviation(view), 0.1f);
    EXPECT_EQ(factory.deviation(view), Parameter(unit, kParam_Deviation));
    double width = 0, height = 0;
    factory.size(view, &width, &height);
    EXPECT_GE(width, 212.0) << "the pivot sits at x = 106";
    EXPECT_GT(height, 83.0) << "the needle reaches y = 83";

    ASSERT_EQ(unit.SetParameter(kParam_Deviation, 0, 0, -0.5f), noErr);
    EXPECT_EQ(factory.update(view), noErr);
    EXPECT_EQ(factory.deviation(view), -0.5f);
    ASSERT_EQ(unit.SetParameter(kParam_Deviation, 0, 0, 3.0f), noErr);
    EXPECT_EQ(factory.update(view), noErr);
    EXPECT_EQ(factory.deviation(view), -0.5f) << "a value the needle cannot show is ignored";

    // The factory gave the needle the glass of its own bundle: it is drawn over the needle.
    auto* toolkitView = static_cast<NSView*>(factory.toolkitView(view));
    ASSERT_TRUE(toolkitView->display());
    const auto& drawn = toolkitView->lastDrawing();
    ASSERT_FALSE(drawn.empty());
    EXPECT_TRUE(std::holds_alternative<CompositeRecord>(drawn.back())) << "no glass drawn";

    factory.releaseView(view);
    factory.releaseView(nullptr);
    EXPECT_EQ(factory.createView(nullptr, 0, 0), nullptr);
    EXPECT_EQ(factory.createView(unit.Get(), -5, 10), nullptr);
}

}  // namespace
}  // namespace marvex::test
