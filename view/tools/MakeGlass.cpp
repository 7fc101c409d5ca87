// Draws the needle view's "glass" overlay: a bezel, a scale whose ticks sit where the needle's
// tip stands, a centre mark, the pivot's hub and a faint highlight. Everything the needle
// sweeps stays transparent except under the hub. The tip positions come from NeedleView itself,
// so the scale follows the needle's geometry.
//
//   marvex-make-glass OUTPUT.png
//
// The committed view/resources/glass.png is this program's output.

#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

#include "view/NeedleView.h"
#include "view/Retained.h"

namespace {

constexpr int kWidth = 212;
constexpr int kHeight = 104;
constexpr double kBezel = 4;
constexpr double kCornerRadius = 10;
// The white needle's pivot (the view draws it at (104, 2)) and its length at deviation 0.
constexpr double kPivotX = 104;
constexpr double kPivotY = 2;
constexpr double kTopY = 83;

struct Vec {
    double x;
    double y;
};

Vec operator+(Vec a, Vec b) {
    return {a.x + b.x, a.y + b.y};
}
Vec operator*(double s, Vec a) {
    return {s * a.x, s * a.y};
}

struct Tip {
    Vec point;      // where the white needle's tip stands
    Vec direction;  // unit vector from the pivot towards the tip
};

Tip tipAt(const NeedleView& view, float deviation) {
    const auto dx = static_cast<std::int32_t>(58.0f * deviation);  // as the view computes it
    const Vec point{kPivotX + dx, kTopY - view.dy(dx)};
    const double dxp = point.x - kPivotX;
    const double dyp = point.y - kPivotY;
    const double length = std::hypot(dxp, dyp);
    return {point, {dxp / length, dyp / length}};
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void line(cairo_t* cr, Vec from, Vec to, double width) {
    cairo_set_line_width(cr, width);
    cairo_move_to(cr, from.x, from.y);
    cairo_line_to(cr, to.x, to.y);
    cairo_stroke(cr);
}

void drawBezel(cairo_t* cr) {
    // Frame: the whole rectangle minus the rounded window.
    cairo_rectangle(cr, 0, 0, kWidth, kHeight);
    roundedRect(cr, kBezel, kBezel, kWidth - 2 * kBezel, kHeight - 2 * kBezel, kCornerRadius);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_pattern_t* metal = cairo_pattern_create_linear(0, kHeight, 0, 0);
    cairo_pattern_add_color_stop_rgb(metal, 0, 0.36, 0.39, 0.43);
    cairo_pattern_add_color_stop_rgb(metal, 1, 0.17, 0.19, 0.21);
    cairo_set_source(cr, metal);
    cairo_fill(cr);
    cairo_pattern_destroy(metal);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);

    // A light lip on the window's edge.
    roundedRect(cr, kBezel + 0.5, kBezel + 0.5, kWidth - 2 * kBezel - 1, kHeight - 2 * kBezel - 1,
                kCornerRadius - 0.5);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.16);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);

    // The bezel's shadow on the face under its top edge.
    const double top = kHeight - kBezel;
    cairo_pattern_t* shade = cairo_pattern_create_linear(0, top, 0, top - 6);
    cairo_pattern_add_color_stop_rgba(shade, 0, 0, 0, 0, 0.35);
    cairo_pattern_add_color_stop_rgba(shade, 1, 0, 0, 0, 0);
    cairo_rectangle(cr, kBezel, top - 6, kWidth - 2 * kBezel, 6);
    cairo_set_source(cr, shade);
    cairo_fill(cr);
    cairo_pattern_destroy(shade);
}

