#pragma once

#include <string>

#include "host/HostedUnit.h"

class NSView;
struct MarvexViewFactory;
struct MarvexCustomView;

namespace marvex {

// The unit's custom view, found as any host finds it: the view property names the factory's
// bundle and class, the factory module's entry hands out its table, and the view it builds for
// the unit instance shows what the unit publishes. [control] throughout.
class CustomView {
public:
    enum class Format { Png, Svg };

    // Throws HostError(Plugin) when the unit names no view or its factory cannot be used.
    static CustomView create(HostedUnit& unit);
    ~CustomView();
    CustomView(CustomView&& other) noexcept;
    CustomView& operator=(CustomView&&) = delete;
    CustomView(const CustomView&) = delete;

    // Brings the needle to the unit's current Deviation.
    void update();
    float deviation() const;
    double width() const;
    double height() const;
    // The toolkit view itself, for a host that draws it into its own window.
    NSView& toolkitView();
    // Draws the view and writes it; false when it could not be drawn or written.
    bool write(const std::string& path, Format format);

private:
    CustomView(const MarvexViewFactory* factory, MarvexCustomView* view)
        : mFactory(factory), mView(view) {}

    const MarvexViewFactory* mFactory;
    MarvexCustomView* mView;  // ours
};

}  // namespace marvex
