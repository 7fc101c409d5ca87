#include "view/DrawingContext.h"

#include <cmath>
#include <utility>

namespace marvex {

namespace {

thread_local DrawingContext* tCurrent = nullptr;

bool allFinite(const std::vector<PathElement>& elements) {
    for (const auto& element : elements) {
        if (!std::isfinite(element.point.x) || !std::isfinite(element.point.y)) return false;
    }
    return true;
}

}  // namespace

DrawingContext::DrawingContext(cairo_t* cairo, CGFloat height)
    : mCairo(cairo), mPrevious(std::exchange(tCurrent, this)) {
    cairo_save(mCairo);
    cairo_translate(mCairo, 0, height);
    cairo_scale(mCairo, 1, -1);
}

DrawingContext::~DrawingContext() {
    cairo_restore(mCairo);
    tCurrent = mPrevious;
}

DrawingContext* DrawingContext::current() {
    return tCurrent;
}

void DrawingContext::stroke(const StrokeRecord& record) {
    mOperations.push_back(record);
    // Cairo puts the whole context into an error state on non-finite input; skip instead.
    if (!allFinite(record.elements) || !std::isfinite(record.lineWidth)) return;
    cairo_new_path(mCairo);
    for (const auto& element : record.elements) {
        if (element.kind == PathElement::Kind::Move) {
            cairo_move_to(mCairo, element.point.x, element.point.y);
        } else {
            cairo_line_to(mCairo, element.point.x, element.point.y);
        }
    }
    cairo_set_line_width(mCairo, record.lineWidth);
    cairo_set_line_cap(mCairo, CAIRO_LINE_CAP_BUTT);
    cairo_set_source_rgba(mCairo, record.color.redComponent(), record.color.greenComponent(),
                          record.color.blueComponent(), record.color.alphaComponent());
    cairo_stroke(mCairo);
}

void DrawingContext::composite(cairo_surface_t* image, const CompositeRecord& record) {
    mOperations.push_back(record);
    if (!std::isfinite(record.point.x) || !std::isfinite(record.point.y)) return;
    cairo_save(mCairo);
    // Images are stored top row first: put their top edge at the top and flip them back upright.
    cairo_translate(mCairo, record.point.x, record.point.y + record.imageSize.height);
    cairo_scale(mCairo, 1, -1);
    cairo_set_source_surface(mCairo, image, 0, 0);
    cairo_paint_with_alpha(mCairo, record.fraction);
    cairo_restore(mCairo);
}

std::vector<DrawingOperation> DrawingContext::takeOperations() {
    return std::exchange(mOperations, {});
}

}  // namespace marvex
