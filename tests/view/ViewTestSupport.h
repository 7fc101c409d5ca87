#pragma once

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "view/DrawingContext.h"
#include "view/NSView.h"

namespace marvex::test {

// Writes a width x height PNG painted by `paint` in view coordinates (y up), transparent
// elsewhere.
inline void writePng(const std::filesystem::path& file, int width, int height,
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

inline std::vector<StrokeRecord> strokesOf(const NSView& view) {
    std::vector<StrokeRecord> strokes;
    for (const auto& operation : view.lastDrawing())
        if (const auto* stroke = std::get_if<StrokeRecord>(&operation)) strokes.push_back(*stroke);
    return strokes;
}

inline StrokeRecord line(NSPoint from, NSPoint to, CGFloat width, NSColor color) {
    return {{{PathElement::Kind::Move, from}, {PathElement::Kind::Line, to}}, width, color};
}

}  // namespace marvex::test
