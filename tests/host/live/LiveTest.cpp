// `marvex live` against a private JACK server: the events it tells on each input, its failures
// and its terminal display; and its process callback handing over a new reference pitch.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "host/HostedUnit.h"
#include "host/live/LiveEngine.h"
#include "tests/host/live/JackFixture.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/LockCounter.h"

namespace marvex::test {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

class Live : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.ready()) << "jackd did not start:\n" << server.log();
    }
    JackServer server;
};

// The whole lines after "ready", less the silence every input starts with.
std::vector<json> events(const std::string& text) {
    std::vector<json> out;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line) && !lines.eof();) {
        json event = json::parse(line);
        if (event["event"] != "ready" && !(event["event"] == "silence" && event["time"] == 0))
            out.push_back(event);
    }
    return out;
}

// Two inputs tell their news independently, each in its own order: on the first a note turns
// into another (E4 10 cents sharp) without a gap, on the second one note sounds throughout.
TEST_F(Live, TellsStableNotesAndSilencesInOrderOnEachInput) {
    TonePlayer player(2);
    ASSERT_TRUE(player.ready());
    LiveRun live({"--format", "jsonl", "--channels", "2", "--connect", player.port(0), "--connect",
                  player.port(1)});
    ASSERT_TRUE(live.waitFor("\"ready\"", 10s)) << live.errors();
    const double d4 = 293.6648, e4Plus10 = 329.6276 * std::exp2(10.0 / 1200.0);
    player.play({melody({{440.0, 1.0}, {e4Plus10, 1.0}}), melody({{d4, 2.0}})});
    // Until both inputs fell silent (audio time, whatever the load does to the wall clock).
    live.readUntil(
        [](const std::string& text) {
            std::size_t silences = 0;
            for (const json& event : events(text)) silences += event["event"] == "silence";
            return silences >= 2;
        },
        20s);
    live.signal(SIGTERM);
    ASSERT_EQ(live.wait(10s), 128 + SIGTERM) << live.errors();
    live.readFor(100ms);
    // Per input: event, note name, cents (checked on note_end, within 1).
    const std::vector<std::tuple<std::string, std::string, double>> expected[] = {
        {{"note", "A4", 0.0},
         {"note_end", "A4", 0.0},
         {"note", "E4", 10.0},
         {"note_end", "E4", 10.0},
         {"silence", "", 0.0}},
        {{"note", "D4", 0.0}, {"note_end", "D4", 0.0}, {"silence", "", 0.0}},
    };
    for (int channel = 1; channel <= 2; ++channel) {
        std::vector<json> mine;
        for (const json& event : events(live.text()))
            if (event["channel"] == channel) mine.push_back(event);
        ASSERT_EQ(mine.size(), expected[channel - 1].size()) << live.text();
        for (std::size_t i = 0; i < mine.size(); ++i) {
            const auto& [kind, name, cents] = expected[channel - 1][i];
            EXPECT_EQ(mine[i]["event"], kind) << mine[i];
            if (kind == "silence") continue;
            EXPECT_EQ(mine[i]["note_name"], name) << mine[i];
            if (kind != "note_end") continue;
            EXPECT_NEAR(mine[i]["cents"].get<double>(), cents, 1.0) << mine[i];
            EXPECT_GT(mine[i]["time"].get<double>(), mine[i - 1]["time"].get<double>()) << mine[i];
        }
    }
}

// The process callback period after period, a new reference pitch handed over half-way: it
// allocates nothing and takes no lock, every period gives one reading, in order, and from one
// period on the readings come from the new unit and never from the old.
TEST(LiveEngine, HandsOverANewReferenceWithoutAllocationLockOrGap) {
    TunerSetup setup;
    LiveEngine engine(loadPluginComponent(MARVEX_BUNDLE), setup, 1, ConditioningSettings{});
    std::vector<float> period(256);
    const float* inputs[] = {period.data()};
    std::vector<LiveReading> readings;
    std::size_t allocations = 0, locks = 0, frame = 0;
    for (int i = 0; i < 200; ++i, frame += period.size()) {
        for (std::size_t j = 0; j < period.size(); ++j)
            period[j] = 0.5f * std::sin(2 * std::numbers::pi * 440.0 * (frame + j) / 48000.0);
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
        // SIGTERM: a server killed outright keeps its slot in JACK's registry of servers,
        // which holds eight, so that test runs would soon leave no room for another server.
        server.stop(SIGTERM);
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
        live.readFor(100ms);
        EXPECT_TRUE(live.text().ends_with("\x1b[?25h")) << live.text();
        EXPECT_EQ(live.terminalSettings().c_lflag & (ECHO | ICANON), ECHO | ICANON);
    }
}

}  // namespace
}  // namespace marvex::test
