// `marvex live` against a private JACK server: the events it tells, its process callback, the
// hand-over of a new reference pitch, its failures and its terminal display.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "host/HostedUnit.h"
#include "host/live/JackClient.h"
#include "host/live/LiveEngine.h"
#include "tests/host/live/JackFixture.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/LockCounter.h"

namespace marvex::test {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

constexpr double kA3 = 220.0, kA4 = 440.0, kD4 = 293.6648;
const double kE4Plus10 = 329.6276 * std::pow(2.0, 10.0 / 1200.0);

class Live : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.ready()) << "jackd did not start:\n" << server.log();
    }

    // The events after "ready", less the silence every input starts with.
    static std::vector<json> events(const std::string& text) {
        std::vector<json> out;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            if (lines.eof()) break;  // not a whole line yet
            json event = json::parse(line);
            if (event["event"] != "ready" && !(event["event"] == "silence" && event["time"] == 0))
                out.push_back(event);
        }
        return out;
    }

    JackServer server;
};

TEST_F(Live, TellsStableNotesAndSilencesInOrderOnEachInput) {
    struct Case {
        std::uint32_t inputs;
        std::vector<TonePlayer::Step> steps;
        // channel, event, note name, cents (checked on note_end, within 1)
        std::vector<std::tuple<int, std::string, std::string, double>> expected;
    };
    const std::vector<Case> cases{
        {1,
         {{{kA4}, 1.0}, {{kE4Plus10}, 1.0}, {{0.0}, 0.6}},
         {{1, "note", "A4", 0.0},
          {1, "note_end", "A4", 0.0},
          {1, "note", "E4", 10.0},
          {1, "note_end", "E4", 10.0},
          {1, "silence", "", 0.0}}},
        {2,
         {{{kA3, kD4}, 1.0}, {{0.0, 0.0}, 0.6}},
         {{1, "note", "A3", 0.0},
          {2, "note", "D4", 0.0},
          {1, "note_end", "A3", 0.0},
          {2, "note_end", "D4", 0.0},
          {1, "silence", "", 0.0},
          {2, "silence", "", 0.0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inputs);
        TonePlayer player(c.inputs);
        ASSERT_TRUE(player.ready());
        std::vector<std::string> args{"--format", "jsonl", "--channels", std::to_string(c.inputs)};
        for (std::uint32_t i = 0; i < c.inputs; ++i) {
            args.push_back("--connect");
            args.push_back(player.port(i));
        }
        LiveRun live(args);
        ASSERT_TRUE(live.waitFor("\"ready\"", 10s)) << live.errors();
        player.play(c.steps);
        // Until every input fell silent after its notes (audio time, whatever the machine's
        // load does to the wall clock).
        live.readUntil(
            [&](const std::string& text) {
                std::size_t silences = 0;
                for (const json& event : events(text)) silences += event["event"] == "silence";
                return silences >= c.inputs;
            },
            20s);
        live.signal(SIGTERM);
        ASSERT_EQ(live.wait(10s), 128 + SIGTERM) << live.errors();
        live.readFor(100ms);
        std::vector<json> seen = events(live.text());
        // Two inputs tell their news independently: compare each channel's own order.
        for (int channel = 1; channel <= static_cast<int>(c.inputs); ++channel) {
            std::vector<json> mine;
            for (const json& event : seen)
                if (event["channel"] == channel) mine.push_back(event);
            std::size_t next = 0;
            for (const auto& [ch, kind, name, cents] : c.expected) {
                if (ch != channel) continue;
                ASSERT_LT(next, mine.size()) << live.text();
                const json& event = mine[next++];
                EXPECT_EQ(event["event"], kind) << event;
                if (kind == "silence") continue;
                EXPECT_EQ(event["note_name"], name) << event;
                if (kind == "note_end") {
                    EXPECT_NEAR(event["cents"].get<double>(), cents, 1.0) << event;
                }
            }
            EXPECT_EQ(next, mine.size()) << live.text();
        }
    }
}

// The process callback as JACK calls it, with the counters running on JACK's process thread.
struct CountedEngine {
    LiveEngine* engine = nullptr;
    std::atomic<std::size_t> allocations{0};
    std::atomic<std::size_t> locks{0};
    std::atomic<std::size_t> periods{0};

    static void process(void* self, std::span<const float* const> inputs,
                        std::uint32_t frames) noexcept {
        auto* counted = static_cast<CountedEngine*>(self);
        CountAllocations allocations;
        CountLocks locks;
        counted->engine->process(inputs, frames);
        counted->allocations += allocations.count();
        counted->locks += locks.count();
        ++counted->periods;
    }
};

// Over two hundred periods with a tone playing, a new reference pitch is handed over: the
// callback allocates nothing and takes no lock, every period gives exactly one reading, in order,
// and from one period on the readings come from the new unit and never from the old.
TEST_F(Live, ProcessCallbackHandsOverANewReferenceWithoutAllocationLockOrGap) {
    TonePlayer player(1);
    ASSERT_TRUE(player.ready());
    const Component component = loadPluginComponent(MARVEX_BUNDLE);
    TunerSetup setup;
    setup.sampleRateHz = 48000.0;
    CountedEngine counted;
    std::unique_ptr<LiveEngine> engine;
    JackClient client("counted", 1);
    engine = std::make_unique<LiveEngine>(component, setup, 1, ConditioningSettings{});
    counted.engine = engine.get();
    client.activate(&CountedEngine::process, &counted);
    client.connect(0, player.port(0));
    player.play({{{kA4}, 10.0}});

    std::vector<LiveReading> readings;
    const auto drain = [&] {
        for (LiveReading reading; engine->nextReading(reading);) readings.push_back(reading);
    };
    // Counted in periods: a loaded machine stretches the wall clock.
    const auto runPeriods = [&](std::size_t periods) {
        const std::size_t until = counted.periods.load() + periods;
        for (const auto end = Clock::now() + 20s; counted.periods < until && Clock::now() < end;) {
            std::this_thread::sleep_for(20ms);
            drain();
            engine->releaseRetired();
        }
        drain();
    };
    runPeriods(100);
    setup.pitchHz = 441.0f;
    engine->retune(setup);
    runPeriods(100);

    EXPECT_GE(counted.periods.load(), 200u);
    EXPECT_EQ(counted.allocations.load(), 0u);
    EXPECT_EQ(counted.locks.load(), 0u);
    EXPECT_EQ(engine->droppedReadings(), 0u);
    ASSERT_FALSE(readings.empty());
    std::size_t switches = 0;
    for (std::size_t i = 1; i < readings.size(); ++i) {
        ASSERT_EQ(readings[i].period, readings[i - 1].period + 1);
        if (readings[i].value(kTunerPitch) != readings[i - 1].value(kTunerPitch)) ++switches;
    }
    EXPECT_EQ(readings.front().value(kTunerPitch), 440.0f);
    EXPECT_EQ(readings.back().value(kTunerPitch), 441.0f);
    EXPECT_EQ(switches, 1u);
    // The new grid is in use: A4 at 440 Hz reads about 3.9 cents flat of 441.
    EXPECT_EQ(readings.back().value(kTunerCentralFrequency), 441.0f);
}

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
    {
        // The server is gone now.
        LiveRun live({"--format", "jsonl"});
        EXPECT_EQ(live.wait(10s), 7);
        EXPECT_NE(live.errors().find("no JACK server is running (start one"), std::string::npos)
            << live.errors();
        EXPECT_EQ(live.text(), "");
    }
}

// On a terminal the display redraws its lines in place, takes keys without echo, and leaves the
// terminal as it found it, whether asked to quit or terminated.
TEST_F(Live, TerminalDisplayRedrawsInPlaceAndRestoresTheTerminal) {
    for (const bool byKey : {true, false}) {
        SCOPED_TRACE(byKey ? "q" : "SIGTERM");
        LiveRun live({"--no-connect"}, true);
        ASSERT_TRUE(live.waitFor("listening", 10s)) << live.errors();
        const termios running = live.terminalSettings();
        EXPECT_EQ(running.c_lflag & (ECHO | ICANON), 0u);
        // Three lines (header, in_1, keys), redrawn from the top.
        ASSERT_TRUE(live.waitFor("\x1b[3A", 2s)) << live.text();
        live.type('+');
        EXPECT_TRUE(live.waitFor("A4 = 441 Hz", 3s));
        if (byKey)
            live.type('q');
        else
            live.signal(SIGTERM);
        EXPECT_EQ(live.wait(3s), byKey ? 0 : 128 + SIGTERM);
        live.readFor(100ms);
        EXPECT_TRUE(live.text().ends_with("\x1b[?25h"))
            << live.text().substr(live.text().size() - 20);
        EXPECT_EQ(live.terminalSettings().c_lflag & (ECHO | ICANON), ECHO | ICANON);
    }
}

}  // namespace
}  // namespace marvex::test
