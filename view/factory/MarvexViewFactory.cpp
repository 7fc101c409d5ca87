// The view factory module: builds the tuner's custom view, a NeedleView fed with the unit's
// Deviation parameter, with the glass image of this factory's own bundle.

#include "unit/viewfactory/MarvexViewFactory.h"

#include <cmath>
#include <new>
#include <optional>

#include "format/AudioUnitCalls.h"
#include "unit/MarvexParameters.h"
#include "view/NSBundle.h"
#include "view/NSColor.h"
#include "view/NSImage.h"
#include "view/NeedleView.h"
#include "view/Retained.h"

extern "C" __attribute__((visibility("default"))) const MarvexViewFactory* MarvexViewFactoryEntry(
    void);

struct MarvexCustomView {
    AudioUnit unit;
    marvex::Retained<NeedleView> needle;
};

namespace {

constexpr double kDefaultWidth = 212;  // the needle's pivot sits at x = 106
constexpr double kDefaultHeight = 100;

void factoryCode() {}

// The bundle holding this module: its Resources/ has the glass.
std::optional<NSBundle> FactoryBundle() {
    return NSBundle::bundleForClass(NSMakeClass(kMarvexViewFactoryName, &factoryCode));
}

NSSize NaturalSize(const std::optional<NSBundle>& bundle) {
    if (bundle) {
        if (auto path = bundle->pathForResource("glass", "png")) {
            marvex::Retained<NSImage> glass(NSImage::alloc()->initWithContentsOfFile(*path));
            if (glass) return glass->size();
        }
    }
    return NSMakeSize(kDefaultWidth, kDefaultHeight);
}

OSStatus Update(MarvexCustomView* view) {
    if (view == nullptr) return paramErr;
    AudioUnitParameterValue deviation = 0;
    const OSStatus status =
        AudioUnitGetParameter(view->unit, kParam_Deviation, kAudioUnitScope_Global, 0, &deviation);
    if (status == noErr) view->needle->setDeviation(deviation);
    return status;
}

MarvexCustomView* CreateView(AudioUnit unit, double width, double height) {
    if (unit == nullptr || !(width >= 0) || !(height >= 0)) return nullptr;
    const std::optional<NSBundle> bundle = FactoryBundle();
    if (width == 0 || height == 0) {
        const NSSize natural = NaturalSize(bundle);
        if (width == 0) width = natural.width;
        if (height == 0) height = natural.height;
    }
    marvex::Retained<NeedleView> needle(
        NeedleView::alloc()->initWithFrame(NSMakeRect(0, 0, width, height), bundle));
    if (!needle) return nullptr;
    // The glass is clear where the needle swings: the tuner's dark face behind it keeps the white
    // needle readable wherever the view ends up (a window, a PNG on a white page).
    needle->setBackgroundColor(NSColor::colorWithRed(0x20 / 255.0, 0x25 / 255.0, 0x2b / 255.0));
    auto* view = new (std::nothrow) MarvexCustomView{unit, std::move(needle)};
    if (view == nullptr) return nullptr;
    Update(view);
    return view;
}

void ReleaseView(MarvexCustomView* view) {
    delete view;
}

float Deviation(const MarvexCustomView* view) {
    return view != nullptr ? view->needle->deviation() : NAN;
}

void Size(const MarvexCustomView* view, double* outWidth, double* outHeight) {
    const NSSize size = view != nullptr ? view->needle->frame().size : NSSize{};
    if (outWidth) *outWidth = size.width;
    if (outHeight) *outHeight = size.height;
}

Boolean WritePNG(MarvexCustomView* view, const char* path) {
    return view != nullptr && path != nullptr && view->needle->writePNG(path);
}

Boolean WriteSVG(MarvexCustomView* view, const char* path) {
    return view != nullptr && path != nullptr && view->needle->writeSVG(path);
}

void* ToolkitView(MarvexCustomView* view) {
    return view != nullptr ? static_cast<NSView*>(view->needle.get()) : nullptr;
}

constexpr MarvexViewFactory kFactory = {
    kMarvexViewFactoryVersion,
    kMarvexViewFactoryName,
    &CreateView,
    &ReleaseView,
    &Update,
    &Deviation,
    &Size,
    &WritePNG,
    &WriteSVG,
    &ToolkitView,
};

}  // namespace

const MarvexViewFactory* MarvexViewFactoryEntry(void) {
    return &kFactory;
}
