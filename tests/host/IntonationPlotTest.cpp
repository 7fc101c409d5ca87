// The picture of intonation: written whole, the size it says, a band with the note's reading
// where the note sounds, nothing where it is silent.
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "host/HostError.h"
#include "host/IntonationPlot.h"
#include "tests/host/TempDir.h"

using namespace marvex;

namespace {

// Cairo and fontconfig keep the fonts the plot's text looked up for the process's life; let go
// of them at exit so that LeakSanitizer sees only what the plot kept.
class FontCaches : public ::testing::Environment {
public:
    void TearDown() override {
        cairo_debug_reset_static_data();
        FcFini();
    }
};
const auto* const kFontCaches = ::testing::AddGlobalTestEnvironment(new FontCaches);

// 0.5 s of silence, A4 10 cents sharp until 1.5 s, silence to 2 s; blocks of 441 frames.
std::vector<TuneBlock> performance() {
    std::vector<TuneBlock> blocks;
    const float sharpHz = static_cast<float>(440.0 * std::exp2(10.0 / 1200.0));
    for (int i = 0; i < 200; ++i)
        blocks.push_back({i * 441, 441, i >= 50 && i < 150, sharpHz, 440.0f, 48.0f});
    return blocks;
}

std::uint32_t pixel(cairo_surface_t* image, double x, double y) {
    const unsigned char* row = cairo_image_surface_get_data(image) +
                               static_cast<int>(y) * cairo_image_surface_get_stride(image);
    return reinterpret_cast<const std::uint32_t*>(row)[static_cast<int>(x)] & 0xFFFFFF;
}

}  // namespace

TEST(IntonationPlot, DrawsABandWithTheReadingWhereTheNoteSounds) {
    const test::TempDir dir;
    const std::vector<TuneBlock> blocks = performance();
    const auto segments = segmentTune(blocks, TuneSettings{}, 44100.0);
    ASSERT_EQ(segments.size(), 3u);
    const auto draw = [&](const std::string& path, PlotFormat format) {
        writeIntonationPlot(path, format, blocks, segments, 44100.0);
    };
    draw(dir / "plot.png", PlotFormat::Png);
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> image(
        cairo_image_surface_create_from_png((dir / "plot.png").c_str()), cairo_surface_destroy);
    ASSERT_EQ(cairo_surface_status(image.get()), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_image_surface_get_width(image.get()), kPlotWidth);
    // Time 0 to 2 s spans x 56 to 1184; cents +50 to -50 span y 40 to 366.
    const auto at = [&](double seconds, double cents) {
        return pixel(image.get(), 56.0 + seconds / 2.0 * 1128.0,
                     40.0 + (50.0 - cents) / 100.0 * 326.0);
    };
    const std::uint32_t white = 0xFFFFFF;
    EXPECT_EQ(at(0.25, 30.0), white);  // silence: blank
    EXPECT_NE(at(1.0, 30.0), white);   // the note's band
    // The reading: the line's blue at +10 cents, not at +20 or 0.
    EXPECT_LT(at(1.0, 10.0) & 0xFF0000, 0x400000u) << std::hex << at(1.0, 10.0);
    EXPECT_NE(at(1.0, 20.0), at(1.0, 10.0));

    EXPECT_THROW(draw(dir / "missing/p.png", PlotFormat::Png), HostError);
}
