#include "view/NeedleView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "tests/view/ViewTestSupport.h"
#include "view/Retained.h"

using marvex::Retained;

namespace {

const NSRect kFrame = NSMakeRect(0, 0, 212, 104);

Retained<NeedleView> makeView() {
    return Retained<NeedleView>(NeedleView::alloc()->initWithFrame(kFrame, std::nullopt));
}

// The black shadow runs from the pivot (106, 0) to `tip`; the white needle is the same line
// moved 2 left and 2 up.
void expectNeedle(const NeedleView& view, NSPoint tip) {
    using marvex::test::line;
    const auto strokes = marvex::test::strokesOf(view);
    ASSERT_EQ(strokes.size(), 2u);
    EXPECT_EQ(strokes[0], line({106, 0}, tip, 2.0, NSColor::blackColor()));
    EXPECT_EQ(strokes[1], line({104, 2}, {tip.x - 2, tip.y + 2}, 2.0, NSColor::whiteColor()));
}

}  // namespace

TEST(NeedleGeometry, TipFollowsTruncatedOffsetAndDropTable) {
    const std::pair<float, NSPoint> cases[] = {
        {0.5f, {135, 74}},     // dx 29, drop 7
        {-0.999f, {49, 52}},   // dx -57 after truncation toward zero, drop 29
        {-0.017f, {106, 81}},  // just under 1/58: no movement
        {1.0f, {164, 51}},
    };
    for (const auto& [deviation, tip] : cases) {
        SCOPED_TRACE(deviation);
        auto view = makeView();
        view->setDeviation(deviation);
        ASSERT_TRUE(view->display());
        expectNeedle(*view, tip);
    }
}

TEST(NeedleDeviation, AcceptsClosedRangeIgnoresEverythingElse) {
    auto view = makeView();
    for (float accepted : {-1.0f, 0.5f}) view->setDeviation(accepted);
    ASSERT_TRUE(view->display());
    for (float rejected : {std::nextafter(1.0f, 2.0f), NAN}) view->setDeviation(rejected);
    EXPECT_FALSE(view->needsDisplay());
    ASSERT_TRUE(view->display());
    expectNeedle(*view, {135, 74});
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
