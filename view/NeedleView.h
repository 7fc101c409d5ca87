#pragma once

#include <cstdint>
#include <optional>

#include "view/NSBundle.h"
#include "view/NSImage.h"
#include "view/NSView.h"

// The tuner's needle: a white needle with a black shadow swinging left or right of vertical by
// the tuning deviation (-1 at the lower edge of the note's band, 0 at its centre, 1 at the
// upper edge), under the "glass" overlay image. The pivot sits on the bottom edge at x = 106;
// the view is meant to be 212 points wide. [control] throughout.
class NeedleView : public NSView {
public:
    static NeedleView* alloc() { return new NeedleView; }
    // Initialises the view with the glass of the bundle holding this class's code. Nil when
    // the frame is refused (see NSView::initWithFrame).
    NeedleView* initWithFrame(NSRect frame);
    // Same, with the glass taken from `glassBundle` instead; nil draws without a glass. A view
    // factory living in another module than this class passes its own bundle here.
    NeedleView* initWithFrame(NSRect frame, const std::optional<NSBundle>& glassBundle);

    void drawRect(NSRect dirtyRect) override;
    // How far the needle's tip drops below its top position at horizontal offset x; even in x.
    std::int32_t dy(std::int32_t x) const;
    // Shows `deviation` if -1 <= deviation <= 1 and requests one redraw; ignores anything else
    // (NaN included) without clamping.
    void setDeviation(float deviation);

    float deviation() const { return mDeviation; }
    // The overlay, nil when its resource was missing or unreadable. Not retained for the caller.
    NSImage* glass() const { return mGlass; }

    static const NSClass& viewClass();
    const NSClass& objectClass() const override { return viewClass(); }

protected:
    void dealloc() override;

private:
    NeedleView() = default;

    float mDeviation = 0;
    NSImage* mGlass = nullptr;  // owned
};
