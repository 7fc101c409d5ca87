#include "view/NeedleView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>

#include "tests/view/ViewTestSupport.h"
#include "view/Retained.h"

using marvex::CompositeRecord;
using marvex::Retained;
using marvex::test::line;
using marvex::test::strokesOf;
using marvex::test::TempDir;

namespace {

const NSRect kFrame = NSMakeRect(0, 0, 212, 104);

Retained<NeedleView> makeView(const std::optional<NSBundle>& bundle = std::nullopt) {
    return Retained<NeedleView>(NeedleView::alloc()->initWithFrame(kFrame, bundle));
}

// A bundle whose glass is transparent but for an opaque red block over x 70..85, y 20..30.
class GlassBundle {
public:
    GlassBundle() {
        std::filesystem::create_directories(mDir.path() / "Resources");
        marvex::test::writePng(mDir.path() / "Resources" / "glass.png", 212, 104, [](cairo_t* cr) {
            cairo_set_source_rgb(cr, 1, 0, 0);
            cairo_rectangle(cr, 70, 20, 15, 10);
            cairo_fill(cr);
        });
    }
    NSBundle bundle() const { return *NSBundle::bundleWithPath(mDir.path()); }

private:
    TempDir mDir;
};

// The black shadow runs from the pivot (106, 0) to `tip`; the white needle is the same line
// moved 2 left and 2 up.
void expectNeedle(const NeedleView& view, NSPoint tip) {
    const auto strokes = strokesOf(view);
    ASSERT_EQ(strokes.size(), 2u);
    EXPECT_EQ(strokes[0], line({106, 0}, tip, 2.0, NSColor::blackColor()));
    EXPECT_EQ(strokes[1], line({104, 2}, {tip.x - 2, tip.y + 2}, 2.0, NSColor::whiteColor()));
}

}  // namespace

TEST(NeedleGeometry, TipFollowsTruncatedOffsetAndDropTable) {
    struct Case {
        float deviation;
        NSPoint shadowTip;
    };
    const Case cases[] = {
        {0.0f, {106, 81}},     // upright
        {0.5f, {135, 74}},     // dx 29, drop 7
        {-0.999f, {49, 52}},   // dx -57 after truncation toward zero, drop 29
        {0.01f, {106, 81}},    // 58 x 0.01 truncates to 0: no movement
        {-0.017f, {106, 81}},  // just under 1/58 on the other side
        {1.0f, {164, 51}},     // full deflection
        {-1.0f, {48, 51}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.deviation);
        auto view = makeView();
        view->setDeviation(c.deviation);
        ASSERT_TRUE(view->display());
        expectNeedle(*view, c.shadowTip);
    }
}

TEST(NeedleDeviation, AcceptsClosedRangeIgnoresEverythingElse) {
    auto view = makeView();
    int requests = 0;
    view->setDisplayRequestHandler([&](NSView&) { ++requests; });
    EXPECT_EQ(view->deviation(), 0.0f);

    view->setDeviation(1.0f);
    view->setDeviation(-1.0f);
    view->setDeviation(0.5f);
    view->setDeviation(0.5f);  // the same value again still asks for a redraw
    EXPECT_EQ(requests, 4);
    EXPECT_EQ(view->deviation(), 0.5f);
    ASSERT_TRUE(view->display());
    EXPECT_FALSE(view->needsDisplay());

    for (float rejected :
         {std::nextafter(1.0f, 2.0f), 1.0000001f, -2.0f, std::numeric_limits<float>::quiet_NaN(),
          -std::numeric_limits<float>::infinity(), -1.0001f}) {
        view->setDeviation(rejected);
    }
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

TEST(NeedleGlass, MissingOrUnreadableGlassDrawsOnlyTheTwoLines) {
    TempDir empty;
    TempDir broken;
    std::filesystem::create_directories(broken.path() / "Resources");
    std::ofstream(broken.path() / "Resources" / "glass.png") << "not a picture";

    for (const auto& bundle : {std::optional<NSBundle>(), NSBundle::bundleWithPath(empty.path()),
                               NSBundle::bundleWithPath(broken.path())}) {
        auto view = makeView(bundle);
        ASSERT_TRUE(view);
        EXPECT_EQ(view->glass(), nullptr);
        view->setDeviation(-0.5f);
        ASSERT_TRUE(view->display());
        ASSERT_EQ(view->lastDrawing().size(), 2u);
        expectNeedle(*view, {77, 74});
    }
}

TEST(NeedleDrawing, WhiteNeedleOverBlackShadowGlassLastAtOriginOpaque) {
    // At -1 the needle lies almost on its shadow: midway both cover pixel (77, 25).
    auto bare = makeView();
    bare->setDeviation(-1.0f);
    ASSERT_TRUE(bare->display());
    const auto middle = bare->pixelAt(77, 25);
    ASSERT_TRUE(middle);
    EXPECT_EQ(middle->alpha, 255);
    EXPECT_GE(middle->red, 250);
    EXPECT_GE(middle->blue, 250);
    // At the pivot only the shadow reaches down to y = 0.
    const auto foot = bare->pixelAt(105, 0);
    ASSERT_TRUE(foot);
    EXPECT_GE(foot->alpha, 250);
    EXPECT_LE(foot->red, 5);

    GlassBundle glass;
    auto covered = makeView(glass.bundle());
    covered->setDeviation(-1.0f);
    ASSERT_TRUE(covered->display());
    ASSERT_EQ(covered->lastDrawing().size(), 3u);
    EXPECT_EQ(std::get<CompositeRecord>(covered->lastDrawing()[2]),
              (CompositeRecord{NSMakeSize(212, 104), NSMakePoint(0, 0), 1.0}));
    const auto underGlass = covered->pixelAt(77, 25);
    ASSERT_TRUE(underGlass);
    EXPECT_EQ(underGlass->alpha, 255);
    EXPECT_EQ(underGlass->red, 255);
    EXPECT_EQ(underGlass->green, 0);
}

TEST(NeedleView, FindsGlassBesideItsOwnModuleAndReleasesIt) {
    // The build copies glass.png into Resources/ beside the library holding NeedleView.
    auto view = Retained<NeedleView>(NeedleView::alloc()->initWithFrame(kFrame));
    ASSERT_TRUE(view);
    NSImage* glass = view->glass();
    ASSERT_NE(glass, nullptr);
    EXPECT_EQ(glass->size().width, 212);

    glass->retain();
    view.reset();  // dealloc gives up the view's reference
    EXPECT_EQ(glass->retainCount(), 1);
    glass->release();
}

TEST(NeedleView, RefusedFrameYieldsNil) {
    const NSRect bad[] = {NSMakeRect(0, 0, NAN, 104), NSMakeRect(0, 0, -1, 104),
                          NSMakeRect(INFINITY, 0, 212, 104), NSMakeRect(0, 0, 212, 1e9)};
    for (const auto& frame : bad) {  // the refused view is freed, or LeakSanitizer reports it
        EXPECT_EQ(NeedleView::alloc()->initWithFrame(frame, std::nullopt), nullptr);
    }
}
