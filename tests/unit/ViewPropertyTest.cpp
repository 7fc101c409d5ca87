// The view property and the factory it leads to, as a host finds and uses them.

#include <gtest/gtest.h>

#include "format/AudioUnitViewInfo.h"
#include "format/CFDictionary.h"
#include "format/CFString.h"
#include "tests/unit/TunerHost.h"
#include "unit/viewfactory/MarvexViewFactory.h"

namespace marvex::test {
namespace {

// Found the way a host finds it: a read-only global property naming the factory's bundle, and
// the entry the bundle's info file names; the view it makes follows the published deviation.
TEST(ViewProperty, LeadsToAFactoryWhoseViewFollowsTheDeviation) {
    const long liveBefore = LiveValueCount();
    AudioUnitHandle unit = OpenTuner();
    ASSERT_TRUE(unit);
    UInt32 size = 0;
    Boolean writable = 1;
    EXPECT_EQ(unit.GetPropertyInfo(kAudioUnitProperty_CocoaUI, 0, 5, &size, &writable), noErr);
    EXPECT_EQ(std::make_pair(size, bool(writable)),
              std::make_pair(UInt32(sizeof(AudioUnitViewInfo)), false));
    EXPECT_EQ(unit.GetPropertyInfo(kAudioUnitProperty_CocoaUI, 1, 0, nullptr, nullptr),
              kAudioUnitErr_InvalidProperty);
    AudioUnitViewInfo info{};
    ASSERT_EQ(unit.GetProperty(kAudioUnitProperty_CocoaUI, 0, 0, info), noErr);
    EXPECT_STREQ(CFStringGetCStringPtr(info.mViewClass[0], kCFStringEncodingUTF8),
                 "QuillmoorMarvex_CocoaViewFactory");
    CFBundleRef bundle = CFBundleCreate(kCFAllocatorDefault, info.mViewBundleLocation);
    CFRelease(info.mViewBundleLocation);
    ASSERT_NE(bundle, nullptr);
    auto entry = reinterpret_cast<MarvexViewFactoryEntryProc>(CFBundleGetFunctionPointerForName(
        bundle, static_cast<CFStringRef>(
                    CFDictionaryGetValue(CFBundleGetInfoDictionary(bundle), CFSTR("entry")))));
    ASSERT_NE(entry, nullptr);
    const MarvexViewFactory& factory = *entry();

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
    for (const float published : {-0.5f, 3.0f}) {
        ASSERT_EQ(unit.SetParameter(kParam_Deviation, 0, 0, published), noErr);
        EXPECT_EQ(factory.update(view), noErr);
        EXPECT_EQ(factory.deviation(view), -0.5f) << "a value the needle cannot show is ignored";
    }
    factory.releaseView(view);
    EXPECT_EQ(factory.createView(unit.Get(), -5, 10), nullptr);
    unit.Close();
    EXPECT_EQ(LiveValueCount(), liveBefore);
}

}  // namespace
}  // namespace marvex::test
