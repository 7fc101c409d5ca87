#include "tests/lv2/Lv2TestHost.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>

#include <cmath>
#include <cstdarg>
#include <cstring>
#include <stdexcept>

namespace marvex::test {

Lv2World::Lv2World(const std::string& bundle) : mWorld(lilv_world_new()) {
    std::string uri = "file://" + bundle;
    if (uri.back() != '/') uri += '/';
    LilvNode* node = lilv_new_uri(mWorld, uri.c_str());
    lilv_world_load_bundle(mWorld, node);
    lilv_node_free(node);
}

Lv2World::~Lv2World() {
    lilv_world_free(mWorld);
}

const LilvPlugin* Lv2World::plugin(const char* uri) const {
    LilvNode* node = lilv_new_uri(mWorld, uri);
    const LilvPlugin* found = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(mWorld), node);
    lilv_node_free(node);
    return found;
}

Lv2Instance::Lv2Instance(const LilvPlugin* plugin, double sampleRateHz,
                         const HostOptions& options) {
    mMap = {this, &Lv2Instance::mapUri};
    mLogFeature = {this, &Lv2Instance::logPrintf, &Lv2Instance::logVprintf};
    mSchedule = {this, &Lv2Instance::schedule};
    mQueueDraw = {this, [](void* handle) { ++static_cast<Lv2Instance*>(handle)->mDrawRequests; }};
    mFeatures.push_back({LV2_URID__map, &mMap});
    mFeatures.push_back({LV2_LOG__log, &mLogFeature});
    mFeatures.push_back({MARVEX_INLINE_DISPLAY_QUEUE_DRAW, &mQueueDraw});
    if (options.worker) mFeatures.push_back({LV2_WORKER__schedule, &mSchedule});
    if (options.maxBlockLength != 0) {
        mBlockLength = static_cast<std::int32_t>(options.maxBlockLength);
        mOptions[0] = {LV2_OPTIONS_INSTANCE,
                       0,
                       mapUri(this, LV2_BUF_SIZE__maxBlockLength),
                       sizeof mBlockLength,
                       mapUri(this, LV2_ATOM__Int),
                       &mBlockLength};
        mFeatures.push_back({LV2_OPTIONS__options, mOptions.data()});
    }
    for (const LV2_Feature& f : mFeatures) mFeatureList.push_back(&f);
    mFeatureList.push_back(nullptr);

    mInstance = lilv_plugin_instantiate(plugin, sampleRateHz, mFeatureList.data());
    if (mInstance == nullptr) return;
    const std::uint32_t ports = lilv_plugin_get_num_ports(plugin);
    mChannels = (ports - static_cast<std::uint32_t>(mControls.size())) / 2;
    std::vector<float> defaults(ports, 0.0f);
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
    for (std::uint32_t p = 0; p < mControls.size(); ++p) {
        mControls[p] = std::isnan(defaults[p]) ? 0.0f : defaults[p];
        lilv_instance_connect_port(mInstance, p, &mControls[p]);
    }
}

Lv2Instance::~Lv2Instance() {
    if (mInstance != nullptr) lilv_instance_free(mInstance);
}

void Lv2Instance::connectAudio(std::uint32_t maxFrames, bool inPlace) {
    mInPlace = inPlace;
    mInputs.assign(mChannels, std::vector<float>(maxFrames));
    mOutputs.assign(mChannels, std::vector<float>(maxFrames));
    const std::uint32_t firstAudio = static_cast<std::uint32_t>(mControls.size());
    for (std::uint32_t c = 0; c < mChannels; ++c) {
        lilv_instance_connect_port(mInstance, firstAudio + c, mInputs[c].data());
        lilv_instance_connect_port(mInstance, firstAudio + mChannels + c, output(c));
    }
}

std::vector<std::vector<float>> Lv2Instance::process(const std::vector<std::vector<float>>& signal,
                                                     std::uint32_t block) {
    if (mInputs.empty() || mInputs[0].size() < block) connectAudio(block, mInPlace);
    std::vector<std::vector<float>> out(mChannels);
    const std::size_t frames = signal[0].size();
    for (std::size_t at = 0; at < frames; at += block) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(block, frames - at));
        for (std::uint32_t c = 0; c < mChannels; ++c)
            std::memcpy(input(c), signal[c].data() + at, n * sizeof(float));
        run(n);
        for (std::uint32_t c = 0; c < mChannels; ++c)
            out[c].insert(out[c].end(), output(c), output(c) + n);
    }
    return out;
}

int Lv2Instance::runWorker() {
    const auto* worker = static_cast<const LV2_Worker_Interface*>(
        lilv_instance_get_extension_data(mInstance, LV2_WORKER__interface));
    const std::size_t jobs = mRequestCount;
    for (std::size_t i = 0; i < jobs; ++i)
        worker->work(lilv_instance_get_handle(mInstance), &Lv2Instance::respond, this,
                     mRequests[i].size, mRequests[i].bytes.data());
    mRequestCount = 0;
    for (std::size_t i = 0; i < mResponseCount; ++i)
        worker->work_response(lilv_instance_get_handle(mInstance), mResponses[i].size,
                              mResponses[i].bytes.data());
    mResponseCount = 0;
    return static_cast<int>(jobs);
}

const LV2_Inline_Display_Interface* Lv2Instance::inlineDisplay() const {
    return static_cast<const LV2_Inline_Display_Interface*>(
        lilv_instance_get_extension_data(mInstance, MARVEX_INLINE_DISPLAY_INTERFACE));
}

LV2_URID Lv2Instance::mapUri(LV2_URID_Map_Handle, const char* uri) {
    // One map for the whole host, as a host has: states saved by one instance restore into
    // another.
    static std::unordered_map<std::string, LV2_URID> urids;
    return urids.emplace(uri, static_cast<LV2_URID>(urids.size() + 1)).first->second;
}

int Lv2Instance::logPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = logVprintf(handle, type, format, args);
    va_end(args);
    return n;
}

int Lv2Instance::logVprintf(LV2_Log_Handle handle, LV2_URID, const char* format, va_list args) {
    char text[1024];
    const int n = std::vsnprintf(text, sizeof text, format, args);
    static_cast<Lv2Instance*>(handle)->mLog += text;
    return n;
}

LV2_Worker_Status Lv2Instance::push(std::array<Message, 8>& queue, std::size_t& count,
                                    uint32_t size, const void* data) {
    if (count == queue.size() || size > sizeof(Message::bytes)) return LV2_WORKER_ERR_NO_SPACE;
    Message& m = queue[count++];
    m.size = size;
    std::memcpy(m.bytes.data(), data, size);
    return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status Lv2Instance::schedule(LV2_Worker_Schedule_Handle handle, uint32_t size,
                                        const void* data) {
    auto* self = static_cast<Lv2Instance*>(handle);
    return push(self->mRequests, self->mRequestCount, size, data);
}

LV2_Worker_Status Lv2Instance::respond(LV2_Worker_Respond_Handle handle, uint32_t size,
                                       const void* data) {
    auto* self = static_cast<Lv2Instance*>(handle);
    return push(self->mResponses, self->mResponseCount, size, data);
}

std::vector<float> sine(double frequencyHz, double sampleRateHz, std::size_t frames) {
    std::vector<float> samples(frames);
    for (std::size_t i = 0; i < frames; ++i)
        samples[i] = static_cast<float>(
            0.5 * std::sin(2.0 * M_PI * frequencyHz * static_cast<double>(i) / sampleRateHz));
    return samples;
}

}  // namespace marvex::test
