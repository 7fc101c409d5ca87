#include "view/NSView.h"

#include <cairo-svg.h>

#include <cmath>
#include <cstring>
#include <utility>

namespace {

void nsViewCode() {}

const NSClass sNSViewClass = NSMakeClass("NSView", &nsViewCode);

bool acceptableSide(CGFloat side) {
    return side >= 0 && side <= NSView::kMaxSide;
}

}  // namespace

NSView* NSView::initWithFrame(NSRect frame) {
    if (!std::isfinite(frame.origin.x) || !std::isfinite(frame.origin.y) ||
        !acceptableSide(frame.size.width) || !acceptableSide(frame.size.height)) {
        release();
        return nullptr;
    }
    mFrame = frame;
    return this;
}

const NSClass& NSView::objectClass() const {
    return sNSViewClass;
}

void NSView::setNeedsDisplay(bool flag) {
    mNeedsDisplay = flag;
    if (flag && mDisplayRequestHandler) mDisplayRequestHandler(*this);
}

void NSView::setDisplayRequestHandler(std::function<void(NSView&)> handler) {
    mDisplayRequestHandler = std::move(handler);
}

void NSView::drawRect(NSRect) {}

int NSView::surfaceWidth() const {
    return static_cast<int>(std::ceil(mFrame.size.width));
}
int NSView::surfaceHeight() const {
    return static_cast<int>(std::ceil(mFrame.size.height));
}

std::vector<marvex::DrawingOperation> NSView::drawInCairo(cairo_t* cairo) {
    if (mBackground) {
        cairo_set_source_rgba(cairo, mBackground->redComponent(), mBackground->greenComponent(),
                              mBackground->blueComponent(), mBackground->alphaComponent());
        cairo_paint(cairo);
    }
    marvex::DrawingContext context(cairo, surfaceHeight());
    drawRect(bounds());
    return context.takeOperations();
}

bool NSView::display() {
    const int width = surfaceWidth();
    const int height = surfaceHeight();
    if (mSurface == nullptr) {
        mSurface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    }
    if (cairo_surface_status(mSurface) != CAIRO_STATUS_SUCCESS) return false;

    cairo_t* cairo = cairo_create(mSurface);
    cairo_set_operator(cairo, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cairo);
    cairo_set_operator(cairo, CAIRO_OPERATOR_OVER);
    mLastDrawing = drawInCairo(cairo);
    const bool drawn = cairo_status(cairo) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cairo);
    cairo_surface_flush(mSurface);
    mNeedsDisplay = false;
    return drawn;
}

void NSView::displayIfNeeded() {
    if (mNeedsDisplay || mSurface == nullptr) display();
}

std::optional<marvex::Pixel> NSView::pixelAt(int x, int y) const {
    if (mSurface == nullptr) return std::nullopt;
    const int width = cairo_image_surface_get_width(mSurface);
    const int height = cairo_image_surface_get_height(mSurface);
    if (x < 0 || y < 0 || x >= width || y >= height) return std::nullopt;
    const unsigned char* data = cairo_image_surface_get_data(mSurface);
    if (data == nullptr) return std::nullopt;
    const int row = height - 1 - y;
    std::uint32_t argb;
    const unsigned char* at =
        data +
        static_cast<std::size_t>(row) *
            static_cast<std::size_t>(cairo_image_surface_get_stride(mSurface)) +
        static_cast<std::size_t>(x) * 4;
    std::memcpy(&argb, at, sizeof argb);
    marvex::Pixel pixel;
    pixel.alpha = static_cast<std::uint8_t>(argb >> 24);
    auto unpremultiply = [&](std::uint32_t shift) {
        const std::uint32_t value = (argb >> shift) & 0xff;
        if (pixel.alpha == 0) return std::uint8_t{0};
        return static_cast<std::uint8_t>((value * 255 + pixel.alpha / 2) / pixel.alpha);
    };
    pixel.red = unpremultiply(16);
    pixel.green = unpremultiply(8);
    pixel.blue = unpremultiply(0);
    return pixel;
}

bool NSView::writePNG(const std::string& path) {
    if (mSurface == nullptr && !display()) return false;
    if (mNeedsDisplay && !display()) return false;
    return cairo_surface_write_to_png(mSurface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

bool NSView::writeSVG(const std::string& path) {
    cairo_surface_t* svg = cairo_svg_surface_create(path.c_str(), surfaceWidth(), surfaceHeight());
    cairo_t* cairo = cairo_create(svg);
    drawInCairo(cairo);
    bool written = cairo_status(cairo) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cairo);
    cairo_surface_finish(svg);
    written = written && cairo_surface_status(svg) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(svg);
    return written;
}

void NSView::dealloc() {
    if (mSurface != nullptr) cairo_surface_destroy(mSurface);
    mSurface = nullptr;
    NSObject::dealloc();
}
