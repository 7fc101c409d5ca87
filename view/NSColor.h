#pragma once

#include "view/NSGeometry.h"

// An RGBA colour with components in 0..1 (non-premultiplied). A plain value; its functions are
// pure ([any thread]) but for `set`.
class NSColor {
public:
    static NSColor blackColor() { return NSColor(0, 0, 0, 1); }
    static NSColor whiteColor() { return NSColor(1, 1, 1, 1); }
    // Components are clamped to 0..1; NaN becomes 0.
    static NSColor colorWithRed(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha = 1);

    // [control] Makes this the colour of the current drawing context; no effect without one.
    void set() const;

    CGFloat redComponent() const { return mRed; }
    CGFloat greenComponent() const { return mGreen; }
    CGFloat blueComponent() const { return mBlue; }
    CGFloat alphaComponent() const { return mAlpha; }

    friend bool operator==(const NSColor&, const NSColor&) = default;

private:
    NSColor(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
        : mRed(red), mGreen(green), mBlue(blue), mAlpha(alpha) {}

    CGFloat mRed;
    CGFloat mGreen;
    CGFloat mBlue;
    CGFloat mAlpha;
};
