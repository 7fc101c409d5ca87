#include "view/NSColor.h"

#include "view/DrawingContext.h"

namespace {

CGFloat unitInterval(CGFloat value) {
    if (!(value > 0)) return 0;  // also NaN
    return value < 1 ? value : 1;
}

}  // namespace

NSColor NSColor::colorWithRed(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
    return NSColor(unitInterval(red), unitInterval(green), unitInterval(blue), unitInterval(alpha));
}

void NSColor::set() const {
    if (auto* context = marvex::DrawingContext::current()) context->setColor(*this);
}
