#pragma once

#include <cairo.h>

#include <string>

#include "view/NSGeometry.h"
#include "view/NSObject.h"

// A bitmap image loaded from a PNG file; one pixel is one point. [control] throughout.
class NSImage : public NSObject {
public:
    // [control] A new image with one reference, still to be initialised.
    static NSImage* alloc() { return new NSImage; }
    // Loads the PNG file at `path`. On failure (missing, unreadable, not a PNG) the image is
    // released and nil returned, so `NSImage::alloc()->initWithContentsOfFile(p)` never leaks.
    NSImage* initWithContentsOfFile(const std::string& path);

    NSSize size() const;

    // [control] Draws the image at its natural size with its lower-left corner at `point` in the
    // current drawing context, with opacity `fraction` (clamped to 0..1, NaN drawing nothing).
    void dissolveToPoint(NSPoint point, CGFloat fraction);

    // The pixels (premultiplied ARGB32), or nullptr before a successful init.
    cairo_surface_t* surface() const { return mSurface; }

protected:
    void dealloc() override;

private:
    NSImage() = default;

    cairo_surface_t* mSurface = nullptr;
};
