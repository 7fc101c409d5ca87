#pragma once

// Points, sizes and rectangles of the drawing toolkit. Coordinates are points with the origin
// at the lower left and y growing upward.

typedef double CGFloat;

struct NSPoint {
    CGFloat x = 0;
    CGFloat y = 0;
    friend bool operator==(const NSPoint&, const NSPoint&) = default;
};

struct NSSize {
    CGFloat width = 0;
    CGFloat height = 0;
    friend bool operator==(const NSSize&, const NSSize&) = default;
};

struct NSRect {
    NSPoint origin;
    NSSize size;
    friend bool operator==(const NSRect&, const NSRect&) = default;
};

inline NSPoint NSMakePoint(CGFloat x, CGFloat y) {
    return NSPoint{x, y};
}
inline NSSize NSMakeSize(CGFloat width, CGFloat height) {
    return NSSize{width, height};
}
inline NSRect NSMakeRect(CGFloat x, CGFloat y, CGFloat width, CGFloat height) {
    return NSRect{NSPoint{x, y}, NSSize{width, height}};
}
