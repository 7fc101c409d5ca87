#include "view/NSImage.h"

#include "view/DrawingContext.h"

NSImage* NSImage::initWithContentsOfFile(const std::string& path) {
    cairo_surface_t* loaded = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(loaded) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(loaded);
        release();
        return nullptr;
    }
    if (mSurface != nullptr) cairo_surface_destroy(mSurface);
    mSurface = loaded;
    return this;
}

NSSize NSImage::size() const {
    if (mSurface == nullptr) return {};
    return NSMakeSize(cairo_image_surface_get_width(mSurface),
                      cairo_image_surface_get_height(mSurface));
}

void NSImage::dissolveToPoint(NSPoint point, CGFloat fraction) {
    auto* context = marvex::DrawingContext::current();
    if (context == nullptr || mSurface == nullptr) return;
    if (!(fraction > 0)) fraction = 0;  // also NaN
    if (fraction > 1) fraction = 1;
    context->composite(mSurface, {size(), point, fraction});
}

void NSImage::dealloc() {
    if (mSurface != nullptr) cairo_surface_destroy(mSurface);
    mSurface = nullptr;
    NSObject::dealloc();
}
