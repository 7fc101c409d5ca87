#include "host/IntonationPlot.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "host/HostError.h"
#include "host/NoteName.h"
#include "host/OutputFile.h"

namespace marvex {
namespace {

constexpr double kLeft = 56.0, kRight = 16.0, kTop = 40.0, kBottom = 34.0;
constexpr double kRangeCents = 50.0;

struct Frame {
    double seconds;  // length of the time axis
    double x(double t) const { return kLeft + t / seconds * (kPlotWidth - kLeft - kRight); }
    double y(double cents) const {
        const double c = std::clamp(cents, -kRangeCents, kRangeCents);
        return kTop + (kRangeCents - c) / (2.0 * kRangeCents) * (kPlotHeight - kTop - kBottom);
    }
};

void text(cairo_t* cr, double x, double y, const std::string& s, double size, bool centred) {
    cairo_set_font_size(cr, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, s.c_str(), &extents);
    cairo_move_to(cr, centred ? x - extents.width / 2.0 - extents.x_bearing : x, y);
    cairo_show_text(cr, s.c_str());
}

void drawAxes(cairo_t* cr, const Frame& frame) {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_line_width(cr, 1.0);
    for (int cents = -50; cents <= 50; cents += 25) {
        cairo_set_source_rgb(cr, cents == 0 ? 0.35 : 0.8, cents == 0 ? 0.35 : 0.8,
                             cents == 0 ? 0.35 : 0.8);
        cairo_move_to(cr, kLeft, std::round(frame.y(cents)) + 0.5);
        cairo_line_to(cr, kPlotWidth - kRight, std::round(frame.y(cents)) + 0.5);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.25, 0.25, 0.25);
        char label[16];
        std::snprintf(label, sizeof label, "%+d", cents);
        text(cr, 8.0, frame.y(cents) + 4.0, cents == 0 ? "0" : label, 12.0, false);
    }
    // A tick every 1, 2, 5, 10... seconds: about ten along the axis.
    double step = 1.0;
    for (const double candidate : {1.0, 2.0, 5.0, 10.0, 30.0, 60.0, 120.0, 300.0, 600.0})
        if (frame.seconds / candidate <= 12.0) {
            step = candidate;
            break;
        }
    if (frame.seconds / step > 12.0) step = std::ceil(frame.seconds / 12.0);
    for (double t = 0.0; t <= frame.seconds + 1e-9; t += step) {
        char label[24];
        std::snprintf(label, sizeof label, "%g s", t);
        text(cr, frame.x(t), kPlotHeight - 12.0, label, 12.0, true);
    }
}

void drawNotes(cairo_t* cr, const Frame& frame, std::span<const TuneBlock> blocks,
               std::span<const TuneSegment> segments, double rateHz, const Intonation* intonation) {
    std::size_t nextBlock = 0;
    int shade = 0;
    for (const TuneSegment& segment : segments) {
        if (segment.kind != TuneSegment::Kind::Note) continue;
        const double x0 = frame.x(static_cast<double>(segment.startFrame) / rateHz);
        const double x1 = frame.x(static_cast<double>(segment.endFrame) / rateHz);
        std::string name = noteName(segment.bin);
        double targetHz = segment.centralHz;
        double meanCents = segment.centsOff;
        if (intonation != nullptr) {
            const TemperedNote note =
                intonation->read(segment.meanFrequencyHz, segment.bin, segment.centralHz);
            name = note.name;
            targetHz = note.frequencyHz;
            meanCents = note.centsOff;
        }
        // The band, its in-tune zone and its name with the mean.
        const bool even = shade++ % 2 == 0;
        cairo_set_source_rgb(cr, even ? 0.86 : 0.82, even ? 0.91 : 0.88, even ? 0.98 : 0.96);
        cairo_rectangle(cr, x0, kTop, x1 - x0, kPlotHeight - kTop - kBottom);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0.74, 0.90, 0.74);
        cairo_rectangle(cr, x0, frame.y(5.0), x1 - x0, frame.y(-5.0) - frame.y(5.0));
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        char mean[16];
        std::snprintf(mean, sizeof mean, "%+.1f", meanCents);
        cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
        text(cr, (x0 + x1) / 2.0, kTop - 20.0, name, 14.0, true);
        cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        text(cr, (x0 + x1) / 2.0, kTop - 5.0, mean, 11.0, true);
        // The readings of the note's blocks.
        while (nextBlock < blocks.size() && blocks[nextBlock].frame < segment.startFrame)
            ++nextBlock;
        bool drawing = false;
        for (; nextBlock < blocks.size() && blocks[nextBlock].frame < segment.endFrame;
             ++nextBlock) {
            const TuneBlock& block = blocks[nextBlock];
            const bool reading = block.sounding && block.note == static_cast<float>(segment.bin) &&
                                 std::isfinite(block.frequencyHz) && block.frequencyHz > 0.0f &&
                                 targetHz > 0.0;
            if (!reading) continue;
            const double t = (static_cast<double>(block.frame) + block.frames / 2.0) / rateHz;
            const double cents = 1200.0 * std::log2(block.frequencyHz / targetHz);
            if (!drawing)
                cairo_move_to(cr, frame.x(t), frame.y(cents));
            else
                cairo_line_to(cr, frame.x(t), frame.y(cents));
            drawing = true;
        }
        cairo_set_source_rgb(cr, 0.05, 0.25, 0.65);
        cairo_set_line_width(cr, 2.0);
        cairo_stroke(cr);
    }
}

cairo_status_t writeTo(void* closure, const unsigned char* data, unsigned int length) {
    return std::fwrite(data, 1, length, static_cast<std::FILE*>(closure)) == length
               ? CAIRO_STATUS_SUCCESS
               : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

void writeIntonationPlot(const std::string& path, PlotFormat format,
                         std::span<const TuneBlock> blocks, std::span<const TuneSegment> segments,
                         double sampleRateHz, const Intonation* intonation) {
    OutputFile out(path);
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        format == PlotFormat::Svg
            ? cairo_svg_surface_create_for_stream(writeTo, out.stream(), kPlotWidth, kPlotHeight)
            : cairo_image_surface_create(CAIRO_FORMAT_RGB24, kPlotWidth, kPlotHeight),
        cairo_surface_destroy);
    cairo_t* cr = cairo_create(surface.get());
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);
    std::int64_t frames = 0;
    if (!blocks.empty()) frames = blocks.back().frame + blocks.back().frames;
    const Frame frame{std::max(static_cast<double>(frames) / sampleRateHz, 1e-3)};
    drawNotes(cr, frame, blocks, segments, sampleRateHz, intonation);
    drawAxes(cr, frame);
    const cairo_status_t drawn = cairo_status(cr);
    cairo_destroy(cr);
    cairo_status_t written = drawn;
    if (format == PlotFormat::Png && drawn == CAIRO_STATUS_SUCCESS)
        written = cairo_surface_write_to_png_stream(surface.get(), writeTo, out.stream());
    cairo_surface_finish(surface.get());
    if (written == CAIRO_STATUS_SUCCESS) written = cairo_surface_status(surface.get());
    if (written != CAIRO_STATUS_SUCCESS)
        throw HostError(HostErrorKind::Output,
                        "cannot draw '" + path + "': " + cairo_status_to_string(written));
    surface.reset();
    out.commit();
}

}  // namespace marvex
