#include "view/NeedleView.h"

#include <algorithm>
#include <array>

#include "view/NSBezierPath.h"
#include "view/NSColor.h"
#include "view/Retained.h"

namespace {

void needleViewCode() {}

const NSClass sNeedleViewClass = NSMakeClass("NeedleView", &needleViewCode);

// The needle's tip drops along a hand-made curve: drop k (1..13) starts at |x| = kDropStarts[k-1].
constexpr std::array<std::int64_t, 13> kDropStarts = {9,  15, 19, 22, 25, 27, 29,
                                                      31, 33, 35, 37, 39, 41};

constexpr int kPivotX = 106;
constexpr int kNeedleLength = 81;
constexpr float kMaxOffset = 58.0f;

void strokeLine(NSPoint from, NSPoint to, const NSColor& color) {
    marvex::Retained<NSBezierPath> path(NSBezierPath::alloc()->init());
    path->setLineWidth(2.0);
    path->moveToPoint(from);
    path->lineToPoint(to);
    color.set();
    path->stroke();
}

}  // namespace

const NSClass& NeedleView::viewClass() {
    return sNeedleViewClass;
}

NeedleView* NeedleView::initWithFrame(NSRect frame) {
    return initWithFrame(frame, NSBundle::bundleForClass(viewClass()));
}

NeedleView* NeedleView::initWithFrame(NSRect frame, const std::optional<NSBundle>& glassBundle) {
    if (NSView::initWithFrame(frame) == nullptr) return nullptr;
    mDeviation = 0;
    NSRelease(mGlass);
    mGlass = nullptr;
    if (glassBundle) {
        if (auto path = glassBundle->pathForResource("glass", "png")) {
            mGlass = NSImage::alloc()->initWithContentsOfFile(*path);
        }
    }
    return this;
}

void NeedleView::drawRect(NSRect) {
    // Single-precision product, truncated toward zero: offsets below 1/58 do not move the needle.
    const auto dx = static_cast<std::int32_t>(kMaxOffset * mDeviation);
    const std::int32_t drop = dy(dx);
    const auto x = [](std::int32_t v) { return static_cast<CGFloat>(v); };

    // The shadow first, then the needle 2 points left of and above it, then the glass on top.
    strokeLine(NSMakePoint(x(kPivotX), 0), NSMakePoint(x(kPivotX + dx), x(kNeedleLength - drop)),
               NSColor::blackColor());
    strokeLine(NSMakePoint(x(kPivotX - 2), 2),
               NSMakePoint(x(kPivotX - 2 + dx), x(kNeedleLength + 2 - drop)),
               NSColor::whiteColor());
    if (mGlass != nullptr) mGlass->dissolveToPoint(NSMakePoint(0, 0), 1.0);
}

std::int32_t NeedleView::dy(std::int32_t x) const {
    // 64-bit magnitude: |INT32_MIN| does not fit 32 bits, its drop does.
    const std::int64_t magnitude = x < 0 ? -static_cast<std::int64_t>(x) : x;
    std::int64_t drop;
    if (magnitude >= 52) {
        drop = magnitude - 28;
    } else if (magnitude >= 43) {
        drop = magnitude - 29;
    } else {
        drop = std::upper_bound(kDropStarts.begin(), kDropStarts.end(), magnitude) -
               kDropStarts.begin();
    }
    return static_cast<std::int32_t>(drop);
}

void NeedleView::setDeviation(float deviation) {
    if (!(deviation >= -1.0f && deviation <= 1.0f)) return;  // NaN fails both comparisons
    mDeviation = deviation;
    setNeedsDisplay(true);
}

void NeedleView::dealloc() {
    NSRelease(mGlass);
    mGlass = nullptr;
    NSView::dealloc();
}
