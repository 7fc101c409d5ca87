#pragma once

#include <functional>
#include <string>

#include "host/CustomView.h"
#include "host/HostedUnit.h"
#include "view/window/TunerPanel.h"
#include "view/window/X11Window.h"

namespace marvex {

// The tuner's own view in a window of its own or embedded in a host's: the needle is the custom
// view the unit names, built by its factory for a unit instance of this window's own (never the
// one that renders; the window writes the published Deviation into it), with the panel around
// it. Keys: `+`/`-` move the reference pitch by 1 Hz, `p` steps Precision, `q` quits; the
// panel's buttons do the same. [control] throughout, from one thread.
class TunerWindow {
public:
    struct Callbacks {
        std::function<void(float pitchHz)> pitchChanged;
        std::function<void(float precision)> precisionChanged;
        std::function<void()> quit;  // `q` or the close box; empty: `q` does nothing
    };

    // Throws HostError when the bundle or its view cannot be used, std::runtime_error when the
    // window cannot be opened. `parent` 0 makes a top-level window.
    TunerWindow(const std::string& bundleDirectory, XWindowId parent, double framesPerSecond,
                Callbacks callbacks);

    // Shows a new reading at the next frame: the unit's Deviation on the needle (values outside
    // -1..1 leave it where it is), the rest beside it.
    void show(float deviation, PanelReading reading);
    // Shows settings changed elsewhere (the host, a state file); values outside the unit's
    // ranges are ignored.
    void showPitch(float pitchHz);
    void showPrecision(float precision);

    void processEvents() { mWindow.processEvents(); }
    X11Window& window() { return mWindow; }
    const TunerPanel& panel() const { return mPanel; }

private:
    void act(PanelControl control);

    HostedUnit mUnit;
    CustomView mView;
    ParameterDescription mPitchRange;
    ParameterDescription mPrecisionRange;
    TunerPanel mPanel;
    Callbacks mCallbacks;
    X11Window mWindow;
};

}  // namespace marvex
