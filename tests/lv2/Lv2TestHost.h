#pragma once
// A small LV2 host on lilv for tests: it offers the features the tuner reads (URID map, log,
// worker, inline-display queue) and runs an instance on buffers it owns. The caller drives the
// worker (runWorker), so a test decides when the "worker thread" runs; scheduling from run()
// neither allocates nor locks.
#include <lilv/lilv.h>
#include <lv2/log/log.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "lv2/InlineDisplay.h"

namespace marvex::test {

// One instance with its buffers: control values by port index, audio by channel.
class Lv2Instance {
public:
    Lv2Instance(const LilvPlugin* plugin, double sampleRateHz, bool offerWorker = true) {
        mFeatures = {{LV2_URID__map, &mMap},
                     {LV2_LOG__log, &mLogFeature},
                     {MARVEX_INLINE_DISPLAY_QUEUE_DRAW, &mQueueDraw}};
        if (offerWorker) mFeatures.push_back({LV2_WORKER__schedule, &mSchedule});
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
    ~Lv2Instance() {
        if (mInstance != nullptr) lilv_instance_free(mInstance);
    }
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    // Null when the plug-in refused to instantiate; see log().
    LilvInstance* instance() const { return mInstance; }
    const std::string& log() const { return mLog; }
    std::uint32_t channels() const { return mChannels; }
    int drawRequests() const { return mDrawRequests; }
    float& control(std::uint32_t port) { return mControls[port]; }

    // Connects the audio ports to the instance's buffers, in place (one buffer per channel for
    // input and output) or not, for blocks of up to maxFrames.
    void connectAudio(std::uint32_t maxFrames, bool inPlace) {
        mInputs.assign(mChannels, std::vector<float>(maxFrames));
        mOutputs = inPlace ? std::vector<std::vector<float>>() : mInputs;
        auto& outputs = inPlace ? mInputs : mOutputs;
        const auto firstAudio = static_cast<std::uint32_t>(mControls.size());
        for (std::uint32_t c = 0; c < mChannels; ++c) {
            lilv_instance_connect_port(mInstance, firstAudio + c, mInputs[c].data());
            lilv_instance_connect_port(mInstance, firstAudio + mChannels + c, outputs[c].data());
        }
    }
    void activate() { lilv_instance_activate(mInstance); }
    void run(std::uint32_t frames) { lilv_instance_run(mInstance, frames); }
    // Feeds `signal` (one vector per channel) through run() in blocks of `block` frames;
    // returns the output.
    std::vector<std::vector<float>> process(const std::vector<std::vector<float>>& signal,
                                            std::uint32_t block) {
        if (mInputs.empty() || mInputs[0].size() < block) connectAudio(block, false);
        const auto& outputs = mOutputs.empty() ? mInputs : mOutputs;
        std::vector<std::vector<float>> out(mChannels);
        for (std::size_t at = 0; at < signal[0].size(); at += block) {
            const auto n =
                static_cast<std::uint32_t>(std::min<std::size_t>(block, signal[0].size() - at));
            for (std::uint32_t c = 0; c < mChannels; ++c)
                std::copy_n(signal[c].begin() + at, n, mInputs[c].begin());
            run(n);
            for (std::uint32_t c = 0; c < mChannels; ++c)
                out[c].insert(out[c].end(), outputs[c].begin(), outputs[c].begin() + n);
        }
        return out;
    }

    // The worker: runs what run() scheduled, then hands the responses back as the host would
    // before the next run(). Returns the number of jobs run.
    int runWorker() {
        const auto* worker = static_cast<const LV2_Worker_Interface*>(
            lilv_instance_get_extension_data(mInstance, LV2_WORKER__interface));
        LV2_Handle handle = lilv_instance_get_handle(mInstance);
        const std::size_t jobs = mRequests.count;
        for (std::size_t i = 0; i < jobs; ++i)
            worker->work(handle, &Queue::push, &mResponses, mRequests.sizes[i],
                         mRequests.messages[i].data());
        for (std::size_t i = 0; i < mResponses.count; ++i)
            worker->work_response(handle, mResponses.sizes[i], mResponses.messages[i].data());
        mRequests.count = mResponses.count = 0;
        return static_cast<int>(jobs);
    }

private:
    // Fixed room, so that scheduling from run() allocates nothing.
    struct Queue {
        std::array<std::array<unsigned char, 64>, 8> messages{};
        std::array<std::uint32_t, 8> sizes{};
        std::size_t count = 0;

        static LV2_Worker_Status push(void* queue, uint32_t size, const void* data) {
            auto& q = *static_cast<Queue*>(queue);
            if (q.count == q.sizes.size() || size > q.messages[0].size())
                return LV2_WORKER_ERR_NO_SPACE;
            std::memcpy(q.messages[q.count].data(), data, size);
            q.sizes[q.count++] = size;
            return LV2_WORKER_SUCCESS;
        }
    };

    static LV2_URID mapUri(LV2_URID_Map_Handle, const char* uri) {
        // One map for the whole host, as a host has: states saved by one instance restore into
        // another.
        static std::unordered_map<std::string, LV2_URID> urids;
        return urids.emplace(uri, static_cast<LV2_URID>(urids.size() + 1)).first->second;
    }
    static int logVprintf(LV2_Log_Handle handle, LV2_URID, const char* format, va_list args) {
        char text[1024];
        const int n = std::vsnprintf(text, sizeof text, format, args);
        static_cast<Lv2Instance*>(handle)->mLog += text;
        return n;
    }

    LV2_URID_Map mMap{this, &Lv2Instance::mapUri};
    LV2_Log_Log mLogFeature{this, nullptr, &Lv2Instance::logVprintf};  // the plug-in uses vprintf
    LV2_Worker_Schedule mSchedule{&mRequests, &Queue::push};
    LV2_Inline_Display mQueueDraw{
        this, [](void* handle) { ++static_cast<Lv2Instance*>(handle)->mDrawRequests; }};
    std::vector<LV2_Feature> mFeatures;
    std::vector<const LV2_Feature*> mFeatureList;

    LilvInstance* mInstance = nullptr;
    std::string mLog;
    std::uint32_t mChannels = 0;
    std::array<float, 9> mControls{};
    std::vector<std::vector<float>> mInputs, mOutputs;
    Queue mRequests, mResponses;
    int mDrawRequests = 0;
};

// A sine of `frequencyHz` at amplitude 0.5.
inline std::vector<float> sine(double frequencyHz, double sampleRateHz, std::size_t frames) {
    std::vector<float> samples(frames);
    for (std::size_t i = 0; i < frames; ++i)
        samples[i] =
            static_cast<float>(0.5 * std::sin(2.0 * M_PI * frequencyHz * i / sampleRateHz));
    return samples;
}

}  // namespace marvex::test
