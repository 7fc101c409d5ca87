#include "view/NeedleView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <variant>
#include <vector>

#include "view/Retained.h"

using marvex::PathElement;
using marvex::Retained;
using marvex::StrokeRecord;

namespace {

const NSRect kFrame = NSMakeRect(0, 0, 212, 104);

Retained<NeedleView> makeView() {
    return Retained<NeedleView>(NeedleView::alloc()->initWithFrame(kFrame, std::nullopt));
}

StrokeRecord line(NSPoint from, NSPoint to, CGFloat width, NSColor color) {
    return {{{PathElement::Kind::Move, from}, {PathElement::Kind::Line, to}}, width, color};
}

// The black shadow runs from the pivot (106, 0) to `tip`; the white needle is the same line
// moved 2 left and 2 up.
void expectNeedle(const NeedleView& view, NSPoint tip) {
    std::vector<StrokeRecord> strokes;
    for (const auto& operation : view.lastDrawing())
        if (const auto* stroke = std::get_if<StrokeRecord>(&operation)) strokes.push_back(*stroke);
    ASSERT_EQ(strokes.size(), 2u);
    EXPECT_EQ(strokes[0], line({106, 0}, tip, 2.0, NSColor::blackColor()));
    EXPECT_EQ(strokes[1], line({104, 2}, {tip.x - 2, tip.y + 2}, 2.0, NSColor::whiteColor()));
}

}  // namespace

// The closed range [-1, 1] moves the needle; anything else is ignored.
TEST(NeedleGeometry, TipFollowsTruncatedOffsetAndDropTableWithinTheRange) {
    const std::pair<float, NSPoint> cases[] = {
        {0.5f, {135, 74}},     // dx 29, drop 7
        {-0.999f, {49, 52}},   // dx -57 after truncation toward zero, drop 29
        {-0.017f, {106, 81}},  // just under 1/58: no movement
        {1.0f, {164, 51}},    {-1.0f, {48, 51}},
    };
    for (const auto& [deviation, tip] : cases) {
        SCOPED_TRACE(deviation);
        auto view = makeView();
        view->setDeviation(deviation);
        ASSERT_TRUE(view->display());
        for (float rejected : {std::nextafter(1.0f, 2.0f), NAN}) view->setDeviation(rejected);
        EXPECT_FALSE(view->needsDisplay());
        ASSERT_TRUE(view->display());
        expectNeedle(*view, tip);
    }
}

TEST(NeedleDrop, BoundariesExtremesEvenAndNeverRising) {
    auto view = makeView();
    // Edges of the table's bands, both formulas, and magnitudes that overflow a plain abs().
    const std::int32_t xs[] = {8, 9, 42, 43, 51, 52, 58, INT32_MIN};
    const std::int32_t drops[] = {0, 1, 13, 14, 22, 24, 30, 2147483620};
    for (std::size_t i = 0; i < std::size(xs); ++i) EXPECT_EQ(view->dy(xs[i]), drops[i]) << xs[i];
    for (std::int32_t x = 0; x < 100; ++x) {
        EXPECT_EQ(view->dy(-x), view->dy(x)) << x;
        EXPECT_GE(view->dy(x + 1), view->dy(x)) << x;  // the tip never rises as it swings out
    }
}

TEST(NeedleView, FindsGlassBesideItsOwnModuleAndRefusesUnusableFrames) {
    // The build copies glass.png into Resources/ beside the library holding NeedleView.
    auto view = Retained<NeedleView>(NeedleView::alloc()->initWithFrame(kFrame));
    ASSERT_TRUE(view && view->glass());
    // A refused frame yields nil, and the half-made view is freed (else LeakSanitizer reports).
    for (const auto& frame : {NSMakeRect(0, 0, NAN, 104), NSMakeRect(0, 0, 212, 1e9)})
        EXPECT_EQ(NeedleView::alloc()->initWithFrame(frame, std::nullopt), nullptr);
}
