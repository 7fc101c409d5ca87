#pragma once

#include <cairo.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "view/DrawingContext.h"
#include "view/NSView.h"

namespace marvex::test {

// A fresh directory under the system's temporary directory, removed with its contents.
struct TempDir {
    TempDir() {
        std::string pattern = std::filesystem::temp_directory_path() / "marvex-view-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        dir = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return dir; }
    std::filesystem::path dir;
};

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

// Alpha (0..255) of an image surface's pixel whose lower-left corner is (x, y), y up.
inline int alphaAt(cairo_surface_t* image, int x, int y) {
    const int height = cairo_image_surface_get_height(image);
    if (x < 0 || y < 0 || x >= cairo_image_surface_get_width(image) || y >= height) return 0;
    std::uint32_t argb;
    std::memcpy(
        &argb,
        cairo_image_surface_get_data(image) +
            std::size_t(height - 1 - y) * std::size_t(cairo_image_surface_get_stride(image)) +
            std::size_t(x) * 4,
        sizeof argb);
    return int(argb >> 24);
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
