#pragma once

#include <cairo.h>

#include <cmath>
#include <optional>
#include <string>

#include "view/NSGeometry.h"
#include "view/NSView.h"

namespace marvex {

// What the panel shows beside the needle.
struct PanelReading {
    std::string note;          // "A4"; empty when no note is found
    double centsOff = NAN;     // from the note's centre
    double frequencyHz = NAN;  // heard
    bool silent = true;        // nothing to tune: dimmed, "listening"
};

// The settings the panel offers, and the controls that change them.
struct PanelSettings {
    double pitchHz = 440.0;
    int precision = 0;
};
enum class PanelControl { PitchDown, PitchUp, PrecisionDown, PrecisionUp };

// The tuner's face in a window: the needle view (the tuner's own, borrowed) with the note name,
// cents and frequency beside it and the reference pitch and Precision below with buttons to
// step them. The layout keeps its proportions and scales to fit any window, centred, so it
// never draws outside it. [control]
class TunerPanel {
public:
    // The layout's own size in pixels; the needle view is drawn at its frame size within it.
    static constexpr double kWidth = 440;
    static constexpr double kHeight = 150;

    explicit TunerPanel(NSView& needle) : mNeedle(needle) {}

    void setReading(PanelReading reading) { mReading = std::move(reading); }
    void setSettings(PanelSettings settings) { mSettings = settings; }
    const PanelReading& reading() const { return mReading; }
    const PanelSettings& settings() const { return mSettings; }

    // Draws the whole panel into a width x height target (y down).
    void draw(cairo_t* cairo, double width, double height);
    // The control under (x, y) of a width x height target, if any.
    static std::optional<PanelControl> controlAt(double x, double y, double width, double height);
    // Where a needle view of `needleSize` lands in a width x height target (x, y of its
    // top-left corner, y down, and its drawn size).
    static NSRect needleRect(NSSize needleSize, double width, double height);

private:
    void drawReadout(cairo_t* cairo) const;
    void drawControls(cairo_t* cairo) const;

    NSView& mNeedle;
    PanelReading mReading;
    PanelSettings mSettings;
};

}  // namespace marvex
