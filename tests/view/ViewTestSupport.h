#pragma once

#include <cairo.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "view/DrawingContext.h"
#include "view/NSView.h"

namespace marvex::test {

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "marvex-view-XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        mPath = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(mPath, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return mPath; }

private:
    std::filesystem::path mPath;
};

// Writes a width x height PNG painted by `paint` in view coordinates (y up) on a transparent
// surface. Returns false on failure.
inline bool writePng(const std::filesystem::path& file, int width, int height,
                     const std::function<void(cairo_t*)>& paint) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_translate(cr, 0, height);
    cairo_scale(cr, 1, -1);
    paint(cr);
    cairo_destroy(cr);
    const bool ok = cairo_surface_write_to_png(surface, file.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok;
}

// Alpha (0..255) of an image surface's pixel whose lower-left corner is (x, y), y up.
inline int alphaAt(cairo_surface_t* image, int x, int y) {
    const int height = cairo_image_surface_get_height(image);
    if (x < 0 || y < 0 || x >= cairo_image_surface_get_width(image) || y >= height) return 0;
    const unsigned char* row = cairo_image_surface_get_data(image) +
                               static_cast<std::size_t>(height - 1 - y) *
                                   static_cast<std::size_t>(cairo_image_surface_get_stride(image));
    std::uint32_t argb;
    std::memcpy(&argb, row + static_cast<std::size_t>(x) * 4, sizeof argb);
    return static_cast<int>(argb >> 24);
}

inline std::vector<StrokeRecord> strokesOf(const NSView& view) {
    std::vector<StrokeRecord> strokes;
    for (const auto& operation : view.lastDrawing()) {
        if (const auto* stroke = std::get_if<StrokeRecord>(&operation)) strokes.push_back(*stroke);
    }
    return strokes;
}

inline StrokeRecord line(NSPoint from, NSPoint to, CGFloat width, NSColor color) {
    return StrokeRecord{
        {{PathElement::Kind::Move, from}, {PathElement::Kind::Line, to}}, width, color};
}

}  // namespace marvex::test

namespace marvex {

// Readable failure messages for stroke records.
inline void PrintTo(const StrokeRecord& stroke, std::ostream* out) {
    *out << "stroke width " << stroke.lineWidth << " rgba(" << stroke.color.redComponent() << ","
         << stroke.color.greenComponent() << "," << stroke.color.blueComponent() << ","
         << stroke.color.alphaComponent() << ")";
    for (const auto& element : stroke.elements) {
        *out << (element.kind == PathElement::Kind::Move ? " M" : " L") << " (" << element.point.x
             << ", " << element.point.y << ")";
    }
}

}  // namespace marvex
