// The drawing toolkit: bundles, images, paths, colours and views.

#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>

#include "view/NSImage.h"
#include "view/NSView.h"
#include "view/Retained.h"

using marvex::CompositeRecord;
using marvex::Retained;

namespace {

// Writes a width x height PNG painted by `paint` in view coordinates (y up), transparent
// elsewhere.
void writePng(const std::filesystem::path& file, int width, int height,
              const std::function<void(cairo_t*)>& paint) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_translate(cr, 0, height);
    cairo_scale(cr, 1, -1);
    paint(cr);
    cairo_destroy(cr);
    cairo_surface_write_to_png(surface, file.c_str());
    cairo_surface_destroy(surface);
}

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

}  // namespace

TEST(Image, LoadsOnlyPngAndCompositesUprightWithClampedOpacity) {
    const std::filesystem::path dir = testing::TempDir();
    std::ofstream(dir / "marvex-not-a.png") << "definitely not a PNG";
    EXPECT_EQ(NSImage::alloc()->initWithContentsOfFile((dir / "marvex-not-a.png").string()),
              nullptr);
    writePng(dir / "marvex-two-tone.png", 4, 4, [](cairo_t* cr) {
        cairo_set_source_rgb(cr, 0, 0, 1);  // blue bottom half, red top half
        cairo_paint(cr);
        cairo_set_source_rgb(cr, 1, 0, 0);
        cairo_rectangle(cr, 0, 2, 4, 2);
        cairo_fill(cr);
    });
    Retained<NSImage> image(
        NSImage::alloc()->initWithContentsOfFile((dir / "marvex-two-tone.png").string()));
    ASSERT_TRUE(image);

    Retained<ScriptedView> view(ScriptedView::make(NSMakeRect(0, 0, 20, 10), [&] {
        image->dissolveToPoint(NSMakePoint(2, 3), 1.0);
        image->dissolveToPoint(NSMakePoint(10, 0), 0.5);
        image->dissolveToPoint(NSMakePoint(15, 5), NAN);
    }));
    ASSERT_TRUE(view->display());
    // Upright: the red half is on top (y 5..6), the blue half below (y 3..4).
    EXPECT_EQ(view->pixelAt(2, 6).value().red, 255);
    EXPECT_EQ(view->pixelAt(2, 3).value().blue, 255);
    EXPECT_NEAR(view->pixelAt(10, 0).value().alpha, 128, 1);
    EXPECT_EQ(view->pixelAt(15, 6).value().alpha, 0);
    EXPECT_EQ(std::get<CompositeRecord>(view->lastDrawing()[2]).fraction, 0.0);
}

// Success is the needle render program's test; a failure must not pass for one.
TEST(View, ReportsFilesItCannotWrite) {
    Retained<ScriptedView> view(ScriptedView::make(NSMakeRect(5, 5, 30, 20), [] {}));
    EXPECT_FALSE(view->writePNG("/nonexistent/v.png"));
    EXPECT_FALSE(view->writeSVG("/nonexistent/v.svg"));
}
