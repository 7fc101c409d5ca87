#include "view/window/TunerPanel.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace marvex {
namespace {

// Layout, in the panel's own pixels (y down).
constexpr double kMargin = 10;
constexpr double kTextLeft = 236;
constexpr double kControlsTop = 120;
constexpr double kButtonSide = 22;

struct Button {
    PanelControl control;
    double x;
    const char* label;
};
constexpr std::array<Button, 4> kButtons = {{
    {PanelControl::PitchDown, 150, "-"},
    {PanelControl::PitchUp, 178, "+"},
    {PanelControl::PrecisionDown, 380, "-"},
    {PanelControl::PrecisionUp, 408, "+"},
}};

// Uniform scale and offset that fit the layout into the target, centred.
struct Placement {
    double scale;
    double x;
    double y;
};
Placement placementIn(double width, double height) {
    const double scale =
        std::max(0.0, std::min(width / TunerPanel::kWidth, height / TunerPanel::kHeight));
    return {scale, (width - TunerPanel::kWidth * scale) / 2,
            (height - TunerPanel::kHeight * scale) / 2};
}

void setGrey(cairo_t* cairo, double level, double alpha = 1.0) {
    cairo_set_source_rgba(cairo, level, level, level, alpha);
}

void showText(cairo_t* cairo, double x, double baseline, double size, bool bold,
              const std::string& text) {
    cairo_select_font_face(cairo, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cairo, size);
    cairo_move_to(cairo, x, baseline);
    cairo_show_text(cairo, text.c_str());
}

}  // namespace

NSRect TunerPanel::needleRect(NSSize needleSize, double width, double height) {
    const Placement at = placementIn(width, height);
    return NSMakeRect(at.x + kMargin * at.scale, at.y + kMargin * at.scale,
                      needleSize.width * at.scale, needleSize.height * at.scale);
}

void TunerPanel::draw(cairo_t* cairo, double width, double height) {
    cairo_save(cairo);
    cairo_set_source_rgb(cairo, 0x18 / 255.0, 0x1b / 255.0, 0x20 / 255.0);
    cairo_paint(cairo);
    const Placement at = placementIn(width, height);
    cairo_translate(cairo, at.x, at.y);
    cairo_scale(cairo, at.scale, at.scale);

    // The needle view draws itself at its own size; clip it there, since it paints its face.
    const NSSize needleSize = mNeedle.frame().size;
    cairo_save(cairo);
    cairo_translate(cairo, kMargin, kMargin);
    cairo_rectangle(cairo, 0, 0, needleSize.width, needleSize.height);
    cairo_clip(cairo);
    mNeedle.drawInCairo(cairo);
    if (mReading.silent) {
        // Nothing to tune: the needle stays where it was but steps back.
        cairo_set_source_rgba(cairo, 0x18 / 255.0, 0x1b / 255.0, 0x20 / 255.0, 0.65);
        cairo_paint(cairo);
    }
    cairo_restore(cairo);

    drawReadout(cairo);
    drawControls(cairo);
    cairo_restore(cairo);
}

void TunerPanel::drawReadout(cairo_t* cairo) const {
    if (mReading.silent || mReading.note.empty()) {
        setGrey(cairo, 0.55);
        showText(cairo, kTextLeft, 62, 22, false, mReading.silent ? "listening" : "no note");
        return;
    }
    setGrey(cairo, 0.95);
    showText(cairo, kTextLeft, 56, 40, true, mReading.note);
    char text[48];
    if (std::isfinite(mReading.centsOff)) {
        // Green within 3 cents, where a string counts as in tune; amber beyond.
        if (std::fabs(mReading.centsOff) <= 3.0) {
            cairo_set_source_rgb(cairo, 0.35, 0.85, 0.45);
        } else {
            cairo_set_source_rgb(cairo, 0.95, 0.7, 0.25);
        }
        std::snprintf(text, sizeof text, "%+.1f cents", mReading.centsOff);
        showText(cairo, kTextLeft, 84, 18, false, text);
    }
    if (std::isfinite(mReading.frequencyHz)) {
        setGrey(cairo, 0.75);
        std::snprintf(text, sizeof text, "%.2f Hz", mReading.frequencyHz);
        showText(cairo, kTextLeft, 106, 16, false, text);
    }
}

void TunerPanel::drawControls(cairo_t* cairo) const {
    char text[48];
    setGrey(cairo, 0.8);
    std::snprintf(text, sizeof text, "A4 = %.0f Hz", mSettings.pitchHz);
    showText(cairo, kMargin, kControlsTop + 16, 15, false, text);
    std::snprintf(text, sizeof text, "precision %d", mSettings.precision);
    showText(cairo, kTextLeft, kControlsTop + 16, 15, false, text);
    for (const Button& button : kButtons) {
        cairo_rectangle(cairo, button.x + 0.5, kControlsTop + 0.5, kButtonSide - 1,
                        kButtonSide - 1);
        setGrey(cairo, 0.3);
        cairo_fill_preserve(cairo);
        setGrey(cairo, 0.6);
        cairo_set_line_width(cairo, 1);
        cairo_stroke(cairo);
        setGrey(cairo, 0.95);
        showText(cairo, button.x + 6, kControlsTop + 16, 16, true, button.label);
    }
}

std::optional<PanelControl> TunerPanel::controlAt(double x, double y, double width, double height) {
    const Placement at = placementIn(width, height);
    if (at.scale <= 0) return std::nullopt;
    const double px = (x - at.x) / at.scale;
    const double py = (y - at.y) / at.scale;
    if (py < kControlsTop || py >= kControlsTop + kButtonSide) return std::nullopt;
    for (const Button& button : kButtons) {
        if (px >= button.x && px < button.x + kButtonSide) return button.control;
    }
    return std::nullopt;
}

}  // namespace marvex
