// The drawing toolkit: bundles, images, paths, colours and views.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <fstream>

#include "tests/view/ViewTestSupport.h"
#include "view/NSBezierPath.h"
#include "view/NSBundle.h"
#include "view/NSImage.h"
#include "view/NSView.h"
#include "view/NeedleView.h"
#include "view/Retained.h"

using marvex::CompositeRecord;
using marvex::Retained;
using marvex::test::line;
using marvex::test::strokesOf;
using marvex::test::TempDir;
namespace fs = std::filesystem;

namespace {

void codeOfThisProgram() {}

// A view whose drawing is supplied by the test.
class ScriptedView : public NSView {
public:
    static ScriptedView* make(NSRect frame, std::function<void()> draw) {
        auto* view = new ScriptedView;
        view->mDraw = std::move(draw);
        return static_cast<ScriptedView*>(view->initWithFrame(frame));
    }
    void drawRect(NSRect) override { mDraw(); }

private:
    std::function<void()> mDraw;
};

void strokeLine(NSPoint from, NSPoint to, CGFloat width) {
    Retained<NSBezierPath> path(NSBezierPath::alloc()->init());
    path->setLineWidth(width);
    path->moveToPoint(from);
    path->lineToPoint(to);
    path->stroke();
}

}  // namespace

TEST(Bundle, ResourcesAreFoundOnlyInsideResources) {
    TempDir dir;
    fs::create_directories(dir.path() / "Resources" / "sub");
    for (const char* file : {"Resources/glass.png", "Resources/README", "secret.png"})
        std::ofstream(dir.path() / file) << "x";
    const auto bundle = NSBundle::bundleWithPath(dir.path());
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->pathForResource("glass", "png"),
              (dir.path() / "Resources/glass.png").string());
    EXPECT_EQ(bundle->pathForResource("README", ""), (dir.path() / "Resources/README").string());
    // Missing, a directory, or anything that would leave Resources/.
    for (const char* name : {"../secret", "..", ".", "", "sub/../glass", "/etc/passwd"})
        EXPECT_FALSE(bundle->pathForResource(name, "png")) << name;
    EXPECT_FALSE(bundle->pathForResource("glass", "jpg") || bundle->pathForResource("sub", "") ||
                 bundle->pathForResource("glass", "png/../../secret") ||
                 bundle->pathForResource(std::string_view("glass\0x", 7), "png"));
    for (const auto& path : {dir.path() / "secret.png", dir.path() / "missing", fs::path()})
        EXPECT_FALSE(NSBundle::bundleWithPath(path.string())) << path;
}

TEST(Bundle, ForClassIsTheDirectoryOfTheDefiningModule) {
    const auto own = NSBundle::bundleForClass(NSMakeClass("Test", &codeOfThisProgram));
    const auto view = NSBundle::bundleForClass(NeedleView::viewClass());
    ASSERT_TRUE(own && view);
    EXPECT_EQ(own->bundlePath(), fs::canonical("/proc/self/exe").parent_path().string());
    EXPECT_EQ(view->bundlePath(), fs::canonical(MARVEX_VIEW_LIBRARY_DIR).string());
    int onTheStack = 0;
    EXPECT_FALSE(NSBundle::bundleForClass(NSClass{"Nowhere", nullptr}));
    EXPECT_FALSE(NSBundle::bundleForClass(NSClass{"Stack", &onTheStack}));
}

