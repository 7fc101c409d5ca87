#include "view/NeedleView.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>

#include "tests/view/ViewTestSupport.h"
#include "view/Retained.h"

using marvex::CompositeRecord;
using marvex::Retained;
using marvex::test::TempDir;

namespace {

const NSRect kFrame = NSMakeRect(0, 0, 212, 104);

Retained<NeedleView> makeView(const std::optional<NSBundle>& bundle = std::nullopt) {
    return Retained<NeedleView>(NeedleView::alloc()->initWithFrame(kFrame, bundle));
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
        {0.0f, {106, 81}},     // upright
        {0.5f, {135, 74}},     // dx 29, drop 7
        {-0.999f, {49, 52}},   // dx -57 after truncation toward zero, drop 29
        {0.01f, {106, 81}},    // 58 x 0.01 truncates to 0: no movement
        {-0.017f, {106, 81}},  // just under 1/58 on the other side
        {1.0f, {164, 51}},    {-1.0f, {48, 51}},
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
    int requests = 0;
    view->setDisplayRequestHandler([&](NSView&) { ++requests; });
    for (float accepted : {1.0f, -1.0f, 0.5f, 0.5f}) view->setDeviation(accepted);
    EXPECT_EQ(requests, 4);  // the same value again still asks for a redraw
    ASSERT_TRUE(view->display());
    for (float rejected : {std::nextafter(1.0f, 2.0f), -1.0001f, NAN, -INFINITY})
        view->setDeviation(rejected);
    EXPECT_EQ(requests, 4);
    EXPECT_FALSE(view->needsDisplay());
    EXPECT_EQ(view->deviation(), 0.5f);
    ASSERT_TRUE(view->display());
    expectNeedle(*view, {135, 74});
}

TEST(NeedleDrop, BoundariesExtremesEvenAndNeverRising) {
    auto view = makeView();
    // Edges of the table's bands, both formulas, and magnitudes that overflow a plain abs().
    const std::int32_t xs[] = {0, 8, 9, 14, 15, 42, 43, 51, 52, 58, INT32_MAX, INT32_MIN};
    const std::int32_t drops[] = {0, 0, 1, 1, 2, 13, 14, 22, 24, 30, 2147483619, 2147483620};
    for (std::size_t i = 0; i < std::size(xs); ++i) EXPECT_EQ(view->dy(xs[i]), drops[i]) << xs[i];
    for (std::int32_t x = 0; x < 100; ++x) {
        EXPECT_EQ(view->dy(-x), view->dy(x)) << x;
        EXPECT_GE(view->dy(x + 1), view->dy(x)) << x;  // the tip never rises as it swings out
    }
}

TEST(NeedleDrawing, GlassIsDrawnLastAtTheOriginOpaque) {
    // A glass transparent but for an opaque red block over the needle's middle.
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "Resources");
    marvex::test::writePng(dir.path() / "Resources" / "glass.png", 212, 104, [](cairo_t* cr) {
        cairo_set_source_rgb(cr, 1, 0, 0);
        cairo_rectangle(cr, 70, 20, 15, 10);
        cairo_fill(cr);
    });
    auto covered = makeView(NSBundle::bundleWithPath(dir.path()));
    covered->setDeviation(-1.0f);
    ASSERT_TRUE(covered->display());
    ASSERT_EQ(covered->lastDrawing().size(), 3u);
    EXPECT_EQ(std::get<CompositeRecord>(covered->lastDrawing()[2]),
              (CompositeRecord{NSMakeSize(212, 104), NSMakePoint(0, 0), 1.0}));
    const auto underGlass = covered->pixelAt(77, 25).value();
    EXPECT_EQ((std::array<int, 3>{underGlass.alpha, underGlass.red, underGlass.green}),
              (std::array<int, 3>{255, 255, 0}));
}

TEST(NeedleView, FindsGlassBesideItsOwnModuleAndReleasesIt) {
    // The build copies glass.png into Resources/ beside the library holding NeedleView.
    auto view = Retained<NeedleView>(NeedleView::alloc()->initWithFrame(kFrame));
    ASSERT_TRUE(view && view->glass());
    NSImage* glass = view->glass();
    glass->retain();
    view.reset();  // dealloc gives up the view's reference
    EXPECT_EQ(glass->retainCount(), 1);
    glass->release();

    // A refused frame yields nil, and the half-made view is freed (else LeakSanitizer reports).
    for (const auto& frame : {NSMakeRect(0, 0, NAN, 104), NSMakeRect(0, 0, -1, 104),
                              NSMakeRect(INFINITY, 0, 212, 104), NSMakeRect(0, 0, 212, 1e9)}) {
        EXPECT_EQ(NeedleView::alloc()->initWithFrame(frame, std::nullopt), nullptr);
    }
}
