// Writes what a mixer strip shows of the plug-in (its inline display) as a PNG: the mono plug-in
// tunes a sine at the unit's default settings, then draws itself. For README's picture:
//   marvex-lv2-inline-png OUT.png [FREQUENCY_HZ [WIDTH [MAX_HEIGHT]]]
#include <cairo.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "lv2/TunerPlugin.h"

using namespace marvex;
using namespace marvex::lv2;

int main(int argc, char** argv) {
    if (argc < 2 || argc > 5) {
        std::fprintf(stderr,
                     "usage: marvex-lv2-inline-png OUT.png [FREQUENCY_HZ [WIDTH [MAX_HEIGHT]]]\n");
        return 2;
    }
    const double frequencyHz = argc > 2 ? std::atof(argv[2]) : 443.0;
    const auto width = static_cast<std::uint32_t>(argc > 3 ? std::atoi(argv[3]) : 200);
    const auto maxHeight = static_cast<std::uint32_t>(argc > 4 ? std::atoi(argv[4]) : 200);
    constexpr double kRateHz = 48000.0;
    constexpr std::uint32_t kBlock = 512;
    const std::string unitBundle = MARVEX_LV2_BUNDLE "/Marvex.bundle";

    // No host features: the plug-in needs none to tune and draw.
    const LV2_Feature* const features[] = {nullptr};
    auto tuner = TunerPlugin::create(kPluginKinds[0], kRateHz, unitBundle, features);
    if (!tuner) return 1;  // the reason is already on standard error
    std::array<float, kFirstAudioPort> controls{};
    HostedUnit unit = HostedUnit::openFromBundle(unitBundle);
    for (const ParameterDescription& p : unit.parameterTable())
        for (const ControlPort& port : kControlPorts)
            if (port.parameter == p.id) controls[port.index] = p.defaultValue;
    for (std::uint32_t port = 0; port < kFirstAudioPort; ++port)
        tuner->connectPort(port, &controls[port]);
    std::vector<float> block(kBlock);
    tuner->connectPort(kPluginKinds[0].audioIn(0), block.data());
    tuner->connectPort(kPluginKinds[0].audioOut(0), block.data());
    tuner->activate();
    for (std::uint32_t at = 0; at < kRateHz / 2; at += kBlock) {
        for (std::uint32_t i = 0; i < kBlock; ++i)
            block[i] =
                static_cast<float>(0.5 * std::sin(2.0 * M_PI * frequencyHz * (at + i) / kRateHz));
        tuner->run(kBlock);
    }
    const LV2_Inline_Display_Image_Surface* image = tuner->renderInline(width, maxHeight);
    if (image == nullptr) {
        std::fprintf(stderr, "the plug-in drew nothing at %u x %u\n", width, maxHeight);
        return 1;
    }
    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        image->data, CAIRO_FORMAT_ARGB32, image->width, image->height, image->stride);
    const cairo_status_t status = cairo_surface_write_to_png(surface, argv[1]);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "cannot write %s: %s\n", argv[1], cairo_status_to_string(status));
        return 1;
    }
    return 0;
}
