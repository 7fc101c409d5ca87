#include "host/live/LiveSession.h"

#include <algorithm>
#include <chrono>
#include <csignal>

#include "host/BlockRecord.h"
#include "host/HostedUnit.h"
#include "host/StateFile.h"
#include "host/live/JackClient.h"
#include "host/live/LiveEngine.h"
#include "host/live/LiveError.h"
#include "host/live/LiveMonitor.h"

namespace marvex {
namespace {

constexpr std::chrono::milliseconds kFrameTime{40};  // 25 redraws a second

volatile std::sig_atomic_t gStopSignal = 0;

void noteStopSignal(int signal) {
    gStopSignal = signal;
}

// Turns the stop signals into a flag the loop polls, for as long as it lives; a write to a
// closed pipe becomes an error of that write instead of a silent death.
class StopSignals {
public:
    StopSignals() {
        gStopSignal = 0;
        struct sigaction action {};
        action.sa_handler = noteStopSignal;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < kSignals.size(); ++i)
            sigaction(kSignals[i], &action, &mSaved[i]);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &mSavedPipe);
    }
    ~StopSignals() {
        for (std::size_t i = 0; i < kSignals.size(); ++i)
            sigaction(kSignals[i], &mSaved[i], nullptr);
        sigaction(SIGPIPE, &mSavedPipe, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    static constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};
    std::array<struct sigaction, 3> mSaved{};
    struct sigaction mSavedPipe {};
};

void processLive(void* engine, std::span<const float* const> inputs,
                 std::uint32_t frames) noexcept {
    static_cast<LiveEngine*>(engine)->process(inputs, frames);
}

// The setup a state file holds, then the explicit settings.
TunerSetup initialSetup(Component component, const LiveSettings& settings) {
    TunerSetup setup;
    if (!settings.stateFile.empty()) {
        HostedUnit probe = HostedUnit::open(component);
        restoreStateFile(probe, settings.stateFile);
        setup.pitchHz = probe.parameter(kTunerPitch);
        setup.precision = probe.parameter(kTunerPrecision);
    }
    if (settings.pitchHz) setup.pitchHz = *settings.pitchHz;
    if (settings.precision) setup.precision = *settings.precision;
    return setup;
}

void connectInputs(JackClient& client, const LiveSettings& settings) {
    if (!settings.connect.empty()) {
        const std::size_t count = std::min<std::size_t>(settings.connect.size(), settings.inputs);
        for (std::size_t i = 0; i < count; ++i)
            client.connect(static_cast<std::uint32_t>(i), settings.connect[i]);
        return;
    }
    if (!settings.autoConnect) return;
    const std::vector<std::string> capture = client.physicalCapturePorts();
    const std::size_t count = std::min<std::size_t>(capture.size(), settings.inputs);
    for (std::size_t i = 0; i < count; ++i)
        client.connect(static_cast<std::uint32_t>(i), capture[i]);
}

}  // namespace

int runLiveSession(const LiveSettings& settings, const LiveDisplayFactory& makeDisplay) {
    const Component component = loadPluginComponent(
        settings.bundleDirectory.empty() ? defaultBundleDirectory() : settings.bundleDirectory);
    TunerSetup setup = initialSetup(component, settings);

    // The client is closed (its process calls over) before the engine goes.
    std::unique_ptr<LiveEngine> engine;
    JackClient client(settings.clientName, settings.inputs);
    setup.sampleRateHz = client.sampleRateHz();
    engine =
        std::make_unique<LiveEngine>(component, setup, settings.inputs, settings.gate.conditioning);
    client.activate(processLive, engine.get());
    connectInputs(client, settings);

    const StopSignals signals;
    LiveMonitor monitor(settings.inputs, settings.gate, setup.pitchHz,
                        static_cast<int>(setup.precision), settings.intonation);
    auto snapshot = [&] {
        LiveSnapshot shot;
        shot.client = client.name();
        shot.sampleRateHz = client.sampleRateHz();
        shot.periodFrames = client.periodFrames();
        shot.pitchHz = monitor.pitchHz();
        shot.precision = monitor.precision();
        if (settings.intonation) {
            shot.temperament = settings.intonation->temperament.name();
            shot.tonic = pitchClassName(settings.intonation->tonic);
        }
        shot.channels = monitor.channels();
        return shot;
    };
    const std::unique_ptr<LiveDisplay> display = makeDisplay();
    display->begin(snapshot());

    using Clock = std::chrono::steady_clock;
    const auto deadline =
        settings.durationSeconds
            ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(*settings.durationSeconds))
            : Clock::time_point::max();
    int stoppedBy = 0;
    for (;;) {
        if (gStopSignal != 0) {
            stoppedBy = gStopSignal;
            break;
        }
        if (client.serverGone())
            throw LiveError(LiveFailure::ServerGone, "the JACK server went away");
        if (Clock::now() >= deadline) break;
        const std::optional<LiveRequest> request = display->waitForRequest(kFrameTime);

        LiveReading reading;
        while (engine->nextReading(reading)) monitor.take(reading);
        for (const LiveNews& news : monitor.takeNews()) display->tell(news);
        for (const std::uint32_t input : monitor.takeQuietInputs()) engine->restart(input);
        engine->releaseRetired();
        if (client.sampleRateHz() != setup.sampleRateHz) {
            setup.sampleRateHz = client.sampleRateHz();
            engine->retune(setup);
        }
        display->show(snapshot());

        if (!request) continue;
        if (*request == LiveRequest::Quit) break;
        if (*request == LiveRequest::RaisePitch && setup.pitchHz + 1.0f <= kHighestPitchHz)
            setup.pitchHz += 1.0f;
        else if (*request == LiveRequest::LowerPitch && setup.pitchHz - 1.0f >= kLowestPitchHz)
            setup.pitchHz -= 1.0f;
        else if (*request == LiveRequest::NextPrecision)
            setup.precision =
                static_cast<float>((static_cast<int>(setup.precision) + 1) % kPrecisionSteps);
        else
            continue;
        engine->retune(setup);
    }
    monitor.finish();
    for (const LiveNews& news : monitor.takeNews()) display->tell(news);
    return stoppedBy;
}

}  // namespace marvex
