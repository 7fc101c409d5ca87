#pragma once

#include <cairo.h>

#include <variant>
#include <vector>

#include "view/NSColor.h"
#include "view/NSGeometry.h"

namespace marvex {

// One step of a path as it was stroked.
struct PathElement {
    enum class Kind { Move, Line };
    Kind kind;
    NSPoint point;
    friend bool operator==(const PathElement&, const PathElement&) = default;
};

// What one stroke drew: the path, its line width and the colour it was stroked in.
struct StrokeRecord {
    std::vector<PathElement> elements;
    CGFloat lineWidth;
    NSColor color;
    friend bool operator==(const StrokeRecord&, const StrokeRecord&) = default;
};

// What one image composite drew: the image's size, where its lower-left corner went and the
// opacity it was drawn with (already clamped to 0..1).
struct CompositeRecord {
    NSSize imageSize;
    NSPoint point;
    CGFloat fraction;
    friend bool operator==(const CompositeRecord&, const CompositeRecord&) = default;
};

using DrawingOperation = std::variant<StrokeRecord, CompositeRecord>;

// The target of the toolkit's drawing calls (colour `set`, path `stroke`, image composite).
// While a DrawingContext lives it is the current context of its thread; the previous one comes
// back when it goes. It maps view coordinates (y up) onto the Cairo target (y down) and keeps a
// log of what was drawn so that tests can read geometry without looking at pixels. [control]
// throughout.
class DrawingContext {
public:
    // `cairo` is borrowed; `height` is the target's height in points, the line y = 0 of the
    // view lands on its bottom edge.
    DrawingContext(cairo_t* cairo, CGFloat height);
    ~DrawingContext();
    DrawingContext(const DrawingContext&) = delete;
    DrawingContext& operator=(const DrawingContext&) = delete;

    // [control] The innermost living context of the calling thread, or nullptr.
    static DrawingContext* current();

    void setColor(const NSColor& color) { mColor = color; }
    const NSColor& color() const { return mColor; }

    // Strokes the record's path; paths with a non-finite coordinate are logged but not drawn.
    void stroke(const StrokeRecord& record);
    // Draws `image` with its lower-left corner at record.point and opacity record.fraction.
    void composite(cairo_surface_t* image, const CompositeRecord& record);

    const std::vector<DrawingOperation>& operations() const { return mOperations; }
    std::vector<DrawingOperation> takeOperations();

private:
    cairo_t* mCairo;
    DrawingContext* mPrevious;
    NSColor mColor = NSColor::blackColor();
    std::vector<DrawingOperation> mOperations;
};

}  // namespace marvex
