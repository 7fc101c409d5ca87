// Tests of the host library's own pieces, without the plug-in: tune segmentation, atomic output
// and the picture of intonation.
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "host/HostError.h"
#include "host/IntonationPlot.h"
#include "host/OutputFile.h"
#include "host/TuneSegmenter.h"
#include "tests/host/TempDir.h"

using namespace marvex;
using marvex::test::TempDir;

namespace {

// Blocks of 441 frames at 44.1 kHz (10 ms each).
struct BlockScript {
    std::vector<TuneBlock> blocks;
    void add(int count, bool sounding, float note, float frequencyHz, float centralHz) {
        for (int i = 0; i < count; ++i) {
            const std::int64_t frame = blocks.empty() ? 0 : blocks.back().frame + 441;
            blocks.push_back({frame, 441, sounding, frequencyHz, centralHz, note});
        }
    }
    void silence(int count) { add(count, false, 48.0f, 440.0f, 440.0f); }
    void unclear(int count) { add(count, true, std::nanf(""), std::nanf(""), std::nanf("")); }
    void note(int count, int bin, float frequencyHz, float centralHz) {
        add(count, true, static_cast<float>(bin), frequencyHz, centralHz);
    }
};

std::vector<TuneSegment> segment(const BlockScript& script) {
    return segmentTune(script.blocks, TuneSettings{}, 44100.0);
}

}  // namespace

TEST(TuneSegmenter, CutsNotesAndSilencesWithMeansAndCents) {
    BlockScript script;
    script.silence(20);
    script.unclear(3);  // the attack, before the first estimate
    script.note(50, 48, 442.0f, 440.0f);
    script.note(50, 48, 444.0f, 440.0f);
    script.silence(30);

    const auto segments = segment(script);
    ASSERT_EQ(segments.size(), 3u);
    EXPECT_EQ(segments[1].bin, 48);
    EXPECT_EQ(segments[1].startFrame, 20 * 441);  // the attack belongs to the note
    EXPECT_EQ(segments[1].endFrame, 123 * 441);
    EXPECT_DOUBLE_EQ(segments[1].meanFrequencyHz, 443.0);
    EXPECT_NEAR(segments[1].centsOff, 1200.0 * std::log2(443.0 / 440.0), 1e-9);
    EXPECT_EQ(segments.back().endFrame, script.blocks.back().frame + 441);
    // Fed block by block, the opening silence is told at once, however short it is so far.
    TuneSegmenter streaming(TuneSettings{}, 44100.0);
    streaming.add(script.blocks[0]);
    EXPECT_EQ(streaming.takeEvents().size(), 1u);
}

// Each script against the kinds and bins of the segments it must make (bin -1 for the rest).
TEST(TuneSegmenter, OnlyStableSoundsMakeSegmentsAndOnlyInnerGapsMerge) {
    using Kind = TuneSegment::Kind;
    const struct {
        const char* what;
        void (*play)(BlockScript&);
        std::vector<std::pair<Kind, int>> segments;
    } rows[] = {
        {"a 50 ms gap and an 80 ms other pitch inside a note",
         [](BlockScript& s) {
             s.note(40, 24, 110.0f, 110.0f), s.silence(5), s.note(40, 24, 111.0f, 110.0f);
             s.note(8, 26, 123.0f, 123.47f), s.note(40, 24, 112.0f, 110.0f);
         },
         {{Kind::Note, 24}}},
        {"a leading silence shorter than a gap",
         [](BlockScript& s) { s.silence(5), s.note(40, 24, 110.0f, 110.0f); },
         {{Kind::Silence, -1}, {Kind::Note, 24}}},
        {"sound without a stable pitch",
         [](BlockScript& s) {
             s.silence(20), s.unclear(40), s.note(5, 30, 150.0f, 146.83f), s.silence(20);
         },
         {{Kind::Silence, -1}, {Kind::Unclear, -1}, {Kind::Silence, -1}}},
    };
    for (const auto& row : rows) {
        BlockScript script;
        row.play(script);
        std::vector<std::pair<Kind, int>> made;
        for (const TuneSegment& s : segment(script))
            made.emplace_back(s.kind, s.kind == Kind::Note ? s.bin : -1);
        EXPECT_EQ(made, row.segments) << row.what;
    }
}

TEST(OutputFile, AppearsOnlyWhenCommitted) {
    TempDir dir;
    const std::string target = dir / "out.txt";
    std::ofstream(target) << "old";
    for (const bool committed : {false, true}) {
        {
            OutputFile out(target);
            std::fputs("new", out.stream());
            if (committed) out.commit();  // else as if the command failed half-way
        }
        EXPECT_EQ(test::slurp(target), committed ? "new" : "old");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    }
}

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

std::uint32_t pixel(cairo_surface_t* image, double x, double y) {
    const unsigned char* row = cairo_image_surface_get_data(image) +
                               static_cast<int>(y) * cairo_image_surface_get_stride(image);
    return reinterpret_cast<const std::uint32_t*>(row)[static_cast<int>(x)] & 0xFFFFFF;
}

}  // namespace

// Written whole, the size it says: a band with the note's reading where the note sounds, nothing
// where it is silent.
TEST(IntonationPlot, DrawsABandWithTheReadingWhereTheNoteSounds) {
    const TempDir dir;
    // 0.5 s of silence, A4 10 cents sharp until 1.5 s, silence to 2 s.
    BlockScript script;
    script.silence(50);
    script.note(100, 48, static_cast<float>(440.0 * std::exp2(10.0 / 1200.0)), 440.0f);
    script.silence(50);
    const auto segments = segment(script);
    ASSERT_EQ(segments.size(), 3u);
    writeIntonationPlot(dir / "plot.png", PlotFormat::Png, script.blocks, segments, 44100.0);
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

    EXPECT_THROW(writeIntonationPlot(dir / "missing/p.png", PlotFormat::Png, script.blocks,
                                     segments, 44100.0),
                 HostError);
}
