#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "view/DrawingContext.h"
#include "view/NSClass.h"
#include "view/NSColor.h"
#include "view/NSGeometry.h"
#include "view/NSObject.h"

namespace marvex {

// One pixel of a drawn view, components not premultiplied.
struct Pixel {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 0;
};

}  // namespace marvex

// A rectangle that draws itself. `display` runs `drawRect` into an image surface the size of
// the frame (transparent unless a background colour is set), which can then be read back,
// written as PNG, or drawn again into an SVG file. Redraw requests (`setNeedsDisplay` with true)
// go to a handler that whoever shows the view installs. [control] throughout.
class NSView : public NSObject {
public:
    // Largest frame side accepted, in points (the image surface's limit).
    static constexpr CGFloat kMaxSide = 32767;

    static NSView* alloc() { return new NSView; }
    // Nil (and the view released) when the frame has a non-finite coordinate, a negative size
    // or a side above kMaxSide.
    NSView* initWithFrame(NSRect frame);

    NSRect frame() const { return mFrame; }
    // The view's own coordinates: origin (0, 0), the frame's size.
    NSRect bounds() const { return NSRect{NSPoint{}, mFrame.size}; }

    // The class of this object, for NSBundle::bundleForClass.
    virtual const NSClass& objectClass() const;

    void setNeedsDisplay(bool flag);
    bool needsDisplay() const { return mNeedsDisplay; }
    void setDisplayRequestHandler(std::function<void(NSView&)> handler);

    // Draws the view's content; `dirtyRect` is the area to redraw. The default draws nothing.
    virtual void drawRect(NSRect dirtyRect);

    // What lies behind the view in its own surface and files; nil (the default) is transparent.
    void setBackgroundColor(std::optional<NSColor> color) { mBackground = color; }

    // Draws the whole view into its surface and clears needsDisplay. False when the surface
    // could not be made or drawn.
    bool display();
    void displayIfNeeded();

    // What the last `display` drew, in order.
    const std::vector<marvex::DrawingOperation>& lastDrawing() const { return mLastDrawing; }
    // The pixel whose lower-left corner is (x, y) in view coordinates, after `display`; nil
    // outside the surface or before the first display.
    std::optional<marvex::Pixel> pixelAt(int x, int y) const;
    // The surface of the last display, or nullptr.
    cairo_surface_t* surface() const { return mSurface; }

    // Draws the view into a caller's Cairo context whose target is the view's own size (a
    // window, another surface), without touching the view's surface. Returns what was drawn.
    std::vector<marvex::DrawingOperation> drawInCairo(cairo_t* cairo);

    // Write the view as drawn now (displaying first if needed). False on failure.
    bool writePNG(const std::string& path);
    bool writeSVG(const std::string& path);

protected:
    NSView() = default;
    void dealloc() override;

private:
    int surfaceWidth() const;
    int surfaceHeight() const;

    NSRect mFrame;
    bool mNeedsDisplay = false;
    std::function<void(NSView&)> mDisplayRequestHandler;
    std::optional<NSColor> mBackground;
    cairo_surface_t* mSurface = nullptr;
    std::vector<marvex::DrawingOperation> mLastDrawing;
};
