#include "host/CustomView.h"

#include <cstring>

#include "format/AudioUnitViewInfo.h"
#include "format/CFBundle.h"
#include "format/CFDictionary.h"
#include "format/CFString.h"
#include "format/CFURL.h"
#include "unit/viewfactory/MarvexViewFactory.h"

namespace marvex {
namespace {

std::string pathOf(CFURLRef url) {
    char path[4096];
    if (!CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(path), sizeof path))
        return "(unprintable path)";
    return path;
}

std::string textOf(CFStringRef string) {
    char text[256];
    if (string == nullptr || !CFStringGetCString(string, text, sizeof text, kCFStringEncodingUTF8))
        return {};
    return text;
}

[[noreturn]] void failView(const std::string& message) {
    throw HostError(HostErrorKind::Plugin, message);
}

}  // namespace

CustomView CustomView::create(HostedUnit& unit) {
    AudioUnitViewInfo info{};
    UInt32 size = sizeof info;
    const OSStatus status = unit.handle().GetProperty(kAudioUnitProperty_CocoaUI,
                                                      kAudioUnitScope_Global, 0, &info, &size);
    if (status != noErr)
        throwStatus(HostErrorKind::Plugin, "the tuner names no custom view", status);
    if (size != sizeof info || info.mViewBundleLocation == nullptr)
        failView("the tuner's view property is malformed");
    const std::string where = pathOf(info.mViewBundleLocation);
    const std::string className = textOf(info.mViewClass[0]);  // a constant: not ours to release
    CFBundleRef bundle = CFBundleCreate(nullptr, info.mViewBundleLocation);
    CFRelease(info.mViewBundleLocation);  // the property handed us this reference
    if (bundle == nullptr)
        failView("cannot open the view factory " + where + ": " + LastBundleError());

    CFDictionaryRef bundleInfo = CFBundleGetInfoDictionary(bundle);
    CFStringRef entryKey = CFStringCreateWithCString(nullptr, "entry", kCFStringEncodingUTF8);
    const void* entry =
        bundleInfo != nullptr ? CFDictionaryGetValue(bundleInfo, entryKey) : nullptr;
    CFRelease(entryKey);
    if (entry == nullptr || CFGetTypeID(entry) != CFStringGetTypeID())
        failView(where + ": the view factory's Info.plist names no entry");
    void* symbol = CFBundleGetFunctionPointerForName(bundle, static_cast<CFStringRef>(entry));
    if (symbol == nullptr)
        failView("cannot load the view factory " + where + ": " + LastBundleError());

    MarvexViewFactoryEntryProc factoryEntry;
    static_assert(sizeof factoryEntry == sizeof symbol);
    std::memcpy(&factoryEntry, &symbol, sizeof symbol);
    const MarvexViewFactory* factory = factoryEntry();
    if (factory == nullptr || factory->version != kMarvexViewFactoryVersion)
        failView(where + ": a view factory of another version");
    if (factory->className == nullptr || className != factory->className)
        failView(where + ": the factory is not the class the tuner names (" + className + ")");

    MarvexCustomView* view = factory->createView(unit.get(), 0.0, 0.0);
    if (view == nullptr) failView("the view factory " + where + " built no view");
    CustomView custom(factory, view);
    custom.update();
    return custom;
}

CustomView::CustomView(CustomView&& other) noexcept : mFactory(other.mFactory), mView(other.mView) {
    other.mView = nullptr;
}

CustomView::~CustomView() {
    if (mView != nullptr) mFactory->releaseView(mView);
}

void CustomView::update() {
    const OSStatus status = mFactory->update(mView);
    if (status != noErr)
        throwStatus(HostErrorKind::Failed, "the view cannot read the tuner", status);
}

float CustomView::deviation() const {
    return mFactory->deviation(mView);
}

double CustomView::width() const {
    double width = 0.0, height = 0.0;
    mFactory->size(mView, &width, &height);
    return width;
}

double CustomView::height() const {
    double width = 0.0, height = 0.0;
    mFactory->size(mView, &width, &height);
    return height;
}

NSView& CustomView::toolkitView() {
    // A view the factory built always has its toolkit view.
    return *static_cast<NSView*>(mFactory->toolkitView(mView));
}

bool CustomView::write(const std::string& path, Format format) {
    return (format == Format::Svg ? mFactory->writeSVG(mView, path.c_str())
                                  : mFactory->writePNG(mView, path.c_str())) != 0;
}

}  // namespace marvex
