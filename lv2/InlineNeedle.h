#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "host/CustomView.h"
#include "host/HostedUnit.h"
#include "host/LevelGate.h"
#include "lv2/InlineDisplay.h"

namespace marvex::lv2 {

// The picture a host's mixer strip shows: the tuner's own needle view, scaled to the strip, at
// the deviation last published, with the note's name below; dimmed while the level says there is
// nothing to tune. The view is found as any host finds it (the unit's view property and its
// factory) on a unit of its own that never renders, which is given each reading to show.
// [control] throughout, on the host's GUI thread; everything is made on the first render.
class InlineNeedle {
public:
    // Quieter than the level at which the front ends' gate opens, the picture dims (as the UI's).
    static bool dimmed(float levelDbfs) { return !(levelDbfs >= LevelGateSettings{}.openDbfs); }

    explicit InlineNeedle(Component component) : mComponent(component) {}
    ~InlineNeedle();
    InlineNeedle(const InlineNeedle&) = delete;
    InlineNeedle& operator=(const InlineNeedle&) = delete;

    // The picture `width` pixels wide and at most `maxHeight` high, kept until the next render
    // or destruction; null when it cannot be drawn.
    LV2_Inline_Display_Image_Surface* render(std::uint32_t width, std::uint32_t maxHeight,
                                             float deviation, float note, float levelDbfs);

private:
    bool prepareView();
    bool prepareSurface(int width, int height);
    // The name centred in the band from `top` to `bottom`.
    void drawNoteName(cairo_t* cairo, float note, int width, double top, int bottom);

    Component mComponent;
    std::optional<HostedUnit> mUnit;
    std::optional<CustomView> mView;
    cairo_surface_t* mSurface = nullptr;
    LV2_Inline_Display_Image_Surface mImage{};
};

}  // namespace marvex::lv2
