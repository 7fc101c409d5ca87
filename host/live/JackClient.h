#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace marvex {

// A JACK client with audio inputs in_1..in_N. It never starts a server: it joins the one running
// (JACK_DEFAULT_SERVER names it), and libjack's own messages are kept off the terminal so that a
// failure is one line of ours. Sample rate, period and the server's departure are watched from
// JACK's notification thread and read here from any thread.
class JackClient {
public:
    // [render] JACK's process thread, once per period with the inputs' buffers. No allocation, no
    // lock.
    using ProcessFunction = void (*)(void* context, std::span<const float* const> inputs,
                                     std::uint32_t frames) noexcept;

    // [control] Throws LiveError(NoServer) when no server answers.
    JackClient(const std::string& name, std::uint32_t inputs);
    ~JackClient();
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    // The name the server gave the client (it may add a suffix when the name is taken).
    const std::string& name() const { return mName; }
    std::string inputName(std::uint32_t input) const;  // "client:in_3", from 0
    double sampleRateHz() const { return mSampleRateHz.load(std::memory_order_acquire); }
    std::uint32_t periodFrames() const { return mPeriodFrames.load(std::memory_order_acquire); }
    bool serverGone() const { return mServerGone.load(std::memory_order_acquire); }

    // [control] Starts the process calls; `function` runs on JACK's process thread until the
    // client is closed.
    void activate(ProcessFunction function, void* context);
    // [control] Feeds input `input` (from 0) from the output port `source`. Throws
    // LiveError(NoSuchPort) when there is no such port or it is not an audio output.
    void connect(std::uint32_t input, const std::string& source);
    // [control] The server's physical capture ports, in order.
    std::vector<std::string> physicalCapturePorts() const;

private:
    static int onProcess(jack_nframes_t frames, void* self);
    static int onSampleRate(jack_nframes_t rate, void* self);
    static int onPeriod(jack_nframes_t frames, void* self);
    static void onShutdown(jack_status_t code, const char* reason, void* self);

    jack_client_t* mClient = nullptr;
    std::string mName;
    std::vector<jack_port_t*> mPorts;
    std::vector<const float*> mBuffers;  // the inputs' buffers of the current period
    ProcessFunction mProcess = nullptr;
    void* mContext = nullptr;
    std::atomic<double> mSampleRateHz{0.0};
    std::atomic<std::uint32_t> mPeriodFrames{0};
    std::atomic<bool> mServerGone{false};
};

}  // namespace marvex