TEST(Image, LoadsOnlyPngAndCompositesUprightWithClampedOpacity) {
    TempDir dir;
    std::ofstream(dir.path() / "text.png") << "definitely not a PNG";
    for (const auto& bad : {dir.path() / "text.png", dir.path() / "missing.png", dir.path()}) {
        EXPECT_EQ(NSImage::alloc()->initWithContentsOfFile(bad.string()), nullptr) << bad;
    }
    marvex::test::writePng(dir.path() / "two-tone.png", 4, 4, [](cairo_t* cr) {
        cairo_set_source_rgb(cr, 0, 0, 1);  // blue bottom half, red top half
        cairo_paint(cr);
        cairo_set_source_rgb(cr, 1, 0, 0);
        cairo_rectangle(cr, 0, 2, 4, 2);
        cairo_fill(cr);
    });
    Retained<NSImage> image(
        NSImage::alloc()->initWithContentsOfFile((dir.path() / "two-tone.png").string()));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), NSMakeSize(4, 4));

    Retained<ScriptedView> view(ScriptedView::make(NSMakeRect(0, 0, 20, 10), [&] {
        image->dissolveToPoint(NSMakePoint(2, 3), 1.0);
        image->dissolveToPoint(NSMakePoint(10, 0), 0.5);
        image->dissolveToPoint(NSMakePoint(15, 0), 7.0);
        image->dissolveToPoint(NSMakePoint(15, 5), NAN);
    }));
    ASSERT_TRUE(view->display());
    // Upright: the red half is on top (y 5..6), the blue half below (y 3..4).
    EXPECT_EQ(view->pixelAt(2, 6).value().red, 255);
    EXPECT_EQ(view->pixelAt(2, 3).value().blue, 255);
    EXPECT_EQ(view->pixelAt(6, 3).value().alpha, 0);
    EXPECT_NEAR(view->pixelAt(10, 0).value().alpha, 128, 1);
    EXPECT_EQ(view->pixelAt(15, 0).value().alpha, 255);
    EXPECT_EQ(view->pixelAt(15, 6).value().alpha, 0);
    EXPECT_EQ(std::get<CompositeRecord>(view->lastDrawing()[3]).fraction, 0.0);
}

TEST(Path, StrokesInTheCurrentColourAndRemembersIt) {
    Retained<NSBezierPath> loose(NSBezierPath::alloc()->init());
    loose->setLineWidth(-3);
    loose->stroke();  // no context: recorded only
    ASSERT_EQ(loose->strokes().size(), 1u);
    EXPECT_EQ(loose->strokes()[0].lineWidth, 0.0);

    Retained<ScriptedView> view(ScriptedView::make(NSMakeRect(0, 0, 10, 10), [] {
        NSColor::colorWithRed(0, 1, 0).set();
        strokeLine({0, NAN}, {5, 5}, 2);  // logged, not drawn, and harmless to what follows
        strokeLine({0, 5}, {10, 5}, NAN);
        strokeLine({5, 0}, {5, 10}, 2);
        NSColor::whiteColor().set();
        strokeLine({0, 1}, {10, 1}, 2);
    }));
    ASSERT_TRUE(view->display());
    const auto strokes = strokesOf(*view);
    ASSERT_EQ(strokes.size(), 4u);
    EXPECT_EQ(strokes[2], line({5, 0}, {5, 10}, 2, NSColor::colorWithRed(0, 1, 0)));
    EXPECT_EQ(strokes[3], line({0, 1}, {10, 1}, 2, NSColor::whiteColor()));
    EXPECT_EQ(view->pixelAt(2, 5).value().alpha, 0) << "a stroke without a finite width";
    EXPECT_FALSE(view->pixelAt(10, 0) || view->pixelAt(0, 10)) << "outside the view";
    // y grows upward: the horizontal line at y = 1 covers the two bottom rows.
    EXPECT_EQ(view->pixelAt(5, 8).value().green, 255);
    EXPECT_EQ(view->pixelAt(1, 0).value().red, 255);
    EXPECT_EQ(view->pixelAt(1, 1).value().red, 255);
    EXPECT_EQ(view->pixelAt(1, 2).value().alpha, 0);
}

TEST(View, RequestsRedrawsAndWritesFiles) {
    int requests = 0;
    Retained<ScriptedView> view(ScriptedView::make(NSMakeRect(5, 5, 30, 20), [] {}));
    view->setDisplayRequestHandler([&](NSView&) { ++requests; });
    view->setNeedsDisplay(false);
    view->setNeedsDisplay(true);
    EXPECT_EQ(requests, 1);

    view->setBackgroundColor(NSColor::whiteColor());
    TempDir dir;
    const fs::path png = dir.path() / "v.png";
    ASSERT_TRUE(view->writePNG(png.string()) && view->writeSVG((dir.path() / "v.svg").string()));
    Retained<NSImage> written(NSImage::alloc()->initWithContentsOfFile(png.string()));
    ASSERT_TRUE(written);
    EXPECT_EQ(written->size(), NSMakeSize(30, 20));
    EXPECT_EQ(marvex::test::alphaAt(written->surface(), 0, 0), 255);  // the background
    EXPECT_FALSE(view->writePNG((dir.path() / "missing" / "v.png").string()));
    EXPECT_FALSE(view->writeSVG((dir.path() / "missing" / "v.svg").string()));
}
