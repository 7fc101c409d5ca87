// `marvex live` against a private JACK server: the events it tells on each input, its failures
// and its terminal display; and its process callback handing over a new reference pitch.

#include <gtest/gtest.h>

#include <regex>

#include "host/HostedUnit.h"
#include "host/live/LiveEngine.h"
#include "tests/host/live/JackFixture.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/LockCounter.h"

namespace marvex::test {
namespace {

using namespace std::chrono_literals;

class Live : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.ready()) << "jackd did not start"; }
    JackServer server;
};

// Two inputs tell their news independently, each in its own order: on the first a note turns
// into another (E4 10 cents sharp) without a gap, on the second one note sounds throughout.
TEST_F(Live, TellsStableNotesAndSilencesInOrderOnEachInput) {
    const double d4 = 293.6648, e4Plus10 = 329.6276 * std::exp2(10.0 / 1200.0);
    TonePlayer player(tones(48000.0, {{440.0, e4Plus10}, {d4, d4}}, 1.0));
    ASSERT_TRUE(player.ready());
    LiveRun live({"--format", "jsonl", "--channels", "2", "--connect", TonePlayer::port(0),
                  "--connect", TonePlayer::port(1)});
    // Until both inputs fell silent again (audio time, whatever the load does to the wall clock).
    const std::regex silence("\"silence\"");
    live.readUntil(
        [&](const std::string& text) {
            return std::distance(std::sregex_iterator(text.begin(), text.end(), silence), {}) >= 4;
        },
        20s);
    live.signal(SIGTERM);
    ASSERT_EQ(live.wait(10s), 128 + SIGTERM) << live.errors();
    // Per input: each event with its note, and the cents at each note's end, to the nearest cent
    // (a clean sine is heard within a few tenths).
    const char* expected[] = {"note A4, note_end A4 +0, note E4, note_end E4 +10, silence",
                              "note D4, note_end D4 +0, silence"};
    for (int channel = 1; channel <= 2; ++channel) {
        std::string told;
        for (const json& event : jsonLines(live.text())) {
            // The ready line (no channel) and the silence every input starts with are left out.
            if (event.value("channel", 0) != channel ||
                (event["event"] == "silence" && event["time"] == 0))
                continue;
            told += (told.empty() ? "" : ", ") + event["event"].get<std::string>();
            if (event["event"] == "silence") continue;
            told += " " + event["note_name"].get<std::string>();
            if (event["event"] == "note") continue;
            const long cents = std::lround(event["cents"].get<double>());
            told += (cents < 0 ? " " : " +") + std::to_string(cents);
            EXPECT_GT(event["time"].get<double>(), event["start"].get<double>()) << event;
        }
        EXPECT_EQ(told, expected[channel - 1]) << live.text();
    }
}

// The process callback period after period, a new reference pitch handed over half-way: it
// allocates nothing and takes no lock, every period gives one reading, in order, and from one
// period on the readings come from the new unit and never from the old.
TEST(LiveEngine, HandsOverANewReferenceWithoutAllocationLockOrGap) {
    TunerSetup setup;
    LiveEngine engine(loadPluginComponent(MARVEX_BUNDLE), setup, 1, ConditioningSettings{});
    const std::vector<float> tone = tones(48000.0, {{440.0}}, 2.0)[0];
    std::vector<LiveReading> readings;
    std::size_t allocations = 0, locks = 0;
    for (std::size_t i = 0; i < 200; ++i) {
        const float* inputs[] = {tone.data() + i * 256};
        if (i == 100) {
            setup.pitchHz = 441.0f;
            engine.retune(setup);
        }
        CountAllocations allocationCount;
        CountLocks lockCount;
        engine.process(inputs, 256);
        allocations += allocationCount.count();
        locks += lockCount.count();
        for (LiveReading reading; engine.nextReading(reading);) readings.push_back(reading);
        engine.releaseRetired();
    }
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(locks, 0u);
    ASSERT_EQ(readings.size(), 200u);
    std::size_t switches = 0;
    for (std::size_t i = 1; i < readings.size(); ++i) {
        EXPECT_EQ(readings[i].period, readings[i - 1].period + 1);
        switches += readings[i].value(kTunerPitch) != readings[i - 1].value(kTunerPitch);
    }
    EXPECT_EQ(switches, 1u);
    // The new grid is in use, not only the new setting.
    EXPECT_EQ(readings.back().value(kTunerCentralFrequency), 441.0f);
}

// Each failure ends the program with one line and a status of its own.
TEST_F(Live, FailsWithOneLineAndItsOwnStatus) {
    {
        LiveRun live({"--connect", "nobody:out_1"});
        EXPECT_EQ(live.wait(10s), 8);
        EXPECT_EQ(live.errors(),
                  "marvex: no JACK port named 'nobody:out_1' (`jack_lsp` lists them)\n");
    }
    {
        LiveRun live({"--format", "jsonl"});
        ASSERT_TRUE(live.waitFor("\"ready\"", 10s)) << live.errors();
        server.stop();
        EXPECT_EQ(live.wait(3s), 9);
        EXPECT_EQ(live.errors(), "marvex: the JACK server went away\n");
    }
    // The server is gone now.
    LiveRun live({"--format", "jsonl"});
    EXPECT_EQ(live.wait(10s), 7);
    EXPECT_NE(live.errors().find("no JACK server is running (start one"), std::string::npos)
        << live.errors();
    EXPECT_EQ(live.text(), "");
}

// On a terminal the display redraws its lines in place, takes keys without echo, and leaves the
// terminal as it found it, whether asked to quit or terminated.
TEST_F(Live, TerminalDisplayRedrawsInPlaceAndRestoresTheTerminal) {
    for (const bool byKey : {true, false}) {
        SCOPED_TRACE(byKey ? "q" : "SIGTERM");
        LiveRun live({"--no-connect"}, true);
        ASSERT_TRUE(live.waitFor("listening", 10s)) << live.errors();
        EXPECT_EQ(live.terminalSettings().c_lflag & (ECHO | ICANON), 0u);
        // Three lines (header, in_1, keys), redrawn from the top.
        ASSERT_TRUE(live.waitFor("\x1b[3A", 2s)) << live.text();
        live.type('+');
        EXPECT_TRUE(live.waitFor("A4 = 441 Hz", 3s));
        byKey ? live.type('q') : live.signal(SIGTERM);
        EXPECT_EQ(live.wait(3s), byKey ? 0 : 128 + SIGTERM);
        EXPECT_TRUE(live.text().ends_with("\x1b[?25h")) << live.text();
        EXPECT_EQ(live.terminalSettings().c_lflag & (ECHO | ICANON), ECHO | ICANON);
    }
}

}  // namespace
}  // namespace marvex::test
