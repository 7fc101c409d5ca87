#pragma once

#include <vector>

#include "view/DrawingContext.h"
#include "view/NSGeometry.h"
#include "view/NSObject.h"

// A path of straight segments stroked in the current colour of the current drawing context.
// Every stroke is also kept on the path (`strokes`), whether or not a context was current.
// [control] throughout.
class NSBezierPath : public NSObject {
public:
    // [control] A new path with one reference, still to be initialised with `init`.
    static NSBezierPath* alloc() { return new NSBezierPath; }
    NSBezierPath* init() { return this; }

    // Negative and NaN widths become 0 (the thinnest line the target draws).
    void setLineWidth(CGFloat width);
    CGFloat lineWidth() const { return mLineWidth; }

    void moveToPoint(NSPoint point);
    // Without a current point the segment starts a new subpath at `point`.
    void lineToPoint(NSPoint point);

    // [control] Strokes the path with its line width in the current colour.
    void stroke();

    const std::vector<marvex::PathElement>& elements() const { return mElements; }
    const std::vector<marvex::StrokeRecord>& strokes() const { return mStrokes; }

private:
    NSBezierPath() = default;

    CGFloat mLineWidth = 1.0;
    std::vector<marvex::PathElement> mElements;
    std::vector<marvex::StrokeRecord> mStrokes;
};
