#include "host/window/TunerWindow.h"

#include <algorithm>
#include <cmath>

#include "host/BlockRecord.h"

namespace marvex {
namespace {

ParameterDescription describe(HostedUnit& unit, AudioUnitParameterID id) {
    for (const ParameterDescription& parameter : unit.parameterTable())
        if (parameter.id == id) return parameter;
    throw HostError(HostErrorKind::Plugin,
                    "the tuner does not describe its parameter " + std::to_string(id));
}

bool within(const ParameterDescription& range, float value) {
    return value >= range.minValue && value <= range.maxValue;  // NaN fails
}

}  // namespace

TunerWindow::TunerWindow(const std::string& bundleDirectory, XWindowId parent,
                         double framesPerSecond, Callbacks callbacks)
    : mUnit(HostedUnit::openFromBundle(bundleDirectory)),
      mView(CustomView::create(mUnit)),
      mPitchRange(describe(mUnit, kTunerPitch)),
      mPrecisionRange(describe(mUnit, kTunerPrecision)),
      mPanel(mView.toolkitView()),
      mCallbacks(std::move(callbacks)),
      mWindow(
          nullptr, parent, int(TunerPanel::kWidth), int(TunerPanel::kHeight), "Marvex",
          framesPerSecond,
          X11WindowEvents{
              [this](cairo_t* cairo, int width, int height) { mPanel.draw(cairo, width, height); },
              [this](int x, int y, unsigned button) {
                  if (button != 1) return;
                  if (auto control = mPanel.controlAt(x, y, mWindow.width(), mWindow.height()))
                      act(*control);
              },
              [this](const std::string& key) {
                  if (key == "+" || key == "=") act(PanelControl::PitchUp);
                  if (key == "-") act(PanelControl::PitchDown);
                  if (key == "p") act(PanelControl::PrecisionUp);
                  if (key == "q" && mCallbacks.quit) mCallbacks.quit();
              },
              [this] {
                  if (mCallbacks.quit) mCallbacks.quit();
              }}) {
    mPanel.setSettings({mPitchRange.defaultValue, int(mPrecisionRange.defaultValue)});
}

void TunerWindow::show(float deviation, PanelReading reading) {
    // The view reads what the unit publishes: publish the rendering unit's Deviation here.
    mUnit.setParameter(kTunerDeviation, deviation);
    mView.update();
    mPanel.setReading(std::move(reading));
    mWindow.requestRedraw();
}

void TunerWindow::showPitch(float pitchHz) {
    if (!within(mPitchRange, pitchHz)) return;
    mPanel.setSettings({pitchHz, mPanel.settings().precision});
    mWindow.requestRedraw();
}

void TunerWindow::showPrecision(float precision) {
    if (!within(mPrecisionRange, precision) || precision != std::floor(precision)) return;
    mPanel.setSettings({mPanel.settings().pitchHz, int(precision)});
    mWindow.requestRedraw();
}

void TunerWindow::act(PanelControl control) {
    const PanelSettings now = mPanel.settings();
    switch (control) {
        case PanelControl::PitchDown:
        case PanelControl::PitchUp: {
            const double step = control == PanelControl::PitchUp ? 1.0 : -1.0;
            const auto pitch =
                float(std::clamp(std::round(now.pitchHz) + step, double(mPitchRange.minValue),
                                 double(mPitchRange.maxValue)));
            if (pitch == now.pitchHz) return;
            showPitch(pitch);
            if (mCallbacks.pitchChanged) mCallbacks.pitchChanged(pitch);
            return;
        }
        case PanelControl::PrecisionDown:
        case PanelControl::PrecisionUp: {
            const int lowest = int(mPrecisionRange.minValue);
            const int highest = int(mPrecisionRange.maxValue);
            // Stepping up past the largest ring starts again at the smallest (the `p` key).
            int precision = now.precision + (control == PanelControl::PrecisionUp ? 1 : -1);
            if (precision > highest) precision = lowest;
            if (precision < lowest) precision = highest;
            if (precision == now.precision) return;
            showPrecision(float(precision));
            if (mCallbacks.precisionChanged) mCallbacks.precisionChanged(float(precision));
            return;
        }
    }
}

}  // namespace marvex
