// The committed glass overlay against the needle's geometry, and its generator.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "tests/view/ViewTestSupport.h"
#include "view/NSImage.h"
#include "view/NeedleView.h"
#include "view/Retained.h"

using marvex::Retained;
using marvex::test::alphaAt;

namespace {

Retained<NSImage> loadImage(const std::string& path) {
    return Retained<NSImage>(NSImage::alloc()->initWithContentsOfFile(path));
}

struct Segment {
    double x0, y0, x1, y1;
};

}  // namespace

TEST(Glass, ClearWhereTheNeedleSweepsTickedWhereItsTipStands) {
    auto glass = loadImage(MARVEX_GLASS_PNG);
    ASSERT_TRUE(glass);
    EXPECT_EQ(glass->size().width, 212);
    const double height = glass->size().height;
    EXPECT_GE(height, 95);  // room above the tip at deviation 0 (y = 83) for the scale

    Retained<NeedleView> view(
        NeedleView::alloc()->initWithFrame(NSMakeRect(0, 0, 212, height), std::nullopt));
    for (std::int32_t dx = -58; dx <= 58; ++dx) {
        const double drop = view->dy(dx);
        // Shadow and needle, from just outside the hub (radius 9.5 around (105, 1)) to 2 points
        // short of the tip, where the scale may begin.
        for (const Segment& s :
             {Segment{106, 0, 106.0 + dx, 81 - drop}, Segment{104, 2, 104.0 + dx, 83 - drop}}) {
            const double end = 1 - 2 / std::hypot(s.x1 - s.x0, s.y1 - s.y0);
            for (double t = 0; t <= end; t += 1.0 / 128) {
                const double x = s.x0 + t * (s.x1 - s.x0);
                const double y = s.y0 + t * (s.y1 - s.y0);
                if (std::hypot(x - 105, y - 1) < 11) continue;  // hub plus a pixel
                ASSERT_LT(alphaAt(glass->surface(), int(x), int(y)), 40)
                    << "glass hides the needle at dx " << dx << " (" << x << ", " << y << ")";
            }
        }
    }
    for (std::int32_t dx : {-58, -29, 0, 29, 58}) {
        const double tipX = 104.0 + dx;
        const double tipY = 83.0 - view->dy(dx);
        const double length = std::hypot(tipX - 104, tipY - 2);
        const double x = tipX + 6 * (tipX - 104) / length;
        const double y = tipY + 6 * (tipY - 2) / length;
        EXPECT_GT(alphaAt(glass->surface(), int(x), int(y)), 100) << "no tick at dx " << dx;
    }
}

TEST(Glass, GeneratorReproducesTheCommittedPicture) {
    marvex::test::TempDir dir;
    const std::string out = (dir.path() / "glass.png").string();
    ASSERT_EQ(std::system((std::string("'") + MARVEX_MAKE_GLASS + "' '" + out + "'").c_str()), 0);
    auto made = loadImage(out);
    auto committed = loadImage(MARVEX_GLASS_PNG);
    ASSERT_TRUE(made && committed);
    ASSERT_EQ(made->size(), committed->size());

    cairo_surface_t* a = made->surface();
    cairo_surface_t* b = committed->surface();
    const int bytes = cairo_image_surface_get_stride(a) * cairo_image_surface_get_height(a);
    ASSERT_EQ(cairo_image_surface_get_stride(a), cairo_image_surface_get_stride(b));
    int worst = 0;
    for (int i = 0; i < bytes; ++i)
        worst = std::max(worst, std::abs(cairo_image_surface_get_data(a)[i] -
                                         cairo_image_surface_get_data(b)[i]));
    EXPECT_LE(worst, 2)
        << "regenerate with: cmake --build <build> --target marvex_regenerate_glass";
}
