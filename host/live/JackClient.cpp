#include "host/live/JackClient.h"

#include <cstring>

#include "host/live/LiveError.h"

namespace marvex {
namespace {

void quiet(const char*) {}

// Frees what libjack hands out with jack_free.
struct JackPortList {
    const char** ports;
    ~JackPortList() {
        if (ports != nullptr) jack_free(static_cast<void*>(ports));
    }
};

}  // namespace

JackClient::JackClient(const std::string& name, std::uint32_t inputs) {
    // libjack writes its own diagnostics to standard error; ours say it in one line.
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    jack_status_t status{};
    mClient = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (mClient == nullptr) {
        if ((status & (JackServerFailed | JackServerError)) != 0) {
            throw LiveError(LiveFailure::NoServer,
                            "no JACK server is running (start one, e.g. `jackd -d alsa`, or run "
                            "`pw-jack marvex live` under PipeWire)");
        }
        throw LiveError(LiveFailure::NoServer, "the JACK server refused the client '" + name +
                                                   "' (status 0x" + std::to_string(status) + ")");
    }
    mName = jack_get_client_name(mClient);
    mSampleRateHz.store(jack_get_sample_rate(mClient));
    mPeriodFrames.store(jack_get_buffer_size(mClient));
    for (std::uint32_t i = 0; i < inputs; ++i) {
        const std::string port = "in_" + std::to_string(i + 1);
        jack_port_t* handle =
            jack_port_register(mClient, port.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        if (handle == nullptr) {
            jack_client_close(mClient);
            throw LiveError(LiveFailure::ServerGone, "the JACK server refused the port " + port);
        }
        mPorts.push_back(handle);
    }
    mBuffers.assign(inputs, nullptr);
    jack_set_process_callback(mClient, &JackClient::onProcess, this);
    jack_set_sample_rate_callback(mClient, &JackClient::onSampleRate, this);
    jack_set_buffer_size_callback(mClient, &JackClient::onPeriod, this);
    jack_on_info_shutdown(mClient, &JackClient::onShutdown, this);
}

JackClient::~JackClient() {
    if (!serverGone()) jack_deactivate(mClient);
    jack_client_close(mClient);
}

std::string JackClient::inputName(std::uint32_t input) const {
    return mName + ":in_" + std::to_string(input + 1);
}

void JackClient::activate(ProcessFunction function, void* context) {
    mProcess = function;
    mContext = context;
    if (jack_activate(mClient) != 0)
        throw LiveError(LiveFailure::ServerGone, "the JACK server would not start the client");
}

void JackClient::connect(std::uint32_t input, const std::string& source) {
    jack_port_t* port = jack_port_by_name(mClient, source.c_str());
    if (port == nullptr)
        throw LiveError(LiveFailure::NoSuchPort,
                        "no JACK port named '" + source + "' (`jack_lsp` lists them)");
    if ((jack_port_flags(port) & JackPortIsOutput) == 0 ||
        std::strcmp(jack_port_type(port), JACK_DEFAULT_AUDIO_TYPE) != 0)
        throw LiveError(LiveFailure::NoSuchPort,
                        "the JACK port '" + source + "' is not an audio output");
    const int result = jack_connect(mClient, source.c_str(), inputName(input).c_str());
    if (result != 0 && result != EEXIST)
        throw LiveError(LiveFailure::NoSuchPort,
                        "cannot connect '" + source + "' to " + inputName(input));
}

std::vector<std::string> JackClient::physicalCapturePorts() const {
    const JackPortList list{jack_get_ports(mClient, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                           JackPortIsPhysical | JackPortIsOutput)};
    std::vector<std::string> names;
    for (const char** name = list.ports; name != nullptr && *name != nullptr; ++name)
        names.emplace_back(*name);
    return names;
}

int JackClient::onProcess(jack_nframes_t frames, void* self) {
    auto* client = static_cast<JackClient*>(self);
    for (std::size_t i = 0; i < client->mPorts.size(); ++i)
        client->mBuffers[i] =
            static_cast<const float*>(jack_port_get_buffer(client->mPorts[i], frames));
    client->mProcess(client->mContext, client->mBuffers, frames);
    return 0;
}

int JackClient::onSampleRate(jack_nframes_t rate, void* self) {
    static_cast<JackClient*>(self)->mSampleRateHz.store(rate, std::memory_order_release);
    return 0;
}

int JackClient::onPeriod(jack_nframes_t frames, void* self) {
    static_cast<JackClient*>(self)->mPeriodFrames.store(frames, std::memory_order_release);
    return 0;
}

void JackClient::onShutdown(jack_status_t, const char*, void* self) {
    static_cast<JackClient*>(self)->mServerGone.store(true, std::memory_order_release);
}

}  // namespace marvex