void drawScale(cairo_t* cr, const NeedleView& view) {
    // An arc just beyond the tips, crossing the ticks, smoothed with a Catmull-Rom spline.
    const std::vector<float> steps = {-1, -0.75f, -0.5f, -0.25f, 0, 0.25f, 0.5f, 0.75f, 1};
    std::vector<Vec> roots;
    for (float d : steps) {
        const Tip tip = tipAt(view, d);
        roots.push_back(tip.point + 3.5 * tip.direction);
    }
    cairo_move_to(cr, roots.front().x, roots.front().y);
    for (std::size_t i = 0; i + 1 < roots.size(); ++i) {
        const Vec p0 = roots[i == 0 ? 0 : i - 1];
        const Vec p1 = roots[i];
        const Vec p2 = roots[i + 1];
        const Vec p3 = roots[i + 2 < roots.size() ? i + 2 : i + 1];
        const Vec c1 = p1 + (1.0 / 6) * (p2 + (-1.0) * p0);
        const Vec c2 = p2 + (-1.0 / 6) * (p3 + (-1.0) * p1);
        cairo_curve_to(cr, c1.x, c1.y, c2.x, c2.y, p2.x, p2.y);
    }
    cairo_set_source_rgba(cr, 1, 1, 1, 0.28);
    cairo_set_line_width(cr, 0.75);
    cairo_stroke(cr);

    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (float d : steps) {
        const Tip tip = tipAt(view, d);
        const bool major = std::fmod(std::fabs(d), 0.5f) == 0;
        if (d == 0) continue;  // the centre mark below
        cairo_set_source_rgba(cr, 0.92, 0.93, 0.95, major ? 0.9 : 0.55);
        line(cr, tip.point + 1.5 * tip.direction, tip.point + (major ? 11.0 : 6.5) * tip.direction,
             major ? 1.5 : 1.0);
    }

    // Centre: a green tick and a small pointer above it.
    const Tip centre = tipAt(view, 0);
    cairo_set_source_rgba(cr, 0.37, 0.83, 0.55, 1);
    line(cr, centre.point + 1.5 * centre.direction, centre.point + 10.0 * centre.direction, 2);
    const Vec apex = centre.point + 11.5 * centre.direction;
    cairo_move_to(cr, apex.x, apex.y);
    cairo_line_to(cr, apex.x - 3.5, apex.y + 4.5);
    cairo_line_to(cr, apex.x + 3.5, apex.y + 4.5);
    cairo_close_path(cr);
    cairo_fill(cr);

    // Flat and sharp sides, drawn as strokes so the picture does not depend on installed fonts.
    cairo_set_source_rgba(cr, 1, 1, 1, 0.45);
    line(cr, {22, 20}, {32, 20}, 1.5);
    line(cr, {180, 20}, {190, 20}, 1.5);
    line(cr, {185, 15}, {185, 25}, 1.5);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

void drawHub(cairo_t* cr) {
    // Covers where both lines start: the shadow at (106, 0), the needle at (104, 2).
    const Vec centre{105, 1};
    cairo_pattern_t* metal =
        cairo_pattern_create_radial(centre.x - 2, centre.y + 3, 1, centre.x, centre.y, 9);
    cairo_pattern_add_color_stop_rgb(metal, 0, 0.62, 0.65, 0.69);
    cairo_pattern_add_color_stop_rgb(metal, 1, 0.20, 0.22, 0.25);
    cairo_arc(cr, centre.x, centre.y, 9, 0, 2 * M_PI);
    cairo_set_source(cr, metal);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(metal);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void drawHighlight(cairo_t* cr) {
    // A faint sheen over the upper face, fading out downwards.
    const double top = kHeight - kBezel;
    cairo_save(cr);
    roundedRect(cr, kBezel, kBezel, kWidth - 2 * kBezel, kHeight - 2 * kBezel, kCornerRadius);
    cairo_clip(cr);
    cairo_move_to(cr, kBezel, 58);
    cairo_curve_to(cr, 60, 74, 140, 86, kWidth - kBezel, 90);
    cairo_line_to(cr, kWidth - kBezel, top);
    cairo_line_to(cr, kBezel, top);
    cairo_close_path(cr);
    cairo_pattern_t* sheen = cairo_pattern_create_linear(0, top, 0, 58);
    cairo_pattern_add_color_stop_rgba(sheen, 0, 1, 1, 1, 0.11);
    cairo_pattern_add_color_stop_rgba(sheen, 1, 1, 1, 1, 0.01);
    cairo_set_source(cr, sheen);
    cairo_fill(cr);
    cairo_pattern_destroy(sheen);
    cairo_restore(cr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    marvex::Retained<NeedleView> view(
        NeedleView::alloc()->initWithFrame(NSMakeRect(0, 0, kWidth, kHeight), std::nullopt));
    if (!view) {
        std::fprintf(stderr, "marvex-make-glass: cannot create the needle view\n");
        return 1;
    }

    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
    cairo_t* cr = cairo_create(surface);
    cairo_translate(cr, 0, kHeight);  // draw in view coordinates, y up
    cairo_scale(cr, 1, -1);
    drawHighlight(cr);
    drawBezel(cr);
    drawScale(cr, *view);
    drawHub(cr);
    const bool drawn = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);

    const cairo_status_t written = cairo_surface_write_to_png(surface, argv[1]);
    cairo_surface_destroy(surface);
    if (!drawn || written != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "marvex-make-glass: cannot write %s: %s\n", argv[1],
                     cairo_status_to_string(drawn ? written : CAIRO_STATUS_INVALID_STATUS));
        return 1;
    }
    return 0;
}
