// How `marvex live` names what it hears on the scale chosen with --temperament or --scala: shown
// and told as the nearest degree, the note told on the tuner's grid as well.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/live/LiveMonitor.h"

namespace marvex::test {
namespace {

TEST(LiveMonitor, NamesNotesOnTheScaleChosen) {
    LiveMonitor monitor(1, TuneSettings{}, 440.0f, 2, Intonation{*Temperament::named("just"), 0});
    // C4's pure major third, 13.69 cents below the tuner's E4 at A4 = 440, for a second.
    LiveReading reading{
        .frames = 4800, .sampleRateHz = 48000.0, .rendered = true, .sounding = true};
    reading.values[kTunerFrequency] = static_cast<float>(440.0 * std::exp2(-9.0 / 12.0) * 1.25);
    reading.values[kTunerCentralFrequency] = 329.6276f;
    reading.values[kTunerNote] = 43.0f;
    for (int i = 0; i < 10; ++i) monitor.take(reading);
    const LiveChannelView& view = monitor.channels().front();
    EXPECT_EQ(view.note, "E4");
    EXPECT_NEAR(view.centsOff, 0.0, 0.01);
    monitor.finish();
    const std::vector<LiveNews> news = monitor.takeNews();
    const auto note = std::find_if(news.begin(), news.end(), [](const LiveNews& n) {
        return n.event.segment.kind == TuneSegment::Kind::Note;
    });
    ASSERT_NE(note, news.end());
    EXPECT_NEAR(note->event.segment.centsOff, -13.69, 0.01);
    ASSERT_TRUE(note->degree.has_value());
    EXPECT_EQ(note->degree->name, "E4");
    EXPECT_NEAR(note->degree->centsOff, 0.0, 0.01);
}

}  // namespace
}  // namespace marvex::test
