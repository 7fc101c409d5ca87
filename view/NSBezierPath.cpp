#include "view/NSBezierPath.h"

void NSBezierPath::setLineWidth(CGFloat width) {
    mLineWidth = width > 0 ? width : 0;
}

void NSBezierPath::moveToPoint(NSPoint point) {
    mElements.push_back({marvex::PathElement::Kind::Move, point});
}

void NSBezierPath::lineToPoint(NSPoint point) {
    const auto kind =
        mElements.empty() ? marvex::PathElement::Kind::Move : marvex::PathElement::Kind::Line;
    mElements.push_back({kind, point});
}

void NSBezierPath::stroke() {
    auto* context = marvex::DrawingContext::current();
    marvex::StrokeRecord record{mElements, mLineWidth,
                                context ? context->color() : NSColor::blackColor()};
    if (context) context->stroke(record);
    mStrokes.push_back(std::move(record));
}
