// Writes what a mixer strip shows of the plug-in (its inline display) as a PNG, through the test
// host: the mono plug-in tunes a sine, then draws itself. For README's picture:
//   marvex-lv2-inline-png OUT.png [FREQUENCY_HZ [WIDTH [MAX_HEIGHT]]]
#include <cairo.h>

#include <cstdio>
#include <cstdlib>

#include "lv2/PortLayout.h"
#include "tests/lv2/Lv2TestHost.h"

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

    marvex::test::Lv2World world(MARVEX_LV2_BUNDLE);
    marvex::test::Lv2Instance tuner(world.plugin(marvex::lv2::kMonoUri), kRateHz);
    if (!tuner) {
        std::fprintf(stderr, "the plug-in did not instantiate: %s", tuner.log().c_str());
        return 1;
    }
    tuner.activate();
    tuner.process({marvex::test::sine(frequencyHz, kRateHz, 24000)}, 512);
    const LV2_Inline_Display_Image_Surface* image =
        tuner.inlineDisplay()->render(lilv_instance_get_handle(tuner.instance()), width, maxHeight);
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
