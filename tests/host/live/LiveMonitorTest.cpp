// How `marvex live` names what it hears: on the tuner's grid, or as the nearest degree of the
// scale chosen with --temperament or --scala.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/live/LiveMonitor.h"

namespace marvex::test {
namespace {

TEST(LiveMonitor, NamesNotesOnTheGridOrOnTheScaleChosen) {
    // C4's pure major third, 13.69 cents below the tuner's E4 at A4 = 440.
    const double justE4 = 440.0 * std::exp2(-9.0 / 12.0) * 1.25;
    const struct {
        std::optional<Intonation> intonation;
        double cents;  // shown and told, from the grid's E4 or from the scale's
    } rows[] = {{std::nullopt, -13.69}, {Intonation{*Temperament::named("just"), 0}, 0.0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.intonation ? "just" : "grid");
        LiveMonitor monitor(1, TuneSettings{}, 440.0f, 2, row.intonation);
        LiveReading reading;
        reading.frames = 4800;
        reading.sampleRateHz = 48000.0;
        reading.rendered = reading.sounding = true;
        reading.values[kTunerFrequency] = static_cast<float>(justE4);
        reading.values[kTunerCentralFrequency] = 329.6276f;
        reading.values[kTunerNote] = 43.0f;
        for (int i = 0; i < 10; ++i) monitor.take(reading);  // a second of it
        const LiveChannelView& view = monitor.channels().front();
        EXPECT_EQ(view.note, "E4");
        EXPECT_NEAR(view.centsOff, row.cents, 0.01);
        monitor.finish();
        const std::vector<LiveNews> news = monitor.takeNews();
        const auto note = std::find_if(news.begin(), news.end(), [](const LiveNews& n) {
            return n.event.segment.kind == TuneSegment::Kind::Note;
        });
        ASSERT_NE(note, news.end());
        EXPECT_NEAR(note->event.segment.centsOff, -13.69, 0.01);
        ASSERT_EQ(note->degree.has_value(), row.intonation.has_value());
        if (note->degree) {
            EXPECT_EQ(note->degree->name, "E4");
            EXPECT_NEAR(note->degree->centsOff, row.cents, 0.01);
        }
    }
}

}  // namespace
}  // namespace marvex::test
