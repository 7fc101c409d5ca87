#include "lv2/InlineNeedle.h"

#include <algorithm>
#include <cmath>

#include "host/BlockRecord.h"
#include "host/NoteName.h"
#include "view/NSView.h"

namespace marvex::lv2 {

InlineNeedle::~InlineNeedle() {
    if (mSurface != nullptr) cairo_surface_destroy(mSurface);
}

bool InlineNeedle::prepareView() {
    if (mView) return true;
    try {
        if (!mUnit) mUnit.emplace(HostedUnit::open(mComponent));
        mView.emplace(CustomView::create(*mUnit));
        return mView->width() > 0.0 && mView->height() > 0.0;
    } catch (const std::exception&) {
        return false;  // drawn again on the next request; the strip stays empty meanwhile
    }
}

bool InlineNeedle::prepareSurface(int width, int height) {
    if (mSurface != nullptr && cairo_image_surface_get_width(mSurface) == width &&
        cairo_image_surface_get_height(mSurface) == height)
        return true;
    if (mSurface != nullptr) cairo_surface_destroy(mSurface);
    mSurface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    return cairo_surface_status(mSurface) == CAIRO_STATUS_SUCCESS;
}

LV2_Inline_Display_Image_Surface* InlineNeedle::render(std::uint32_t width, std::uint32_t maxHeight,
                                                       float deviation, float note,
                                                       float levelDbfs) {
    constexpr std::uint32_t kMaxSide = 4096;
    if (width == 0 || maxHeight == 0 || width > kMaxSide || !prepareView()) return nullptr;
    // The view at its own proportions above a band for the note's name, as tall as allowed.
    constexpr double kNameBand = 0.3;  // of the view's height
    const double aspect = mView->height() * (1.0 + kNameBand) / mView->width();
    const int w = static_cast<int>(width);
    const int h = static_cast<int>(
        std::clamp<double>(std::lround(width * aspect), 1.0, std::min(maxHeight, kMaxSide)));
    const double viewHeight = h / (1.0 + kNameBand);
    if (!prepareSurface(w, h)) return nullptr;

    if (std::isfinite(deviation) && std::fabs(deviation) <= 1.0f)
        mUnit->writeParameter(kTunerDeviation, deviation);
    try {
        mView->update();
    } catch (const std::exception&) {
        return nullptr;
    }
    NSView& view = mView->toolkitView();

    cairo_t* cairo = cairo_create(mSurface);
    cairo_set_source_rgb(cairo, 0.0, 0.0, 0.0);
    cairo_paint(cairo);
    const double scale = std::min(w / mView->width(), viewHeight / mView->height());
    cairo_save(cairo);
    cairo_translate(cairo, (w - mView->width() * scale) / 2.0,
                    (viewHeight - mView->height() * scale) / 2.0);
    cairo_scale(cairo, scale, scale);
    view.drawInCairo(cairo);
    cairo_restore(cairo);
    drawNoteName(cairo, note, w, viewHeight, h);
    if (dimmed(levelDbfs)) {
        cairo_set_source_rgba(cairo, 0.0, 0.0, 0.0, 0.6);
        cairo_paint(cairo);
    }
    cairo_destroy(cairo);
    cairo_surface_flush(mSurface);

    mImage.data = cairo_image_surface_get_data(mSurface);
    mImage.width = w;
    mImage.height = h;
    mImage.stride = cairo_image_surface_get_stride(mSurface);
    return &mImage;
}

void InlineNeedle::drawNoteName(cairo_t* cairo, float note, int width, double top, int bottom) {
    const std::optional<int> bin = noteBin(note);
    const std::string name = bin ? noteName(*bin) : "-";
    const double size = std::max(6.0, (bottom - top) * 0.8);
    cairo_select_font_face(cairo, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cairo, size);
    cairo_text_extents_t extents{};
    cairo_text_extents(cairo, name.c_str(), &extents);
    cairo_move_to(cairo, (width - extents.width) / 2.0 - extents.x_bearing,
                  (top + bottom) / 2.0 - extents.height / 2.0 - extents.y_bearing);
    cairo_set_source_rgba(cairo, 1.0, 1.0, 1.0, 0.9);
    cairo_show_text(cairo, name.c_str());
}

}  // namespace marvex::lv2
